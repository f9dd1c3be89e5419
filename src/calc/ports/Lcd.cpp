#include "calc/ports/Lcd.h"

namespace zoetra::calc {

void Lcd::command(std::uint8_t value)
{
    if (value <= 0x01) {
        eightBit_ = value == 0x01;
    } else if (value <= 0x03) {
        // Display off / on: the picture is kept either way.
    } else if (value <= 0x07) {
        mode_ = value;
    } else if (value >= 0x20 && value <= 0x3F) {
        column_ = static_cast<std::uint8_t>(value - 0x20);
        if (column_ >= Columns) {
            problem_ = "LCD column " + std::to_string(column_) + " does not exist in 8-bit mode";
        }
    } else if (value >= 0x40 && value <= 0x7F) {
        if (value != 0x40) {
            problem_ = "the LCD's scrolling (command " + std::to_string(value) + ") is not emulated";
        }
    } else if (value >= 0x80 && value <= 0xBF) {
        row_ = static_cast<std::uint8_t>(value - 0x80);
    }
    // 08h-1Fh are test and power modes a program leaves alone; C0h-FFh set
    // the contrast, which the picture does not show.
}

void Lcd::store(std::uint8_t value)
{
    if (row_ >= Rows || column_ >= Columns) {
        return;
    }
    ram_[static_cast<std::size_t>(row_ * Columns + column_)] = value;
    if (column_ < 12) {
        const auto at = static_cast<std::size_t>(row_ * 12 + column_);
        screen_[at] = value;
        written_.set(at);
    }
}

void Lcd::advance()
{
    switch (mode_) {
    case 4:
        row_ = static_cast<std::uint8_t>((row_ + Rows - 1) % Rows);
        break;
    case 5:
        row_ = static_cast<std::uint8_t>((row_ + 1) % Rows);
        break;
    case 6:
        column_ = static_cast<std::uint8_t>((column_ + Columns - 1) % Columns);
        break;
    default:
        column_ = static_cast<std::uint8_t>((column_ + 1) % Columns);
        break;
    }
}

void Lcd::write(std::uint8_t value)
{
    if (!eightBit_) {
        problem_ = "the LCD's 6-bit mode is not emulated";
        return;
    }
    store(value);
    advance();
}

std::uint8_t Lcd::status() const
{
    // Never busy; 8-bit mode in bit 6, display on in bit 5, the counter's
    // direction in bits 0-1.
    return static_cast<std::uint8_t>((eightBit_ ? 0x40 : 0x00) | 0x20 | (mode_ & 0x03));
}

std::uint8_t Lcd::read()
{
    // The driver answers from a buffer: the first read after moving the
    // cursor is stale.
    const std::uint8_t value = readBuffer_;
    readBuffer_ = row_ < Rows && column_ < Columns ? ram_[static_cast<std::size_t>(row_ * Columns + column_)] : 0;
    advance();
    return value;
}

void Lcd::fill(const Screen& screen)
{
    for (int row = 0; row < Rows; ++row) {
        for (int column = 0; column < 12; ++column) {
            ram_[static_cast<std::size_t>(row * Columns + column)] = screen[static_cast<std::size_t>(row * 12 + column)];
        }
    }
    screen_ = screen;
    written_.reset();
}

bool Lcd::takeWholePicture()
{
    if (!written_.all()) {
        return false;
    }
    written_.reset();
    return true;
}

void Lcd::takePartialPicture()
{
    written_.reset();
}

}  // namespace zoetra::calc
