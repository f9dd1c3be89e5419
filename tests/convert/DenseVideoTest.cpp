// The dense stream: the encoder against the reference decoder on random
// screen sequences, the raw fallback against compact on noise, broken
// streams, and the player's schedule on work whose outcome is known.
#include "convert/CompactEncoder.h"
#include "convert/DenseDecoder.h"
#include "convert/DenseEncoder.h"
#include "support/ScreenSequences.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <random>
#include <string>

namespace zoetra::dense {
namespace {

struct Round {
    std::vector<std::uint8_t> stream;
    std::vector<int> tStates;  // the encoder's count for each frame
    std::vector<Work> work;
    int raw = 0;
};

Round encodeAll(const std::vector<Screen>& frames, const DenseTiming& timing, int halvesAbove = -1,
                int ringFrames = DefaultRingFrames)
{
    DenseEncoder encoder(timing, halvesAbove, ringFrames);
    Round round;
    for (const Screen& frame : frames) {
        const std::vector<std::uint8_t> before = encoder.bytes();
        encoder.addFrame(frame);
        // Only bytes from firstChangedByte on are new or different.
        const auto& now = encoder.bytes();
        EXPECT_GE(now.size(), before.size());
        EXPECT_LE(encoder.firstChangedByte(), static_cast<int>(before.size()));
        EXPECT_TRUE(std::equal(now.begin(), now.begin() + encoder.firstChangedByte(), before.begin()));
        round.tStates.push_back(encoder.lastFrameTStates());
    }
    const int sizeBeforeEnd = encoder.size();
    encoder.finish();
    // size() counts up to the video end and the flush: the pause and end
    // decisions come on top, a few bits while their contexts are new.
    EXPECT_EQ(encoder.size(), sizeBeforeEnd);
    EXPECT_LE(static_cast<int>(encoder.bytes().size()), sizeBeforeEnd + 3);
    round.stream = encoder.bytes();
    round.work = encoder.work();
    round.raw = encoder.rawFrames();
    return round;
}

// Every piece, the pause before it and room for a page crossing included,
// fits the tick budget.
void expectPiecesFit(const std::vector<Work>& work, const DenseTiming& timing)
{
    int piece = 0;
    for (const Work& w : work) {
        if (w.startsPiece) {
            piece = 0;
        }
        piece += w.tStates;
        ASSERT_LE(piece + cost::PageCrossing, timing.pieceBudget()) << "frame " << w.frame;
    }
}

void expectRoundTrip(const std::vector<Screen>& frames, const DenseTiming& timing, int halvesAbove = -1)
{
    const Round round = encodeAll(frames, timing, halvesAbove);
    std::string error;
    const auto decoded = decodeDenseVideo(round.stream, &error);
    ASSERT_TRUE(decoded.has_value()) << error;
    ASSERT_EQ(decoded->frames.size(), frames.size());
    EXPECT_EQ(decoded->length, round.stream.size());
    for (std::size_t f = 0; f < frames.size(); ++f) {
        EXPECT_EQ(decoded->frames[f], frames[f]) << "frame " << f;
        EXPECT_EQ(decoded->tStates[f], round.tStates[f]) << "frame " << f;
    }
    // The decoder finds the pauses where the encoder put them.
    ASSERT_EQ(decoded->work.size(), round.work.size());
    for (std::size_t i = 0; i < round.work.size(); ++i) {
        EXPECT_EQ(decoded->work[i].frame, round.work[i].frame) << i;
        EXPECT_EQ(decoded->work[i].tStates, round.work[i].tStates) << i;
        EXPECT_EQ(decoded->work[i].startsPiece, round.work[i].startsPiece) << i;
    }
    expectPiecesFit(decoded->work, timing);

    // The codec seam's view: every frame in at least one piece, none longer
    // than a tick allows.
    const auto seam = decodeDenseStream(round.stream, &error);
    ASSERT_TRUE(seam.has_value()) << error;
    EXPECT_EQ(seam->frames, decoded->frames);
    for (std::size_t f = 0; f < frames.size(); ++f) {
        EXPECT_GE(seam->segments[f], 1) << "frame " << f;
        EXPECT_LE(seam->longestSegment[f] + cost::PageCrossing, timing.pieceBudget()) << "frame " << f;
    }
}

TEST(DenseVideo, RandomSequencesDecodeToTheirScreensAtEitherPace)
{
    std::mt19937 random(7);
    for (int sequence = 0; sequence < 50; ++sequence) {
        SCOPED_TRACE(sequence);
        const auto frames = test::randomScreenSequence(random, 12);
        expectRoundTrip(frames, slowTiming());
        // Whole blocks only, halves only, and the 15 MHz pace's longer pieces.
        expectRoundTrip(frames, slowTiming(), std::numeric_limits<int>::max());
        expectRoundTrip(frames, slowTiming(), 0);
        expectRoundTrip(frames, fastTiming());
    }
}

TEST(DenseVideo, TheEncoderKeepsTheRingFromRunningDry)
{
    // Random sequences change much of the screen in most frames: far more
    // decoding than a frame's time, unless frames go raw.
    std::mt19937 random(13);
    for (const DenseTiming& timing : {slowTiming(), fastTiming()}) {
        for (int sequence = 0; sequence < 10; ++sequence) {
            const auto frames = test::randomScreenSequence(random, 60);
            const Round paced = encodeAll(frames, timing);
            const PacingReport report =
                simulatePacing(paced.work, static_cast<int>(frames.size()), timing, DefaultRingFrames);
            EXPECT_TRUE(report.keepsUp) << sequence << ": " << report.describe();
            // Without keeping pace the same frames outrun the ring.
            const Round free = encodeAll(frames, timing, -1, 0);
            EXPECT_LE(free.stream.size(), paced.stream.size());
        }
    }
}

TEST(DenseVideo, LongSequencesKeepTheirCoderAndPiecesAcrossFrames)
{
    std::mt19937 random(11);
    expectRoundTrip(test::randomScreenSequence(random, 300), slowTiming());
}

std::vector<Screen> noise(std::mt19937& random, int frames)
{
    std::vector<Screen> all(static_cast<std::size_t>(frames));
    for (Screen& screen : all) {
        for (auto& byte : screen) {
            byte = static_cast<std::uint8_t>(random());
        }
    }
    return all;
}

int compactSize(const std::vector<Screen>& frames)
{
    compact::CompactEncoder encoder;
    for (const Screen& frame : frames) {
        encoder.addFrame(frame);
    }
    encoder.finish();
    return static_cast<int>(encoder.bytes().size());
}

TEST(DenseVideo, NoiseGoesRawAndNeverCostsMoreThanCompact)
{
    std::mt19937 random(3);
    const auto frames = noise(random, 20);
    const Round round = encodeAll(frames, slowTiming());
    EXPECT_EQ(round.raw, 20);
    EXPECT_LE(static_cast<int>(round.stream.size()), compactSize(frames));
    expectRoundTrip(frames, slowTiming());

    // Noise between quiet frames: coded frames on both sides of raw ones.
    std::vector<Screen> mixed;
    const Screen white{};
    for (const Screen& frame : noise(random, 6)) {
        mixed.push_back(white);
        mixed.push_back(frame);
        mixed.push_back(frame);
    }
    // The noise raw for its size; keeping pace may send more frames raw.
    EXPECT_EQ(encodeAll(mixed, slowTiming(), -1, 0).raw, 6);
    EXPECT_GE(encodeAll(mixed, slowTiming()).raw, 6);
    expectRoundTrip(mixed, slowTiming());
}

// The decoder keeps a pixel's context in one register and moves along a row
// by shifting it three places, bringing in the pixel just decoded and the
// next pixels of the row above and of the row before: the context must be
// that shift everywhere inside a byte, on screens of every kind.
TEST(DenseVideo, EachPixelsContextIsTheOneBeforeShiftedByThree)
{
    std::mt19937 random(23);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 20; ++round) {
        Screen now{};
        Screen before{};
        for (std::size_t i = 0; i < now.size(); ++i) {
            now[i] = static_cast<std::uint8_t>(byte(random));
            before[i] = static_cast<std::uint8_t>(round % 2 == 0 ? byte(random) : now[i]);
        }
        for (int y = 0; y < Rows; ++y) {
            for (int x = 0; x < BytesPerRow * 8; ++x) {
                if (x % 8 == 7) {
                    continue;  // the next pixel starts a new byte: its context is set up afresh
                }
                const int shifted = (pixelContext(now, before, x, y) << 3 & 0xF8) | pixelAt(now, x, y) << 2
                    | pixelAt(now, x + 2, y - 1) << 1 | pixelAt(before, x + 2, y);
                ASSERT_EQ(pixelContext(now, before, x + 1, y), shifted) << "x " << x << ", y " << y;
            }
        }
    }
}

// A row whose byte above and whose byte before are one and the same colour
// is decided whole: one pixel appearing in a white block sends the pixels of
// its own row only; a row that is not uniform is sent pixel by pixel.
TEST(DenseVideo, UniformRowsAreDecidedWhole)
{
    Screen dot{};
    dot[static_cast<std::size_t>(7 * BytesPerRow + 3)] = 0x10;  // the last row of block 3
    // Then row 2 changes too: it was uniform and is sent after its decision,
    // row 3 below it (its byte above now mixed) and row 7 (its byte before
    // no longer white) are not uniform.
    Screen striped = dot;
    striped[static_cast<std::size_t>(2 * BytesPerRow + 3)] = 0xF0;
    for (const auto& [frames, pixelsOfLast] : std::vector<std::pair<std::vector<Screen>, int>>{
             {{Screen{}, dot}, 8}, {{Screen{}, dot, striped}, 3 * 8}}) {
        const Round round = encodeAll(frames, slowTiming());
        std::string error;
        const auto video = decodeDenseVideo(round.stream, &error);
        ASSERT_TRUE(video.has_value()) << error;
        ASSERT_EQ(video->frames, frames);
        EXPECT_EQ(video->pixels.back(), pixelsOfLast);
    }
}

TEST(DenseVideo, UnchangedFramesCostAlmostNothing)
{
    std::mt19937 random(5);
    const auto key = noise(random, 1).front();
    const std::vector<Screen> frames(200, key);
    const Round round = encodeAll(frames, slowTiming());
    // The key frame raw; 199 frames of 96 unchanged blocks each after it.
    EXPECT_LE(round.stream.size(), 768u + 4 + 40);
    expectRoundTrip(frames, slowTiming());
}

TEST(DenseVideo, BrokenStreamsFailWithAReasonOrDecodeToSomething)
{
    std::mt19937 random(9);
    const Round round = encodeAll(test::randomScreenSequence(random, 10), slowTiming());
    for (std::size_t cut = 0; cut < round.stream.size(); cut += 1 + cut / 4) {
        std::string error;
        const auto decoded = decodeDenseVideo(std::span(round.stream).first(cut), &error);
        if (!decoded) {
            EXPECT_NE(error.find("ends early"), std::string::npos) << cut;
        }
    }
    for (int trial = 0; trial < 50; ++trial) {
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(random() % 2000));
        for (auto& byte : bytes) {
            byte = static_cast<std::uint8_t>(random());
        }
        std::string error;
        const auto decoded = decodeDenseVideo(bytes, &error);
        EXPECT_TRUE(decoded.has_value() || !error.empty());
    }
}

