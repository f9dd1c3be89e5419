// The dense stream: the encoder against the reference decoder on random
// screen sequences (the same screens, the same T-states), the context's
// layout, uniform rows, raw rows and raw frames against compact, broken
// streams, and the player's schedule on work whose outcome is known.
#include "codec/compact/CompactEncoder.h"
#include "codec/dense/DenseBlocks.h"
#include "codec/dense/DenseDecoder.h"
#include "codec/dense/DenseEncoder.h"
#include "shared/ArchiveLayout.h"
#include "support/ScreenSequences.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <optional>
#include <random>
#include <tuple>
#include <string>

namespace zoetra::dense {
namespace {

struct Round {
    std::vector<std::uint8_t> stream;
    std::vector<int> tStates;  // the encoder's count for each frame
    int raw = 0;
    int rawRows = 0;
    PacingReport pacing;
};

Round encodeAll(const std::vector<Screen>& frames, std::optional<DenseTiming> timing, int ringBytes = RingBytes)
{
    DenseEncoder encoder(timing, ringBytes);
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
    EXPECT_EQ(encoder.size(), sizeBeforeEnd);
    EXPECT_LE(static_cast<int>(encoder.bytes().size()), sizeBeforeEnd + 1);
    round.stream = encoder.bytes();
    round.raw = encoder.rawFrames();
    round.rawRows = encoder.rawRowFrames();
    round.pacing = encoder.pacing();
    return round;
}

// The records' bytes of a frame of `changed` blocks, the last `oneRow` of
// them of one row, the others with every row kept (the most they take).
std::vector<int> records(int changed, int oneRow = 0)
{
    std::vector<int> bytes(BlockCount, 0);
    std::fill(bytes.begin(), bytes.begin() + changed, LargestBlockRecord);
    std::fill(bytes.begin() + changed - oneRow, bytes.begin() + changed, OneRowRecordBytes);
    return bytes;
}

void expectRoundTrip(const std::vector<Screen>& frames, std::optional<DenseTiming> timing)
{
    const Round round = encodeAll(frames, timing);
    std::string error;
    const auto decoded = decodeDenseVideo(round.stream, &error);
    ASSERT_TRUE(decoded.has_value()) << error;
    ASSERT_EQ(decoded->frames.size(), frames.size());
    EXPECT_EQ(decoded->length, round.stream.size());
    for (std::size_t f = 0; f < frames.size(); ++f) {
        EXPECT_EQ(decoded->frames[f], frames[f]) << "frame " << f;
        EXPECT_EQ(decoded->tStates[f], round.tStates[f]) << "frame " << f;
    }
    const auto seam = decodeDenseStream(round.stream, &error);
    ASSERT_TRUE(seam.has_value()) << error;
    EXPECT_EQ(seam->frames, decoded->frames);
    EXPECT_EQ(seam->tStates, decoded->tStates);
}

TEST(DenseVideo, RandomSequencesDecodeToTheirScreensAtTheirCost)
{
    std::mt19937 random(7);
    for (int sequence = 0; sequence < 50; ++sequence) {
        SCOPED_TRACE(sequence);
        const auto frames = test::randomScreenSequence(random, 12);
        expectRoundTrip(frames, slowTiming());
        expectRoundTrip(frames, fastTiming());
        expectRoundTrip(frames, std::nullopt);
    }
    // A long one: the coder and the contexts carry across frames and raw ones.
    expectRoundTrip(test::randomScreenSequence(random, 300), slowTiming());
}

// Raw rows packed: any mix of edge bytes and others, an even or odd number,
// reads back row for row, taking every byte; cut short, it says so.
TEST(DenseVideo, PackedRowsReadBackAsTheyWere)
{
    std::mt19937 random(11);
    std::uniform_int_distribution<int> pick(0, 20);
    for (int count = 0; count < 40; ++count) {
        SCOPED_TRACE(count);
        std::vector<std::uint8_t> rows;
        int escapes = 0;
        for (int i = 0; i < count; ++i) {
            const int k = pick(random);
            rows.push_back(k < 15 ? EdgeBytes[static_cast<std::size_t>(k)] : static_cast<std::uint8_t>(0x41 + k));
            escapes += k < 15 ? 0 : 1;
        }
        const auto packed = packRows(rows);
        EXPECT_EQ(packed.size(), static_cast<std::size_t>((count + 1) / 2 + escapes));
        RowReader reader(packed, true);
        int tStates = 0;
        for (const std::uint8_t row : rows) {
            EXPECT_EQ(reader.next(tStates), row);
        }
        EXPECT_TRUE(reader.exact());
        if (!packed.empty()) {
            const std::vector<std::uint8_t> cut(packed.begin(), packed.end() - 1);
            RowReader short_(cut, true);
            for (std::size_t i = 0; i < rows.size(); ++i) {
                short_.next(tStates);
            }
            EXPECT_FALSE(short_.exact());
        }
    }
}

// Screens of edge bytes go as packed raw rows, and screens whose rows repeat
// the row above as compact frames (a copy of the row above for the whole
// stripe) or copied rows, when time is short; all decode to their screens at
// the encoder's T-states.
TEST(DenseVideo, HeavyFramesGoPackedCopiedOrCompactAndDecodeAtTheirCost)
{
    std::mt19937 random(12);
    // Bytes of one colour or one change of colour, now and then another.
    std::vector<Screen> edges = test::screensOfBytes(random, 8, EdgeBytes, 0x5A);
    // Stripes down the top half of the screen, new ones every frame.
    std::vector<Screen> stripes(24);
    for (Screen& screen : stripes) {
        for (int column = 0; column < BytesPerRow; ++column) {
            const auto byte = static_cast<std::uint8_t>(random());
            for (int y = 0; y < Rows / 2; ++y) {
                screen[static_cast<std::size_t>(y * BytesPerRow + column)] = byte;
            }
        }
    }
    for (const auto* frames : {&edges, &stripes}) {
        expectRoundTrip(*frames, slowTiming());
        const Round round = encodeAll(*frames, slowTiming());
        EXPECT_TRUE(round.pacing.keepsUp);
        const auto decoded = decodeDenseVideo(round.stream);
        ASSERT_TRUE(decoded.has_value());
        const auto count = [](const std::vector<bool>& flags) { return std::count(flags.begin(), flags.end(), true); };
        if (frames == &edges) {
            EXPECT_GE(count(decoded->packed), 4);
        } else {
            EXPECT_GT(count(decoded->compact), 5);
            EXPECT_GT(count(decoded->copyRows) + count(decoded->compact), 20);
            EXPECT_LT(count(decoded->rawRows), 3);
        }
    }
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

TEST(DenseVideo, NoiseNeverCostsMoreThanCompact)
{
    std::mt19937 random(3);
    const auto frames = noise(random, 20);
    for (const auto& timing : {std::optional(slowTiming()), std::optional<DenseTiming>()}) {
        const Round round = encodeAll(frames, timing);
        EXPECT_EQ(round.raw + round.rawRows, 20);
        EXPECT_LE(static_cast<int>(round.stream.size()), compactSize(frames));
    }
    expectRoundTrip(frames, slowTiming());

    // Noise between quiet frames: coded frames on both sides of raw ones.
    std::vector<Screen> mixed;
    const Screen white{};
    for (const Screen& frame : noise(random, 6)) {
        mixed.push_back(white);
        mixed.push_back(frame);
        mixed.push_back(frame);
    }
    // The white frames after noise cost a little more than compact's runs;
    // at 6 MHz they take longer than a frame's time pixel by pixel and go raw.
    EXPECT_LE(static_cast<double>(encodeAll(mixed, std::nullopt).stream.size()), 1.02 * compactSize(mixed));
    const Round paced = encodeAll(mixed, slowTiming());
    EXPECT_TRUE(paced.pacing.keepsUp) << paced.pacing.describe();
    expectRoundTrip(mixed, slowTiming());
}

// Frames far heavier than a frame's time: pixel by pixel they would fall
// behind, so the encoder sends rows raw, or frames raw, and no frame is late.
TEST(DenseVideo, TheEncoderKeepsEveryFrameOnTime)
{
    std::mt19937 random(13);
    for (const DenseTiming& timing : {slowTiming(), fastTiming()}) {
        const auto frames = test::randomScreenSequence(random, 120);
        const Round paced = encodeAll(frames, timing);
        EXPECT_TRUE(paced.pacing.keepsUp) << paced.pacing.describe();
        EXPECT_GT(paced.raw + paced.rawRows, 0);
        // The same frames, their time not counted: nothing raw for time,
        // fewer bytes, and the schedule of their T-states falls behind.
        const Round free = encodeAll(frames, std::nullopt);
        EXPECT_LE(free.stream.size(), paced.stream.size());
        Schedule schedule(timing);
        std::string error;
        const auto decoded = decodeDenseVideo(free.stream, &error);
        ASSERT_TRUE(decoded.has_value()) << error;
        Screen before{};
        for (std::size_t f = 0; f < decoded->frames.size(); ++f) {
            if (decoded->raw[f] || decoded->compact[f]) {
                schedule.addWhole(decoded->tStates[f]);
            } else {
                schedule.addBlocks(decoded->tStates[f], blockRecordBytes(before, decoded->frames[f]));
            }
            before = decoded->frames[f];
        }
        EXPECT_FALSE(schedule.report().keepsUp);
    }
}

// The decoder keeps a pixel's context in one register and moves along a row
// by shifting it three places, bringing in the pixel just decoded and the
// next pixels of the row above (or below) and of the row before: the
// context must be that shift everywhere inside a byte, on screens of every
// kind.
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
                const int shiftedBelow = (pixelContextBelow(now, before, x, y) << 3 & 0xF8) |
                    pixelAt(now, x, y) << 2 | pixelAt(now, x + 2, y + 1) << 1 | pixelAt(before, x + 2, y);
                ASSERT_EQ(pixelContextBelow(now, before, x + 1, y), shiftedBelow) << "x " << x << ", y " << y;
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
    // no longer white) are not uniform: sent too, unless the frame keeps
    // rows as they were.
    Screen striped = dot;
    striped[static_cast<std::size_t>(2 * BytesPerRow + 3)] = 0xF0;
    for (const auto& [frames, pixelsOfLast, pixelsKept] : std::vector<std::tuple<std::vector<Screen>, int, int>>{
             {{Screen{}, dot}, 8, 8}, {{Screen{}, dot, striped}, 3 * 8, 8}}) {
        const Round round = encodeAll(frames, slowTiming());
        std::string error;
        const auto video = decodeDenseVideo(round.stream, &error);
        ASSERT_TRUE(video.has_value()) << error;
        ASSERT_EQ(video->frames, frames);
        EXPECT_EQ(video->pixels.back(), video->keptRows.back() ? pixelsKept : pixelsOfLast);
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

// A block's record keeps its top row, its mask and the rows that differ
// from the row above; a block of one row keeps its row alone.
TEST(DensePacing, RecordsKeepTheRowsThatDifferFromTheRowAbove)
{
    Screen before{};
    Screen now{};
    const auto setBlock = [&now](int block, const std::array<std::uint8_t, 8>& rows) {
        const int column = block % BlockColumns;
        const int top = block / BlockColumns * 8;
        for (int row = 0; row < 8; ++row) {
            now[static_cast<std::size_t>((top + row) * BytesPerRow + column)] = rows[static_cast<std::size_t>(row)];
        }
    };
    setBlock(0, {0x11, 0x11, 0x22, 0x22, 0x33, 0x33, 0x33, 0x11});  // three rows kept
    setBlock(13, {0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A}); // one row
    setBlock(95, {1, 2, 3, 4, 5, 6, 7, 8});                           // every row kept
    const std::vector<int> coded = blockRecordBytes(before, now);
    EXPECT_EQ(coded[0], 6);
    EXPECT_EQ(coded[13], 2);
    EXPECT_EQ(coded[95], LargestBlockRecord);
    EXPECT_EQ(std::count(coded.begin(), coded.end(), 0), BlockCount - 3);
    EXPECT_EQ(recordsBytes(coded), 6 + 2 + 10 + 1);
    EXPECT_EQ(std::count(coded.begin(), coded.end(), OneRowRecordBytes), 1);


    // Counted as the most such blocks take, the show takes no less.
    const DenseTiming timing = slowTiming();
    EXPECT_GE(timing.showTStates(records(3, 1)), timing.showTStates(coded));
}

TEST(DensePacing, TheRingAbsorbsAHeavyFrameOnlyWhenItHoldsEnough)
{
    const DenseTiming timing = slowTiming();
    const double frame = timing.decodeTStatesPerFrame();
    // Light frames of 10 changed blocks (101 bytes of records) at half of
    // the time, with a frame of five frames' time at 300: what the frames
    // decoded ahead hold must cover the time it takes beyond its own.
    const auto run = [&](int ringBytes, double heavyFrames) {
        Schedule schedule(timing, ringBytes);
        for (int f = 0; f < 400; ++f) {
            const double work = f == 300 ? heavyFrames * frame : 0.5 * frame;
            schedule.addBlocks(static_cast<int>(work), records(10));
        }
        return schedule.report();
    };
    // The clock starts with the first frame decoded; light frames then let
    // the decoder get ahead, as far as the ring holds.
    const PacingReport light = run(RingBytes, 0.5);
    EXPECT_TRUE(light.keepsUp) << light.describe();
    EXPECT_EQ(light.prefilled, 1);
    // A ring that holds few frames ahead: the heavy one is late.
    const PacingReport small = run(LargestCodedRecord + 3 * 101, 5.0);
    EXPECT_FALSE(small.keepsUp);
    EXPECT_EQ(small.firstLate, 300);
    const PacingReport large = run(RingBytes, 5.0);
    EXPECT_TRUE(large.keepsUp) << large.describe();
    // Every frame over its time: late from the second on, whatever the
    // player decodes before the first is shown (a looping video's later
    // rounds start without it).
    Schedule behind(timing);
    for (int f = 0; f < 400; ++f) {
        behind.addBlocks(static_cast<int>(1.1 * frame), records(10));
    }
    EXPECT_FALSE(behind.report().keepsUp);
    EXPECT_EQ(behind.report().firstLate, 1);
}

// A frame begins where the ring has room for records that are not large; a
// large frame, a raw and a compact one wait until it has room for the
// largest record, so fewer frames are left decoded ahead of them.
TEST(DensePacing, LargeRawAndCompactFramesWaitForTheLargestRecordsRoom)
{
    const DenseTiming timing = slowTiming();
    const double frame = timing.decodeTStatesPerFrame();
    // Light frames of 10 changed blocks (101 bytes of records) at half of
    // the time, and at 100 a heavy frame with the same records, with 60
    // changed blocks (large) or with every block (raw or compact).
    enum class Heavy { Light, Large, Whole };
    const auto run = [&](Heavy heavy, double heavyFrames) {
        Schedule schedule(timing, LargestRecord + 4 * 101);
        for (int f = 0; f < 200; ++f) {
            const auto work = static_cast<int>((f == 100 ? heavyFrames : 0.5) * frame);
            if (f != 100 || heavy == Heavy::Light) {
                schedule.addBlocks(work, records(10));
            } else if (heavy == Heavy::Large) {
                schedule.addBlocks(work, records(60));
            } else {
                schedule.addWhole(work);
            }
        }
        return schedule.report();
    };
    // The ring holds the records of about nine light frames beside the room
    // a frame begins with: a frame of four frames' time is on time.
    const PacingReport light = run(Heavy::Light, 4.0);
    EXPECT_TRUE(light.keepsUp) << light.describe();
    // Room for the largest record in one piece leaves hardly a frame ahead.
    for (const Heavy heavy : {Heavy::Large, Heavy::Whole}) {
        const PacingReport waited = run(heavy, 4.0);
        EXPECT_FALSE(waited.keepsUp);
        EXPECT_EQ(waited.firstLate, 100);
        EXPECT_TRUE(run(heavy, 0.5).keepsUp);
    }
}

// The first frame is shown whole before the pace starts: even after a key
// frame that takes a fifth of a second, a raw frame of noise is on time at
// either speed.
TEST(DensePacing, TheFirstFrameIsShownBeforeThePaceStarts)
{
    std::mt19937 random(41);
    Screen noisy;
    for (auto& byte : noisy) {
        byte = static_cast<std::uint8_t>(random());
    }
    for (const DenseTiming& timing : {slowTiming(), fastTiming()}) {
        Schedule schedule(timing);
        schedule.addBlocks(1'200'000, records(1));
        schedule.addWhole(rawFrameTStates(noisy));
        EXPECT_TRUE(schedule.report().keepsUp) << schedule.report().describe();
    }
}

// In the archive every frame is given the time of the ends of stretches
// its stream may meet: frames that just fit their time from RAM are late
// from the archive.
TEST(DensePacing, FramesFromTheArchiveLeaveTimeForTheEndsOfStretches)
{
    VideoTarget target;
    target.format = StreamFormat::Dense;
    const DenseTiming inRam = timingFor(target);
    target.storage = Storage::Archive;
    const DenseTiming archived = timingFor(target);
    EXPECT_EQ(inRam.stretchTStates, 0);
    EXPECT_EQ(archived.stretchTStates, ArchiveStretchTStates);
    const auto run = [](const DenseTiming& timing) {
        Schedule schedule(timing);
        // Light frames first, so that the decoder gets ahead; then 100
        // T-states to spare a frame without them, while the frames decoded
        // ahead cover what is missing with them for some hundreds of frames.
        const double work = timing.decodeTStatesPerFrame() - timing.showTStates(records(10)) - 100;
        for (int f = 0; f < 10'000; ++f) {
            schedule.addBlocks(static_cast<int>(f < 40 ? work / 2 : work), records(10));
        }
        return schedule.report();
    };
    EXPECT_TRUE(run(inRam).keepsUp) << run(inRam).describe();
    EXPECT_FALSE(run(archived).keepsUp);
}

// Only a frame whose stream runs across an AppVar's end (as the player may
// read it, a few bytes either way) is given the time of three ends of
// stretches; any other the time of the one page's end its AppVar may hold.
TEST(DensePacing, OnlyAFrameAcrossAnAppVarsEndIsGivenThreeEndsOfStretches)
{
    VideoTarget target;
    target.format = StreamFormat::Dense;
    EXPECT_EQ(timingFor(target).stretchFor(archive::StreamBytesPerAppVar - 10, archive::StreamBytesPerAppVar + 10), 0);
    target.storage = Storage::Archive;
    const DenseTiming timing = timingFor(target);
    const std::int64_t end = archive::StreamBytesPerAppVar;
    const std::int64_t slack = DenseTiming::StreamSlackBytes;
    EXPECT_EQ(timing.stretchFor(0, 700), StretchEndTStates);
    EXPECT_EQ(timing.stretchFor(1'000, 1'700), StretchEndTStates);
    for (const std::int64_t appVarEnd : {end, 2 * end, 9 * end}) {
        EXPECT_EQ(timing.stretchFor(appVarEnd - 300, appVarEnd + 300), ArchiveStretchTStates) << appVarEnd;
        EXPECT_EQ(timing.stretchFor(appVarEnd - 300, appVarEnd - slack), ArchiveStretchTStates) << appVarEnd;
        EXPECT_EQ(timing.stretchFor(appVarEnd + slack, appVarEnd + 300), ArchiveStretchTStates) << appVarEnd;
        EXPECT_EQ(timing.stretchFor(appVarEnd - 300, appVarEnd - slack - 1), StretchEndTStates) << appVarEnd;
        EXPECT_EQ(timing.stretchFor(appVarEnd + slack + 1, appVarEnd + 300), StretchEndTStates) << appVarEnd;
    }
    // An AppVar's end right at a frame's first byte counts as well.
    EXPECT_EQ(timing.stretchFor(end, end + 1), ArchiveStretchTStates);
}

}  // namespace
}  // namespace zoetra::dense
