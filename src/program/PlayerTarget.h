#pragma once

#include "shared/VideoTarget.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <span>
#include <string_view>

namespace zoetra {

class StreamEncoder;
struct Codec;

// Where the stream lies, as the player reads it: one part of the player per
// storage.
struct StorageKind {
    Storage storage;
    std::string_view key;         // its name on the command line
    std::string_view caption;     // its name in the window
    std::string_view playerPart;  // the player's include that holds or finds the stream
};

const StorageKind& storageKind(Storage storage);
std::span<const StorageKind> allStorageKinds();

// The generated include every build writes beside "VarFile.var".
inline constexpr std::string_view TargetIncludeName = "Target.inc";
// The player's main part, the one the assembler is given.
inline constexpr std::string_view PlayerMainPart = "VID.z80";

// "Target.inc": the target's facts as the player's equates (the CPU clock,
// the timer's rate, the ticks a frame takes), then the includes of the
// stream format's decoder and of the storage's part.
QByteArray TargetIncludeText(const VideoTarget& target);

// The T-states the player in the archive takes at most to copy a frame of
// the format across a page's or an AppVar's end before decoding it.
int archiveWindowTStates(StreamFormat format);

// The T-states the player may take to decode a frame of the target: the
// timer ticks from frame to frame (the fewer, where they alternate) at the
// model's slowest speed, less the screen copy, the OS's interrupt handler
// at every tick and, in the archive, a frame copied across a page's or an
// AppVar's end.
int frameBudgetTStates(const VideoTarget& target);

// A new encoder of the target's stream format, made for the target: its
// frame budget and, where the format keeps the player's time itself, the
// target.
std::unique_ptr<StreamEncoder> encoderFor(const VideoTarget& target);

// A video target resolved once, at the start of a run: its stream format's
// codec, its storage's part and what follows from them, handed on to the
// encoder, the player's configuration and the build, instead of each of
// them looking the target up again.
struct ResolvedTarget {
    VideoTarget target;
    const Codec* codec = nullptr;          // the stream format's
    const StorageKind* storage = nullptr;  // where the stream lies
    int frameBudget = 0;                   // frameBudgetTStates
    int sizeLimit = 0;                     // videoSizeLimit (ArchiveVideo.h)
    QStringList playerParts;               // playerParts
    QByteArray targetInclude;              // TargetIncludeText

    // A new encoder of the format, made for the target (encoderFor).
    std::unique_ptr<StreamEncoder> makeEncoder() const;
};
ResolvedTarget resolveTarget(const VideoTarget& target);

// The encoder of what a conversion to the target delivers: for the dense
// stream, the dense stream or the compact one of the same screens where
// dense would take more bytes or fall behind the pace (a looping video's
// over its rounds as well: `looping`); else the format's own encoder.
std::unique_ptr<StreamEncoder> deliveryEncoder(const ResolvedTarget& resolved, bool looping);
// The target resolved for the stream that `encoder` (deliveryEncoder's)
// delivers: a dense target's may go out compact.
ResolvedTarget deliveredTarget(const ResolvedTarget& resolved, const StreamEncoder& encoder);
// A line for the closing report where the stream that goes out is not the
// one chosen, saying why; else nothing.
QString deliveryText(const StreamEncoder& encoder, const VideoTarget& target);

// The player's source parts a build of the target needs, the main part
// first.
QStringList playerParts(const VideoTarget& target);
// Every part of every target, for copying and installing.
QStringList allPlayerParts();

}  // namespace zoetra
