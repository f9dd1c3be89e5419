// The emulated calculator: each rule a program can break is caught, and
// time runs as on the calculator.
#include "calc/Calculator.h"

#include "devpac8x/ProgramFile.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

namespace zoetra::calc {
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
        calc.loadProgram(bytes);
        calc.start();
    }
    Calculator calc;
};

TEST(Calculator, PlainReturnEndsTheRun)
{
    Started r(program({0xC9}));  // ret
    EXPECT_EQ(r.calc.run(Budget), Stop::Returned) << r.calc.fault();
    EXPECT_EQ(r.calc.sp(), CallerStackPointer);
    EXPECT_TRUE(r.calc.screens().empty());
    EXPECT_EQ(r.calc.programTStates(), 10u);
}

TEST(Calculator, CountsTheProgramsTStates)
{
    // ld b,10 / djnz $ / ret: 7 + 9 x 13 + 8 + 10
    Started r(program({0x06, 0x0A, 0x10, 0xFE, 0xC9}));
    EXPECT_EQ(r.calc.run(Budget), Stop::Returned) << r.calc.fault();
    EXPECT_EQ(r.calc.programTStates(), 142u);
    EXPECT_EQ(r.calc.highestExecuted(), ProgramStart + 4);
}

TEST(Calculator, RecordsEveryScreenCopy)
{
    // ld hl,plotSScreen / ld (hl),0AAh / bcall(_GrBufCpy) / inc (hl) / bcall(_GrBufCpy) / ret
    Started r(program({0x21, 0x40, 0x93, 0x36, 0xAA, 0xEF, 0x6A, 0x48, 0x21, 0x40, 0x93, 0x34, 0xEF, 0x6A, 0x48, 0xC9}));
    ASSERT_EQ(r.calc.run(Budget), Stop::Returned) << r.calc.fault();
    ASSERT_EQ(r.calc.screens().size(), 2u);
    EXPECT_EQ(r.calc.screens()[0].pixels[0], 0xAA);
    EXPECT_EQ(r.calc.screens()[1].pixels[0], 0xAB);
    // The rest of the buffer is the RAM pattern the run started with.
    EXPECT_EQ(r.calc.screens()[0].pixels[767], Calculator::fillPattern(PlotSScreen + 767));
    EXPECT_EQ(r.calc.lcd(), r.calc.screens()[1].pixels);
    EXPECT_EQ(r.calc.systemCalls(), (std::vector<std::uint16_t>{bcall::GrBufCpy, bcall::GrBufCpy}));
}

TEST(Calculator, EveryHaltTakesOneTimerInterrupt)
{
    // ld b,3 / loop: halt / djnz loop / ret
    Started r(program({0x06, 0x03, 0x76, 0x10, 0xFD, 0xC9}));
    EXPECT_EQ(r.calc.run(Budget), Stop::Returned) << r.calc.fault();
    EXPECT_EQ(r.calc.halts(), 3u);
}

// rst 28h is 11 T-states; the interrupt (IM 1) 13, the OS handler's work
// its allowance, and its ei and ret 14.
constexpr std::uint64_t Rst = 11;
constexpr std::uint64_t Interrupt = 13 + InterruptHandlerTStates + 4 + 10;

TEST(Calculator, HaltSleepsUntilTheNextTimerTick)
{
    // halt / ret
    Started r(program({0x76, 0xC9}));
    EXPECT_EQ(r.calc.run(Budget), Stop::Returned) << r.calc.fault();
    EXPECT_EQ(r.calc.tstates(), TimerPeriodTStates + Interrupt + 10);
    EXPECT_EQ(r.calc.programTStates(), 4u + 10u);

    // 118 halts in a row take one second of 6 MHz T-states, and the last
    // interrupt.
    // ld b,118 / loop: halt / djnz loop / ret
    Started second(program({0x06, 118, 0x76, 0x10, 0xFD, 0xC9}));
    EXPECT_EQ(second.calc.run(Budget), Stop::Returned) << second.calc.fault();
    EXPECT_EQ(second.calc.halts(), 118u);
    EXPECT_GE(second.calc.tstates(), CpuHz - CpuHz % TimerPeriodTStates);
    EXPECT_LT(second.calc.tstates(), CpuHz + Interrupt);
}

