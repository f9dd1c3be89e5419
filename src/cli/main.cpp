// zoetra2-convert: the conversion of the window, from a terminal.
#include "cli/Preview.h"
#include "cli/TerminalWindowLayer.h"
#include "convert/ConversionRun.h"
#include "imaging/AutoBalance.h"
#include "imaging/FrameFolder.h"
#include "imaging/FrameSelection.h"
#include "platform/AppFolders.h"
#include "platform/FileSystem.h"
#include "platform/Platform.h"
#include "platform/QtBuildLauncher.h"
#include "platform/QtFileSystem.h"
#include "platform/QtPictureLoader.h"
#include "platform/UniformRandom.h"
#include "shared/Messages.h"
#include "shared/Vars.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

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

Settings parseSettings(const QCoreApplication& app, const QString& sampleDir)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Converts a folder of frames (GIF, JPEG, BMP, in name order) into a TI-83 Plus video program.\n"
        "Without --source it converts the sample animation of the application folder."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Shows this help."));
    const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("Shows the version."));
    parser.addOption(help);
    parser.addOption(version);
    parser.addOptions({
        {{QStringLiteral("s"), QStringLiteral("source")}, QStringLiteral("Folder of the frames (default: the sample)."), QStringLiteral("folder")},
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
    for (QString* folder : {&s.source, &s.output}) {
        const QFileInfo info(*folder);
        if (!info.isDir()) {
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
        for (const char* option : {"source", "output", "name", "description", "shell", "no-looping", "quality", "black",
                                   "white", "channel", "no-dither", "auto", "compact"}) {
            if (parser.isSet(QLatin1String(option))) {
                refuse(QStringLiteral("--play records an existing program and converts nothing: --%1 has no use with it.")
                           .arg(QLatin1String(option)));
            }
        }
        s.play = program.absoluteFilePath();
    }
    return s;
}

}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zoetra2-convert"));
    QCoreApplication::setApplicationVersion(QStringLiteral("2.00"));
    const AppFolders folders = AppFolders::locate(QCoreApplication::applicationDirPath());
    const QString appDir = folders.workDir;
    const Settings settings = parseSettings(app, folders.sampleDir);
    if (!settings.play.isEmpty()) {
        return writePreview(settings.play, settings.preview, settings.previewScale);
    }

    QtFileSystem files;
    QtPictureLoader pictures;
    QtBuildLauncher builds(folders.toolsDir);
    UniformRandom random;
    TerminalWindowLayer window;
    Platform platform{window, files, pictures, builds, random, appDir};

    Vars vars;
    vars.LastDir = settings.source;
    vars.OutDir = settings.output;
    vars.BlackThreshold = static_cast<std::int16_t>(settings.black);
    vars.WhiteThreshold = static_cast<std::int16_t>(settings.white);
    vars.DitherOn = settings.dither;
    vars.ColourChannel = static_cast<std::int16_t>(settings.channel);

    const std::optional<QStringList> frames = listFrameFolder(files, settings.source);
    if (!frames) {
        refuse(QStringLiteral("the folder '%1' cannot be listed.").arg(settings.source));
    }
    window.frames = *frames;
    if (const auto pair = numbersOutOfOrder(window.frames)) {
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
