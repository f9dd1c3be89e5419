// The headless converter's video import, run as a process: frames kept with
// --extract-to, the import's options, and its refusals.
#include "shared/FolderRate.h"
#include "support/FfmpegClips.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#ifndef _WIN32
#include <csignal>
#endif

namespace zoetra::test {
namespace {

class ConverterImport : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!haveFfmpeg()) {
            return;
        }
        clips = new QTemporaryDir;
        clip = makeClip(clips->path(), QStringLiteral("clip.mp4"),
                        lavfi(QStringLiteral("testsrc=size=320x240:rate=25:duration=2")) +
                            QStringList{"-c:v", "libx264", "-preset", "ultrafast"});
    }
    static void TearDownTestSuite()
    {
        delete clips;
        clips = nullptr;
    }
    void SetUp() override
    {
        if (!clips) {
            GTEST_SKIP() << "the ffmpeg command is needed to make the clips";
        }
        ASSERT_FALSE(clip.isEmpty());
        QDir(root.path()).mkdir(QStringLiteral("app"));
        QDir(root.path()).mkdir(QStringLiteral("out"));
        QDir(root.path()).mkdir(QStringLiteral("tmp"));
        app = root.filePath(QStringLiteral("app"));
        out = root.filePath(QStringLiteral("out"));
        tmp = root.filePath(QStringLiteral("tmp"));
        exe = QDir(app).filePath(QStringLiteral("zoetra2-convert"));
        ASSERT_TRUE(QFile::copy(QStringLiteral(ZOETRA_CONVERT_EXE), exe));
    }

    int run(const QStringList& arguments)
    {
        QProcess process;
        process.setWorkingDirectory(out);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TMPDIR"), tmp);  // where a temporary frame folder goes
        process.setProcessEnvironment(environment);
        process.start(exe, arguments);
        EXPECT_TRUE(process.waitForFinished(60000));
        stdOut = QString::fromLocal8Bit(process.readAllStandardOutput());
        stdErr = QString::fromLocal8Bit(process.readAllStandardError());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
    QStringList entries(const QString& folder) const
    {
        return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }

    static QTemporaryDir* clips;
    static QString clip;
    QTemporaryDir root;
    QString app, out, tmp, exe;
    QString stdOut, stdErr;
};

QTemporaryDir* ConverterImport::clips = nullptr;
QString ConverterImport::clip;

TEST_F(ConverterImport, HelpNamesTheImportOptions)
{
    ASSERT_EQ(run({QStringLiteral("--help")}), 0);
    for (const char* option : {"--fps", "--start", "--end", "--fit", "--extract-to", "--as-is"}) {
        EXPECT_TRUE(stdOut.contains(QLatin1String(option))) << option;
    }
}

TEST_F(ConverterImport, ExtractToKeepsTheFramesAndStops)
{
    const QString frames = QDir(out).filePath(QStringLiteral("frames"));
    ASSERT_EQ(run({QStringLiteral("--source"), clip, QStringLiteral("--extract-to"), frames, QStringLiteral("--fps"),
                   QStringLiteral("10"), QStringLiteral("--start"), QStringLiteral("0:00.5"), QStringLiteral("--fit"),
                   QStringLiteral("fill")}),
              0)
        << stdErr.toStdString();
    const QStringList written = entries(frames);
    // The frames, and the rate they were taken at, which they play at.
    ASSERT_EQ(written.size(), 16);
    EXPECT_EQ(written.first(), QStringLiteral("Frame rate.txt"));
    EXPECT_EQ(written.at(1), QStringLiteral("frame00001.bmp"));
    QFile rate(QDir(frames).filePath(written.first()));
    ASSERT_TRUE(rate.open(QIODevice::ReadOnly));
    EXPECT_EQ(zoetra::parseFolderRate(rate.readAll()), 10.0);
    EXPECT_TRUE(stdErr.contains(QStringLiteral("Imported 15 frames into %1.").arg(QDir::toNativeSeparators(frames))))
        << stdErr.toStdString();
    EXPECT_TRUE(stdErr.contains(QLatin1String("All 15 frames fit into the 24000 bytes"))) << stdErr.toStdString();
    EXPECT_TRUE(stdOut.isEmpty());
    // Nothing is built and nothing else written.
    EXPECT_EQ(entries(out), QStringList{QStringLiteral("frames")});
    EXPECT_EQ(entries(app), QStringList{QStringLiteral("zoetra2-convert")});
    EXPECT_EQ(entries(tmp), QStringList{});
}

