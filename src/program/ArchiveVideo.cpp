#include "program/ArchiveVideo.h"

#include "devpac8x/VariableFile.h"

#include <algorithm>
#include <array>

namespace zoetra::archive {

std::uint32_t videoIdentity(std::span<const std::uint8_t> stream)
{
    std::uint32_t hash = 2166136261u;
    for (const std::uint8_t byte : stream) {
        hash = (hash ^ byte) * 16777619u;
    }
    return hash;
}

QString appVarName(const QString& programName, int index)
{
    if (programName.isEmpty() || programName.size() > MaxProgramNameLength || index < 0 || index >= MaxAppVars) {
        return {};
    }
    return programName.toUpper() + QStringLiteral("%1").arg(index, 2, 10, QLatin1Char('0'));
}

std::array<std::uint8_t, SignatureBytes> signature(std::span<const std::uint8_t> stream)
{
    const std::uint32_t identity = videoIdentity(stream);
    return {'Z',
            'V',
            static_cast<std::uint8_t>(identity),
            static_cast<std::uint8_t>(identity >> 8),
            static_cast<std::uint8_t>(identity >> 16),
            static_cast<std::uint8_t>(identity >> 24)};
}

std::vector<std::vector<std::uint8_t>> splitIntoAppVars(std::span<const std::uint8_t> stream)
{
    const auto head = signature(stream);
    const int count = appVarCount(stream.size());
    std::vector<std::vector<std::uint8_t>> appVars;
    for (int i = 0; i < count; ++i) {
        const std::size_t from = static_cast<std::size_t>(i) * StreamBytesPerAppVar;
        const std::size_t to = std::min(stream.size(), from + StreamBytesPerAppVar);
        std::vector<std::uint8_t> data(head.begin(), head.end());
        data.push_back(static_cast<std::uint8_t>(i));
        data.push_back(static_cast<std::uint8_t>(count));
        data.insert(data.end(), stream.begin() + static_cast<std::ptrdiff_t>(from),
                    stream.begin() + static_cast<std::ptrdiff_t>(to));
        appVars.push_back(std::move(data));
    }
    return appVars;
}

int appVarsInArchive(std::int64_t freeBytes, int nameLength)
{
    const std::int64_t entry = 12 + nameLength + AppVarDataBytes;
    // A sector starts with its status byte; an entry never crosses its end.
    const std::int64_t perSector = (SectorBytes - 1) / entry;
    const std::int64_t sectors = freeBytes / SectorBytes;
    const std::int64_t rest = freeBytes % SectorBytes;
    const std::int64_t inRest = rest > 1 ? (rest - 1) / entry : 0;
    return static_cast<int>(std::min<std::int64_t>(MaxAppVars, sectors * perSector + inRest));
}

std::int64_t emptyArchiveBytes(CalculatorModel model)
{
    const ModelFacts& facts = modelFacts(model);
    const std::int64_t pages = facts.appsTopPage - facts.archiveFirstPage + 1;
    return pages * PageBytes - SectorBytes;
}

std::int64_t streamLimit(CalculatorModel model, const QString& programName, std::optional<std::int64_t> freeBytes)
{
    const int nameLength = static_cast<int>(std::min<qsizetype>(programName.size(), MaxProgramNameLength)) + 2;
    return static_cast<std::int64_t>(appVarsInArchive(freeBytes.value_or(emptyArchiveBytes(model)), nameLength)) *
           StreamBytesPerAppVar;
}

namespace {

QByteArray byteList(std::span<const std::uint8_t> bytes)
{
    QByteArray text;
    for (const std::uint8_t b : bytes) {
        text += (text.isEmpty() ? "" : ",") + QByteArray::number(b);
    }
    return text;
}

bool digits(QStringView text)
{
    return !text.isEmpty() &&
           std::all_of(text.begin(), text.end(), [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); });
}

// The part of the file name between the program name and the ending, when
// it has both.
std::optional<QStringView> between(const QString& programName, const QString& fileName, QLatin1String ending)
{
    if (fileName.size() < programName.size() + ending.size() || !fileName.startsWith(programName, Qt::CaseInsensitive) ||
        !fileName.endsWith(ending, Qt::CaseInsensitive)) {
        return std::nullopt;
    }
    return QStringView(fileName).mid(programName.size(), fileName.size() - programName.size() - ending.size());
}

}  // namespace

QByteArray includeText(const QString& programName, std::span<const std::uint8_t> stream, int maxFrameBytes)
{
    const QByteArray name = appVarName(programName, 0).toLatin1();
    std::vector<std::uint8_t> op1{0x15};
    op1.insert(op1.end(), name.begin(), name.end());
    op1.push_back(0);
    QByteArray text = "; The video's AppVars, written by the converter: " + name.chopped(2) + "00 to " +
                      appVarName(programName, appVarCount(stream.size()) - 1).toLatin1() + "\r\n";
    text += "APPVAR_COUNT    .equ " + QByteArray::number(appVarCount(stream.size())) + "\r\n";
    text += "NAME_LENGTH     .equ " + QByteArray::number(name.size() - 2) + "\r\n";
    text += "MAX_FRAME_BYTES .equ " + QByteArray::number(maxFrameBytes) + "\r\n";
    text += "AppVarName:     .db " + byteList(op1) + "\r\n";
    text += "Signature:      .db " + byteList(signature(stream)) + "\r\n";
    return text;
}

QString appVarFileName(const QString& programName, int index)
{
    return appVarName(programName, index).toLower() + QStringLiteral(".8xv");
}