TEST(Calculator, TimerInterruptsTheProgramWhereverItIs)
{
    // ld bc,0 / loop: dec bc / ld a,b / or c / jr nz,loop / ret: 65,536 rounds
    // of 6 + 4 + 4 + 12 T-states, about 33 ticks, every one taken.
    Started on(program({0x01, 0x00, 0x00, 0x0B, 0x78, 0xB1, 0x20, 0xFB, 0xC9}));
    EXPECT_EQ(on.calc.run(10'000'000), Stop::Returned) << on.calc.fault();
    EXPECT_EQ(on.calc.interrupts(), on.calc.tstates() / TimerPeriodTStates);
    EXPECT_EQ(on.calc.halts(), 0u);

    // di / the same loop / ei / nop / ret: the ticks missed meanwhile come
    // as one interrupt once the program allows it.
    Started off(program({0xF3, 0x01, 0x00, 0x00, 0x0B, 0x78, 0xB1, 0x20, 0xFB, 0xFB, 0x00, 0xC9}));
    EXPECT_EQ(off.calc.run(10'000'000), Stop::Returned) << off.calc.fault();
    EXPECT_EQ(off.calc.interrupts(), 1u);
}

TEST(Calculator, ScreenCopyTakesAboutOneTimerTick)
{
    // bcall(_GrBufCpy) / bcall(_GrBufCpy) / ret
    Started r(program({0xEF, 0x6A, 0x48, 0xEF, 0x6A, 0x48, 0xC9}));
    ASSERT_EQ(r.calc.run(Budget), Stop::Returned) << r.calc.fault();
    ASSERT_EQ(r.calc.screens().size(), 2u);
    EXPECT_EQ(r.calc.screens()[0].tstates, Rst + LcdFullWriteTStates);
    // The tick that came during the first copy was taken after it.
    EXPECT_EQ(r.calc.screens()[1].tstates, 2 * (Rst + LcdFullWriteTStates) + Interrupt);
    EXPECT_EQ(r.calc.interrupts(), 2u);
    EXPECT_GT(LcdFullWriteTStates, TimerPeriodTStates * 9 / 10);
    EXPECT_LT(LcdFullWriteTStates, TimerPeriodTStates * 11 / 10);
}

TEST(Calculator, ProgramShowingNoFrameFaultsAfterTenSeconds)
{
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
        const char* fault;
    };
    const std::vector<Case> cases = {
        {"endless loop", program({0x18, 0xFE}), "no frame shown within 10 seconds"},
        {"endless halts", program({0x76, 0x18, 0xFD}), "no frame shown within 10 seconds"},
        // bcall(_GrBufCpy) / jr $
        {"one frame, then a loop", program({0xEF, 0x6A, 0x48, 0x18, 0xFE}), "no new frame for 10 seconds after frame 1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Started r(c.bytes);
        EXPECT_EQ(r.calc.run(100'000'000), Stop::Fault);
        EXPECT_NE(r.calc.fault().find(c.fault), std::string::npos) << r.calc.fault();
        EXPECT_GE(seconds(r.calc.tstates()), 10.0);
        EXPECT_LT(seconds(r.calc.tstates()), 10.1);
    }
}

TEST(Calculator, GetKeyWaitsForAKeyWithoutEndingTheRun)
{
    // bcall(_GetKey) / ld (plotSScreen),a / ret
    Started r(program({0xEF, 0x72, 0x49, 0x32, 0x40, 0x93, 0xC9}));
    EXPECT_EQ(r.calc.run(Budget), Stop::WaitingForKey);
    EXPECT_TRUE(r.calc.systemCalls().empty());
    // A minute later, no key yet: still waiting, no fault.
    EXPECT_EQ(r.calc.runUntilTime(60 * CpuHz), Stop::WaitingForKey);
    EXPECT_EQ(r.calc.tstates(), 60 * CpuHz);
    r.calc.press(Key::Enter);
    EXPECT_EQ(r.calc.run(Budget), Stop::Returned) << r.calc.fault();
    EXPECT_EQ(r.calc.peek(PlotSScreen), keyCode(Key::Enter));
    EXPECT_EQ(r.calc.systemCalls(), std::vector<std::uint16_t>{bcall::GetKey});
}

