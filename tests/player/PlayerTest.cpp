// VID.z80 assembled by our TASM, packed by DEVPAC8X and played in the harness.
#include "PlayerFixture.h"

#include <QString>

#include <string>
#include <tuple>

namespace playertest {
namespace {

using z80test::Stop;
using z80test::Z80Harness;
namespace bcall = z80test::bcall;

// A video that tries the decoder's edges: offsets whose low byte carries into
// the next page of plotSScreen (40h + 0C0h), the first and last bytes, record
// values 254 and 255, a frame without changes and one with every byte changed.
Stream edgeVideo()
{
    Screen key = patternScreen(1);
    key[0] = 255;
    key[1] = 254;
    std::vector<FrameChanges> frames = {
        {{0, 0}, {1, 255}, {191, 254}, {192, 1}, {255, 2}, {256, 3}, {447, 4}, {448, 5}, {767, 6}},
        {},
        {{500, 0x81}},
    };
    std::vector<Screen> pictures = {key};
    for (const FrameChanges& frame : frames) {
        Screen next = pictures.back();
        for (const auto& [offset, value] : frame) {
            next[static_cast<std::size_t>(offset)] = value;
        }
        pictures.push_back(next);
    }
    frames.push_back(changesBetween(pictures.back(), patternScreen(2)));
    return makeStream(key, frames);
}


class PlayerTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(folder.isValid()); }

    std::vector<std::uint8_t> build(const Stream& stream, const QByteArray& shellWord, bool looping,
                                    const QByteArray& description = ".db \"My First Video\",0\r\n")
    {
        PlayerInputs inputs;
        inputs.varFile = varFileText(shellWord, looping);
        inputs.description = description;
        // Garbage after the end marker that would show if it were read.
        inputs.videoData = videoDataText(stream, 0x01);
        const BuildResult result = buildPlayer(folder, inputs);
        EXPECT_TRUE(result.programFile.has_value()) << result.output.toStdString();
        return result.programFile.value_or(std::vector<std::uint8_t>{});
    }

    AppFolder folder;
};

class PlayerShells : public PlayerTest, public testing::WithParamInterface<std::tuple<std::string, bool>> {};

TEST_P(PlayerShells, ShowsEveryFrameInOrderAndLeavesTheCalculatorClean)
{
    const QByteArray shell = QByteArray::fromStdString(std::get<0>(GetParam()));
    const bool looping = std::get<1>(GetParam());
    const Stream stream = edgeVideo();
    const std::vector<Screen> frames = decodeStream(stream);
    const auto file = build(stream, shell, looping);
    ASSERT_FALSE(file.empty());

    // Looping: twice through and the first frame once more, then CLEAR.
    const std::optional<std::size_t> clearAfter =
        looping ? std::optional<std::size_t>(2 * frames.size() + 1) : std::nullopt;
    const Playback playback = play(file, shell, clearAfter);
    ASSERT_EQ(playback.stop, Stop::Returned) << playback.harness->fault();
    expectScreens(*playback.harness, frames, looping ? 2 * frames.size() + 1 : frames.size());
    EXPECT_EQ(playback.harness->callCount(bcall::GetKey), looping ? 0u : 1u);
    expectCleanExit(playback);
}

INSTANTIATE_TEST_SUITE_P(Player, PlayerShells,
                         testing::Combine(testing::Values("ION", "MIRAGEOS", "NOSHELL", ""), testing::Bool()),
                         [](const auto& p) {
                             const std::string& shell = std::get<0>(p.param);
                             return (shell.empty() ? std::string("none") : shell) +
                                    (std::get<1>(p.param) ? "_looping" : "_once");
                         });

TEST_F(PlayerTest, ClearEndsPlaybackAtOnce)
{
    const Stream stream = edgeVideo();
    const std::vector<Screen> frames = decodeStream(stream);
    for (const bool looping : {false, true}) {
        SCOPED_TRACE(looping);
        const Playback playback = play(build(stream, "ION", looping), "ION", 2);
        ASSERT_EQ(playback.stop, Stop::Returned) << playback.harness->fault();
        expectScreens(*playback.harness, frames, 2);
        EXPECT_EQ(playback.harness->callCount(bcall::GetKey), 0u);
        expectCleanExit(playback);
    }
}

