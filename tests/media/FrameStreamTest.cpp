// Clips made by the ffmpeg command at test time, read back as streams of
// screen frames: containers and codecs, frame counts at a chosen rate, the
// frame shown at each time, fit modes, animated pictures, folders, and the
// inputs that must be refused with a message.
#include "media/FrameStream.h"
#include "support/FfmpegClips.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace zoetra::media {
namespace {

using test::lavfi;
using test::makeClip;
using test::meanGrey;

// A 2-second clip at 25 frames a second whose frame n has the grey level
// 10 * (n mod 25): what the stream picks at each time can be told apart.
const QString CountingGraph =
    QStringLiteral("color=black:size=160x120:rate=25:duration=2,format=gray,geq=lum='10*mod(N\\,25)'");

class FrameStreamTest : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!test::haveFfmpeg()) {
            return;
        }
        folder = new QTemporaryDir;
    }
    static void TearDownTestSuite()
    {
        delete folder;
        folder = nullptr;
    }
    void SetUp() override
    {
        if (!folder) {
            GTEST_SKIP() << "the ffmpeg command is needed to make the clips";
        }
    }

    static QString clip(const QString& name, const QStringList& arguments)
    {
        const QString path = QDir(folder->path()).filePath(name);
        if (QFile::exists(path)) {
            return path;
        }
        return makeClip(folder->path(), name, arguments);
    }

    struct Read {
        std::vector<ScaledFrame> frames;
        QString message;
        bool early = false;
    };

    static Read readAll(const QString& path, const ImportSettings& settings = {})
    {
        Read read;
        QString message;
        std::unique_ptr<FrameStream> stream = FrameStream::open(path, message);
        EXPECT_TRUE(stream) << message.toStdString();
        if (!stream) {
            return read;
        }
        EXPECT_TRUE(stream->begin(settings, message)) << message.toStdString();
        ScaledFrame frame;
        while (stream->next(frame) == FrameStream::Status::Frame) {
            EXPECT_EQ(frame.index, static_cast<int>(read.frames.size()));
            EXPECT_EQ(frame.image.size(), QSize(96, 64));
            read.frames.push_back(frame);
        }
        read.message = stream->message();
        read.early = stream->endedEarly();
        return read;
    }

    // The message of a source that cannot be opened, or of settings refused.
    static QString refusal(const QString& path, const std::optional<ImportSettings>& settings = std::nullopt)
    {
        QString message;
        std::unique_ptr<FrameStream> stream = FrameStream::open(path, message);
        if (stream && settings) {
            if (stream->begin(*settings, message)) {
                return QStringLiteral("<begun>");
            }
        } else if (stream) {
            return QStringLiteral("<opened>");
        }
        return message;
    }

    static QTemporaryDir* folder;
};

QTemporaryDir* FrameStreamTest::folder = nullptr;

struct Container {
    const char* file;
    std::vector<const char*> codec;
};

void PrintTo(const Container& container, std::ostream* os)
{
    *os << container.file;
}

class Containers : public FrameStreamTest, public testing::WithParamInterface<Container> {};

TEST_P(Containers, GiveTheFramesOfTheChosenRate)
{
    QStringList arguments = lavfi(QStringLiteral("testsrc=size=320x240:rate=25:duration=2"));
    for (const char* a : GetParam().codec) {
        arguments.append(QString::fromLatin1(a));
    }
    const QString path = clip(QString::fromLatin1(GetParam().file), arguments);
    ASSERT_FALSE(path.isEmpty());

    QString message;
    std::unique_ptr<FrameStream> stream = FrameStream::open(path, message);
    ASSERT_TRUE(stream) << message.toStdString();
    const ClipInfo& info = stream->info();
    EXPECT_EQ(info.kind, ClipInfo::Kind::Video);
    EXPECT_EQ(info.width, 320);
    EXPECT_EQ(info.height, 240);
    ASSERT_TRUE(info.duration.has_value());
    EXPECT_NEAR(*info.duration, 2.0, 0.05);
    ASSERT_TRUE(info.frameRate.has_value());
    EXPECT_NEAR(*info.frameRate, 25.0, 0.01);

    ImportSettings at15;
    at15.framesPerSecond = 15.0;
    const Read read = readAll(path, at15);
    EXPECT_EQ(read.frames.size(), 30u);
    EXPECT_TRUE(read.message.isEmpty()) << read.message.toStdString();
    EXPECT_FALSE(read.early);
    // The player's own rate by default: 118 / 8 frames a second.
    EXPECT_EQ(readAll(path).frames.size(), 30u);  // 2 s x 14.75, rounded up
    ImportSettings at5;
    at5.framesPerSecond = 5.0;
    const Read few = readAll(path, at5);
    ASSERT_EQ(few.frames.size(), 10u);
    EXPECT_DOUBLE_EQ(few.frames[3].time, 0.6);
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, Containers,
    testing::Values(Container{"h264.mp4", {"-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p"}},
                    Container{"vp9.webm", {"-c:v", "libvpx-vp9", "-deadline", "realtime", "-cpu-used", "8"}},
                    Container{"h264.mkv", {"-c:v", "libx264", "-preset", "ultrafast"}},
                    Container{"mpeg4.avi", {"-c:v", "mpeg4", "-q:v", "3"}},
                    Container{"mjpeg.mov", {"-c:v", "mjpeg", "-q:v", "3"}},
                    Container{"ffv1.mkv", {"-c:v", "ffv1"}}),
    [](const testing::TestParamInfo<Container>& row) {
        QString name = QString::fromLatin1(row.param.file);
        return name.replace(QLatin1Char('.'), QLatin1Char('_')).toStdString();
    });

