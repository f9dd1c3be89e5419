// zoetra2-convert: the conversion of the window, from a terminal.
#include "cli/Preview.h"
#include "cli/TerminalWindowLayer.h"
#include "convert/ConversionRun.h"
#include "convert/WhatFits.h"
#include "imaging/AutoBalance.h"
#include "imaging/FrameFolder.h"
#include "imaging/FrameSelection.h"
#include "platform/AppFolders.h"
#include "platform/FileSystem.h"
#include "platform/LibraryMessages.h"
#include "platform/Platform.h"
#include "platform/QtBuildLauncher.h"
#include "platform/QtFileSystem.h"
#include "platform/QtPictureLoader.h"
#include "platform/UniformRandom.h"
#include "shared/Messages.h"
#include "shared/Vars.h"

#ifdef ZOETRA_VIDEO_IMPORT
#include "media/MediaTypes.h"
#include "media/VideoImport.h"
#endif

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <optional>

namespace {

using namespace zoetra;

constexpr int BadOptions = 2;

struct Settings {
    QString source;
    QString output;
    QString name = QStringLiteral("Video");
    QString description = QStringLiteral("My First Video");
    QString shell = QStringLiteral("Ion");
    bool looping = true;
    int quality = 0;  // the window's DetailSlider: -10..0
    int black = 85;
    int white = 170;
    int channel = 1;
    bool dither = true;
    bool autoBalance = false;
    bool compact = false;
    QString preview;  // the GIF to write, if any
    int previewScale = 3;
    QString play;  // an existing program to record instead of converting

    // A video, an animated picture or pictures of any size, imported first.
    bool import = false;
    double fps = PlayerFramesPerSecond;
    double start = 0.0;
    std::optional<double> end;
    int fit = 0;  // fit, fill, stretch
    QString extractTo;  // keep the frames there and stop
};

[[noreturn]] void refuse(const QString& text)
{
    std::fprintf(stderr, "zoetra2-convert: %s\nTry 'zoetra2-convert --help'.\n", text.toLocal8Bit().constData());
    std::exit(BadOptions);
}

int number(const QCommandLineParser& parser, const QString& option, int low, int high, int fallback)
{
    if (!parser.isSet(option)) {
        return fallback;
    }
    bool ok = false;
    const int value = parser.value(option).toInt(&ok);
    if (!ok || value < low || value > high) {
        refuse(QStringLiteral("--%1 takes a whole number from %2 to %3, not '%4'.")
                   .arg(option)
                   .arg(low)
                   .arg(high)
                   .arg(parser.value(option)));
    }
    return value;
}

// Seconds as "12.5", "1:30" or "1:02:03.5"; nothing when it is none of these.
std::optional<double> parseTime(const QString& text)
{
    const QStringList parts = text.trimmed().split(QLatin1Char(':'));
    if (parts.isEmpty() || parts.size() > 3) {
        return std::nullopt;
    }
    double seconds = 0.0;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        bool ok = false;
        const double value = parts[i].toDouble(&ok);
        const bool last = i + 1 == parts.size();
        // Minutes and hours whole, seconds after a colon below 60.
        if (!ok || value < 0.0 || (!last && value != std::floor(value)) ||
            (i > 0 && value >= 60.0)) {
            return std::nullopt;
        }
        seconds = seconds * 60.0 + value;
    }
    return seconds;
}

