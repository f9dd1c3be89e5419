// The headless converter run as a process, from its own application folder.
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cstdio>

#include <gtest/gtest.h>

namespace zoetra::test {
namespace {

class ConverterProcess : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        QDir(root.path()).mkdir(QStringLiteral("app"));
        QDir(root.path()).mkdir(QStringLiteral("out"));
        app = root.filePath(QStringLiteral("app"));
        out = root.filePath(QStringLiteral("out"));
        exe = QDir(app).filePath(QStringLiteral("zoetra2-convert"));
        ASSERT_TRUE(QFile::copy(QStringLiteral(ZOETRA_CONVERT_EXE), exe));
        ASSERT_TRUE(copySamples(app));
    }

    int run(const QStringList& arguments)
    {
        QProcess process;
        process.setWorkingDirectory(out);
        process.start(exe, arguments);
        EXPECT_TRUE(process.waitForFinished(60000));
        stdOut = QString::fromLocal8Bit(process.readAllStandardOutput());
        stdErr = QString::fromLocal8Bit(process.readAllStandardError());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    QTemporaryDir root;
    QString app, out, exe;
    QString stdOut, stdErr;
};

TEST_F(ConverterProcess, VersionAndHelp)
{
    EXPECT_EQ(run({QStringLiteral("--version")}), 0);
    EXPECT_EQ(stdOut.trimmed(), QStringLiteral("Zoetra2 2.00"));
    EXPECT_EQ(run({QStringLiteral("--help")}), 0);
    for (const char* option : {"--source", "--output", "--name", "--description", "--shell", "--no-looping",
                               "--quality", "--black", "--white", "--channel", "--no-dither", "--auto", "--preview",
                               "--preview-scale", "--play", "--pattern", "--gamma", "--auto-exposure"}) {
        EXPECT_TRUE(stdOut.contains(QLatin1String(option))) << option;
    }
}

TEST_F(ConverterProcess, BadOptionsStopBeforeAnythingIsTouched)
{
    const QList<QStringList> bad = {
        // The quality reads as the window's slider: -10..0.
        {QStringLiteral("--quality"), QStringLiteral("-11")},
        {QStringLiteral("--quality"), QStringLiteral("5")},
        {QStringLiteral("--source"), QStringLiteral("/")},
        {QStringLiteral("--output"), QStringLiteral("/")},
        {QStringLiteral("--black"), QStringLiteral("lots")},
        {QStringLiteral("--shell"), QStringLiteral("DoorsCS")},
        {QStringLiteral("--channel"), QStringLiteral("purple")},
        {QStringLiteral("--pattern"), QStringLiteral("plaid")},
        {QStringLiteral("--pattern")},
        {QStringLiteral("--gamma"), QStringLiteral("0.2")},
        {QStringLiteral("--gamma"), QStringLiteral("4.5")},
        {QStringLiteral("--gamma"), QStringLiteral("bright")},
        {QStringLiteral("--source"), root.filePath(QStringLiteral("none"))},
        {QStringLiteral("--output"), root.filePath(QStringLiteral("none"))},
        {QStringLiteral("--frobnicate")},
        {QStringLiteral("stray")},
#ifdef ZOETRA_HAVE_GIF
        // The preview: a GIF in an existing folder, a scale of 1..10, and
        // --play only to record an existing program file.
        {QStringLiteral("--preview"), root.filePath(QStringLiteral("none/preview.gif"))},
        {QStringLiteral("--preview"), QStringLiteral("p.gif"), QStringLiteral("--preview-scale"), QStringLiteral("0")},
        {QStringLiteral("--preview"), QStringLiteral("p.gif"), QStringLiteral("--preview-scale"), QStringLiteral("11")},
        {QStringLiteral("--preview-scale"), QStringLiteral("2")},
        {QStringLiteral("--play"), exe},
        {QStringLiteral("--play"), root.filePath(QStringLiteral("none.8xp")), QStringLiteral("--preview"), QStringLiteral("p.gif")},
        {QStringLiteral("--play"), exe, QStringLiteral("--preview"), QStringLiteral("p.gif"), QStringLiteral("--shell"), QStringLiteral("Ion")},
#endif
    };
    for (const QStringList& arguments : bad) {
        EXPECT_EQ(run(arguments), 2) << arguments.join(' ').toStdString();
        EXPECT_TRUE(stdErr.startsWith(QStringLiteral("zoetra2-convert: "))) << stdErr.toStdString();
        EXPECT_TRUE(stdOut.isEmpty());
    }
    EXPECT_FALSE(QFile::exists(QDir(app).filePath(QStringLiteral("VarFile.var"))));
    EXPECT_TRUE(QDir(out).entryList(QDir::Files).isEmpty());
}

TEST_F(ConverterProcess, QualityReadsAsTheWindowsSlider)
{
    for (const QStringList& arguments : {QStringList{"--quality", "-10"}, QStringList{"-q", "-3"},
                                         QStringList{"--quality=0"}}) {
        // Taken (the build then fails without the tools), not refused.
        EXPECT_EQ(run(arguments), 1) << arguments.join(' ').toStdString();
        EXPECT_TRUE(stdErr.contains(QStringLiteral("could not be built"))) << stdErr.toStdString();
    }
    EXPECT_EQ(run({QStringLiteral("--help")}), 0);
    EXPECT_TRUE(stdOut.contains(QStringLiteral("-10..0")));
    EXPECT_TRUE(stdOut.simplified().contains(QStringLiteral("at most 126 characters with Ion and 255 with MirageOS")));
}

TEST_F(ConverterProcess, TellsWhatTheUserNeedsToKnowOfTheFrames)
{
    const QString frames = root.filePath(QStringLiteral("frames"));
    ASSERT_TRUE(QDir().mkpath(frames));
    for (const char* name : {"frame1.bmp", "frame2.bmp", "frame10.bmp"}) {
        ASSERT_TRUE(solidImage(96, 64, makeColour(90, 90, 90)).save(QDir(frames).filePath(QLatin1String(name))));
    }
    writeAll(QDir(frames).filePath(QStringLiteral("frame3.jpg")), "not a picture");
    EXPECT_EQ(run({QStringLiteral("--source"), frames, QStringLiteral("--auto")}), 1);
    // Letter by letter, frame10 comes before frame2.
    EXPECT_TRUE(stdErr.contains(QStringLiteral("frame10.bmp plays before frame2.bmp"))) << stdErr.toStdString();
    EXPECT_TRUE(stdErr.contains(QStringLiteral("leading zeros"))) << stdErr.toStdString();
    EXPECT_TRUE(stdErr.contains(QStringLiteral("An import reads them in number order."))) << stdErr.toStdString();
    // The thresholds "Auto" chose, as options that repeat them.
    EXPECT_TRUE(stdErr.contains(QStringLiteral("Auto balance: --black 60 --white 90"))) << stdErr.toStdString();
    EXPECT_TRUE(stdErr.contains(QStringLiteral("the frame ") + QDir::toNativeSeparators(QDir(frames).filePath(QStringLiteral("frame3.jpg"))) +
                                QStringLiteral(" could not be read")))
        << stdErr.toStdString();

    // Numbered with leading zeros: no warning.
    const QString padded = root.filePath(QStringLiteral("padded"));
    ASSERT_TRUE(QDir().mkpath(padded));
    for (const char* name : {"frame01.bmp", "frame02.bmp", "frame10.bmp"}) {
        ASSERT_TRUE(solidImage(96, 64, makeColour(90, 90, 90)).save(QDir(padded).filePath(QLatin1String(name))));
    }
    EXPECT_EQ(run({QStringLiteral("--source"), padded}), 1);
    EXPECT_FALSE(stdErr.contains(QStringLiteral("leading zeros"))) << stdErr.toStdString();
    EXPECT_FALSE(stdErr.contains(QStringLiteral("Warning"))) << stdErr.toStdString();
}

#ifdef ZOETRA_HAVE_GIF
// The preview's file never takes the place of what the run reads or writes,
// nor of anything that is not a regular file.
TEST_F(ConverterProcess, APreviewOverAnInputOrTheProgramIsRefused)
{
    const QString frames = root.filePath(QStringLiteral("frames"));
    ASSERT_TRUE(QDir().mkpath(frames));
    const QString frame = QDir(frames).filePath(QStringLiteral("frame1.bmp"));
    ASSERT_TRUE(solidImage(96, 64, makeColour(90, 90, 90)).save(frame));
    const QString program = QDir(out).filePath(QStringLiteral("played.8xp"));
    writeAll(program, "**TI83F*");
    const QList<QStringList> bad = {
        {QStringLiteral("--source"), frames, QStringLiteral("--preview"), frame},
        {QStringLiteral("--play"), program, QStringLiteral("--preview"), program},
        {QStringLiteral("--output"), out, QStringLiteral("--name"), QStringLiteral("Clip"), QStringLiteral("--preview"),
         QDir(out).filePath(QStringLiteral("clip.8xp"))},
        {QStringLiteral("--preview"), out},
    };
    for (const QStringList& options : bad) {
        EXPECT_EQ(run(options), 2) << options.join(' ').toStdString();
        EXPECT_TRUE(stdErr.contains(QLatin1String("--preview"))) << stdErr.toStdString();
    }
    EXPECT_EQ(readAll(program), QByteArray("**TI83F*"));
    EXPECT_TRUE(QImage(frame).size() == QSize(96, 64));
}
#endif

#ifndef _WIN32
// A file whose name is not valid UTF-8 is named as it is, not as missing.
TEST_F(ConverterProcess, ANameThatIsNotUtf8IsShownAsItIs)
{
    const QByteArray name = QFile::encodeName(root.path()) + "/caf\xE9.mp4";
    FILE* raw = std::fopen(name.constData(), "w");
    ASSERT_NE(raw, nullptr);
    std::fclose(raw);
    QProcess process;
    // Through the shell: QProcess hands its arguments on as UTF-8 only.
    process.start(QStringLiteral("/bin/sh"),
                  {QStringLiteral("-c"), QStringLiteral("exec \"$0\" --source \"$(printf '%s/caf\\351.mp4' \"$1\")\""),
                   exe, root.path()});
    ASSERT_TRUE(process.waitForFinished(60000));
    const QString errors = QString::fromLocal8Bit(process.readAllStandardError());
    EXPECT_EQ(process.exitCode(), 2);
    EXPECT_TRUE(errors.contains(QStringLiteral("caf\\xE9.mp4': the name is not valid UTF-8"))) << errors.toStdString();
    EXPECT_FALSE(errors.contains(QLatin1String("neither"))) << errors.toStdString();
    std::remove(name.constData());
}
#endif

// A PNG whose text chunk has a wrong checksum: libpng warns and reads on.
// Its warning never reaches standard error.
TEST_F(ConverterProcess, NoLibraryNoiseOnStandardError)
{
    const QString frames = root.filePath(QStringLiteral("frames"));
    ASSERT_TRUE(QDir().mkpath(frames));
    QImage picture = solidImage(96, 64, makeColour(90, 90, 90));
    picture.setText(QStringLiteral("Comment"), QStringLiteral("made for the test"));
    const QString png = QDir(frames).filePath(QStringLiteral("frame1.png"));
    ASSERT_TRUE(picture.save(png));
    QByteArray bytes = readAll(png);
    const qsizetype text = bytes.indexOf("tEXt");
    ASSERT_GT(text, 0);
    const int length = (static_cast<quint8>(bytes[text - 2]) << 8) | static_cast<quint8>(bytes[text - 1]);
    bytes[text + 4 + length] = static_cast<char>(bytes[text + 4 + length] ^ 0x5A);  // the checksum's first byte
    writeAll(png, bytes);

    run({QStringLiteral("--source"), frames});
    EXPECT_FALSE(stdErr.contains(QLatin1String("libpng"))) << stdErr.toStdString();
}

TEST_F(ConverterProcess, PatternToneAndAutoReachTheVideo)
{
    // A grey ramp: every pattern and tone draws it differently.
    const QString frames = root.filePath(QStringLiteral("ramp"));
    ASSERT_TRUE(QDir().mkpath(frames));
    QImage ramp(96, 64, QImage::Format_RGB32);
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 96; ++x) {
            const int g = 40 + x * 2;
            ramp.setPixel(x, y, qRgb(g, g, g));
        }
    }
    for (const char* name : {"f1.bmp", "f2.bmp"}) {
        ASSERT_TRUE(ramp.save(QDir(frames).filePath(QLatin1String(name))));
    }
    // The build fails without the tools; the video data is written first.
    const auto videoData = [&](QStringList arguments) {
        arguments.prepend(frames);
        arguments.prepend(QStringLiteral("--source"));
        EXPECT_EQ(run(arguments), 1) << stdErr.toStdString();
        return readAll(QDir(app).filePath(QStringLiteral("Video.dat")));
    };

    const QByteArray written = videoData({});
    EXPECT_EQ(videoData({QStringLiteral("--pattern"), QStringLiteral("checkerboard"), QStringLiteral("--gamma"),
                         QStringLiteral("1")}),
              written);
    QList<QByteArray> seen{written};
    for (const QStringList& arguments :
         {QStringList{"--pattern", "bayer4"}, QStringList{"--pattern", "BlueNoise"}, QStringList{"--pattern", "diffusion"},
          QStringList{"--pattern", "search"}, QStringList{"--pattern", "bayer4", "--gamma", "1.6"},
          QStringList{"--pattern", "bayer4", "--auto-exposure"}}) {
        const QByteArray data = videoData(arguments);
        EXPECT_FALSE(data.isEmpty());
        EXPECT_FALSE(seen.contains(data)) << arguments.join(' ').toStdString();
        seen.append(data);
    }

    // --auto tells its proposal; thresholds given as options win over it.
    const QByteArray explicitOnly = videoData({QStringLiteral("--black"), QStringLiteral("50"),
                                               QStringLiteral("--white"), QStringLiteral("200")});
    const QByteArray withAuto = videoData({QStringLiteral("--auto"), QStringLiteral("--black"), QStringLiteral("50"),
                                           QStringLiteral("--white"), QStringLiteral("200")});
    EXPECT_TRUE(stdErr.contains(QStringLiteral("Auto balance: --black 90 --white 135"))) << stdErr.toStdString();
    EXPECT_EQ(withAuto, explicitOnly);
    EXPECT_NE(videoData({QStringLiteral("--auto")}), explicitOnly);

    // A pattern starts from the full range; its "Auto" proposes a band that
    // holds the ramp's tones, 40 to 230, and tells it.
    EXPECT_EQ(videoData({QStringLiteral("--pattern"), QStringLiteral("bayer4")}),
              videoData({QStringLiteral("--pattern"), QStringLiteral("bayer4"), QStringLiteral("--black"),
                         QStringLiteral("0"), QStringLiteral("--white"), QStringLiteral("255")}));
    const QByteArray patternAuto = videoData({QStringLiteral("--pattern"), QStringLiteral("bayer4"), QStringLiteral("--auto")});
    const QRegularExpressionMatch told =
        QRegularExpression(QStringLiteral("Auto balance: --black (\\d+) --white (\\d+)")).match(stdErr);
    ASSERT_TRUE(told.hasMatch()) << stdErr.toStdString();
    EXPECT_LE(told.captured(1).toInt(), 40);
    EXPECT_GE(told.captured(2).toInt(), 230);
    EXPECT_EQ(patternAuto, videoData({QStringLiteral("--pattern"), QStringLiteral("bayer4"), QStringLiteral("--black"),
                                      told.captured(1), QStringLiteral("--white"), told.captured(2)}));
}

