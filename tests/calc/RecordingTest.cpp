// Programs recorded once through, and played live in step with a clock.
#include "calc/LivePlayback.h"
#include "calc/ProgramFile.h"
#include "calc/Recording.h"

#include "devpac8x/ProgramFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <vector>

namespace zoetra::calc {
namespace {

std::vector<std::uint8_t> program(std::initializer_list<std::uint8_t> code)
{
    std::vector<std::uint8_t> bytes = {0xBB, 0x6D};
    for (const std::uint8_t b : code) {
        bytes.push_back(b);
    }
    return bytes;
}

// Two pictures in turn, each for two ticks, until CLEAR:
// 9D95h: ld a,0AAh / ld (plotSScreen),a / bcall(_GrBufCpy) / halt /
//        bcall(_GetCSC) / cp 0Fh / ret z /
//        ld a,55h / ld (plotSScreen),a / bcall(_GrBufCpy) / halt /
//        bcall(_GetCSC) / cp 0Fh / ret z / jr 9D95h
const std::vector<std::uint8_t> TwoFrames = program({
    0x3E, 0xAA, 0x32, 0x40, 0x93, 0xEF, 0x6A, 0x48, 0x76, 0xEF, 0x18, 0x40, 0xFE, 0x0F, 0xC8,
    0x3E, 0x55, 0x32, 0x40, 0x93, 0xEF, 0x6A, 0x48, 0x76, 0xEF, 0x18, 0x40, 0xFE, 0x0F, 0xC8, 0x18, 0xE0,
});

// One picture, then a wait for a key: ld a,0AAh / ld (plotSScreen),a /
// bcall(_GrBufCpy) / bcall(_GetKey) / ret
const std::vector<std::uint8_t> OneFrameThenKey =
    program({0x3E, 0xAA, 0x32, 0x40, 0x93, 0xEF, 0x6A, 0x48, 0xEF, 0x72, 0x49, 0xC9});

TEST(Recording, LoopingProgramIsRecordedOnceThroughWithItsFrameTimes)
{
    const Recording r = recordProgram(TwoFrames);
    ASSERT_EQ(r.end, Recording::End::Loops) << r.fault;
    EXPECT_TRUE(r.plays());
    EXPECT_EQ(r.problem(), "");
    ASSERT_EQ(r.frames.size(), 2u);
    EXPECT_EQ(r.loopStart, 0u);
    EXPECT_EQ(r.frames[0].pixels[0], 0xAA);
    EXPECT_EQ(r.frames[1].pixels[0], 0x55);
    // The first copy starts at once and ends after its 51,600 T-states.
    EXPECT_EQ(r.frames[0].tstates, 7 + 13 + 11 + LcdFullWriteTStates);
    // The copy takes one tick, the halt waits for the next: two ticks a
    // frame; the first also the OS's handling of the tick that came during
    // the first copy, before the halts fall into step with the timer.
    constexpr std::uint64_t twoTicks = 2 * TimerPeriodTStates;
    for (std::size_t i = 0; i < r.frames.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_GE(r.duration(i), twoTicks - 100);
        EXPECT_LE(r.duration(i), twoTicks + InterruptHandlerTStates + 1000);
    }
    EXPECT_NEAR(static_cast<double>(r.duration(1)), static_cast<double>(twoTicks), 100.0);
    EXPECT_EQ(r.totalTStates(), r.duration(0) + r.duration(1));
    EXPECT_LE(r.framesPerSecond(), TimerHz / 2.0);
    EXPECT_GE(r.framesPerSecond(), CpuHz / (2.0 * TimerPeriodTStates + InterruptHandlerTStates + 1000));
}

TEST(Recording, ProgramThatWaitsOrReturnsEndsTheRecording)
{
    const Recording waits = recordProgram(OneFrameThenKey);
    ASSERT_EQ(waits.end, Recording::End::WaitsForKey) << waits.fault;
    ASSERT_EQ(waits.frames.size(), 1u);
    EXPECT_GT(waits.endTStates, waits.frames[0].tstates);
    EXPECT_TRUE(waits.plays());

    // bcall(_GrBufCpy) / ret
    const Recording returns = recordProgram(program({0xEF, 0x6A, 0x48, 0xC9}));
    EXPECT_EQ(returns.end, Recording::End::Returns);
    EXPECT_EQ(returns.frames.size(), 1u);
    EXPECT_TRUE(returns.plays());

    EXPECT_EQ(recordProgram(program({0xC9})).problem(), "it returned without showing a frame");
    EXPECT_EQ(recordProgram(program({0xEF, 0x72, 0x49, 0xC9})).problem(),
              "it waits for a key before showing a frame");
}

TEST(Recording, LongProgramsAreBoundByEmulatedTimeNotFrames)
{
    // A counter in plotSScreen's first two bytes, shown every time: no two
    // states are alike. 31,000 frames, then back to the home screen:
    // ld hl,0 / ld (plotSScreen),hl /
    // loop: ld hl,(plotSScreen) / inc hl / ld (plotSScreen),hl / bcall(_GrBufCpy) /
    //       ld hl,(plotSScreen) / ld de,31000 / or a / sbc hl,de / jr nz,loop / ret
    const Recording counted = recordProgram(program({0x21, 0x00, 0x00, 0x22, 0x40, 0x93, 0x2A, 0x40, 0x93, 0x23, 0x22,
                                                     0x40, 0x93, 0xEF, 0x6A, 0x48, 0x2A, 0x40, 0x93, 0x11, 0x18, 0x79,
                                                     0xB7, 0xED, 0x52, 0x20, 0xEB, 0xC9}));
    EXPECT_EQ(counted.end, Recording::End::Returns) << counted.fault;
    EXPECT_EQ(counted.frames.size(), 31000u);
    EXPECT_TRUE(counted.plays());

    // The same without an end, and two ticks a frame (a halt after each
    // copy): it stops at ten emulated minutes and still plays, reporting its
    // progress on the way.
    std::vector<std::uint64_t> reported;
    const Recording endless = recordProgram(
        program({0x2A, 0x40, 0x93, 0x23, 0x22, 0x40, 0x93, 0xEF, 0x6A, 0x48, 0x76, 0x18, 0xF3}), {},
        [&reported](std::uint64_t tstates, std::uint64_t limit) {
            EXPECT_EQ(limit, RecordingTimeLimitSeconds * CpuHz);
            reported.push_back(tstates);
        });
    EXPECT_EQ(endless.end, Recording::End::TimeLimit) << endless.fault;
    EXPECT_TRUE(endless.plays());
    EXPECT_EQ(endless.problem(), "");
    EXPECT_EQ(endless.endTStates, RecordingTimeLimitSeconds * CpuHz);
    EXPECT_LT(endless.frames.back().tstates, endless.endTStates);
    EXPECT_NEAR(static_cast<double>(endless.frames.size()), RecordingTimeLimitSeconds * TimerHz / 2.0,
                RecordingTimeLimitSeconds * TimerHz / 20.0);
    ASSERT_GE(reported.size(), RecordingTimeLimitSeconds);
    EXPECT_TRUE(std::is_sorted(reported.begin(), reported.end()));
    EXPECT_EQ(reported.back(), RecordingTimeLimitSeconds * CpuHz);
}

TEST(Recording, RepeatedPicturesAreNotALoop)
{
    // The same picture twice, then another, from a counter on the stack:
    // ld b,3 / loop: ld c,0 / push bc / ld a,b / and 2 / ld (plotSScreen),a /
    // bcall(_GrBufCpy) / pop bc / djnz loop / jr 9D95h.
    // Pictures 2, 2, 0, then again: three frames, not one.
    const Recording counted = recordProgram(program(
        {0x06, 0x03, 0x0E, 0x00, 0xC5, 0x78, 0xE6, 0x02, 0x32, 0x40, 0x93, 0xEF, 0x6A, 0x48, 0xC1, 0x10, 0xF1, 0x18, 0xED}));
    ASSERT_EQ(counted.end, Recording::End::Loops) << counted.fault;
    ASSERT_EQ(counted.frames.size(), 3u);
    EXPECT_EQ(counted.frames[0].pixels, counted.frames[1].pixels);
    EXPECT_NE(counted.frames[1].pixels, counted.frames[2].pixels);
}

// A video of known length whose player counts on in its own bytes, as a
// player that keeps its own clock does: its state never comes back, so
// only its length tells where its next round begins. Pictures 1, 2, 4 in
// turn, six frames, then back to the home screen:
// loop: ld hl,(Count) / inc hl / ld (Count),hl / ld de,7 / or a / sbc hl,de /
//       ret z / ld a,(Pic) / rlca / cp 8 / jr nz,$+4 / ld a,1 / ld (Pic),a /
//       ld (plotSScreen),a / bcall(_GrBufCpy) / halt / jr loop
// Count: .dw 0 / Pic: .db 4
const std::vector<std::uint8_t> CountingRounds = program({
    0x2A, 0xB9, 0x9D, 0x23, 0x22, 0xB9, 0x9D, 0x11, 0x07, 0x00, 0xB7, 0xED, 0x52, 0xC8, 0x3A, 0xBB, 0x9D, 0x07,
    0xFE, 0x08, 0x20, 0x02, 0x3E, 0x01, 0x32, 0xBB, 0x9D, 0x32, 0x40, 0x93, 0xEF, 0x6A, 0x48, 0x76, 0x18, 0xDC,
    0x00, 0x00, 0x04,
});

TEST(Recording, AVideoOfKnownLengthIsRecordedForOneRound)
{
    const Recording unknown = recordProgram(CountingRounds);
    ASSERT_EQ(unknown.end, Recording::End::Returns) << unknown.fault;
    ASSERT_EQ(unknown.frames.size(), 6u);

    const Recording known = recordProgram(CountingRounds, CalculatorSetup{CalculatorModel::Ti83Plus, {}, 3});
    ASSERT_EQ(known.end, Recording::End::Loops) << known.fault;
    ASSERT_EQ(known.frames.size(), 3u);
    EXPECT_EQ(known.loopStart, 0u);
    EXPECT_EQ(known.frames[0].pixels[0], 1);
    EXPECT_EQ(known.frames[2].pixels[0], 4);
    // The round ends where its first frame shows again.
    EXPECT_EQ(known.endTStates, unknown.frames[3].tstates);
    EXPECT_NEAR(known.framesPerSecond(), TimerHz / 2.0, 1.0);

    // A length that the pictures do not bear out is no loop.
    const Recording wrong = recordProgram(CountingRounds, CalculatorSetup{CalculatorModel::Ti83Plus, {}, 2});
    EXPECT_EQ(wrong.end, Recording::End::Returns) << wrong.fault;
    EXPECT_EQ(wrong.frames.size(), 6u);
}

// The rate is the frames shown less one over the time from the first to the
// last: ten frames two ticks apart, then a wait for a key.
// ld b,10 / loop: push bc / ld a,b / ld (plotSScreen),a / bcall(_GrBufCpy) /
// halt / pop bc / djnz loop / bcall(_GetKey) / ret
TEST(Recording, TheRateCountsTheTimeFromTheFirstFrameToTheLast)
{
    const Recording r = recordProgram(program(
        {0x06, 0x0A, 0xC5, 0x78, 0x32, 0x40, 0x93, 0xEF, 0x6A, 0x48, 0x76, 0xC1, 0x10, 0xF4, 0xEF, 0x72, 0x49, 0xC9}));
    ASSERT_EQ(r.end, Recording::End::WaitsForKey) << r.fault;
    ASSERT_EQ(r.frames.size(), 10u);
    EXPECT_NEAR(r.framesPerSecond(), TimerHz / 2.0, 0.5);
    EXPECT_EQ(recordProgram(OneFrameThenKey).framesPerSecond(), 0.0);
}

TEST(Recording, BrokenProgramsGiveTheirReason)
{
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
        const char* reason;
        std::size_t frames;
    };
    const std::vector<Case> cases = {
        // bcall(_GrBufCpy) / jp C000h
        {"runs into C000h", program({0xEF, 0x6A, 0x48, 0xC3, 0x00, 0xC0}), "instruction fetched at C000h", 1},
        {"unknown OS routine", program({0xEF, 0x34, 0x12, 0xC9}), "unknown system call 1234h", 0},
        {"never shows a frame", program({0x18, 0xFE}), "no frame shown within 10 seconds", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Recording r = recordProgram(c.bytes);
        EXPECT_EQ(r.end, Recording::End::Fault);
        EXPECT_FALSE(r.plays());
        EXPECT_NE(r.problem().find(c.reason), std::string::npos) << r.problem();
        EXPECT_EQ(r.frames.size(), c.frames);
    }
}

TEST(Recording, ReadsProgramFilesAndStartsWhereTheirShellWould)
{
    const Recording fromFile = recordProgramFile(devpac8x::makeProgramFile("VIDEO", TwoFrames));
    EXPECT_EQ(fromFile.end, Recording::End::Loops) << fromFile.fault;

    // MirageOS: ret, the marker, an icon and a description before the code.
    std::vector<std::uint8_t> mirage = {0xBB, 0x6D, 0xC9, 0x01};
    mirage.insert(mirage.end(), 30, 0x81);
    for (const char c : std::string("Two frames")) {
        mirage.push_back(static_cast<std::uint8_t>(c));
    }
    mirage.push_back(0);
    const std::uint16_t code = static_cast<std::uint16_t>(ProgramOrigin + mirage.size());
    mirage.insert(mirage.end(), TwoFrames.begin() + 2, TwoFrames.end() - 2);
    // jr back to the code's start
    mirage.push_back(0x18);
    mirage.push_back(static_cast<std::uint8_t>(code - (ProgramOrigin + mirage.size() + 1)));
    EXPECT_EQ(shellEntry(mirage), code);
    EXPECT_EQ(shellEntry(TwoFrames), ProgramStart);
    const Recording shell = recordProgramFile(devpac8x::makeProgramFile("VIDEO", mirage));
    ASSERT_EQ(shell.end, Recording::End::Loops) << shell.fault;
    EXPECT_EQ(shell.frames.size(), 2u);

    std::vector<std::uint8_t> damaged = devpac8x::makeProgramFile("VIDEO", TwoFrames);
    damaged.back() ^= 1;
    EXPECT_NE(recordProgramFile(damaged).problem().find("not a calculator program file: bad checksum"),
              std::string::npos);
    // A BASIC program: its tokens are no machine code.
    EXPECT_NE(recordProgramFile(devpac8x::makeProgramFile("BASIC", std::vector<std::uint8_t>{0xDE, 0x2A, 0x41}))
                  .problem()
                  .find("not an assembly program"),
              std::string::npos);
}

TEST(LivePlayback, ShowsEachFrameAtItsTimeAndCountsThroughTheLoop)
{
    const Recording r = recordProgram(TwoFrames);
    ASSERT_TRUE(r.plays());
    LivePlayback live(TwoFrames, r);
    EXPECT_EQ(live.frame(), -1);

    // The first copy is under way: the screen still shows nothing.
    live.advanceTo(r.frames[0].tstates - 1);
    EXPECT_EQ(live.frame(), -1);
    EXPECT_EQ(live.screen(), Screen{});
    live.advanceTo(r.frames[0].tstates);
    EXPECT_EQ(live.frame(), 0);
    EXPECT_EQ(live.screen(), r.frames[0].pixels);
    EXPECT_EQ(live.elapsed(), 0u);
    live.advanceTo(r.frames[1].tstates + 100);
    EXPECT_EQ(live.frame(), 1);
    EXPECT_EQ(live.elapsed(), r.frames[1].tstates + 100 - r.frames[0].tstates);
    // Round again: the first frame, at the start of the video.
    live.advanceTo(r.endTStates);
    EXPECT_EQ(live.frame(), 0);
    EXPECT_EQ(live.elapsed(), 0u);

    // A minute on, still playing, and the frames still in step.
    live.advanceTo(60 * CpuHz);
    EXPECT_EQ(live.state(), LivePlayback::State::Playing);
    EXPECT_EQ(live.screen(), r.frames[static_cast<std::size_t>(live.frame())].pixels);
    EXPECT_LE(live.elapsed(), r.totalTStates());

    live.restart();
    EXPECT_EQ(live.frame(), -1);
    live.advanceTo(r.frames[0].tstates);
    EXPECT_EQ(live.frame(), 0);
}

TEST(LivePlayback, ALongStepShowsEveryScreenOnTheWay)
{
    const Recording r = recordProgram(TwoFrames);
    LivePlayback live(TwoFrames, r);
    std::vector<int> frames;
    std::vector<std::uint64_t> elapsed;
    live.advanceTo(CpuHz, [&] {
        frames.push_back(live.frame());
        elapsed.push_back(live.elapsed());
        EXPECT_EQ(live.screen(), r.frames[static_cast<std::size_t>(live.frame())].pixels);
    });
    // A second of two-tick frames.
    ASSERT_NEAR(static_cast<double>(frames.size()), TimerHz / 2.0, 1.0);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(frames[i], static_cast<int>(i % 2)) << i;
        // Each at its own time, not at the end of the step.
        EXPECT_EQ(elapsed[i], r.frames[i % 2].tstates - r.frames[0].tstates) << i;
    }
    EXPECT_EQ(live.now(), CpuHz);
}

TEST(LivePlayback, ClearReachesTheProgramWhenPressed)
{
    const Recording r = recordProgram(TwoFrames);
    LivePlayback live(TwoFrames, r);
    const std::uint64_t pressed = 5 * CpuHz;
    live.advanceTo(pressed);
    const std::uint64_t changes = live.screenChanges();
    live.press(Key::Clear);
    // The program polls once a frame: it stops within a frame's time.
    live.advanceTo(pressed + r.duration(0) + r.duration(1));
    EXPECT_EQ(live.state(), LivePlayback::State::Ended);
    EXPECT_LE(live.screenChanges(), changes + 1);
    live.advanceTo(pressed + 10 * CpuHz);
    EXPECT_EQ(live.state(), LivePlayback::State::Ended);
}

TEST(LivePlayback, WaitsForAKeyAfterTheLastFrame)
{
    const Recording r = recordProgram(OneFrameThenKey);
    LivePlayback live(OneFrameThenKey, r);
    live.advanceTo(30 * CpuHz);
    EXPECT_EQ(live.state(), LivePlayback::State::WaitingForKey);
    EXPECT_EQ(live.frame(), 0);
    EXPECT_EQ(live.elapsed(), r.totalTStates());
    live.press(Key::Clear);
    live.advanceTo(31 * CpuHz);
    EXPECT_EQ(live.state(), LivePlayback::State::Ended);
}

TEST(LivePlayback, BrokenProgramFaultsWithItsReason)
{
    const std::vector<std::uint8_t> bytes = program({0xEF, 0x6A, 0x48, 0xC3, 0x00, 0xC0});
    LivePlayback live(bytes, recordProgram(bytes));
    live.advanceTo(CpuHz);
    EXPECT_EQ(live.state(), LivePlayback::State::Fault);
    EXPECT_NE(live.fault().find("at or above C000h"), std::string::npos) << live.fault();
    EXPECT_EQ(live.frame(), 0);
}

}  // namespace
}  // namespace zoetra::calc