TEST_F(FrameStreamTest, EachTimeGetsTheFrameShownThen)
{
    const QString path = clip(QStringLiteral("counting.mkv"), lavfi(CountingGraph) + QStringList{"-c:v", "ffv1"});
    ASSERT_FALSE(path.isEmpty());
    ImportSettings settings;
    settings.framesPerSecond = 10.0;
    const Read read = readAll(path, settings);
    ASSERT_EQ(read.frames.size(), 20u);
    for (const ScaledFrame& frame : read.frames) {
        // At 10 a second, output k shows source frame 2.5 k, rounded down.
        const int source = static_cast<int>(frame.index * 2.5 + 1e-9) % 25;
        // 4:3 fitted: the middle of the screen, away from the white bars.
        EXPECT_NEAR(meanGrey(frame.image, 24, 8, 48, 48), 10.0 * source, 2.0) << frame.index;
    }

    // From 1.0 s to 1.5 s: 5 frames, the first one source frame 25 (grey 0).
    settings.start = 1.0;
    settings.end = 1.5;
    const Read part = readAll(path, settings);
    ASSERT_EQ(part.frames.size(), 5u);
    EXPECT_DOUBLE_EQ(part.frames[0].time, 1.0);
    EXPECT_NEAR(meanGrey(part.frames[0].image, 24, 8, 48, 48), 0.0, 2.0);
    EXPECT_NEAR(meanGrey(part.frames[4].image, 24, 8, 48, 48), 100.0, 2.0);  // 1.4 s: frame 35

    // A higher rate than the source's repeats frames.
    settings = {};
    settings.framesPerSecond = 50.0;
    settings.end = 0.2;
    const Read doubled = readAll(path, settings);
    ASSERT_EQ(doubled.frames.size(), 10u);
    EXPECT_EQ(doubled.frames[2].image, doubled.frames[3].image);
    EXPECT_NE(doubled.frames[3].image, doubled.frames[4].image);
}

TEST_F(FrameStreamTest, FitModesPlaceAKnownShape)
{
    // 3:1, black with a white left third, in a lossy codec.
    const QString path =
        clip(QStringLiteral("wide.mp4"),
             lavfi(QStringLiteral("color=black:size=300x100:rate=25:duration=0.4,drawbox=x=0:y=0:w=100:h=100:"
                                  "color=white:t=fill")) +
                 QStringList{"-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv444p", "-crf", "10"});
    ASSERT_FALSE(path.isEmpty());
    ImportSettings settings;
    settings.fit = FitMode::Fit;
    QImage frame = readAll(path, settings).frames.at(0).image;
    EXPECT_GT(meanGrey(frame, 0, 0, 96, 15), 250.0) << "bar above";
    EXPECT_GT(meanGrey(frame, 0, 49, 96, 15), 250.0) << "bar below";
    EXPECT_GT(meanGrey(frame, 2, 18, 28, 28), 240.0) << "white third";
    EXPECT_LT(meanGrey(frame, 36, 18, 58, 28), 12.0) << "black rest";
    settings.fit = FitMode::Fill;
    frame = readAll(path, settings).frames.at(0).image;
    EXPECT_GT(meanGrey(frame, 1, 0, 13, 64), 240.0) << "a sixth of the crop is white";
    EXPECT_LT(meanGrey(frame, 20, 0, 76, 64), 12.0);
    settings.fit = FitMode::Stretch;
    frame = readAll(path, settings).frames.at(0).image;
    EXPECT_GT(meanGrey(frame, 2, 0, 28, 64), 240.0) << "a third is white";
    EXPECT_LT(meanGrey(frame, 36, 0, 58, 64), 12.0);
}

