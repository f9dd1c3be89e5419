// Every stream format behind the one dispatch: its encoder and its reference
// decoder agree on random screen sequences, and the player's parts and the
// generated include name what the build needs.
#include "convert/Codec.h"
#include "convert/PlayerTarget.h"
#include "convert/WrittenEncoder.h"
#include "support/ScreenSequences.h"

#include <gtest/gtest.h>

#include <random>

namespace zoetra::test {
namespace {

TEST(CodecTest, EveryFormatDecodesTheScreensItWasGiven)
{
    for (const Codec& codec : allCodecs()) {
        SCOPED_TRACE(std::string(codec.key));
        EXPECT_EQ(&codecFor(codec.format), &codec);
        EXPECT_EQ(codecByKey(codec.key), &codec);
        for (unsigned seed = 1; seed <= 12; ++seed) {
            std::mt19937 random(seed);
            const std::vector<Screen> screens = randomScreenSequence(random, 1 + static_cast<int>(seed % 7) * 3);
            const std::unique_ptr<StreamEncoder> encoder = codec.makeEncoder();
            // A second stream from the same encoder starts afresh.
            for (int round = 0; round < 2; ++round) {
                encoder->reset();
                int lastSize = 0;
                for (const Screen& screen : screens) {
                    encoder->addFrame(screen);
                    EXPECT_GE(encoder->size(), lastSize);
                    EXPECT_LE(encoder->firstChangedByte(), encoder->size());
                    EXPECT_GT(encoder->lastFrameTStates(), 0);
                    lastSize = encoder->size();
                }
                encoder->finish();
                EXPECT_EQ(encoder->size(), lastSize);
                EXPECT_GE(static_cast<int>(encoder->bytes().size()), lastSize);
                std::string error;
                const auto video = codec.decode(encoder->bytes(), &error);
                ASSERT_TRUE(video.has_value()) << error;
                EXPECT_EQ(video->frames, screens) << "seed " << seed;
                EXPECT_EQ(video->length, encoder->bytes().size());
                EXPECT_EQ(video->tStates.size(), screens.size());
            }
        }
    }
}

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

TEST(CodecTest, TheGeneratedIncludeCarriesTheTargetsFacts)
{
    for (const Codec& codec : allCodecs()) {
        VideoTarget target;
        target.format = codec.format;
        const QByteArray text = TargetIncludeText(target);
        const int ticks = ticksPerFrame(target);
        EXPECT_EQ(ticks, 8);  // the written pace on the TI-83 Plus
        EXPECT_TRUE(text.contains("FRAME_HALTS     .equ " + QByteArray::number(ticks - 1) + "\r\n")) << text.toStdString();
        EXPECT_TRUE(text.contains("CPU_HZ          .equ 6000000\r\n"));
        EXPECT_TRUE(text.contains("TIMER_HZ        .equ 118\r\n"));
        EXPECT_TRUE(text.contains("#include \"" + QByteArray(codec.playerPart.data()) + "\"\r\n"));
        EXPECT_TRUE(text.contains("#include \"SourceRam.z80\"\r\n"));
        EXPECT_TRUE(text.endsWith("\r\n"));
        const QStringList parts = playerParts(target);
        EXPECT_EQ(parts.first(), QStringLiteral("VID.z80"));
        EXPECT_TRUE(parts.contains(QString::fromLatin1(codec.playerPart.data())));
        for (const QString& part : parts) {
            EXPECT_TRUE(allPlayerParts().contains(part));
        }
    }
    EXPECT_NEAR(playedFramesPerSecond(VideoTarget{}), 14.75, 1e-9);
}

}  // namespace
}  // namespace zoetra::test
