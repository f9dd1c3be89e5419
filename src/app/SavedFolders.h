#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace zoetra {

// The two files that remember the source and the output folder between
// program runs, "LastDir.cfg" and "OutDir.cfg" in the application folder.
// Each holds one line: the folder's native path in double quotes, CR LF.
namespace SavedFolders {

inline constexpr char LastDirFile[] = "LastDir.cfg";
inline constexpr char OutDirFile[] = "OutDir.cfg";

// Only the start of a file is read; a path does not come near this.
inline constexpr qint64 ReadLimit = 64 * 1024;

// The first value of a file's content: leading blanks skipped, then the text
// between a double quote and the next one, or else the text up to the first
// comma or the end of the line. The path comes back in "/" form. Nothing
// when the content holds no value (empty, blank, or an empty value).
std::optional<QString> parse(const QByteArray& content);

// What the file holds for a folder given in "/" form.
QByteArray format(const QString& folder);

// parse() of the file's first ReadLimit bytes; nothing when it is missing
// or cannot be read.
std::optional<QString> read(const QString& file);

}  // namespace SavedFolders
}  // namespace zoetra
