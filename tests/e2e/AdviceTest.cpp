// The advice after the size limit's message, from the command line with the
// real tools: for each kind of change (the format, the archive, a lower
// rate, an end) the converter names the options, and the same command with
// exactly those options delivers the video, as large as the advice said.
#include "PlayerFixture.h"
#include "support/FfmpegClips.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <random>

namespace playertest {
namespace {

const QString TooLarge = QStringLiteral("Error: File size is too large! Try turning down the quality a bit...");

// Black and white pixels at random: no stream format codes a frame of them
// in fewer bytes than it holds.
QImage noiseFrame(std::mt19937& noise)
{
    QImage frame(96, 64, QImage::Format_RGB32);
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 96; ++x) {
            frame.setPixel(x, y, noise() % 2 ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
        }
    }
    return frame;
}

class AdviceOnTheCommandLine : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid() && work.isValid());
        ASSERT_TRUE(QFile::copy(QStringLiteral(ZOETRA_CONVERT_EXE), folder.filePath(QStringLiteral("zoetra2-convert"))));
        QDir(work.path()).mkdir(QStringLiteral("tmp"));
        QDir(work.path()).mkdir(QStringLiteral("out"));
    }

    QString noiseFolder(const QString& name, int count)
    {
        const QString path = QDir(work.path()).filePath(name);
        QDir().mkpath(path);
        std::mt19937 noise(static_cast<unsigned>(count));
        for (int f = 0; f < count; ++f) {
            noiseFrame(noise).save(QDir(path).filePath(QStringLiteral("f%1.png").arg(f, 3, 10, QLatin1Char('0'))));
        }
        return path;
    }

    // The noise as a lossless video at 30 frames a second.
    QString noiseVideo(int count)
    {
        const QString frames = noiseFolder(QStringLiteral("video frames"), count);
        return zoetra::test::makeClip(work.path(), QStringLiteral("noise.mkv"),
                                      {"-framerate", "30", "-i", QDir(frames).filePath(QStringLiteral("f%03d.png")),
                                       "-c:v", "ffv1", "-pix_fmt", "bgr0"});
    }

    int convert(const QStringList& arguments)
    {
        QProcess process;
        process.setWorkingDirectory(QDir(work.path()).filePath(QStringLiteral("out")));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TMPDIR"), QDir(work.path()).filePath(QStringLiteral("tmp")));
        process.setProcessEnvironment(environment);
        process.start(folder.filePath(QStringLiteral("zoetra2-convert")), arguments);
        EXPECT_TRUE(process.waitForFinished(300000));
        stdOut = QString::fromLocal8Bit(process.readAllStandardOutput());
        stdErr = QString::fromLocal8Bit(process.readAllStandardError());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    struct Advice {
        QStringList add;       // the options to add
        QStringList replaced;  // the options given that they replace
        QString bytes;         // the video data they take, as told
        QString frames;        // how many frames fit
    };

    // Converts and expects the size limit's message, led by an "Add" line
    // told once; what it says.
    Advice refusedWithAdvice(const QStringList& arguments)
    {
        Advice advice;
        EXPECT_EQ(convert(arguments), 1) << stdErr.toStdString();
        const QStringList lines = stdErr.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        const qsizetype limit = lines.indexOf(TooLarge);
        if (limit < 0 || limit + 1 >= lines.size()) {
            ADD_FAILURE() << stdErr.toStdString();
            return advice;
        }
        const QString& line = lines.at(limit + 1);
        const QRegularExpressionMatch match =
            QRegularExpression(QStringLiteral("^Add (.+?)(?: \\(in place of (.+)\\))?: (?:all|the first) ([0-9,]+) (?:of the [0-9,]+ )?"
                                              "frames fit, ([0-9,]+) of [0-9,]+ bytes\\.$"))
                .match(line);
        if (!match.hasMatch()) {
            ADD_FAILURE() << line.toStdString();
            return advice;
        }
        // Every line of the message once: the advice is not told twice.
        for (const QString& told : lines) {
            EXPECT_EQ(lines.count(told), 1) << told.toStdString();
        }
        advice.add = match.captured(1).split(QLatin1Char(' '));
        advice.replaced = match.captured(2).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        advice.frames = match.captured(3).remove(QLatin1Char(','));
        advice.bytes = match.captured(4).remove(QLatin1Char(','));
        return advice;
    }

    // The same command with the advice's options: delivered.
    void rerunDelivers(QStringList arguments, const Advice& advice)
    {
        for (qsizetype i = 0; i < advice.replaced.size(); ++i) {
            const qsizetype at = arguments.indexOf(advice.replaced.at(i));
            ASSERT_GE(at, 0) << advice.replaced.at(i).toStdString();
            const bool withValue = i + 1 < advice.replaced.size() && !advice.replaced.at(i + 1).startsWith(QLatin1String("--"));
            arguments.remove(at, withValue ? 2 : 1);
            i += withValue ? 1 : 0;
        }
        arguments += advice.add;
        ASSERT_EQ(convert(arguments), 0) << arguments.join(QLatin1Char(' ')).toStdString() << "\n" << stdErr.toStdString();
        EXPECT_TRUE(stdOut.startsWith(QLatin1String("Successfully converted!\nSize of converted video data: ") +
                                      advice.bytes + QLatin1String("b.")))
            << stdOut.toStdString();
    }

    AppFolder folder;
    QTemporaryDir work;
    QString stdOut, stdErr;
};

