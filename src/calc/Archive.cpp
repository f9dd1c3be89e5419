#include "calc/Archive.h"

#include "calc/OsAddresses.h"

#include <algorithm>

namespace zoetra::calc {

Archive::Archive(std::vector<std::uint8_t>& flash, const ModelFacts& facts)
    : flash_(flash),
      next_(FlashAddress{facts.archiveFirstPage, 0x4001}.linear()),
      end_(static_cast<std::uint32_t>(facts.appsTopPage + 1) * 0x4000u - SectorBytes)
{
}

bool Archive::store(std::uint8_t flag, std::uint8_t type, std::string_view name, std::span<const std::uint8_t> data,
                    FlashAddress* placed, std::string* error)
{
    if (name.empty() || name.size() > 8) {
        *error = "an archived name has 1 to 8 characters";
        return false;
    }
    if (data.size() > 0xFFFF) {
        *error = "a variable holds at most 65,535 bytes";
        return false;
    }
    const std::uint32_t size = entryBytes(name.size(), data.size());
    std::uint32_t at = next_;
    if (at % SectorBytes + size > SectorBytes) {
        at = (at / SectorBytes + 1) * SectorBytes + 1;
    }
    if (size > SectorBytes - 1 || at + size > end_) {
        *error = "the archive has no room for " + std::string(name);
        return false;
    }
    // The sector's status byte: in use.
    flash_[at / SectorBytes * SectorBytes] = ValidFlag;
    const FlashAddress flagAt = FlashAddress::fromLinear(at);
    std::vector<std::uint8_t> entry;
    entry.reserve(size);
    const std::uint32_t sizeWord = size - 3;
    entry.insert(entry.end(), {flag, static_cast<std::uint8_t>(sizeWord), static_cast<std::uint8_t>(sizeWord >> 8), type,
                               0x00, 0x00});
    // The copy of the address points at the flag byte (the documents differ;
    // nothing reads it but a garbage collection).
    entry.insert(entry.end(), {static_cast<std::uint8_t>(flagAt.address), static_cast<std::uint8_t>(flagAt.address >> 8),
                               static_cast<std::uint8_t>(flagAt.page), static_cast<std::uint8_t>(name.size())});
    entry.insert(entry.end(), name.begin(), name.end());
    entry.push_back(static_cast<std::uint8_t>(data.size()));
    entry.push_back(static_cast<std::uint8_t>(data.size() >> 8));
    entry.insert(entry.end(), data.begin(), data.end());
    std::copy(entry.begin(), entry.end(), flash_.begin() + at);
    next_ = at + size;
    *placed = flagAt;
    return true;
}

bool Archive::padTo(FlashAddress target, std::string* error)
{
    const std::uint32_t to = target.linear();
    const std::uint32_t minimum = entryBytes(1, 0);
    if (to < next_ + minimum || to / SectorBytes != next_ / SectorBytes || to >= end_) {
        *error = "no deleted entry leads from " + std::to_string(next_) + " to " + std::to_string(to);
        return false;
    }
    const std::vector<std::uint8_t> filler(to - next_ - minimum, 0xDD);
    FlashAddress placed;
    return store(DeletedFlag, AppVarObj, "X", filler, &placed, error);
}

}  // namespace zoetra::calc
