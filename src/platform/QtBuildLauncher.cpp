#include "platform/QtBuildLauncher.h"

#include "platform/BatchRunner.h"

#include <QFile>

#ifdef Q_OS_WIN
#include <QProcess>
#include <windows.h>
#endif

namespace zoetra {

namespace {

// A batch that could not be started: it has ended, and says why.
class FailedBuild final : public BuildProcess {
public:
    explicit FailedBuild(QString why) : why_(std::move(why)) {}
    bool waitForEnd(int) override { return true; }
    void terminate() override {}
    QString output() const override { return why_; }
    bool succeeded() const override { return false; }

private:
    QString why_;
};

#ifdef Q_OS_WIN
// cmd.exe running the batch, with no console window.
class CmdBuild final : public BuildProcess {
public:
    CmdBuild(const QString& batchFile, const QString& workingFolder)
    {
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.setWorkingDirectory(workingFolder);
        process_.setCreateProcessArgumentsModifier([](QProcess::CreateProcessArguments* args) {
            args->flags |= CREATE_NO_WINDOW;
        });
        process_.start(QStringLiteral("cmd.exe"), {QStringLiteral("/c"), batchFile});
        started_ = process_.waitForStarted();
        if (!started_) {
            output_ = process_.errorString();
        }
    }
    ~CmdBuild() override { terminate(); }
    bool waitForEnd(int waitMs) override
    {
        if (process_.state() == QProcess::NotRunning) {
            return true;
        }
        process_.waitForFinished(waitMs);
        output_ += QString::fromLocal8Bit(process_.readAll());
        return process_.state() == QProcess::NotRunning;
    }
    void terminate() override
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(2000);
            killed_ = true;
        }
    }
    QString output() const override { return output_; }
    // cmd.exe goes on after a failing line; its status is the last one's.
    // A failed assembly still shows, as the packager then finds no image.
    bool succeeded() const override
    {
        return started_ && !killed_ && process_.state() == QProcess::NotRunning && process_.exitStatus() == QProcess::NormalExit &&
               process_.exitCode() == 0;
    }

private:
    QProcess process_;
    QString output_;
    bool started_ = false;
    bool killed_ = false;
};
#endif

}  // namespace

QtBuildLauncher::QtBuildLauncher(QString appDir) : appDir_(std::move(appDir)) {}

std::unique_ptr<BuildProcess> QtBuildLauncher::start(const QString& batchFile, const QString& workingFolder)
{
#ifdef Q_OS_WIN
    if (!QFile::exists(batchFile)) {
        return std::make_unique<FailedBuild>(QStringLiteral("%1 cannot be found.\n").arg(batchFile));
    }
    return std::make_unique<CmdBuild>(batchFile, workingFolder);
#else
    QFile file(batchFile);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::make_unique<FailedBuild>(
            QStringLiteral("%1 cannot be read: %2\n").arg(batchFile, file.errorString()));
    }
    return std::make_unique<BatchRunner>(parseBatch(file.readAll()), workingFolder, appDir_);
#endif
}

}  // namespace zoetra
