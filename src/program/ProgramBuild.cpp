#include "program/ProgramBuild.h"

#include "codec/Codec.h"
#include "platform/BuildLauncher.h"
#include "platform/FileSystem.h"
#include "platform/Platform.h"
#include "platform/WindowLayer.h"
#include "program/ArchiveVideo.h"
#include "program/PlayerTarget.h"

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

// The folder's files that belong to a delivery of the name.
QStringList deliveredVariants(FileSystem& files, const QString& folder, const QString& programName)
{
    QStringList found;
    if (const std::optional<QStringList> names = files.listFiles(folder, true)) {
        for (const QString& name : *names) {
            if (belongsToDelivery(programName, name)) {
                found.append(name);
            }
        }
    }
    return found;
}

}  // namespace

QStringList deliveryFiles(const VideoTarget& target, const QString& programName, int appVars)
{
    QStringList files{programFileName(programName)};
    if (target.storage == Storage::Archive) {
        for (int i = 0; i < appVars; ++i) {
            files.append(archive::appVarFileName(programName, i));
        }
        files.append(archive::bundleFileNames(programName, appVars));
    }
    return files;
}

bool belongsToDelivery(const QString& programName, const QString& fileName)
{
    return fileName.compare(programFileName(programName), Qt::CaseInsensitive) == 0 ||
           archive::isAppVarFileName(programName, fileName) || archive::isBundleFileName(programName, fileName);
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
                belongsToDelivery(programName, name.chopped(AsideSuffix.size()))) {
                asides.append(name);
            }
        }
    }
    const QStringList present = deliveredVariants(files, appDir, programName);
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
    // Whatever this run left under the delivery's names was not delivered.
    removeAll(*files_, appDir_, deliveredVariants(*files_, appDir_, programName_));
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
    return removeAll(files, appDir, deliveredVariants(files, appDir, programName));
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
    const int appVars = target.storage == Storage::Archive ? archive::appVarCount(options.archiveStream.size()) : 0;
    if (target.storage == Storage::Archive) {
        if (const auto failure = archive::writeAppVarFiles(files, platform.appDir, programName, options.archiveStream,
                                                           resolved.codec->maxFrameBytes)) {
            outcome.toolOutput = failure->text();
            return outcome;
        }
    }
    // The assembler reads the player's parts beside the generated files.
    if (!options.playerDir.isEmpty() && files.canonicalPath(options.playerDir) != files.canonicalPath(platform.appDir)) {
        for (const QString& part : resolved.playerParts) {
            const QString installed = joinPath(options.playerDir, part);
            const QString copy = joinPath(platform.appDir, part);
            if (!files.replaceFile(installed, copy)) {
                outcome.toolOutput =
                    FileFailure{copy, QStringLiteral("cannot be copied from %1").arg(nativePath(installed))}.text();
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
    if (succeeded && target.storage == Storage::Archive) {
        // The program and its AppVars in one file that link software sends
        // entry by entry.
        const QString program = findFile(files, platform.appDir, programFileName(programName));
        if (!program.isEmpty()) {
            if (const auto failure = archive::writeBundles(files, platform.appDir, program, programName, appVars)) {
                outcome.toolOutput = failure->text();
                return outcome;
            }
        }
    }
    const QStringList wanted = deliveryFiles(target, programName, appVars);
    QStringList built;
    QString missing;
    for (const QString& name : wanted) {
        const QString found = succeeded ? findFile(files, platform.appDir, name) : QString();
        if (found.isEmpty()) {
            missing = name;
            break;
        }
        built.append(found);
    }
    if (!missing.isEmpty()) {
        QString output = process->output();
        if (timedOut) {
            output += QStringLiteral("\nThe build was stopped after %1 s.\n").arg(options.timeoutMs / 1000.0);
        } else if (succeeded) {
            output += QStringLiteral("\nNo %1 was made.\n").arg(missing);
        }
        outcome.toolOutput = lastLines(output, options.outputLines);
        return outcome;
    }

    const QString builtPath = joinPath(platform.appDir, built.front());
    outcome.builtPath = builtPath;
    const QString appCanonical = files.canonicalPath(platform.appDir);
    if (!appCanonical.isEmpty() && appCanonical == files.canonicalPath(outDir)) {
        outcome.status = BuildOutcome::Status::Delivered;
        for (const QString& name : built) {
            outcome.deliveredPaths.append(joinPath(platform.appDir, name));
        }
        outcome.deliveredPath = outcome.deliveredPaths.front();
        return outcome;
    }
    QStringList delivered;
    for (const QString& name : built) {
        const QString destination = joinPath(outDir, name.toLower());
        if (!files.replaceFile(joinPath(platform.appDir, name), destination)) {
            outcome.status = BuildOutcome::Status::NotCopied;
            return outcome;
        }
        delivered.append(destination);
    }
    // What an earlier, longer delivery of the name left goes, once the new
    // files are in place.
    for (const QString& name : deliveredVariants(files, outDir, programName)) {
        if (!wanted.contains(name, Qt::CaseInsensitive)) {
            files.removeFile(joinPath(outDir, name));
        }
    }
    outcome.status = BuildOutcome::Status::Delivered;
    outcome.deliveredPaths = delivered;
    outcome.deliveredPath = delivered.front();
    return outcome;
}

}  // namespace zoetra
