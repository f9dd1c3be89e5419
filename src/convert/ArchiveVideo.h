#pragma once

#include "shared/CalculatorModel.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace zoetra {

// A video kept in the calculator's Flash archive: its stream cut into
// AppVars that the player reads in place, one after the other, as one run
// of bytes.
//
// Each AppVar's data is a header, then its part of the stream:
//   0  "ZV"       signature
//   2  4 bytes    the video's identity: a hash of the whole stream (FNV-1a,
//                 32 bits, little-endian), the same in every AppVar
//   6  1 byte     this AppVar's index, from 0
//   7  1 byte     the number of AppVars
//   8  ...        stream bytes
// so that the player can prove it has the whole, matching set.
//
// Names: the program's name (at most 6 characters) and the index as two
// digits from "00": the program VIDEO reads VIDEO00, VIDEO01, ...
namespace archive {

// Data bytes of one AppVar at most: four such AppVars, each taking
// 12 + name length + data bytes of Flash, fill a 64 KB sector.
inline constexpr int AppVarDataBytes = 16360;
inline constexpr int HeaderBytes = 8;
inline constexpr int StreamBytesPerAppVar = AppVarDataBytes - HeaderBytes;
inline constexpr int MaxAppVars = 100;  // two digits
inline constexpr int MaxProgramNameLength = 6;

inline constexpr int SectorBytes = 65536;
inline constexpr int PageBytes = 16384;

// The identity of a stream.
std::uint32_t videoIdentity(std::span<const std::uint8_t> stream);

// The name of AppVar `index` of the program; empty when the name leaves no
// room for the index.
QString appVarName(const QString& programName, int index);

// The data of each AppVar, header first.
std::vector<std::vector<std::uint8_t>> splitIntoAppVars(std::span<const std::uint8_t> stream);

// How many AppVars of full size the archive holds when `freeBytes` of it
// are free in whole sectors; a part of a sector holds as many as fit.
int appVarsInArchive(std::int64_t freeBytes, int nameLength);

// The model's user archive when it is empty: the pages from the first
// archive page up to the applications' top page, less one sector the OS
// keeps free for its garbage collection.
std::int64_t emptyArchiveBytes(CalculatorModel model);

// The stream bytes a video may take in the archive of the model, or in
// `freeBytes` of free archive when given.
std::int64_t streamLimit(CalculatorModel model, const QString& programName,
                         std::optional<std::int64_t> freeBytes = std::nullopt);

}  // namespace archive
}  // namespace zoetra
