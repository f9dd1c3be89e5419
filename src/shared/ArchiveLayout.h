#pragma once

// How a video kept in the archive lies in its AppVars: each AppVar's data is
// a header of HeaderBytes, then its part of the stream (program/ArchiveVideo.h
// writes them, player/SourceArchive.z80 reads them). Plain constants, for
// the stream formats' pacing as well, which needs to know where an AppVar's
// part of the stream ends.
namespace zoetra::archive {

// Data bytes of one AppVar at most: four such AppVars, each taking
// 12 + name length + data bytes of Flash, fill a 64 KB sector.
inline constexpr int AppVarDataBytes = 16360;
inline constexpr int HeaderBytes = 8;
inline constexpr int StreamBytesPerAppVar = AppVarDataBytes - HeaderBytes;

}  // namespace zoetra::archive