Settings parseSettings(const QCoreApplication& app, const QString& sampleDir)
{
    QCommandLineParser parser;
    QString description = QStringLiteral(
        "Converts a folder of frames (GIF, JPEG, BMP, PNG, in name order) into a TI-83 Plus video program.\n"
        "Without --source it converts the sample animation of the application folder.");
#ifdef ZOETRA_VIDEO_IMPORT
    description += QStringLiteral(
        "\nA video file, an animated GIF, APNG or WebP, or a picture as --source is first turned into\n"
        "96x64 frames (in a temporary folder, removed afterwards); so is a folder of pictures of any\n"
        "size when one of --fps, --start, --end, --fit or --extract-to is given.");
#endif
    parser.setApplicationDescription(description);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Shows this help."));
    const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("Shows the version."));
    parser.addOption(help);
    parser.addOption(version);
    parser.addOptions({
#ifdef ZOETRA_VIDEO_IMPORT
        {{QStringLiteral("s"), QStringLiteral("source")}, QStringLiteral("Folder of the frames, or a video or picture file (default: the sample)."), QStringLiteral("folder|file")},
#else
        {{QStringLiteral("s"), QStringLiteral("source")}, QStringLiteral("Folder of the frames (default: the sample)."), QStringLiteral("folder")},
#endif
        {{QStringLiteral("o"), QStringLiteral("output")}, QStringLiteral("Folder that receives the program (default: the current folder)."), QStringLiteral("folder")},
        {{QStringLiteral("n"), QStringLiteral("name")}, QStringLiteral("Program name: up to 8 letters and digits, the first a letter (default: Video)."), QStringLiteral("name")},
        {{QStringLiteral("d"), QStringLiteral("description")}, QStringLiteral("Description shown by the shell, at most 126 characters with Ion and 255 with MirageOS (default: My First Video)."), QStringLiteral("text")},
        {QStringLiteral("shell"), QStringLiteral("Ion, MirageOS or NoShell (default: Ion)."), QStringLiteral("shell")},
        {QStringLiteral("no-looping"), QStringLiteral("Play once and keep the last frame until a key is pressed.")},
        {{QStringLiteral("q"), QStringLiteral("quality")}, QStringLiteral("Quality, as the window's slider: 0 keeps every change, -1 to -10 thin the changes out more and more, for a smaller video (default: 0)."), QStringLiteral("-10..0")},
        {QStringLiteral("black"), QStringLiteral("Black threshold, 0..255 (default: 85)."), QStringLiteral("value")},
        {QStringLiteral("white"), QStringLiteral("White threshold, 0..255 (default: 170)."), QStringLiteral("value")},
        {QStringLiteral("channel"), QStringLiteral("all, red, green or blue (default: all)."), QStringLiteral("channel")},
        {QStringLiteral("no-dither"), QStringLiteral("No checkerboard between the thresholds.")},
        {QStringLiteral("auto"), QStringLiteral("Propose both thresholds from the first frame (turns the dither on).")},
        {QStringLiteral("compact"), QStringLiteral("Compact video: the same screens in about a third of the bytes.")},
        {QStringLiteral("preview"), QStringLiteral("Also write the program as the calculator plays it, an animated GIF with its frame times."), QStringLiteral("file.gif")},
        {QStringLiteral("preview-scale"), QStringLiteral("Pixel size of the preview: 1 gives the exact 96x64 pixels in black and white (default: 3, in the LCD's colours)."), QStringLiteral("1..10")},
        {QStringLiteral("play"), QStringLiteral("Record an existing program with --preview instead of converting."), QStringLiteral("program.8xp")},
#ifdef ZOETRA_VIDEO_IMPORT
        {QStringLiteral("fps"), QStringLiteral("Frames a second taken from a video (default: 14.75, the calculator's pace)."), QStringLiteral("rate")},
        {QStringLiteral("start"), QStringLiteral("Where in the video to begin, in seconds or m:ss (default: its beginning)."), QStringLiteral("time")},
        {QStringLiteral("end"), QStringLiteral("Where in the video to stop, in seconds or m:ss (default: its end)."), QStringLiteral("time")},
        {QStringLiteral("fit"), QStringLiteral("fit (the whole picture, white bars), fill (the middle, cut to 3:2) or stretch (default: fit)."), QStringLiteral("mode")},
        {QStringLiteral("extract-to"), QStringLiteral("Write the video's frames into this new folder and stop there."), QStringLiteral("folder")},
#endif
    });

    if (!parser.parse(app.arguments())) {
        refuse(parser.errorText());
    }
    if (parser.isSet(help)) {
        std::fputs(parser.helpText().toLocal8Bit().constData(), stdout);
        std::exit(0);
    }
    if (parser.isSet(version)) {
        std::puts("Zoetra2 2.00");
        std::exit(0);
    }
    if (!parser.positionalArguments().isEmpty()) {
        refuse(QStringLiteral("unexpected argument '%1'.").arg(parser.positionalArguments().first()));
    }

    Settings s;
    s.source = parser.isSet(QStringLiteral("source")) ? parser.value(QStringLiteral("source")) : sampleDir;
    s.output = parser.isSet(QStringLiteral("output")) ? parser.value(QStringLiteral("output")) : QDir::currentPath();
