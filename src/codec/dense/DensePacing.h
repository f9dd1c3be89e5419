#pragma once

#include "codec/dense/DenseFormat.h"
#include "shared/VideoTarget.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zoetra::dense {

// A block's record: with a mask, its place, top row and mask and the rows
// kept (recordRowsKept); of one row, its place and the row.
inline constexpr int MaskedRecordBytes = 3;
inline constexpr int OneRowRecordBytes = 2;
inline constexpr int LargestBlockRecord = MaskedRecordBytes + 7;

// The player's own timer interrupt handler, around the OS's: the
// interrupt's acceptance in mode 2 (19) and VID.z80's CountTick (214, the
// OS's ei and ret included), which counts the tick and keeps the shadow
// registers the decoder works in.
inline constexpr int TickTStates = 233;

// The player's clock for one target: the CPU's speed (the slowest the model
// runs at), the OS timer, the frame rate.
struct DenseTiming {
    double cpuHz = modelFacts(CalculatorModel::Ti83Plus).slowCpuHz;
    double timerHz = modelFacts(CalculatorModel::Ti83Plus).timerHz;
    double framesPerSecond = WrittenFramesPerSecond;
    // What the OS's interrupt handler takes of each tick, what the player's
    // own handler around it takes, and the part of the rest kept free.
    int interruptTStates = static_cast<int>(OsInterruptTStates);
    int tickTStates = TickTStates;
    double margin = 0.10;
    // What a frame's stream may cost beyond its decoding where it runs on
    // from one stretch to the next (ArchiveStretchTStates in the archive).
    // In the archive (archiveTiming()), where AppVars of `appVarStreamBytes` of
    // the stream each hold it, only a frame whose stream runs across an
    // AppVar's end may cost that much: any other meets at most one page's
    // end within its AppVar (pageEndTStates).
    int stretchTStates = 0;
    int pageEndTStates = 0;
    std::int64_t appVarStreamBytes = 0;
    // What a frame whose stream lies between these bytes may cost beyond
    // its decoding (the player reads a few bytes ahead of the encoder's
    // place and holds a few behind it: StreamSlackBytes either side).
    int stretchFor(std::int64_t firstByte, std::int64_t endByte) const;
    static constexpr std::int64_t StreamSlackBytes = 4;

    // T-states from one frame's tick to the next, and timer ticks.
    double frameTStates() const { return cpuHz / framesPerSecond; }
    double ticksPerFrame() const { return timerHz / framesPerSecond; }
    // What decoding has of them, before the frame shown is put on the
    // screen.
    double decodeTStatesPerFrame() const;
    // Putting a frame on the screen: the surroundings and the key's check
    // (with the shadow registers kept around it), and its changed blocks
    // written to the LCD, by their records' bytes (blockRecordBytes: 0 for
    // a block that stays).
    static constexpr int ShowStartTStates = 705;
    int showTStates(const std::vector<int>& blockBytes) const;
    int lcdWait() const { return cpuHz > 6'000'000 ? LcdWait15 : LcdWait6; }
    int placeWait() const { return cpuHz > 6'000'000 ? PlaceWait15 : PlaceWait6; }
    // A block to the LCD: ten accesses (two commands, eight bytes), each
    // followed by a wait of `rounds` of djnz (DecodeDense.z80's LCD_WAIT_6
    // and LCD_WAIT_15: 12 us at either speed), and 101 T-states around them,
    // as a raw or compact frame shown whole writes it.
    static constexpr int LcdWait6 = 4;
    static constexpr int LcdWait15 = 12;
    static constexpr int blockShowTStates(int rounds) { return 101 + 10 * (13 * rounds + 23); }
    // A frame's records write their blocks with no wait after a block's last
    // byte, the next record's first byte read and the next block's first
    // command made in its place, after a shorter wait of `placeRounds`
    // (PLACE_WAIT_6, PLACE_WAIT_15). A block of one row kept once takes
    // OneRowShowTStates more; a record with a mask MaskShowTStates more (the
    // mask read in the wait before its top row, that wait and the rows'
    // a round shorter for it and for their tests), and
    // MaskRowKeptShowTStates more for each row kept in it.
    static constexpr int PlaceWait6 = 1;
    static constexpr int PlaceWait15 = 7;
    static constexpr int recordBlockTStates(int rounds, int placeRounds)
    {
        return blockShowTStates(rounds) - 13 * (rounds - placeRounds);
    }
    static constexpr int OneRowShowTStates = -5;
    static constexpr int MaskShowTStates = -16;
    static constexpr int MaskRowKeptShowTStates = 8;
    // A block by its record's bytes.
    int recordShowTStates(int recordBytes) const
    {
        return recordBlockTStates(lcdWait(), placeWait()) +
            (recordBytes == OneRowRecordBytes
                 ? OneRowShowTStates
                 : MaskShowTStates + (recordBytes - MaskedRecordBytes) * MaskRowKeptShowTStates);
    }
    // The first frame, and a looping video's first again: every block
    // written, white where it has no record, with about WholeBlockTStates
    // more a block for the walk over them; OneRowWholeTStates more for each
    // block of one row (copied out eight times first), and for a record
    // with a mask what it takes in the frames after (about none, and
    // MaskRowKeptShowTStates for each row kept).
    static constexpr int WholeBlockTStates = 90;
    static constexpr int OneRowWholeTStates = 360;
    int wholeShowTStates(const std::vector<int>& blockBytes) const;
    // A raw or compact frame's record, a whole screen: written column by
    // column (DecodeDense.z80's ScreenRecord), after each command a wait of
    // lcdWait() rounds, after each byte one of flatWait() (FLAT_WAIT_6,
    // FLAT_WAIT_15: at least 12 us from byte to byte).
    static constexpr int FlatWait6 = 2;
    static constexpr int FlatWait15 = 11;
    int flatWait() const { return cpuHz > 6'000'000 ? FlatWait15 : FlatWait6; }
    static constexpr int screenColumnTStates(int rounds, int flatRounds)
    {
        return 46 + 2 * (15 + 13 * (rounds - 1)) + 31 + 64 * (60 + 13 * (flatRounds - 1)) - 5 + 56;
    }
    // Its way there from the records and on to their end, beside the
    // columns: ShowStartTStates and ScreenRecordTStates.
    static constexpr int ScreenRecordTStates = 237;
    int screenShowTStates() const
    {
        return ShowStartTStates + ScreenRecordTStates + BytesPerRow * screenColumnTStates(lcdWait(), flatWait());
    }
};

