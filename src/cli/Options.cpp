#include "cli/Options.h"

#include "cli/Preview.h"
#include "cli/Sending.h"
#include "codec/Codec.h"
#include "convert/VideoSound.h"
#include "imaging/FrameFolder.h"
#include "platform/QtFileSystem.h"
#include "shared/Messages.h"
#include "shared/Seconds.h"
#include "shared/Text.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

#include <cmath>
#include <map>
#include <set>

namespace zoetra::cli {

namespace {

using Refusal = std::optional<QString>;

// A whole number from low to high into `target`.
std::function<Refusal(const QString&, Settings&, QString&)> wholeNumber(const QString& option, int low, int high,
                                                                        int Settings::*target)
{
    return [=](const QString& value, Settings& s, QString& canonical) -> Refusal {
        bool ok = false;
        const int number = value.toInt(&ok);
        if (!ok || number < low || number > high) {
            return QStringLiteral("--%1 takes a whole number from %2 to %3, not '%4'.")
                .arg(option)
                .arg(low)
                .arg(high)
                .arg(value);
        }
        s.*target = number;
        canonical = QString::number(number);
        return std::nullopt;
    };
}

// A flag that sets a yes-or-no setting.
std::function<Refusal(const QString&, Settings&, QString&)> flag(bool Settings::*target, bool value)
{
    return [=](const QString&, Settings& s, QString& canonical) -> Refusal {
        s.*target = value;
        canonical = value ? QStringLiteral("yes") : QStringLiteral("no");
        return std::nullopt;
    };
}

// A plain text into `target`.
std::function<Refusal(const QString&, Settings&, QString&)> textValue(QString Settings::*target)
{
    return [=](const QString& value, Settings& s, QString& canonical) -> Refusal {
        s.*target = value;
        canonical = value;
        return std::nullopt;
    };
}

QString modelList()
{
    QStringList keys;
    for (const ModelFacts& facts : Models) {
        keys.append(toQString(facts.key));
    }
    return keys.join(QStringLiteral(", "));
}

QString formatList()
{
    QStringList keys;
    for (const Codec& codec : allCodecs()) {
        keys.append(toQString(codec.key));
    }
    return keys.join(QStringLiteral(", "));
}

std::vector<OptionRow> makeTable()
{
    std::vector<OptionRow> rows;
    rows.push_back({{QStringLiteral("s"), QStringLiteral("source")}, QStringLiteral("folder|file"),
#ifdef ZOETRA_VIDEO_IMPORT
                    QStringLiteral("Folder of the frames, or a video or picture file (default: the sample)."),
#else
                    QStringLiteral("Folder of the frames (default: the sample)."),
#endif
                    QStringLiteral("source"), textValue(&Settings::source)});
    rows.push_back({{QStringLiteral("o"), QStringLiteral("output")}, QStringLiteral("folder"),
                    QStringLiteral("Folder that receives the program (default: the current folder)."),
                    QStringLiteral("output"), textValue(&Settings::output)});
    rows.push_back({{QStringLiteral("n"), QStringLiteral("name")}, QStringLiteral("name"),
                    QStringLiteral("Program name: up to 8 letters and digits, the first a letter (default: Video)."),
                    QStringLiteral("name"), textValue(&Settings::name)});
    rows.push_back({{QStringLiteral("d"), QStringLiteral("description")}, QStringLiteral("text"),
                    QStringLiteral("Description shown by the shell, at most 126 characters with Ion and 255 with "
                                   "MirageOS (default: My First Video)."),
                    QStringLiteral("description"), textValue(&Settings::description)});
    rows.push_back({{QStringLiteral("shell")}, QStringLiteral("shell"), QStringLiteral("Ion, MirageOS or NoShell (default: Ion)."),
                    QStringLiteral("shell"),
                    [](const QString& value, Settings& s, QString& canonical) -> Refusal {
                        const QString shell = value.toLower().remove(QLatin1Char(' '));
                        if (shell == QLatin1String("ion")) {
                            s.shell = QStringLiteral("Ion");
                        } else if (shell == QLatin1String("mirageos")) {
                            s.shell = QStringLiteral("MirageOS");
                        } else if (shell == QLatin1String("noshell")) {
                            s.shell = QStringLiteral("No Shell");
                        } else {
                            return QStringLiteral("--shell takes Ion, MirageOS or NoShell, not '%1'.").arg(value);
                        }
                        canonical = s.shell;
                        return std::nullopt;
                    }});
    rows.push_back({{QStringLiteral("no-looping")}, {}, QStringLiteral("Play once and keep the last frame until a key is pressed."),
                    QStringLiteral("looping"), flag(&Settings::looping, false)});
    rows.push_back({{QStringLiteral("q"), QStringLiteral("quality")}, QStringLiteral("-10..0"),
                    QStringLiteral("Quality, as the window's slider: 0 keeps every change, -1 to -10 thin the changes "
                                   "out more and more, for a smaller video (default: 0)."),
                    QStringLiteral("quality"), wholeNumber(QStringLiteral("quality"), -10, 0, &Settings::quality)});
    rows.push_back({{QStringLiteral("black")}, QStringLiteral("value"), QStringLiteral("Black threshold, 0..255 (default: 85; 0 with a --pattern other than checkerboard)."),
                    QStringLiteral("black"), wholeNumber(QStringLiteral("black"), 0, 255, &Settings::black)});
    rows.push_back({{QStringLiteral("white")}, QStringLiteral("value"), QStringLiteral("White threshold, 0..255 (default: 170; 255 with a --pattern other than checkerboard)."),
                    QStringLiteral("white"), wholeNumber(QStringLiteral("white"), 0, 255, &Settings::white)});
    rows.push_back({{QStringLiteral("channel")}, QStringLiteral("channel"), QStringLiteral("all, red, green or blue (default: all)."),
                    QStringLiteral("channel"),
                    [](const QString& value, Settings& s, QString& canonical) -> Refusal {
                        const QStringList channels{QStringLiteral("all"), QStringLiteral("red"), QStringLiteral("green"),
                                                   QStringLiteral("blue")};
                        const auto index = channels.indexOf(value.toLower());
                        if (index < 0) {
                            return QStringLiteral("--channel takes all, red, green or blue, not '%1'.").arg(value);
                        }
                        s.channel = static_cast<int>(index) + 1;
                        canonical = channels[index];
                        return std::nullopt;
                    }});
    rows.push_back({{QStringLiteral("no-dither")}, {}, QStringLiteral("No checkerboard between the thresholds."),
                    QStringLiteral("dither"), flag(&Settings::dither, false)});
    rows.push_back({{QStringLiteral("auto")}, {},
                    QStringLiteral("Propose both thresholds from the first frame (turns the dither on): with a --pattern other "
                                   "than checkerboard, the band that holds the frame's tones. --black, --white and "
                                   "--no-dither given as well win over it."),
                    QStringLiteral("auto"), flag(&Settings::autoBalance, true)});
    rows.push_back({{QStringLiteral("pattern")}, QStringLiteral("pattern"),
                    QStringLiteral("How the greys between the thresholds are drawn: checkerboard, bayer2, bayer4, bayer8, "
                                   "bluenoise, diffusion (Floyd-Steinberg), atkinson or search (a slower search for the "
                                   "closest picture) (default: checkerboard)."),
                    QStringLiteral("pattern"),
                    [](const QString& value, Settings& s, QString& canonical) -> Refusal {
                        const auto pattern = patternFromOption(value);
                        if (!pattern) {
                            QStringList names;
                            for (const PatternName& name : PatternNames) {
                                names.append(QLatin1String(name.option));
                            }
                            return QStringLiteral("--pattern takes %1, not '%2'.").arg(names.join(QStringLiteral(", ")), value);
                        }
                        s.pictures.pattern = *pattern;
                        canonical = QLatin1String(patternOption(*pattern));
                        return std::nullopt;
                    }});
    rows.push_back({{QStringLiteral("gamma")}, QStringLiteral("value"),
                    QStringLiteral("Gamma applied before the thresholds, 0.25..4: above 1 lightens the middle tones (default: 1)."),
                    QStringLiteral("gamma"),
                    [](const QString& value, Settings& s, QString& canonical) -> Refusal {
                        bool ok = false;
                        const double gamma = value.toDouble(&ok);
                        if (!ok || !(gamma >= PictureSettings::MinGamma && gamma <= PictureSettings::MaxGamma)) {
                            return QStringLiteral("--gamma takes a number from 0.25 to 4, not '%1'.").arg(value);
                        }
                        s.pictures.gamma = gamma;
                        canonical = QString::number(gamma);
                        return std::nullopt;
                    }});
    rows.push_back({{QStringLiteral("auto-exposure")}, {},
                    QStringLiteral("Move both thresholds with the tones of each scene, smoothly from frame to frame, never "
                                   "narrower than the scene."),
                    QStringLiteral("auto-exposure"),
                    [](const QString&, Settings& s, QString& canonical) -> Refusal {
                        s.pictures.autoExposure = true;
                        canonical = QStringLiteral("yes");
                        return std::nullopt;
                    }});
    rows.push_back({{QStringLiteral("format")}, QStringLiteral("format"),
                    QStringLiteral("Stream format of the video data: %1 (default: written).").arg(formatList()),
                    QStringLiteral("format"),
                    [](const QString& value, Settings& s, QString& canonical) -> Refusal {
                        const Codec* codec = codecByKey(value.toLower().toStdString());
                        if (codec == nullptr) {
                            return QStringLiteral("--format takes %1, not '%2'.").arg(formatList(), value);
                        }
                        s.target.format = codec->format;
                        canonical = toQString(codec->key);
                        return std::nullopt;
                    }});
    rows.push_back({{QStringLiteral("compact")}, {}, QStringLiteral("Compact video: the same screens in about a third of the bytes (--format compact)."),
                    QStringLiteral("format"),
                    [](const QString&, Settings& s, QString& canonical) -> Refusal {
                        s.target.format = StreamFormat::Compact;
                        canonical = toQString(codecFor(StreamFormat::Compact).key);
                        return std::nullopt;
                    }});
    rows.push_back({{QStringLiteral("model")}, QStringLiteral("model"),
                    QStringLiteral("The calculator: %1 (default: ti83p). It decides what the archive holds. With --play, the "
                                   "calculator it plays on (default: the one the program was made for).")
                        .arg(modelList()),
                    QStringLiteral("model"),
                    [](const QString& value, Settings& s, QString& canonical) -> Refusal {
                        const std::optional<CalculatorModel> model = modelByKey(value.toLower().toStdString());
                        if (!model) {
                            return QStringLiteral("--model takes %1, not '%2'.").arg(modelList(), value);
                        }
                        s.target.model = *model;
                        canonical = toQString(modelFacts(*model).key);
                        return std::nullopt;
                    },
                    false, false});
    rows.push_back({{QStringLiteral("archive")}, {},
                    QStringLiteral("Store the video in the calculator's archive, in AppVars beside a small program, "
                                   "rather than in the program in RAM."),
                    QStringLiteral("storage"),
                    [](const QString&, Settings& s, QString& canonical) -> Refusal {
                        s.target.storage = Storage::Archive;
                        canonical = QStringLiteral("archive");
                        return std::nullopt;
                    }});
    rows.push_back({{QStringLiteral("free-archive")}, QStringLiteral("bytes"),
                    QStringLiteral("The free archive the calculator shows (MEM, 2:Mem Mgmt/Del), in bytes or with K: "
                                   "what the video may take instead of the empty archive (stores it there, as --archive); "
                                   "'calculator' reads it from a TI-84 Plus connected by USB."),
                    QStringLiteral("free-archive"),
                    [](const QString& value, Settings& s, QString& canonical) -> Refusal {
                        QString text = value.trimmed();
                        if (text.compare(QLatin1String("calculator"), Qt::CaseInsensitive) == 0) {
                            s.freeArchiveFromCalculator = true;
                            s.target.storage = Storage::Archive;
                            canonical = QStringLiteral("calculator");
                            return std::nullopt;
                        }
                        std::int64_t unit = 1;
                        if (text.endsWith(QLatin1Char('K'), Qt::CaseInsensitive)) {
                            text.chop(1);
                            unit = 1024;
                        }
                        bool ok = false;
                        const double number = text.toDouble(&ok);
                        if (!ok || !(number >= 0.0 && number * static_cast<double>(unit) <= 4.0 * 1024 * 1024)) {
                            return QStringLiteral("--free-archive takes bytes (150000) or kilobytes (150K), "
                                                  "at most 4 MB, or calculator, not '%1'.")
                                .arg(value);
                        }
                        s.target.freeArchiveBytes = static_cast<std::int64_t>(number * static_cast<double>(unit));
                        s.target.storage = Storage::Archive;
                        canonical = QString::number(*s.target.freeArchiveBytes);
                        return std::nullopt;
                    }});
    rows.push_back({{QStringLiteral("sound")}, {},
                    QStringLiteral("Play the video's sound through the link port (earphones on a 2.5 mm to 3.5 mm "
                                   "adapter): the frames folder's Sound.wav, which the import of a video keeps there. "
                                   "On the TI-83 Plus Silver Edition, TI-84 Plus and TI-84 Plus Silver Edition."),
                    QStringLiteral("sound"),
                    [](const QString&, Settings& s, QString& canonical) -> Refusal {
                        s.target.sound = true;
                        canonical = QStringLiteral("yes");
                        return std::nullopt;
                    }});
    rows.push_back({{QStringLiteral("no-sound")}, {}, QStringLiteral("The video without its sound (the default)."),
                    QStringLiteral("sound"),
                    [](const QString&, Settings& s, QString& canonical) -> Refusal {
                        s.target.sound = false;
                        canonical = QStringLiteral("no");
                        return std::nullopt;
                    }});
    rows.push_back({{QStringLiteral("rate")}, QStringLiteral("rate"),
                    QStringLiteral("Frames a second the video plays at, 0.5 to 30 (default: the rate the frames were "
                                   "imported at, else 14.75, the calculator's pace)."),
                    QStringLiteral("rate"),
                    [](const QString& value, Settings& s, QString& canonical) -> Refusal {
                        bool ok = false;
                        const double rate = value.toDouble(&ok);
                        if (!ok || !(rate >= MinFramesPerSecond && rate <= MaxFramesPerSecond)) {
                            return QStringLiteral("--rate takes frames a second from 0.5 to 30, not '%1'.").arg(value);
                        }
                        s.rate = rate;
                        canonical = QString::number(rate);
                        return std::nullopt;
                    }});
    rows.push_back({{QStringLiteral("preview")}, QStringLiteral("file.gif"),
                    QStringLiteral("Also write the program as the calculator plays it: an animated GIF with its frame "
                                   "times; a name ending in .wav gives its sound alone, .mp4, .mkv or .webm the video "
                                   "with its sound."),
                    QStringLiteral("preview"), textValue(&Settings::preview), false, false});
    rows.push_back({{QStringLiteral("preview-scale")}, QStringLiteral("1..10"),
                    QStringLiteral("Pixel size of the preview: 1 gives the exact 96x64 pixels in black and white "
                                   "(default: 3, in the LCD's colours)."),
                    QStringLiteral("preview-scale"), wholeNumber(QStringLiteral("preview-scale"), 1, 10, &Settings::previewScale),
                    false, false});
    rows.push_back({{QStringLiteral("play")}, QStringLiteral("program.8xp"),
                    QStringLiteral("Record an existing program with --preview instead of converting, on the calculator it was "
                                   "made for or --model."),
                    QStringLiteral("play"), textValue(&Settings::play), false, false});
    rows.push_back({{QStringLiteral("send")}, {},
                    QStringLiteral("After the conversion, send the program and its AppVars to the calculator connected "
                                   "by USB or a link cable."),
                    QStringLiteral("send"), flag(&Settings::send, true)});
    rows.push_back({{QStringLiteral("send-file")}, QStringLiteral("program.8xp"),
                    QStringLiteral("Send a program made earlier to the connected calculator instead of converting: its "
                                   ".8xp with the video's .8xv files beside it, or its .8xg. --model, --format and "
                                   "--rate say what it was made for."),
                    QStringLiteral("send-file"), textValue(&Settings::sendFile), false, false});
    rows.push_back({{QStringLiteral("replace")}, {},
                    QStringLiteral("Replace variables of the same names on the calculator when sending; without it "
                                   "such a sending is refused, naming them."),
                    QStringLiteral("replace"), flag(&Settings::replace, true), false, false});
    rows.push_back({{QStringLiteral("fps")}, QStringLiteral("rate"),
                    QStringLiteral("Frames a second taken from a video (default: --rate, else 14.75, the calculator's pace)."),
                    QStringLiteral("fps"),
                    [](const QString& value, Settings& s, QString& canonical) -> Refusal {
                        bool ok = false;
                        const double fps = value.toDouble(&ok);
                        if (!ok || !(fps > 0.0 && fps <= 1000.0)) {
                            return QStringLiteral("--fps takes frames a second, above 0 and at most 1000, not '%1'.").arg(value);
                        }
                        s.fps = fps;
                        canonical = QString::number(fps);
                        return std::nullopt;
                    },
                    true, true, true});
    for (const char* which : {"start", "end"}) {
        const QString option = QString::fromLatin1(which);
        const bool start = option == QLatin1String("start");
        rows.push_back({{option}, QStringLiteral("time"),
                        start ? QStringLiteral("Where in the video to begin, in seconds or m:ss (default: its beginning).")
                              : QStringLiteral("Where in the video to stop, in seconds or m:ss (default: its end)."),
                        option,
                        [option, start](const QString& value, Settings& s, QString& canonical) -> Refusal {
                            const std::optional<double> time = parseTime(value);
                            if (!time) {
                                return QStringLiteral("--%1 takes a time in seconds (12.5) or minutes and seconds "
                                                      "(1:30), not '%2'.")
                                    .arg(option, value);
                            }
                            (start ? s.start : s.end.emplace()) = *time;
                            canonical = QString::number(*time);
                            return std::nullopt;
                        },
                        true, true, true});
    }
    rows.push_back({{QStringLiteral("fit")}, QStringLiteral("mode"),
                    QStringLiteral("fit (the whole picture, white bars), fill (the middle, cut to 3:2) or stretch (default: fit)."),
                    QStringLiteral("fit"),
                    [](const QString& value, Settings& s, QString& canonical) -> Refusal {
                        const QStringList modes{QStringLiteral("fit"), QStringLiteral("fill"), QStringLiteral("stretch")};
                        const auto index = modes.indexOf(value.toLower());
                        if (index < 0) {
                            return QStringLiteral("--fit takes fit, fill or stretch, not '%1'.").arg(value);
                        }
                        s.fit = static_cast<int>(index);
                        canonical = modes[index];
                        return std::nullopt;
                    },
                    true, true, true});
    rows.push_back({{QStringLiteral("extract-to")}, QStringLiteral("folder"),
                    QStringLiteral("Write the video's frames into this new folder and stop there."),
                    QStringLiteral("extract-to"),
                    [](const QString& value, Settings& s, QString& canonical) -> Refusal {
                        const QFileInfo target(value);
                        if (target.exists() || target.isSymLink()) {
                            return QStringLiteral("'%1' exists already: --extract-to makes a new folder.").arg(target.filePath());
                        }
                        if (!QFileInfo(target.absolutePath()).isDir()) {
                            return QStringLiteral("'%1' is not a folder.").arg(QDir::toNativeSeparators(target.absolutePath()));
                        }
                        s.extractTo = QDir::cleanPath(target.absoluteFilePath());
                        canonical = s.extractTo;
                        return std::nullopt;
                    },
                    true, true, true});
    rows.push_back({{QStringLiteral("as-is")}, {},
                    QStringLiteral("Use a folder of pictures that are not 96x64 as they are: the top left of larger "
                                   "ones, smaller ones on the picture area's grey."),
                    QStringLiteral("as-is"), flag(&Settings::asIs, true), true, true, false});
    return rows;
}

bool available(const OptionRow& row)
{
#ifdef ZOETRA_VIDEO_IMPORT
    (void)row;
    return true;
#else
    return !row.importOnly;
#endif
}

// A path as one spelling for comparing: the file it names when it exists.
QString samePath(const QString& path)
{
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

// Whether the file lies in the folder and is named as a calculator file of
// the program name (the program, its AppVar or multi-variable files: the
// name, then anything, then an ending ".8x?", in any letter case).
bool isCalculatorFileOf(const QFileInfo& file, const QString& folder, const QString& programName)
{
    return samePath(file.absolutePath()) == samePath(folder) &&
           file.fileName().startsWith(programName, Qt::CaseInsensitive) &&
           file.suffix().startsWith(QLatin1String("8x"), Qt::CaseInsensitive);
}

// What the preview's file would overwrite of the run's own: the program
// played and the files of its video beside it, the source file, a picture
// of the source folder, or a file the conversion delivers (the program, its
// AppVar and multi-variable files) in the output folder.
std::optional<QString> previewOverwrites(const Settings& s, bool playing)
{
    const QString gif = samePath(s.preview);
    const QFileInfo target(gif);
    if (playing) {
        const QFileInfo played(s.play);
        return gif == samePath(s.play) || isCalculatorFileOf(target, played.absolutePath(), played.completeBaseName())
                   ? std::optional<QString>(s.preview)
                   : std::nullopt;
    }
    const QFileInfo source(s.source);
    if (source.isFile() && gif == samePath(s.source)) {
        return s.source;
    }
    if (source.isDir() && QFileInfo(s.preview).exists() && samePath(QFileInfo(gif).absolutePath()) == samePath(s.source)) {
        return s.preview;
    }
    if (isCalculatorFileOf(target, s.output, s.name)) {
        return s.preview;
    }
    return std::nullopt;
}

ParsedOptions refused(const QString& text)
{
    return {ParsedOptions::Action::Refused, {}, text};
}

// What the options say together: the source and output folders, the import,
// the preview and --play.
std::optional<QString> checkTogether(Settings& s, const std::set<QString>& given)
{
    const auto isSet = [&given](const char* setting) { return given.count(QString::fromLatin1(setting)) > 0; };
#ifdef ZOETRA_VIDEO_IMPORT
    // A file as the source is imported; a folder only when asked to.
    if (const QFileInfo file(s.source); file.exists() && !file.isDir()) {
        s.source = QDir::cleanPath(file.absoluteFilePath());
        s.import = true;
    }
#endif
    for (QString* folder : {&s.source, &s.output}) {
        if (s.import && folder == &s.source) {
            if (!QFileInfo::exists(*folder)) {
                return QStringLiteral("'%1' is neither a folder nor a file.").arg(*folder);
            }
            // A FIFO or a device could block or never end; refused unopened.
            if (const QFileInfo source(*folder); !source.isDir() && !source.isFile()) {
                return QStringLiteral("'%1' is neither a folder nor a regular file.").arg(*folder);
            }
            *folder = QDir::cleanPath(QFileInfo(*folder).absoluteFilePath());
            continue;
        }
        const QFileInfo info(*folder);
        if (!info.isDir()) {
#ifdef ZOETRA_VIDEO_IMPORT
            if (folder == &s.source) {
                return QStringLiteral("'%1' is neither a folder nor a file.").arg(*folder);
            }
#endif
            return QStringLiteral("'%1' is not a folder.").arg(*folder);
        }
        *folder = QDir::cleanPath(info.absoluteFilePath());
        // As the window's folder pickers refuse them.
        if (QDir(*folder).isRoot()) {
            return RootFolderRefusedMessage;
        }
    }
#ifdef ZOETRA_VIDEO_IMPORT
    if (s.asIs && s.import) {
        return QStringLiteral("--as-is keeps a folder's pictures as they are: it has no use with a file or with the "
                              "import's options.");
    }
    if (!s.import && !s.asIs) {
        // Pictures of another size would be cut at the top left or framed
        // in grey: they are scaled as the import scales them.
        QtFileSystem files;
        const QStringList frames = listFrameFolder(files, s.source).value_or(QStringList{});
        if (firstFrameNeedsScaling(s.source, frames)) {
            s.import = true;
            s.scaledFrom = firstFrameSize(s.source, frames).value_or(QSize());
        }
    }
#endif

    const bool sendsFile = isSet("send-file");
    if ((sendsFile || isSet("send") || s.freeArchiveFromCalculator) && !sendingAvailable()) {
        return QStringLiteral("this build cannot talk to a calculator (it needs libticalcs2, libticables2 and "
                              "libtifiles2).");
    }
    if (sendsFile) {
        for (const char* other : {"play", "preview", "preview-scale", "send"}) {
            if (isSet(other)) {
                return QStringLiteral("--send-file sends files made earlier: --%1 has no use with it.")
                    .arg(QLatin1String(other));
            }
        }
        // What the video was made for may be told; nothing else of a
        // conversion.
        const QStringList madeFor{QStringLiteral("format"), QStringLiteral("compact"), QStringLiteral("rate")};
        for (const OptionRow& row : optionTable()) {
            if (row.converts && available(row) && given.count(row.names.last()) > 0 && !madeFor.contains(row.names.last())) {
                return QStringLiteral("--send-file sends files made earlier and converts nothing: --%1 has no use with it.")
                    .arg(row.names.last());
            }
        }
        if (!QFileInfo(s.sendFile).isFile()) {
            return QStringLiteral("'%1' is not a file.").arg(s.sendFile);
        }
        s.sendFile = QFileInfo(s.sendFile).absoluteFilePath();
    }
    if (s.target.sound && !sendsFile && s.play.isEmpty()) {
        if (const QString problem = soundTargetProblem(s.target); !problem.isEmpty()) {
            return QStringLiteral("--sound: %1").arg(problem);
        }
    }
    if (isSet("replace") && !isSet("send") && !sendsFile) {
        return QStringLiteral("--replace says what a sending may do: it needs --send or --send-file.");
    }

    if (isSet("extract-to")) {
        // It stops once the frames are kept: nothing is built to preview or
        // send.
        for (const char* other : {"preview", "preview-scale", "send"}) {
            if (isSet(other)) {
                return QStringLiteral("--extract-to keeps the frames and builds nothing: --%1 has no use with it.")
                    .arg(QLatin1String(other));
            }
        }
    }

    const bool preview = isSet("preview");
    if (preview || isSet("preview-scale") || isSet("play")) {
        if (!previewAvailable()) {
            return QStringLiteral("this build has no calculator preview (it needs libz80ex and FFmpeg).");
        }
        if (!preview) {
            return QStringLiteral("--%1 needs --preview FILE.gif.")
                .arg(isSet("play") ? QStringLiteral("play") : QStringLiteral("preview-scale"));
        }
    }
    if (preview) {
        const QFileInfo gif(s.preview);
        if (gif.fileName().isEmpty() || !gif.absoluteDir().exists()) {
            return QStringLiteral("--preview needs a file in an existing folder, not '%1'.").arg(s.preview);
        }
        s.preview = gif.absoluteFilePath();
        if (gif.exists() && !gif.isFile()) {
            return QStringLiteral("--preview needs a regular file or a new name, not '%1'.").arg(s.preview);
        }
        if (const std::optional<QString> input = previewOverwrites(s, given.count(QStringLiteral("play")) > 0)) {
            return QStringLiteral("--preview would overwrite '%1', which the run reads or writes; name another file.")
                .arg(*input);
        }
    }
    if (isSet("play")) {
        const QFileInfo program(s.play);
        if (!program.isFile()) {
            return QStringLiteral("'%1' is not a file.").arg(s.play);
        }
        for (const OptionRow& row : optionTable()) {
            if (row.converts && available(row) && given.count(row.names.last()) > 0) {
                return QStringLiteral("--play records an existing program and converts nothing: --%1 has no use with it.")
                    .arg(row.names.last());
            }
        }
        s.play = program.absoluteFilePath();
    }
    return std::nullopt;
}

}  // namespace

const std::vector<OptionRow>& optionTable()
{
    static const std::vector<OptionRow> table = makeTable();
    return table;
}

std::optional<double> parseTime(const QString& text)
{
    return parseSeconds(text);
}

ParsedOptions parseOptions(const QStringList& arguments, const QString& sampleDir)
{
    QCommandLineParser parser;
    QString description = QStringLiteral(
        "Converts a folder of frames (GIF, JPEG, BMP, PNG, in name order) into a TI-83 Plus video program.\n"
        "Without --source it converts the sample animation of the application folder.");
#ifdef ZOETRA_VIDEO_IMPORT
    description += QStringLiteral(
        "\nA video file, an animated GIF, APNG or WebP, or a picture as --source is first turned into\n"
        "96x64 frames (in a temporary folder, removed afterwards); so is a folder whose first picture is\n"
        "not 96x64 (unless --as-is), and any folder when one of --fps, --start, --end, --fit or\n"
        "--extract-to is given.");
#endif
    parser.setApplicationDescription(description);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Shows this help."));
    const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("Shows the version."));
    parser.addOption(help);
    parser.addOption(version);
    for (const OptionRow& row : optionTable()) {
        if (available(row)) {
            parser.addOption(row.valueName.isEmpty() ? QCommandLineOption(row.names, row.help)
                                                     : QCommandLineOption(row.names, row.help, row.valueName));
        }
    }