#ifdef ZOETRA_VIDEO_IMPORT
    for (const char* option : {"fps", "start", "end", "fit", "extract-to"}) {
        s.import = s.import || parser.isSet(QLatin1String(option));
    }
    if (parser.isSet(QStringLiteral("fps"))) {
        bool ok = false;
        s.fps = parser.value(QStringLiteral("fps")).toDouble(&ok);
        if (!ok || !(s.fps > 0.0 && s.fps <= 1000.0)) {
            refuse(QStringLiteral("--fps takes frames a second, above 0 and at most 1000, not '%1'.")
                       .arg(parser.value(QStringLiteral("fps"))));
        }
    }
    for (const char* option : {"start", "end"}) {
        if (parser.isSet(QLatin1String(option))) {
            const std::optional<double> time = parseTime(parser.value(QLatin1String(option)));
            if (!time) {
                refuse(QStringLiteral("--%1 takes a time in seconds (12.5) or minutes and seconds (1:30), not '%2'.")
                           .arg(QLatin1String(option), parser.value(QLatin1String(option))));
            }
            (QByteArray(option) == "start" ? s.start : s.end.emplace()) = *time;
        }
    }
    if (parser.isSet(QStringLiteral("fit"))) {
        const QStringList modes{QStringLiteral("fit"), QStringLiteral("fill"), QStringLiteral("stretch")};
        const auto index = modes.indexOf(parser.value(QStringLiteral("fit")).toLower());
        if (index < 0) {
            refuse(QStringLiteral("--fit takes fit, fill or stretch, not '%1'.").arg(parser.value(QStringLiteral("fit"))));
        }
        s.fit = static_cast<int>(index);
    }
    if (parser.isSet(QStringLiteral("extract-to"))) {
        const QFileInfo target(parser.value(QStringLiteral("extract-to")));
        if (target.exists() || target.isSymLink()) {
            refuse(QStringLiteral("'%1' exists already: --extract-to makes a new folder.").arg(target.filePath()));
        }
        if (!QFileInfo(target.absolutePath()).isDir()) {
            refuse(QStringLiteral("'%1' is not a folder.").arg(QDir::toNativeSeparators(target.absolutePath())));
        }
        s.extractTo = QDir::cleanPath(target.absoluteFilePath());
    }
    // A file as the source is imported; a folder only when asked to.
    if (const QFileInfo file(s.source); file.exists() && !file.isDir()) {
        s.source = QDir::cleanPath(file.absoluteFilePath());
        s.import = true;
    }
