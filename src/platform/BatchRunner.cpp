#include "platform/BatchRunner.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace zoetra {

BatchRunner::BatchRunner(std::vector<BatchLine> lines, QString workingFolder, QString appDir)
    : lines_(std::move(lines)), folder_(std::move(workingFolder)), appDir_(std::move(appDir))
{
    startNextLine();
}

BatchRunner::~BatchRunner()
{
    terminate();
}

QString BatchRunner::findProgram(const QString& name, const QString& appDir)
{
    if (name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\'))) {
        const QFileInfo direct(name);
        return direct.isFile() && direct.isExecutable() ? direct.absoluteFilePath() : QString();
    }
    const QFileInfo local(QDir(appDir).filePath(name));
    if (local.isFile() && local.isExecutable()) {
        return local.absoluteFilePath();
    }
    return QStandardPaths::findExecutable(name);
}

void BatchRunner::startNextLine()
{
    while (!ended_ && !process_) {
        if (next_ >= lines_.size()) {
            ended_ = true;
            return;
        }
        const BatchLine& line = lines_[next_++];
        if (line.kind == BatchLine::Kind::ChangeFolder) {
            if (line.folder.isEmpty()) {
                continue;
            }
            const QString target = QDir(folder_).absoluteFilePath(line.folder);
            if (QFileInfo(target).isDir()) {
                folder_ = QDir::cleanPath(target);
                continue;
            }
            fail(QStringLiteral("The system cannot find the path specified: %1\n").arg(line.folder));
            return;
        }
        if (line.kind != BatchLine::Kind::Run) {
            continue;
        }
        const QString program = findProgram(line.program, appDir_);
        if (program.isEmpty()) {
            fail(QStringLiteral("'%1' is not recognized as a command or program.\n").arg(line.program));
            return;
        }
        auto process = std::make_unique<QProcess>();
        process->setProcessChannelMode(QProcess::MergedChannels);
        process->setWorkingDirectory(folder_);
        process->setStandardInputFile(QProcess::nullDevice());
        process->start(program, line.arguments);
        if (!process->waitForStarted()) {
            fail(QStringLiteral("%1: %2\n").arg(line.program, process->errorString()));
            return;
        }
        process_ = std::move(process);
        running_ = line.program;
    }
}

void BatchRunner::fail(const QString& why)
{
    output_ += why;
    failed_ = true;
    ended_ = true;
}

void BatchRunner::collectOutput()
{
    if (process_) {
        output_ += QString::fromLocal8Bit(process_->readAll());
    }
}

bool BatchRunner::waitForEnd(int waitMs)
{
    const QDeadlineTimer deadline(waitMs);
    while (!ended_) {
        if (process_) {
            const qint64 left = deadline.remainingTime();
            process_->waitForFinished(static_cast<int>(std::max<qint64>(left, 0)));
            collectOutput();
            if (process_->state() != QProcess::NotRunning) {
                return false;
            }
            const bool crashed = process_->exitStatus() != QProcess::NormalExit;
            const int status = process_->exitCode();
            process_.reset();
            if (crashed) {
                fail(QStringLiteral("%1 ended abnormally.\n").arg(running_));
                break;
            }
            if (status != 0) {
                fail(QStringLiteral("%1 ended with exit status %2.\n").arg(running_).arg(status));
                break;
            }
        }
        startNextLine();
        if (deadline.hasExpired()) {
            break;
        }
    }
    return ended_;
}

void BatchRunner::terminate()
{
    if (process_) {
        process_->kill();
        process_->waitForFinished(2000);
        collectOutput();
        process_.reset();
        failed_ = true;
    }
    ended_ = true;
}

}  // namespace zoetra
