#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace zoetra::calc {

// The calculator's Flash and RAM in 16 KB pages, and the four banks of the
// Z80's address space mapped onto them as data: a port write changes a
// table entry, every access is one look-up.
//   0000h-3FFFh  Flash page 0
//   4000h-7FFFh  bank A (port 6): a Flash page, or a RAM page
//   8000h-BFFFh  bank B (port 7): RAM page 1 as the OS leaves it
//   C000h-FFFFh  RAM page 0
class PagedMemory {
public:
    static constexpr std::size_t PageBytes = 0x4000;

    struct Bank {
        std::uint8_t* bytes = nullptr;
        bool flash = false;
        int page = 0;
    };

    PagedMemory(int flashPages, int ramPages)
        : flash_(static_cast<std::size_t>(flashPages) * PageBytes, 0xFF),
          ram_(static_cast<std::size_t>(ramPages) * PageBytes, 0)
    {
        map(0, true, 0);
        map(1, true, 1);
        map(2, false, 1);
        map(3, false, 0);
    }

    int flashPages() const { return static_cast<int>(flash_.size() / PageBytes); }
    int ramPages() const { return static_cast<int>(ram_.size() / PageBytes); }

    void map(int bank, bool flash, int page)
    {
        std::vector<std::uint8_t>& chip = flash ? flash_ : ram_;
        banks_[static_cast<std::size_t>(bank)] = {chip.data() + static_cast<std::size_t>(page) * PageBytes, flash, page};
    }
    const Bank& bank(std::uint16_t address) const { return banks_[address >> 14]; }

    // Through the banks as they are mapped now.
    std::uint8_t read(std::uint16_t address) const { return bank(address).bytes[address & 0x3FFF]; }
    std::uint8_t& at(std::uint16_t address) { return bank(address).bytes[address & 0x3FFF]; }

    // RAM at 8000h-FFFFh as the OS maps it (8000h RAM page 1, C000h RAM page
    // 0), whatever the ports say now.
    std::uint8_t& ram(std::uint32_t address)
    {
        return ram_[(address < 0xC000 ? PageBytes : 0) + (address & 0x3FFF)];
    }
    std::uint8_t ram(std::uint32_t address) const
    {
        return ram_[(address < 0xC000 ? PageBytes : 0) + (address & 0x3FFF)];
    }
    // A RAM page's offset as the address the OS sees it at; 0 for pages it
    // does not map (above 1).
    static std::uint32_t osAddress(int ramPage, std::uint16_t offset)
    {
        return ramPage == 0 ? 0xC000u + offset : ramPage == 1 ? 0x8000u + offset : 0u;
    }

    // Flash as one run of bytes: page p starts at p * PageBytes.
    std::vector<std::uint8_t>& flash() { return flash_; }
    const std::vector<std::uint8_t>& flash() const { return flash_; }
    std::vector<std::uint8_t>& ramPagesBytes() { return ram_; }

private:
    std::vector<std::uint8_t> flash_;
    std::vector<std::uint8_t> ram_;
    std::array<Bank, 4> banks_{};
};

}  // namespace zoetra::calc
