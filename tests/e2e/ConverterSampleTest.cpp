// The headless converter on the bundled sample, run as a process from an
// application folder that holds the real tools, and its program played.
#include "GifReading.h"
#include "PlayerFixture.h"
#include "support/TestMount.h"
#include "support/TestSupport.h"

#include "calc/Recording.h"
#include "devpac8x/ProgramFile.h"
#ifdef ZOETRA_HAVE_GIF
#include "media/PlaybackGif.h"
#endif

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <numeric>
#include <tuple>

#ifdef ZOETRA_HAVE_LINK
#include "devpac8x/VariableFile.h"
#include "link/CalculatorLink.h"
#include "link/CodeCalculator.h"
#include "link/SendCheck.h"
#endif

namespace playertest {
namespace {

using zoetra::calc::Stop;
namespace bcall = zoetra::calc::bcall;

constexpr std::size_t SampleFrames = 48;

class ConverterOnTheSample : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        ASSERT_TRUE(outDir.isValid());
        ASSERT_TRUE(QFile::copy(QStringLiteral(ZOETRA_CONVERT_EXE), folder.filePath(QStringLiteral("zoetra2-convert"))));
        ASSERT_EQ(static_cast<std::size_t>(QDir(QStringLiteral(ZOETRA_APP_DIR)).entryList({QStringLiteral("sample*")}).size()),
                  SampleFrames);
        ASSERT_TRUE(zoetra::test::copySamples(folder.path()));
    }

