#pragma once

#include <array>
#include <cstdint>

namespace zoetra::calc {

// What the calculator's documents disagree on or leave open about the
// crystal timers, interrupts and the link port. Each such fact is a setting
// with every reading found: a program that is right plays the same under
// all of them. The first value of each is the default.
struct HardwareReadings {
    // A crystal timer's interrupt while the CPU is halted: held until
    // something else (the OS's timer) ends the halt, or taken at once like
    // any other.
    enum class HaltAndCrystal : std::uint8_t { Held, Wakes };
    // Which bit of the loop port (31h/34h/37h) reads 1 when an expiry came
    // before the port was written again.
    enum class OverflowBit : std::uint8_t { Bit2, Bit3 };
    // A count of 0 written to the counter port: the timer runs freely with
    // a 256-tick period and never expires, or it expires every 256 ticks.
    enum class CountZero : std::uint8_t { RunsFree, Expires256 };
    // The byte on the data bus that interrupt mode 2 reads as the vector's
    // low byte: always FFh, or any byte.
    enum class VectorByte : std::uint8_t { AlwaysFF, Random };
    // The OS's interrupt handler (0038h) with a crystal timer's interrupt
    // waiting: it leaves it (so it comes again at once), or acknowledges it.
    enum class OsHandlerAndCrystal : std::uint8_t { LeavesIt, Acknowledges };
    // The link assist of the Silver Edition and TI-84 Plus models (port
    // 08h) as the OS leaves it to a program: on (the lines do not follow
    // port 00h until the program turns it off), or off.
    enum class LinkAssistAtStart : std::uint8_t { On, Off };

    HaltAndCrystal haltAndCrystal = HaltAndCrystal::Held;
    OverflowBit overflowBit = OverflowBit::Bit2;
    CountZero countZero = CountZero::RunsFree;
    VectorByte vectorByte = VectorByte::AlwaysFF;
    OsHandlerAndCrystal osHandlerAndCrystal = OsHandlerAndCrystal::LeavesIt;
    LinkAssistAtStart linkAssistAtStart = LinkAssistAtStart::On;

    bool operator==(const HardwareReadings&) const = default;

    // Every fact at its first reading, and every fact at its second.
    static constexpr HardwareReadings first() { return {}; }
    static constexpr HardwareReadings second()
    {
        return {HaltAndCrystal::Wakes, OverflowBit::Bit3,     CountZero::Expires256,
                VectorByte::Random,    OsHandlerAndCrystal::Acknowledges, LinkAssistAtStart::Off};
    }
};

// Both sets, for running a program under each reading of every fact.
inline constexpr std::array<HardwareReadings, 2> BothReadings{HardwareReadings::first(), HardwareReadings::second()};

}  // namespace zoetra::calc