TEST_F(AdviceOnTheCommandLine, TheFormat)
{
    const QStringList arguments{QStringLiteral("--source"), noiseFolder(QStringLiteral("twenty"), 20)};
    const Advice advice = refusedWithAdvice(arguments);
    EXPECT_EQ(advice.add, (QStringList{QStringLiteral("--format"), QStringLiteral("compact")}));
    EXPECT_EQ(advice.frames, QStringLiteral("20"));
    rerunDelivers(arguments, advice);
}

TEST_F(AdviceOnTheCommandLine, TheArchiveAndTheFormatGivenReplaced)
{
    const QStringList arguments{QStringLiteral("--source"), noiseFolder(QStringLiteral("forty"), 40),
                                QStringLiteral("--compact")};
    const Advice advice = refusedWithAdvice(arguments);
    EXPECT_EQ(advice.add.first(), QStringLiteral("--archive"));
    rerunDelivers(arguments, advice);
    EXPECT_TRUE(stdOut.contains(QLatin1String("The program video.8xp and its "))) << stdOut.toStdString();
}

// A video too long for a small free archive: taken at a lower rate it fits,
// and where no rate does, the end keeps what fits.
TEST_F(AdviceOnTheCommandLine, ALowerRateOrAnEndForAVideo)
{
    if (!zoetra::test::haveFfmpeg()) {
        GTEST_SKIP() << "the ffmpeg command is needed to make the clip";
    }
    const QString video = noiseVideo(300);
    ASSERT_FALSE(video.isEmpty());
    const QStringList lower{QStringLiteral("--source"), video, QStringLiteral("--free-archive"), QStringLiteral("50000"),
                            QStringLiteral("--compact"), QStringLiteral("--rate"), QStringLiteral("30")};
    const Advice slower = refusedWithAdvice(lower);
    ASSERT_EQ(slower.add.size(), 2);
    EXPECT_EQ(slower.add.first(), QStringLiteral("--rate"));
    EXPECT_EQ(slower.replaced, (QStringList{QStringLiteral("--rate"), QStringLiteral("30")}));
    rerunDelivers(lower, slower);
    // Before the run, the import told what fits: every frame, in as many
    // bytes as the advice said.
    EXPECT_TRUE(stdErr.contains(QStringLiteral("All %1 frames fit").arg(slower.frames))) << stdErr.toStdString();

    const QStringList shorter{QStringLiteral("--source"), video, QStringLiteral("--free-archive"), QStringLiteral("20000"),
                              QStringLiteral("--compact"), QStringLiteral("--rate"), QStringLiteral("30")};
    const Advice ended = refusedWithAdvice(shorter);
    ASSERT_EQ(ended.add.size(), 2);
    EXPECT_EQ(ended.add.first(), QStringLiteral("--end"));
    rerunDelivers(shorter, ended);
}


// The README's road, its commands run as written on a minute of video: the
// first is refused with the options the second adds, and the second, not
// sent, delivers.
TEST_F(AdviceOnTheCommandLine, TheReadmesRoad)
{
    if (!zoetra::test::haveFfmpeg()) {
        GTEST_SKIP() << "the ffmpeg command is needed to make the clip";
    }
    QFile readme(QStringLiteral(ZOETRA_SOURCE_DIR "/README.md"));
    ASSERT_TRUE(readme.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(readme.readAll());
    const qsizetype road = text.indexOf(QLatin1String("## A whole video onto the calculator"));
    ASSERT_GE(road, 0);
    const qsizetype block = text.indexOf(QLatin1String("```sh\n"), road);
    ASSERT_GE(block, 0);
    const qsizetype blockEnd = text.indexOf(QLatin1String("```"), block + 6);
    std::vector<QStringList> commands;
    for (const QString& line : text.mid(block + 6, blockEnd - block - 6).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        QStringList words = line.section(QLatin1Char('#'), 0, 0).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        ASSERT_EQ(words.value(0), QStringLiteral("zoetra2-convert")) << line.toStdString();
        words.removeFirst();
        commands.push_back(words);
    }
    ASSERT_EQ(commands.size(), std::size_t{2});

    // The clip the README names: a minute of a moving test picture.
    const QString clip = zoetra::test::makeClip(work.path(), QStringLiteral("clip.mp4"),
                                                zoetra::test::lavfi(QStringLiteral("testsrc2=size=320x240:rate=30:duration=60")) +
                                                    QStringList{"-c:v", "libx264", "-preset", "ultrafast"});
    ASSERT_FALSE(clip.isEmpty());
    // "-o out/" from the folder the commands run in.
    ASSERT_TRUE(QDir(work.path()).mkpath(QStringLiteral("out/out")));
    const auto asRun = [&](QStringList words) {
        words.replaceInStrings(QRegularExpression(QStringLiteral("^clip\\.mp4$")), clip);
        words.removeAll(QStringLiteral("--send"));  // no calculator here
        return words;
    };
    const Advice advice = refusedWithAdvice(asRun(commands[0]));
    QStringList added = commands[1];
    for (const QString& word : commands[0]) {
        added.removeOne(word);
    }
    added.removeAll(QStringLiteral("--send"));
    EXPECT_EQ(advice.add, added);
    rerunDelivers(asRun(commands[0]), advice);
    EXPECT_TRUE(stdOut.contains(QLatin1String("The program video.8xp and its "))) << stdOut.toStdString();
}

}  // namespace
}  // namespace playertest
