#pragma once

#include "shared/VideoTarget.h"

#include <QString>
#include <QStringList>

namespace zoetra {

// What the window tells of the target and of a run's delivery, in lines of
// their own beside the model's choice: they do not name the model.

// The rate the player keeps on the target's model:
// "Plays at 14.75 frames a second: a frame every 8 timer ticks."
QString paceText(const VideoTarget& target);

// What the video data may take on the target (videoSizeLimit):
// "The video data may take 24,000 bytes in RAM."
// "The model's empty archive holds 163,519 bytes of video data."
// "100,000 bytes of free archive hold 98,111 bytes of video data."
QString videoLimitText(const VideoTarget& target);

// The delivered files by name, in their order: "Delivered: video.8xp,
// video00.8xv ... video09.8xv (10 files), video.8xg, video-2.8xg". Three or
// more neighbours of one kind (the same extension) are told as the first
// and the last of them. Nothing for no files.
QString deliveredFilesText(const QStringList& paths);

}  // namespace zoetra
