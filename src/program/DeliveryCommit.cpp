#include "program/DeliveryCommit.h"

#include "devpac8x/VariableFile.h"
#include "program/ArchiveVideo.h"
#include "shared/CalculatorFiles.h"

#include <QRegularExpression>

#include <algorithm>

#include <span>
#include <system_error>

namespace zoetra {

namespace {

const QLatin1String AsideSuffix(".previous");

bool isProgramFileName(const QString& programName, const QString& fileName)
{
    return fileName.compare(programName + QLatin1String(".8xp"), Qt::CaseInsensitive) == 0;
}

// One program variable of the name: what the packager makes of the player.
bool isProgramFileOf(const QString& programName, std::span<const std::uint8_t> bytes)
{
    const std::vector<devpac8x::Variable> variables = devpac8x::readVariableFile(bytes);
    return variables.size() == 1 && (variables.front().type == 0x05 || variables.front().type == 0x06) &&
           QString::fromStdString(variables.front().name) == programName.toUpper();
}

// The system's own words for a directory where a file should go.
QString isADirectory()
{
    return QString::fromStdString(std::make_error_code(std::errc::is_a_directory).message());
}

}  // namespace

bool belongsToDelivery(const QString& programName, const QString& fileName)
{
    return isProgramFileName(programName, fileName) || archive::isAppVarFileName(programName, fileName) ||
           archive::isBundleFileName(programName, fileName);
}

bool holdsDeliveryFile(const QString& programName, const QString& fileName, const QByteArray& bytes)
{
    const std::span<const std::uint8_t> data(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                             static_cast<std::size_t>(bytes.size()));
    if (isProgramFileName(programName, fileName)) {
        return isProgramFileOf(programName, data);
    }
    if (archive::isAppVarFileName(programName, fileName)) {
        return archive::isVideoAppVarFile(programName, fileName, data);
    }
    return archive::isBundleFileName(programName, fileName) && archive::isVideoBundle(programName, data);
}

DeliveryCommit::DeliveryCommit(FileSystem& files, const QString& folder, const QString& programName)
    : files_(files), folder_(folder), programName_(programName)
{
}

DeliveryCommit::~DeliveryCommit()
{
    if (!finished_) {
        rollBack();
    }
}

std::optional<FileFailure> DeliveryCommit::add(const QString& name, const QByteArray& bytes)
{
    QString why;
    const std::optional<QString> temporary = files_.writeTemporaryFile(at(name), bytes, &why);
    if (!temporary) {
        return FileFailure{at(name), why};
    }
    new_.push_back({name, *temporary, false});
    return std::nullopt;
}

bool DeliveryCommit::isNewName(const QString& name) const
{
    return std::any_of(new_.begin(), new_.end(), [&](const NewFile& file) { return file.name == name; });
}

bool DeliveryCommit::isEarlierFile(const QString& name)
{
    if (!belongsToDelivery(programName_, name)) {
        return false;
    }
    // The program file a delivery writes has always replaced whatever lay
    // under its name.
    if (isProgramFileName(programName_, name) && isNewName(name)) {
        return true;
    }
    const std::optional<QByteArray> bytes = files_.readFile(at(name), VariableFileLimit);
    return bytes && holdsDeliveryFile(programName_, name, *bytes);
}

void DeliveryCommit::removeOrphans(const QStringList& listed)
{
    // What a delivery that was killed outright left under its temporary
    // names.
    static const QRegularExpression temporary(QStringLiteral("^\\.(.+)\\.partial-[0-9a-f]{6}$"));
    for (const QString& name : listed) {
        const QRegularExpressionMatch match = temporary.match(name);
        const bool ours = std::any_of(new_.begin(), new_.end(),
                                      [&](const NewFile& file) { return file.temporary == at(name); });
        if (match.hasMatch() && !ours && belongsToDelivery(programName_, match.captured(1))) {
            files_.removeFile(at(name));
        }
    }
}

std::optional<FileFailure> DeliveryCommit::place(const QStringList& inPlace)
{
    const std::optional<QStringList> listed = files_.listFiles(folder_, true);
    if (!listed) {
        rollBack();
        return FileFailure{folder_, QStringLiteral("The folder cannot be read")};
    }
    const auto someoneElses = [&](const QString& name) {
        return std::any_of(inPlace.begin(), inPlace.end(),
                           [&](const QString& kept) { return kept.compare(name, Qt::CaseInsensitive) == 0; });
    };
    removeOrphans(*listed);

    QStringList present;
    QStringList leftAside;  // by a delivery that never ended
    for (const QString& name : *listed) {
        if (name.endsWith(AsideSuffix, Qt::CaseInsensitive)) {
            const QString original = name.chopped(AsideSuffix.size());
            if (belongsToDelivery(programName_, original) && !someoneElses(original)) {
                const std::optional<QByteArray> bytes = files_.readFile(at(name), VariableFileLimit);
                if (bytes && holdsDeliveryFile(programName_, original, *bytes)) {
                    leftAside.append(original);
                }
            }
        } else if (belongsToDelivery(programName_, name) && !someoneElses(name)) {
            present.append(name);
        }
    }
    QStringList earlier;
    for (const QString& name : present) {
        if (isEarlierFile(name)) {
            earlier.append(name);
        }
    }

    // Before anything is touched: every new file's place is free for it.
    for (const NewFile& file : new_) {
        if (files_.isDirectory(at(file.name))) {
            const FileFailure failure{at(file.name), isADirectory()};
            rollBack();
            return failure;
        }
        if (present.contains(file.name) && !earlier.contains(file.name)) {
            const FileFailure failure{at(file.name), QStringLiteral("holds something this converter did not make, "
                                                                    "so it is left as it is; move it away or choose "
                                                                    "another name")};
            rollBack();
            return failure;
        }
    }

    for (const QString& original : leftAside) {
        if (earlier.contains(original)) {
            // An older copy beside a newer one.
            files_.removeFile(at(original + AsideSuffix));
        } else if (!present.contains(original)) {
            aside_.append(original);
        }
    }
    for (const QString& name : earlier) {
        QString why;
        if (!files_.renameFile(at(name), at(name + AsideSuffix), &why)) {
            const FileFailure failure{at(name), why};
            rollBack();
            return failure;
        }
        aside_.append(name);
    }
    for (NewFile& file : new_) {
        QString why;
        if (!files_.renameFile(file.temporary, at(file.name), &why)) {
            const FileFailure failure{at(file.name), files_.isDirectory(at(file.name)) ? isADirectory() : why};
            rollBack();
            return failure;
        }
        file.placed = true;
    }
    return std::nullopt;
}

void DeliveryCommit::finish()
{
    for (const QString& name : aside_) {
        files_.removeFile(at(name + AsideSuffix));
    }
    aside_.clear();
    finished_ = true;
}

void DeliveryCommit::rollBack()
{
    for (const NewFile& file : new_) {
        files_.removeFile(file.placed ? at(file.name) : file.temporary);
    }
    new_.clear();
    for (const QString& name : aside_) {
        files_.renameFile(at(name + AsideSuffix), at(name));
    }
    aside_.clear();
}

QStringList DeliveryCommit::paths() const
{
    QStringList placed;
    for (const NewFile& file : new_) {
        if (file.placed) {
            placed.append(at(file.name));
        }
    }
    return placed;
}

}  // namespace zoetra
