#pragma once

#include "shared/PictureSettings.h"
#include "shared/VideoTarget.h"

#include <QMap>
#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

namespace zoetra::cli {

// Everything the headless converter is told.
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
    PictureSettings pictures;  // the pattern, the gamma, auto exposure
    VideoTarget target;
    QString preview;  // the GIF to write, if any
    int previewScale = 3;
    QString play;  // an existing program to record instead of converting

    // Sending to the connected calculator: what the conversion delivers
    // (--send), or a program made earlier with its video's files
    // (--send-file); variables of the same names are replaced only with
    // --replace.
    bool send = false;
    QString sendFile;
    bool replace = false;
    // --free-archive calculator: the free archive is read from it.
    bool freeArchiveFromCalculator = false;

    // A video, an animated picture or pictures of any size, imported first.
    bool import = false;
    double fps = WrittenFramesPerSecond;
    // The rate the video plays at, when given (--rate).
    std::optional<double> rate;
    double start = 0.0;
    std::optional<double> end;
    int fit = 0;  // fit, fill, stretch
    QString extractTo;  // keep the frames there and stop
    bool asIs = false;  // a folder of pictures of another size, not scaled
    QSize scaledFrom;   // the first picture of a folder imported for its size

    // What the options given set (OptionRow::sets): those win over what
    // --auto proposes.
    QStringList given;
    // Each of them as written, by what it sets ("format": "--compact"):
    // advice that changes a setting names the options it replaces.
    QMap<QString, QStringList> givenAs;
};

// One headless option: its names, its value, its help and what it sets.
struct OptionRow {
    QStringList names;   // the short name first, where it has one
    QString valueName;   // empty: the option takes no value
    QString help;
    // What the option sets. Options that set the same thing and are given
    // together must agree.
    QString sets;
    // Sets it from the value; the refusal's text, or nothing. `canonical`
    // receives the value in one spelling, to compare options that set the
    // same thing.
    std::function<std::optional<QString>(const QString& value, Settings& settings, QString& canonical)> apply;
    // Only where the video import is built.
    bool importOnly = false;
    // Part of a conversion: no use with --play.
    bool converts = true;
    // Asks for the import of a folder of pictures.
    bool imports = false;
};

// The table of every option, in the order --help lists them.
const std::vector<OptionRow>& optionTable();

// Seconds as "12.5", "1:30" or "1:02:03.5"; nothing when it is none of these.
std::optional<double> parseTime(const QString& text);

// What the parse of a command line came to.
struct ParsedOptions {
    enum class Action { Convert, Help, Version, Refused };
    Action action = Action::Convert;
    Settings settings;
    QString text;  // the help, or the refusal
};

// Parses the arguments (the program's name first) against the table, then
// checks what the options say together. `sampleDir` is the source without
// --source.
ParsedOptions parseOptions(const QStringList& arguments, const QString& sampleDir);

}  // namespace zoetra::cli
