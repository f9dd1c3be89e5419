#pragma once

#include <string_view>

namespace zoetra {

// The sound of a folder of frames, kept beside them by the import that made
// them, as the frames' rate is: one channel of 16-bit samples in a WAVE
// file, as long as the frames last from the first frame's time. A folder
// without it has no sound.
inline constexpr std::string_view FolderSoundFileName = "Sound.wav";

}  // namespace zoetra
