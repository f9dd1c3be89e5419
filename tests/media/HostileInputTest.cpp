// Inputs that once came in wrong, were lost in part or hung the import:
// streams without timestamps, transport streams joined end to end, turned
// videos and photos, files cut short, pictures and clips past the limits,
// and what is neither a file nor a folder.
#include "media/FfmpegSource.h"
#include "media/FrameFolderWriter.h"
#include "media/FrameScaler.h"
#include "media/FrameStream.h"
#include "media/VideoImport.h"
#include "support/FfmpegClips.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QBuffer>
#include <QFileInfo>
#include <QImageReader>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <thread>
#include <vector>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace zoetra::media {
namespace {

using test::lavfi;
using test::makeClip;
using test::meanGrey;

// Frame n has the grey level 10 * (n mod 25), 25 frames a second, 2 s.
const QString CountingGraph =
    QStringLiteral("color=black:size=160x120:rate=25:duration=2,format=gray,geq=lum='10*mod(N\\,25)'");

// Black, with a white block in the top left corner (a quarter of each side).
const QString CornerGraph =
    QStringLiteral("color=black:size=160x120:rate=25:duration=1,drawbox=x=0:y=0:w=40:h=30:color=white:t=fill");

class HostileInputTest : public testing::Test {
protected:
    static void SetUpTestSuite() { folder = new QTemporaryDir; }
    static void TearDownTestSuite()
    {
        delete folder;
        folder = nullptr;
    }
    void SetUp() override
    {
        if (!test::haveFfmpeg()) {
            GTEST_SKIP() << "the ffmpeg command is needed to make the clips";
        }
    }

    static QString at(const QString& name) { return QDir(folder->path()).filePath(name); }

    static QString clip(const QString& name, const QStringList& arguments)
    {
        return QFile::exists(at(name)) ? at(name) : makeClip(folder->path(), name, arguments);
    }

    struct Read {
        std::vector<ScaledFrame> frames;
        QString message;
        ClipInfo info;
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
        read.info = stream->info();
        EXPECT_TRUE(stream->begin(settings, message)) << message.toStdString();
        ScaledFrame frame;
        while (stream->next(frame) == FrameStream::Status::Frame) {
            read.frames.push_back(frame);
        }
        read.message = stream->message();
        return read;
    }

    // Why a source is refused, or "<opened>" / "<begun>".
    static QString refusal(const QString& path, const ImportSettings* settings = nullptr)
    {
        QString message;
        std::unique_ptr<FrameStream> stream = FrameStream::open(path, message);
        if (!stream) {
            return message;
        }
        if (!settings) {
            return QStringLiteral("<opened>");
        }
        return stream->begin(*settings, message) ? QStringLiteral("<begun>") : message;
    }

