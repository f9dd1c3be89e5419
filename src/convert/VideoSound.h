#pragma once

#include "codec/sound/SoundFormat.h"
#include "shared/VideoTarget.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace zoetra {

// A video's sound in a conversion (VideoTarget::sound): the room the
// archive leaves it beside the video, its level, its samples as long as
// the video, and what the closing report says of it.

// Where the sound of a conversion comes from: the frames folder's, one
// channel at sound::InputRate; nothing, with the reason in `why`, when
// there is none. The window and the headless converter read it through the
// media library.
using SoundSource = std::function<std::optional<std::vector<float>>(QString& why)>;

// The message for a target with sound that its model cannot play.
QString soundModelProblem(const VideoTarget& target);
// The message for a target with sound that cannot play it (its model's);
// empty when it can.
QString soundTargetProblem(const VideoTarget& target);

// What the sound's part of the player takes of the program beyond the
// player without it (its code, its tables at the largest, the ring and the
// alignments before them, at their worst): a video in RAM leaves it that
// much.
inline constexpr int SoundPlayerExtraBytes = 3'840;

// The bytes of sound stream the archive (the free archive given, else the
// model's when empty) holds beside a video stream of `videoBytes`, in
// AppVars named after the program; in RAM, what the program has left.
std::int64_t soundRoomBytes(const VideoTarget& target, int programNameLength, std::size_t videoBytes);

// The samples the sound of a video of `frames` at the target's rate takes
// at sound::InputRate: the sound is cut there, or silence follows.
std::int64_t videoSoundSamples(const VideoTarget& target, int frames);

// The stream bytes a video of `frames` with its sound may take in the
// archive: the AppVars that fit, less those of the sound at its lowest
// level (which goes up as far as the room the video leaves), less a byte
// for the video's end.
int videoLimitWithSound(const VideoTarget& target, int programNameLength, int frames);

// "Sound: 5,461 samples a second, 2-bit codes, 298,715 bytes in 19 AppVars."
// (in the archive) or "... bytes in the program." (in RAM).
QString soundReport(const sound::SoundLevel& level, std::size_t streamBytes, Storage storage = Storage::Archive);

}  // namespace zoetra