#endif
    for (QString* folder : {&s.source, &s.output}) {
        if (s.import && folder == &s.source) {
            if (!QFileInfo::exists(*folder)) {
                refuse(QStringLiteral("'%1' is neither a folder nor a file.").arg(*folder));
            }
            *folder = QDir::cleanPath(QFileInfo(*folder).absoluteFilePath());
            continue;
        }
        const QFileInfo info(*folder);
        if (!info.isDir()) {
#ifdef ZOETRA_VIDEO_IMPORT
            if (folder == &s.source) {
                refuse(QStringLiteral("'%1' is neither a folder nor a file.").arg(*folder));
            }
#endif
            refuse(QStringLiteral("'%1' is not a folder.").arg(*folder));
        }
        *folder = QDir::cleanPath(info.absoluteFilePath());
        // As the window's folder pickers refuse them.
        if (QDir(*folder).isRoot()) {
            refuse(RootFolderRefusedMessage);
        }
    }
    if (parser.isSet(QStringLiteral("name"))) {
        s.name = parser.value(QStringLiteral("name"));
    }
    if (parser.isSet(QStringLiteral("description"))) {
        s.description = parser.value(QStringLiteral("description"));
    }
    if (parser.isSet(QStringLiteral("shell"))) {
        const QString shell = parser.value(QStringLiteral("shell")).toLower().remove(QLatin1Char(' '));
        if (shell == QLatin1String("ion")) {
            s.shell = QStringLiteral("Ion");
        } else if (shell == QLatin1String("mirageos")) {
            s.shell = QStringLiteral("MirageOS");
        } else if (shell == QLatin1String("noshell")) {
            s.shell = QStringLiteral("No Shell");
        } else {
            refuse(QStringLiteral("--shell takes Ion, MirageOS or NoShell, not '%1'.").arg(parser.value(QStringLiteral("shell"))));
        }
    }
    s.looping = !parser.isSet(QStringLiteral("no-looping"));
    s.quality = number(parser, QStringLiteral("quality"), -10, 0, 0);
    s.black = number(parser, QStringLiteral("black"), 0, 255, 85);
    s.white = number(parser, QStringLiteral("white"), 0, 255, 170);
    if (parser.isSet(QStringLiteral("channel"))) {
        const QStringList channels{QStringLiteral("all"), QStringLiteral("red"), QStringLiteral("green"), QStringLiteral("blue")};
        const auto index = channels.indexOf(parser.value(QStringLiteral("channel")).toLower());
        if (index < 0) {
            refuse(QStringLiteral("--channel takes all, red, green or blue, not '%1'.").arg(parser.value(QStringLiteral("channel"))));
        }
        s.channel = static_cast<int>(index) + 1;
    }
    s.dither = !parser.isSet(QStringLiteral("no-dither"));
    s.autoBalance = parser.isSet(QStringLiteral("auto"));
    s.compact = parser.isSet(QStringLiteral("compact"));

    const bool preview = parser.isSet(QStringLiteral("preview"));
    if (preview || parser.isSet(QStringLiteral("preview-scale")) || parser.isSet(QStringLiteral("play"))) {
        if (!previewAvailable()) {
            refuse(QStringLiteral("this build has no calculator preview (it needs libz80ex and FFmpeg)."));
        }
        if (!preview) {
            refuse(QStringLiteral("--%1 needs --preview FILE.gif.")
                       .arg(parser.isSet(QStringLiteral("play")) ? QStringLiteral("play") : QStringLiteral("preview-scale")));
        }
    }
    if (preview) {
        const QFileInfo gif(parser.value(QStringLiteral("preview")));
        if (gif.fileName().isEmpty() || !gif.absoluteDir().exists()) {
            refuse(QStringLiteral("--preview needs a file in an existing folder, not '%1'.").arg(parser.value(QStringLiteral("preview"))));
        }
        s.preview = gif.absoluteFilePath();
        s.previewScale = number(parser, QStringLiteral("preview-scale"), 1, 10, 3);
    }
    if (parser.isSet(QStringLiteral("play"))) {
        const QFileInfo program(parser.value(QStringLiteral("play")));
        if (!program.isFile()) {
            refuse(QStringLiteral("'%1' is not a file.").arg(parser.value(QStringLiteral("play"))));
        }
        QStringList unused{QStringLiteral("source"), QStringLiteral("output"), QStringLiteral("name"),
                           QStringLiteral("description"), QStringLiteral("shell"), QStringLiteral("no-looping"),
                           QStringLiteral("quality"), QStringLiteral("black"), QStringLiteral("white"),
                           QStringLiteral("channel"), QStringLiteral("no-dither"), QStringLiteral("auto"),
                           QStringLiteral("compact")};
#ifdef ZOETRA_VIDEO_IMPORT
        unused += {QStringLiteral("fps"), QStringLiteral("start"), QStringLiteral("end"), QStringLiteral("fit"),
                   QStringLiteral("extract-to")};
#endif
        for (const QString& option : unused) {
            if (parser.isSet(option)) {
                refuse(QStringLiteral("--play records an existing program and converts nothing: --%1 has no use with it.")
                           .arg(option));
            }
        }
        s.play = program.absoluteFilePath();
    }
    return s;
}

#ifdef ZOETRA_VIDEO_IMPORT
// Ctrl-C and termination during an import stop it cleanly, so that it
// leaves no folder behind.
std::atomic<bool> importCancelled{false};

extern "C" void cancelImport(int)
{
    importCancelled.store(true);
}

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
    import.framesPerSecond = settings.fps;
    import.start = settings.start;
    import.end = settings.end;
    import.fit = static_cast<media::FitMode>(settings.fit);
    media::ImportControl control;
    control.cancel = &importCancelled;
    control.progress = [&window](double fraction, int frames) {
        window.drawBar(fraction, QStringLiteral("%1 frames").arg(frames));
    };

    auto* previousInt = std::signal(SIGINT, cancelImport);
    auto* previousTerm = std::signal(SIGTERM, cancelImport);
    const media::ImportResult result = media::importFrames(settings.source, destination, import, control);
    std::signal(SIGINT, previousInt);
    std::signal(SIGTERM, previousTerm);
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
#endif

}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zoetra2-convert"));
    QCoreApplication::setApplicationVersion(QStringLiteral("2.00"));
    // Our messages say what went wrong, without the libraries' own first.
    quietLibraryMessages();
#ifdef ZOETRA_VIDEO_IMPORT
    media::quietFfmpegLog();