    static QTemporaryDir* folder;
};

QTemporaryDir* HostileInputTest::folder = nullptr;

// Raw elementary streams carry no timestamps: their frames are timed by the
// frame rate from 0, so the first second is there.
TEST_F(HostileInputTest, RawStreamsStartAtTheirFirstFrame)
{
    const std::pair<QString, QStringList> streams[] = {
        {QStringLiteral("raw.h264"), {"-c:v", "libx264", "-preset", "ultrafast"}},
        {QStringLiteral("raw.hevc"), {"-c:v", "libx265", "-preset", "ultrafast", "-x265-params", "log-level=error"}},
    };
    for (const auto& [name, codec] : streams) {
        SCOPED_TRACE(name.toStdString());
        const QString path = clip(name, lavfi(CountingGraph) + codec);
        ASSERT_FALSE(path.isEmpty());
        ImportSettings settings;
        settings.framesPerSecond = 5.0;  // every fifth source frame: n = 0, 5, 10 ...
        const Read read = readAll(path, settings);
        ASSERT_EQ(read.frames.size(), 10u) << read.message.toStdString();
        EXPECT_TRUE(read.message.isEmpty()) << read.message.toStdString();
        // Grey 10 * (n mod 25): 0, 50, 100, 150, 200, then again.
        for (std::size_t k = 0; k < read.frames.size(); ++k) {
            EXPECT_NEAR(meanGrey(read.frames[k].image, 40, 24, 16, 16), 50.0 * (k % 5), 20.0) << "frame " << k;
        }
    }
}

// Concatenated transport streams restart their timestamps at each seam:
// every part is imported, one after the other.
TEST_F(HostileInputTest, JoinedTransportStreamsAreImportedWhole)
{
    const QString part = clip(QStringLiteral("part.ts"), lavfi(CountingGraph) + QStringList{"-c:v", "mpeg2video"});
    ASSERT_FALSE(part.isEmpty());
    const QByteArray bytes = test::readAll(part);
    test::writeAll(at(QStringLiteral("joined.ts")), bytes + bytes + bytes);

    ImportSettings settings;
    settings.framesPerSecond = 5.0;
    const Read read = readAll(at(QStringLiteral("joined.ts")), settings);
    EXPECT_TRUE(read.message.isEmpty()) << read.message.toStdString();
    ASSERT_EQ(read.frames.size(), 30u);
    // Each part begins again at grey 0, on time.
    for (const std::size_t k : {0u, 10u, 20u}) {
        EXPECT_NEAR(meanGrey(read.frames[k].image, 40, 24, 16, 16), 0.0, 12.0) << "frame " << k;
        EXPECT_NEAR(meanGrey(read.frames[k + 1].image, 40, 24, 16, 16), 50.0, 12.0) << "frame " << k + 1;
    }

    // An end inside the third part is reached too.
    settings.end = 5.0;
    EXPECT_EQ(readAll(at(QStringLiteral("joined.ts")), settings).frames.size(), 25u);
}

// The JPEG with an Exif block whose orientation tag (1..8) is `tag`,
// right after its start marker.
QByteArray withOrientationTag(const QByteArray& jpeg, int tag)
{
    QByteArray exif("\xFF\xE1\x00\x22"
                    "Exif\0\0"
                    "MM\0\x2A\0\0\0\x08"    // big-endian TIFF, first directory at 8
                    "\0\x01"                    // one entry:
                    "\x01\x12\0\x03\0\0\0\x01" // orientation, one short,
                    "\0\0\0\0"                  // its value (set below)
                    "\0\0\0\0",                 // no next directory
                    36);
    exif[4 + 6 + 8 + 2 + 8 + 1] = static_cast<char>(tag);
    return jpeg.left(2) + exif + jpeg.mid(2);
}

// A turned video (a display matrix, as phones write for portrait) and a
// photo with an orientation tag come in upright, fitted as shown.
TEST_F(HostileInputTest, TurnedVideosAndPhotosComeInUpright)
{
    const QString plain = clip(QStringLiteral("corner.mp4"),
                               lavfi(CornerGraph) + QStringList{"-c:v", "libx264", "-pix_fmt", "yuv420p"});
    ASSERT_FALSE(plain.isEmpty());
    // rotate=90 makes the matrix of a quarter turn counter-clockwise: the
    // white corner is shown bottom left (as the ffmpeg command shows it).
    const QString turned =
        clip(QStringLiteral("corner-turned.mp4"), {"-i", plain, "-c", "copy", "-metadata:s:v:0", "rotate=90"});
    ASSERT_FALSE(turned.isEmpty());

    const Read read = readAll(turned);
    ASSERT_FALSE(read.frames.empty()) << read.message.toStdString();
    EXPECT_EQ(read.info.width, 120);
    EXPECT_EQ(read.info.height, 160);
    // 120 x 160 fitted: 48 x 64 in the middle, white bars either side.
    const QImage& screen = read.frames.front().image;
    EXPECT_GT(meanGrey(screen, 0, 0, 22, 64), 250.0);
    EXPECT_GT(meanGrey(screen, 74, 0, 22, 64), 250.0);
    EXPECT_GT(meanGrey(screen, 26, 52, 8, 10), 230.0);  // the corner: bottom left
    EXPECT_LT(meanGrey(screen, 26, 2, 8, 10), 25.0);
    EXPECT_LT(meanGrey(screen, 62, 52, 8, 10), 25.0);
    EXPECT_LT(meanGrey(screen, 62, 2, 8, 10), 25.0);

    // A JPEG whose orientation tag turns it a quarter clockwise: the corner
    // stored top left is shown top right.
    QImage photo(120, 80, QImage::Format_RGB32);
    photo.fill(Qt::black);
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 30; ++x) {
            photo.setPixel(x, y, qRgb(255, 255, 255));
        }
    }
    QByteArray jpeg;
    {
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        ASSERT_TRUE(photo.save(&buffer, "jpeg", 95));
    }
    test::writeAll(at(QStringLiteral("photo.jpg")), withOrientationTag(jpeg, 6));
    const Read upright = readAll(at(QStringLiteral("photo.jpg")));
    ASSERT_EQ(upright.frames.size(), 1u) << upright.message.toStdString();
    // 80 x 120 fitted: 43 x 64 in the middle (27..69).
    const QImage& shown = upright.frames.front().image;
    EXPECT_GT(meanGrey(shown, 62, 2, 6, 10), 230.0);
    EXPECT_LT(meanGrey(shown, 29, 2, 6, 10), 25.0);
    EXPECT_LT(meanGrey(shown, 29, 52, 6, 10), 25.0);

    // In a folder, each of the eight orientations as Qt's reader turns it.
    const QString photos = at(QStringLiteral("photos"));
    ASSERT_TRUE(QDir().mkpath(photos));
    for (int tag = 1; tag <= 8; ++tag) {
        test::writeAll(QDir(photos).filePath(QStringLiteral("%1.jpg").arg(tag)), withOrientationTag(jpeg, tag));
    }
    ImportSettings perPicture;
    perPicture.framesPerSecond = 1.0;
    const Read folderRead = readAll(photos, perPicture);
    ASSERT_EQ(folderRead.frames.size(), 8u) << folderRead.message.toStdString();
    FrameScaler scaler;
    for (int tag = 1; tag <= 8; ++tag) {
        QImageReader reader(QDir(photos).filePath(QStringLiteral("%1.jpg").arg(tag)));
        reader.setAutoTransform(true);
        const QImage expected = scaler.scale(reader.read(), FitMode::Fit);
        const QImage& got = folderRead.frames[static_cast<std::size_t>(tag - 1)].image;
        double difference = 0.0;
        for (int y = 0; y < 64; ++y) {
            for (int x = 0; x < 96; ++x) {
                difference += std::abs(qGray(got.pixel(x, y)) - qGray(expected.pixel(x, y)));
            }
        }
        EXPECT_LT(difference / (96 * 64), 4.0) << "orientation " << tag;
    }
}

