#pragma once

#include "shared/CalculatorModel.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zoetra::calc {

// A place in Flash as a program sees it: the page for port 6 and the
// address in bank A (4000h-7FFFh).
struct FlashAddress {
    int page = 0;
    std::uint16_t address = 0x4000;

    std::uint32_t linear() const { return static_cast<std::uint32_t>(page) * 0x4000u + (address - 0x4000u); }
    static FlashAddress fromLinear(std::uint32_t at)
    {
        return {static_cast<int>(at / 0x4000u), static_cast<std::uint16_t>(0x4000u + at % 0x4000u)};
    }
    bool operator==(const FlashAddress&) const = default;
};

// The user archive as the OS keeps it, written into a Flash image:
// variables one after another from 4001h of the first archive page (the
// sector's status byte at 4000h), each entry
//   flag (FCh valid, F0h deleted), entry size (2), type, 00h, version 00h,
//   address (2) and page of its flag byte, name length, name, data size (2),
//   data
// running on across page ends into the next page, but never across a 64 KB
// sector: an entry that would is put at the start of the next sector. The
// last sector below the applications stays free, as the OS keeps one for
// its garbage collection.
class Archive {
public:
    static constexpr std::uint8_t ValidFlag = 0xFC;
    static constexpr std::uint8_t DeletedFlag = 0xF0;
    static constexpr std::uint32_t SectorBytes = 0x10000;

    Archive(std::vector<std::uint8_t>& flash, const ModelFacts& facts);

    // Bytes one entry takes in Flash, its flag included.
    static std::uint32_t entryBytes(std::size_t nameLength, std::size_t dataBytes)
    {
        return static_cast<std::uint32_t>(12 + nameLength + dataBytes);
    }

    // Where the next entry's flag byte goes (before the sector rule moves it).
    FlashAddress next() const { return FlashAddress::fromLinear(next_); }

    // Stores one entry; its flag byte's place, or nothing with a reason.
    bool store(std::uint8_t flag, std::uint8_t type, std::string_view name, std::span<const std::uint8_t> data,
               FlashAddress* placed, std::string* error);
    // Stores a deleted entry so that the next one starts at `at`, in the
    // same sector; false with a reason when no entry fits the gap.
    bool padTo(FlashAddress at, std::string* error);

private:
    std::vector<std::uint8_t>& flash_;
    std::uint32_t next_;
    std::uint32_t end_;  // one past the last byte the archive may use
};

}  // namespace zoetra::calc
