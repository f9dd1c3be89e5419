#pragma once

#include "calc/Screen.h"

#include <array>
#include <bitset>
#include <cstdint>
#include <string>

namespace zoetra::calc {

// The LCD driver (T6A04) as a program drives it through ports 10h
// (commands, status) and 11h (data), in 8-bit mode: 64 rows of 15 bytes,
// of which the first 12 are seen. A picture counts as shown once every
// byte seen has been written since the last one, in whatever order, or
// when the calculator sees a run of writes end (the program rewrites only
// what changed).
class Lcd {
public:
    void command(std::uint8_t value);
    void write(std::uint8_t value);
    std::uint8_t status() const;
    std::uint8_t read();

    // The OS's own copies (_GrBufCpy, _ClrLCDFull) write every byte seen.
    void fill(const Screen& screen);

    const Screen& screen() const { return screen_; }
    // A whole picture was written since the last call; it starts the next.
    bool takeWholePicture();
    // A run of writes ended: what it left is a picture; it starts the next.
    void takePartialPicture();
    // What the program did that the driver cannot do; empty while fine.
    const std::string& problem() const { return problem_; }

    // The state a program can depend on, for the loop detection.
    template <typename Add>
    void addState(Add add) const
    {
        for (const std::uint8_t b : ram_) {
            add(b);
        }
        for (const std::uint8_t b : {row_, column_, mode_, readBuffer_, static_cast<std::uint8_t>(eightBit_),
                                     static_cast<std::uint8_t>(written_.count() & 0xFF),
                                     static_cast<std::uint8_t>(written_.count() >> 8)}) {
            add(b);
        }
    }

private:
    static constexpr int Rows = 64;
    static constexpr int Columns = 15;
    void store(std::uint8_t value);
    void advance();

    std::array<std::uint8_t, Rows * Columns> ram_{};
    Screen screen_{};
    std::bitset<768> written_;
    std::uint8_t row_ = 0;
    std::uint8_t column_ = 0;
    std::uint8_t mode_ = 5;  // 4-7: row down / row up / column down / column up
    std::uint8_t readBuffer_ = 0;
    bool eightBit_ = true;
    std::string problem_;
};

}  // namespace zoetra::calc