TEST(Calculator, GetCscReportsAPressedKeyOnce)
{
    // bcall(_GetCSC) / ld (plotSScreen),a / bcall(_GetCSC) / ld (plotSScreen+1),a / ret
    Started r(program({0xEF, 0x18, 0x40, 0x32, 0x40, 0x93, 0xEF, 0x18, 0x40, 0x32, 0x41, 0x93, 0xC9}));
    r.calc.press(Key::Clear);
    EXPECT_EQ(r.calc.run(Budget), Stop::Returned) << r.calc.fault();
    EXPECT_EQ(r.calc.peek(PlotSScreen), ScanClear);
    EXPECT_EQ(r.calc.peek(PlotSScreen + 1), 0);
    for (const Key key : {Key::Enter, Key::Clear, Key::Up, Key::Down, Key::Left, Key::Right}) {
        EXPECT_NE(scanCode(key), 0);
        EXPECT_NE(keyCode(key), 0);
    }
    EXPECT_EQ(scanCode(Key::Enter), 0x09);
    EXPECT_EQ(keyCode(Key::Clear), 0x09);
}

TEST(Calculator, GetCscReportsClearAfterTheChosenScreens)
{
    // loop: bcall(_GrBufCpy) / bcall(_GetCSC) / cp 0Fh / jr nz,loop / ret
    const auto bytes = program({0xEF, 0x6A, 0x48, 0xEF, 0x18, 0x40, 0xFE, 0x0F, 0x20, 0xF6, 0xC9});
    Started r(bytes);
    r.calc.pressAfterScreens(Key::Clear, 3);
    EXPECT_EQ(r.calc.run(Budget), Stop::Returned) << r.calc.fault();
    EXPECT_EQ(r.calc.screens().size(), 3u);
    EXPECT_EQ(r.calc.callCount(bcall::GetCSC), 3u);

    Started never(bytes);
    EXPECT_EQ(never.calc.run(Budget), Stop::BudgetExhausted);
}

TEST(Calculator, OsCallsActOnScreenAndBuffer)
{
    // bcall(_GrBufCpy) / bcall(_GrBufClr) / bcall(_RunIndicOff) / bcall(_ClrLCDFull) / bcall(_HomeUp) /
    // bcall(_GetKey) / ld (plotSScreen),a / ret
    Started r(program({0xEF, 0x6A, 0x48, 0xEF, 0xD0, 0x4B, 0xEF, 0x70, 0x45, 0xEF, 0x40, 0x45, 0xEF, 0x58, 0x45,
                   0xEF, 0x72, 0x49, 0x32, 0x40, 0x93, 0xC9}));
    r.calc.press(Key::Clear);  // _GetKey returns kClear, 09h
    ASSERT_EQ(r.calc.run(Budget), Stop::Returned) << r.calc.fault();
    EXPECT_NE(r.calc.screens().at(0).pixels, Screen{});
    EXPECT_EQ(r.calc.lcd(), Screen{});
    Screen expected{};
    expected[0] = 0x09;
    EXPECT_EQ(r.calc.plotSScreen(), expected);
    EXPECT_FALSE(r.calc.runIndicatorOn());
    EXPECT_TRUE(r.calc.cursorHome());
    EXPECT_FALSE(r.calc.textShadowCleared());
}

