#pragma once

#include <QString>

#include <memory>

namespace zoetra {

// A running command file.
class BuildProcess {
public:
    virtual ~BuildProcess() = default;
    // Lets the batch go on for at most waitMs milliseconds; true once it has
    // ended.
    virtual bool waitForEnd(int waitMs) = 0;
    // Ends the batch and whatever it is running.
    virtual void terminate() = 0;
    // What the batch's commands have printed so far, standard output and
    // standard error together.
    virtual QString output() const = 0;
    // Once ended: true when every command ran and exited with status 0.
    virtual bool succeeded() const = 0;
};

// Starts command files as child processes with no window of their own.
class BuildLauncher {
public:
    virtual ~BuildLauncher() = default;
    // Never null: a batch that cannot be started is one that has ended at
    // once, with its output saying why.
    virtual std::unique_ptr<BuildProcess> start(const QString& batchFile,
                                                const QString& workingFolder) = 0;
};

}  // namespace zoetra