TEST_F(PlayerTest, OneFrameVideo)
{
    Screen key = patternScreen(3);
    key[767] = 254;
    const Stream stream = makeStream(key, {});
    ASSERT_EQ(stream.size(), 769u);
    const Playback once = play(build(stream, "NOSHELL", false), "NOSHELL", std::nullopt);
    expectScreens(*once.harness, {key}, 1);
    expectCleanExit(once);

    const Playback looping = play(build(stream, "NOSHELL", true), "NOSHELL", 3);
    expectScreens(*looping.harness, {key}, 3);
    expectCleanExit(looping);
}

TEST_F(PlayerTest, HeaderBytesMatchTheShell)
{
    const Stream stream = edgeVideo();
    const std::vector<std::uint8_t> bcallRunIndicOff = {0xEF, 0x70, 0x45};
    const std::string description = "My First Video";

    const auto ion = programBytes(build(stream, "ION", false));
    ASSERT_GT(ion.size(), 40u);
    EXPECT_EQ(ion[0], 0xBB);
    EXPECT_EQ(ion[1], 0x6D);
    EXPECT_EQ(ion[2], 0xAF);  // xor a
    EXPECT_EQ(ion[3], 0x30);  // jr nc, over the description
    EXPECT_EQ(ion[4], description.size() + 1);
    EXPECT_EQ(std::string(ion.begin() + 5, ion.begin() + 5 + static_cast<long>(description.size()) + 1),
              description + '\0');
    EXPECT_EQ(std::vector<std::uint8_t>(ion.begin() + 5 + ion[4], ion.begin() + 8 + ion[4]), bcallRunIndicOff);

    const auto mirage = programBytes(build(stream, "MIRAGEOS", false));
    EXPECT_EQ(mirage[2], 0xC9);  // ret
    EXPECT_EQ(mirage[3], 0x01);
    for (std::size_t row = 0; row < 15; ++row) {
        SCOPED_TRACE(row);
        // 15 pixels wide: the sixteenth column is clear; every row has ink.
        EXPECT_EQ(mirage[4 + 2 * row + 1] & 1, 0);
        EXPECT_NE(mirage[4 + 2 * row] | mirage[4 + 2 * row + 1], 0);
    }
    EXPECT_EQ(std::string(mirage.begin() + 34, mirage.begin() + 34 + static_cast<long>(description.size()) + 1),
              description + '\0');
    const std::size_t code = 34 + description.size() + 1;
    EXPECT_EQ(std::vector<std::uint8_t>(mirage.begin() + static_cast<long>(code), mirage.begin() + static_cast<long>(code) + 3),
              bcallRunIndicOff);
    EXPECT_EQ(shellEntry(mirage, "MIRAGEOS"), z80test::ProgramOrigin + code);

    const auto noShell = programBytes(build(stream, "NOSHELL", false));
    EXPECT_EQ(std::vector<std::uint8_t>(noShell.begin() + 2, noShell.begin() + 5), bcallRunIndicOff);
    // "#define " with no word builds exactly as no shell.
    EXPECT_EQ(programBytes(build(stream, "", false)), noShell);
}

TEST_F(PlayerTest, MirageOsProgramRunDirectlyEndsAtOnce)
{
    Z80Harness harness;
    ASSERT_TRUE(harness.loadProgramFile(build(edgeVideo(), "MIRAGEOS", true)));
    harness.start();
    EXPECT_EQ(harness.run(StepBudget), Stop::Returned) << harness.fault();
    EXPECT_TRUE(harness.systemCalls().empty());
    EXPECT_EQ(harness.steps(), 1u);
}

TEST_F(PlayerTest, DescriptionWithNumericPieces)
{
    const auto file = build(edgeVideo(), "ION", false, ".db \"He said \",34,\"hi\",34,\"\",0\r\n");
    const auto ion = programBytes(file);
    const std::string expected = "He said \"hi\"";
    ASSERT_GT(ion.size(), 5 + expected.size());
    EXPECT_EQ(std::string(ion.begin() + 5, ion.begin() + 5 + static_cast<long>(expected.size()) + 1), expected + '\0');
    const Playback playback = play(file, "ION", std::nullopt);
    expectScreens(*playback.harness, decodeStream(edgeVideo()), decodeStream(edgeVideo()).size());
    expectCleanExit(playback);
}

