#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace zoetra {

// The file operations the logic needs. Paths use "/" as separator on every
// platform (Qt's convention); nativePath() gives the form for users and for
// command files.
class FileSystem {
public:
    virtual ~FileSystem() = default;

    // Creates or truncates the file, writes all bytes in one write, closes it.
    // On failure *error, when given, says why (the system's reason, such as
    // "No space left on device").
    virtual bool writeFile(const QString& path, const QByteArray& bytes, QString* error = nullptr) = 0;
    // Writes the bytes into a new hidden file beside `place`, in its folder
    // (".NAME.partial-XXXXXX" for the place NAME), made anew so that it
    // replaces nothing. Its path; nothing, with why, when it cannot be
    // written, and then nothing of it is left.
    virtual std::optional<QString> writeTemporaryFile(const QString& place, const QByteArray& bytes,
                                                      QString* error = nullptr) = 0;
    // The whole file, or nothing when it cannot be read or exceeds maxBytes.
    virtual std::optional<QByteArray> readFile(const QString& path, qint64 maxBytes) = 0;
    // Names of the plain files of a folder, in no set order, hidden ones only
    // when asked for; nothing when the folder cannot be listed.
    virtual std::optional<QStringList> listFiles(const QString& folder, bool withHidden = false) = 0;
    virtual bool removeFile(const QString& path, QString* error = nullptr) = 0;
    // Renames a file within its folder, replacing nothing: false when the
    // destination exists.
    virtual bool renameFile(const QString& from, const QString& to, QString* error = nullptr) = 0;
    // Copies source over destination through a temporary file beside the
    // destination, renamed at the end: a failed copy leaves an older
    // destination intact. On failure *error, when given, says why.
    virtual bool replaceFile(const QString& source, const QString& destination, QString* error = nullptr) = 0;
    // The canonical form of an existing path, empty when it does not exist.
    virtual QString canonicalPath(const QString& path) = 0;
    virtual bool isDirectory(const QString& path) = 0;
};

// A file that could not be written, renamed or removed, and why.
struct FileFailure {
    QString path;
    QString reason;
    // "path: reason", in the platform's spelling of the path.
    QString text() const;
};

// Joins a file name to a folder with exactly one separator between them.
QString joinPath(const QString& folder, const QString& name);
// The platform's own spelling of a path.
QString nativePath(const QString& path);

}  // namespace zoetra
