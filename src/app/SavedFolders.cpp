#include "app/SavedFolders.h"

#include <QDir>
#include <QFile>

namespace zoetra::SavedFolders {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool isLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

}  // namespace

std::optional<QString> parse(const QByteArray& content)
{
    qsizetype at = 0;
    const qsizetype size = content.size();
    while (at < size && isBlank(content.at(at))) {
        ++at;
    }

    qsizetype end = at;
    if (at < size && content.at(at) == '"') {
        // A quoted value may hold commas; it ends at the closing quote, or
        // with the line when there is none.
        ++at;
        end = at;
        while (end < size && content.at(end) != '"' && !isLineEnd(content.at(end))) {
            ++end;
        }
    } else {
        while (end < size && content.at(end) != ',' && !isLineEnd(content.at(end))) {
            ++end;
        }
    }

    if (end == at) {
        return std::nullopt;
    }
    return QDir::fromNativeSeparators(QString::fromLocal8Bit(content.mid(at, end - at)));
}

QByteArray format(const QString& folder)
{
    return '"' + QDir::toNativeSeparators(folder).toLocal8Bit() + "\"\r\n";
}

std::optional<QString> read(const QString& file)
{
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    const QByteArray content = in.read(ReadLimit);
    if (in.error() != QFileDevice::NoError) {
        return std::nullopt;
    }
    return parse(content);
}

}  // namespace zoetra::SavedFolders
