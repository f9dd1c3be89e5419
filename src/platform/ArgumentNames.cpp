#include "platform/ArgumentNames.h"

#include <QStringDecoder>

namespace zoetra {

namespace {

bool validUtf8(QByteArrayView bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder(bytes);
    Q_UNUSED(text);
    return !decoder.hasError();
}

// The length of the UTF-8 sequence a lead byte starts, 0 for none.
int sequenceLength(unsigned char lead)
{
    if (lead >= 0xC2 && lead <= 0xDF) {
        return 2;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        return 4;
    }
    return 0;
}

}  // namespace

QString escapedBytes(const QByteArray& bytes)
{
    QString text;
    for (qsizetype i = 0; i < bytes.size();) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte < 0x80) {
            text += QLatin1Char(static_cast<char>(byte));
            ++i;
            continue;
        }
        // A whole valid sequence stays as its character.
        const int length = sequenceLength(byte);
        if (length > 0 && i + length <= bytes.size() && validUtf8(QByteArrayView(bytes).sliced(i, length))) {
            text += QString::fromUtf8(bytes.mid(i, length));
            i += length;
            continue;
        }
        text += QStringLiteral("\\x") + QString::number(byte, 16).toUpper().rightJustified(2, QLatin1Char('0'));
        ++i;
    }
    return text;
}

std::optional<QString> argumentNotUtf8(int argc, const char* const* argv)
{
#ifdef Q_OS_WIN
    Q_UNUSED(argc);
    Q_UNUSED(argv);
    return std::nullopt;
#else
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (!validUtf8(argument)) {
            return escapedBytes(argument);
        }
    }
    return std::nullopt;
#endif
}

}  // namespace zoetra
