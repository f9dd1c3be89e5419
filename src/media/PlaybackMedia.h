#pragma once

#include "calc/Recording.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zoetra::media {

// What a preview file holds, by its name's ending: the video with its sound
// (.mp4, .mkv, .webm), the sound alone (.wav), else an animated GIF, which
// is silent.
enum class PreviewKind { Gif, Sound, Video };
PreviewKind previewKind(const std::string& path);

// The sound is made at this rate where the encoder takes it (Opus takes
// only 48 kHz).
inline constexpr int SoundSampleRate = 44'100;

// The recording's sound (its link port's lines, as zoetra::LineSound hears
// them) from its first frame to its end, at `sampleRate`.
std::vector<float> recordingSound(const calc::Recording& recording, int sampleRate);

// Writes the recording's sound alone through FFmpeg, in the format the
// name's ending selects (16-bit mono PCM in a .wav), or the recording as a
// video with its sound: the frames at their times (to the millisecond),
// each pixel a square of `scale` in the LCD's colours (1: exact black and
// white), in the container's usual codecs (H.264 and AAC in .mp4, H.264 and
// Vorbis in .mkv, VP9 and Opus in .webm). The sound starts with the first
// frame, as the GIF's pictures do. Empty on success, else why not (a partly
// written file is removed); a file that grows past `sizeLimit` bytes is
// stopped and removed. `named`, when given, is the name whose ending
// chooses the format (a file written under a temporary name).
inline constexpr std::int64_t MediaSizeLimit = 200LL * 1024 * 1024;
std::string writePlaybackSound(const std::string& path, const calc::Recording& recording, const std::string& named = {},
                               std::int64_t sizeLimit = MediaSizeLimit);
std::string writePlaybackVideo(const std::string& path, const calc::Recording& recording, int scale,
                               const std::string& named = {}, std::int64_t sizeLimit = MediaSizeLimit);

}  // namespace zoetra::media
