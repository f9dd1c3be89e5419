// Each model as its documents describe it: the ports a program reads, the
// timer at either CPU speed, paging through ports 6 and 7, the LCD driven
// directly, the faults, and every kind of state the loop detection keeps.
#include "TestPrograms.h"

#include "calc/Calculator.h"
#include "calc/Recording.h"

#include <gtest/gtest.h>

#include <optional>

namespace zoetra::calc {
namespace {

using test::AllModels;
using test::program;

constexpr std::uint64_t Budget = 2'000'000;

struct Played {
    Played(CalculatorModel model, const std::vector<std::uint8_t>& bytes) : calc(model)
    {
        calc.loadProgram(bytes);
        calc.start();
        stop = calc.run(Budget);
    }
    Calculator calc;
    Stop stop;
};

bool fast(CalculatorModel model)
{
    return model != CalculatorModel::Ti83Plus;
}

TEST(Models, PortsTwoAnd21hTellTheModelApart)
{
    // in a,(2) / ld (plotSScreen),a / ret
    const auto port2 = program({0xDB, 0x02, 0x32, 0x40, 0x93, 0xC9});
    // in a,(21h) / ld (plotSScreen),a / ret
    const auto port21 = program({0xDB, 0x21, 0x32, 0x40, 0x93, 0xC9});
    for (const CalculatorModel model : AllModels) {
        SCOPED_TRACE(std::string(modelFacts(model).name));
        Played two(model, port2);
        ASSERT_EQ(two.stop, Stop::Returned) << two.calc.fault();
        const std::uint8_t answer = two.calc.peek(PlotSScreen);
        // Bit 7: 15 MHz capable; only then bit 5: the TI-84 Plus's USB.
        EXPECT_EQ((answer & 0x80) != 0, fast(model));
        const bool is84 = model == CalculatorModel::Ti84Plus || model == CalculatorModel::Ti84PlusSe;
        if (fast(model)) {
            EXPECT_EQ((answer & 0x20) != 0, is84);
        }
        Played flash(model, port21);
        if (!fast(model)) {
            EXPECT_EQ(flash.stop, Stop::Fault);
            EXPECT_NE(flash.calc.fault().find("port 21h"), std::string::npos) << flash.calc.fault();
            continue;
        }
        ASSERT_EQ(flash.stop, Stop::Returned) << flash.calc.fault();
        // Bits 0-1: 0 on the TI-84 Plus (1 MB), 1 on the Silver Editions (2 MB).
        const bool silver = model != CalculatorModel::Ti84Plus;
        EXPECT_EQ(flash.calc.peek(PlotSScreen) & 3, silver ? 1 : 0);
    }
}

// Ticks a second over 100 halts, after `setup` (port writes).
double ticksPerSecond(CalculatorModel model, std::initializer_list<std::uint8_t> setup)
{
    std::vector<std::uint8_t> bytes = program(setup);
    // ld b,100 / loop: halt / djnz loop / ret
    for (const std::uint8_t b : {0x06, 100, 0x76, 0x10, 0xFD, 0xC9}) {
        bytes.push_back(b);
    }
    Calculator calc(model);
    calc.loadProgram(bytes);
    calc.start();
    // Up to the first tick, then 99 more.
    EXPECT_EQ(calc.runUntil(ProgramStart + static_cast<std::uint16_t>(setup.size()) + 3, Budget), Stop::ReachedAddress);
    const std::uint64_t first = calc.tstates();
    EXPECT_EQ(calc.run(Budget), Stop::Returned) << calc.fault();
    EXPECT_EQ(calc.halts(), 100u);
    return 99.0 / seconds(calc.tstates() - first);
}

TEST(Models, TheKeypadPortShowsAPressedKeyInItsGroup)
{
    // ld a,0FFh / out (1),a / ld a,GROUP / out (1),a / in a,(1) / ld (plotSScreen),a / ret
    const auto read = [](std::uint8_t group, std::optional<Key> key) {
        Calculator calc(CalculatorModel::Ti84PlusSe);
        calc.loadProgram(program({0x3E, 0xFF, 0xD3, 0x01, 0x3E, group, 0xD3, 0x01, 0xDB, 0x01, 0x32, 0x40, 0x93, 0xC9}));
        calc.start();
        if (key) {
            calc.press(*key);
        }
        EXPECT_EQ(calc.run(Budget), Stop::Returned) << calc.fault();
        return calc.peek(PlotSScreen);
    };
    EXPECT_EQ(read(0xFD, std::nullopt), 0xFF);
    EXPECT_EQ(read(0xFD, Key::Clear), 0xBF);  // bit 6
    EXPECT_EQ(read(0xFD, Key::Enter), 0xFE);  // bit 0
    EXPECT_EQ(read(0xFE, Key::Up), 0xF7);     // the arrows' group, bit 3
    EXPECT_EQ(read(0xFE, Key::Clear), 0xFF);  // another group's key
}

TEST(Models, TimerTicksAtTheModelsRateAtEitherSpeed)
{
    for (const CalculatorModel model : AllModels) {
        SCOPED_TRACE(std::string(modelFacts(model).name));
        const double slowest = fast(model) ? 107.8 : 118.0;
        EXPECT_NEAR(ticksPerSecond(model, {}), slowest, 0.2);
        // ld a,0 / out (4),a: the fastest rate.
        EXPECT_NEAR(ticksPerSecond(model, {0x3E, 0x00, 0xD3, 0x04}), fast(model) ? 512.0 : 560.0, 2.0);
        if (fast(model)) {
            // ld a,1 / out (20h),a: 15 MHz; the timer keeps its pace.
            EXPECT_NEAR(ticksPerSecond(model, {0x3E, 0x01, 0xD3, 0x20}), slowest, 0.2);
        }
    }
}

TEST(Models, FifteenMegahertzRunsTheSameCodeInTwoFifthsOfTheTime)
{
    // [ld a,1 / out (20h),a] / di / ld bc,0 / loop: dec bc / ld a,b / or c / jr nz,loop /
    // in a,(20h) / ld (plotSScreen),a / xor a / out (20h),a / ei / ret
    const std::initializer_list<std::uint8_t> loop = {0xF3, 0x01, 0x00, 0x00, 0x0B, 0x78, 0xB1, 0x20, 0xFB, 0xDB,
                                                      0x20, 0x32, 0x40, 0x93, 0xAF, 0xD3, 0x20, 0xFB, 0xC9};
    std::vector<std::uint8_t> slowBytes = program(loop);
    std::vector<std::uint8_t> fastBytes = program({0x3E, 0x01, 0xD3, 0x20});
    for (const std::uint8_t b : loop) {
        fastBytes.push_back(b);
    }
    Played slow(CalculatorModel::Ti84Plus, slowBytes);
    Played quick(CalculatorModel::Ti84Plus, fastBytes);
    ASSERT_EQ(slow.stop, Stop::Returned) << slow.calc.fault();
    ASSERT_EQ(quick.stop, Stop::Returned) << quick.calc.fault();
    EXPECT_EQ(slow.calc.peek(PlotSScreen), 0);
    EXPECT_EQ(quick.calc.peek(PlotSScreen), 1);
    EXPECT_EQ(quick.calc.exitState().cpuHz, 6'000'000u);
    const double ratio = static_cast<double>(quick.calc.tstates()) / static_cast<double>(slow.calc.tstates());
    EXPECT_NEAR(ratio, 0.4, 0.01);
}

TEST(Paging, Port6MapsFlashOrRamIntoBankA)
{
    for (const CalculatorModel model : AllModels) {
        SCOPED_TRACE(std::string(modelFacts(model).name));
        const std::uint8_t ramBit = fast(model) ? 0x80 : 0x40;
        // in a,(6) / ld (plotSScreen),a /
        // ld a,08h / out (6),a / ld a,(4001h) / ld (plotSScreen+1),a /
        // ld a,RAM 1 / out (6),a / ld a,(5340h) / ld (plotSScreen+2),a (the same byte) /
        // ld a,77h / ld (5341h),a (plotSScreen+1 through bank A) /
        // in a,(6) / ld (plotSScreen+3),a / ld a,1 / out (6),a / ret
        const auto bytes = program({0xDB, 0x06, 0x32, 0x40, 0x93, 0x3E, 0x08, 0xD3, 0x06, 0x3A, 0x01, 0x40, 0x32, 0x41,
                                    0x93, 0x3E, static_cast<std::uint8_t>(ramBit | 1), 0xD3, 0x06, 0x3A, 0x40, 0x53,
                                    0x32, 0x42, 0x93, 0x3E, 0x77, 0x32, 0x42, 0x53, 0xDB, 0x06, 0x32, 0x43, 0x93, 0x3E,
                                    0x01, 0xD3, 0x06, 0xC9});
        Calculator calc(model);
        calc.loadProgram(bytes);
        const std::uint8_t data[] = {1, 2, 3};
        ASSERT_TRUE(calc.loadAppVar("A", data, true));
        calc.start();
        ASSERT_EQ(calc.run(Budget), Stop::Returned) << calc.fault();
        EXPECT_EQ(calc.peek(PlotSScreen + 1), 0xFC);  // the entry's flag on page 08h
        EXPECT_EQ(calc.peek(PlotSScreen + 2), 0x77);  // written through bank A
        EXPECT_EQ(calc.peek(PlotSScreen + 3), ramBit | 1);
        EXPECT_EQ(calc.port6(), 1);
    }
}

TEST(Paging, Port7MapsAFlashPageIntoBankBWhileTheOsIsKeptOut)
{
    for (const CalculatorModel model : AllModels) {
        SCOPED_TRACE(std::string(modelFacts(model).name));
        const std::uint8_t ramBit = fast(model) ? 0x80 : 0x40;
        // The program's code runs from bank B, so a routine among its bytes
        // above C000h (RAM page 0) is run through bank A:
        // 9D95h: ld a,RAM 0 / out (6),a / call 4000h + (routine - C000h) / ld a,1 / out (6),a / ret
        // routine: di / ld a,08h / out (7),a / ld a,(8001h) / ld (4000h + (result - C000h)),a /
        //          ld a,RAM 1 / out (7),a / ei / ret
        std::vector<std::uint8_t> bytes =
            program({0x3E, ramBit, 0xD3, 0x06, 0xCD, 0x00, 0x40, 0x3E, 0x01, 0xD3, 0x06, 0xC9});
        bytes.resize(0xC000 - ProgramOrigin, 0);
        const std::vector<std::uint8_t> routine = {0xF3, 0x3E, 0x08, 0xD3, 0x07, 0x3A, 0x01, 0x80, 0x32,
                                                   0x20, 0x40, 0x3E, static_cast<std::uint8_t>(ramBit | 1),
                                                   0xD3, 0x07, 0xFB, 0xC9};
        bytes.insert(bytes.end(), routine.begin(), routine.end());
        bytes.resize(0xC021 - ProgramOrigin, 0);
        Calculator calc(model);
        calc.loadProgram(bytes);
        const std::uint8_t data[] = {1};
        ASSERT_TRUE(calc.loadAppVar("B", data, true));
        calc.start();
        ASSERT_EQ(calc.run(Budget), Stop::Returned) << calc.fault();
        EXPECT_EQ(calc.peek(0xC020), 0xFC);
        EXPECT_EQ(calc.port7(), ramBit | 1);

        // The same routine with interrupts on: the OS's handler would run
        // with Flash where its RAM belongs.
        bytes[0xC000 - ProgramOrigin] = 0x00;  // nop for di
        bytes[0xC000 - ProgramOrigin + 5] = 0x76;  // halt for the read
        bytes[0xC000 - ProgramOrigin + 6] = 0x00;
        bytes[0xC000 - ProgramOrigin + 7] = 0x00;
        Played tick(model, bytes);
        EXPECT_EQ(tick.stop, Stop::Fault);
        EXPECT_NE(tick.calc.fault().find("port 7"), std::string::npos) << tick.calc.fault();
    }
}

TEST(Faults, WhatTheHardwareForbidsStopsTheRun)
{
    struct Case {
        const char* what;
        CalculatorModel model;
        std::vector<std::uint8_t> bytes;
        const char* fault;
    };
    const std::vector<Case> cases = {
        // ld a,1 / out (20h),a
        {"speed port on a TI-83 Plus", CalculatorModel::Ti83Plus, program({0x3E, 0x01, 0xD3, 0x20, 0xC9}),
         "port 20h is the link port on a TI-83 Plus"},
        // ld a,08h / out (6),a / ld (4100h),a
        {"write to Flash in bank A", CalculatorModel::Ti84Plus, program({0x3E, 0x08, 0xD3, 0x06, 0x32, 0x00, 0x41, 0xC9}),
         "write of 08h to 4100h, in Flash page 08h"},
        // ld a,08h / out (6),a / jp 4000h
        {"code in Flash in bank A", CalculatorModel::Ti83PlusSe, program({0x3E, 0x08, 0xD3, 0x06, 0xC3, 0x00, 0x40}),
         "instruction fetched at 4000h, in Flash page 08h in bank A"},
        // ld a,08h / out (7),a: the next instruction comes from Flash
        {"code in Flash in bank B", CalculatorModel::Ti83Plus, program({0x3E, 0x08, 0xD3, 0x07, 0x00, 0xC9}),
         "in Flash page 08h in bank B"},
        // ld a,1 / out (10h),a / out (10h),a: 11 T-states apart, under 10 us
        {"the LCD driven too fast", CalculatorModel::Ti84PlusSe, program({0x3E, 0x01, 0xD3, 0x10, 0xD3, 0x10, 0xC9}),
         "LCD accessed 1 us after the last; it needs 10 us"},
        {"unknown port", CalculatorModel::Ti84PlusSe, program({0xDB, 0x05, 0xC9}), "read from port 05h"},
        {"memory map mode 1", CalculatorModel::Ti83Plus, program({0x3E, 0x07, 0xD3, 0x04, 0xC9}), "memory map mode 1"},
        {"unknown call", CalculatorModel::Ti84Plus, program({0xEF, 0xD8, 0x4F, 0xC9}), "unknown system call 4FD8h"},
        // ld hl,7FFFh / ld b,08h / bcall(_LoadDEIndPaged)
        {"a paged word across a page end", CalculatorModel::Ti83Plus,
         program({0x21, 0xFF, 0x7F, 0x06, 0x08, 0xEF, 0x1A, 0x50, 0xC9}), "_LoadDEIndPaged given 7FFFh"},
        // ld hl,4000h / bcall(_PutS): the OS's own page is in bank A then
        {"an OS pointer into bank A", CalculatorModel::Ti83Plus, program({0x21, 0x00, 0x40, 0xEF, 0x0A, 0x45, 0xC9}),
         "_PutS given 4000h"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Played r(c.model, c.bytes);
        EXPECT_EQ(r.stop, Stop::Fault);
        EXPECT_NE(r.calc.fault().find(c.fault), std::string::npos) << r.calc.fault();
    }
}

TEST(Lcd, AProgramDrivingTheLcdIsRecordedLikeOneCallingGrBufCpy)
{
    const std::vector<std::uint8_t> bytes = test::assembled("LCDCOPY.z80");
    ASSERT_FALSE(bytes.empty());
    for (const CalculatorModel model : AllModels) {
        SCOPED_TRACE(std::string(modelFacts(model).name));
        Played r(model, bytes);
        ASSERT_EQ(r.stop, Stop::Returned) << r.calc.fault();
        // Copied twice: two screens, the second the inverse of the first.
        ASSERT_EQ(r.calc.screens().size(), 2u);
        Screen inverse = r.calc.plotSScreen();
        for (std::uint8_t& b : inverse) {
            b = static_cast<std::uint8_t>(~b);
        }
        EXPECT_EQ(r.calc.screens()[0].pixels, inverse);
        EXPECT_EQ(r.calc.screens()[1].pixels, r.calc.plotSScreen());
        EXPECT_EQ(r.calc.lcd(), r.calc.plotSScreen());
        EXPECT_TRUE(r.calc.systemCalls().empty());
    }
}

// A program that rewrites only part of the LCD shows a picture with each run
// of writes: a run ends where the LCD is left alone for a millisecond, or
// where the program returns. Each picture is stamped with its last write.
TEST(Lcd, EachRunOfPartialWritesIsOnePicture)
{
    const std::vector<std::uint8_t> bytes = test::assembled("LCDPART.z80");
    ASSERT_FALSE(bytes.empty());
    for (const CalculatorModel model : {CalculatorModel::Ti83Plus, CalculatorModel::Ti84PlusSe}) {
        SCOPED_TRACE(std::string(modelFacts(model).name));
        Played r(model, bytes);
        ASSERT_EQ(r.stop, Stop::Returned) << r.calc.fault();
        ASSERT_EQ(r.calc.screens().size(), 2u);
        Screen first{};
        for (int row = 0; row < 8; ++row) {
            first[static_cast<std::size_t>(row * 12)] = 0xFF;
            first[static_cast<std::size_t>(row * 12 + 1)] = 0x81;
        }
        EXPECT_EQ(r.calc.screens()[0].pixels, first);
        Screen second = first;
        for (int row = 56; row < 64; ++row) {
            second[static_cast<std::size_t>(row * 12 + 11)] = 0x3C;
        }
        EXPECT_EQ(r.calc.screens()[1].pixels, second);
        EXPECT_EQ(r.calc.lcd(), second);
        // The first picture's stamp is its last write, before the pause of
        // about 2 ms; the second's comes at the program's end.
        const std::uint64_t gap = r.calc.screens()[1].tstates - r.calc.screens()[0].tstates;
        EXPECT_GT(gap, 2 * 6'000u);
        EXPECT_LT(gap, 4 * 6'000u);
    }
}

TEST(LoopDetection, EveryStateAProgramKeepsCountsForTheLoop)
{
    // Each program shows the same picture forever, toggling one piece of
    // state between screens: it repeats after two screens, not one.
    // loop: <toggle> / bcall(_GrBufCpy) / jr loop
    struct Case {
        const char* what;
        CalculatorModel model;
        std::vector<std::uint8_t> toggle;
    };
    const auto toggleByte = [](std::uint16_t address) {
        // ld a,(address) / xor 1 / ld (address),a
        const auto low = static_cast<std::uint8_t>(address & 0xFF);
        const auto high = static_cast<std::uint8_t>(address >> 8);
        return std::vector<std::uint8_t>{0x3A, low, high, 0xEE, 0x01, 0x32, low, high};
    };
    const std::vector<Case> cases = {
        {"the I register", CalculatorModel::Ti83Plus, {0xED, 0x57, 0xEE, 0x01, 0xED, 0x47}},
        {"memory below SP", CalculatorModel::Ti83Plus, toggleByte(0xFE80)},
        {"port 6", CalculatorModel::Ti83Plus, {0xDB, 0x06, 0xEE, 0x01, 0xD3, 0x06}},
        {"the CPU speed", CalculatorModel::Ti84Plus, {0xDB, 0x20, 0xEE, 0x01, 0xD3, 0x20}},
        {"OP1", CalculatorModel::Ti83Plus, toggleByte(ram::Op1 + 3)},
        {"saveSScreen", CalculatorModel::Ti83Plus, toggleByte(ram::SaveSScreen + 700)},
        {"appBackUpScreen", CalculatorModel::Ti83Plus, toggleByte(ram::AppBackUpScreen)},
        {"statVars", CalculatorModel::Ti83Plus, toggleByte(ram::StatVars + 500)},
        {"textShadow", CalculatorModel::Ti83Plus, toggleByte(ram::TextShadow + 100)},
        {"curCol", CalculatorModel::Ti83Plus, toggleByte(ram::CurCol)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::uint8_t> bytes = program({});
        for (const std::uint8_t b : c.toggle) {
            bytes.push_back(b);
        }
        for (const std::uint8_t b : {0xEF, 0x6A, 0x48, 0x18}) {
            bytes.push_back(b);
        }
        bytes.push_back(static_cast<std::uint8_t>(-(static_cast<int>(c.toggle.size()) + 5)));
        const Recording r = recordProgram(bytes, {c.model, {}});
        ASSERT_EQ(r.end, Recording::End::Loops) << r.fault;
        EXPECT_EQ(r.frames.size(), 2u);
        EXPECT_EQ(r.loopStart, 0u);
    }
}

}  // namespace
}  // namespace zoetra::calc
