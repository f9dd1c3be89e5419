#include "platform/BatchScript.h"

#include <QByteArray>

namespace zoetra {

namespace {

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

}  // namespace

BatchLine parseBatchLine(const QString& rawLine)
{
    QString line = rawLine;
    while (line.endsWith(QLatin1Char('\r')) || line.endsWith(QLatin1Char('\n'))) {
        line.chop(1);
    }
    line = line.trimmed();
    // "@" only silences the echo of a line.
    while (line.startsWith(QLatin1Char('@'))) {
        line = line.mid(1).trimmed();
    }

    BatchLine result;
    if (line.isEmpty() || line.startsWith(QLatin1String("::"))) {
        return result;
    }

    qsizetype wordEnd = 0;
    while (wordEnd < line.size() && !isBlank(line.at(wordEnd))) {
        ++wordEnd;
    }
    const QString word = line.left(wordEnd);
    if (word.compare(QLatin1String("REM"), Qt::CaseInsensitive) == 0) {
        return result;
    }
    if (word.compare(QLatin1String("CD"), Qt::CaseInsensitive) == 0) {
        result.kind = BatchLine::Kind::ChangeFolder;
        result.folder = line.mid(wordEnd).trimmed();
        return result;
    }

    result.kind = BatchLine::Kind::Run;
    result.program = word;
    QString piece;
    for (qsizetype i = wordEnd; i < line.size(); ++i) {
        if (isBlank(line.at(i))) {
            if (!piece.isEmpty()) {
                result.arguments.append(piece);
                piece.clear();
            }
        } else {
            piece.append(line.at(i));
        }
    }
    if (!piece.isEmpty()) {
        result.arguments.append(piece);
    }
    return result;
}

std::vector<BatchLine> parseBatch(const QByteArray& text)
{
    std::vector<BatchLine> lines;
    for (const QByteArray& raw : text.split('\n')) {
        const BatchLine line = parseBatchLine(QString::fromLocal8Bit(raw));
        if (line.kind != BatchLine::Kind::Nothing) {
            lines.push_back(line);
        }
    }
    return lines;
}

}  // namespace zoetra