TEST_F(PlayerTest, FramesArePacedByAFixedNumberOfTimerTicks)
{
    const int halts = frameHaltsInSource();
    ASSERT_GT(halts, 0);
    const Playback playback = play(build(edgeVideo(), "NOSHELL", true), "NOSHELL", 12);
    ASSERT_EQ(playback.stop, Stop::Returned) << playback.harness->fault();
    const auto& screens = playback.harness->screens();
    ASSERT_EQ(screens.size(), 12u);
    for (std::size_t i = 1; i < screens.size(); ++i) {
        EXPECT_EQ(screens[i].halts - screens[i - 1].halts, static_cast<std::uint64_t>(halts)) << i;
    }
}

// T-states are exact in emulation, so the per-record budget is a property of
// the code, not a timing.
TEST_F(PlayerTest, ChangeRecordCostsAtMostOneHundredTStates)
{
    const Screen key = patternScreen(4);
    const Screen inverse = [&] {
        Screen s = key;
        for (auto& b : s) {
            b = static_cast<std::uint8_t>(~b);
        }
        return s;
    }();
    const Stream stream = makeStream(key, {changesBetween(key, inverse), {}});
    const Playback playback = play(build(stream, "NOSHELL", false), "NOSHELL", std::nullopt);
    ASSERT_EQ(playback.stop, Stop::Returned) << playback.harness->fault();
    const auto& s = playback.harness->screens();
    ASSERT_EQ(s.size(), 3u);
    const std::uint64_t full = s[1].programTStates - s[0].programTStates;
    const std::uint64_t empty = s[2].programTStates - s[1].programTStates;
    ASSERT_GT(full, empty);
    EXPECT_LE((full - empty) / 768.0, 100.0);
}

// About 24,000 bytes of video reach far past C000h; the code must not.
TEST_F(PlayerTest, LongVideoRunsWithItsCodeBelowC000h)
{
    std::vector<FrameChanges> frames;
    Screen previous = patternScreen(10);
    const Screen key = previous;
    while (768 + 2305 * (frames.size() + 1) + 1 <= 24000) {
        Screen next = previous;
        for (auto& b : next) {
            b = static_cast<std::uint8_t>(b + 1);
        }
        frames.push_back(changesBetween(previous, next));
        previous = next;
    }
    frames.push_back({{767, 0x55}});
    const Stream stream = makeStream(key, frames);
    ASSERT_GT(stream.size(), 23000u);

    const auto file = build(stream, "NOSHELL", false);
    const auto program = programBytes(file);
    const std::uint32_t end = z80test::ProgramOrigin + static_cast<std::uint32_t>(program.size());
    const std::uint32_t videoStart = end - static_cast<std::uint32_t>(videoDataSize(stream.size()));
    EXPECT_GT(end, z80test::ExecutionLimit);
    EXPECT_LT(videoStart, 0xA000u);
    EXPECT_TRUE(std::equal(stream.begin(), stream.end(), program.begin() + (videoStart - z80test::ProgramOrigin)));

    const Playback playback = play(file, "NOSHELL", std::nullopt);
    const std::vector<Screen> expected = decodeStream(stream);
    expectScreens(*playback.harness, expected, expected.size());
    expectCleanExit(playback);
    EXPECT_LT(playback.harness->highestExecuted(), videoStart);
    // The end marker is the last byte the player reads.
    EXPECT_EQ(playback.harness->highestDataRead(), videoStart + stream.size() - 1);
}

TEST_F(PlayerTest, NothingPastTheEndMarkerIsRead)
{
    const Stream stream = edgeVideo();
    for (const bool looping : {false, true}) {
        SCOPED_TRACE(looping);
        const auto file = build(stream, "ION", looping);
        const std::size_t end = programBytes(file).size();
        const Playback playback = play(file, "ION", looping ? std::optional<std::size_t>(9) : std::nullopt);
        ASSERT_EQ(playback.stop, Stop::Returned) << playback.harness->fault();
        const std::size_t marker = z80test::ProgramOrigin + end - videoDataSize(stream.size()) + stream.size() - 1;
        EXPECT_EQ(playback.harness->highestDataRead(), marker);
    }
}

}  // namespace
}  // namespace playertest
