#include "convert/ConversionRun.h"

#include "codec/Codec.h"
#include "codec/sound/SoundEncoder.h"
#include "convert/VideoEncoder.h"
#include "imaging/Conversion.h"
#include "platform/FileSystem.h"
#include "platform/Platform.h"
#include "platform/WindowLayer.h"
#include "program/ArchiveVideo.h"
#include "program/PlayerConfig.h"
#include "program/PlayerTarget.h"
#include "program/SoundVideo.h"
#include "shared/Vars.h"

#include <QFileInfo>
#include <QLockFile>

#include <cmath>
#include <optional>

namespace zoetra {

const QString ConversionRun::LockFileName = QStringLiteral("Conversion.lock");

const QString ConversionRun::NameTooLongMessage =
    QStringLiteral("Error: Filename must be 8 or less characters!");
const QString ConversionRun::NameCharactersMessage =
    QStringLiteral("Error: Filename may only contain letters and digits!");
const QString ConversionRun::NameStartMessage = QStringLiteral("Error: Filename must start with a letter!");
const QString ConversionRun::NoFramesMessage =
    QStringLiteral("Error: There are no frames to convert in the video source folder!");
const QString ConversionRun::FolderBusyMessage =
    QStringLiteral("Error: Another conversion is using the application folder! Try again when it has finished.");
const QString ConversionRun::TooLargeMessage =
    QStringLiteral("Error: File size is too large! Try turning down the quality a bit...");
const QString ConversionRun::NotBuiltMessage =
    QStringLiteral("Error: The calculator program could not be built!");
const QString ConversionRun::ArchiveNameMessage =
    QStringLiteral("Error: A video in the archive needs a Filename of 6 or less characters, "
                   "for the names of its AppVars!");
const QString ConversionRun::NotCopiedMessage =
    QStringLiteral("Error: The calculator program could not be copied to the output folder!");

QString programNameProblem(const QString& name)
{
    if (name.size() > 8) {
        return ConversionRun::NameTooLongMessage;
    }
    for (const QChar c : name) {
        const char16_t u = c.unicode();
        const bool asciiLetterOrDigit = (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z') ||
                                        (u >= u'0' && u <= u'9');
        if (!asciiLetterOrDigit) {
            return ConversionRun::NameCharactersMessage;
        }
    }
    // The calculator's program names start with a letter; an empty name
    // names nothing.
    if (name.isEmpty() || !name.front().isLetter()) {
        return ConversionRun::NameStartMessage;
    }
    return {};
}

QString programNameProblem(const QString& name, const VideoTarget& target)
{
    QString problem = programNameProblem(name);
    if (problem.isEmpty() && target.storage == Storage::Archive && name.size() > archive::MaxProgramNameLength) {
        problem = ConversionRun::ArchiveNameMessage;
    }
    return problem;
}

QString descriptionProblem(const QString& shellText, const QString& description)
{
    const std::optional<int> limit = descriptionLimit(shellText);
    // Every character becomes one byte of the description line.
    if (limit && description.toUcs4().size() > *limit) {
        return QStringLiteral("Error: Description is too long for the shell! Use %1 or fewer characters.").arg(*limit);
    }
    return {};
}

QString unreadableFramesWarning(const QStringList& names)
{
    if (names.isEmpty()) {
        return {};
    }
    constexpr int Shown = 5;
    QString text = names.size() == 1
                       ? QStringLiteral("1 frame could not be read; the frame before it is shown in its place:")
                       : QStringLiteral("%1 frames could not be read; the frame before each is shown in its place:")
                             .arg(names.size());
    for (const QString& name : names.mid(0, Shown)) {
        text += QLatin1String("\r\n") + name;
    }
    if (names.size() > Shown) {
        text += QStringLiteral("\r\n(and %1 more)").arg(names.size() - Shown);
    }
    return text;
}

QString whereFilesWentText(const QStringList& paths)
{
    if (paths.isEmpty()) {
        return QString();
    }
    const QFileInfo program(paths.front());
    const QString folder = nativePath(program.absolutePath());
    qsizetype appVars = 0;
    qsizetype bundles = 0;
    for (const QString& path : paths.mid(1)) {
        const QString suffix = QFileInfo(path).suffix().toLower();
        appVars += suffix == QLatin1String("8xv") ? 1 : 0;
        bundles += suffix == QLatin1String("8xg") ? 1 : 0;
    }
    if (appVars == 0 && bundles == 0) {
        return QStringLiteral("The program %1 is in %2.").arg(program.fileName(), folder);
    }
    const auto count = [](qsizetype n, const char* one, const char* many) {
        return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
    };
    return QStringLiteral("The program %1 and its %2 and %3 are in %4.")
        .arg(program.fileName(), count(appVars, "AppVar", "AppVars"), count(bundles, "bundle", "bundles"), folder);
}

namespace {

// The lock a run holds on the application folder's generated files. A lock
// left by a process that has ended is taken over; a live one never goes
// stale, however long its run takes.
std::unique_ptr<QLockFile> takeFolderLock(const QString& path, QLockFile::LockError& error)
{
    auto lock = std::make_unique<QLockFile>(path);
    lock->setStaleLockTime(0);
    error = lock->tryLock(0) ? QLockFile::NoError : lock->error();
    return lock;
}

}  // namespace

ConversionRun::ConversionRun(Vars& vars, Platform& platform) : vars_(vars), platform_(platform) {}

ConversionRun::~ConversionRun() = default;

bool ConversionRun::reserveFolder(QString& message)
{
    if (reserved_) {
        return true;
    }
    const QString lockPath = joinPath(platform_.appDir, LockFileName);
    QLockFile::LockError locked = QLockFile::NoError;
    std::unique_ptr<QLockFile> lock = takeFolderLock(lockPath, locked);
    if (locked == QLockFile::LockFailedError) {
        message = FolderBusyMessage;
        return false;
    }
    if (locked != QLockFile::NoError) {
        message = NotBuiltMessage + QLatin1String("\r\n") +
                  FileFailure{lockPath, locked == QLockFile::PermissionError ? QStringLiteral("Permission denied")
                                                                            : QStringLiteral("The file cannot be created")}
                      .text();
        return false;
    }
    reserved_ = std::move(lock);
    return true;
}

void ConversionRun::releaseFolder()
{
    reserved_.reset();
}

RunOutcome ConversionRun::RunConversion()
{
    // The run shares the frame buffers with anything that runs during its
    // yields; a second press meanwhile would overwrite them.
    if (inProgress_) {
        return {};
    }
    inProgress_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{inProgress_};
    return run();
}

ConversionRun::Ending ConversionRun::error(const QString& text)
{
    return {text, QStringLiteral("Error"), MessageIcon::Error, false};
}

ConversionRun::Ending ConversionRun::notBuilt(const QString& details)
{
    return error(NotBuiltMessage + QLatin1String("\r\n") + details);
}

void ConversionRun::abandon()
{
    if (!inProgress_) {
        return;
    }
    abandoned_ = true;
    if (delivery_ != nullptr) {
        delivery_->rollBack();
    }
    if (stale_ != nullptr) {
        stale_->restore();
    }
}

RunOutcome ConversionRun::run()
{
    WindowLayer& window = platform_.window;
    RunOutcome outcome;
    Ending ending;

    // What can never build is refused before anything is touched. The name
    // and the target are taken once, here, and the target resolved once for
    // every later step: the player's configuration, the stream and the build
    // must agree.
    const QString name = window.programName();
    const VideoTarget target = window.videoTarget();
    ResolvedTarget resolved = resolveTarget(target);
    if (target.sound) {
        // The sound's AppVars at its lowest level are kept out of the video's.
        resolved.sizeLimit = videoLimitWithSound(target, static_cast<int>(name.size()), window.frameListCount());
    }
    const QString nameProblem = programNameProblem(name, target);
    abandoned_ = false;
    const QString descriptionRefusal = descriptionProblem(window.shellChoice(), window.descriptionText());
    if (!nameProblem.isEmpty()) {
        outcome.status = RunOutcome::Status::NameRefused;
        ending = error(nameProblem);
    } else if (!descriptionRefusal.isEmpty()) {
        outcome.status = RunOutcome::Status::DescriptionRefused;
        ending = error(descriptionRefusal);
    } else if (window.frameListCount() == 0) {
        outcome.status = RunOutcome::Status::NoFrames;
        ending = error(NoFramesMessage);
    } else {
        // Another conversion (another window, the headless converter) would
        // write the same files.
        const QString lockPath = joinPath(platform_.appDir, LockFileName);
        QLockFile::LockError locked = QLockFile::NoError;
        // Taken ahead of the run, or now; either way it ends with the run.
        const std::unique_ptr<QLockFile> lock = reserved_ ? std::move(reserved_) : takeFolderLock(lockPath, locked);
        if (locked == QLockFile::LockFailedError) {
            outcome.status = RunOutcome::Status::FolderBusy;
            ending = error(FolderBusyMessage);
        } else if (locked != QLockFile::NoError) {
            outcome.status = RunOutcome::Status::NotBuilt;
            ending = notBuilt(FileFailure{lockPath, locked == QLockFile::PermissionError
                                                        ? QStringLiteral("Permission denied")
                                                        : QStringLiteral("The file cannot be created")}
                                  .text());
        } else {
            StaleProgram stale;
            if (const auto failure = RemoveStaleProgram(platform_.files, platform_.appDir, name, stale)) {
                outcome.status = RunOutcome::Status::NotBuilt;
                ending = notBuilt(failure->text());
            } else {
                stale_ = &stale;
                outcome = convertLocked(name, resolved, ending);
                stale_ = nullptr;
                // Unless a new program is in place, the user's old one comes
                // back.
                if (outcome.status == RunOutcome::Status::Delivered ||
                    outcome.status == RunOutcome::Status::NotCopied) {
                    stale.discard();
                } else {
                    stale.restore();
                }
            }
        }
        // The lock ends here: the files are settled before the message.
    }

    window.showMessage(ending.text, ending.title, ending.icon);
    if (ending.hidePanelAfter) {
        window.setProgressPanelVisible(false);
    }
    return outcome;
}

RunOutcome ConversionRun::convertLocked(const QString& name, const ResolvedTarget& resolved, Ending& ending)
{
    WindowLayer& window = platform_.window;
    RunOutcome outcome;
    outcome.status = RunOutcome::Status::NotBuilt;

    // A dense target's stream may go out compact (deliveredTarget).
    const std::unique_ptr<StreamEncoder> encoder = deliveryEncoder(resolved, window.loopingState() == 1);

    // The sound is read first: a run without it stops before any frame.
    std::vector<float> soundSamples;
    if (resolved.target.sound) {
        QString why;
        std::optional<std::vector<float>> read;
        if (const QString problem = soundTargetProblem(resolved.target); !problem.isEmpty()) {
            why = problem;
        } else if (soundSource) {
            read = soundSource(why);
        } else {
            why = QStringLiteral("This build cannot read sound.");
        }
        if (!read) {
            ending = error(why);
            return outcome;
        }
        soundSamples = std::move(*read);
    }

    if (const auto failure = WritePlayerConfig(platform_.files, platform_.appDir, window.shellChoice(),
                                               window.loopingState(), window.descriptionText(), resolved)) {
        ending = notBuilt(failure->text());
        return outcome;
    }

    window.setProgressValue(ProgressBar::TotalProgress, 0);
    window.setProgressValue(ProgressBar::ByteWriter, 0);
    window.setProgressValue(ProgressBar::CompressionVal, 0);
    window.yieldToEvents();
    window.setProgressPanelVisible(true);

    const auto select = [&](int f) {
        if (window.selectFrameListEntry(f) == FrameLoad::Unreadable) {
            outcome.unreadableFrames.append(window.frameListEntry(f));
        }
    };

    // The frames of the run are reduced knowing the ones before them.
    const RunHistory history(vars_);
    vars_.ByteCount = 0;
    window.setProgressMaximum(ProgressBar::TotalProgress, window.frameListCount() - 1);

    select(0);
    PackFrame(vars_);
    StartVideoStream(vars_, *encoder);

    double ratio = 0.0;
    const int frameCount = window.frameListCount();
    for (int f = 1; f < frameCount; ++f) {
        window.setProgressValue(ProgressBar::TotalProgress, f);
        select(f);
        PackFrame(vars_);
        const int bytesBefore = vars_.ByteCount;
        const FrameEncoding encoded = EncodeDeltaFrame(vars_, platform_, f, *encoder, resolved.sizeLimit);
        ratio = encoded.ratio;
        if (encoded.overLimit) {
            FitAdvice advice;
            ending = {TooLargeMessage + QLatin1String("\r\n") + tooLargeAdvice(resolved, f, bytesBefore, advice),
                      QStringLiteral("Error!"), MessageIcon::Warning, true};
            outcome.status = RunOutcome::Status::TooLarge;
            outcome.size = vars_.ByteCount;
            outcome.advice = advice;
            return outcome;
        }
    }

    EndVideoStream(vars_, *encoder);
    const ResolvedTarget delivered = deliveredTarget(resolved, *encoder);
    if (delivered.target.format != resolved.target.format) {
        if (const auto failure = WritePlayerConfig(platform_.files, platform_.appDir, window.shellChoice(),
                                                   window.loopingState(), window.descriptionText(), delivered)) {
            window.setProgressPanelVisible(false);
            ending = notBuilt(failure->text());
            return outcome;
        }
    }
    if (const auto failure = WriteVideoData(vars_, platform_)) {
        window.setProgressPanelVisible(false);
        ending = notBuilt(failure->text());
        return outcome;
    }
    outcome.size = vars_.ByteCount;

    BuildOptions options = buildOptions;
    if (delivered.target.storage == Storage::Archive) {
        // The whole stream, its end included, goes into the AppVars.
        options.archiveStream = encoder->bytes();
    }
    QString soundLine;
    if (delivered.target.sound) {
        if (const QString problem = soundTargetProblem(delivered.target); !problem.isEmpty()) {
            // The dense stream went out compact.
            window.setProgressPanelVisible(false);
            ending = error(problem + QLatin1String("\r\n") + deliveryText(*encoder, resolved.target));
            return outcome;
        }
        if (auto failed = encodeSound(name, delivered.target, std::move(soundSamples), encoder->bytes().size(),
                                      frameCount, options, soundLine)) {
            window.setProgressPanelVisible(false);
            ending = *failed;
            return outcome;
        }
    }
    // The new files are in place, the earlier ones aside: a last yield, in
    // which an end of the program (a signal, the window closed) still puts
    // every earlier file back.
    options.beforeFinish = [this, &window](DeliveryCommit& delivery) {
        delivery_ = &delivery;
        window.yieldToEvents();
        delivery_ = nullptr;
        return !abandoned_;
    };
    const BuildOutcome built = BuildProgram(platform_, name, vars_.OutDir, delivered, options);
    window.setProgressPanelVisible(false);

    switch (built.status) {
    case BuildOutcome::Status::NotBuilt:
        ending = notBuilt(built.toolOutput);
        return outcome;
    case BuildOutcome::Status::NotCopied:
        ending = error(NotCopiedMessage + QLatin1String("\r\n") + built.toolOutput);
        outcome.status = RunOutcome::Status::NotCopied;
        outcome.deliveredPath = built.builtPath;
        return outcome;
    case BuildOutcome::Status::Delivered:
        break;
    }

    QString report = QStringLiteral("Successfully converted!\r\n"
                                    "Size of converted video data: %1b.\r\n"
                                    "Compression vs Full Frames: %2% of full size.")
                         .arg(vars_.ByteCount)
                         .arg(static_cast<long long>(std::trunc(ratio)));
    // Where the files went, then the format they went out in when a dense
    // target went out compact.
    if (const QString files = whereFilesWentText(built.deliveredPaths); !files.isEmpty()) {
        report += QLatin1String("\r\n") + files;
    }
    if (const QString sent = deliveryText(*encoder, resolved.target); !sent.isEmpty()) {
        report += QLatin1String("\r\n") + sent;
    }
    if (!soundLine.isEmpty()) {
        report += QLatin1String("\r\n") + soundLine;
    }
    ending = {report, QStringLiteral("Zoetra2"), MessageIcon::Information, false};
    outcome.status = RunOutcome::Status::Delivered;
    outcome.deliveredPath = built.deliveredPath;
    outcome.deliveredPaths = built.deliveredPaths;
    return outcome;
}

std::optional<ConversionRun::Ending> ConversionRun::encodeSound(const QString& name, const VideoTarget& target,
                                                               std::vector<float> samples, std::size_t videoBytes,
                                                               int frames, BuildOptions& options, QString& report)
{
    WindowLayer& window = platform_.window;
    const std::int64_t length = videoSoundSamples(target, frames);
    samples.resize(static_cast<std::size_t>(length), 0.0f);
    const std::int64_t room = soundRoomBytes(target, static_cast<int>(name.size()), videoBytes);
    const std::optional<sound::SoundLevel> level = sound::bestLevelBesideVideo(room, length);
    if (!level) {
        return error(QStringLiteral("The sound does not fit beside the video: the archive leaves it %1 bytes, and "
                                    "it takes %2 at the fewest.")
                         .arg(room)
                         .arg(sound::streamBytes(sound::Levels.front(), sound::samplesFor(sound::Levels.front(), length))));
    }
    window.setProgressMaximum(ProgressBar::TotalProgress, 1000);
    window.setProgressValue(ProgressBar::TotalProgress, 0);
    options.soundStream = sound::encodeSound(samples, *level, [&](double share) {
        window.setProgressValue(ProgressBar::TotalProgress, static_cast<int>(share * 1000.0));
        window.yieldToEvents();
        return !abandoned_;
    });
    if (options.soundStream.empty()) {
        return error(QStringLiteral("The sound was not encoded: the conversion was stopped."));
    }
    if (window.loopingState() == 1) {
        options.soundRoundDrift = archive::soundRoundDrift(options.soundStream, target.framesPerSecond, frames);
    }
    report = soundReport(*level, options.soundStream.size(), target.storage);
    return std::nullopt;
}

QString ConversionRun::tooLargeAdvice(const ResolvedTarget& resolved, int fitting, int fittingBytes,
                                      FitAdvice& found) const
{
    WindowLayer& window = platform_.window;
    if (knownAdvice && knownAdvice->chosen.target == resolved.target) {
        found = *knownAdvice;
    } else {
        QStringList frames;
        for (int f = 0; f < window.frameListCount(); ++f) {
            frames.append(window.frameListEntry(f));
        }
        FitQuestion question;
        question.target = resolved.target;
        question.freeArchiveBytes = freeArchiveBytes;
        question.video = videoSource;
        question.screensAt = screensAt;
        found = adviseFit(question,
                          shownScreens(vars_, window.detailSliderValue(), platform_.pictures, vars_.LastDir, frames));
    }
    // What this run met: its own thinning may differ from a fresh one.
    WhatFits chosen = found.chosen;
    chosen.fitting = fitting;
    chosen.bytes = fittingBytes;
    chosen.limit = resolved.sizeLimit;

    QStringList lines = adviceLines ? adviceLines(found) : adviceWords(found, window.programName());
    // The changes lead; what the choices made hold follows them.
    lines.insert(found.proposal ? 1 : 0, whatFitsText(chosen));
    return lines.join(QLatin1String("\r\n"));
}

}  // namespace zoetra
