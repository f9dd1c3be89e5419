#pragma once

#include "calc/HardwareReadings.h"
#include "shared/LineEdges.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zoetra::calc {

// The link port (00h) with nothing plugged in but earphones: bits 0-1 of a
// write pull the tip and the ring low (1) or release them to the pull-up
// (0); a read gives the lines' levels in bits 0-1 (1 = high) and the lines
// this calculator holds low in bits 4-5. Every change of the lines held is
// kept with its time (ClockHz steps) until taken. The link assist keeps
// the lines to itself while it is on: on the TI-83 Plus, port 00h bit 2
// (read back in bit 2); on the other models port 08h, whose bit 7 turns it
// off. Nothing ever arrives, so the assist never receives a byte.
class LinkPort {
public:
    LinkPort(bool assistInPort0, const HardwareReadings& readings)
        : assistInPort0_(assistInPort0),
          port8_(assistInPort0 || readings.linkAssistAtStart == HardwareReadings::LinkAssistAtStart::Off ? 0x80
                                                                                                          : 0x00)
    {
    }

    std::uint8_t read() const
    {
        const auto levels = static_cast<std::uint8_t>(~held_ & 0x03);
        return static_cast<std::uint8_t>(levels | held_ << 4 | (assistInPort0_ && assist0_ ? 0x04 : 0x00));
    }
    // Port 00h written at `clock`: the fault it is, else empty.
    std::string write(std::uint8_t value, std::uint64_t clock)
    {
        const std::uint8_t documented = assistInPort0_ ? 0x07 : 0x03;
        if ((value & ~documented) != 0) {
            return assistInPort0_ ? "only bits 0-2 (the lines, the link assist) are documented"
                                  : "only bits 0-1 (the lines) are documented";
        }
        if (assistInPort0_) {
            assist0_ = (value & 0x04) != 0;
        }
        if (assistOn()) {
            return {};  // the assist keeps the lines
        }
        const auto held = static_cast<std::uint8_t>(value & 0x03);
        if (held != held_) {
            held_ = held;
            fresh_.push_back({clock, held});
        }
        return {};
    }

    // Port 08h, the assist's control, on the models that have it there.
    std::uint8_t readAssist() const { return port8_; }
    void writeAssist(std::uint8_t value) { port8_ = value; }
    bool assistOn() const { return assistInPort0_ ? assist0_ : (port8_ & 0x80) == 0; }

    // The lines this calculator holds low (bit 0 tip, bit 1 ring).
    std::uint8_t held() const { return held_; }
    // The changes since the last call, in order.
    std::vector<LineEdge> takeEdges()
    {
        std::vector<LineEdge> taken;
        taken.swap(fresh_);
        return taken;
    }

    template <typename Add>
    void addState(Add add) const
    {
        add(held_);
        add(port8_);
        add(static_cast<std::uint8_t>(assist0_));
    }

private:
    bool assistInPort0_;
    bool assist0_ = false;
    std::uint8_t port8_;
    std::uint8_t held_ = 0;
    std::vector<LineEdge> fresh_;
};

}  // namespace zoetra::calc
