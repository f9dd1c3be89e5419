#include "program/ProgramBuild.h"

#include "codec/Codec.h"
#include "codec/sound/SoundFormat.h"
#include "platform/BuildLauncher.h"
#include "platform/FileSystem.h"
#include "platform/Platform.h"
#include "platform/WindowLayer.h"
#include "program/ArchiveVideo.h"
#include "program/PlayerTarget.h"
#include "program/SoundVideo.h"
#include "shared/Text.h"
#include "shared/CalculatorFiles.h"

#include <QElapsedTimer>
#include <QStringList>

namespace zoetra {

namespace {

QString programFileName(const QString& programName)
{
    return programName + QLatin1String(".8xp");
}

QString lastLines(const QString& output, int count)
{
    QStringList lines;
    for (const QString& line : output.split(QLatin1Char('\n'))) {
        QString trimmed = line;
        while (trimmed.endsWith(QLatin1Char('\r'))) {
            trimmed.chop(1);
        }
        if (!trimmed.trimmed().isEmpty()) {
            lines.append(trimmed);
        }
    }
    if (lines.size() > count) {
        lines = lines.mid(lines.size() - count);
    }
    return lines.join(QLatin1String("\r\n"));
}

}  // namespace

namespace {

// Names of the folder's files that equal `wanted` but for letter case.
QStringList caseVariants(FileSystem& files, const QString& folder, const QString& wanted)
{
    QStringList found;
    const std::optional<QStringList> names = files.listFiles(folder, true);
    if (names) {
        for (const QString& name : *names) {
            if (name.compare(wanted, Qt::CaseInsensitive) == 0) {
                found.append(name);
            }
        }
    }
    return found;
}

std::optional<FileFailure> removeAll(FileSystem& files, const QString& folder, const QStringList& names)
{
    for (const QString& name : names) {
        const QString path = joinPath(folder, name);
        QString why;
        if (!files.removeFile(path, &why)) {
            return FileFailure{path, why};
        }
    }
    return std::nullopt;
}

const QLatin1String AsideSuffix(".previous");

}  // namespace

std::optional<FileFailure> deliveryFiles(const VideoTarget& target, const QString& programName,
                                         const QByteArray& programFile, std::span<const std::uint8_t> stream,
                                         std::vector<archive::CalculatorFile>& files,
                                         std::span<const std::uint8_t> sound)
{
    files.push_back({programFileName(programName).toLower(), programFile});
    if (target.storage == Storage::Archive) {
        // The AppVars, and the program with them in files that link
        // software sends entry by entry.
        const std::vector<archive::CalculatorFile> appVars = archive::appVarFiles(programName, stream, sound);
        files.insert(files.end(), appVars.begin(), appVars.end());
        return archive::bundleFiles(programName, programFile, stream, files, sound);
    }
    return std::nullopt;
}

QString StaleProgram::asideName(const QString& fileName)
{
    return fileName + AsideSuffix;
}

std::optional<FileFailure> StaleProgram::setAside(FileSystem& files, const QString& appDir, const QString& programName)
{
    files_ = &files;
    appDir_ = appDir;
    names_.clear();
    programName_ = programName;

    // Left aside by a run that ended before it could put them back or
    // remove them: the user's files, unless a newer one lies beside it.
    QStringList asides;
    if (const std::optional<QStringList> all = files.listFiles(appDir, true)) {
        for (const QString& name : *all) {
            if (name.endsWith(AsideSuffix, Qt::CaseInsensitive) &&
                name.chopped(AsideSuffix.size()).compare(programFileName(programName), Qt::CaseInsensitive) == 0) {
                asides.append(name);
            }
        }
    }
    const QStringList present = caseVariants(files, appDir, programFileName(programName));
    for (const QString& aside : asides) {
        const QString name = aside.chopped(AsideSuffix.size());
        if (present.contains(name)) {
            QString why;
            if (!files.removeFile(joinPath(appDir, aside), &why)) {
                return FileFailure{joinPath(appDir, aside), why};
            }
        } else {
            names_.append(name);
        }
    }

    for (const QString& name : present) {
        const QString from = joinPath(appDir, name);
        QString why;
        if (!files.renameFile(from, joinPath(appDir, asideName(name)), &why)) {
            restore();
            return FileFailure{from, why};
        }
        names_.append(name);
    }
    return std::nullopt;
}

void StaleProgram::restore()
{
    if (files_ == nullptr || names_.isEmpty()) {
        return;
    }
    // Whatever this run left under the program's name was not delivered.
    removeAll(*files_, appDir_, caseVariants(*files_, appDir_, programFileName(programName_)));
    for (const QString& name : names_) {
        files_->renameFile(joinPath(appDir_, asideName(name)), joinPath(appDir_, name));
    }
    names_.clear();
}

void StaleProgram::discard()
{
    if (files_ == nullptr) {
        return;
    }
    for (const QString& name : names_) {
        files_->removeFile(joinPath(appDir_, asideName(name)));
    }
    names_.clear();
}

std::optional<FileFailure> RemoveStaleProgram(FileSystem& files, const QString& appDir, const QString& programName,
                                              StaleProgram& stale)
{
    return stale.setAside(files, appDir, programName);
}

std::optional<FileFailure> RemoveIntermediates(FileSystem& files, const QString& appDir, const QString& programName)
{
    if (auto failure = removeAll(files, appDir, caseVariants(files, appDir, programName + QLatin1String(".bin")))) {
        return failure;
    }
    return removeAll(files, appDir, caseVariants(files, appDir, programFileName(programName)));
}

QByteArray CompileBatchText(const QString& appDir, const QString& programName)
{
    const QByteArray name = programName.toLocal8Bit();
    return "CD " + nativePath(appDir).toLocal8Bit() + "\r\n"
           "TASM -80 -i -b VID.z80 " + name + ".bin \r\n"
           "DEVPAC8X " + name + "\r\n"
           "\r\n";
}

namespace {

// The name under which a file lies in the folder: exactly, else in another
// letter case; empty when there is none.
QString findFile(FileSystem& files, const QString& folder, const QString& wanted)
{
    const std::optional<QStringList> names = files.listFiles(folder, true);
    if (!names) {
        return {};
    }
    QString found;
    for (const QString& name : *names) {
        if (name == wanted) {
            return name;
        }
        if (found.isEmpty() && name.compare(wanted, Qt::CaseInsensitive) == 0) {
            found = name;
        }
    }
    return found;
}

}  // namespace

QString findProgramFile(FileSystem& files, const QString& folder, const QString& programName)
{
    return findFile(files, folder, programFileName(programName));
}

namespace {

// Delivers the program built in the application folder (and a video's
// AppVar and multi-variable files) into outDir, all at once.
BuildOutcome deliver(FileSystem& files, const QString& appDir, const QString& program, const QString& programName,
                     const QString& outDir, const VideoTarget& target, const BuildOptions& options)
{
    BuildOutcome outcome;
    const QString builtPath = joinPath(appDir, program);
    outcome.builtPath = builtPath;
    const QString appCanonical = files.canonicalPath(appDir);
    const bool inPlace = !appCanonical.isEmpty() && appCanonical == files.canonicalPath(outDir);
    const QString folder = inPlace ? appDir : outDir;
    // Into the application folder the delivery is part of the build; into
    // another folder it is the copy.
    const auto notDelivered = [&](const FileFailure& failure) {
        outcome.status = inPlace ? BuildOutcome::Status::NotBuilt : BuildOutcome::Status::NotCopied;
        outcome.toolOutput = failure.text();
        return outcome;
    };

    const std::optional<QByteArray> programFile = files.readFile(builtPath, ProgramFileLimit);
    if (!programFile) {
        return notDelivered({builtPath, QStringLiteral("cannot be read")});
    }
    std::vector<archive::CalculatorFile> newFiles;
    if (auto failure = deliveryFiles(target, programName, *programFile, options.archiveStream, newFiles,
                                     options.soundStream)) {
        return notDelivered({joinPath(folder, failure->path), failure->reason});
    }
    // In the application folder the program is where it was built.
    if (inPlace) {
        newFiles.erase(newFiles.begin());
    }

    DeliveryCommit delivery(files, folder, programName);
    for (const archive::CalculatorFile& file : newFiles) {
        if (auto failure = delivery.add(file.name, file.bytes)) {
            return notDelivered(*failure);
        }
    }
    if (auto failure = delivery.place(inPlace ? QStringList{program} : QStringList{})) {
        return notDelivered(*failure);
    }
    if (options.beforeFinish && !options.beforeFinish(delivery)) {
        delivery.rollBack();
        outcome.toolOutput = QStringLiteral("The conversion was stopped; nothing of it was kept.");
        return outcome;
    }
    delivery.finish();
    outcome.status = BuildOutcome::Status::Delivered;
    outcome.deliveredPaths = (inPlace ? QStringList{builtPath} : QStringList{}) + delivery.paths();
    outcome.deliveredPath = outcome.deliveredPaths.front();
    return outcome;
}

}  // namespace

BuildOutcome BuildProgram(Platform& platform, const QString& programName, const QString& outDir,
                          const VideoTarget& target, const BuildOptions& options)
{
    return BuildProgram(platform, programName, outDir, resolveTarget(target), options);
}

BuildOutcome BuildProgram(Platform& platform, const QString& programName, const QString& outDir,
                          const ResolvedTarget& resolved, const BuildOptions& options)
{
    const VideoTarget& target = resolved.target;
    FileSystem& files = platform.files;
    BuildOutcome outcome;
    if (const auto failure = RemoveIntermediates(files, platform.appDir, programName)) {
        outcome.toolOutput = failure->text();
        return outcome;
    }
    QString why;
    if (target.storage == Storage::Archive) {
        if (const auto failure = archive::writeInclude(files, platform.appDir, programName, options.archiveStream,
                                                       resolved.codec->maxFrameBytes)) {
            outcome.toolOutput = failure->text();
            return outcome;
        }
    }
    if (target.sound) {
        if (!sound::levelOf(options.soundStream)) {
            outcome.toolOutput = QStringLiteral("The video's sound was not encoded.");
            return outcome;
        }
        const bool inProgram = target.storage == Storage::Ram;
        const QString include = joinPath(platform.appDir, toQString(archive::SoundIncludeName));
        if (!files.writeFile(include,
                             archive::soundIncludeText(archive::appVarCount(options.archiveStream.size()),
                                                       options.soundStream, options.soundRoundDrift, inProgram),
                             &why)) {
            outcome.toolOutput = FileFailure{include, why}.text();
            return outcome;
        }
        const QString data = joinPath(platform.appDir, toQString(archive::SoundDataName));
        if (inProgram && !files.writeFile(data, archive::soundDataText(options.soundStream), &why)) {
            outcome.toolOutput = FileFailure{data, why}.text();
            return outcome;
        }
    }
    // The assembler reads the player's parts beside the generated files.
    if (!options.playerDir.isEmpty() && files.canonicalPath(options.playerDir) != files.canonicalPath(platform.appDir)) {
        for (const QString& part : resolved.playerParts) {
            const QString installed = joinPath(options.playerDir, part);
            const QString copy = joinPath(platform.appDir, part);
            if (!files.replaceFile(installed, copy, &why)) {
                outcome.toolOutput = FileFailure{copy, QStringLiteral("cannot be copied from %1 (%2)")
                                                           .arg(nativePath(installed), why)}
                                         .text();
                return outcome;
            }
        }
    }
    const QString batch = joinPath(platform.appDir, QStringLiteral("Compile.bat"));
    if (!files.writeFile(batch, CompileBatchText(platform.appDir, programName), &why)) {
        outcome.toolOutput = FileFailure{batch, why}.text();
        return outcome;
    }

    std::unique_ptr<BuildProcess> process = platform.builds.start(batch, platform.appDir);
    QElapsedTimer clock;
    clock.start();
    bool timedOut = false;
    for (;;) {
        platform.window.yieldToEvents();
        if (process->waitForEnd(options.cycleMs)) {
            break;
        }
        if (clock.elapsed() >= options.timeoutMs) {
            process->terminate();
            timedOut = true;
            break;
        }
    }

    // Only a batch whose every tool succeeded has built this run's files.
    const bool succeeded = !timedOut && process->succeeded();
    const QString program = succeeded ? findFile(files, platform.appDir, programFileName(programName)) : QString();
    if (program.isEmpty()) {
        QString output = process->output();
        if (timedOut) {
            output += QStringLiteral("\nThe build was stopped after %1 s.\n").arg(options.timeoutMs / 1000.0);
        } else if (succeeded) {
            output += QStringLiteral("\nNo %1 was made.\n").arg(programFileName(programName));
        }
        outcome.toolOutput = lastLines(output, options.outputLines);
        return outcome;
    }

    return deliver(files, platform.appDir, program, programName, outDir, target, options);
}

}  // namespace zoetra