    // Runs the converter; its exit status.
    int convert(const QStringList& arguments)
    {
        QProcess process;
        process.setWorkingDirectory(outDir.path());
        process.start(folder.filePath(QStringLiteral("zoetra2-convert")), arguments);
        EXPECT_TRUE(process.waitForFinished(300000));
        stdOut = QString::fromLocal8Bit(process.readAllStandardOutput());
        stdErr = QString::fromLocal8Bit(process.readAllStandardError());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    // The frames of the stream in the "Video.dat" the conversion left.
    std::vector<Screen> describedFrames() const
    {
        return decodeStream(streamFromVideoData(folder.read(QStringLiteral("Video.dat"))));
    }

    std::vector<std::uint8_t> delivered() const
    {
        QFile file(QDir(outDir.path()).filePath(QStringLiteral("video.8xp")));
        if (!file.open(QIODevice::ReadOnly)) {
            ADD_FAILURE() << "no video.8xp delivered";
            return {};
        }
        const QByteArray bytes = file.readAll();
        return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
    }

    AppFolder folder;
    QTemporaryDir outDir;
    QString stdOut, stdErr;
};

TEST_F(ConverterOnTheSample, DefaultConversionSucceedsAndItsProgramPlaysAndLoops)
{
    ASSERT_EQ(convert({}), 0) << stdErr.toStdString();
    EXPECT_TRUE(stdOut.startsWith(QStringLiteral("Successfully converted!"))) << stdOut.toStdString();
    const std::vector<Screen> frames = describedFrames();
    ASSERT_EQ(frames.size(), SampleFrames);

    const Playback playback = play(delivered(), "ION", SampleFrames + 1);
    ASSERT_EQ(playback.stop, Stop::Returned) << playback.calculator->fault();
    expectScreens(*playback.calculator, frames, SampleFrames + 1);
    expectCleanExit(playback);
}

TEST_F(ConverterOnTheSample, MirageOsProgramPlaysOnceAndWaitsForAKey)
{
    ASSERT_EQ(convert({QStringLiteral("--shell"), QStringLiteral("MirageOS"), QStringLiteral("--no-looping")}), 0)
        << stdErr.toStdString();
    EXPECT_TRUE(stdOut.startsWith(QStringLiteral("Successfully converted!"))) << stdOut.toStdString();
    const std::vector<Screen> frames = describedFrames();
    ASSERT_EQ(frames.size(), SampleFrames);

    const Playback playback = play(delivered(), "MIRAGEOS", std::nullopt);
    ASSERT_EQ(playback.stop, Stop::Returned) << playback.calculator->fault();
    expectScreens(*playback.calculator, frames, SampleFrames);
    EXPECT_EQ(playback.calculator->callCount(bcall::GetKey), 1u);
    expectCleanExit(playback);
}

// --compact: the same screens from far fewer bytes.
TEST_F(ConverterOnTheSample, CompactProgramShowsTheWrittenScreens)
{
    const QRegularExpression size(QStringLiteral("Size of converted video data: (\\d+)b\\."));
    ASSERT_EQ(convert({}), 0) << stdErr.toStdString();
    const std::vector<Screen> frames = describedFrames();
    const int written = size.match(stdOut).captured(1).toInt();
    ASSERT_EQ(convert({QStringLiteral("--compact")}), 0) << stdErr.toStdString();
    EXPECT_TRUE(stdOut.startsWith(QStringLiteral("Successfully converted!"))) << stdOut.toStdString();
    const int compact = size.match(stdOut).captured(1).toInt();
    EXPECT_GT(compact, 0);
    EXPECT_LT(compact, written / 2);
    EXPECT_TRUE(folder.read(QStringLiteral("VarFile.var")).endsWith("#define COMPACT\r\n"));

    const Playback playback = play(delivered(), "ION", SampleFrames + 1);
    ASSERT_EQ(playback.stop, Stop::Returned) << playback.calculator->fault();
    expectScreens(*playback.calculator, frames, SampleFrames + 1);
    expectCleanExit(playback);
}

// --format dense: the same screens, in RAM and from the archive, with a
// limit that leaves the dense player its room.
TEST_F(ConverterOnTheSample, DenseProgramShowsTheWrittenScreens)
{
    const QRegularExpression size(QStringLiteral("Size of converted video data: (\\d+)b\\."));
    ASSERT_EQ(convert({}), 0) << stdErr.toStdString();
    const std::vector<Screen> frames = describedFrames();
    ASSERT_EQ(convert({QStringLiteral("--compact")}), 0) << stdErr.toStdString();
    const int compact = size.match(stdOut).captured(1).toInt();
    ASSERT_EQ(convert({QStringLiteral("--format"), QStringLiteral("dense"), QStringLiteral("--no-looping")}), 0)
        << stdErr.toStdString();
    const int dense = size.match(stdOut).captured(1).toInt();
    EXPECT_GT(dense, 0);
    EXPECT_LT(dense, compact);
    EXPECT_TRUE(folder.read(QStringLiteral("VarFile.var")).contains("#define DENSE\r\n"));
    EXPECT_TRUE(stdErr.contains(QLatin1String("Plays at 14.75 frames a second."))) << stdErr.toStdString();

    const Playback playback = play(delivered(), "ION", std::nullopt);
    ASSERT_EQ(playback.stop, Stop::Returned) << playback.calculator->fault();
    expectScreens(*playback.calculator, frames, SampleFrames);
    expectCleanExit(playback);

    // [CLEAR] in a looping video ends it cleanly.
    ASSERT_EQ(convert({QStringLiteral("--format"), QStringLiteral("dense")}), 0) << stdErr.toStdString();
    const Playback cleared = play(delivered(), "ION", SampleFrames + 5);
    ASSERT_EQ(cleared.stop, Stop::Returned) << cleared.calculator->fault();
    expectScreens(*cleared.calculator, frames, SampleFrames + 5);
    expectCleanExit(cleared);
}

#ifdef ZOETRA_HAVE_GIF
// A video in the archive from the command line: delivered as a program,
// AppVar files and a bundle, told on standard error, and played back from
// the program (the AppVar files beside it) or from the bundle.
TEST_F(ConverterOnTheSample, AnArchiveVideoIsDeliveredToldAndPlayedBack)
{
    ASSERT_EQ(convert({QStringLiteral("--archive"), QStringLiteral("--model"), QStringLiteral("ti84p"), QStringLiteral("--rate"),
                       QStringLiteral("10"), QStringLiteral("--no-looping")}),
              0)
        << stdErr.toStdString();
    EXPECT_TRUE(stdErr.contains(QLatin1String("Video in the archive: 1 AppVar files"))) << stdErr.toStdString();
    EXPECT_TRUE(stdErr.contains(QLatin1String("Plays at 10 frames a second."))) << stdErr.toStdString();
    for (const char* name : {"video.8xp", "video00.8xv", "video.8xg"}) {
        EXPECT_TRUE(QFile::exists(QDir(outDir.path()).filePath(QLatin1String(name)))) << name;
    }
    for (const char* played : {"video.8xp", "video.8xg"}) {
        SCOPED_TRACE(played);
        ASSERT_EQ(convert({QStringLiteral("--play"), QLatin1String(played), QStringLiteral("--model"), QStringLiteral("ti84p"),
                           QStringLiteral("--preview"), QStringLiteral("played.gif")}),
                  0)
            << stdErr.toStdString();
        EXPECT_TRUE(stdErr.contains(QStringLiteral("(%1 frames, ").arg(SampleFrames))) << stdErr.toStdString();
        const QRegularExpressionMatch rate =
            QRegularExpression(QStringLiteral("([0-9.]+) frames a second, then waits for a key")).match(stdErr);
        ASSERT_TRUE(rate.hasMatch()) << stdErr.toStdString();
        EXPECT_NEAR(rate.captured(1).toDouble(), 10.0, 0.02) << stdErr.toStdString();
    }
    // Without its AppVars the program says so, and no preview is made.
    ASSERT_TRUE(QFile::remove(QDir(outDir.path()).filePath(QStringLiteral("video00.8xv"))));
    ASSERT_TRUE(QFile::remove(QDir(outDir.path()).filePath(QStringLiteral("played.gif"))));
    EXPECT_EQ(convert({QStringLiteral("--play"), QStringLiteral("video.8xp"), QStringLiteral("--preview"), QStringLiteral("played.gif")}), 1);
    EXPECT_TRUE(stdErr.contains(QLatin1String("it returned without showing a frame, saying \"Missing AppVar VIDEO00\"")))
        << stdErr.toStdString();
    EXPECT_FALSE(QFile::exists(QDir(outDir.path()).filePath(QStringLiteral("played.gif"))));
}

// --play plays a program on the model it says it was made for (or the one
// given, or else the TI-83 Plus) and says which; a looping video, whatever
// its player, is recorded for one round and told as looping.
TEST_F(ConverterOnTheSample, PlayTakesTheModelTheProgramWasMadeForAndOneRoundOfItsLoop)
{
    const auto play = [&](const QStringList& extra) {
        return convert(QStringList{QStringLiteral("--play"), QStringLiteral("video.8xp"), QStringLiteral("--preview"),
                                   QStringLiteral("played.gif")} +
                       extra);
    };
    const struct {
        QStringList options;
        const char* playedOn;
    } cases[] = {
        {{}, "Playing video.8xp on the TI-83 Plus: it does not say which model it was made for"},
        {{QStringLiteral("--model"), QStringLiteral("ti84p")}, "Playing video.8xp on the TI-84 Plus, the model it was made for."},
        {{QStringLiteral("--format"), QStringLiteral("dense"), QStringLiteral("--model"), QStringLiteral("ti83pse")},
         "Playing video.8xp on the TI-83 Plus Silver Edition, the model it was made for."},
        {{QStringLiteral("--archive"), QStringLiteral("--compact")}, "Playing video.8xp on the TI-83 Plus, the model it was made for."},
        {{QStringLiteral("--archive"), QStringLiteral("--format"), QStringLiteral("dense"), QStringLiteral("--model"),
          QStringLiteral("ti84pse")},
         "Playing video.8xp on the TI-84 Plus Silver Edition, the model it was made for."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options.join(QLatin1Char(' ')).toStdString());
        ASSERT_EQ(convert(c.options), 0) << stdErr.toStdString();
        ASSERT_EQ(play({}), 0) << stdErr.toStdString();
        EXPECT_TRUE(stdErr.startsWith(QLatin1String(c.playedOn))) << stdErr.toStdString();
        // One round: the 48 frames in about 3.25 s, not ten minutes of them.
        const QRegularExpressionMatch told =
            QRegularExpression(QStringLiteral("\\((\\d+) frames, ([0-9.]+) s, ([0-9.]+) frames a second, looping\\)"))
                .match(stdErr);
        ASSERT_TRUE(told.hasMatch()) << stdErr.toStdString();
        EXPECT_EQ(told.captured(1).toULongLong(), SampleFrames);
        EXPECT_NEAR(told.captured(2).toDouble(), SampleFrames / zoetra::WrittenFramesPerSecond, 0.1);
        EXPECT_NEAR(told.captured(3).toDouble(), zoetra::WrittenFramesPerSecond, 0.1);
        EXPECT_EQ(readGif(QDir(outDir.path()).filePath(QStringLiteral("played.gif"))).frames.size(), SampleFrames);
    }
    // --model plays it on another, and says what it was made for.
    ASSERT_EQ(play({QStringLiteral("--model"), QStringLiteral("ti83p")}), 0) << stdErr.toStdString();
    EXPECT_TRUE(stdErr.startsWith(QLatin1String(
        "Playing video.8xp on the TI-83 Plus (--model); it was made for the TI-84 Plus Silver Edition.")))
        << stdErr.toStdString();
}

// The rate told is the frames shown, less one, over the time from the first
// to the last: ten frames at the written pace, then a wait for a key.
TEST_F(ConverterOnTheSample, PlayTellsTheRateOfTheFramesShown)
{
    QTemporaryDir ten;
    ASSERT_TRUE(ten.isValid() && zoetra::test::copySamples(ten.path(), 10));
    ASSERT_EQ(convert({QStringLiteral("--source"), ten.path(), QStringLiteral("--no-looping")}), 0) << stdErr.toStdString();
    ASSERT_EQ(convert({QStringLiteral("--play"), QStringLiteral("video.8xp"), QStringLiteral("--preview"),
                       QStringLiteral("ten.gif")}),
              0)
        << stdErr.toStdString();
    const QRegularExpressionMatch told =
        QRegularExpression(QStringLiteral("\\(10 frames, [0-9.]+ s, ([0-9.]+) frames a second, then waits for a key\\)"))
            .match(stdErr);
    ASSERT_TRUE(told.hasMatch()) << stdErr.toStdString();
    // Nine intervals of eight ticks, the first from wherever the program
    // started in its tick: 14.75 and a little (ten frames over the nine
    // intervals would be 16.4).
    EXPECT_NEAR(told.captured(1).toDouble(), zoetra::WrittenFramesPerSecond, 0.1) << stdErr.toStdString();
}

// zoetra2-convert --preview: the delivered program's playback, read back as
// Qt reads GIFs, is the built Video.dat frame for frame at the emulation's
// frame times.
class PreviewOfTheSample : public ConverterOnTheSample,
                           public testing::WithParamInterface<std::tuple<const char*, bool>> {};

TEST_P(PreviewOfTheSample, IsTheVideoFrameForFrameAtTheCalculatorsPace)
{
    const QString shell = QString::fromLatin1(std::get<0>(GetParam()));
    const bool looping = std::get<1>(GetParam());
    // Both scales over the cases; the default is 3.
    const int scale = looping ? 3 : 1;
    QStringList arguments = {QStringLiteral("--shell"), shell, QStringLiteral("--preview"), QStringLiteral("preview.gif")};
    if (!looping) {
        arguments << QStringLiteral("--no-looping") << QStringLiteral("--preview-scale") << QStringLiteral("1");
    }
    ASSERT_EQ(convert(arguments), 0) << stdErr.toStdString();
    EXPECT_TRUE(stdErr.contains(QStringLiteral("Preview: "))) << stdErr.toStdString();
    const std::vector<Screen> frames = describedFrames();
    ASSERT_EQ(frames.size(), SampleFrames);

    const GifContents gif = readGif(QDir(outDir.path()).filePath(QStringLiteral("preview.gif")));
    ASSERT_EQ(gif.frames.size(), frames.size());
    const zoetra::calc::Recording recording = zoetra::calc::recordProgramFile(delivered());
    const std::vector<std::int64_t> timeline = zoetra::media::gifTimeline(recording);
    ASSERT_EQ(timeline.size(), frames.size() + 1);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        SCOPED_TRACE(i);
        ASSERT_EQ(gif.frames[i].size(), QSize(96 * scale, 64 * scale));
        EXPECT_TRUE(twoColoured(gif.frames[i], lightColour(scale), darkColour(scale)));
        EXPECT_EQ(screenOf(gif.frames[i], scale, darkColour(scale)), frames[i]);
        EXPECT_EQ(gif.delays[i], 10 * (timeline[i + 1] - timeline[i]));
    }
    EXPECT_EQ(gif.loopCount, looping ? -1 : 0);
    // Eight timer ticks a frame: about 15 frames a second.
    const std::size_t timed = looping ? frames.size() : frames.size() - 1;
    const int total = std::accumulate(gif.delays.begin(), gif.delays.begin() + static_cast<long>(timed), 0);
    EXPECT_NEAR(total / static_cast<double>(timed), 8000.0 / zoetra::calc::TimerHz, 3.0);

