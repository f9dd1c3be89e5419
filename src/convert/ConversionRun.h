#pragma once

#include "convert/FitAdvice.h"
#include "convert/VideoSound.h"
#include "convert/WhatFits.h"
#include "platform/WindowLayer.h"
#include "program/PlayerTarget.h"
#include "program/ProgramBuild.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class QLockFile;

namespace zoetra {

struct Vars;
struct Platform;

// How a conversion run ended.
struct RunOutcome {
    enum class Status {
        Delivered,          // the closing report was shown
        NameRefused,        // the program name failed its check
        DescriptionRefused, // the description does not fit the shell's header
        NoFrames,           // the frame list is empty
        FolderBusy,         // another conversion holds the application folder
        TooLarge,           // the video data grew over the limit
        NotBuilt,           // a file could not be written, or the tools made no program
        NotCopied,          // the copy into the output folder failed
        AlreadyRunning,     // a run was in progress; this press was ignored
    };
    Status status = Status::AlreadyRunning;
    QString deliveredPath;
    QStringList deliveredPaths;  // every file delivered, the program first
    int size = 0;  // bytes of video data, without the end marker
    // Frames whose files could not be read, in the order the run met them;
    // each was replaced by the frame before it.
    QStringList unreadableFrames;
    // Over the limit: what makes the video fit, as the message told it.
    std::optional<FitAdvice> advice;
};

// The whole conversion from a press of "Convert Video!" to the closing
// report, on the caller's thread, yielding to the window between its steps.
class ConversionRun {
public:
    ConversionRun(Vars& vars, Platform& platform);
    ~ConversionRun();
    ConversionRun(const ConversionRun&) = delete;
    ConversionRun& operator=(const ConversionRun&) = delete;

    // Takes the application folder's lock ahead of the run (before a long
    // import that the run waits for), so that a second conversion is found
    // at once. The next run keeps it and lets it go at its end. False and
    // the run's own message (FolderBusyMessage when another conversion
    // holds it) otherwise.
    bool reserveFolder(QString& message);
    void releaseFolder();

    RunOutcome RunConversion();
    bool inProgress() const { return inProgress_; }
    // For a program that ends in the middle of a run (at one of its yields):
    // puts the earlier delivery back where the user had it, every file of
    // it, and removes what the run delivered; the run then ends without
    // delivering.
    void abandon();

    BuildOptions buildOptions;
    // Where a video's sound comes from, for a target with sound.
    SoundSource soundSource;
    // Where the frames were taken from a video, when they were: the advice
    // after the size limit's message may then take the video at a lower
    // rate (through screensAt) or end it where the frames that fit end.
    std::optional<VideoSpan> videoSource;
    std::function<std::optional<ShownScreens>(double framesPerSecond)> screensAt;
    // The free archive a choice of the archive would have, when the user
    // gave one.
    std::optional<std::int64_t> freeArchiveBytes;
    // How the advice is told: by default in words (adviceWords); the
    // headless converter names the options to give.
    std::function<QStringList(const FitAdvice&)> adviceLines;
    // Advice found before the run (over the same frames and settings): the
    // size limit's message tells it instead of searching again, when it was
    // made for the run's target.
    std::optional<FitAdvice> knownAdvice;

    // The lines after the size limit's message: the changes that make the
    // video fit first, then what the choices made hold, and a model that
    // would hold it all. The advice found comes back in `found`.
    QString tooLargeAdvice(const ResolvedTarget& resolved, int fitting, int fittingBytes, FitAdvice& found) const;

    // The file in the application folder whose lock a run holds.
    static const QString LockFileName;

    static const QString NameTooLongMessage;
    static const QString NameCharactersMessage;
    static const QString NameStartMessage;
    static const QString NoFramesMessage;
    static const QString FolderBusyMessage;
    static const QString TooLargeMessage;
    static const QString NotBuiltMessage;
    static const QString NotCopiedMessage;
    static const QString ArchiveNameMessage;

private:
    // The message a run ends with, shown once the files are settled.
    struct Ending {
        QString text;
        QString title;
        MessageIcon icon = MessageIcon::Error;
        bool hidePanelAfter = false;
    };

    RunOutcome run();
    RunOutcome convertLocked(const QString& name, const ResolvedTarget& resolved, Ending& ending);
    // The sound of a video of `videoBytes` and `frames` encoded into the
    // build's options at the level the archive leaves room for, yielding as
    // it goes; the closing report's line, or an ending when it cannot be.
    std::optional<Ending> encodeSound(const QString& name, const VideoTarget& target, std::vector<float> samples,
                                      std::size_t videoBytes, int frames, BuildOptions& options, QString& report);
    static Ending error(const QString& text);
    static Ending notBuilt(const QString& details);

    Vars& vars_;
    Platform& platform_;
    bool inProgress_ = false;
    bool abandoned_ = false;
    StaleProgram* stale_ = nullptr;  // while a run has set one aside
    DeliveryCommit* delivery_ = nullptr;  // while a delivery awaits its end
    std::unique_ptr<QLockFile> reserved_;  // the lock taken ahead of a run
};

// The program name check: at most 8 characters, letters and digits only,
// the first a letter. Returns the message for a refused name, else empty.
QString programNameProblem(const QString& name);
// The same, and for a video in the archive at most 6 characters (its
// AppVars add two digits): what a run checks first.
QString programNameProblem(const QString& name, const VideoTarget& target);

// The message for a description the shell's header cannot hold, else empty.
QString descriptionProblem(const QString& shellText, const QString& description);

// The closing report's line after its three: the program delivered, how
// many AppVars and bundles came with it, and the folder they are in: "The
// program video.8xp and its 10 AppVars and 3 bundles are in /home/me/videos."
QString whereFilesWentText(const QStringList& paths);

// Lines for a warning about frames that could not be read: their number and
// the first few names, or empty when there are none.
QString unreadableFramesWarning(const QStringList& names);

}  // namespace zoetra
