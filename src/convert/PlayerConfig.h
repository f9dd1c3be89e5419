#pragma once

#include <QByteArray>
#include <QString>

namespace zoetra {

class FileSystem;

// "VarFile.var": an empty line, "#define " and the shell word, and
// "#define LOOPING" when the looping box is ticked (state 1).
QByteArray VarFileText(const QString& shellText, int loopingState);

// "Desc.txt": the description as one assembler data line closed by a zero
// byte. A double quote or a backslash, which would end or escape the
// string, is written as its number between string pieces, and so is a
// control character; characters outside ASCII become "?".
QByteArray DescriptionText(const QString& description);

// Writes both files into the application folder. A file that cannot be
// written is passed over.
void WritePlayerConfig(FileSystem& files, const QString& appDir, const QString& shellText,
                       int loopingState, const QString& description);

}  // namespace zoetra