TEST_F(ConverterImport, AVideoSourceGoesThroughATemporaryFolder)
{
    // No tools here: the run ends with its message, after the import.
    EXPECT_EQ(run({QStringLiteral("--source"), clip}), 1);
    EXPECT_TRUE(stdErr.contains(QLatin1String("Imported 30 frames."))) << stdErr.toStdString();
    EXPECT_TRUE(stdErr.contains(QLatin1String("Error: The calculator program could not be built!")))
        << stdErr.toStdString();
    // The frames were converted, and their folder has gone.
    EXPECT_TRUE(QFile::exists(QDir(app).filePath(QStringLiteral("Video.dat"))));
    EXPECT_EQ(entries(tmp), QStringList{});
}

TEST_F(ConverterImport, BadImportOptionsTouchNothing)
{
    const QString existing = QDir(out).filePath(QStringLiteral("mine"));
    ASSERT_TRUE(QDir().mkdir(existing));
    const QList<QStringList> bad = {
        {QStringLiteral("--fps"), QStringLiteral("0")},
        {QStringLiteral("--fps"), QStringLiteral("fast")},
        {QStringLiteral("--start"), QStringLiteral("soon")},
        {QStringLiteral("--end"), QStringLiteral("1:75")},
        {QStringLiteral("--fit"), QStringLiteral("crop")},
        {QStringLiteral("--extract-to"), existing},
        {QStringLiteral("--extract-to"), QDir(out).filePath(QStringLiteral("gone/frames"))},
    };
    for (const QStringList& options : bad) {
        EXPECT_EQ(run(QStringList{QStringLiteral("--source"), clip} + options), 2) << options.join(' ').toStdString();
        EXPECT_TRUE(stdErr.contains(QLatin1String("Try 'zoetra2-convert --help'."))) << stdErr.toStdString();
    }
    EXPECT_EQ(run({QStringLiteral("--source"), QDir(out).filePath(QStringLiteral("missing.mp4"))}), 2);
    EXPECT_TRUE(stdErr.contains(QLatin1String("is neither a folder nor a file"))) << stdErr.toStdString();
    EXPECT_EQ(entries(out), QStringList{QStringLiteral("mine")});
    EXPECT_EQ(entries(app), QStringList{QStringLiteral("zoetra2-convert")});
}

TEST_F(ConverterImport, BadInputIsAMessageAndLeavesNothing)
{
    const QString text = QDir(out).filePath(QStringLiteral("notes.mkv"));
    writeAll(text, "not a video\n");
    EXPECT_EQ(run({QStringLiteral("--source"), text}), 1);
    EXPECT_EQ(stdErr.trimmed(), QStringLiteral("\u201Cnotes.mkv\u201D is not a video or picture file that can be read "
                                               "(Invalid data found when processing input)."));
    const QString frames = QDir(out).filePath(QStringLiteral("frames"));
    EXPECT_EQ(run({QStringLiteral("--source"), clip, QStringLiteral("--start"), QStringLiteral("5"),
                   QStringLiteral("--extract-to"), frames}),
              1);
    EXPECT_EQ(stdErr.trimmed(), QStringLiteral("The start (0:05.0) lies after the end of the clip (0:02.0)."));
    EXPECT_EQ(entries(out), QStringList{QStringLiteral("notes.mkv")});
    EXPECT_EQ(entries(tmp), QStringList{});
    EXPECT_EQ(entries(app), QStringList{QStringLiteral("zoetra2-convert")});
}

