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

void RemoveStaleProgram(FileSystem& files, const QString& appDir, const QString& programName)
{
    const QString wanted = programFileName(programName);
    const std::optional<QStringList> names = files.listFiles(appDir, true);
    if (!names) {
        return;
    }
    for (const QString& name : *names) {
        if (name.compare(wanted, Qt::CaseInsensitive) == 0) {
            files.removeFile(joinPath(appDir, name));
        }
    }
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
    const QString batch = joinPath(platform.appDir, QStringLiteral("Compile.bat"));
    files.writeFile(batch, CompileBatchText(platform.appDir, programName));

    BuildOutcome outcome;
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

    const QString built = timedOut ? QString() : findProgramFile(files, platform.appDir, programName);
    if (built.isEmpty()) {
        QString output = process->output();
        if (timedOut) {
            output += QStringLiteral("\nThe build was stopped after %1 s.\n").arg(options.timeoutMs / 1000.0);
        }
        outcome.toolOutput = lastLines(output, options.outputLines);
        return outcome;
    }

    const QString builtPath = joinPath(platform.appDir, built);
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
