// Sound on the emulated calculator: the crystal timers as their documents
// describe them, the link port's lines with their times, and what a
// program must put back before it returns. Every program runs under both
// readings of the facts the documents leave open; where a reading changes
// what a program does, the test says which way.
#include "TestPrograms.h"

#include "calc/Calculator.h"
#include "calc/Timing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace zoetra::calc {
namespace {

using test::program;

constexpr std::uint64_t Budget = 50'000'000;
constexpr CalculatorModel CrystalModels[] = {CalculatorModel::Ti83PlusSe, CalculatorModel::Ti84Plus,
                                             CalculatorModel::Ti84PlusSe};

std::string named(const HardwareReadings& readings)
{
    return readings == HardwareReadings::first() ? "first readings" : "second readings";
}

struct Played {
    Played(CalculatorModel model, const HardwareReadings& readings, const std::vector<std::uint8_t>& bytes)
        : calc(model, readings)
    {
        calc.loadProgram(bytes);
        calc.start();
        stop = calc.run(Budget);
        edges = calc.takeLineEdges();
    }
    Calculator calc;
    Stop stop;
    std::vector<LineEdge> edges;
};

// The square wave's frequency: the edges' times fitted to a straight line
// (an edge now and then late behind the OS's handler moves it little), two
// edges a period.
double toneHz(const std::vector<LineEdge>& edges)
{
    const auto n = static_cast<double>(edges.size());
    double sumX = 0, sumY = 0, sumXY = 0, sumXX = 0;
    for (std::size_t i = 0; i < edges.size(); ++i) {
        const auto x = static_cast<double>(i);
        const double y = static_cast<double>(edges[i].clock - edges.front().clock) / static_cast<double>(ClockHz);
        sumX += x;
        sumY += y;
        sumXY += x * y;
        sumXX += x * x;
    }
    const double secondsPerEdge = (n * sumXY - sumX * sumY) / (n * sumXX - sumX * sumX);
    return 1.0 / (2.0 * secondsPerEdge);
}

std::vector<std::uint8_t> tone(std::uint8_t setting, std::uint8_t count, std::vector<std::string> flags,
                               int toggles = 400)
{
    std::vector<std::pair<std::string, std::string>> defines = {
        {"SETTING", std::to_string(setting)}, {"COUNT", std::to_string(count)}, {"TOGGLES", std::to_string(toggles)}};
    for (const std::string& flag : flags) {
        defines.emplace_back(flag, "1");
    }
    return test::assembled("TONE.z80", defines);
}

TEST(CrystalTimers, ASquareWaveKeepsItsRateOnEveryModelAndSpeed)
{
    struct Case {
        std::uint8_t setting;
        std::uint8_t count;
        double ticksPerSecond6, ticksPerSecond15;  // the timer's rate at 6 and 15 MHz
        bool timerOff;  // the OS's timer off: its handler would make the timer miss expiries
    };
    // The crystal's divisors (3, 1, 16) and the CPU clock's (8, 64) as the
    // ports' documentation gives them.
    const Case cases[] = {
        {0x44, 37, 32768.0, 32768.0, false},
        {0x45, 3, 32768.0 / 16, 32768.0 / 16, false},
        {0x40, 1, 32768.0 / 3, 32768.0 / 3, true},
        {0x84, 250, 6e6 / 8, 15e6 / 8, true},
        {0xA0, 100, 6e6 / 64, 15e6 / 64, false},
    };
    for (const HardwareReadings& readings : BothReadings) {
        for (const CalculatorModel model : CrystalModels) {
            for (const bool fast : {false, true}) {
                for (const Case& c : cases) {
                    SCOPED_TRACE(named(readings) + ", " + std::string(modelFacts(model).name) +
                                 (fast ? " at 15 MHz" : " at 6 MHz") + ", setting " + std::to_string(c.setting));
                    std::vector<std::string> flags;
                    if (fast) {
                        flags.push_back("FAST");
                    }
                    if (c.timerOff) {
                        flags.push_back("TIMEROFF");
                    }
                    const Played r(model, readings, tone(c.setting, c.count, flags));
                    ASSERT_EQ(r.stop, Stop::Returned) << r.calc.fault();
                    ASSERT_EQ(r.edges.size(), 400u);
                    // Both lines together, turned over at every expiry.
                    for (std::size_t i = 0; i < r.edges.size(); ++i) {
                        ASSERT_EQ(r.edges[i].held, i % 2 == 0 ? 3 : 0);
                    }
                    const double expected = (fast ? c.ticksPerSecond15 : c.ticksPerSecond6) / c.count / 2;
                    EXPECT_NEAR(toneHz(r.edges), expected, expected * 0.001);
                    EXPECT_EQ(r.calc.exitState().cpuHz, 6'000'000u);
                }
            }
        }
    }
}

TEST(CrystalTimers, TheAcknowledgeRulesAndTheDisputedBits)
{
    const std::vector<std::uint8_t> bytes = test::assembled("ACKRULES.z80");
    ASSERT_FALSE(bytes.empty());
    for (const HardwareReadings& readings : BothReadings) {
        for (const CalculatorModel model : CrystalModels) {
            SCOPED_TRACE(named(readings) + ", " + std::string(modelFacts(model).name));
            const Played r(model, readings, bytes);
            ASSERT_EQ(r.stop, Stop::Returned) << r.calc.fault();
            const auto at = [&r](int i) { return r.calc.peek(static_cast<std::uint16_t>(PlotSScreen + i)); };
            const std::uint8_t overflow = readings.overflowBit == HardwareReadings::OverflowBit::Bit2 ? 0x04 : 0x08;
            EXPECT_EQ(at(0), 0x00);
            EXPECT_EQ(at(1), 10);
            EXPECT_EQ(at(2), 0x20) << "port 04h bit 5 after the first expiry";
            EXPECT_EQ(at(3), 0x01) << "no overflow after one expiry";
            EXPECT_EQ(at(4), 0x01 | overflow) << "overflow after a second expiry not acknowledged";
            EXPECT_EQ(at(5), 0x20);
            EXPECT_EQ(at(6), 0x00) << "the loop port's write clears port 04h bit 5";
            EXPECT_EQ(at(7), 0x01) << "and the overflow";
            EXPECT_EQ(at(8), 0x00) << "after an overflow the period is 256 ticks, not the count of 10";
            EXPECT_GT(at(9), 200);
            EXPECT_EQ(at(10), readings.countZero == HardwareReadings::CountZero::RunsFree ? 0x00 : 0x20)
                << "a count of 0 after 312 ticks";
            EXPECT_EQ(at(11), 0x20) << "not looping: it expires once";
            EXPECT_EQ(at(12), 0) << "and stops at 0";
            EXPECT_EQ(at(13), 0x00) << "with no overflow";
            EXPECT_EQ(at(14), overflow) << "restarted with the expiry not acknowledged, it overflows";
            EXPECT_GT(at(15), 200) << "and runs on from FFh though it does not loop";
            EXPECT_EQ(at(16), at(17)) << "the frequency port's write stops the counter";
        }
    }
}

TEST(CrystalTimers, ACpuClockTimerGoesOnAtTheNewSpeed)
{
    // di / ld a,84h / out (30h),a (the CPU clock / 8) / xor a / out (31h),a /
    // ld a,200 / out (32h),a (1600 T-states) / ld b,60 / djnz $ (782 at 6 MHz) /
    // ld a,1 / out (20h),a / poll: in a,(4) / and 20h / jr z,poll /
    // xor a / out (20h),a / out (30h),a / ei / ret
    const auto bytes = program({0xF3, 0x3E, 0x84, 0xD3, 0x30, 0xAF, 0xD3, 0x31, 0x3E, 0xC8, 0xD3, 0x32, 0x06, 0x3C,
                                0x10, 0xFE, 0x3E, 0x01, 0xD3, 0x20, 0xDB, 0x04, 0xE6, 0x20, 0x28, 0xFA, 0xAF, 0xD3,
                                0x20, 0xD3, 0x30, 0xFB, 0xC9});
    for (const HardwareReadings& readings : BothReadings) {
        SCOPED_TRACE(named(readings));
        Calculator calc(CalculatorModel::Ti84Plus, readings);
        calc.loadProgram(bytes);
        calc.start();
        ASSERT_EQ(calc.runUntil(ProgramStart + 12, Budget), Stop::ReachedAddress);
        const std::uint64_t started = calc.tstates();
        ASSERT_EQ(calc.runUntil(ProgramStart + 26, Budget), Stop::ReachedAddress) << calc.fault();
        // About 800 T-states at 6 MHz, the other 800 at 15 MHz: 5600 steps of
        // 30 MHz (8000 all at 6 MHz), in 6 MHz T-states.
        const double elapsed = static_cast<double>(calc.tstates() - started);
        EXPECT_NEAR(elapsed, 5600.0 / 5, 25.0);
        EXPECT_EQ(calc.run(Budget), Stop::Returned) << calc.fault();
    }
}

TEST(CrystalTimers, HaltAndACrystalInterruptUnderEachReading)
{
    using Halt = HardwareReadings::HaltAndCrystal;
    for (const HardwareReadings& readings : BothReadings) {
        SCOPED_TRACE(named(readings));
        const bool wakes = readings.haltAndCrystal == Halt::Wakes;
        // Waiting with halt while the OS's timer runs: a halt ended by the
        // crystal keeps the tone's rate; held, the timer's interrupt waits
        // for the OS's tick, so every change of the lines comes right after
        // one.
        const Played paced(CalculatorModel::Ti84Plus, readings, tone(0x44, 37, {"HALTWAIT"}, 100));
        ASSERT_EQ(paced.stop, Stop::Returned) << paced.calc.fault();
        ASSERT_EQ(paced.edges.size(), 100u);
        const double tick = static_cast<double>(ClockHz) / modelFacts(CalculatorModel::Ti84Plus).timerHz;
        std::size_t afterATick = 0;
        for (const LineEdge& edge : paced.edges) {
            afterATick += std::fmod(static_cast<double>(edge.clock), tick) < tick / 20 ? 1 : 0;
        }
        if (wakes) {
            EXPECT_NEAR(toneHz(paced.edges), 32768.0 / 37 / 2, 0.5);
            EXPECT_LT(afterATick, 20u);
        } else {
            EXPECT_EQ(afterATick, 100u);
        }

        // With the OS's timer off, only the crystal can end the halt.
        const Played alone(CalculatorModel::Ti84Plus, readings, tone(0x44, 37, {"HALTWAIT", "TIMEROFF"}, 100));
        if (wakes) {
            ASSERT_EQ(alone.stop, Stop::Returned) << alone.calc.fault();
            EXPECT_NEAR(toneHz(alone.edges), 32768.0 / 37 / 2, 0.5);
        } else {
            EXPECT_EQ(alone.stop, Stop::Fault);
            EXPECT_NE(alone.calc.fault().find("halt with no interrupt to end it"), std::string::npos)
                << alone.calc.fault();
        }
    }
}

TEST(CrystalTimers, AnInterruptNeverAcknowledgedIsAFaultNotAHang)
{
    for (const HardwareReadings& readings : BothReadings) {
        SCOPED_TRACE(named(readings));
        const Played own(CalculatorModel::Ti84PlusSe, readings, tone(0x44, 37, {"NOACK"}));
        EXPECT_EQ(own.stop, Stop::Fault);
        EXPECT_NE(own.calc.fault().find("crystal timer 1's interrupt came again without being acknowledged"),
                  std::string::npos)
            << own.calc.fault();
    }
}

TEST(CrystalTimers, TheOsHandlerWithACrystalInterruptWaiting)
{
    // di / ld a,44h / out (30h),a / ld a,3 / out (31h),a / ld a,100 / out (32h),a /
    // ei / ld bc,2000 / loop: dec bc / ld a,b / or c / jr nz,loop /
    // di / xor a / out (30h),a / out (31h),a / ei / ret
    // in interrupt mode 1: every interrupt goes to the OS's handler.
    const auto osOnly = program({0xF3, 0x3E, 0x44, 0xD3, 0x30, 0x3E, 0x03, 0xD3, 0x31, 0x3E, 0x64, 0xD3, 0x32, 0xFB,
                                 0x01, 0xD0, 0x07, 0x0B, 0x78, 0xB1, 0x20, 0xFB, 0xF3, 0xAF, 0xD3, 0x30, 0xD3, 0x31,
                                 0xFB, 0xC9});
    for (const HardwareReadings& readings : BothReadings) {
        SCOPED_TRACE(named(readings));
        const bool acknowledges = readings.osHandlerAndCrystal == HardwareReadings::OsHandlerAndCrystal::Acknowledges;
        const Played os(CalculatorModel::Ti84PlusSe, readings, osOnly);
        if (acknowledges) {
            EXPECT_EQ(os.stop, Stop::Returned) << os.calc.fault();
            EXPECT_GE(os.calc.interrupts(), 2u);
        } else {
            EXPECT_EQ(os.stop, Stop::Fault);
            EXPECT_NE(os.calc.fault().find("came again without being acknowledged"), std::string::npos)
                << os.calc.fault();
        }
        // A handler that acknowledges its timer and then goes on to the OS's:
        // where the OS's handler acknowledges crystal timers too, an expiry
        // that comes between the two is lost, and the tone plays slower.
        const Played chained(CalculatorModel::Ti84PlusSe, readings, tone(0x44, 37, {"CHAINOS"}));
        ASSERT_EQ(chained.stop, Stop::Returned) << chained.calc.fault();
        ASSERT_EQ(chained.edges.size(), 400u);
        const double expected = 32768.0 / 37 / 2;
        if (acknowledges) {
            EXPECT_LT(toneHz(chained.edges), expected * 0.999);
        } else {
            EXPECT_NEAR(toneHz(chained.edges), expected, expected * 0.001);
        }
    }
}

TEST(CrystalTimers, AProgramThatNeedsFFhOnTheBusFailsWhereAnyByteComes)
{
    // The interrupt mode 2 table holds zeros but at 99FFh, which leads to the
    // OS's handler (0038h): di / fill 9900h-9A00h with 0 / ld a,38h /
    // ld (99FFh),a / xor a / ld (9A00h),a / ld a,99h / ld i,a / im 2 / ei /
    // ld b,3 / halt / djnz / di / im 1 / ei / ret
    const auto bytes = program({0xF3, 0x21, 0x00, 0x99, 0x11, 0x01, 0x99, 0x01, 0x00, 0x01, 0x36, 0x00, 0xED,
                                0xB0, 0x3E, 0x38, 0x32, 0xFF, 0x99, 0xAF, 0x32, 0x00, 0x9A, 0x3E, 0x99, 0xED,
                                0x47, 0xED, 0x5E, 0xFB, 0x06, 0x03, 0x76, 0x10, 0xFD, 0xF3, 0xED, 0x56, 0xFB, 0xC9});
    for (const HardwareReadings& readings : BothReadings) {
        SCOPED_TRACE(named(readings));
        const Played r(CalculatorModel::Ti84PlusSe, readings, bytes);
        if (readings.vectorByte == HardwareReadings::VectorByte::AlwaysFF) {
            EXPECT_EQ(r.stop, Stop::Returned) << r.calc.fault();
        } else {
            EXPECT_EQ(r.stop, Stop::Fault);
            EXPECT_NE(r.calc.fault().find("execution in ROM"), std::string::npos) << r.calc.fault();
        }
    }
}

TEST(LinkPort, TheLinesFollowPortZeroOnlyWithTheAssistOff)
{
    // ld a,3 / out (0),a / xor a / out (0),a / ret: the assist as the OS left it.
    const auto asLeft = program({0x3E, 0x03, 0xD3, 0x00, 0xAF, 0xD3, 0x00, 0xC9});
    // in a,(8) / push af / ld a,80h / out (8),a / <the same> / pop af / out (8),a / ret
    const auto assistOff = program({0xDB, 0x08, 0xF5, 0x3E, 0x80, 0xD3, 0x08, 0x3E, 0x03, 0xD3, 0x00, 0xAF, 0xD3, 0x00,
                                    0xF1, 0xD3, 0x08, 0xC9});
    for (const HardwareReadings& readings : BothReadings) {
        SCOPED_TRACE(named(readings));
        const bool onAtStart = readings.linkAssistAtStart == HardwareReadings::LinkAssistAtStart::On;
        for (const CalculatorModel model : CrystalModels) {
            SCOPED_TRACE(std::string(modelFacts(model).name));
            const Played left(model, readings, asLeft);
            EXPECT_EQ(left.stop, Stop::Returned) << left.calc.fault();
            EXPECT_EQ(left.edges.size(), onAtStart ? 0u : 2u);
            const Played off(model, readings, assistOff);
            EXPECT_EQ(off.stop, Stop::Returned) << off.calc.fault();
            ASSERT_EQ(off.edges.size(), 2u);
            EXPECT_EQ(off.edges[0].held, 3);
            EXPECT_EQ(off.edges[1].held, 0);
        }
        // The TI-83 Plus's assist is port 00h bit 2: ld a,4 / out (0),a /
        // ld a,5 / out (0),a (ignored) / ld a,2 / out (0),a (assist off, ring) /
        // in a,(0) / ld (plotSScreen),a / xor a / out (0),a / ret
        const Played plain(CalculatorModel::Ti83Plus, readings,
                        program({0x3E, 0x04, 0xD3, 0x00, 0x3E, 0x05, 0xD3, 0x00, 0x3E, 0x02, 0xD3, 0x00, 0xDB, 0x00,
                                 0x32, 0x40, 0x93, 0xAF, 0xD3, 0x00, 0xC9}));
        EXPECT_EQ(plain.stop, Stop::Returned) << plain.calc.fault();
        ASSERT_EQ(plain.edges.size(), 2u);
        EXPECT_EQ(plain.edges[0].held, 2);
        // The tip high, the ring low; bits 4-5 the lines this calculator holds.
        EXPECT_EQ(plain.calc.peek(PlotSScreen), 0x21);
    }
}

TEST(LinkPort, EachEdgeIsStampedWithTheTStateOfItsWrite)
{
    // ld a,80h / out (8),a / ld a,1 / out (0),a / nop x4 / xor a / out (0),a / ret
    const auto bytes = program({0x3E, 0x80, 0xD3, 0x08, 0x3E, 0x01, 0xD3, 0x00, 0x00, 0x00, 0x00, 0x00, 0xAF, 0xD3,
                                0x00, 0xC9});
    // ld a,1 / out (20h),a / <the same> / xor a / out (20h),a / ret
    std::vector<std::uint8_t> fast = program({0x3E, 0x01, 0xD3, 0x20});
    fast.insert(fast.end(), bytes.begin() + 2, bytes.end() - 1);
    for (const std::uint8_t b : {0xAF, 0xD3, 0x20, 0xC9}) {
        fast.push_back(b);
    }
    for (const HardwareReadings& readings : BothReadings) {
        SCOPED_TRACE(named(readings));
        const Played slow(CalculatorModel::Ti84Plus, readings, bytes);
        const Played quick(CalculatorModel::Ti84Plus, readings, fast);
        ASSERT_EQ(slow.edges.size(), 2u);
        ASSERT_EQ(quick.edges.size(), 2u);
        // From one write to the next: the rest of out, four nops (16), xor a (4)
        // and out up to its write: 31 T-states whatever the point of the write.
        EXPECT_EQ(slow.edges[1].clock - slow.edges[0].clock, 31 * ClockHz / 6'000'000);
        EXPECT_EQ(quick.edges[1].clock - quick.edges[0].clock, 31 * ClockHz / 15'000'000);
    }
}

TEST(Exits, AProgramMustPutTheLinesAndTimersBack)
{
    struct Case {
        const char* what;
        CalculatorModel model;
        std::vector<std::uint8_t> bytes;
        const char* fault;
    };
    const std::vector<Case> cases = {
        // ld a,80h / out (8),a / ld a,1 / out (0),a / ret
        {"the tip left low", CalculatorModel::Ti84PlusSe, program({0x3E, 0x80, 0xD3, 0x08, 0x3E, 0x01, 0xD3, 0x00, 0xC9}),
         "returned with the link port's tip line pulled low"},
        // ld a,2 / out (0),a / ret
        {"the ring left low", CalculatorModel::Ti83Plus, program({0x3E, 0x02, 0xD3, 0x00, 0xC9}),
         "returned with the link port's ring line pulled low"},
        // di / ld a,45h / out (30h),a / ld a,3 / out (31h),a / ld a,200 / out (32h),a / ei / ret
        {"a timer still interrupting", CalculatorModel::Ti84Plus,
         program({0xF3, 0x3E, 0x45, 0xD3, 0x30, 0x3E, 0x03, 0xD3, 0x31, 0x3E, 0xC8, 0xD3, 0x32, 0xFB, 0xC9}),
         "returned with crystal timer 1 still interrupting"},
        // ld a,09h / out (3),a / ret
        {"the OS's timer off", CalculatorModel::Ti83Plus, program({0x3E, 0x09, 0xD3, 0x03, 0xC9}),
         "returned with the timer interrupt off in port 03h"},
        // ld a,44h / out (30h),a / ret
        {"the TI-83 Plus's mirror of port 30h", CalculatorModel::Ti83Plus, program({0x3E, 0x44, 0xD3, 0x30, 0xC9}),
         "write to port 30h: a TI-83 Plus has no crystal timers"},
        // in a,(32h) / ret
        {"the TI-83 Plus's mirror of port 32h", CalculatorModel::Ti83Plus, program({0xDB, 0x32, 0xC9}),
         "read from port 32h: a TI-83 Plus has no crystal timers"},
        // ld a,0C0h / out (36h),a / ret
        {"the prescaled CPU clock", CalculatorModel::Ti84PlusSe, program({0x3E, 0xC0, 0xD3, 0x36, 0xC9}),
         "port 2Fh's prescaler is not emulated"},
        // ld a,83h / out (33h),a / ret
        {"two CPU dividers at once", CalculatorModel::Ti83PlusSe, program({0x3E, 0x83, 0xD3, 0x33, 0xC9}),
         "an undocumented frequency setting"},
    };
    for (const HardwareReadings& readings : BothReadings) {
        for (const Case& c : cases) {
            SCOPED_TRACE(named(readings) + ": " + c.what);
            const Played r(c.model, readings, c.bytes);
            EXPECT_EQ(r.stop, Stop::Fault);
            EXPECT_NE(r.calc.fault().find(c.fault), std::string::npos) << r.calc.fault();
        }
    }
}

TEST(Exits, TheTimerIsAcknowledgedThroughPortsThreeAndTwo)
{
    // Interrupt mode 2 with a handler that acknowledges the OS's timer itself
    // and never goes on to the OS: di / table 9900h-9A00h of 9Ah / at 9A9Ah:
    // ACK / ei / ret; im 2 / ei / ld b,5 / halt / djnz / di / im 1 / ei / ret
    const auto handled = [](std::initializer_list<std::uint8_t> ack) {
        std::vector<std::uint8_t> bytes = program({0xF3, 0x21, 0x00, 0x99, 0x11, 0x01, 0x99, 0x01, 0x00, 0x01, 0x36,
                                                   0x9A, 0xED, 0xB0, 0x21, 0x9A, 0x9A});
        // ld (hl),byte / inc hl, for each byte of the handler
        std::vector<std::uint8_t> handler = ack;
        for (const std::uint8_t b : {0xFB, 0xC9}) {
            handler.push_back(b);
        }
        for (const std::uint8_t b : handler) {
            for (const std::uint8_t c : {std::uint8_t{0x36}, b, std::uint8_t{0x23}}) {
                bytes.push_back(c);
            }
        }
        for (const std::uint8_t b : {0x3E, 0x99, 0xED, 0x47, 0xED, 0x5E, 0xFB, 0x06, 0x05, 0x76, 0x10, 0xFD, 0xF3, 0xED,
                                     0x56, 0xFB, 0xC9}) {
            bytes.push_back(b);
        }
        return bytes;
    };
    // push af / ld a,09h / out (3),a / ld a,0Bh / out (3),a / pop af: as the OS does
    const auto port3 = handled({0xF5, 0x3E, 0x09, 0xD3, 0x03, 0x3E, 0x0B, 0xD3, 0x03, 0xF1});
    // push af / ld a,0 / out (2),a / pop af: the Silver Edition's and TI-84 Plus's way
    const auto port2 = handled({0xF5, 0x3E, 0x00, 0xD3, 0x02, 0xF1});
    const auto none = handled({});
    for (const HardwareReadings& readings : BothReadings) {
        SCOPED_TRACE(named(readings));
        for (const CalculatorModel model : test::AllModels) {
            SCOPED_TRACE(std::string(modelFacts(model).name));
            const Played three(model, readings, port3);
            EXPECT_EQ(three.stop, Stop::Returned) << three.calc.fault();
            EXPECT_EQ(three.calc.interrupts(), 5u);
            const Played two(model, readings, port2);
            const Played neither(model, readings, none);
            for (const Played* r : {&neither, model == CalculatorModel::Ti83Plus ? &two : nullptr}) {
                if (r != nullptr) {
                    EXPECT_EQ(r->stop, Stop::Fault);
                    EXPECT_NE(r->calc.fault().find("the timer interrupt came again without being acknowledged"),
                              std::string::npos)
                        << r->calc.fault();
                }
            }
            if (model != CalculatorModel::Ti83Plus) {
                EXPECT_EQ(two.stop, Stop::Returned) << two.calc.fault();
            }
        }
    }
}

}  // namespace
}  // namespace zoetra::calc
