#include "calc/VideoFiles.h"

#include "devpac8x/VariableFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

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

bool addVariables(const QString& path, ProgramWithVideo& into, bool programAllowed, std::string* error)
{
    const auto bytes = readBytes(path, VariableFileLimit, error);
    if (!bytes) {
        return false;
    }
    std::string why;
    const std::vector<devpac8x::Variable> variables = devpac8x::readVariableFile(*bytes, &why);
    if (variables.empty()) {
        *error = QDir::toNativeSeparators(path).toStdString() + ": " + why;
        return false;
    }
    for (const devpac8x::Variable& variable : variables) {
        if (variable.data.size() < 2) {
            *error = QDir::toNativeSeparators(path).toStdString() + ": " + variable.name + " has no size word";
            return false;
        }
        std::vector<std::uint8_t> data(variable.data.begin() + 2, variable.data.end());
        if (variable.type == devpac8x::AppVarType) {
            into.appVars.push_back({variable.name, std::move(data), variable.archived});
        } else if (programAllowed && into.program.empty() &&
                   (variable.type == ProgramType || variable.type == ProtectedProgramType)) {
            into.program = std::move(data);
        } else {
            *error = QDir::toNativeSeparators(path).toStdString() + ": " + variable.name +
                     " is neither the program nor one of its AppVars";
            return false;
        }
    }
    return true;
}

}  // namespace

std::optional<ProgramWithVideo> readProgramWithVideo(const QString& path, std::string* error)
{
    std::string ignored;
    std::string& why = error != nullptr ? *error : ignored;
    const QFileInfo info(path);
    const QDir folder = info.absoluteDir();
    // The numbered files of the video beside the first, in order.
    const auto addNumbered = [&](const QString& pattern, ProgramWithVideo& into) {
        const QRegularExpression numbered(pattern.arg(QRegularExpression::escape(info.completeBaseName())),
                                          QRegularExpression::CaseInsensitiveOption);
        for (const QString& name : numberedFiles(folder, numbered)) {
            if (!addVariables(folder.filePath(name), into, false, &why)) {
                return false;
            }
        }
        return true;
    };
    ProgramWithVideo result;
    if (info.suffix().compare(QLatin1String("8xg"), Qt::CaseInsensitive) == 0) {
        if (!addVariables(path, result, true, &why)) {
            return std::nullopt;
        }
        if (result.program.empty()) {
            why = QDir::toNativeSeparators(path).toStdString() + " holds no program";
            return std::nullopt;
        }
        if (const std::string problem = assemblyProgramProblem(result.program); !problem.empty()) {
            why = problem;
            return std::nullopt;
        }
        // The bundles that follow the first: NAME-2.8xg, NAME-3.8xg, ...
        if (!addNumbered(QStringLiteral("^%1-(\\d+)\\.8xg$"), result)) {
            return std::nullopt;
        }
        return result;
    }

    const auto file = readBytes(path, ProgramFileLimit, &why);
    if (!file) {
        return std::nullopt;
    }
    result.program = assemblyProgram(*file, &why);
    // The AppVar files beside it: NAME00.8xv, NAME01.8xv, ...
    if (result.program.empty() || !addNumbered(QStringLiteral("^%1(\\d\\d)\\.8xv$"), result)) {
        return std::nullopt;
    }
    return result;
}

}  // namespace zoetra::calc