#ifndef _WIN32
TEST_F(ConverterImport, TerminationStopsTheImportAndLeavesNothing)
{
    const QString longClip = makeClip(root.path(), QStringLiteral("long.mkv"),
                                      lavfi(QStringLiteral("testsrc=size=480x360:rate=30:duration=30")) +
                                          QStringList{"-c:v", "libx264", "-preset", "ultrafast"});
    ASSERT_FALSE(longClip.isEmpty());
    const QString frames = QDir(out).filePath(QStringLiteral("frames"));
    // SIGTERM at shut-down, SIGHUP when the terminal goes.
    for (const int number : {SIGTERM, SIGHUP}) {
        SCOPED_TRACE(number);
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TMPDIR"), tmp);
        process.setProcessEnvironment(environment);
        process.start(exe, {QStringLiteral("--source"), longClip, QStringLiteral("--extract-to"), frames});
        ASSERT_TRUE(process.waitForStarted());
        // Once the hidden temporary folder holds frames, ask the program to end.
        bool writing = false;
        for (int i = 0; i < 2000 && !writing; ++i) {
            for (const QString& entry : entries(out)) {
                writing = writing || !entries(QDir(out).filePath(entry)).isEmpty();
            }
            process.waitForFinished(10);
        }
        ASSERT_TRUE(writing);
        ::kill(static_cast<pid_t>(process.processId()), number);
        ASSERT_TRUE(process.waitForFinished(30000));
        EXPECT_EQ(process.exitCode(), 1);
        EXPECT_TRUE(QString::fromLocal8Bit(process.readAllStandardError()).contains(QLatin1String("cancelled")));
        EXPECT_EQ(entries(out), QStringList{});
    }
}

// A signal in the conversion step, after the import: the imported frames'
// temporary folder goes too.
TEST_F(ConverterImport, TerminationInTheConversionLeavesNoFrames)
{
    const QString longClip = makeClip(root.path(), QStringLiteral("long.mkv"),
                                      lavfi(QStringLiteral("testsrc=size=320x240:rate=30:duration=120")) +
                                          QStringList{"-c:v", "libx264", "-preset", "ultrafast"});
    ASSERT_FALSE(longClip.isEmpty());
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TMPDIR"), tmp);
    process.setProcessEnvironment(environment);
    process.start(exe, {QStringLiteral("--source"), longClip});
    ASSERT_TRUE(process.waitForStarted());
    QByteArray errors;
    for (int i = 0; i < 6000 && !errors.contains("Imported"); ++i) {
        process.waitForReadyRead(10);
        errors += process.readAllStandardError();
    }
    ASSERT_TRUE(errors.contains("Imported")) << errors.toStdString();
    ASSERT_FALSE(entries(tmp).isEmpty()) << "the frames wait in the temporary folder";
    process.terminate();
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(entries(tmp), QStringList{});
    EXPECT_FALSE(QFile::exists(QDir(app).filePath(QStringLiteral("Conversion.lock"))));
}
#endif

// The lock of the application folder is found before anything is imported.
TEST_F(ConverterImport, ASecondConversionIsFoundBeforeTheImport)
{
    QLockFile lock(QDir(app).filePath(QStringLiteral("Conversion.lock")));
    ASSERT_TRUE(lock.tryLock(0));
    EXPECT_EQ(run({QStringLiteral("--source"), clip}), 1);
    EXPECT_TRUE(stdErr.contains(QLatin1String("Another conversion is using the application folder")))
        << stdErr.toStdString();
    EXPECT_FALSE(stdErr.contains(QLatin1String("Imported"))) << stdErr.toStdString();
    EXPECT_EQ(entries(tmp), QStringList{});
}

