#include "program/ArchiveVideo.h"

#include "devpac8x/VariableFile.h"
#include "program/SoundVideo.h"

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

QStringList bundleFileNames(const QString& programName, int appVars, int withProgram)
{
    QStringList names{programName.toLower() + QStringLiteral(".8xg")};
    for (int rest = appVars - withProgram, n = 2; rest > 0; rest -= AppVarsPerBundle, ++n) {
        names.append(programName.toLower() + QStringLiteral("-%1.8xg").arg(n));
    }
    return names;
}

int mostBundles()
{
    return static_cast<int>(bundleFileNames(QStringLiteral("V"), MaxAppVars).size());
}

bool isAppVarFileName(const QString& programName, const QString& fileName)
{
    const auto middle = between(programName, fileName, QLatin1String(".8xv"));
    return middle && middle->size() == 2 && digits(*middle);
}

bool isBundleFileName(const QString& programName, const QString& fileName)
{
    const auto middle = between(programName, fileName, QLatin1String(".8xg"));
    if (!middle) {
        return false;
    }
    if (middle->isEmpty()) {
        return true;
    }
    // "-2" on, as the bundles are numbered: no leading zero, no further.
    const QStringView number = middle->mid(1);
    return middle->front() == QLatin1Char('-') && digits(number) && number.front() != QLatin1Char('0') &&
           number.size() <= 3 && number.toInt() >= 2 && number.toInt() <= mostBundles();
}

namespace {

std::span<const std::uint8_t> bytesOf(const QByteArray& bytes)
{
    return {reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size())};
}

QByteArray byteArrayOf(const std::vector<std::uint8_t>& bytes)
{
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

// An AppVar of the video: its name, and its data (after the size word)
// opening with the header and the index the name gives.
bool isVideoAppVar(const QString& programName, const devpac8x::Variable& variable)
{
    if (variable.type != devpac8x::AppVarType) {
        return false;
    }
    const QString name = QString::fromStdString(variable.name);
    if (name.size() != programName.size() + 2 || !name.startsWith(programName.toUpper()) ||
        !digits(QStringView(name).mid(programName.size()))) {
        return false;
    }
    const int index = QStringView(name).mid(programName.size()).toInt();
    const std::vector<std::uint8_t>& data = variable.data;
    return data.size() >= 2 + static_cast<std::size_t>(HeaderBytes) && data[2] == 'Z' &&
           (data[3] == 'V' || data[3] == SoundMark) &&
           data[2 + 6] == index && data[2 + 7] > index;
}

bool isProgramOf(const QString& programName, const devpac8x::Variable& variable)
{
    // Programs and protected (assembly) programs.
    return (variable.type == 0x05 || variable.type == 0x06) &&
           QString::fromStdString(variable.name) == programName.toUpper();
}

}  // namespace

bool isVideoAppVarFile(const QString& programName, const QString& fileName, std::span<const std::uint8_t> bytes)
{
    if (!isAppVarFileName(programName, fileName)) {
        return false;
    }
    const std::vector<devpac8x::Variable> variables = devpac8x::readVariableFile(bytes);
    return variables.size() == 1 && isVideoAppVar(programName, variables.front()) &&
           QString::fromStdString(variables.front().name).compare(fileName.chopped(4), Qt::CaseInsensitive) == 0;
}

bool isVideoBundle(const QString& programName, std::span<const std::uint8_t> bytes)
{
    const std::vector<devpac8x::Variable> variables = devpac8x::readVariableFile(bytes);
    return !variables.empty() && std::all_of(variables.begin(), variables.end(), [&](const devpac8x::Variable& v) {
        return isProgramOf(programName, v) || isVideoAppVar(programName, v);
    });
}

std::optional<FileFailure> writeInclude(FileSystem& files, const QString& folder, const QString& programName,
                                        std::span<const std::uint8_t> stream, int maxFrameBytes)
{
    const QString include = joinPath(folder, QString::fromLatin1(IncludeName.data(), static_cast<qsizetype>(IncludeName.size())));
    QString why;
    if (!files.writeFile(include, includeText(programName, stream, maxFrameBytes), &why)) {
        return FileFailure{include, why};
    }
    return std::nullopt;
}