    // --play records the same program alike, without converting again.
    const QByteArray before = folder.read(QStringLiteral("Video.dat"));
    ASSERT_EQ(convert({QStringLiteral("--play"), QStringLiteral("video.8xp"), QStringLiteral("--preview"),
                       QStringLiteral("again.gif"), QStringLiteral("--preview-scale"), QString::number(scale)}),
              0)
        << stdErr.toStdString();
    EXPECT_TRUE(stdOut.isEmpty());
    QFile first(QDir(outDir.path()).filePath(QStringLiteral("preview.gif")));
    QFile second(QDir(outDir.path()).filePath(QStringLiteral("again.gif")));
    ASSERT_TRUE(first.open(QIODevice::ReadOnly) && second.open(QIODevice::ReadOnly));
    EXPECT_EQ(first.readAll(), second.readAll());
    EXPECT_EQ(folder.read(QStringLiteral("Video.dat")), before);
}

INSTANTIATE_TEST_SUITE_P(Converter, PreviewOfTheSample,
                         testing::Combine(testing::Values("Ion", "MirageOS", "NoShell"), testing::Bool()),
                         [](const auto& p) {
                             return std::string(std::get<0>(p.param)) + (std::get<1>(p.param) ? "_looping" : "_once");
                         });

// The compact player's program plays the same screens at the same pace.
TEST_F(ConverterOnTheSample, PreviewOfACompactProgramShowsTheWrittenScreens)
{
    ASSERT_EQ(convert({}), 0) << stdErr.toStdString();
    const std::vector<Screen> frames = describedFrames();
    ASSERT_EQ(convert({QStringLiteral("--compact"), QStringLiteral("--preview"), QStringLiteral("compact.gif"),
                       QStringLiteral("--preview-scale"), QStringLiteral("1")}),
              0)
        << stdErr.toStdString();
    const zoetra::calc::Recording recording = zoetra::calc::recordProgramFile(delivered());
    ASSERT_EQ(recording.end, zoetra::calc::Recording::End::Loops) << recording.fault;
    const GifContents gif = readGif(QDir(outDir.path()).filePath(QStringLiteral("compact.gif")));
    ASSERT_EQ(gif.frames.size(), frames.size());
    for (std::size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(screenOf(gif.frames[i], 1, darkColour(1)), frames[i]) << i;
    }
    EXPECT_NEAR(recording.framesPerSecond(), zoetra::calc::TimerHz / 8.0, 0.5);
}