// "Auto" proposes thresholds; an explicit --no-dither still holds.
TEST_F(ConverterProcess, AutoKeepsAnExplicitNoDither)
{
    const QString frames = root.filePath(QStringLiteral("frames"));
    ASSERT_TRUE(QDir().mkpath(frames));
    QImage ramp(96, 64, QImage::Format_RGB32);
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 96; ++x) {
            ramp.setPixel(x, y, qRgb(x * 255 / 95, x * 255 / 95, x * 255 / 95));
        }
    }
    ASSERT_TRUE(ramp.save(QDir(frames).filePath(QStringLiteral("frame.png"))));
    const QString videoData = QDir(app).filePath(QStringLiteral("Video.dat"));
    const auto convert = [&](const QStringList& options) {
        QFile::remove(videoData);
        EXPECT_EQ(run(QStringList{QStringLiteral("--source"), frames} + options), 1) << stdErr.toStdString();
        return readAll(videoData);
    };

    const QByteArray undithered = convert({QStringLiteral("--auto"), QStringLiteral("--no-dither")});
    const QRegularExpressionMatch proposed =
        QRegularExpression(QStringLiteral("Auto balance: --black (\\d+) --white (\\d+)")).match(stdErr);
    ASSERT_TRUE(proposed.hasMatch()) << stdErr.toStdString();
    const QByteArray dithered = convert({QStringLiteral("--auto")});
    const QByteArray repeated = convert({QStringLiteral("--black"), proposed.captured(1), QStringLiteral("--white"),
                                         proposed.captured(2), QStringLiteral("--no-dither")});
    ASSERT_FALSE(undithered.isEmpty());
    EXPECT_EQ(undithered, repeated);
    EXPECT_NE(undithered, dithered);
}

