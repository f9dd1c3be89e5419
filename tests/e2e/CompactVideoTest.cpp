// "Compact video" end to end: clips drawn in code, converted by the real run
// from picture files, built by the real tools and played on the emulated calculator,
// against the same clip converted to the written stream.
#include "PlayerFixture.h"

#include "convert/ConversionRun.h"
#include "imaging/FrameFolder.h"
#include "imaging/FrameSelection.h"
#include "platform/MemoryWindowLayer.h"
#include "platform/Platform.h"
#include "platform/QtBuildLauncher.h"
#include "platform/QtFileSystem.h"
#include "platform/QtPictureLoader.h"
#include "platform/UniformRandom.h"
#include "shared/Vars.h"
#include "support/Clips.h"
#include "support/TestSupport.h"

#include <QTemporaryDir>

#include <memory>
#include <string>

namespace playertest {
namespace {

using zoetra::calc::Stop;
using zoetra::test::ClipKind;
namespace bcall = zoetra::calc::bcall;

constexpr int ClipFrames = 12;

struct Converted {
    zoetra::RunOutcome outcome;
    std::vector<std::uint8_t> program;
};

class CompactEndToEnd : public ClipConversionTest {
protected:
    // A conversion as a fresh program start makes it: the same random
    // numbers for the thinning every time.
    Converted convert(const QString& shell, bool looping, bool compact, int quality = -3)
    {
        zoetra::QtFileSystem files;
        zoetra::QtPictureLoader pictures;
        zoetra::QtBuildLauncher launcher(folder.path());
        zoetra::UniformRandom random;
        zoetra::MemoryWindowLayer window;
        zoetra::Platform platform{window, files, pictures, launcher, random, folder.path()};
        auto vars = std::make_unique<zoetra::Vars>();
        prepareFolderRun(*vars, window, files, pictures, source.path(), outDir.path());
        window.shell = shell;
        window.looping = looping ? 1 : 0;
        window.target.format = compact ? zoetra::StreamFormat::Compact : zoetra::StreamFormat::Written;
        window.detailSlider = quality;  // thinning: the same draws must make the same screens

        zoetra::ConversionRun run(*vars, platform);
        Converted result;
        result.outcome = run.RunConversion();
        if (result.outcome.status == zoetra::RunOutcome::Status::Delivered) {
            const QByteArray file = zoetra::test::readAll(result.outcome.deliveredPath);
            result.program.assign(file.begin(), file.end());
        }
        return result;
    }

};

class CompactClips : public CompactEndToEnd, public testing::WithParamInterface<ClipKind> {};

TEST_P(CompactClips, ShowTheWrittenScreensInEveryShellLoopingOrNot)
{
    useClip(GetParam(), ClipFrames);
    const Converted written = convert(QStringLiteral("No Shell"), false, false);
    ASSERT_EQ(written.outcome.status, zoetra::RunOutcome::Status::Delivered);
    const Playback reference = play(written.program, "NOSHELL", std::nullopt);
    ASSERT_EQ(reference.stop, Stop::Returned) << reference.calculator->fault();
    std::vector<Screen> screens;
    for (const auto& shown : reference.calculator->screens()) {
        screens.push_back(shown.pixels);
    }
    ASSERT_EQ(screens.size(), static_cast<std::size_t>(ClipFrames));

    const struct {
        QString shell;
        QByteArray word;
    } shells[] = {{"Ion", "ION"}, {"MirageOS", "MIRAGEOS"}, {"No Shell", "NOSHELL"}};
    std::vector<std::uint8_t> last;
    for (const auto& [shell, word] : shells) {
        for (const bool looping : {false, true}) {
            SCOPED_TRACE(shell.toStdString() + (looping ? " looping" : " once"));
            const Converted compact = convert(shell, looping, true);
            ASSERT_EQ(compact.outcome.status, zoetra::RunOutcome::Status::Delivered);
            EXPECT_LT(compact.outcome.size, written.outcome.size);
            const std::size_t count = looping ? 2 * screens.size() + 1 : screens.size();
            const Playback playback = play(compact.program, word, looping ? std::optional(count) : std::nullopt);
            ASSERT_EQ(playback.stop, Stop::Returned) << playback.calculator->fault();
            expectScreens(*playback.calculator, screens, count);
            EXPECT_EQ(playback.calculator->callCount(bcall::GetKey), looping ? 0u : 1u);
            EXPECT_LT(playback.calculator->highestExecuted(), zoetra::calc::ExecutionLimit);
            expectCleanExit(playback);
            last = compact.program;
        }
    }
    // CLEAR in the middle.
    const Playback stopped = play(last, "NOSHELL", 3);
    ASSERT_EQ(stopped.stop, Stop::Returned) << stopped.calculator->fault();
    expectScreens(*stopped.calculator, screens, 3);
    EXPECT_EQ(stopped.calculator->callCount(bcall::GetKey), 0u);
    expectCleanExit(stopped);
}

INSTANTIATE_TEST_SUITE_P(EndToEnd, CompactClips, testing::ValuesIn(zoetra::test::AllClipKinds),
                         [](const auto& p) {
                             std::string name = zoetra::test::clipName(p.param).toStdString();
                             std::erase(name, ' ');
                             return name;
                         });

// A pan over a detailed picture changes most bytes of every frame: written,
// 24 frames pass 24,000 bytes; compact, they fit.
TEST_F(CompactEndToEnd, AClipTooLargeWrittenConvertsCompact)
{
    useClip(ClipKind::Pan, 24);
    const Converted written = convert(QStringLiteral("Ion"), true, false, 0);
    EXPECT_EQ(written.outcome.status, zoetra::RunOutcome::Status::TooLarge);
    EXPECT_GT(written.outcome.size, zoetra::RamVideoLimit);

    const Converted compact = convert(QStringLiteral("Ion"), true, true, 0);
    ASSERT_EQ(compact.outcome.status, zoetra::RunOutcome::Status::Delivered);
    EXPECT_LE(compact.outcome.size, zoetra::RamVideoLimit);
    const Playback playback = play(compact.program, "ION", 25);
    ASSERT_EQ(playback.stop, Stop::Returned) << playback.calculator->fault();
    EXPECT_EQ(playback.calculator->screens().size(), 25u);
    EXPECT_EQ(playback.calculator->screens()[24].pixels, playback.calculator->screens()[0].pixels);
    expectCleanExit(playback);
}

}  // namespace
}  // namespace playertest