// The header of a PNG of the given size (a valid IHDR, no picture data):
// enough for a reader to learn its size.
QByteArray pngHeader(quint32 width, quint32 height)
{
    const auto crc = [](const QByteArray& data) {
        quint32 c = 0xFFFFFFFFu;
        for (const char byte : data) {
            c ^= static_cast<quint8>(byte);
            for (int k = 0; k < 8; ++k) {
                c = (c & 1u) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            }
        }
        return c ^ 0xFFFFFFFFu;
    };
    const auto chunk = [&](const char* type, const QByteArray& data) {
        QByteArray body = QByteArray(type) + data;
        QByteArray out(4, '\0');
        qToBigEndian(static_cast<quint32>(data.size()), out.data());
        out += body;
        QByteArray sum(4, '\0');
        qToBigEndian(crc(body), sum.data());
        return out + sum;
    };
    QByteArray ihdr(13, '\0');
    qToBigEndian(width, ihdr.data());
    qToBigEndian(height, ihdr.data() + 4);
    ihdr[8] = 8;  // 8 bits, RGB
    ihdr[9] = 2;
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", ihdr) + chunk("IDAT", QByteArray(16, '\0')) +
           chunk("IEND", {});
}

TEST_F(HostileInputTest, PicturesAndClipsPastTheLimitsAreRefusedWithTheirNumbers)
{
    test::writeAll(at(QStringLiteral("wide.png")), pngHeader(30000, 30000));
    EXPECT_EQ(refusal(at(QStringLiteral("wide.png"))),
              QStringLiteral("\u201Cwide.png\u201D is 30000 \u00D7 30000 pixels; pictures up to 16384 pixels a side "
                             "can be imported."));
    test::writeAll(at(QStringLiteral("big.png")), pngHeader(12000, 9000));
    EXPECT_EQ(refusal(at(QStringLiteral("big.png"))),
              QStringLiteral("\u201Cbig.png\u201D is 12000 \u00D7 9000 pixels; pictures up to 100 million pixels can "
                             "be imported."));

    // Four frames an hour apart: 4 hours, 212,400 frames at 14.75 a second.
    const QString sparse = clip(QStringLiteral("sparse.mkv"),
                                lavfi(QStringLiteral("color=black:size=32x32:rate=1/3600:duration=14400")) +
                                    QStringList{"-c:v", "libx264", "-preset", "ultrafast"});
    ASSERT_FALSE(sparse.isEmpty());
    ImportSettings settings;
    EXPECT_EQ(refusal(sparse, &settings),
              QStringLiteral("212,400 frames at 14.75 frames a second are more than an import takes (200,000); "
                             "choose a lower rate or a shorter part."));
    settings.framesPerSecond = 10.0;
    EXPECT_EQ(refusal(sparse, &settings), QStringLiteral("<begun>"));
}

