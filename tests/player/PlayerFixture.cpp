#include "PlayerFixture.h"

#include "ProgramFileReader.h"

namespace playertest {

std::vector<std::uint8_t> programBytes(const std::vector<std::uint8_t>& programFile)
{
    std::string error;
    const auto contents = testsupport::readProgramFile(programFile, &error);
    EXPECT_TRUE(contents.has_value()) << error;
    return contents ? contents->program : std::vector<std::uint8_t>{};
}

std::uint16_t shellEntry(const std::vector<std::uint8_t>& program, const QByteArray& shellWord)
{
    if (shellWord != "MIRAGEOS") {
        return z80test::ProgramStart;
    }
    // ret, the marker byte, the 30-byte icon, the description and its zero.
    std::size_t at = 2 + 1 + 1 + 30;
    while (at < program.size() && program[at] != 0) {
        ++at;
    }
    return static_cast<std::uint16_t>(z80test::ProgramOrigin + at + 1);
}

Playback play(const std::vector<std::uint8_t>& programFile, const QByteArray& shellWord,
              std::optional<std::size_t> clearAfter)
{
    Playback playback;
    std::string error;
    if (!playback.harness->loadProgramFile(programFile, &error)) {
        ADD_FAILURE() << error;
        return playback;
    }
    playback.harness->setClearAfterScreens(clearAfter);
    playback.harness->start(shellEntry(programBytes(programFile), shellWord));
    playback.stop = playback.harness->run(StepBudget);
    return playback;
}

void expectScreens(const z80test::Z80Harness& harness, const std::vector<Screen>& frames, std::size_t count)
{
    const auto& screens = harness.screens();
    ASSERT_EQ(screens.size(), count);
    for (std::size_t i = 0; i < count; ++i) {
        EXPECT_EQ(screens[i].pixels, frames[i % frames.size()]) << "screen " << i;
    }
}

void expectCleanExit(const Playback& playback)
{
    const z80test::Z80Harness& h = *playback.harness;
    EXPECT_EQ(playback.stop, z80test::Stop::Returned) << h.fault();
    EXPECT_EQ(h.plotSScreen(), Screen{});
    EXPECT_EQ(h.lcd(), Screen{});
    EXPECT_TRUE(h.textShadowCleared());
    EXPECT_TRUE(h.cursorHome());
    EXPECT_TRUE(h.runIndicatorOn());
    EXPECT_EQ(h.peek(z80test::GraphFlags) & 1, 1);
}

}  // namespace playertest
