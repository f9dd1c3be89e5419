#include "codec/written/WrittenEncoder.h"
#include "convert/VideoEncoder.h"
#include "imaging/Conversion.h"
#include "support/ConvertFixture.h"
#include "support/TestSupport.h"

#include <cmath>

namespace zoetra::test {
namespace {

class VideoEncoderTest : public ConvertFixture {
protected:
    written::WrittenEncoder encoder;
    void key(const Frame& frame)
    {
        vars.ByteCount = 0;
        std::copy(frame.begin(), frame.end(), vars.FrameBytes.begin());
        StartVideoStream(vars, encoder);
    }
    FrameEncoding next(const Frame& frame, int f, int limit = RamVideoLimit)
    {
        std::copy(frame.begin(), frame.end(), vars.FrameBytes.begin());
        return EncodeDeltaFrame(vars, platform, f, encoder, limit);
    }
    std::vector<int> stream(int from, int to) const
    {
        return {vars.VideoBytes.begin() + from, vars.VideoBytes.begin() + to};
    }
    QList<QByteArray> lines()
    {
        QByteArray text = VideoDataText(vars, platform);
        EXPECT_TRUE(text.endsWith("\r\n"));
        text.chop(2);
        return text.split('\n');
    }
};

TEST_F(VideoEncoderTest, OneFrameVideo)
{
    Frame frame;
    for (std::size_t i = 0; i < frame.size(); ++i) {
        frame[i] = static_cast<std::uint8_t>(i % 256);
    }
    key(frame);
    EXPECT_EQ(vars.ByteCount, 768);
    EndVideoStream(vars, encoder);
    EXPECT_EQ(vars.ByteCount, 768);
    EXPECT_EQ(vars.VideoBytes[768], 254);
    EXPECT_EQ(window.sizeCounter, QStringLiteral("0b"));
    EXPECT_EQ(window.progress(ProgressBar::CompressionVal).value(), 0.0);

    const QList<QByteArray> l = lines();
    ASSERT_EQ(l.size(), 1 + 96 + 1 + 1);
    EXPECT_EQ(l[0], "\r");
    EXPECT_EQ(l[1], ".db  0, 1, 2, 3, 4, 5, 6, 7\r");
    EXPECT_EQ(l[96], ".db  248, 249, 250, 251, 252, 253, 254, 255\r");
    EXPECT_EQ(l[97], ".db  254, 0, 0, 0, 0, 0, 0, 0\r");
    EXPECT_EQ(l[98], ".db  254");
}

TEST_F(VideoEncoderTest, KeyFrameMarkersArePlainData)
{
    Frame frame = filledFrame(255);
    frame[5] = 254;
    key(frame);
    EXPECT_EQ(stream(0, 8), (std::vector<int>{255, 255, 255, 255, 255, 254, 255, 255}));
    EXPECT_EQ(vars.PrevFrameBytes[5], 254);
}

TEST_F(VideoEncoderTest, IdenticalFrameAddsOnlyTheFrameEnd)
{
    key(filledFrame(7));
    const FrameEncoding e = next(filledFrame(7), 1);
    EXPECT_EQ(vars.ByteCount, 769);
    EXPECT_EQ(vars.VideoBytes[768], 255);
    EXPECT_NEAR(e.ratio, 100.0 * 769 / 1536, 1e-12);
    EXPECT_FALSE(e.overLimit);
    EXPECT_EQ(window.sizeCounter, QStringLiteral("769b"));
    EXPECT_EQ(window.progress(ProgressBar::CompressionVal).value(), static_cast<double>(static_cast<float>(e.ratio)));
}

TEST_F(VideoEncoderTest, ChangeRecordsCarryTheOffsetHighByteFirst)
{
    key(filledFrame(0));
    Frame second = filledFrame(0);
    for (int i : {0, 255, 256, 511, 767}) {
        second[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i % 200 + 1);
    }
    next(second, 1);
    EXPECT_EQ(stream(768, vars.ByteCount),
              (std::vector<int>{0, 0, 1, 0, 255, 56, 1, 0, 57, 1, 255, 112, 2, 255, 168, 255}));
    for (int i : {0, 255, 256, 511, 767}) {
        EXPECT_EQ(vars.PrevFrameBytes[static_cast<std::size_t>(i)], i % 200 + 1);
    }
}

TEST_F(VideoEncoderTest, EveryByteChangedOverflowsTheCompressionBar)
{
    key(filledFrame(0));
    window.setProgressValue(ProgressBar::CompressionVal, 12.5);
    const FrameEncoding e = next(filledFrame(255), 1);
    EXPECT_EQ(vars.ByteCount, 768 + 2305);
    EXPECT_NEAR(e.ratio, 100.0 * 3073 / 1536, 1e-12);
    EXPECT_EQ(window.progress(ProgressBar::CompressionVal).value(), 12.5);  // 200% refused
    EXPECT_EQ(window.sizeCounter, QStringLiteral("3073b"));
}

TEST_F(VideoEncoderTest, MarksWrittenBytesInThePreviewOnly)
{
    key(filledFrame(0));
    ImagePictureArea& preview = window.quickPrevArea;
    // Byte 13 (row 1, columns 8..15): half black, half white.
    for (int x = 0; x < 16; ++x) {
        preview.setPixel(x, 1, x < 12 ? ColourBlack : ColourWhite);
    }
    Frame second = filledFrame(0);
    second[13] = 0xF0;
    const long long before = window.quickPrevArea.refreshCount();
    next(second, 1);
    EXPECT_EQ(preview.pixel(8, 1), 0xFF0001);   // black - 65535, low 24 bits
    EXPECT_EQ(preview.pixel(15, 1), 0xFF0000);  // white turns blue
    EXPECT_EQ(preview.pixel(7, 1), ColourBlack);  // byte 12 was not written
    EXPECT_EQ(preview.pixel(0, 0), PictureBackground);
    // One refresh for every examined byte, changed or not.
    EXPECT_EQ(window.quickPrevArea.refreshCount() - before, 768);
    EXPECT_GE(window.yieldCount, 768);
}

TEST_F(VideoEncoderTest, QualityZeroAndOneExamineEveryByte)
{
    for (int slider : {0, -1}) {
        key(filledFrame(0));
        window.detailSlider = slider;
        const long long before = window.quickPrevArea.refreshCount();
        next(filledFrame(1), 1);
        EXPECT_EQ(window.quickPrevArea.refreshCount() - before, 768) << slider;
        EXPECT_EQ(vars.ByteCount, 768 + 2305) << slider;
    }
}

TEST_F(VideoEncoderTest, LowQualityDrawsForEveryByteAndExaminesOneInQ)
{
    key(filledFrame(0));
    next(filledFrame(1), 1);  // 768 draws at quality 0

    // The same engine, advanced by the draws of the first frame, tells which
    // bytes the second frame examines at quality 10.
    UniformRandom shadow;
    for (int i = 0; i < 768; ++i) {
        shadow.next();
    }
    std::vector<int> expected;
    for (int i = 0; i < 768; ++i) {
        if (std::floor(shadow.next() * 10.0f) == 0.0f) {
            expected.push_back(i);
        }
    }
    window.detailSlider = -10;
    next(filledFrame(2), 2);
    std::vector<int> written;
    for (int p = 768 + 2305; p + 2 < vars.ByteCount; p += 3) {
        written.push_back(vars.VideoBytes[static_cast<std::size_t>(p)] * 256 + vars.VideoBytes[static_cast<std::size_t>(p + 1)]);
    }
    EXPECT_EQ(written, expected);
    EXPECT_GT(expected.size(), 768u / 10 / 2);
    EXPECT_LT(expected.size(), 768u / 10 * 2);

    // Bytes that were passed over keep their old value and stay candidates.
    int stale = 0;
    for (int i = 0; i < 768; ++i) {
        stale += vars.PrevFrameBytes[static_cast<std::size_t>(i)] == 1;
    }
    EXPECT_EQ(stale, 768 - static_cast<int>(expected.size()));
}

// A stream of exactly the limit is accepted, one byte more is not: the key
// frame and one record with its frame end are 772 bytes.
TEST_F(VideoEncoderTest, LimitAcceptsExactlyTheLimit)
{
    EXPECT_EQ(RamVideoLimit, 24000);
    Frame second = filledFrame(0);
    second[100] = 1;
    key(filledFrame(0));
    EXPECT_FALSE(next(second, 1, 772).overLimit);
    EXPECT_EQ(vars.ByteCount, 772);

    key(filledFrame(0));
    EXPECT_TRUE(next(second, 1, 771).overLimit);
    EXPECT_EQ(vars.ByteCount, 772);
}

TEST_F(VideoEncoderTest, VideoDataLineReachesPastTheEndMarkerWithZeros)
{
    // Positions beyond the stream hold what an earlier, longer run left;
    // none of it reaches the file, so the same stream gives the same file.
    std::fill(vars.VideoBytes.begin() + 768, vars.VideoBytes.begin() + 800, std::uint8_t{9});
    key(filledFrame(3));
    next(filledFrame(3), 1);
    EndVideoStream(vars, encoder);  // M = 769
    const QList<QByteArray> l = lines();
    ASSERT_EQ(l.size(), 1 + 97 + 2);
    EXPECT_EQ(l[97], ".db  255, 254, 0, 0, 0, 0, 0, 0\r");
    EXPECT_EQ(l[98], ".db  255\r");
    EXPECT_EQ(l[99], ".db  254");
    // The bar's maximum is M; its value the last eight-value line's start.
    EXPECT_EQ(window.progress(ProgressBar::ByteWriter).maximum(), 769.0);
    EXPECT_EQ(window.progress(ProgressBar::ByteWriter).value(), 768.0);
}

TEST_F(VideoEncoderTest, EndMarkerOnALineBoundaryGivesOneOneValueLine)
{
    key(filledFrame(0));
    for (int f = 1; f <= 7; ++f) {
        next(filledFrame(0), f);  // 768 + 7 = 775
    }
    EndVideoStream(vars, encoder);
    EXPECT_EQ(vars.ByteCount, 775);
    const QList<QByteArray> l = lines();
    ASSERT_EQ(l.size(), 1 + 97 + 8);  // one-value lines for 768..775
    EXPECT_EQ(l[97], ".db  255, 255, 255, 255, 255, 255, 255, 254\r");
    EXPECT_EQ(l.last(), ".db  254");
}

TEST_F(VideoEncoderTest, WriteVideoDataReplacesTheFile)
{
    writeAll(app(QStringLiteral("Video.dat")), QByteArray(100000, 'x'));
    key(filledFrame(0));
    EndVideoStream(vars, encoder);
    ASSERT_FALSE(WriteVideoData(vars, platform));
    const QByteArray text = readAll(app(QStringLiteral("Video.dat")));
    EXPECT_TRUE(text.startsWith("\r\n.db  0, 0,"));
    EXPECT_TRUE(text.endsWith("\r\n.db  254\r\n"));
    EXPECT_FALSE(text.contains('x'));
    files.failWrites = true;
    const auto failure = WriteVideoData(vars, platform);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->text(), nativePath(app(QStringLiteral("Video.dat"))) + QStringLiteral(": Disk full"));
}

}  // namespace
}  // namespace zoetra::test
