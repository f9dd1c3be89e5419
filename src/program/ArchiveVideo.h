#pragma once

#include "platform/FileSystem.h"
#include "shared/ArchiveLayout.h"
#include "shared/CalculatorModel.h"
#include "shared/VideoTarget.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <array>
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

// AppVarDataBytes, HeaderBytes, StreamBytesPerAppVar: shared/ArchiveLayout.h.
inline constexpr int MaxAppVars = 100;  // two digits
inline constexpr int MaxProgramNameLength = 6;

inline constexpr int SectorBytes = 65536;
inline constexpr int PageBytes = 16384;

// The identity of a stream.
std::uint32_t videoIdentity(std::span<const std::uint8_t> stream);
// The header's first bytes, the same in every AppVar of the stream: "ZV"
// and the identity.
inline constexpr int SignatureBytes = 6;
std::array<std::uint8_t, SignatureBytes> signature(std::span<const std::uint8_t> stream);

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

// The longest AppVar name a program name leaves room for sets the limit:
// with shorter names the same number of AppVars fit a sector.
inline constexpr int LongestAppVarName = MaxProgramNameLength + 2;

// The include the player's archive part reads ("Archive.inc"): the number
// of AppVars, the name's length, the most bytes a frame takes, OP1 for the
// first AppVar and the header's signature with the video's identity.
inline constexpr std::string_view IncludeName = "Archive.inc";
QByteArray includeText(const QString& programName, std::span<const std::uint8_t> stream, int maxFrameBytes);

// The file of AppVar `index`: its name in lower case and ".8xv".
QString appVarFileName(const QString& programName, int index);
// The multi-variable files of program and AppVars. A variable file holds
// at most 65,535 bytes of entries, so the program and the first three
// AppVars go into "name.8xg", every further four AppVars into "name-2.8xg",
// "name-3.8xg", ...
inline constexpr int AppVarsWithProgram = 3;
inline constexpr int AppVarsPerBundle = 4;
// A program too large for three AppVars beside it (one with its sound)
// takes fewer (`withProgram`), and a further file may follow.
QStringList bundleFileNames(const QString& programName, int appVars, int withProgram = AppVarsWithProgram);
// The most multi-variable files a video has: those of MaxAppVars AppVars.
int mostBundles();
// Whether the file name is one of the name's AppVar files (NAME00.8xv to
// NAME99.8xv), or one of its multi-variable files (NAME.8xg, NAME-2.8xg up
// to the most a video has), in any letter case.
bool isAppVarFileName(const QString& programName, const QString& fileName);
bool isBundleFileName(const QString& programName, const QString& fileName);
inline int appVarCount(std::size_t streamBytes)
{
    return std::max(1, static_cast<int>((streamBytes + StreamBytesPerAppVar - 1) / StreamBytesPerAppVar));
}

// Whether the bytes are an AppVar file that a video of the program name
// has under that file name: one AppVar named as the file names it, holding
// the video's header with the file's own index.
bool isVideoAppVarFile(const QString& programName, const QString& fileName, std::span<const std::uint8_t> bytes);
// Whether the bytes are a multi-variable file of only the program of that
// name and AppVars of its video.
bool isVideoBundle(const QString& programName, std::span<const std::uint8_t> bytes);

// Writes "Archive.inc", which the player's archive part reads, into the
// folder.
std::optional<FileFailure> writeInclude(FileSystem& files, const QString& folder, const QString& programName,
                                        std::span<const std::uint8_t> stream, int maxFrameBytes);

// A calculator file a delivery writes: its name and its bytes.
struct CalculatorFile {
    QString name;
    QByteArray bytes;
};

// The stream's AppVars as .8xv files (each sent straight into the
// archive), in the order of their indexes; a sound's after them
// (SoundVideo.h).
std::vector<CalculatorFile> appVarFiles(const QString& programName, std::span<const std::uint8_t> stream,
                                        std::span<const std::uint8_t> sound = {});

// The multi-variable files of the program (the bytes of its program file)
// and the stream's AppVars, in the order of their names. A program file that
// cannot be read, or a file that cannot be made, is a failure whose path is
// the file's name.
std::optional<FileFailure> bundleFiles(const QString& programName, const QByteArray& programFile,
                                       std::span<const std::uint8_t> stream, std::vector<CalculatorFile>& bundles,
                                       std::span<const std::uint8_t> sound = {});

}  // namespace archive

// What the dense player takes of the calculator's RAM beyond the written
// player: its ring of frames ahead with its timer's vectors, its copy of
// the screen, its longer code and the ten bytes saying what it was made
// for, all in the program (a frame's row bytes
// lie in plotSScreen).
inline constexpr int DensePlayerExtraBytes = 9'318;

// The stream bytes a video of the target may take: the written 24,000 in
// RAM (less what the dense player takes more); in the archive, what the
// AppVars that fit the model's archive (or the free archive given) hold,
// less a byte for the video's end.
int videoSizeLimit(const VideoTarget& target);

}  // namespace zoetra