namespace {

// The video's AppVars, then its sound's, numbered on.
std::vector<devpac8x::Variable> appVarVariables(const QString& programName, std::span<const std::uint8_t> stream,
                                                std::span<const std::uint8_t> sound)
{
    std::vector<std::vector<std::uint8_t>> parts = splitIntoAppVars(stream);
    if (!sound.empty()) {
        std::vector<std::vector<std::uint8_t>> soundParts =
            splitSoundIntoAppVars(static_cast<int>(parts.size()), sound);
        parts.insert(parts.end(), std::make_move_iterator(soundParts.begin()), std::make_move_iterator(soundParts.end()));
    }
    std::vector<devpac8x::Variable> variables;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        variables.push_back(devpac8x::appVar(appVarName(programName, static_cast<int>(i)).toStdString(), parts[i], true));
    }
    return variables;
}

}  // namespace

std::vector<CalculatorFile> appVarFiles(const QString& programName, std::span<const std::uint8_t> stream,
                                        std::span<const std::uint8_t> sound)
{
    const std::vector<devpac8x::Variable> variables = appVarVariables(programName, stream, sound);
    const auto videoVars = static_cast<std::size_t>(appVarCount(stream.size()));
    std::vector<CalculatorFile> result;
    for (std::size_t i = 0; i < variables.size(); ++i) {
        const int index = static_cast<int>(i);
        const QString comment = i < videoVars
            ? QStringLiteral("Video %1 of %2").arg(index + 1).arg(videoVars)
            : QStringLiteral("Sound %1 of %2").arg(i - videoVars + 1).arg(variables.size() - videoVars);
        const std::vector<std::uint8_t> file = devpac8x::makeVariableFile(std::span(&variables[i], 1), comment.toStdString());
        result.push_back({appVarFileName(programName, index), byteArrayOf(file)});
    }
    return result;
}

std::optional<FileFailure> bundleFiles(const QString& programName, const QByteArray& programFile,
                                       std::span<const std::uint8_t> stream, std::vector<CalculatorFile>& bundles,
                                       std::span<const std::uint8_t> sound)
{
    const QString programFileName = programName.toLower() + QStringLiteral(".8xp");
    std::string error;
    std::vector<devpac8x::Variable> program = devpac8x::readVariableFile(bytesOf(programFile), &error);
    if (program.size() != 1) {
        return FileFailure{programFileName,
                           error.empty() ? QStringLiteral("holds more than one variable") : QString::fromStdString(error)};
    }
    const std::vector<devpac8x::Variable> appVars = appVarVariables(programName, stream, sound);
    const int count = static_cast<int>(appVars.size());
    // A file's entries: a header of 17 bytes and the data each. A program
    // larger than the written player's (one with its sound) leaves room
    // for fewer AppVars beside it.
    constexpr std::size_t EntryHeader = 17;
    constexpr std::size_t MostEntries = 65535;
    const std::size_t programEntry = EntryHeader + program.front().data.size();
    const std::size_t appVarEntry = EntryHeader + 2 + AppVarDataBytes;
    const int withProgram = static_cast<int>(std::min<std::size_t>(
        AppVarsWithProgram, programEntry < MostEntries ? (MostEntries - programEntry) / appVarEntry : 0));

    const QStringList names = bundleFileNames(programName, count, withProgram);
    int next = 0;
    for (int b = 0; b < names.size(); ++b) {
        std::vector<devpac8x::Variable> variables;
        if (b == 0) {
            variables.push_back(program.front());
        }
        const int take = b == 0 ? withProgram : AppVarsPerBundle;
        for (int i = 0; i < take && next < count; ++i, ++next) {
            variables.push_back(appVars[static_cast<std::size_t>(next)]);
        }
        const std::string comment = b == 0 ? QStringLiteral("Program %1 and its video").arg(programName.toUpper()).toStdString()
                                           : QStringLiteral("Video of %1, part %2").arg(programName.toUpper()).arg(b + 1).toStdString();
        try {
            bundles.push_back({names.at(b), byteArrayOf(devpac8x::makeVariableFile(variables, comment))});
        } catch (const std::exception& e) {
            return FileFailure{names.at(b), QStringLiteral("cannot be made: %1").arg(QString::fromUtf8(e.what()))};
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