// The target's timing: the model's clock as the player sets it (15 MHz where
// the model has it), its timer, the rate.
DenseTiming timingFor(const VideoTarget& target);
// The same timing for a player whose video is in the archive.
DenseTiming archiveTiming(DenseTiming timing);
// The TI-83 Plus at 6 MHz and 14.75 frames a second; the 15 MHz models at
// 29.5 (every screen of a 30 frames a second video).
DenseTiming slowTiming();
DenseTiming fastTiming();

// The ring the player decodes into: each frame leaves a record of its
// changed blocks (the block's place on the LCD, its top row, a mask of the
// seven rows below it and those of them that differ from the row above;
// where its eight rows came out the same, the place marked and the one
// row) and an end mark; a raw or compact frame, the whole screen after a
// mark (FlatRecordBytes). A frame is begun only where the ring has room for its records
// (LargestCodedRecord, or the largest record for a raw, compact or large
// frame, which waits for it after its first decisions): in one piece after
// the last record, or at the ring's start. Where only the start has room,
// a frame of coded blocks still
// begins after the last record and goes on at the start with the first row
// of blocks that would begin too close to the ring's end (RowWrapBytes); a
// raw or a compact frame, which needs its room in one piece, goes to the
// start at once. The ring's last byte is kept for the mark that sends the
// reader to its start.
// In the archive the stream runs in stretches, each to a Flash page's end
// or an AppVar's. A frame's stream (at most about 772 bytes, a compact
// frame's) can meet three ends of stretches: an AppVar's, and a page's on
// either side of it where the next AppVar begins close to a page's end.
// Each costs the player at most StretchEndTStates (DecodeDense.z80's NewStretch
// and StretchEnded through SourceArchive.z80's Consume, SeekVar and
// SetStretch: 746 on its longest way). Where AppVars end in the stream is
// known, where pages end is not: the schedule gives a frame whose stream
// runs across an AppVar's end the time of three ends, any other the time of
// one, wherever it falls (DenseTiming::stretchFor).
inline constexpr int StretchEndTStates = 850;
inline constexpr int ArchiveStretchTStates = 3 * StretchEndTStates;

// A video in RAM shares the RAM with the player, so its ring is small; a
// player whose video is in the archive has the RAM to itself. The player
// keeps this room for the ring and its timer's vectors, which follow the
// ring at the first page's start that leaves them room: wherever the
// program lies, the ring keeps at least the room less the vectors and
// less a page's worth of bytes but one.
inline constexpr int RingRoomBytes = 4096;
inline constexpr int ArchiveRingRoomBytes = 10240;
inline constexpr int TimerVectorBytes = 257;
inline constexpr int RingBytes = RingRoomBytes - TimerVectorBytes - 255;
inline constexpr int ArchiveRingBytes = ArchiveRingRoomBytes - TimerVectorBytes - 255;
int ringBytesFor(const VideoTarget& target);
inline constexpr int LargestRecord = 1 + BlockCount * LargestBlockRecord + 1;
// The room the player begins a frame with: a frame coded block by block's
// records, its end mark and a mark after them, unless the frame says it is
// large. A raw or compact frame and a large one, which the player knows
// from the frame's first decisions, then wait there until the ring has
// room for the largest record.
inline constexpr int LargestCodedRecord = 450;
// A row of blocks' records begins no closer to the ring's end than this, so
// that its records, its frame's end mark and a mark after them fit.
inline constexpr int RowWrapBytes = BlockColumns * LargestBlockRecord + 1;
// The bytes of each block's record, in the blocks' order, of a frame coded
// block by block (0 for a block that stays), from the screen before and the
// frame. A frame's records take their sum and its end mark (recordsBytes).
std::vector<int> blockRecordBytes(const Screen& before, const Screen& now);
int recordsBytes(const std::vector<int>& blockBytes);
// A raw or compact frame's record: the whole screen after its mark; with
// the end mark, its records.
inline constexpr int FlatRecordBytes = 1 + ScreenSize;
inline constexpr int ScreenRecordsBytes = FlatRecordBytes + 1;
// Whether a frame coded block by block with these records is large: they
// take more than LargestCodedRecord with a mark after them.
bool largeRecords(const std::vector<int>& blockBytes);

