// A video straight to a calculator program: the headless converter imports
// a clip made by ffmpeg and builds it with the real tools; the program
// shows the imported frames in the emulator.
#include "PlayerFixture.h"
#include "support/FfmpegClips.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace playertest {
namespace {

using zoetra::calc::Stop;

TEST(ConverterOnAVideo, ImportsBuildsAndPlaysTheFrames)
{
    if (!zoetra::test::haveFfmpeg()) {
        GTEST_SKIP() << "the ffmpeg command is needed to make the clip";
    }
    AppFolder folder;
    QTemporaryDir work;
    ASSERT_TRUE(folder.isValid() && work.isValid());
    ASSERT_TRUE(QFile::copy(QStringLiteral(ZOETRA_CONVERT_EXE), folder.filePath(QStringLiteral("zoetra2-convert"))));
    // ffmpeg's second test pattern, which moves.
    const QString clip = zoetra::test::makeClip(
        work.path(), QStringLiteral("moving.webm"),
        zoetra::test::lavfi(QStringLiteral("testsrc2=size=480x320:rate=30:duration=1")) +
            QStringList{"-c:v", "libvpx-vp9", "-deadline", "realtime", "-cpu-used", "8"});
    ASSERT_FALSE(clip.isEmpty());
    QDir(work.path()).mkdir(QStringLiteral("tmp"));

    QProcess process;
    process.setWorkingDirectory(work.path());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TMPDIR"), QDir(work.path()).filePath(QStringLiteral("tmp")));
    process.setProcessEnvironment(environment);
    process.start(folder.filePath(QStringLiteral("zoetra2-convert")),
                  {QStringLiteral("--source"), clip, QStringLiteral("--fps"), QStringLiteral("10"),
                   QStringLiteral("--no-dither")});
    ASSERT_TRUE(process.waitForFinished(300000));
    const QString stdErr = QString::fromLocal8Bit(process.readAllStandardError());
    ASSERT_EQ(process.exitCode(), 0) << stdErr.toStdString();
    EXPECT_TRUE(stdErr.contains(QLatin1String("Imported 10 frames."))) << stdErr.toStdString();
    EXPECT_TRUE(stdErr.contains(QLatin1String("All 10 frames fit"))) << stdErr.toStdString();
    EXPECT_EQ(QDir(work.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name),
              (QStringList{QStringLiteral("moving.webm"), QStringLiteral("tmp"), QStringLiteral("video.8xp")}));
    EXPECT_TRUE(QDir(QDir(work.path()).filePath(QStringLiteral("tmp")))
                    .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                    .isEmpty());

    const std::vector<Screen> frames = decodeStream(streamFromVideoData(folder.read(QStringLiteral("Video.dat"))));
    ASSERT_EQ(frames.size(), 10u);
    // The picture moved: the first and the last frame differ.
    EXPECT_NE(frames.front(), frames.back());

    QFile program(QDir(work.path()).filePath(QStringLiteral("video.8xp")));
    ASSERT_TRUE(program.open(QIODevice::ReadOnly));
    const QByteArray bytes = program.readAll();
    const Playback playback = play(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), "ION", 11);
    ASSERT_EQ(playback.stop, Stop::Returned) << playback.calculator->fault();
    expectScreens(*playback.calculator, frames, 11);
}

}  // namespace
}  // namespace playertest
