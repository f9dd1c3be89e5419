#include "convert/ProgramBuild.h"

#include "platform/BuildLauncher.h"
#include "platform/FileSystem.h"
#include "platform/Platform.h"
#include "platform/WindowLayer.h"

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
const QLatin1String PlayerSourceName("VID.z80");

}  // namespace

QString StaleProgram::asideName(const QString& fileName)
{
    return fileName + AsideSuffix;
}

std::optional<FileFailure> StaleProgram::setAside(FileSystem& files, const QString& appDir, const QString& programName)
{
    files_ = &files;
    appDir_ = appDir;
    names_.clear();
    const QString wanted = programFileName(programName);

    // Left aside by a run that ended before it could put them back or
    // remove them: the user's program, unless a newer one lies beside it.
    for (const QString& aside : caseVariants(files, appDir, asideName(wanted))) {
        const QString name = aside.chopped(AsideSuffix.size());
        if (caseVariants(files, appDir, name).contains(name)) {
            QString why;
            if (!files.removeFile(joinPath(appDir, aside), &why)) {
                return FileFailure{joinPath(appDir, aside), why};
            }
        } else {
            names_.append(name);
        }
    }

    for (const QString& name : caseVariants(files, appDir, wanted)) {
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
    removeAll(*files_, appDir_, caseVariants(*files_, appDir_, names_.front()));
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
    for (const QString& wanted : {programName + QLatin1String(".bin"), programFileName(programName)}) {
        if (auto failure = removeAll(files, appDir, caseVariants(files, appDir, wanted))) {
            return failure;
        }
    }
    return std::nullopt;
}

QByteArray CompileBatchText(const QString& appDir, const QString& programName)
{
    const QByteArray name = programName.toLocal8Bit();
    return "CD " + nativePath(appDir).toLocal8Bit() + "\r\n"
           "TASM -80 -i -b VID.z80 " + name + ".bin \r\n"
           "DEVPAC8X " + name + "\r\n"
           "\r\n";
}

QString findProgramFile(FileSystem& files, const QString& folder, const QString& programName)
{
    const QString wanted = programFileName(programName);
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

BuildOutcome BuildProgram(Platform& platform, const QString& programName, const QString& outDir,
                          const BuildOptions& options)
{
    FileSystem& files = platform.files;
    BuildOutcome outcome;
    if (const auto failure = RemoveIntermediates(files, platform.appDir, programName)) {
        outcome.toolOutput = failure->text();
        return outcome;
    }
    QString why;
    // The assembler reads the player source beside the generated files.
    if (!options.playerDir.isEmpty() && files.canonicalPath(options.playerDir) != files.canonicalPath(platform.appDir)) {
        const QString installed = joinPath(options.playerDir, PlayerSourceName);
        const QString copy = joinPath(platform.appDir, PlayerSourceName);
        if (!files.replaceFile(installed, copy)) {
            outcome.toolOutput = FileFailure{copy, QStringLiteral("cannot be copied from %1").arg(nativePath(installed))}.text();
            return outcome;
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

    // Only a batch whose every tool succeeded has built this run's program.
    const bool succeeded = !timedOut && process->succeeded();
    const QString built = succeeded ? findProgramFile(files, platform.appDir, programName) : QString();
    if (built.isEmpty()) {
        QString output = process->output();
        if (timedOut) {
            output += QStringLiteral("\nThe build was stopped after %1 s.\n").arg(options.timeoutMs / 1000.0);
        } else if (succeeded) {
            output += QStringLiteral("\nNo %1 was made.\n").arg(programFileName(programName));
        }
        outcome.toolOutput = lastLines(output, options.outputLines);
        return outcome;
    }

    const QString builtPath = joinPath(platform.appDir, built);
    outcome.builtPath = builtPath;
    const QString appCanonical = files.canonicalPath(platform.appDir);
    if (!appCanonical.isEmpty() && appCanonical == files.canonicalPath(outDir)) {
        outcome.status = BuildOutcome::Status::Delivered;
        outcome.deliveredPath = builtPath;
        return outcome;
    }
    const QString destination = joinPath(outDir, programFileName(programName).toLower());
    if (!files.replaceFile(builtPath, destination)) {
        outcome.status = BuildOutcome::Status::NotCopied;
        return outcome;
    }
    outcome.status = BuildOutcome::Status::Delivered;
    outcome.deliveredPath = destination;
    return outcome;
}

}  // namespace zoetra