// What a run of the player's schedule shows.
struct PacingReport {
    bool keepsUp = true;
    int lateFrames = 0;
    int firstLate = -1;
    int prefilled = 0;  // frames the schedule counts as decoded before the first is shown
    // The tightest moment: the least time a frame was ready before its tick,
    // in frames' time, and that frame.
    double leastAhead = 1e9;
    int leastAheadAt = -1;
    // Whether the last frame was late.
    bool lastLate = false;
    // Played as a looping video, its second and third rounds (laterRounds):
    // their late frames, the first of them counted from the second round's
    // first frame, and whether the third round ends late. A round that
    // begins late (its first frame decoded again in less time than the
    // first round had) and catches up keeps the rate over the rounds.
    int roundLateFrames = 0;
    int roundFirstLate = -1;
    bool roundsEndLate = false;
    std::string describe() const;
};

// What a frame took the player, to play it again in a later round: its
// T-states, its records (none for a raw or compact frame, whose record is
// the whole screen) and the ends of stretches it may meet.
struct FrameWork {
    int tStates = 0;
    std::vector<int> blockBytes;
    int stretch = 0;
};

// The player's schedule, a frame at a time: the clock starts with the first
// frame decoded (shown at the next tick, where the pace starts, as the
// player does), then a frame is shown at each tick, and frames are decoded
// in the time between whenever the ring has room. A late frame is shown
// when it is decoded; the ticks stay where they were, so later frames catch
// up. A looping video's later rounds follow on the same pace
// (laterRounds).
class Schedule {
public:
    explicit Schedule(const DenseTiming& timing, int ringBytes = RingBytes);

    // When a frame taking `tStates` would be decoded, relative to its tick
    // (negative: late), in T-states; the first frame is always on time
    // (FirstFrameSlack less what it takes). A
    // raw, compact or large frame (`waits`) waits for the largest record's
    // room.
    double slack(int tStates, bool waits = false, std::optional<int> stretch = std::nullopt) const;
    static constexpr double FirstFrameSlack = 1e12;
    // A frame coded block by block with each block's record bytes
    // (blockRecordBytes); a raw or compact frame, whose record is the whole
    // screen.
    // `stretch`: what the frame's stream may cost beyond its decoding
    // (DenseTiming::stretchFor), else the most any frame's may.
    void addBlocks(int tStates, const std::vector<int>& blockBytes, std::optional<int> stretch = std::nullopt);
    void addWhole(int tStates, std::optional<int> stretch = std::nullopt);

    const PacingReport& report() const { return report_; }

    // The video played on as a looping video plays it, `rounds` more
    // times, from where its first round left the player: each round begins
    // with the video's end and the player's restart (`restartTStates`), its
    // first frame due a frame after the last and shown whole. The report,
    // with their late frames (roundLateFrames).
    PacingReport laterRounds(const std::vector<FrameWork>& frames, int restartTStates, int rounds) const;

private:
    struct Frame {
        double done;   // decoding finished
        double shown;  // on the screen
        int recordEnd; // where the ring's next record would go
        int changed;   // its changed blocks
    };
    // Where and when the next frame's decoding can begin: after the frame
    // before, once the frames shown leave room (false when none would); a
    // raw, compact or large frame's records, once they leave the largest
    // record's room after that.
    struct Start {
        bool room;
        double at;
        int recordAt;
    };
    Start start(bool waits = false) const;
    Start startWith(int largest, double after, std::size_t shown) const;
    std::size_t shownBy(double at, std::size_t shown) const;
    bool room(int read, int write, int ready, int largest, int& recordAt) const;
    void addRecords(int tStates, const std::vector<int>* blockBytes, int stretch, bool roundStart = false);

    DenseTiming timing_;
    int ringBytes_;
    double perFrame_;
    double nextDue_ = 0.0;  // the next frame's tick, in decoding time
    std::vector<Frame> frames_;
    mutable std::size_t shownBefore_ = 0;  // frames shown by the end of the last frame
    mutable std::optional<Start> codedStart_;   // the next frame's start, once found
    mutable std::optional<Start> waitedStart_;  // the same for a raw, compact or large one
    PacingReport report_;
};

}  // namespace zoetra::dense
