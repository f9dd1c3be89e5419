#include "calc/VideoFiles.h"

#include "calc/Machine.h"
#include "calc/OsAddresses.h"
#include "devpac8x/VariableFile.h"
#include "shared/ArchiveLayout.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <iterator>
#include <map>

namespace zoetra::calc {

namespace {

constexpr std::uint8_t ProgramType = 0x05;
constexpr std::uint8_t ProtectedProgramType = 0x06;

std::optional<std::vector<std::uint8_t>> readBytes(const QString& path, qint64 limit, std::string* error)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
        *error = QDir::toNativeSeparators(path).toStdString() + " cannot be read";
        return std::nullopt;
    }
    if (file.size() > limit) {
        *error = QDir::toNativeSeparators(path).toStdString() + " is larger than a calculator file can be";
        return std::nullopt;
    }
    const QByteArray bytes = file.read(limit + 1);
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

// The files of the folder whose names match, in the order of the number
// they hold.
QStringList numberedFiles(const QDir& folder, const QRegularExpression& pattern)
{
    QStringList found;
    for (const QString& name : folder.entryList(QDir::Files | QDir::Hidden)) {
        if (pattern.match(name).hasMatch()) {
            found.append(name);
        }
    }
    std::sort(found.begin(), found.end(), [&](const QString& a, const QString& b) {
        return pattern.match(a).captured(1).toInt() < pattern.match(b).captured(1).toInt();
    });
    return found;
}

// The variables read so far, by name, and the file each came from: a
// calculator holds one variable of a name.
struct Gathered {
    ProgramWithVideo video;
    std::map<std::string, QString> appVarFiles;
};

std::string native(const QString& path)
{
    return QDir::toNativeSeparators(path).toStdString();
}

bool addVariables(const QString& path, Gathered& into, bool programAllowed, std::string* error)
{
    const auto bytes = readBytes(path, VariableFileLimit, error);
    if (!bytes) {
        return false;
    }
    std::string why;
    const std::vector<devpac8x::Variable> variables = devpac8x::readVariableFile(*bytes, &why);
    if (variables.empty()) {
        *error = native(path) + ": " + why;
        return false;
    }
    for (const devpac8x::Variable& variable : variables) {
        const std::size_t size = variable.data.size();
        if (size < 2) {
            *error = native(path) + ": " + variable.name + " has no size word";
            return false;
        }
        // The player reads the size word on the calculator, not the entry.
        const std::size_t said = variable.data[0] | std::size_t{variable.data[1]} << 8;
        if (said != size - 2) {
            *error = native(path) + ": " + variable.name + " says it holds " + std::to_string(said) +
                     " bytes, but its entry holds " + std::to_string(size - 2);
            return false;
        }
        std::vector<std::uint8_t> data(variable.data.begin() + 2, variable.data.end());
        if (variable.type == devpac8x::AppVarType) {
            const auto [at, added] = into.appVarFiles.emplace(variable.name, path);
            if (!added) {
                *error = at->second == path ? native(path) + " holds the AppVar " + variable.name + " twice"
                                            : native(at->second) + " and " + native(path) + " both hold the AppVar " +
                                                  variable.name + "; a calculator keeps one of a name";
                return false;
            }
            into.video.appVars.push_back({variable.name, std::move(data), variable.archived});
        } else if (programAllowed && (variable.type == ProgramType || variable.type == ProtectedProgramType)) {
            if (!into.video.program.empty()) {
                *error = native(path) + " holds more than one program";
                return false;
            }
            into.video.program = std::move(data);
        } else {
            *error = native(path) + ": " + variable.name + " is neither the program nor one of its AppVars";
            return false;
        }
    }
    return true;
}

// The stream where the program says it lies: in the program after its
// code, or in the AppVars of the video after their headers, in the order of
// their indexes; empty where it is not whole.
std::vector<std::uint8_t> videoStream(const ProgramWithVideo& video)
{
    const std::vector<std::uint8_t>& program = video.program;
    if (!video.madeFor) {
        return {};
    }
    if (video.madeFor->storage == Storage::Ram) {
        const std::size_t from = video.madeFor->streamAddress - std::size_t{ProgramOrigin};
        const std::size_t to = program.size() - madefor::Bytes;
        if (video.madeFor->streamAddress < ProgramOrigin || from >= to) {
            return {};
        }
        return {program.begin() + static_cast<std::ptrdiff_t>(from), program.begin() + static_cast<std::ptrdiff_t>(to)};
    }
    // "ZV", the video's identity, the index, the count (program/ArchiveVideo.h).
    constexpr std::size_t IndexAt = 6;
    constexpr std::size_t CountAt = 7;
    std::map<int, const AppVar*> parts;
    std::optional<int> count;
    for (const AppVar& var : video.appVars) {
        const std::vector<std::uint8_t>& data = var.data;
        if (data.size() < static_cast<std::size_t>(archive::HeaderBytes) || data[0] != 'Z' || data[1] != 'V') {
            continue;
        }
        if ((count && *count != data[CountAt]) || !parts.emplace(data[IndexAt], &var).second) {
            return {};
        }
        count = data[CountAt];
    }
    if (!count || static_cast<int>(parts.size()) != *count || parts.rbegin()->first != *count - 1) {
        return {};
    }
    std::vector<std::uint8_t> stream;
    for (const auto& [index, var] : parts) {
        stream.insert(stream.end(), var->data.begin() + archive::HeaderBytes, var->data.end());
    }
    return stream;
}

}  // namespace

