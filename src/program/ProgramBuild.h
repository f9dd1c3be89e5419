#pragma once

#include "platform/FileSystem.h"
#include "program/DeliveryCommit.h"
#include "shared/VideoTarget.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace zoetra {

struct Platform;
struct ResolvedTarget;

namespace archive {
struct CalculatorFile;
}

// The files a build of the target delivers for the program name, with
// their bytes: the program file first (as built, under its lower-case
// name); for a video in the archive the AppVar files of its stream follow,
// then the multi-variable files that hold them all. A file that cannot be
// made is a failure whose path is the file's name.
std::optional<FileFailure> deliveryFiles(const VideoTarget& target, const QString& programName,
                                         const QByteArray& programFile, std::span<const std::uint8_t> stream,
                                         std::vector<archive::CalculatorFile>& files,
                                         std::span<const std::uint8_t> sound = {});

// The program file of one name that a run found in the application folder
// at its start. It is moved aside (renamed in the same folder) rather than
// deleted, so that the build cannot end on an old file and yet the user's
// file is still there when the run delivers no new one. (The rest of an
// earlier delivery is the delivery's own to set aside: DeliveryCommit.)
class StaleProgram {
public:
    // The name a program file is kept under while it is set aside.
    static QString asideName(const QString& fileName);

    // The program file of the name goes aside, in any letter case; one
    // left aside by a run that never ended counts as set aside.
    // On failure everything is as it was before and the failure is returned.
    std::optional<FileFailure> setAside(FileSystem& files, const QString& appDir, const QString& programName);
    // Puts the files back, replacing whatever now lies under their names.
    void restore();
    // Removes the files set aside, once a new program is in place.
    void discard();

    const QStringList& names() const { return names_; }

private:
    FileSystem* files_ = nullptr;
    QString appDir_;
    QString programName_;
    QStringList names_;  // the names the files had in the application folder
};

// Removes the stale program file of the name from the wait's sight: sets
// it aside (see StaleProgram).
std::optional<FileFailure> RemoveStaleProgram(FileSystem& files, const QString& appDir, const QString& programName,
                                              StaleProgram& stale);

// Deletes every letter-case variant of the build's intermediates of the
// name (name + ".bin" and the program file), so that no tool can work on a
// file an earlier run left.
std::optional<FileFailure> RemoveIntermediates(FileSystem& files, const QString& appDir, const QString& programName);

// "Compile.bat": enter the application folder, assemble, package.
QByteArray CompileBatchText(const QString& appDir, const QString& programName);

// The name under which the program file (name + ".8xp", any letter case)
// lies in the folder, or empty when there is none.
QString findProgramFile(FileSystem& files, const QString& folder, const QString& programName);

struct BuildOptions {
    int timeoutMs = 120000;  // a batch running longer is ended
    int cycleMs = 10;        // the wait's sleep between yields
    int outputLines = 15;    // lines of tool output kept for the error message
    // Where the player's parts lie when that is not the application folder
    // (an installed copy): the build copies them in first. Empty: they are
    // there.
    QString playerDir;
    // A video in the archive: its whole stream. The build writes the
    // player's "Archive.inc" of it before assembling, and delivers it as
    // AppVar files and multi-variable files beside the program.
    std::vector<std::uint8_t> archiveStream;
    // A video with its sound (VideoTarget::sound): the sound's stream. The
    // build writes the player's "Sound.inc" of it and delivers its AppVars
    // after the video's (program/SoundVideo.h).
    std::vector<std::uint8_t> soundStream;
    // A looping video's: soundRoundDrift (program/SoundVideo.h).
    int soundRoundDrift = 0;
    // Called once the new files are in place, their earlier ones still
    // aside: the last moment to stop. False puts the earlier ones back.
    std::function<bool(DeliveryCommit&)> beforeFinish;
};

struct BuildOutcome {
    enum class Status { Delivered, NotBuilt, NotCopied };
    Status status = Status::NotBuilt;
    QString deliveredPath;  // Delivered: where the program file now is
    QStringList deliveredPaths;  // Delivered: every delivered file, the program first
    QString builtPath;      // Delivered, NotCopied: the program file as built
    QString toolOutput;     // NotBuilt: the last lines the tools printed, or
                            // the file that could not be written or removed;
                            // NotCopied: the file that could not be written
};

// Removes the intermediates, writes and runs "Compile.bat", waits in cycles
// (yielding to the window) until the batch has ended, then, when every tool
// succeeded, delivers the program (and a video's AppVar and multi-variable
// files) into outDir all at once (DeliveryCommit): each under its
// lower-case name, the program left where it was built when outDir is the
// application folder itself. The earlier delivery of the name there goes
// once the new files are in place, or stays as it was when they cannot all
// be; a video's AppVar and multi-variable files are written only into
// outDir.
BuildOutcome BuildProgram(Platform& platform, const QString& programName, const QString& outDir,
                          const VideoTarget& target, const BuildOptions& options = {});
// The same for a target resolved once (PlayerTarget.h): its format's
// largest frame and its player's parts as resolved.
BuildOutcome BuildProgram(Platform& platform, const QString& programName, const QString& outDir,
                          const ResolvedTarget& resolved, const BuildOptions& options = {});

}  // namespace zoetra
