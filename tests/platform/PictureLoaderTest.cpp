#include "platform/QtPictureLoader.h"
#include "support/TestSupport.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImageWriter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace zoetra {
namespace {

// Image plugins (JPEG, GIF) need an application object.
class PictureLoaderTest : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "platform_tests";
        static char* argv[] = {name, nullptr};
        if (!QCoreApplication::instance()) {
            static QGuiApplication app(argc, argv);
        }
    }

    QString at(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    std::optional<QImage> load(const char* name) { return loader.load(at(name)); }

    QTemporaryDir dir;
    QtPictureLoader loader;
};

// Two 1 x 1 images: the first white, the second black.
const QByteArray twoFrameGif = QByteArray::fromHex(
    "474946383961" "01000100" "800000" "000000" "ffffff"
    "2c00000000010001000002024c0100"
    "2c0000000001000100000202440100"
    "3b");

TEST_F(PictureLoaderTest, DecodesEveryFrameFormat)
{
    const QImage frame = test::solidImage(96, 64, makeColour(200, 100, 50));
    ASSERT_TRUE(frame.save(at("f.bmp"), "BMP"));
    ASSERT_TRUE(frame.save(at("f.jpg"), "JPG", 100));
    QImage palette = frame.convertToFormat(QImage::Format_Indexed8);
    ASSERT_TRUE(palette.save(at("p.bmp"), "BMP"));
    QImageWriter progressive(at("prog.jpg"), "jpeg");
    progressive.setProgressiveScanWrite(true);
    ASSERT_TRUE(progressive.write(frame));
    test::writeAll(at("anim.gif"), twoFrameGif);

    for (const char* name : {"f.bmp", "f.jpg", "p.bmp", "prog.jpg"}) {
        const std::optional<QImage> image = load(name);
        ASSERT_TRUE(image.has_value()) << name;
        EXPECT_EQ(image->size(), QSize(96, 64)) << name;
        EXPECT_NEAR(qRed(image->pixel(10, 10)), 200, 3) << name;
    }
    const std::optional<QImage> gif = load("anim.gif");
    ASSERT_TRUE(gif.has_value());
    EXPECT_EQ(gif->pixel(0, 0) & 0xFFFFFF, 0xFFFFFFu);  // the first image, not the last
}

TEST_F(PictureLoaderTest, TransparentPixelsShowTheBackgroundOfThePictureArea)
{
    // 2 x 1: a transparent pixel of the hidden colour black, then red.
    test::writeAll(at("clear.gif"), QByteArray::fromHex("474946383961" "02000100" "800000" "000000" "ff0000"
                                                        "21f90401000000" "00"
                                                        "2c0000000002000100" "00"
                                                        "0202440a00" "3b"));
    const std::optional<QImage> gif = load("clear.gif");
    ASSERT_TRUE(gif.has_value());
    MemoryPictureArea area;
    area.setPicture(*gif);
    EXPECT_EQ(area.pixel(0, 0), PictureBackground);
    EXPECT_EQ(area.pixel(1, 0), makeColour(255, 0, 0));

    // Half-transparent pixels (PNG) are blended with it.
    QImage half(1, 1, QImage::Format_ARGB32);
    half.fill(qRgba(0, 0, 0, 128));
    area.setPicture(half);
    EXPECT_EQ(area.pixel(0, 0), makeColour(120, 120, 120));
}

TEST_F(PictureLoaderTest, ContentDecidesTheFormatAndNonImagesFail)
{
    ASSERT_TRUE(test::solidImage(8, 8, ColourBlack).save(at("really-a-bmp.jpg"), "BMP"));
    EXPECT_TRUE(load("really-a-bmp.jpg").has_value());
    test::writeAll(at("text.gif"), "this is a text file, not a picture\n");
    EXPECT_FALSE(load("text.gif").has_value());
    test::writeAll(at("empty.bmp"), "");
    EXPECT_FALSE(load("empty.bmp").has_value());
    EXPECT_FALSE(load("missing.bmp").has_value());
}

TEST_F(PictureLoaderTest, HugeHeadersNeitherCrashNorExhaustMemory)
{
    // A BMP header that claims 30000 x 30000 pixels at 24 bits, with no data.
    QByteArray bmp = QByteArray::fromHex("424d") + QByteArray(52, '\0');
    auto put32 = [&](int offset, quint32 v) {
        for (int i = 0; i < 4; ++i) {
            bmp[offset + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
        }
    };
    put32(2, 54);
    put32(10, 54);
    put32(14, 40);
    put32(18, 30000);
    put32(22, 30000);
    bmp[26] = 1;
    bmp[28] = 24;
    test::writeAll(at("huge.bmp"), bmp);
    EXPECT_FALSE(load("huge.bmp").has_value());

    QByteArray gif = twoFrameGif;
    gif[6] = static_cast<char>(0x30);  // logical screen 30000 x 30000
    gif[7] = static_cast<char>(0x75);
    gif[8] = static_cast<char>(0x30);
    gif[9] = static_cast<char>(0x75);
    test::writeAll(at("huge.gif"), gif);
    const std::optional<QImage> hugeGif = load("huge.gif");
    EXPECT_TRUE(!hugeGif || hugeGif->width() * static_cast<qint64>(hugeGif->height()) <= 30000LL * 30000 / 16);

    // A JPEG whose frame header claims 30000 x 30000: only the part the
    // picture area can show is decoded.
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(test::solidImage(16, 16, ColourWhite).save(&buffer, "JPG"));
    QByteArray jpeg = buffer.data();
    const qsizetype sof = jpeg.indexOf(QByteArray::fromHex("ffc0"));
    ASSERT_GT(sof, 0);
    jpeg[sof + 5] = static_cast<char>(0x75);
    jpeg[sof + 6] = static_cast<char>(0x30);
    jpeg[sof + 7] = static_cast<char>(0x75);
    jpeg[sof + 8] = static_cast<char>(0x30);
    test::writeAll(at("huge.jpg"), jpeg);
    const std::optional<QImage> hugeJpeg = load("huge.jpg");
    if (hugeJpeg) {
        EXPECT_LE(hugeJpeg->width(), 96);
        EXPECT_LE(hugeJpeg->height(), 65);
    }
}

TEST_F(PictureLoaderTest, TruncatedFilesDoNotCrash)
{
    const QImage frame = test::solidImage(96, 64, ColourBlack);
    ASSERT_TRUE(frame.save(at("full.bmp"), "BMP"));
    ASSERT_TRUE(frame.save(at("full.jpg"), "JPG"));
    for (const char* name : {"full.bmp", "full.jpg"}) {
        const QByteArray whole = test::readAll(at(name));
        for (const qsizetype keep : {qsizetype{10}, whole.size() / 2, whole.size() - 1}) {
            test::writeAll(at("cut"), whole.left(keep));
            const std::optional<QImage> image = loader.load(at("cut"));
            if (image) {
                EXPECT_LE(image->width(), 96);
            }
        }
    }
}

}  // namespace
}  // namespace zoetra