bool readsVariables(const std::vector<std::uint8_t>& program)
{
    if (const std::optional<MadeFor> madeFor = madeForOf(program)) {
        return madeFor->storage == Storage::Archive;
    }
    for (const std::uint16_t call : {bcall::ChkFindSym, bcall::FindSym}) {
        const std::uint8_t code[] = {0xEF, static_cast<std::uint8_t>(call & 0xFF), static_cast<std::uint8_t>(call >> 8)};
        if (std::search(program.begin(), program.end(), std::begin(code), std::end(code)) != program.end()) {
            return true;
        }
    }
    return false;
}

std::optional<ProgramWithVideo> readProgramWithVideo(const QString& path, std::string* error)
{
    std::string ignored;
    std::string& why = error != nullptr ? *error : ignored;
    const QFileInfo info(path);
    const QDir folder = info.absoluteDir();
    // The numbered files of the video beside the first, in order.
    const auto addNumbered = [&](const QString& pattern, Gathered& into) {
        const QRegularExpression numbered(pattern.arg(QRegularExpression::escape(info.completeBaseName())),
                                          QRegularExpression::CaseInsensitiveOption);
        for (const QString& name : numberedFiles(folder, numbered)) {
            if (!addVariables(folder.filePath(name), into, false, &why)) {
                return false;
            }
        }
        return true;
    };
    // A program that looks no variable up reads none of the files beside it.
    const auto finished = [](Gathered& gathered) {
        ProgramWithVideo& video = gathered.video;
        video.madeFor = madeForOf(video.program);
        video.stream = videoStream(video);
        return std::optional<ProgramWithVideo>(std::move(video));
    };
    Gathered result;
    if (info.suffix().compare(QLatin1String("8xg"), Qt::CaseInsensitive) == 0) {
        if (!addVariables(path, result, true, &why)) {
            return std::nullopt;
        }
        if (result.video.program.empty()) {
            why = native(path) + " holds no program";
            return std::nullopt;
        }
        if (const std::string problem = assemblyProgramProblem(result.video.program); !problem.empty()) {
            why = problem;
            return std::nullopt;
        }
        if (!readsVariables(result.video.program)) {
            result.video.appVars.clear();
            return finished(result);
        }
        // The bundles that follow the first: NAME-2.8xg, NAME-3.8xg, ...
        if (!addNumbered(QStringLiteral("^%1-(\\d+)\\.8xg$"), result)) {
            return std::nullopt;
        }
        return finished(result);
    }

    const auto file = readBytes(path, ProgramFileLimit, &why);
    if (!file) {
        return std::nullopt;
    }
    result.video.program = assemblyProgram(*file, &why);
    if (result.video.program.empty()) {
        return std::nullopt;
    }
    // The AppVar files beside it: NAME00.8xv, NAME01.8xv, ...
    if (readsVariables(result.video.program) && !addNumbered(QStringLiteral("^%1(\\d\\d)\\.8xv$"), result)) {
        return std::nullopt;
    }
    return finished(result);
}

}  // namespace zoetra::calc
