#pragma once

#include "platform/BatchScript.h"
#include "platform/BuildLauncher.h"

#include <QProcess>

#include <memory>
#include <vector>

namespace zoetra {

// Runs the lines of a command file one after the other, as cmd.exe would:
// a failing line does not stop the next one. Progress is made only inside
// waitForEnd(), so the caller keeps control of its own thread.
class BatchRunner final : public BuildProcess {
public:
    BatchRunner(std::vector<BatchLine> lines, QString workingFolder, QString appDir);
    ~BatchRunner() override;

    bool waitForEnd(int waitMs) override;
    void terminate() override;
    QString output() const override { return output_; }

    // Where a command would be taken from: the application folder first,
    // then PATH; empty when it is found nowhere.
    static QString findProgram(const QString& name, const QString& appDir);

private:
    void startNextLine();
    void collectOutput();

    std::vector<BatchLine> lines_;
    std::size_t next_ = 0;
    QString folder_;
    QString appDir_;
    std::unique_ptr<QProcess> process_;
    QString output_;
    bool ended_ = false;
};

}  // namespace zoetra