TEST_F(FrameStreamTest, WidePixelsAreShownWide)
{
    // 200 x 100 stored, pixels twice as wide: shown as 4:1.
    const QString path =
        clip(QStringLiteral("anamorphic.mkv"), lavfi(QStringLiteral("color=black:size=200x100:rate=25:duration=0.2,setsar=2")) +
                                                   QStringList{"-c:v", "libx264", "-preset", "ultrafast"});
    ASSERT_FALSE(path.isEmpty());
    const Read read = readAll(path);
    ASSERT_FALSE(read.frames.empty());
    const QImage& frame = read.frames[0].image;
    // 96 x 24 from row 20.
    EXPECT_GT(meanGrey(frame, 0, 0, 96, 19), 250.0);
    EXPECT_LT(meanGrey(frame, 0, 21, 96, 22), 20.0);
    EXPECT_GT(meanGrey(frame, 0, 45, 96, 19), 250.0);
}

TEST_F(FrameStreamTest, AreaFilterThroughTheDecoder)
{
    // A luma checkerboard of video black and white, stored losslessly.
    const QString path = clip(QStringLiteral("checker.mkv"),
                              lavfi(QStringLiteral("color=black:size=960x640:rate=5:duration=0.4,format=gray,"
                                                   "geq=lum='if(mod(X+Y\\,2)\\,235\\,16)',format=yuv420p")) +
                                  QStringList{"-c:v", "ffv1"});
    ASSERT_FALSE(path.isEmpty());
    const Read read = readAll(path);
    ASSERT_FALSE(read.frames.empty());
    const QImage& frame = read.frames[0].image;
    for (int y = 0; y < 64; y += 7) {
        for (int x = 0; x < 96; x += 5) {
            EXPECT_NEAR(meanGrey(frame, x, y, 1, 1), 127.5, 2.5) << x << "," << y;
        }
    }
}

TEST_F(FrameStreamTest, AnimatedPictures)
{
    const QStringList source = lavfi(QStringLiteral("testsrc=size=120x80:rate=10:duration=1"));
    for (const QString& name : {QStringLiteral("anim.gif"), QStringLiteral("anim.apng"), QStringLiteral("anim.webp")}) {
        QStringList arguments = source;
        if (name.endsWith(QLatin1String("apng"))) {
            arguments += {"-plays", "0", "-f", "apng"};
        } else if (name.endsWith(QLatin1String("webp"))) {
            arguments += {"-c:v", "libwebp_anim", "-loop", "0", "-lossless", "1"};
        }
        const QString path = clip(name, arguments);
        ASSERT_FALSE(path.isEmpty()) << name.toStdString();
        ImportSettings settings;
        settings.framesPerSecond = 15.0;
        const Read read = readAll(path, settings);
        EXPECT_EQ(read.frames.size(), 15u) << name.toStdString();
        EXPECT_TRUE(read.message.isEmpty()) << read.message.toStdString();
        ASSERT_GE(read.frames.size(), 14u);
        // The pictures move: the first and the last differ.
        EXPECT_NE(read.frames.front().image, read.frames.back().image) << name.toStdString();
        // 120 x 80 is 3:2: no white bars; testsrc's top left is not white.
        EXPECT_LT(meanGrey(read.frames[0].image, 0, 0, 8, 4), 250.0) << name.toStdString();
    }
}

TEST_F(FrameStreamTest, AStillPictureIsOneFrame)
{
    QImage picture(1920, 1080, QImage::Format_RGB32);
    picture.fill(qRgb(0, 0, 0));
    const QString path = QDir(folder->path()).filePath(QStringLiteral("still.jpg"));
    ASSERT_TRUE(picture.save(path));
    QString message;
    std::unique_ptr<FrameStream> stream = FrameStream::open(path, message);
    ASSERT_TRUE(stream) << message.toStdString();
    EXPECT_EQ(stream->info().kind, ClipInfo::Kind::Picture);
    ImportSettings settings;
    settings.start = 5.0;  // times mean nothing for one picture
    const Read read = readAll(path, settings);
    ASSERT_EQ(read.frames.size(), 1u);
    // 16:9 fitted: bars of white above and below.
    EXPECT_GT(meanGrey(read.frames[0].image, 0, 0, 96, 4), 250.0);
    EXPECT_LT(meanGrey(read.frames[0].image, 0, 8, 96, 48), 5.0);
}