QStringList bundleFileNames(const QString& programName, int appVars)
{
    QStringList names{programName.toLower() + QStringLiteral(".8xg")};
    for (int rest = appVars - AppVarsWithProgram, n = 2; rest > 0; rest -= AppVarsPerBundle, ++n) {
        names.append(programName.toLower() + QStringLiteral("-%1.8xg").arg(n));
    }
    return names;
}

bool isAppVarFileName(const QString& programName, const QString& fileName)
{
    const auto middle = between(programName, fileName, QLatin1String(".8xv"));
    return middle && middle->size() == 2 && digits(*middle);
}

bool isBundleFileName(const QString& programName, const QString& fileName)
{
    const auto middle = between(programName, fileName, QLatin1String(".8xg"));
    return middle && (middle->isEmpty() || (middle->front() == QLatin1Char('-') && digits(middle->mid(1))));
}

std::optional<FileFailure> writeAppVarFiles(FileSystem& files, const QString& folder, const QString& programName,
                                            std::span<const std::uint8_t> stream, int maxFrameBytes)
{
    const QString include = joinPath(folder, QString::fromLatin1(IncludeName.data(), static_cast<qsizetype>(IncludeName.size())));
    QString why;
    if (!files.writeFile(include, includeText(programName, stream, maxFrameBytes), &why)) {
        return FileFailure{include, why};
    }
    const std::vector<std::vector<std::uint8_t>> parts = splitIntoAppVars(stream);
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const int index = static_cast<int>(i);
        const devpac8x::Variable variable =
            devpac8x::appVar(appVarName(programName, index).toStdString(), parts[i], true);
        const std::vector<std::uint8_t> file = devpac8x::makeVariableFile(
            std::span(&variable, 1), QStringLiteral("Video %1 of %2").arg(index + 1).arg(parts.size()).toStdString());
        const QString path = joinPath(folder, appVarFileName(programName, index));
        if (!files.writeFile(path, QByteArray(reinterpret_cast<const char*>(file.data()), static_cast<qsizetype>(file.size())), &why)) {
            return FileFailure{path, why};
        }
    }
    return std::nullopt;
}

std::optional<FileFailure> writeBundles(FileSystem& files, const QString& folder, const QString& programFile,
                                        const QString& programName, int appVars)
{
    // A program file is at most 64 KB, an AppVar file a little more than
    // its 16 KB of data.
    constexpr qint64 MostBytes = 70000;
    const auto read = [&](const QString& name, devpac8x::Variable& variable) -> std::optional<FileFailure> {
        const QString path = joinPath(folder, name);
        const std::optional<QByteArray> bytes = files.readFile(path, MostBytes);
        if (!bytes) {
            return FileFailure{path, QStringLiteral("cannot be read")};
        }
        std::string error;
        std::vector<devpac8x::Variable> variables = devpac8x::readVariableFile(
            std::span(reinterpret_cast<const std::uint8_t*>(bytes->constData()), static_cast<std::size_t>(bytes->size())),
            &error);
        if (variables.size() != 1) {
            return FileFailure{path, error.empty() ? QStringLiteral("holds more than one variable") : QString::fromStdString(error)};
        }
        variable = std::move(variables.front());
        return std::nullopt;
    };

    const QStringList bundles = bundleFileNames(programName, appVars);
    int next = 0;
    for (int b = 0; b < bundles.size(); ++b) {
        std::vector<devpac8x::Variable> variables;
        if (b == 0) {
            variables.emplace_back();
            if (auto failure = read(programFile, variables.back())) {
                return failure;
            }
        }
        const int take = b == 0 ? AppVarsWithProgram : AppVarsPerBundle;
        for (int i = 0; i < take && next < appVars; ++i, ++next) {
            variables.emplace_back();
            if (auto failure = read(appVarFileName(programName, next), variables.back())) {
                return failure;
            }
        }
        const std::string comment = b == 0 ? QStringLiteral("Program %1 and its video").arg(programName.toUpper()).toStdString()
                                           : QStringLiteral("Video of %1, part %2").arg(programName.toUpper()).arg(b + 1).toStdString();
        const QString path = joinPath(folder, bundles.at(b));
        std::vector<std::uint8_t> file;
        try {
            file = devpac8x::makeVariableFile(variables, comment);
        } catch (const std::exception& e) {
            return FileFailure{path, QStringLiteral("cannot be made: %1").arg(QString::fromUtf8(e.what()))};
        }
        QString why;
        if (!files.writeFile(path, QByteArray(reinterpret_cast<const char*>(file.data()), static_cast<qsizetype>(file.size())), &why)) {
            return FileFailure{path, why};
        }
    }
    return std::nullopt;
}

}  // namespace zoetra::archive

namespace zoetra {

int videoSizeLimit(const VideoTarget& target)
{
    if (target.storage != Storage::Archive) {
        return target.format == StreamFormat::Dense ? RamVideoLimit - DensePlayerExtraBytes : RamVideoLimit;
    }
    // A calculator never has more free than its archive when empty.
    const std::int64_t empty = archive::emptyArchiveBytes(target.model);
    const std::int64_t freeBytes = std::min(empty, target.freeArchiveBytes.value_or(empty));
    const std::int64_t appVars = archive::appVarsInArchive(freeBytes, archive::LongestAppVarName);
    return static_cast<int>(std::max<std::int64_t>(0, appVars * archive::StreamBytesPerAppVar - 1));
}

}  // namespace zoetra