// A name the conversion would refuse is refused before a long import.
TEST_F(ConverterImport, ANameTheRunRefusesIsRefusedBeforeTheImport)
{
    for (const QStringList& naming :
         {QStringList{QStringLiteral("--name"), QStringLiteral("NineChars")},
          QStringList{QStringLiteral("--name"), QStringLiteral("Seventh"), QStringLiteral("--archive")}}) {
        SCOPED_TRACE(naming.join(' ').toStdString());
        EXPECT_EQ(run(QStringList{QStringLiteral("--source"), clip} + naming), 1);
        EXPECT_TRUE(stdErr.contains(QLatin1String("Error: ")) && stdErr.contains(QLatin1String("Filename")))
            << stdErr.toStdString();
        EXPECT_FALSE(stdErr.contains(QLatin1String("Imported"))) << stdErr.toStdString();
        EXPECT_EQ(entries(tmp), QStringList{});
    }
}

TEST_F(ConverterImport, AFolderOfLargePicturesIsImportedWhenAsked)
{
    const QString pictures = QDir(out).filePath(QStringLiteral("shots"));
    ASSERT_TRUE(QDir().mkdir(pictures));
    for (int i : {1, 2, 10}) {
        QImage picture(1920, 1080, QImage::Format_RGB32);
        picture.fill(qRgb(20 * i, 20 * i, 20 * i));
        ASSERT_TRUE(picture.save(QDir(pictures).filePath(QStringLiteral("shot%1.png").arg(i))));
    }
    const QString frames = QDir(out).filePath(QStringLiteral("frames"));
    ASSERT_EQ(run({QStringLiteral("--source"), pictures, QStringLiteral("--extract-to"), frames}), 0)
        << stdErr.toStdString();
    ASSERT_EQ(entries(frames).size(), 4);  // and the frame rate
    // In natural order: shot10 last.
    const QImage last(QDir(frames).filePath(QStringLiteral("frame00003.bmp")));
    EXPECT_EQ(qRed(last.pixel(48, 32)), 200);
}

// A video too large for the RAM: the message leads, once, with the options
// that make it all fit, then says what fits as chosen; the import with those
// options says that all of it fits.
TEST_F(ConverterImport, TheSizeLimitSaysWhatFitsAndTheOptionsThatMakeItAllFit)
{
    const QString noisy = makeClip(root.path(), QStringLiteral("noisy.mp4"),
                                   lavfi(QStringLiteral("testsrc=size=160x120:rate=25:duration=6,noise=alls=100:allf=t")) +
                                       QStringList{"-c:v", "libx264", "-preset", "ultrafast"});
    ASSERT_FALSE(noisy.isEmpty());
    EXPECT_EQ(run({QStringLiteral("--source"), noisy, QStringLiteral("--start"), QStringLiteral("1")}), 1);
    const int limit = static_cast<int>(stdErr.indexOf(QLatin1String("Error: File size is too large! Try turning down the quality a bit...\n")));
    ASSERT_GE(limit, 0) << stdErr.toStdString();
    const QStringList lines = stdErr.mid(limit).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3) << stdErr.toStdString();
    const QRegularExpressionMatch advice =
        QRegularExpression(QStringLiteral("^Add --archive: all (\\d+) frames fit, [0-9,]+ of [0-9,]+ bytes\\.$")).match(lines[1]);
    ASSERT_TRUE(advice.hasMatch()) << lines[1].toStdString();
    EXPECT_EQ(stdErr.count(QLatin1String("Add --archive")), 1) << stdErr.toStdString();
    EXPECT_TRUE(lines[2].startsWith(QLatin1String("The 24000 bytes hold "))) << lines[2].toStdString();

    const QString frames = QDir(out).filePath(QStringLiteral("frames"));
    ASSERT_EQ(run({QStringLiteral("--source"), noisy, QStringLiteral("--start"), QStringLiteral("1"),
                   QStringLiteral("--archive"), QStringLiteral("--extract-to"), frames}),
              0)
        << stdErr.toStdString();
    EXPECT_TRUE(stdErr.contains(QStringLiteral("All %1 frames fit").arg(advice.captured(1)))) << stdErr.toStdString();
    EXPECT_EQ(entries(frames).size() - 1, advice.captured(1).toInt());  // and the frame rate
}

