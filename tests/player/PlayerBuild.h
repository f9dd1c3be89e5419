#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace playertest {

// A temporary application folder holding the assembler, the packager and the
// player source, as the converter finds them in its own folder.
class AppFolder {
public:
    AppFolder();
    bool isValid() const { return valid_; }
    QString path() const { return dir_.path(); }
    QString filePath(const QString& name) const { return dir_.filePath(name); }
    void write(const QString& name, const QByteArray& bytes) const;
    QByteArray read(const QString& name) const;

private:
    QTemporaryDir dir_;
    bool valid_ = false;
};

struct PlayerInputs {
    QByteArray varFile = "\r\n#define NOSHELL\r\n";
    QByteArray description = ".db \"My First Video\",0\r\n";
    QByteArray videoData;
    // "Target.inc"; empty: the written pace, with the format VarFile.var names.
    QByteArray targetInclude;
};

struct BuildResult {
    std::optional<std::vector<std::uint8_t>> programFile;  // the .8xp, when built
    QByteArray output;                                     // what the tools printed
};

// Writes the input files (and "Target.inc") and runs "TASM -80 -i -b VID.z80 NAME.bin" and
// "DEVPAC8X NAME" in the folder, as the batch does.
BuildResult buildPlayer(const AppFolder& folder, const PlayerInputs& inputs, const QString& name = "Video");

// The address of each label of the last build in the folder, upper case
// (TASM -l over VID.z80).
std::map<std::string, std::uint16_t> listedLabels(const AppFolder& folder);

// VarFile.var for a shell word ("" for none), looping and the compact
// stream.
QByteArray varFileText(const QByteArray& shellWord, bool looping, bool compact = false);

// The halts after the screen copy at the written pace (FRAME_HALTS).
int frameHaltsInSource();

}  // namespace playertest
