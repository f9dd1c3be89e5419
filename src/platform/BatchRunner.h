#pragma once

#include "platform/BatchScript.h"
#include "platform/BuildLauncher.h"

#include <QProcess>

#include <memory>
#include <vector>

namespace zoetra {

// Runs the lines of a command file one after the other and stops at the
// first one that fails: a folder that cannot be entered, a command that is
// missing or cannot be started, or one that exits with a status other than
// 0. A later tool so never works on what an earlier one failed to make.
// Progress is made only inside waitForEnd(), so the caller keeps control of
// its own thread.
class BatchRunner final : public BuildProcess {
public:
    BatchRunner(std::vector<BatchLine> lines, QString workingFolder, QString appDir);
    ~BatchRunner() override;

    bool waitForEnd(int waitMs) override;
    void terminate() override;
    QString output() const override { return output_; }
    bool succeeded() const override { return ended_ && !failed_; }

    // Where a command would be taken from: the application folder first,
    // then PATH; empty when it is found nowhere.
    static QString findProgram(const QString& name, const QString& appDir);

private:
    void startNextLine();
    void collectOutput();
    void fail(const QString& why);

    std::vector<BatchLine> lines_;
    std::size_t next_ = 0;
    QString folder_;
    QString appDir_;
    std::unique_ptr<QProcess> process_;
    QString running_;  // the command process_ runs
    QString output_;
    bool ended_ = false;
    bool failed_ = false;
};

}  // namespace zoetra
