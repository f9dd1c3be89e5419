#pragma once

#include <QByteArray>
#include <QString>

namespace zoetra {

class FileSystem;
struct Platform;

// Deletes every letter-case variant of the program file (name + ".8xp") in
// the application folder, so that the build cannot end on an old file.
void RemoveStaleProgram(FileSystem& files, const QString& appDir, const QString& programName);

// "Compile.bat": enter the application folder, assemble, package.
QByteArray CompileBatchText(const QString& appDir, const QString& programName);

// The name under which the program file (name + ".8xp", any letter case)
// lies in the folder, or empty when there is none.
QString findProgramFile(FileSystem& files, const QString& folder, const QString& programName);

struct BuildOptions {
    int timeoutMs = 120000;  // a batch running longer is ended
    int cycleMs = 10;        // the wait's sleep between yields
    int outputLines = 15;    // lines of tool output kept for the error message
};

struct BuildOutcome {
    enum class Status { Delivered, NotBuilt, NotCopied };
    Status status = Status::NotBuilt;
    QString deliveredPath;  // Delivered: where the program file now is
    QString toolOutput;     // NotBuilt: the last lines the tools printed
};

// Writes and runs "Compile.bat", waits in cycles (yielding to the window)
// until the batch has ended, then delivers the program file into outDir:
// copied under its lower-case name through a temporary file, or left where
// it was built when outDir is the application folder itself.
BuildOutcome BuildProgram(Platform& platform, const QString& programName, const QString& outDir,
                          const BuildOptions& options = {});

}  // namespace zoetra
