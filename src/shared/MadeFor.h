#pragma once

#include "shared/CalculatorModel.h"
#include "shared/VideoTarget.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace zoetra {

// What a program was made for, kept in its last bytes, so that a program
// played on the emulated calculator later (--play, the preview) plays on
// the model it was made for and its video is known. Every program whose
// player is not the written one (pacedByDeadlines) ends with it:
//   0  "ZVMF"       mark
//   4  1 byte       the model (CalculatorModel's number)
//   5  1 byte       the storage (Storage's number)
//   6  1 byte       the stream format (StreamFormat's number)
//   7  2 bytes      where a stream in the program starts (its address on
//                   the calculator, little-endian), 0 for one in the archive
//   9  1 byte       the length of all of this, so 10: the program's last byte
// The numbers are kept in programs on users' calculators: never renumber.
// A later field goes before the length; a reader takes the fields it knows.
// The written TI-83 Plus program stays without it, as it always was.
struct MadeFor {
    CalculatorModel model = CalculatorModel::Ti83Plus;
    Storage storage = Storage::Ram;
    StreamFormat format = StreamFormat::Written;
    std::uint16_t streamAddress = 0;
};

namespace madefor {

inline constexpr std::array<std::uint8_t, 4> Mark{'Z', 'V', 'M', 'F'};
inline constexpr std::size_t Bytes = 10;
inline constexpr std::size_t ModelAt = 4;
inline constexpr std::size_t StorageAt = 5;
inline constexpr std::size_t FormatAt = 6;
inline constexpr std::size_t StreamAddressAt = 7;

}  // namespace madefor

// Whether a program of the target says what it was made for.
inline bool saysWhatItWasMadeFor(const VideoTarget& target)
{
    return pacedByDeadlines(target);
}

// What the program (its bytes from the two tokens on) says it was made
// for; nothing when it does not say, or says something no calculator is.
inline std::optional<MadeFor> madeForOf(std::span<const std::uint8_t> program)
{
    if (program.size() < madefor::Bytes) {
        return std::nullopt;
    }
    const std::size_t length = program.back();
    if (length < madefor::Bytes || length > program.size()) {
        return std::nullopt;
    }
    const std::span<const std::uint8_t> trailer = program.last(length);
    for (std::size_t i = 0; i < madefor::Mark.size(); ++i) {
        if (trailer[i] != madefor::Mark[i]) {
            return std::nullopt;
        }
    }
    const std::uint8_t model = trailer[madefor::ModelAt];
    const std::uint8_t storage = trailer[madefor::StorageAt];
    const std::uint8_t format = trailer[madefor::FormatAt];
    if (model >= Models.size() || storage > static_cast<std::uint8_t>(Storage::Archive) ||
        format > static_cast<std::uint8_t>(StreamFormat::Dense)) {
        return std::nullopt;
    }
    return MadeFor{static_cast<CalculatorModel>(model), static_cast<Storage>(storage),
                   static_cast<StreamFormat>(format),
                   static_cast<std::uint16_t>(trailer[madefor::StreamAddressAt] |
                                              trailer[madefor::StreamAddressAt + 1] << 8)};
}

}  // namespace zoetra
