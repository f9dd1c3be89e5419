// A video straight to a calculator program: the headless converter imports
// a clip made by ffmpeg and builds it with the real tools; the program
// shows the imported frames in the emulator.
#include "PlayerFixture.h"
#include "calc/Recording.h"
#include "codec/sound/SoundDecoder.h"
#include "devpac8x/VariableFile.h"
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

// A video with its sound on a TI-84 Plus: the converter takes the sound the
// import keeps beside the frames, and the program's AppVars hold it after
// the video's; played, the lines carry every pulse the sound's reference
// decoder gives, in order. A folder of frames without sound is refused with
// a message, and --sound for the TI-83 Plus with its reason (exit 2).
TEST(ConverterOnAVideo, KeepsItsSoundWhenAsked)
{
    if (!zoetra::test::haveFfmpeg()) {
        GTEST_SKIP() << "the ffmpeg command is needed to make the clip";
    }
    AppFolder folder;
    QTemporaryDir work;
    ASSERT_TRUE(folder.isValid() && work.isValid());
    ASSERT_TRUE(QFile::copy(QStringLiteral(ZOETRA_CONVERT_EXE), folder.filePath(QStringLiteral("zoetra2-convert"))));
    const QString clip = zoetra::test::makeClip(
        work.path(), QStringLiteral("tone.mkv"),
        zoetra::test::lavfi(QStringLiteral("testsrc2=size=192x128:rate=15:duration=2")) +
            QStringList{"-f", "lavfi", "-i", "sine=frequency=440:duration=2", "-c:v", "ffv1", "-c:a", "flac"});
    ASSERT_FALSE(clip.isEmpty());
    const auto convert = [&](const QStringList& arguments, int& exitCode) {
        QProcess process;
        process.setWorkingDirectory(work.path());
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(folder.filePath(QStringLiteral("zoetra2-convert")), arguments);
        EXPECT_TRUE(process.waitForFinished(300000));
        exitCode = process.exitCode();
        return QString::fromLocal8Bit(process.readAllStandardOutput());
    };
    int exitCode = 0;
    QString stdErr = convert({QStringLiteral("--source"), clip, QStringLiteral("--sound")}, exitCode);
    EXPECT_EQ(exitCode, 2);
    EXPECT_TRUE(stdErr.contains(QLatin1String("TI-83 Plus has no crystal timers"))) << stdErr.toStdString();
    EXPECT_TRUE(stdErr.contains(QLatin1String("TI-84 Plus"))) << stdErr.toStdString();

    const QStringList target{QStringLiteral("-o"), work.path(), QStringLiteral("--sound"), QStringLiteral("--model"), QStringLiteral("ti84p"),
                             QStringLiteral("--format"), QStringLiteral("dense"), QStringLiteral("--archive"),
                             QStringLiteral("--no-looping")};
    const QString frames = QDir(work.path()).filePath(QStringLiteral("frames"));
    stdErr = convert(QStringList{QStringLiteral("--source"), clip, QStringLiteral("--fps"), QStringLiteral("15"),
                                 QStringLiteral("--extract-to"), frames},
                     exitCode);
    ASSERT_EQ(exitCode, 0) << stdErr.toStdString();
    ASSERT_TRUE(QFile::exists(QDir(frames).filePath(QStringLiteral("Sound.wav"))));
    stdErr = convert(QStringList{QStringLiteral("--source"), frames} + target, exitCode);
    ASSERT_EQ(exitCode, 0) << stdErr.toStdString();
    EXPECT_TRUE(stdErr.contains(QLatin1String("Sound: "))) << stdErr.toStdString();

    // The AppVars as the calculator gets them; the sound's after the video's.
    std::vector<zoetra::calc::AppVar> appVars;
    std::vector<std::uint8_t> soundStream;
    for (int i = 0;; ++i) {
        QFile file(QDir(work.path()).filePath(QStringLiteral("video%1.8xv").arg(i, 2, 10, QLatin1Char('0'))));
        if (!file.open(QIODevice::ReadOnly)) {
            break;
        }
        const QByteArray bytes = file.readAll();
        const auto variables = devpac8x::readVariableFile(std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                                                    static_cast<std::size_t>(bytes.size())));
        ASSERT_EQ(variables.size(), 1u);
        const std::vector<std::uint8_t> data(variables.front().data.begin() + 2, variables.front().data.end());
        if (data.at(1) == 'S') {
            soundStream.insert(soundStream.end(), data.begin() + 8, data.end());
        } else {
            EXPECT_TRUE(soundStream.empty()) << "the video's AppVars first";
        }
        appVars.push_back({variables.front().name, data});
    }
    std::string error;
    const auto decoded = zoetra::sound::decodeSound(soundStream, &error);
    ASSERT_TRUE(decoded.has_value()) << error;
    QFile program(QDir(work.path()).filePath(QStringLiteral("video.8xp")));
    ASSERT_TRUE(program.open(QIODevice::ReadOnly));
    const QByteArray bytes = program.readAll();
    const zoetra::calc::Recording recording = zoetra::calc::recordProgramFile(
        std::vector<std::uint8_t>(bytes.begin(), bytes.end()),
        zoetra::calc::CalculatorSetup(zoetra::CalculatorModel::Ti84Plus, appVars));
    ASSERT_EQ(recording.end, zoetra::calc::Recording::End::WaitsForKey) << recording.fault;
    EXPECT_EQ(recording.frames.size(), 30u);
    ASSERT_GE(recording.lineEdges.size(), decoded->edges.size());
    // Each pulse as long as the decoder's, within the interrupts' waits.
    zoetra::LineEdges::Reader reader(recording.lineEdges);
    std::vector<zoetra::LineEdge> played;
    while (const auto edge = reader.next()) {
        played.push_back(*edge);
    }
    for (std::size_t i = 0; i + 1 < decoded->edges.size(); i += 2) {
        const auto pulse = static_cast<double>(played[i + 1].clock - played[i].clock) / 2.0;
        const auto reference = static_cast<double>(decoded->edges[i + 1].clock - decoded->edges[i].clock);
        ASSERT_NEAR(pulse, reference, 400.0) << "pulse " << i / 2;
    }

    // Frames without sound.
    ASSERT_TRUE(QFile::remove(QDir(frames).filePath(QStringLiteral("Sound.wav"))));
    stdErr = convert(QStringList{QStringLiteral("--source"), frames} + target, exitCode);
    EXPECT_NE(exitCode, 0);
    EXPECT_TRUE(stdErr.contains(QLatin1String("have no sound"))) << stdErr.toStdString();
}

}  // namespace
}  // namespace playertest
