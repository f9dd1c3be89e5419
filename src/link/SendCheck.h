#pragma once

#include "shared/VideoTarget.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

namespace zoetra::link {

// What is decided about a sending before the calculator is asked anything
// beyond its model, its memory and its directory.

inline constexpr std::uint8_t ProgramType = 0x05;
inline constexpr std::uint8_t ProtectedProgramType = 0x06;
inline constexpr std::uint8_t AppVarType = 0x15;

// One variable, ours or the calculator's.
struct VariableInfo {
    QByteArray name;  // as the calculator keeps it
    std::uint8_t type = AppVarType;
    bool archived = false;
    // The variable's data as sent, its 2-byte size word included.
    std::uint32_t bytes = 0;
};

// "VIDEO (program)", "VIDEO00 (AppVar)".
QString describe(const VariableInfo& variable);
// "VIDEO (program), VIDEO00 to VIDEO08 (9 AppVars)": runs of three or more
// names of one kind told as their first and last.
QString describeAll(const std::vector<VariableInfo>& variables);

// Whether two variables take the same place on the calculator: programs
// (protected or not) share their names, every other type has its own.
bool sameSlot(const VariableInfo& a, const VariableInfo& b);

// The calculator's variables that ours would replace.
std::vector<VariableInfo> sameNames(const std::vector<VariableInfo>& ours, const std::vector<VariableInfo>& theirs);

// The files of a delivery that are sent: the program and the AppVar files,
// in their order; the multi-variable files only where they are all there
// is, since they hold the same variables again.
QStringList filesToSend(const QStringList& delivered);

// The files sent for one file given: a program (.8xp) with the AppVar
// files of its video beside it (NAME00.8xv, NAME01.8xv, ..., any letter
// case), a multi-variable file (.8xg) with the further ones of the same
// video (NAME-2.8xg, ...), or a single AppVar file (.8xv). Nothing, with
// the reason, for anything else.
std::optional<QStringList> filesOfProgram(const QString& path, QString& error);

// What the variables ask of the calculator.
struct Footprint {
    // RAM: the variables kept there, and the symbol-table entry every
    // variable, archived or not, keeps there.
    std::int64_t ramBytes = 0;
    // The archive: each archived variable's entry (12 bytes, its name and
    // its data without the size word).
    std::vector<std::int64_t> archiveEntries;
    std::int64_t archiveBytes() const;
};
Footprint footprint(const std::vector<VariableInfo>& variables);

// Whether the archive entries fit `freeBytes` of free archive: whole
// 64 KB sectors, each with its status byte, that no entry crosses, and the
// rest of a sector.
bool archiveHolds(const std::vector<std::int64_t>& entries, std::int64_t freeBytes);

// The model connected against the video's target: a refusal with the
// reason (a video paced for 15 MHz on a 6 MHz model, one larger than the
// model's archive), or a note where another model plays it. `madeFor` is
// empty when the files do not say; only their size is checked then.
struct ModelCheck {
    QString refusal;
    QString note;
};
ModelCheck checkModel(const std::optional<VideoTarget>& madeFor, CalculatorModel connected, const Footprint& needs);

// Not enough free RAM or archive, where the calculator told how much it
// has: the bytes needed against the bytes free. `replaced` are the
// calculator's variables that the sending replaces: their room counts as
// free.
QString memoryShortage(const Footprint& needs, std::optional<std::int64_t> freeRam,
                       std::optional<std::int64_t> freeArchive, const std::vector<VariableInfo>& replaced);

// How to start the program sent: "Asm(prgmVIDEO)" on the home screen, or
// from a shell.
QString startText(const QString& programName);

}  // namespace zoetra::link
