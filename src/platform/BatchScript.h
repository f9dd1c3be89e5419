#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace zoetra {

// One line of a command file, as the minimal batch runner understands it:
// "CD folder" changes the current folder, an empty line (or a REM remark)
// does nothing, every other line is a command and its arguments split on
// blanks. There are no variables, no quoting, no globbing and no shell.
struct BatchLine {
    enum class Kind { Nothing, ChangeFolder, Run };
    Kind kind = Kind::Nothing;
    QString folder;       // ChangeFolder
    QString program;      // Run
    QStringList arguments;
};

BatchLine parseBatchLine(const QString& line);

// Splits a command file into lines at LF, dropping the CR of CR LF.
std::vector<BatchLine> parseBatch(const QByteArray& text);

}  // namespace zoetra