// Work of `frames` frames, one piece each of `tStates`, with a heavy frame at
// `heavyAt` that takes `heavyPieces` pieces.
std::vector<Work> evenWork(int frames, int tStates, int heavyAt = -1, int heavyPieces = 0)
{
    std::vector<Work> work;
    for (int f = 0; f < frames; ++f) {
        const int pieces = f == heavyAt ? heavyPieces : 1;
        for (int p = 0; p < pieces; ++p) {
            work.push_back({f, tStates, !work.empty()});
        }
    }
    return work;
}

TEST(DensePacing, TheRingAbsorbsAHeavyFrameOnlyWhenItHoldsEnough)
{
    const DenseTiming timing = slowTiming();
    // Seven decoding ticks a frame at 14.75 frames a second.
    ASSERT_DOUBLE_EQ(timing.decodeTicksPerFrame(), 7.0);
    const int piece = timing.pieceBudget() - cost::PageCrossing;

    const PacingReport light = simulatePacing(evenWork(100, piece), 100, timing, 2);
    EXPECT_TRUE(light.keepsUp) << light.describe();

    // A frame of 30 pieces needs about three frames' worth of ticks beyond
    // its own: the frames decoded ahead must cover them.
    const auto heavy = evenWork(100, piece, 50, 30);
    const PacingReport small = simulatePacing(heavy, 100, timing, 3);
    EXPECT_FALSE(small.keepsUp);
    EXPECT_GT(small.lateFrame, 45);
    EXPECT_LE(small.lateFrame, 50);
    const PacingReport large = simulatePacing(heavy, 100, timing, 8);
    EXPECT_TRUE(large.keepsUp) << large.describe();
    EXPECT_LT(large.fewestAhead, 4);

    // More decoding than seven pieces a frame on average: no ring helps.
    const PacingReport over = simulatePacing(evenWork(400, piece, -1, 0), 400, timing, 32);
    EXPECT_TRUE(over.keepsUp);
    std::vector<Work> twoEach;
    for (int f = 0; f < 400; ++f) {
        for (int p = 0; p < 8; ++p) {
            twoEach.push_back({f, piece, !twoEach.empty()});
        }
    }
    EXPECT_FALSE(simulatePacing(twoEach, 400, timing, 32).keepsUp);
}

}  // namespace
}  // namespace zoetra::dense