TEST_F(FrameStreamTest, AFolderOfPicturesInNaturalOrder)
{
    QTemporaryDir pictures;
    // Of several sizes and kinds; the number in the name is its grey / 10.
    const std::vector<std::pair<QString, QSize>> files{
        {QStringLiteral("frame10.png"), {640, 480}}, {QStringLiteral("frame2.jpg"), {1920, 1080}},
        {QStringLiteral("Frame1.bmp"), {96, 64}},    {QStringLiteral("frame3.tif"), {300, 200}},
        {QStringLiteral("frame4.webp"), {50, 50}},   {QStringLiteral("frame5.jpeg"), {200, 300}}};
    for (const auto& [name, size] : files) {
        const int grey = 10 * name.mid(5).split(QLatin1Char('.')).first().toInt();
        QImage image(size, QImage::Format_RGB32);
        image.fill(qRgb(grey, grey, grey));
        ASSERT_TRUE(image.save(pictures.filePath(name))) << name.toStdString();
    }
    test::writeAll(pictures.filePath(QStringLiteral("notes.txt")), "not a picture");
    test::writeAll(pictures.filePath(QStringLiteral("frame7-broken.png")), "not a picture either");
    QImage huge(16400, 8, QImage::Format_RGB32);
    huge.fill(Qt::black);
    ASSERT_TRUE(huge.save(pictures.filePath(QStringLiteral("huge.tif"))));

    QString message;
    std::unique_ptr<FrameStream> stream = FrameStream::open(pictures.path(), message);
    ASSERT_TRUE(stream) << message.toStdString();
    EXPECT_EQ(stream->info().kind, ClipInfo::Kind::PictureFolder);
    EXPECT_EQ(stream->info().pictureCount, 8);
    const Read read = readAll(pictures.path());
    ASSERT_EQ(read.frames.size(), 6u) << read.message.toStdString();
    const int expected[] = {10, 20, 30, 40, 50, 100};
    for (std::size_t i = 0; i < read.frames.size(); ++i) {
        // The middle of the screen holds the picture whatever its shape.
        EXPECT_NEAR(meanGrey(read.frames[i].image, 40, 24, 16, 16), expected[i], 3.0) << i;
    }
    EXPECT_EQ(read.message,
              QStringLiteral("2 of the pictures could not be read and were left out: frame7-broken.png, huge.tif."));

    // A start and end pick pictures by their place at the rate.
    ImportSettings settings;
    settings.framesPerSecond = 10.0;
    settings.start = 0.2;
    settings.end = 0.5;
    const Read part = readAll(pictures.path(), settings);
    ASSERT_EQ(part.frames.size(), 3u);
    EXPECT_NEAR(meanGrey(part.frames[0].image, 40, 24, 16, 16), 30.0, 3.0);
}

TEST_F(FrameStreamTest, ATruncatedFileKeepsTheFramesRead)
{
    const QString whole = clip(QStringLiteral("whole.mkv"),
                               lavfi(QStringLiteral("testsrc=size=320x240:rate=25:duration=4")) +
                                   QStringList{"-c:v", "libx264", "-preset", "ultrafast", "-g", "25"});
    ASSERT_FALSE(whole.isEmpty());
    const QString cut = QDir(folder->path()).filePath(QStringLiteral("cut.mkv"));
    QFile::remove(cut);
    ASSERT_TRUE(QFile::copy(whole, cut));
    QFile file(cut);
    ASSERT_TRUE(file.resize(file.size() / 2));

    ImportSettings settings;
    settings.framesPerSecond = 10.0;
    const Read read = readAll(cut, settings);
    EXPECT_GT(read.frames.size(), 8u);
    EXPECT_LT(read.frames.size(), 32u);
    EXPECT_TRUE(read.early);
    EXPECT_TRUE(read.message.contains(QLatin1String("ended early"))) << read.message.toStdString();
    EXPECT_TRUE(read.message.contains(QStringLiteral("%1 frames").arg(read.frames.size())))
        << read.message.toStdString();
}

