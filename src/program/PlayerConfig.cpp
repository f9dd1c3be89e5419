#include "program/PlayerConfig.h"

#include "platform/FileSystem.h"
#include "program/PlayerTarget.h"
#include "shared/Text.h"

namespace zoetra {

QByteArray VarFileText(const QString& shellText, int loopingState, bool compact, const VideoTarget& target)
{
    QByteArray word;
    if (shellText == QLatin1String("Ion")) {
        word = "ION";
    }
    if (shellText == QLatin1String("MirageOS")) {
        word = "MIRAGEOS";
    }
    if (shellText == QLatin1String("No Shell")) {
        word = "NOSHELL";
    }
    QByteArray text = "\r\n#define " + word;
    if (loopingState == 1) {
        text += "\r\n#define LOOPING";
    }
    if (compact) {
        text += "\r\n#define COMPACT";
    }
    if (pacedByDeadlines(target)) {
        text += "\r\n#define PACED";
    }
    if (target.format == StreamFormat::Dense) {
        text += "\r\n#define DENSE";
    }
    if (target.storage == Storage::Archive) {
        text += "\r\n#define ARCHIVE";
    }
    if (target.sound) {
        text += "\r\n#define SOUND";
    }
    text += "\r\n";
    return text;
}

QByteArray DescriptionText(const QString& description)
{
    QByteArray text = ".db \"";
    for (const char32_t c : description.toUcs4()) {
        if (c == U'"' || c == U'\\' || c < 32 || c == 127) {
            text += "\",";
            text += QByteArray::number(static_cast<unsigned>(c));
            text += ",\"";
        } else if (c > 127) {
            text += '?';
        } else {
            text += static_cast<char>(c);
        }
    }
    text += "\",0\r\n";
    return text;
}

std::optional<int> descriptionLimit(const QString& shellText)
{
    if (shellText == QLatin1String("Ion")) {
        return 126;
    }
    if (shellText == QLatin1String("MirageOS")) {
        return 255;
    }
    return std::nullopt;
}

std::optional<FileFailure> WritePlayerConfig(FileSystem& files, const QString& appDir, const QString& shellText,
                                             int loopingState, const QString& description,
                                             const VideoTarget& target)
{
    return WritePlayerConfig(files, appDir, shellText, loopingState, description, resolveTarget(target));
}

std::optional<FileFailure> WritePlayerConfig(FileSystem& files, const QString& appDir, const QString& shellText,
                                             int loopingState, const QString& description,
                                             const ResolvedTarget& resolved)
{
    const VideoTarget& target = resolved.target;
    const struct {
        QString path;
        QByteArray text;
    } written[] = {
        {joinPath(appDir, QStringLiteral("VarFile.var")),
         VarFileText(shellText, loopingState, target.format == StreamFormat::Compact, target)},
        {joinPath(appDir, QStringLiteral("Desc.txt")), DescriptionText(description)},
        {joinPath(appDir, toQString(TargetIncludeName)), resolved.targetInclude},
    };
    for (const auto& file : written) {
        QString why;
        if (!files.writeFile(file.path, file.text, &why)) {
            return FileFailure{file.path, why};
        }
    }
    return std::nullopt;
}

}  // namespace zoetra