TEST(Calculator, SystemCallsKeepNoRegisters)
{
    // ld hl,1234h / bcall(_HomeUp) / ld (plotSScreen),hl / ret: a program that
    // trusts HL across a call sees a different value.
    Started r(program({0x21, 0x34, 0x12, 0xEF, 0x58, 0x45, 0x22, 0x40, 0x93, 0xC9}));
    ASSERT_EQ(r.calc.run(Budget), Stop::Returned) << r.calc.fault();
    EXPECT_FALSE(r.calc.peek(PlotSScreen) == 0x34 && r.calc.peek(PlotSScreen + 1) == 0x12);
}

TEST(Calculator, GraphDrawMayOnlyBeSet)
{
    Started set(program({0xFD, 0xCB, 0x03, 0xC6, 0xC9}));  // set 0,(iy+3) / ret
    EXPECT_EQ(set.calc.run(Budget), Stop::Returned) << set.calc.fault();
    EXPECT_EQ(set.calc.peek(GraphFlags) & 1, 1);

    Started other(program({0xFD, 0xCB, 0x03, 0xCE, 0xC9}));  // set 1,(iy+3) / ret
    EXPECT_EQ(other.calc.run(Budget), Stop::Fault);
}

TEST(Calculator, FaultsStopTheRun)
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
        {"port output", program({0x3E, 0xFF, 0xD3, 0x0C, 0xC9}), "write to port 0Ch"},
        {"port input", program({0xDB, 0x0C, 0xC9}), "read from port 0Ch"},
        {"halt with interrupts off", program({0xF3, 0x76, 0xC9}), "interrupts disabled"},
        {"stack left unbalanced", program({0x21, 0xFA, 0x3F, 0xE5, 0xC9}), "with SP FFF0h"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Started r(c.bytes);
        EXPECT_EQ(r.calc.run(Budget), Stop::Fault);
        EXPECT_NE(r.calc.fault().find(c.fault), std::string::npos) << r.calc.fault();
    }
}

TEST(Calculator, EndlessLoopRunsOutOfBudget)
{
    Started r(program({0x18, 0xFE}));  // jr $
    EXPECT_EQ(r.calc.run(1000), Stop::BudgetExhausted);
    EXPECT_EQ(r.calc.steps(), 1000u);
}

TEST(Calculator, RunUntilStopsAtTheAddress)
{
    Started r(program({0x00, 0x00, 0xC9}));  // nop / nop / ret
    EXPECT_EQ(r.calc.runUntil(ProgramStart + 2, Budget), Stop::ReachedAddress);
    EXPECT_EQ(r.calc.steps(), 2u);
    EXPECT_EQ(r.calc.run(Budget), Stop::Returned);
}

TEST(Calculator, StartsAtAShellsEntryAndTracksTheDataRead)
{
    // 9D95h: ret (a direct run ends here) / 9D96h: ld a,(9D9Ah) / ret / 55h / 66h
    Calculator calc;
    calc.loadProgram(program({0xC9, 0x3A, 0x9A, 0x9D, 0xC9, 0x55, 0x66}));
    calc.start(ProgramStart + 1);
    EXPECT_EQ(calc.run(Budget), Stop::Returned) << calc.fault();
    EXPECT_EQ(calc.steps(), 2u);
    // The byte after the one loaded is never touched; stack reads do not count.
    EXPECT_EQ(calc.highestDataRead(), 0x9D9A);
}

TEST(Calculator, LoadsTheProgramOfA8xpFile)
{
    const std::vector<std::uint8_t> bytes = program({0x3E, 0x42, 0x32, 0x40, 0x93, 0xC9});  // ld a,42h / ld (plotSScreen),a
    Calculator calc;
    std::string error;
    ASSERT_TRUE(calc.loadProgramFile(devpac8x::makeProgramFile("T", bytes), &error)) << error;
    calc.start();
    EXPECT_EQ(calc.run(Budget), Stop::Returned) << calc.fault();
    EXPECT_EQ(calc.peek(PlotSScreen), 0x42);

    std::vector<std::uint8_t> broken = devpac8x::makeProgramFile("T", bytes);
    broken.pop_back();
    EXPECT_FALSE(Calculator().loadProgramFile(broken, &error));
    EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace zoetra::calc