// The values of the first 768 .db bytes of a Video.dat: the key frame.
QList<int> keyFrame(const QByteArray& videoData)
{
    QList<int> bytes;
    for (const QByteArray& line : videoData.split('\n')) {
        const QByteArray text = line.trimmed();
        if (!text.startsWith(".db")) {
            continue;
        }
        for (const QByteArray& value : text.mid(3).split(',')) {
            if (bytes.size() < 768) {
                bytes.append(value.trimmed().toInt());
            }
        }
    }
    return bytes;
}

// Pictures larger than the screen, black but for a white top-left corner of
// the screen's size: cut at the top left they make a white video.
TEST_F(ConverterImport, AFolderOfPicturesOfAnotherSizeIsScaledUnlessAsIs)
{
    const QString pictures = QDir(out).filePath(QStringLiteral("photos"));
    ASSERT_TRUE(QDir().mkdir(pictures));
    QImage picture(1440, 1080, QImage::Format_RGB32);
    picture.fill(Qt::black);
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 96; ++x) {
            picture.setPixel(x, y, qRgb(255, 255, 255));
        }
    }
    for (const char* name : {"a.png", "b.png"}) {
        ASSERT_TRUE(picture.save(QDir(pictures).filePath(QLatin1String(name))));
    }
    const QString videoData = QDir(app).filePath(QStringLiteral("Video.dat"));

    EXPECT_EQ(run({QStringLiteral("--source"), pictures}), 1);  // no tools: not built
    EXPECT_TRUE(stdErr.contains(QLatin1String("The first picture is 1440x1080, not 96x64: the pictures are imported scaled")))
        << stdErr.toStdString();
    EXPECT_TRUE(stdErr.contains(QLatin1String("Imported 2 frames."))) << stdErr.toStdString();
    QList<int> scaled = keyFrame(readAll(videoData));
    ASSERT_EQ(scaled.size(), 768);
    // The black picture between white bars: most bytes all black.
    EXPECT_GT(scaled.count(255), 400);
    EXPECT_EQ(entries(tmp), QStringList{});

    ASSERT_TRUE(QFile::remove(videoData));
    EXPECT_EQ(run({QStringLiteral("--source"), pictures, QStringLiteral("--as-is")}), 1);
    EXPECT_FALSE(stdErr.contains(QLatin1String("Imported"))) << stdErr.toStdString();
    const QList<int> cut = keyFrame(readAll(videoData));
    ASSERT_EQ(cut.size(), 768);
    EXPECT_EQ(cut.count(0), 768);

    // --as-is is for folders only, and not with the import's options.
    for (const QStringList& extra : {QStringList{QStringLiteral("--fit"), QStringLiteral("fill")},
                                     QStringList{QStringLiteral("--fps"), QStringLiteral("10")}}) {
        EXPECT_EQ(run(QStringList{QStringLiteral("--source"), pictures, QStringLiteral("--as-is")} + extra), 2);
        EXPECT_TRUE(stdErr.contains(QLatin1String("--as-is"))) << stdErr.toStdString();
    }
    EXPECT_EQ(run({QStringLiteral("--source"), clip, QStringLiteral("--as-is")}), 2);

    // Pictures of the screen's size convert as they are, without a word.
    const QString screens = QDir(out).filePath(QStringLiteral("screens"));
    ASSERT_TRUE(QDir().mkdir(screens));
    ASSERT_TRUE(picture.copy(0, 0, 96, 64).save(QDir(screens).filePath(QStringLiteral("a.png"))));
    ASSERT_TRUE(picture.save(QDir(screens).filePath(QStringLiteral("b.png"))));
    EXPECT_EQ(run({QStringLiteral("--source"), screens}), 1);
    EXPECT_FALSE(stdErr.contains(QLatin1String("scaled"))) << stdErr.toStdString();
    EXPECT_FALSE(stdErr.contains(QLatin1String("Imported"))) << stdErr.toStdString();
}

}  // namespace
}  // namespace zoetra::test