    if (!parser.parse(arguments)) {
        return refused(parser.errorText());
    }
    if (parser.isSet(help)) {
        return {ParsedOptions::Action::Help, {}, parser.helpText()};
    }
    if (parser.isSet(version)) {
        return {ParsedOptions::Action::Version, {}, QStringLiteral("Zoetra2 2.00")};
    }
    if (!parser.positionalArguments().isEmpty()) {
        return refused(QStringLiteral("unexpected argument '%1'.").arg(parser.positionalArguments().first()));
    }

    ParsedOptions parsed;
    Settings& s = parsed.settings;
    s.source = sampleDir;
    s.output = QDir::currentPath();

    // Each option in the order given; what an earlier one set, a later one
    // of the same setting must repeat.
    struct Given {
        QString option;  // as written, with its value
        QString canonical;
    };
    std::map<QString, Given> bySetting;
    std::set<QString> givenOptions;  // long names
    std::map<const OptionRow*, qsizetype> occurrences;
    for (const QString& name : parser.optionNames()) {
        const OptionRow* row = nullptr;
        for (const OptionRow& candidate : optionTable()) {
            if (available(candidate) && candidate.names.contains(name)) {
                row = &candidate;
            }
        }
        if (row == nullptr) {
            continue;  // help and version are handled above
        }
        const qsizetype occurrence = occurrences[row]++;
        const QStringList values = parser.values(row->names.last());
        const QString value = row->valueName.isEmpty() ? QString() : values.value(occurrence);
        QString canonical;
        if (const Refusal refusal = row->apply(value, s, canonical)) {
            return refused(*refusal);
        }
        const QString written = QStringLiteral("--") + row->names.last() +
                                (row->valueName.isEmpty() ? QString() : QLatin1Char(' ') + value);
        const auto earlier = bySetting.find(row->sets);
        if (earlier != bySetting.end() && earlier->second.canonical != canonical) {
            return refused(QStringLiteral("%1 and %2 disagree: give one of them.").arg(earlier->second.option, written));
        }
        bySetting[row->sets] = {written, canonical};
        s.givenAs[row->sets].append(written);
        givenOptions.insert(row->names.last());
        if (!s.given.contains(row->sets)) {
            s.given.append(row->sets);
        }
        s.import = s.import || row->imports;
    }
    // A pattern takes the thresholds as its black and white point: unless
    // given, the full range, which draws every tone.
    if (s.pictures.pattern != Pattern::Checkerboard) {
        if (!s.given.contains(QStringLiteral("black"))) {
            s.black = 0;
        }
        if (!s.given.contains(QStringLiteral("white"))) {
            s.white = 255;
        }
    }
    if (const auto refusal = checkTogether(s, givenOptions)) {
        return refused(*refusal);
    }
    return parsed;
}

}  // namespace zoetra::cli