TEST_F(ConverterProcess, AnEmptySourceFolderIsAMessageAndNothingIsTouched)
{
    const QString empty = root.filePath(QStringLiteral("empty"));
    ASSERT_TRUE(QDir().mkpath(empty));
    writeAll(QDir(empty).filePath(QStringLiteral("notes.txt")), "no frames here");
    EXPECT_EQ(run({QStringLiteral("--source"), empty}), 1);
    EXPECT_EQ(stdErr.trimmed(), QStringLiteral("Error: There are no frames to convert in the video source folder!"));
    EXPECT_FALSE(QFile::exists(QDir(app).filePath(QStringLiteral("VarFile.var"))));
}

TEST_F(ConverterProcess, RefusedNameIsAMessageAndAFailure)
{
    EXPECT_EQ(run({QStringLiteral("--name"), QStringLiteral("LongerThan8")}), 1);
    EXPECT_EQ(stdErr.trimmed(), QStringLiteral("Error: Filename must be 8 or less characters!"));
    EXPECT_FALSE(QFile::exists(QDir(app).filePath(QStringLiteral("VarFile.var"))));
}

TEST_F(ConverterProcess, WithoutTheToolsTheBuildErrorIsReported)
{
    EXPECT_EQ(run({QStringLiteral("--shell"), QStringLiteral("NoShell"), QStringLiteral("--no-looping")}), 1);
    EXPECT_TRUE(stdErr.contains(QStringLiteral("Error: The calculator program could not be built!"))) << stdErr.toStdString();
    EXPECT_TRUE(stdErr.contains(QStringLiteral("TASM"))) << stdErr.toStdString();
    EXPECT_TRUE(stdOut.isEmpty()) << stdOut.toStdString();
    EXPECT_EQ(readAll(QDir(app).filePath(QStringLiteral("VarFile.var"))), QByteArray("\r\n#define NOSHELL\r\n"));
    const QByteArray data = readAll(QDir(app).filePath(QStringLiteral("Video.dat")));
    EXPECT_TRUE(data.startsWith("\r\n.db  "));
    EXPECT_TRUE(data.endsWith("\r\n.db  254\r\n"));
    EXPECT_TRUE(QDir(out).entryList(QDir::Files).isEmpty());
}

}  // namespace
}  // namespace zoetra::test
