// The compact stream: the encoder against the reference decoder, on random
// screen sequences and on the frames that stress the format's limits.
#include "codec/compact/CompactCost.h"
#include "codec/compact/CompactDecoder.h"
#include "codec/compact/CompactEncoder.h"
#include "support/ScreenSequences.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace zoetra::compact {
namespace {

struct Round {
    std::vector<std::uint8_t> stream;
    std::vector<int> sizes;    // size() after each frame
    std::vector<int> tStates;  // the encoder's count for each frame
};

Round encodeAll(const std::vector<Screen>& frames)
{
    CompactEncoder encoder;
    Round round;
    std::vector<std::uint8_t> before;
    for (const Screen& frame : frames) {
        before = encoder.bytes();
        encoder.addFrame(frame);
        // Only bytes from firstChangedByte on are new or different.
        const auto& now = encoder.bytes();
        EXPECT_GE(now.size(), before.size());
        EXPECT_LE(encoder.firstChangedByte(), static_cast<int>(before.size()));
        EXPECT_TRUE(std::equal(now.begin(), now.begin() + encoder.firstChangedByte(), before.begin()));
        round.sizes.push_back(encoder.size());
        round.tStates.push_back(encoder.lastFrameTStates());
    }
    const int sizeBeforeEnd = encoder.size();
    encoder.finish();
    // The video end is five bits: at most one byte more.
    EXPECT_LE(encoder.size() - sizeBeforeEnd, 1);
    round.stream = encoder.bytes();
    return round;
}

void expectRoundTrip(const std::vector<Screen>& frames)
{
    const Round round = encodeAll(frames);
    std::string error;
    const auto decoded = decodeCompactVideo(round.stream, &error);
    ASSERT_TRUE(decoded.has_value()) << error;
    ASSERT_EQ(decoded->frames.size(), frames.size());
    EXPECT_EQ(decoded->length, round.stream.size());
    for (std::size_t f = 0; f < frames.size(); ++f) {
        EXPECT_EQ(decoded->frames[f], frames[f]) << "frame " << f;
        EXPECT_EQ(decoded->tStates[f], round.tStates[f]) << "frame " << f;
        EXPECT_LE(decoded->tStates[f], FrameBudgetTStates) << "frame " << f;
        EXPECT_LE(decoded->segments[f], MaxSegments) << "frame " << f;
        EXPECT_LE(decoded->longestSegment[f], SegmentBudgetTStates) << "frame " << f;
    }
}

TEST(CompactVideo, RandomSequencesDecodeToTheirScreens)
{
    std::mt19937 random(1);
    for (int sequence = 0; sequence < 150; ++sequence) {
        SCOPED_TRACE(sequence);
        expectRoundTrip(test::randomScreenSequence(random, 12));
    }
}

TEST(CompactVideo, UnchangedFramesTakeThreeBitsAndFullChangesStayNearRaw)
{
    Screen key{};
    for (std::size_t i = 0; i < key.size(); ++i) {
        key[i] = static_cast<std::uint8_t>(i * 131 + (i >> 3) * 17);
    }
    std::vector<Screen> frames(10, key);
    const Round same = encodeAll(frames);
    // "01" and the complete bit: ten frames in four bytes.
    EXPECT_LE(same.sizes.back() - same.sizes.front(), 4);
    expectRoundTrip(frames);

    std::mt19937 random(5);
    std::vector<Screen> noise(3);
    for (auto& screen : noise) {
        for (auto& b : screen) {
            b = static_cast<std::uint8_t>(random());
        }
    }
    const Round changed = encodeAll(noise);
    // A literal run of 768 bytes and a few dozen bits.
    EXPECT_LE(changed.sizes[2] - changed.sizes[1], 768 + 6);
    expectRoundTrip(noise);
}

TEST(CompactVideo, OneFrameVideosOfEveryKindOfKeyFrame)
{
    Screen white{};
    Screen black;
    black.fill(0xFF);
    Screen edges{};
    edges[0] = 0x80;
    edges[767] = 0x01;
    for (const Screen& key : {white, black, edges}) {
        expectRoundTrip({key});
    }
    // Mostly one colour: a literal and a long copy of distance 1.
    const Round blank = encodeAll({white});
    EXPECT_LE(blank.stream.size(), 6u);
}

// Every changed byte is a copy of one of the two bytes before it, by turns,
// between unchanged bytes: fewest bits as a keep and a short copy for every
// two bytes, which would take the decoder well over the frame budget.
TEST(CompactVideo, FramesThatWouldDecodeTooSlowlyAreParsedForTime)
{
    std::mt19937 random(11);
    Screen key;
    for (auto& b : key) {
        b = static_cast<std::uint8_t>(random());
    }
    Screen next = key;
    for (std::size_t i = 3; i < next.size(); i += 2) {
        const std::size_t source = (i / 2) % 2 == 0 ? i - 1 : i - 2;
        next[i] = next[source];
        if (next[i] == key[i]) {
            next[i] = static_cast<std::uint8_t>(next[i] ^ 0x55);
            next[i - 1] = next[i];
        }
    }
    CompactEncoder encoder;
    encoder.addFrame(key);
    encoder.addFrame(next);
    EXPECT_LE(encoder.lastFrameTStates(), FrameBudgetTStates);
    EXPECT_GT(encoder.lastFrameSegments(), 1);
    expectRoundTrip({key, next});
}

TEST(CompactVideo, TheReferenceDecoderRefusesWhatThePlayerCouldNotPlay)
{
    std::mt19937 random(3);
    const std::vector<Screen> frames = test::randomScreenSequence(random, 4);
    const Round round = encodeAll(frames);
    for (std::size_t cut = 0; cut < round.stream.size(); ++cut) {
        const std::vector<std::uint8_t> part(round.stream.begin(), round.stream.begin() + static_cast<long>(cut));
        std::string error;
        EXPECT_FALSE(decodeCompactVideo(part, &error).has_value()) << "cut at " << cut;
        EXPECT_NE(error.find("ends early"), std::string::npos) << error;
    }

    std::string error;
    // "1" keep 1 in the key frame: it would show what the screen held.
    const std::vector<std::uint8_t> keepInKey = {0b11000000};
    EXPECT_FALSE(decodeCompactVideo(keepInKey, &error).has_value());
    EXPECT_NE(error.find("key frame"), std::string::npos) << error;
    // "001" literal 1024: past the end of the screen.
    const std::vector<std::uint8_t> tooLong = {0b00100000, 0b00000000, 0b00000001};
    EXPECT_FALSE(decodeCompactVideo(tooLong, &error).has_value());
    EXPECT_NE(error.find("past the end"), std::string::npos) << error;
    // "00000" video end before any frame.
    const std::vector<std::uint8_t> empty = {0b00000000};
    EXPECT_FALSE(decodeCompactVideo(empty, &error).has_value());
}

// A frame coded on its own turns the screen before into its screen, at the
// T-states the encoder counted for it (each pause at the caller's cost);
// cut short, with a byte more, or as a video end it is refused and the
// screen left as it was.
TEST(CompactVideo, AFrameCodedAloneDecodesAloneAtItsCost)
{
    std::mt19937 random(9);
    CompactEncoder encoder;
    int paused = 0;
    for (int sequence = 0; sequence < 40; ++sequence) {
        SCOPED_TRACE(sequence);
        const std::vector<Screen> frames = test::randomScreenSequence(random, 3);
        for (std::size_t f = 1; f < frames.size(); ++f) {
            const std::vector<std::uint8_t> bytes = encoder.codeAlone(frames[f - 1], frames[f]);
            const int counted = encoder.lastFrameTStates();
            const int pauses = encoder.lastFrameSegments() - 1;
            paused += pauses;
            Screen screen = frames[f - 1];
            std::string error;
            const std::optional<int> tStates = decodeAloneFrame(bytes, screen, cost::Pause + 1000, &error);
            ASSERT_TRUE(tStates.has_value()) << error;
            EXPECT_EQ(screen, frames[f]);
            EXPECT_EQ(*tStates, counted + 1000 * pauses);

            Screen untouched = frames[f - 1];
            const std::vector<std::uint8_t> cut(bytes.begin(), bytes.end() - 1);
            EXPECT_FALSE(decodeAloneFrame(cut, untouched, cost::Pause).has_value());
            std::vector<std::uint8_t> longer = bytes;
            longer.push_back(0);
            EXPECT_FALSE(decodeAloneFrame(longer, untouched, cost::Pause, &error).has_value());
            EXPECT_NE(error.find("after the frame"), std::string::npos) << error;
            EXPECT_EQ(untouched, frames[f - 1]);
        }
    }
    EXPECT_GT(paused, 0);
    Screen screen{};
    const std::vector<std::uint8_t> videoEnd = {0b00000000};
    EXPECT_FALSE(decodeAloneFrame(videoEnd, screen, cost::Pause).has_value());
}

}  // namespace
}  // namespace zoetra::compact
