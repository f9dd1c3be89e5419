// The lines the window tells of the target and of a delivery: the numbers
// in them are worked out by hand from the models' archives and timers.
#include "convert/TargetTexts.h"

#include <gtest/gtest.h>

namespace zoetra {
namespace {

VideoTarget inArchive(CalculatorModel model, std::optional<std::int64_t> freeBytes = std::nullopt)
{
    VideoTarget target;
    target.model = model;
    target.storage = Storage::Archive;
    target.freeArchiveBytes = freeBytes;
    return target;
}

TEST(TargetTextsTest, TheLimitIsWhatTheStorageHolds)
{
    // RAM holds the same on every model; a free archive given is no matter
    // there.
    VideoTarget ram;
    EXPECT_EQ(videoLimitText(ram), QStringLiteral("The video data may take 24,000 bytes in RAM."));
    ram.model = CalculatorModel::Ti84PlusSe;
    ram.freeArchiveBytes = 100000;
    EXPECT_EQ(videoLimitText(ram), QStringLiteral("The video data may take 24,000 bytes in RAM."));
    // The dense player takes more of the RAM; in the archive it is no matter.
    ram.format = StreamFormat::Dense;
    EXPECT_EQ(videoLimitText(ram), QStringLiteral("The video data may take 14,682 bytes in RAM."));
    VideoTarget denseArchive = inArchive(CalculatorModel::Ti83Plus);
    denseArchive.format = StreamFormat::Dense;
    EXPECT_EQ(videoLimitText(denseArchive), QStringLiteral("The model's empty archive holds 163,519 bytes of video data."));

    // The empty archives: 14, 34 and 98 pages less a sector, four AppVars
    // a sector and two in the half sector left, 16,352 stream bytes each,
    // less the video's end.
    EXPECT_EQ(videoLimitText(inArchive(CalculatorModel::Ti83Plus)),
              QStringLiteral("The model's empty archive holds 163,519 bytes of video data."));
    EXPECT_EQ(videoLimitText(inArchive(CalculatorModel::Ti84Plus)),
              QStringLiteral("The model's empty archive holds 490,559 bytes of video data."));
    EXPECT_EQ(videoLimitText(inArchive(CalculatorModel::Ti83PlusSe)),
              QStringLiteral("The model's empty archive holds 1,537,087 bytes of video data."));
    EXPECT_EQ(videoLimitText(inArchive(CalculatorModel::Ti84PlusSe)),
              QStringLiteral("The model's empty archive holds 1,537,087 bytes of video data."));

    // A free archive given: a sector and a half hold six AppVars; less
    // than an AppVar holds nothing.
    EXPECT_EQ(videoLimitText(inArchive(CalculatorModel::Ti84Plus, 100000)),
              QStringLiteral("100,000 bytes of free archive hold 98,111 bytes of video data."));
    EXPECT_EQ(videoLimitText(inArchive(CalculatorModel::Ti83Plus, 10000)),
              QStringLiteral("10,000 bytes of free archive hold 0 bytes of video data."));
}

TEST(TargetTextsTest, ThePaceIsWhatTheModelsTimerKeeps)
{
    // The written pace: 118 Hz / 8 ticks.
    EXPECT_EQ(paceText(VideoTarget{}),
              QStringLiteral("Plays at 14.75 frames a second: a frame every 8 timer ticks."));
    // A rate of its own is kept by deadlines: 11.8 ticks, 11 and 12 in turn.
    VideoTarget ten;
    ten.framesPerSecond = 10.0;
    EXPECT_EQ(paceText(ten), QStringLiteral("Plays at 10 frames a second: a frame every 11.8 timer ticks."));
    // The TI-84 Plus's timer runs at 32768 / 304 Hz: 7.308 ticks a frame.
    VideoTarget written84;
    written84.model = CalculatorModel::Ti84Plus;
    EXPECT_EQ(paceText(written84),
              QStringLiteral("Plays at 14.75 frames a second: a frame every 7.308 timer ticks."));
}

TEST(TargetTextsTest, DeliveredFilesByNameWithLongRunsShortened)
{
    EXPECT_EQ(deliveredFilesText({}), QString());
    EXPECT_EQ(deliveredFilesText({QStringLiteral("/out/video.8xp")}), QStringLiteral("Delivered: video.8xp"));
    // Two AppVars are named each.
    EXPECT_EQ(deliveredFilesText({QStringLiteral("/out/video.8xp"), QStringLiteral("/out/video00.8xv"),
                                  QStringLiteral("/out/video01.8xv"), QStringLiteral("/out/video.8xg")}),
              QStringLiteral("Delivered: video.8xp, video00.8xv, video01.8xv, video.8xg"));
    // Ten AppVars and three multi-variable files: first and last of each,
    // in any letter case of the extension.
    QStringList paths{QStringLiteral("/out/video.8xp")};
    for (int i = 0; i < 10; ++i) {
        paths.append(QStringLiteral("/out/video%1.%2").arg(i, 2, 10, QLatin1Char('0')).arg(i == 9 ? "8XV" : "8xv"));
    }
    paths += {QStringLiteral("/out/video.8xg"), QStringLiteral("/out/video-2.8xg"), QStringLiteral("/out/video-3.8xg")};
    EXPECT_EQ(deliveredFilesText(paths),
              QStringLiteral("Delivered: video.8xp, video00.8xv \u2026 video09.8XV (10 files), "
                             "video.8xg \u2026 video-3.8xg (3 files)"));
}

}  // namespace
}  // namespace zoetra
