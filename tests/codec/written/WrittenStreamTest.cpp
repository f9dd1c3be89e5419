// The written stream: its records and markers, and the reference decoder's
// refusals of what the player cannot show.
#include "codec/written/WrittenDecoder.h"
#include "codec/written/WrittenEncoder.h"

#include <gtest/gtest.h>

namespace zoetra::test {
namespace {

TEST(CodecTest, WrittenStreamIsRecordsAndMarkers)
{
    written::WrittenEncoder encoder;
    Screen first{};
    Screen second = first;
    second[0] = 1;
    second[767] = 0xAA;
    encoder.addFrame(first);
    encoder.addFrame(second);
    encoder.addFrame(second);
    encoder.finish();
    std::vector<std::uint8_t> expected(first.begin(), first.end());
    expected.insert(expected.end(), {0, 0, 1, 2, 255, 0xAA, 255, 255, 254});
    EXPECT_EQ(encoder.bytes(), expected);
    EXPECT_EQ(encoder.size(), 768 + 8);
    EXPECT_EQ(encoder.firstChangedByte(), 768 + 8);
}

TEST(CodecTest, WrittenDecoderRefusesWhatThePlayerCannotShow)
{
    std::vector<std::uint8_t> stream(768, 0);
    std::string error;
    EXPECT_FALSE(written::decodeWrittenVideo(std::span(stream.data(), 700), &error));
    EXPECT_NE(error.find("key frame"), std::string::npos);
    EXPECT_FALSE(written::decodeWrittenVideo(stream, &error));  // no video end
    stream.insert(stream.end(), {3, 0, 7, 255, 254});          // offset 768
    EXPECT_FALSE(written::decodeWrittenVideo(stream, &error));
    EXPECT_NE(error.find("outside the screen"), std::string::npos);
    stream[768] = 2;
    stream[769] = 0xFF;
    const auto video = written::decodeWrittenVideo(stream, &error);
    ASSERT_TRUE(video.has_value()) << error;
    ASSERT_EQ(video->frames.size(), 2u);
    EXPECT_EQ(video->frames[1][767], 7);
    // Records before the video end are applied but never shown.
    stream.insert(stream.end() - 1, {0, 5, 9});
    const auto unshown = written::decodeWrittenVideo(stream, &error);
    ASSERT_TRUE(unshown.has_value()) << error;
    EXPECT_EQ(unshown->frames.size(), 2u);
}

}  // namespace
}  // namespace zoetra::test
