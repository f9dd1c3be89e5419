#pragma once

#include "platform/FileSystem.h"

namespace zoetra {

// The file operations on the real file system, through Qt.
class QtFileSystem final : public FileSystem {
public:
    bool writeFile(const QString& path, const QByteArray& bytes, QString* error = nullptr) override;
    std::optional<QString> writeTemporaryFile(const QString& place, const QByteArray& bytes,
                                              QString* error = nullptr) override;
    std::optional<QByteArray> readFile(const QString& path, qint64 maxBytes) override;
    std::optional<QStringList> listFiles(const QString& folder, bool withHidden = false) override;
    bool removeFile(const QString& path, QString* error = nullptr) override;
    bool renameFile(const QString& from, const QString& to, QString* error = nullptr) override;
    bool replaceFile(const QString& source, const QString& destination, QString* error = nullptr) override;
    QString canonicalPath(const QString& path) override;
    bool isDirectory(const QString& path) override;
};

}  // namespace zoetra
