#include "link/SendFiles.h"

#include "link/Cables.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstring>

namespace zoetra::link {

SendFiles::~SendFiles()
{
    for (FileContent* content : contents_) {
        tifiles_content_delete_regular(content);
    }
}

std::optional<QString> SendFiles::read(const QStringList& files)
{
    initLibraries();
    for (const QString& path : files) {
        const QString shown = QDir::toNativeSeparators(path);
        if (!QFileInfo(path).isFile()) {
            return QStringLiteral("%1 is not there.").arg(shown);
        }
        const QByteArray name = QFile::encodeName(path);
        if (tifiles_file_is_regular(name.constData()) == 0) {
            return QStringLiteral("%1 is not a calculator variable file.").arg(shown);
        }
        FileContent* content = tifiles_content_create_regular(CALC_TI83P);
        if (content == nullptr) {
            return QStringLiteral("%1 cannot be read.").arg(shown);
        }
        contents_.push_back(content);
        if (const int error = tifiles_file_read_regular(name.constData(), content); error != 0) {
            return QStringLiteral("%1 cannot be read: %2").arg(shown, libraryErrorText(error));
        }
        if (content->model != CALC_TI83P && content->model != CALC_TI84P) {
            return QStringLiteral("%1 is not a file of the TI-83 Plus family.").arg(shown);
        }
        for (unsigned int i = 0; i < content->num_entries; ++i) {
            VarEntry* entry = content->entries[i];
            if (entry == nullptr) {
                continue;
            }
            Variable variable;
            variable.info.name = QByteArray(entry->name, static_cast<qsizetype>(strnlen(entry->name, 8)));
            variable.info.type = entry->type;
            variable.info.archived = entry->attr == ATTRB_ARCHIVED;
            variable.info.bytes = entry->size;
            variable.file = path;
            variable.entry = entry;
            variables_.push_back(variable);
        }
    }
    return std::nullopt;
}

std::vector<VariableInfo> SendFiles::infos() const
{
    std::vector<VariableInfo> list;
    for (const Variable& variable : variables_) {
        list.push_back(variable.info);
    }
    return list;
}

}  // namespace zoetra::link
