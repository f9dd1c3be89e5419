// The player in parts against the programs the converter built before it was
// split: the sample converted now, as then, must show the same screens in the
// same order and at the same timer ticks as the programs kept in
// data/earlier-programs (the program bytes may differ). Each earlier program
// is named after its options: w/c for written or compact, the shell, and
// "once", "loop" or "q4" (quality -4, looping).
#include "PlayerFixture.h"
#include "support/TestSupport.h"

#include "calc/Timing.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace playertest {
namespace {

using zoetra::calc::Stop;

constexpr std::size_t SampleFrames = 48;

struct Case {
    const char* file;
    QStringList options;
    QByteArray shellWord;
    bool looping;
};

class EarlierPrograms : public testing::TestWithParam<Case> {};

std::vector<std::uint8_t> bytesOf(const QString& path)
{
    const QByteArray file = zoetra::test::readAll(path);
    return {file.begin(), file.end()};
}

TEST_P(EarlierPrograms, ShowTheSameScreensAtTheSameTicks)
{
    const Case& c = GetParam();
    QTemporaryDir folder;
    QTemporaryDir outDir;
    ASSERT_TRUE(folder.isValid() && outDir.isValid());
    ASSERT_TRUE(QFile::copy(QStringLiteral(ZOETRA_CONVERT_EXE), folder.filePath(QStringLiteral("zoetra2-convert"))));
    const QDir app(QStringLiteral(ZOETRA_APP_DIR));
    for (const QString& name : app.entryList({QStringLiteral("*.z80"), QStringLiteral("TASM"), QStringLiteral("DEVPAC8X"),
                                              QStringLiteral("sample*")},
                                             QDir::Files)) {
        ASSERT_TRUE(QFile::copy(app.filePath(name), folder.filePath(name))) << name.toStdString();
        QFile::setPermissions(folder.filePath(name), QFile::permissions(app.filePath(name)));
    }

    QProcess process;
    process.start(folder.filePath(QStringLiteral("zoetra2-convert")),
                  QStringList{QStringLiteral("-o"), outDir.path()} + c.options);
    ASSERT_TRUE(process.waitForFinished(300000));
    ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();

    const std::vector<std::uint8_t> now = bytesOf(QDir(outDir.path()).filePath(QStringLiteral("video.8xp")));
    const std::vector<std::uint8_t> before =
        bytesOf(QStringLiteral(ZOETRA_SOURCE_DIR "/tests/e2e/data/earlier-programs/") + QString::fromLatin1(c.file));
    ASSERT_FALSE(now.empty());
    ASSERT_FALSE(before.empty());

    // Twice through a looping video, and [CLEAR] at the first screen of
    // the third time.
    const std::optional<std::size_t> clear = c.looping ? std::optional(2 * SampleFrames + 1) : std::nullopt;
    const Playback earlier = play(before, c.shellWord, clear);
    const Playback current = play(now, c.shellWord, clear);
    ASSERT_EQ(earlier.stop, Stop::Returned) << earlier.calculator->fault();
    ASSERT_EQ(current.stop, Stop::Returned) << current.calculator->fault();

    const auto& was = earlier.calculator->screens();
    const auto& is = current.calculator->screens();
    ASSERT_EQ(is.size(), was.size());
    ASSERT_GE(is.size(), SampleFrames);
    const auto tick = static_cast<double>(zoetra::calc::TimerPeriodTStates);
    double furthest = 0.0;
    for (std::size_t i = 0; i < is.size(); ++i) {
        EXPECT_EQ(is[i].pixels, was[i].pixels) << "screen " << i;
        // The same tick: as many halts ended before each screen, and the
        // copy within the tick's time of the earlier one.
        EXPECT_EQ(is[i].halts, was[i].halts) << "screen " << i;
        const double apart = std::abs(static_cast<double>(is[i].tstates) - static_cast<double>(was[i].tstates));
        EXPECT_LT(apart, tick) << "screen " << i;
        furthest = std::max(furthest, apart);
    }
    RecordProperty("furthest_apart_tstates", std::to_string(furthest));
    expectCleanExit(current);
}

INSTANTIATE_TEST_SUITE_P(
    Sample, EarlierPrograms,
    testing::Values(Case{"w-ion-loop.8xp", {"--shell", "Ion"}, "ION", true},
                    Case{"c-ion-loop.8xp", {"--shell", "Ion", "--compact"}, "ION", true},
                    Case{"w-noshell-once.8xp", {"--shell", "NoShell", "--no-looping"}, "NOSHELL", false},
                    Case{"c-mirage-once.8xp", {"--shell", "MirageOS", "--no-looping", "--compact"}, "MIRAGEOS", false},
                    Case{"w-mirage-q4.8xp", {"--shell", "MirageOS", "-q", "-4"}, "MIRAGEOS", true},
                    Case{"c-noshell-q4.8xp", {"--shell", "NoShell", "-q", "-4", "--format", "compact"}, "NOSHELL", true}),
    [](const testing::TestParamInfo<Case>& p) {
        std::string name = p.param.file;
        name = name.substr(0, name.find('.'));
        std::erase(name, '-');
        return name;
    });

}  // namespace
}  // namespace playertest
