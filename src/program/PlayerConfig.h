#pragma once

#include "platform/FileSystem.h"
#include "shared/VideoTarget.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace zoetra {

struct ResolvedTarget;

// "VarFile.var": an empty line, "#define " and the shell word,
// "#define LOOPING" when the looping box is ticked (state 1), and
// "#define COMPACT" for the compact stream; for a target paced by deadlines
// "#define PACED", and "#define ARCHIVE" for a video in the archive.
QByteArray VarFileText(const QString& shellText, int loopingState, bool compact = false,
                       const VideoTarget& target = {});

// "Desc.txt": the description as one assembler data line closed by a zero
// byte. A double quote or a backslash, which would end or escape the
// string, is written as its number between string pieces, and so is a
// control character; characters outside ASCII become "?".
QByteArray DescriptionText(const QString& description);

// The most characters of description the shell's header holds, or nothing
// when any length builds: Ion jumps over the description with a relative
// jump, which reaches 127 bytes (126 characters and the closing zero);
// MirageOS keeps it as data in front of the code, where a long text would
// take the room a full video needs in the calculator's memory. Without a
// shell the description is not part of the program.
std::optional<int> descriptionLimit(const QString& shellText);

// Writes both files and the target's include ("Target.inc", see
// PlayerTarget.h) into the application folder; the first that cannot be
// written is returned, and the ones after it are then not written.
std::optional<FileFailure> WritePlayerConfig(FileSystem& files, const QString& appDir, const QString& shellText,
                                             int loopingState, const QString& description,
                                             const VideoTarget& target = {});
// The same for a target resolved once (PlayerTarget.h), its include as
// resolved.
std::optional<FileFailure> WritePlayerConfig(FileSystem& files, const QString& appDir, const QString& shellText,
                                             int loopingState, const QString& description,
                                             const ResolvedTarget& resolved);

}  // namespace zoetra
