#include "cli/HeadlessRun.h"

#include "cli/AdviceOptions.h"
#include "cli/Preview.h"
#include "cli/Sending.h"
#include "cli/TerminalWindowLayer.h"
#include "convert/ConversionRun.h"
#include "convert/WhatFits.h"
#include "imaging/AutoBalance.h"
#include "imaging/FrameFolder.h"
#include "imaging/FrameSelection.h"
#include "platform/CancelSignals.h"
#include "platform/FileSystem.h"
#include "platform/Platform.h"
#include "platform/QtBuildLauncher.h"
#include "platform/QtFileSystem.h"
#include "platform/QtPictureLoader.h"
#include "platform/UniformRandom.h"
#include "shared/Vars.h"

#ifdef ZOETRA_VIDEO_IMPORT
#include "media/SoundImport.h"
#include "media/VideoImport.h"
#endif

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <optional>
#include <vector>

namespace zoetra::cli {

namespace {

// Set by Ctrl-C, SIGTERM and SIGHUP while an import or a conversion runs:
// it stops, removes what it made and the program ends.
std::atomic<bool> interrupted{false};

// A video is taken at the rate it plays at, unless --fps says otherwise.
double takenFramesPerSecond(const Settings& settings)
{
    return settings.rate && !settings.given.contains(QStringLiteral("fps")) ? *settings.rate : settings.fps;
}

#ifdef ZOETRA_VIDEO_IMPORT
// Imports the source into the folder of --extract-to or into a new
// temporary one; the frame folder, or nothing after a message.
std::optional<QString> importSource(const Settings& settings, TerminalWindowLayer& window,
                                    std::optional<QTemporaryDir>& temporary)
{
    QString destination = settings.extractTo;
    if (destination.isEmpty()) {
        temporary.emplace(QDir::tempPath() + QStringLiteral("/zoetra2-import-XXXXXX"));
        if (!temporary->isValid()) {
            std::fprintf(stderr, "No temporary folder for the frames can be made (%s).\n",
                         temporary->errorString().toLocal8Bit().constData());
            return std::nullopt;
        }
        destination = temporary->filePath(QStringLiteral("frames"));
    }
    media::ImportSettings import;
    import.framesPerSecond = takenFramesPerSecond(settings);
    import.start = settings.start;
    import.end = settings.end;
    import.fit = static_cast<media::FitMode>(settings.fit);
    media::ImportControl control;
    control.cancel = &interrupted;
    control.progress = [&window](double fraction, int frames) {
        window.drawBar(fraction, QStringLiteral("%1 frames").arg(frames));
    };

    if (settings.scaledFrom.isValid()) {
        std::fprintf(stderr, "The first picture is %dx%d, not 96x64: the pictures are imported scaled (--as-is uses them as they are).\n",
                     settings.scaledFrom.width(), settings.scaledFrom.height());
    }
    const media::ImportResult result = media::importFrames(settings.source, destination, import, control);
    window.clearProgress();

    switch (result.status) {
    case media::ImportResult::Status::Failed:
        std::fprintf(stderr, "%s\n", result.message.toLocal8Bit().constData());
        return std::nullopt;
    case media::ImportResult::Status::Cancelled:
        std::fprintf(stderr, "The import was cancelled; nothing was kept.\n");
        return std::nullopt;
    case media::ImportResult::Status::Done:
        break;
    }
    if (!result.message.isEmpty()) {
        std::fprintf(stderr, "Warning: %s\n", result.message.toLocal8Bit().constData());
    }
    if (settings.extractTo.isEmpty()) {
        std::fprintf(stderr, "Imported %d frames.\n", result.frames);
    } else {
        std::fprintf(stderr, "Imported %d frames into %s.\n", result.frames,
                     nativePath(result.folder).toLocal8Bit().constData());
    }
    return result.folder;
}

// The shown screens of the source video taken at another rate, as an import
// at that rate followed by a run would have them; nothing when it cannot be
// read or a signal came.
std::optional<ShownScreens> screensAtRate(const Settings& settings, const Vars& vars, double framesPerSecond)
{
    media::ImportSettings import;
    import.framesPerSecond = framesPerSecond;
    import.start = settings.start;
    import.end = settings.end;
    import.fit = static_cast<media::FitMode>(settings.fit);
    ScreenMaker maker(vars, settings.quality);
    QString message;
    if (!media::readFrames(settings.source, import, [&maker](const QImage& frame) { maker.add(frame); }, &interrupted,
                           message)) {
        return std::nullopt;
    }
    return maker.take();
}
#endif

}  // namespace

int runHeadless(const Settings& options, const AppFolders& folders)
{
    Settings settings = options;
    if (!settings.play.isEmpty()) {
        const bool modelGiven = settings.given.contains(QStringLiteral("model"));
        return playProgram(settings.play, settings.preview, settings.previewScale,
                           modelGiven ? std::optional(settings.target.model) : std::nullopt);
    }
    if (!settings.sendFile.isEmpty()) {
        return sendFileGiven(settings);
    }
    if (!folders.problem.isEmpty()) {
        std::fprintf(stderr, "%s\n", folders.problem.toLocal8Bit().constData());
        return 1;
    }
    // A name the run would refuse is refused before anything else: a long
    // import, the calculator asked for its free archive.
    if (const QString problem = programNameProblem(settings.name, settings.target);
        settings.extractTo.isEmpty() && !problem.isEmpty()) {
        std::fprintf(stderr, "%s\n", problem.toLocal8Bit().constData());
        return 1;
    }
    // The calculator's free archive decides what the video may take.
    if (settings.freeArchiveFromCalculator) {
        if (const int failed = takeFreeArchiveFromCalculator(settings)) {
            return failed;
        }
    }
    const QString appDir = folders.workDir;

    QtFileSystem files;
    QtPictureLoader pictures;
    QtBuildLauncher builds(folders.toolsDir);
    UniformRandom random;
    TerminalWindowLayer window;
    Platform platform{window, files, pictures, builds, random, appDir};
    Vars vars;
    ConversionRun run(vars, platform);
    run.buildOptions.playerDir = folders.playerDir;

    // Until the preview, a signal ends the program through the clean-up
    // below.
    std::optional<CancelSignals> cancelling(std::in_place, interrupted);

    // The frames of an imported video: in a temporary folder that goes when
    // the program ends, or in the folder of --extract-to.
    std::optional<QTemporaryDir> importFolder;
    QString frameFolder = settings.source;
    // A second conversion in the same folder is found before the import.
    if (QString busy; settings.extractTo.isEmpty() && !run.reserveFolder(busy)) {
        std::fprintf(stderr, "%s\n", busy.toLocal8Bit().constData());
        return 1;
    }
    // A signal in the conversion's steps: the user's old program back, the
    // imported frames and the lock gone, then the end the signal asks for.
    window.onYield = [&] {
        if (!interrupted.load()) {
            return;
        }
        run.abandon();
        run.releaseFolder();
        QFile::remove(joinPath(appDir, ConversionRun::LockFileName));
        importFolder.reset();
        window.clearProgress();
        std::fprintf(stderr, "The conversion was interrupted; nothing of it was kept.\n");
        CancelSignals::endAsSignalled(1);
    };
#ifdef ZOETRA_VIDEO_IMPORT
    if (settings.import) {
        const std::optional<QString> imported = importSource(settings, window, importFolder);
        if (!imported) {
            return 1;
        }
        frameFolder = *imported;
    }
#endif

    vars.LastDir = frameFolder;
    vars.OutDir = settings.output;
    vars.BlackThreshold = static_cast<std::int16_t>(settings.black);
    vars.WhiteThreshold = static_cast<std::int16_t>(settings.white);
    vars.DitherOn = settings.dither;
    vars.ColourChannel = static_cast<std::int16_t>(settings.channel);
    vars.Pictures = settings.pictures;

    const std::optional<QStringList> frames = listFrameFolder(files, frameFolder);
    if (!frames) {
        if (settings.import) {
            std::fprintf(stderr, "The frames in '%s' cannot be listed.\n", nativePath(frameFolder).toLocal8Bit().constData());
            return 1;
        }
        std::fprintf(stderr, "zoetra2-convert: the folder '%s' cannot be listed.\nTry 'zoetra2-convert --help'.\n",
                     settings.source.toLocal8Bit().constData());
        return 2;
    }
    window.frames = *frames;
    if (const auto pair = numbersOutOfOrder(window.frames); pair && !settings.import) {
        std::fprintf(stderr, "Warning: %s\n", nameOrderWarning(*pair).toLocal8Bit().constData());
    }
    window.fileName = settings.name;
    window.description = settings.description;
    window.shell = settings.shell;
    window.looping = settings.looping ? 1 : 0;
    window.detailSlider = settings.quality;
    window.target = settings.target;
    // The video plays at its own rate: the one given, else the one its
    // frames were imported at, else the written pace.
    window.target.framesPerSecond = settings.rate.value_or(folderRate(files, frameFolder).value_or(WrittenFramesPerSecond));
    window.onFrameSelected = [&](int index) {
        return loadAndConvertFrame(vars, pictures, joinPath(vars.LastDir, window.frames.at(index)),
                                   window.filePreviewArea, window.quickPrevArea);
    };

    if (settings.autoBalance && !window.frames.isEmpty()) {
        window.selectFrameListEntry(0);
        const AutoBalanceProposal proposal = proposeAutoBalance(vars, window.filePreviewArea);
        // What the options say explicitly wins over the proposal.
        if (!settings.given.contains(QStringLiteral("dither"))) {
            vars.DitherOn = true;
        }
        if (!settings.given.contains(QStringLiteral("black"))) {
            vars.BlackThreshold = static_cast<std::int16_t>(proposal.black);
        }
        if (!settings.given.contains(QStringLiteral("white"))) {
            vars.WhiteThreshold = static_cast<std::int16_t>(proposal.white);
        }
        // As options, so that the run can be repeated with them.
        std::fprintf(stderr, "Auto balance: --black %d --white %d\n", proposal.black, proposal.white);
    }

    // The advice names the options that make the video fit.
    run.adviceLines = [&settings](const FitAdvice& advice) { return adviceOptions(advice, settings); };
#ifdef ZOETRA_VIDEO_IMPORT
    if (settings.import && QFileInfo(settings.source).isFile()) {
        run.videoSource = VideoSpan{settings.start, takenFramesPerSecond(settings)};
        run.screensAt = [&settings, &vars](double framesPerSecond) {
            return screensAtRate(settings, vars, framesPerSecond);
        };
    }
#endif

    if (settings.import) {
        // What the video data holds of the frames, before anything is built;
        // when not all fit, the run's message tells it with the advice.
        FitQuestion question;
        question.target = window.target;
        question.video = run.videoSource;
        question.screensAt = run.screensAt;
        FitAdvice advice = adviseFit(
            question, shownScreens(vars, settings.quality, pictures, frameFolder, window.frames, &interrupted),
            &interrupted);
        window.yieldToEvents();  // a signal meanwhile ends the program here
        if (advice.chosen.all()) {
            std::fprintf(stderr, "%s\n", whatFitsText(advice.chosen).toLocal8Bit().constData());
        } else if (!settings.extractTo.isEmpty()) {
            QStringList lines = adviceOptions(advice, settings);
            lines.insert(advice.proposal ? 1 : 0, whatFitsText(advice.chosen));
            std::fprintf(stderr, "%s\n", lines.join(QLatin1Char('\n')).toLocal8Bit().constData());
        } else {
            run.knownAdvice = std::move(advice);
        }
        if (!settings.extractTo.isEmpty()) {
            return 0;
        }
    }

#ifdef ZOETRA_VIDEO_IMPORT
    run.soundSource = [&frameFolder](QString& why) {
        return media::folderSoundSamples(frameFolder, sound::InputRate, why);
    };
#endif
    const RunOutcome outcome = run.RunConversion();
    window.onYield = nullptr;
    cancelling.reset();
    if (interrupted.load()) {
        // After the run's last yield: what it delivered stays, and nothing
        // more is done.
        std::fprintf(stderr, "The conversion was interrupted after it had ended.\n");
        CancelSignals::endAsSignalled(1);
    }
    for (const QString& frame : outcome.unreadableFrames) {
        std::fprintf(stderr, "Warning: the frame %s could not be read; the frame before it is shown in its place.\n",
                     nativePath(joinPath(vars.LastDir, frame)).toLocal8Bit().constData());
    }
    if (outcome.status != RunOutcome::Status::Delivered) {
        return 1;
    }
    // The closing report names the program and its folder.
    if (outcome.deliveredPaths.size() > 1) {
        std::fprintf(stderr, "Video in the archive: %lld AppVar files and the bundles to send them with:\n",
                     static_cast<long long>(std::count_if(outcome.deliveredPaths.begin(), outcome.deliveredPaths.end(),
                                                          [](const QString& path) {
                                                              return path.endsWith(QLatin1String(".8xv"), Qt::CaseInsensitive);
                                                          })));
        for (const QString& path : outcome.deliveredPaths.mid(1)) {
            std::fprintf(stderr, "  %s\n", nativePath(path).toLocal8Bit().constData());
        }
    }
    if (pacedByDeadlines(window.target)) {
        // A rate of its own, or another model's timer; the written pace is
        // told by nothing, as it always was.
        std::fprintf(stderr, "Plays at %s frames a second.\n",
                     QString::number(window.target.framesPerSecond, 'g', 4).toLocal8Bit().constData());
    }
    if (!settings.preview.isEmpty()) {
        if (const int failed = writePreview(outcome.deliveredPath, settings.preview, settings.previewScale,
                                            settings.target.model)) {
            return failed;
        }
    }
    if (settings.send) {
        return sendToCalculator(outcome.deliveredPaths, window.target, settings.replace);
    }
    return 0;
}

}  // namespace zoetra::cli