TEST_F(ConverterOnTheSample, BrokenProgramsGiveTheReasonAndNoPreview)
{
    const auto program = [](std::initializer_list<std::uint8_t> code) {
        std::vector<std::uint8_t> bytes = {0xBB, 0x6D};
        for (const std::uint8_t b : code) {
            bytes.push_back(b);
        }
        return devpac8x::makeProgramFile("BROKEN", bytes);
    };
    const struct {
        const char* what;
        std::vector<std::uint8_t> file;
        const char* reason;
    } cases[] = {
        // bcall(_GrBufCpy) / jp C000h
        {"runs into C000h", program({0xEF, 0x6A, 0x48, 0xC3, 0x00, 0xC0}), "at or above C000h"},
        // bcall(1234h)
        {"unknown OS routine", program({0xEF, 0x34, 0x12, 0xC9}), "unknown system call 1234h"},
        // jr $
        {"never shows a frame", program({0x18, 0xFE}), "no frame shown within 10 seconds"},
        {"not a program file", std::vector<std::uint8_t>(100, 0x2A), "not a calculator program file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QFile file(QDir(outDir.path()).filePath(QStringLiteral("broken.8xp")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(reinterpret_cast<const char*>(c.file.data()), static_cast<qint64>(c.file.size()));
        file.close();
        EXPECT_EQ(convert({QStringLiteral("--play"), QStringLiteral("broken.8xp"), QStringLiteral("--preview"),
                           QStringLiteral("broken.gif")}),
                  1);
        // After the line that says which calculator it plays on, if it is read.
        EXPECT_TRUE(stdErr.contains(QStringLiteral("Error: The program does not play on the calculator: ")))
            << stdErr.toStdString();
        EXPECT_TRUE(stdErr.contains(QLatin1String(c.reason))) << stdErr.toStdString();
        EXPECT_FALSE(QFile::exists(QDir(outDir.path()).filePath(QStringLiteral("broken.gif"))));
    }
}

// --play reads no file larger than a calculator file can be, a one-frame
// program reports no pace, and the preview's place is only ever replaced by
// a complete GIF: a failure leaves nothing of its own and touches nothing
// else.
TEST_F(ConverterOnTheSample, PlayRefusesHugeFilesAndKeepsWhatItDidNotMake)
{
    const auto program = [](std::initializer_list<std::uint8_t> code) {
        std::vector<std::uint8_t> bytes = {0xBB, 0x6D};
        bytes.insert(bytes.end(), code.begin(), code.end());
        return devpac8x::makeProgramFile("STILL", bytes);
    };
    const auto write = [&](const QString& name, const QByteArray& bytes) {
        QFile file(QDir(outDir.path()).filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    };
    const auto preview = [&](const QString& played, const QString& gif) {
        return convert({QStringLiteral("--play"), played, QStringLiteral("--preview"), gif});
    };

    // A sparse file of 100 GB and a program file past 64 KB.
    {
        QFile huge(QDir(outDir.path()).filePath(QStringLiteral("huge.8xp")));
        ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
        ASSERT_TRUE(huge.resize(100LL * 1024 * 1024 * 1024));
    }
    EXPECT_EQ(preview(QStringLiteral("huge.8xp"), QStringLiteral("huge.gif")), 1);
    EXPECT_TRUE(stdErr.contains(QLatin1String("is 102400.0 MB; a calculator bundle or AppVar file holds at most 2 MB")))
        << stdErr.toStdString();
    QFile::remove(QDir(outDir.path()).filePath(QStringLiteral("huge.8xp")));
    const std::vector<std::uint8_t> still = program({0xEF, 0x6A, 0x48, 0xEF, 0x72, 0x49, 0xC9});
    QByteArray padded(reinterpret_cast<const char*>(still.data()), static_cast<qsizetype>(still.size()));
    padded.append(70 * 1024, '\0');
    write(QStringLiteral("long.8xp"), padded);
    EXPECT_EQ(preview(QStringLiteral("long.8xp"), QStringLiteral("long.gif")), 1);
    EXPECT_TRUE(stdErr.contains(QLatin1String("a calculator program file holds at most 64 KB"))) << stdErr.toStdString();

    // One frame, then a wait for a key: no frames a second.
    write(QStringLiteral("still.8xp"),
          QByteArray(reinterpret_cast<const char*>(still.data()), static_cast<qsizetype>(still.size())));
    ASSERT_EQ(preview(QStringLiteral("still.8xp"), QStringLiteral("still.gif")), 0) << stdErr.toStdString();
    EXPECT_TRUE(stdErr.contains(QLatin1String("(1 frame, then waits for a key)"))) << stdErr.toStdString();
    EXPECT_FALSE(stdErr.contains(QLatin1String("frames a second"))) << stdErr.toStdString();

    // A place that is no regular file is refused and left as it was.
    const QString fifo = QDir(outDir.path()).filePath(QStringLiteral("pipe.gif"));
    ASSERT_EQ(QProcess::execute(QStringLiteral("mkfifo"), {fifo}), 0);
    EXPECT_EQ(preview(QStringLiteral("still.8xp"), QStringLiteral("pipe.gif")), 2);
    EXPECT_TRUE(stdErr.contains(QLatin1String("--preview needs a regular file or a new name"))) << stdErr.toStdString();
    EXPECT_FALSE(QFileInfo(fifo).isFile());
    EXPECT_TRUE(QFileInfo(fifo).exists());

    // Where the GIF cannot be written, nothing of this run's is left.
    const QString full = QDir(outDir.path()).filePath(QStringLiteral("full"));
    ASSERT_TRUE(QDir().mkpath(full));
    zoetra::test::Mount mount(full, QStringLiteral("size=8k"));
    if (mount.mounted()) {
        {
            QFile filler(full + QStringLiteral("/filler"));
            ASSERT_TRUE(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
            const QByteArray block(1024, 'x');
            while (filler.write(block) == block.size()) {
            }
        }
        EXPECT_EQ(preview(QStringLiteral("still.8xp"), full + QStringLiteral("/still.gif")), 1);
        EXPECT_TRUE(stdErr.contains(QLatin1String("The preview could not be written"))) << stdErr.toStdString();
        EXPECT_EQ(QDir(full).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                  QStringList{QStringLiteral("filler")});
    }
}
#endif

#ifdef ZOETRA_HAVE_LINK
// The delivery of a video in the archive, sent to the calculator made of
// code: every variable of the delivered files arrives as it is in them, the
// program into RAM and the AppVars into the archive, from the program with
// its AppVar files and from the multi-variable files alike.
TEST_F(ConverterOnTheSample, ItsDeliveryArrivesWholeOnTheCalculator)
{
    ASSERT_EQ(convert({QStringLiteral("--archive"), QStringLiteral("--model"), QStringLiteral("ti84p"),
                       QStringLiteral("-n"), QStringLiteral("Clip")}),
              0)
        << stdErr.toStdString();
    const QDir out(outDir.path());
    std::vector<devpac8x::Variable> expected;
    for (const QString& name : out.entryList({QStringLiteral("clip*.8xp"), QStringLiteral("clip*.8xv")}, QDir::Files,
                                             QDir::Name | QDir::Reversed)) {
        const QByteArray file = zoetra::test::readAll(out.filePath(name));
        const auto variables = devpac8x::readVariableFile(std::vector<std::uint8_t>(file.begin(), file.end()));
        expected.insert(expected.end(), variables.begin(), variables.end());
    }
    // The program (clip.8xp, listed last in reverse order) goes first.
    std::rotate(expected.rbegin(), expected.rbegin() + 1, expected.rend());
    ASSERT_GE(expected.size(), 2u);
    ASSERT_EQ(expected.front().type, 0x06);

    zoetra::VideoTarget target;
    target.model = zoetra::CalculatorModel::Ti84Plus;
    target.storage = zoetra::Storage::Archive;
    for (const char* given : {"clip.8xp", "clip.8xg"}) {
        SCOPED_TRACE(given);
        zoetra::link::testing::CodeCalculator calculator(zoetra::link::Protocol::DirectUsb,
                                                         zoetra::CalculatorModel::Ti84Plus);
        zoetra::link::testing::CodeCables cables(calculator);
        QString error;
        const std::optional<QStringList> files = zoetra::link::filesOfProgram(out.filePath(QLatin1String(given)), error);
        ASSERT_TRUE(files) << error.toStdString();
        zoetra::link::Sender sender(cables);
        const zoetra::link::Preparation preparation = sender.prepare({*files, target});
        ASSERT_TRUE(preparation.ready) << preparation.message.toStdString();
        const zoetra::link::SendOutcome outcome = sender.send(false);
        ASSERT_TRUE(outcome.sent) << outcome.message.toStdString();
        ASSERT_EQ(calculator.variables.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const auto& arrived = calculator.variables[i];
            EXPECT_EQ(arrived.name.toStdString(), expected[i].name);
            EXPECT_EQ(arrived.type, expected[i].type);
            EXPECT_EQ(arrived.archived, expected[i].type == devpac8x::AppVarType) << expected[i].name;
            EXPECT_EQ(std::vector<std::uint8_t>(arrived.data.begin(), arrived.data.end()), expected[i].data)
                << expected[i].name;
        }
    }
}
#endif

}  // namespace
}  // namespace playertest