#endif
    const AppFolders folders = AppFolders::locate(QCoreApplication::applicationDirPath());
    const QString appDir = folders.workDir;
    const Settings settings = parseSettings(app, folders.sampleDir);
    if (!settings.play.isEmpty()) {
        return writePreview(settings.play, settings.preview, settings.previewScale);
    }
    if (!folders.problem.isEmpty()) {
        std::fprintf(stderr, "%s\n", folders.problem.toLocal8Bit().constData());
        return 1;
    }

    QtFileSystem files;
    QtPictureLoader pictures;
    QtBuildLauncher builds(folders.toolsDir);
    UniformRandom random;
    TerminalWindowLayer window;
    Platform platform{window, files, pictures, builds, random, appDir};

    // The frames of an imported video: in a temporary folder that goes when
    // the program ends, or in the folder of --extract-to.
    std::optional<QTemporaryDir> importFolder;
    QString frameFolder = settings.source;
#ifdef ZOETRA_VIDEO_IMPORT
    if (settings.import) {
        const std::optional<QString> imported = importSource(settings, window, importFolder);
        if (!imported) {
            return 1;
        }
        frameFolder = *imported;
    }
#endif

    Vars vars;
    vars.LastDir = frameFolder;
    vars.OutDir = settings.output;
    vars.BlackThreshold = static_cast<std::int16_t>(settings.black);
    vars.WhiteThreshold = static_cast<std::int16_t>(settings.white);
    vars.DitherOn = settings.dither;
    vars.ColourChannel = static_cast<std::int16_t>(settings.channel);

    const std::optional<QStringList> frames = listFrameFolder(files, frameFolder);
    if (!frames) {
        if (settings.import) {
            std::fprintf(stderr, "The frames in '%s' cannot be listed.\n", nativePath(frameFolder).toLocal8Bit().constData());
            return 1;
        }
        refuse(QStringLiteral("the folder '%1' cannot be listed.").arg(settings.source));
    }
    window.frames = *frames;
    if (const auto pair = numbersOutOfOrder(window.frames); pair && !settings.import) {
        std::fprintf(stderr,
                     "Warning: the frames play in name order, letter by letter, so %s plays before %s.\n"
                     "Number them with leading zeros, all of one length (frame002, frame010), to play them "
                     "in number order.\n",
                     pair->first.toLocal8Bit().constData(), pair->second.toLocal8Bit().constData());
    }
    window.fileName = settings.name;
    window.description = settings.description;
    window.shell = settings.shell;
    window.looping = settings.looping ? 1 : 0;
    window.detailSlider = settings.quality;
    window.compact = settings.compact;
    window.onFrameSelected = [&](int index) {
        return loadAndConvertFrame(vars, pictures, joinPath(vars.LastDir, window.frames.at(index)),
                                   window.filePreviewArea, window.quickPrevArea);
    };

    if (settings.autoBalance && !window.frames.isEmpty()) {
        window.selectFrameListEntry(0);
        const AutoBalanceProposal proposal = computeAutoBalance(window.filePreviewArea);
        vars.DitherOn = true;
        vars.BlackThreshold = static_cast<std::int16_t>(proposal.black);
        vars.WhiteThreshold = static_cast<std::int16_t>(proposal.white);
        // As options, so that the run can be repeated with them.
        std::fprintf(stderr, "Auto balance: --black %d --white %d\n", proposal.black, proposal.white);
    }

    if (settings.import) {
        // What the video data holds of the frames, before anything is built.
        const WhatFits fits = estimateWhatFits(vars, EncoderChoice{settings.quality, settings.compact}, pictures,
                                               frameFolder, window.frames);
        std::fprintf(stderr, "%s\n", whatFitsText(fits).toLocal8Bit().constData());
        if (!settings.extractTo.isEmpty()) {
            return 0;
        }
    }

    ConversionRun run(vars, platform);
    run.buildOptions.playerDir = folders.playerDir;
    const RunOutcome outcome = run.RunConversion();
    for (const QString& frame : outcome.unreadableFrames) {
        std::fprintf(stderr, "Warning: the frame %s could not be read; the frame before it is shown in its place.\n",
                     nativePath(joinPath(vars.LastDir, frame)).toLocal8Bit().constData());
    }
    if (outcome.status != RunOutcome::Status::Delivered) {
        return 1;
    }
    std::fprintf(stderr, "Program file: %s\n", nativePath(outcome.deliveredPath).toLocal8Bit().constData());
    if (!settings.preview.isEmpty()) {
        return writePreview(outcome.deliveredPath, settings.preview, settings.previewScale);
    }
    return 0;
}