TEST_F(HostileInputTest, AFileCutShortIsCalledDamagedNotUnknown)
{
    // The MP4 muxer writes its index at the end: the first half holds none.
    const QString whole = clip(QStringLiteral("whole.mp4"), lavfi(CountingGraph) + QStringList{"-c:v", "libx264"});
    ASSERT_FALSE(whole.isEmpty());
    const QByteArray bytes = test::readAll(whole);
    test::writeAll(at(QStringLiteral("cut.mp4")), bytes.left(bytes.size() / 2));
    const QString message = refusal(at(QStringLiteral("cut.mp4")));
    EXPECT_TRUE(message.contains(QLatin1String("ended early"))) << message.toStdString();
    EXPECT_TRUE(message.contains(QLatin1String("damaged"))) << message.toStdString();
    EXPECT_FALSE(message.contains(QLatin1String("not a video"))) << message.toStdString();
}

TEST_F(HostileInputTest, ImportedFoldersGetTheUsualPermissions)
{
    const QString source = clip(QStringLiteral("corner.mp4"),
                                lavfi(CornerGraph) + QStringList{"-c:v", "libx264", "-pix_fmt", "yuv420p"});
    ASSERT_FALSE(source.isEmpty());
    const QString made = at(QStringLiteral("made by hand"));
    ASSERT_TRUE(QDir().mkdir(made));
    const QString destination = at(QStringLiteral("permitted frames"));
    const ImportResult result = importFrames(source, destination, {}, {});
    ASSERT_EQ(result.status, ImportResult::Status::Done) << result.message.toStdString();
    EXPECT_EQ(QFileInfo(destination).permissions(), QFileInfo(made).permissions());
}

#ifdef Q_OS_UNIX
// Opening a FIFO waits for a writer, maybe forever: it is refused unopened.
// (Should it be opened after all, a writer comes after 10 s, so that the
// test fails rather than hangs.)
TEST_F(HostileInputTest, AFifoIsRefusedBeforeItIsOpened)
{
    const QString fifo = at(QStringLiteral("pipe.mp4"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    std::atomic<bool> done{false};
    std::thread rescue([&] {
        for (int i = 0; i < 100 && !done; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        if (!done) {
            const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) {
                ::close(fd);
            }
        }
    });
    const QString message = refusal(fifo);
    done = true;
    rescue.join();
    EXPECT_EQ(message, QStringLiteral("\u201Cpipe.mp4\u201D is neither a file nor a folder; files and folders can "
                                      "be imported."));
}
#endif

}  // namespace
}  // namespace zoetra::media
