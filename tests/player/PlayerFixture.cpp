#include "PlayerFixture.h"

#include "calc/ProgramFile.h"
#include "imaging/FrameFolder.h"
#include "imaging/FrameSelection.h"

#include <QDir>

namespace playertest {

std::vector<std::uint8_t> programBytes(const std::vector<std::uint8_t>& programFile)
{
    std::string error;
    const auto contents = zoetra::calc::readProgramFile(programFile, &error);
    EXPECT_TRUE(contents.has_value()) << error;
    return contents ? contents->program : std::vector<std::uint8_t>{};
}

std::uint16_t shellEntry(const std::vector<std::uint8_t>& program, const QByteArray& shellWord)
{
    if (shellWord != "MIRAGEOS") {
        return zoetra::calc::ProgramStart;
    }
    // ret, the marker byte, the 30-byte icon, the description and its zero.
    std::size_t at = 2 + 1 + 1 + 30;
    while (at < program.size() && program[at] != 0) {
        ++at;
    }
    return static_cast<std::uint16_t>(zoetra::calc::ProgramOrigin + at + 1);
}

Playback play(const std::vector<std::uint8_t>& programFile, const QByteArray& shellWord,
              std::optional<std::size_t> clearAfter)
{
    Playback playback;
    std::string error;
    if (!playback.calculator->loadProgramFile(programFile, &error)) {
        ADD_FAILURE() << error;
        return playback;
    }
    const std::vector<std::uint8_t> program = programBytes(programFile);
    const std::uint16_t entry = shellEntry(program, shellWord);
    // The preview finds the shell's entry from the bytes alone.
    EXPECT_EQ(zoetra::calc::shellEntry(program), entry);
    playback.calculator->pressAfterScreens(zoetra::calc::Key::Clear, clearAfter);
    playback.calculator->start(entry);
    playback.stop = playback.calculator->run(StepBudget);
    if (playback.stop == zoetra::calc::Stop::WaitingForKey) {
        playback.calculator->press(zoetra::calc::Key::Enter);
        playback.stop = playback.calculator->run(StepBudget);
    }
    return playback;
}

void expectScreens(const zoetra::calc::Calculator& calculator, const std::vector<Screen>& frames, std::size_t count)
{
    const auto& screens = calculator.screens();
    ASSERT_EQ(screens.size(), count);
    for (std::size_t i = 0; i < count; ++i) {
        EXPECT_EQ(screens[i].pixels, frames[i % frames.size()]) << "screen " << i;
    }
}

void expectCleanExit(const Playback& playback)
{
    const zoetra::calc::Calculator& h = *playback.calculator;
    EXPECT_EQ(playback.stop, zoetra::calc::Stop::Returned) << h.fault();
    EXPECT_EQ(h.plotSScreen(), Screen{});
    EXPECT_EQ(h.lcd(), Screen{});
    EXPECT_TRUE(h.textShadowCleared());
    EXPECT_TRUE(h.cursorHome());
    EXPECT_TRUE(h.runIndicatorOn());
    EXPECT_EQ(h.peek(zoetra::calc::GraphFlags) & 1, 1);
}

void prepareFolderRun(zoetra::Vars& vars, zoetra::MemoryWindowLayer& window, zoetra::FileSystem& files,
                      zoetra::PictureLoader& pictures, const QString& source, const QString& outDir)
{
    vars.LastDir = source;
    vars.OutDir = outDir;
    vars.BlackThreshold = 85;
    vars.WhiteThreshold = 170;
    vars.DitherOn = true;
    vars.ColourChannel = 1;
    window.frames = zoetra::listFrameFolder(files, source).value_or(QStringList{});
    window.onFrameSelected = [&vars, &window, &pictures](int index) {
        return zoetra::loadAndConvertFrame(vars, pictures, zoetra::joinPath(vars.LastDir, window.frames.at(index)),
                                           window.filePreviewArea, window.quickPrevArea);
    };
}

void ClipConversionTest::SetUp()
{
    ASSERT_TRUE(folder.isValid());
    ASSERT_TRUE(source.isValid());
    ASSERT_TRUE(outDir.isValid());
}

void ClipConversionTest::useClip(zoetra::test::ClipKind kind, int frames)
{
    QDir(source.path()).removeRecursively();
    QDir().mkpath(source.path());
    ASSERT_TRUE(zoetra::test::writeClip(zoetra::test::clipFrames(kind, frames), source.path()));
}

void expectPlaysInShell(const std::vector<std::uint8_t>& file, const QByteArray& shell, bool looping,
                        const std::vector<Screen>& frames)
{
    using zoetra::calc::Stop;
    namespace bcall = zoetra::calc::bcall;
    const std::size_t count = looping ? 2 * frames.size() + 1 : frames.size();
    const Playback whole = play(file, shell, looping ? std::optional<std::size_t>(count) : std::nullopt);
    ASSERT_EQ(whole.stop, Stop::Returned) << whole.calculator->fault();
    expectScreens(*whole.calculator, frames, count);
    EXPECT_EQ(whole.calculator->callCount(bcall::GetKey), looping ? 0u : 1u);
    EXPECT_LT(whole.calculator->highestExecuted(), zoetra::calc::ExecutionLimit);
    EXPECT_EQ(whole.calculator->interruptMode(), 1);
    expectCleanExit(whole);

    const Playback stopped = play(file, shell, 2);
    ASSERT_EQ(stopped.stop, Stop::Returned) << stopped.calculator->fault();
    expectScreens(*stopped.calculator, frames, 2);
    EXPECT_EQ(stopped.calculator->callCount(bcall::GetKey), 0u);
    expectCleanExit(stopped);
}

}  // namespace playertest
