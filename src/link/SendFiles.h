#pragma once

#include "link/SendCheck.h"

#include "link/TiLibs.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace zoetra::link {

// The variables of calculator files, read by libtifiles2 and kept for
// sending. The files themselves are only read.
class SendFiles {
public:
    SendFiles() = default;
    ~SendFiles();
    SendFiles(const SendFiles&) = delete;
    SendFiles& operator=(const SendFiles&) = delete;

    // Reads every file, each variable of a multi-variable file on its own;
    // the reason, naming the file, when one cannot be read or holds a
    // variable the TI-83 Plus family has no place for.
    std::optional<QString> read(const QStringList& files);

    struct Variable {
        VariableInfo info;
        QString file;
        VarEntry* entry = nullptr;  // owned by the file's content
    };
    const std::vector<Variable>& variables() const { return variables_; }
    std::vector<VariableInfo> infos() const;

private:
    std::vector<FileContent*> contents_;
    std::vector<Variable> variables_;
};

}  // namespace zoetra::link