TEST_F(FrameStreamTest, InputsThatAreRefused)
{
    const QString dir = folder->path();
    const auto at = [&](const char* name) { return QDir(dir).filePath(QString::fromLatin1(name)); };

    test::writeAll(at("notes.txt"), "Just some words.\nNot a video at all.\n");
    test::writeAll(at("notes.mp4"), "Just some words.\nNot a video at all.\n");
    QByteArray noise(64 * 1024, '\0');
    for (int i = 0; i < noise.size(); ++i) {
        noise[i] = static_cast<char>((i * 7919 + (i >> 3) * 104729) & 0xFF);
    }
    test::writeAll(at("noise.bin"), noise);
    for (const char* name : {"notes.txt", "notes.mp4", "noise.bin"}) {
        EXPECT_TRUE(refusal(at(name)).contains(QLatin1String("is not a video or picture file")))
            << name << ": " << refusal(at(name)).toStdString();
    }
    EXPECT_TRUE(refusal(at("missing.mp4")).contains(QLatin1String("does not exist")));

    const QString audio = clip(QStringLiteral("tone.wav"), lavfi(QStringLiteral("sine=duration=0.5")));
    ASSERT_FALSE(audio.isEmpty());
    EXPECT_EQ(refusal(audio), QStringLiteral("\u201Ctone.wav\u201D holds no video."));

    // An AVI whose codec's code is one nobody knows.
    const QString avi = clip(QStringLiteral("known.avi"), lavfi(QStringLiteral("testsrc=size=64x48:rate=10:duration=0.5")) +
                                                              QStringList{"-c:v", "mpeg4", "-vtag", "FMP4"});
    ASSERT_FALSE(avi.isEmpty());
    QByteArray bytes = test::readAll(avi);
    ASSERT_GE(bytes.count("FMP4"), 2);
    bytes.replace("FMP4", "QQZZ");
    test::writeAll(at("unknown.avi"), bytes);
    const QString unknown = refusal(at("unknown.avi"));
    EXPECT_TRUE(unknown.contains(QLatin1String("cannot be decoded"))) << unknown.toStdString();

    // Larger than 16384 pixels a side.
    QImage huge(16400, 8, QImage::Format_RGB32);
    huge.fill(Qt::black);
    ASSERT_TRUE(huge.save(at("huge.png")));
    EXPECT_EQ(refusal(at("huge.png")),
              QStringLiteral("\u201Chuge.png\u201D is 16400 \u00D7 8 pixels; pictures up to 16384 pixels a side can be "
                             "imported."));

    const QString empty = QDir(dir).filePath(QStringLiteral("empty folder"));
    ASSERT_TRUE(QDir().mkpath(empty));
    EXPECT_TRUE(refusal(empty).contains(QLatin1String("holds no pictures")));
}

TEST_F(FrameStreamTest, SettingsThatDoNotFitTheClip)
{
    const QString path = clip(QStringLiteral("counting.mkv"), lavfi(CountingGraph) + QStringList{"-c:v", "ffv1"});
    ASSERT_FALSE(path.isEmpty());
    ImportSettings settings;
    settings.start = 3.0;
    EXPECT_EQ(refusal(path, settings), QStringLiteral("The start (0:03.0) lies after the end of the clip (0:02.0)."));
    settings.start = 1.5;
    settings.end = 1.0;
    EXPECT_EQ(refusal(path, settings), QStringLiteral("The start (0:01.5) does not lie before the end (0:01.0)."));
    settings.end = 1.55;
    EXPECT_EQ(refusal(path, settings),
              QStringLiteral("The part from 0:01.5 to 0:01.6 is shorter than one frame at 14.75 frames a second."));
    settings = {};
    settings.framesPerSecond = 0.0;
    EXPECT_TRUE(refusal(path, settings).contains(QLatin1String("frame rate")));

    // A clip of one frame at 25 a second is shorter than one at 15.
    const QString blink = clip(QStringLiteral("blink.mp4"), lavfi(QStringLiteral("color=red:size=64x48:rate=25")) +
                                                                QStringList{"-frames:v", "1", "-c:v", "libx264"});
    ASSERT_FALSE(blink.isEmpty());
    settings = {};
    settings.framesPerSecond = 15.0;
    EXPECT_EQ(refusal(blink, settings),
              QStringLiteral("The clip (0:00.0) is shorter than one frame at 15 frames a second."));
}

}  // namespace
}  // namespace zoetra::media
