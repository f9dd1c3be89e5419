#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace devpac8x {

// Layout of a TI-83 Plus program file (.8xp); all 2-byte fields little-endian.
inline constexpr std::size_t SignatureSize = 11;   // "**TI83F*" 1A 0A 00
inline constexpr std::size_t CommentSize = 42;
inline constexpr std::size_t FileHeaderSize = 55;  // signature + comment + data-section length
inline constexpr std::size_t VariableHeaderSize = 13;
inline constexpr std::size_t NameSize = 8;
inline constexpr std::size_t ChecksumSize = 2;
// Everything in the file that is not the variable data.
inline constexpr std::size_t FileOverhead = FileHeaderSize + 2 + VariableHeaderSize + 2 + ChecksumSize;

inline constexpr std::uint8_t ProtectedProgramType = 0x06;
inline constexpr std::string_view DefaultComment = "Made by Zoetra Convertor v2";

// The data-section length is a 16-bit field and holds the variable data plus
// 17 bytes of headers; the variable data is the program preceded by its length.
inline constexpr std::size_t MaxProgramSize = 0xFFFF - 17 - 2;
// Larger programs are valid files but do not fit a calculator's free RAM.
inline constexpr std::size_t FreeRamWarningSize = 24575;

// Why a variable name is refused, or empty when it is acceptable: 1 to 8
// ASCII letters and digits, the first a letter.
std::string checkVariableName(std::string_view name);

// The name as the calculator stores it: upper case.
std::string variableName(std::string_view name);

// The complete .8xp file holding the program bytes as a protected program
// named `name` (already checked). The comment is cut or NUL-padded to 42 bytes.
std::vector<std::uint8_t> makeProgramFile(std::string_view name,
                                          std::span<const std::uint8_t> program,
                                          std::string_view comment = DefaultComment);

// Low 16 bits of the sum of the bytes.
std::uint16_t checksum(std::span<const std::uint8_t> bytes);

}  // namespace devpac8x
