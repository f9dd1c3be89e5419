// The harness itself: each rule a program can break is caught.
#include "Z80Harness.h"

#include "devpac8x/ProgramFile.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

namespace z80test {
namespace {

constexpr std::uint64_t Budget = 100000;

// A program: the two token bytes, then the code at 9D95h.
std::vector<std::uint8_t> program(std::initializer_list<std::uint8_t> code)
{
    std::vector<std::uint8_t> bytes = {0xBB, 0x6D};
    for (const std::uint8_t b : code) {
        bytes.push_back(b);
    }
    return bytes;
}

struct Started {
    explicit Started(const std::vector<std::uint8_t>& bytes)
    {
        harness.loadProgram(bytes);
        harness.start();
    }
    Z80Harness harness;
};

TEST(Z80Harness, PlainReturnEndsTheRun)
{
    Started r(program({0xC9}));  // ret
    EXPECT_EQ(r.harness.run(Budget), Stop::Returned) << r.harness.fault();
    EXPECT_EQ(r.harness.sp(), CallerStackPointer);
    EXPECT_TRUE(r.harness.screens().empty());
    EXPECT_EQ(r.harness.programTStates(), 10u);
}

TEST(Z80Harness, CountsTheProgramsTStates)
{
    // ld b,10 / djnz $ / ret: 7 + 9 x 13 + 8 + 10
    Started r(program({0x06, 0x0A, 0x10, 0xFE, 0xC9}));
    EXPECT_EQ(r.harness.run(Budget), Stop::Returned) << r.harness.fault();
    EXPECT_EQ(r.harness.programTStates(), 142u);
    EXPECT_EQ(r.harness.highestExecuted(), ProgramStart + 4);
}

TEST(Z80Harness, RecordsEveryScreenCopy)
{
    // ld hl,plotSScreen / ld (hl),0AAh / bcall(_GrBufCpy) / inc (hl) / bcall(_GrBufCpy) / ret
    Started r(program({0x21, 0x40, 0x93, 0x36, 0xAA, 0xEF, 0x6A, 0x48, 0x21, 0x40, 0x93, 0x34, 0xEF, 0x6A, 0x48, 0xC9}));
    ASSERT_EQ(r.harness.run(Budget), Stop::Returned) << r.harness.fault();
    ASSERT_EQ(r.harness.screens().size(), 2u);
    EXPECT_EQ(r.harness.screens()[0].pixels[0], 0xAA);
    EXPECT_EQ(r.harness.screens()[1].pixels[0], 0xAB);
    // The rest of the buffer is the RAM pattern the run started with.
    EXPECT_EQ(r.harness.screens()[0].pixels[767], Z80Harness::fillPattern(PlotSScreen + 767));
    EXPECT_EQ(r.harness.lcd(), r.harness.screens()[1].pixels);
    EXPECT_EQ(r.harness.systemCalls(), (std::vector<std::uint16_t>{bcall::GrBufCpy, bcall::GrBufCpy}));
}

TEST(Z80Harness, EveryHaltTakesOneTimerInterrupt)
{
    // ld b,3 / loop: halt / djnz loop / ret
    Started r(program({0x06, 0x03, 0x76, 0x10, 0xFD, 0xC9}));
    EXPECT_EQ(r.harness.run(Budget), Stop::Returned) << r.harness.fault();
    EXPECT_EQ(r.harness.halts(), 3u);
}

TEST(Z80Harness, GetCscReportsClearAfterTheChosenScreens)
{
    // loop: bcall(_GrBufCpy) / bcall(_GetCSC) / cp 0Fh / jr nz,loop / ret
    const auto bytes = program({0xEF, 0x6A, 0x48, 0xEF, 0x18, 0x40, 0xFE, 0x0F, 0x20, 0xF6, 0xC9});
    Started r(bytes);
    r.harness.setClearAfterScreens(3);
    EXPECT_EQ(r.harness.run(Budget), Stop::Returned) << r.harness.fault();
    EXPECT_EQ(r.harness.screens().size(), 3u);
    EXPECT_EQ(r.harness.callCount(bcall::GetCSC), 3u);

    Started never(bytes);
    EXPECT_EQ(never.harness.run(Budget), Stop::BudgetExhausted);
}

TEST(Z80Harness, OsCallsActOnScreenAndBuffer)
{
    // bcall(_GrBufCpy) / bcall(_GrBufClr) / bcall(_RunIndicOff) / bcall(_ClrLCDFull) / bcall(_HomeUp) /
    // bcall(_GetKey) / ld (plotSScreen),a / ret
    Started r(program({0xEF, 0x6A, 0x48, 0xEF, 0xD0, 0x4B, 0xEF, 0x70, 0x45, 0xEF, 0x40, 0x45, 0xEF, 0x58, 0x45,
                   0xEF, 0x72, 0x49, 0x32, 0x40, 0x93, 0xC9}));
    r.harness.setGetKeyResult(0x09);
    ASSERT_EQ(r.harness.run(Budget), Stop::Returned) << r.harness.fault();
    EXPECT_NE(r.harness.screens().at(0).pixels, Screen{});
    EXPECT_EQ(r.harness.lcd(), Screen{});
    Screen expected{};
    expected[0] = 0x09;
    EXPECT_EQ(r.harness.plotSScreen(), expected);
    EXPECT_FALSE(r.harness.runIndicatorOn());
    EXPECT_TRUE(r.harness.cursorHome());
    EXPECT_FALSE(r.harness.textShadowCleared());
}

TEST(Z80Harness, SystemCallsKeepNoRegisters)
{
    // ld hl,1234h / bcall(_HomeUp) / ld (plotSScreen),hl / ret: a program that
    // trusts HL across a call sees a different value.
    Started r(program({0x21, 0x34, 0x12, 0xEF, 0x58, 0x45, 0x22, 0x40, 0x93, 0xC9}));
    ASSERT_EQ(r.harness.run(Budget), Stop::Returned) << r.harness.fault();
    EXPECT_FALSE(r.harness.peek(PlotSScreen) == 0x34 && r.harness.peek(PlotSScreen + 1) == 0x12);
}

TEST(Z80Harness, GraphDrawMayOnlyBeSet)
{
    Started set(program({0xFD, 0xCB, 0x03, 0xC6, 0xC9}));  // set 0,(iy+3) / ret
    EXPECT_EQ(set.harness.run(Budget), Stop::Returned) << set.harness.fault();
    EXPECT_EQ(set.harness.peek(GraphFlags) & 1, 1);

    Started other(program({0xFD, 0xCB, 0x03, 0xCE, 0xC9}));  // set 1,(iy+3) / ret
    EXPECT_EQ(other.harness.run(Budget), Stop::Fault);
}

TEST(Z80Harness, FaultsStopTheRun)
{
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
        const char* fault;
    };
    const std::vector<Case> cases = {
        {"write outside the allowed areas", program({0x3E, 0x01, 0x32, 0x00, 0x80, 0xC9}), "write of 01h to 8000h"},
        {"write to ROM", program({0x32, 0x00, 0x10, 0xC9}), "to 1000h"},
        {"overwritten return address", program({0xE3, 0xC9}), "to FFF0h"},
        {"code at C000h", program({0xC3, 0x00, 0xC0}), "at or above C000h"},
        {"jump into ROM", program({0xC3, 0x00, 0x10}), "execution in ROM"},
        {"IY changed at a call", program({0xFD, 0x21, 0x00, 0x00, 0xEF, 0x6A, 0x48, 0xC9}), "with IY 0000h"},
        {"IY changed at an interrupt", program({0xFD, 0x23, 0x76, 0xC9}), "interrupt with IY"},
        {"unknown system call", program({0xEF, 0x34, 0x12, 0xC9}), "unknown system call 1234h"},
        {"port output", program({0x3E, 0xFF, 0xD3, 0x01, 0xC9}), "write to port 01h"},
        {"port input", program({0xDB, 0x01, 0xC9}), "read from port 01h"},
        {"halt with interrupts off", program({0xF3, 0x76, 0xC9}), "interrupts disabled"},
        {"stack left unbalanced", program({0x21, 0xFA, 0x3F, 0xE5, 0xC9}), "with SP FFF0h"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Started r(c.bytes);
        EXPECT_EQ(r.harness.run(Budget), Stop::Fault);
        EXPECT_NE(r.harness.fault().find(c.fault), std::string::npos) << r.harness.fault();
    }
}

TEST(Z80Harness, EndlessLoopRunsOutOfBudget)
{
    Started r(program({0x18, 0xFE}));  // jr $
    EXPECT_EQ(r.harness.run(1000), Stop::BudgetExhausted);
    EXPECT_EQ(r.harness.steps(), 1000u);
}

TEST(Z80Harness, RunUntilStopsAtTheAddress)
{
    Started r(program({0x00, 0x00, 0xC9}));  // nop / nop / ret
    EXPECT_EQ(r.harness.runUntil(ProgramStart + 2, Budget), Stop::ReachedAddress);
    EXPECT_EQ(r.harness.steps(), 2u);
    EXPECT_EQ(r.harness.run(Budget), Stop::Returned);
}

TEST(Z80Harness, StartsAtAShellsEntryAndTracksTheDataRead)
{
    // 9D95h: ret (a direct run ends here) / 9D96h: ld a,(9D9Ah) / ret / 55h / 66h
    Z80Harness harness;
    harness.loadProgram(program({0xC9, 0x3A, 0x9A, 0x9D, 0xC9, 0x55, 0x66}));
    harness.start(ProgramStart + 1);
    EXPECT_EQ(harness.run(Budget), Stop::Returned) << harness.fault();
    EXPECT_EQ(harness.steps(), 2u);
    // The byte after the one loaded is never touched; stack reads do not count.
    EXPECT_EQ(harness.highestDataRead(), 0x9D9A);
}

TEST(Z80Harness, LoadsTheProgramOfA8xpFile)
{
    const std::vector<std::uint8_t> bytes = program({0x3E, 0x42, 0x32, 0x40, 0x93, 0xC9});  // ld a,42h / ld (plotSScreen),a
    Z80Harness harness;
    std::string error;
    ASSERT_TRUE(harness.loadProgramFile(devpac8x::makeProgramFile("T", bytes), &error)) << error;
    harness.start();
    EXPECT_EQ(harness.run(Budget), Stop::Returned) << harness.fault();
    EXPECT_EQ(harness.peek(PlotSScreen), 0x42);

    std::vector<std::uint8_t> broken = devpac8x::makeProgramFile("T", bytes);
    broken.pop_back();
    EXPECT_FALSE(Z80Harness().loadProgramFile(broken, &error));
    EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace z80test
