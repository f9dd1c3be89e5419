// "What fits" against the conversion run itself: the same frames, colour
// settings and quality give the run's size, or stop at the run's frame.
#include "convert/ConversionRun.h"
#include "convert/FitAdvice.h"
#include "convert/VideoSound.h"
#include "convert/WhatFits.h"
#include "imaging/FrameSelection.h"
#include "program/ArchiveVideo.h"
#include "support/ConvertFixture.h"
#include "support/TestSupport.h"

#include <QDir>

#include <cmath>
#include <random>

namespace zoetra::test {
namespace {

class WhatFitsTest : public ConvertFixture {
protected:
    WhatFitsTest()
    {
        run.buildOptions.timeoutMs = 500;
        run.buildOptions.cycleMs = 1;
        toolsWrite(QStringLiteral("Video.8xp"));
        vars.BlackThreshold = 85;
        vars.WhiteThreshold = 170;
        vars.DitherOn = true;
        vars.ColourChannel = 1;
        vars.LastDir = source.path();
    }

    // Frames of grey noise, a few of them, whose changes cost some bytes each.
    void writeFrames(int count, int changedRows)
    {
        std::mt19937 noise(7);
        QImage frame(96, 64, QImage::Format_RGB32);
        frame.fill(qRgb(255, 255, 255));
        for (int f = 0; f < count; ++f) {
            for (int y = 0; y < changedRows; ++y) {
                for (int x = 0; x < 96; ++x) {
                    const int grey = static_cast<int>(noise() % 256);
                    frame.setPixel(x, (y + 3 * f) % 64, qRgb(grey, grey, grey));
                }
            }
            const QString name = QStringLiteral("frame%1.bmp").arg(f, 3, 10, QLatin1Char('0'));
            ASSERT_TRUE(frame.save(QDir(source.path()).filePath(name)));
            window.frames.append(name);
        }
        window.onFrameSelected = [this](int index) {
            return loadAndConvertFrame(vars, pictures, joinPath(vars.LastDir, window.frames.at(index)),
                                window.filePreviewArea, window.quickPrevArea);
        };
    }

    WhatFits estimate()
    {
        return estimateWhatFits(vars, {window.detailSlider, window.target}, pictures, source.path(), window.frames);
    }

    QTemporaryDir source;
    ConversionRun run{vars, platform};
};

TEST_F(WhatFitsTest, AllFitAndTheSizeIsTheRunsAtEveryQuality)
{
    writeFrames(30, 4);
    for (int slider : {0, -5}) {
        window.detailSlider = slider;
        const WhatFits fits = estimate();
        EXPECT_EQ(fits.frames, 30);
        EXPECT_TRUE(fits.all());
        // A fresh random sequence, as a program that starts now has.
        random = UniformRandom();
        const RunOutcome outcome = run.RunConversion();
        ASSERT_EQ(outcome.status, RunOutcome::Status::Delivered);
        EXPECT_EQ(fits.bytes, outcome.size) << slider;
        EXPECT_NEAR(fits.seconds(), 30 / 14.75, 1e-9);
    }
}

TEST_F(WhatFitsTest, StopsAtTheFrameThatTheRunStopsAt)
{
    writeFrames(60, 64);  // every frame new: about 2 KB each
    const WhatFits fits = estimate();
    EXPECT_FALSE(fits.all());
    EXPECT_GT(fits.fitting, 3);
    EXPECT_LE(fits.bytes, 24000);
    EXPECT_EQ(whatFitsText(fits),
              QStringLiteral("The 24000 bytes hold %1 of the 60 frames: %2 seconds on the calculator.")
                  .arg(fits.fitting)
                  .arg(QString::number(fits.fitting / 14.75, 'f', 1)));

    const RunOutcome outcome = run.RunConversion();
    ASSERT_EQ(outcome.status, RunOutcome::Status::TooLarge);
    // The run stops on the first frame that does not fit.
    EXPECT_EQ(window.progress(ProgressBar::TotalProgress).value(), fits.fitting);
}

TEST_F(WhatFitsTest, CompactVideoCountsTheCompactStream)
{
    writeFrames(60, 64);
    const WhatFits written = estimate();
    window.target.format = StreamFormat::Compact;
    const WhatFits fits = estimate();
    EXPECT_EQ(fits.target.format, StreamFormat::Compact);
    EXPECT_GT(fits.fitting, written.fitting);
    EXPECT_TRUE(whatFitsText(fits).endsWith(QLatin1String("seconds on the calculator, as compact video.")))
        << whatFitsText(fits).toStdString();
    const RunOutcome outcome = run.RunConversion();
    if (fits.all()) {
        ASSERT_EQ(outcome.status, RunOutcome::Status::Delivered);
        EXPECT_EQ(fits.bytes, outcome.size);
    } else {
        ASSERT_EQ(outcome.status, RunOutcome::Status::TooLarge);
        EXPECT_EQ(window.progress(ProgressBar::TotalProgress).value(), fits.fitting);
    }
}

TEST_F(WhatFitsTest, ColourSettingsChangeWhatFits)
{
    writeFrames(60, 64);
    const int dithered = estimate().fitting;
    vars.DitherOn = false;
    vars.BlackThreshold = 0;  // everything white: every frame the same
    vars.WhiteThreshold = 0;
    const WhatFits plain = estimate();
    EXPECT_TRUE(plain.all());
    EXPECT_EQ(plain.bytes, 768 + 59);
    EXPECT_LT(dithered, plain.fitting);
    EXPECT_EQ(whatFitsText(plain),
              QStringLiteral("All 60 frames fit into the 24000 bytes (827 bytes): 4.1 seconds on the calculator."));
    EXPECT_EQ(estimateWhatFits(vars, {}, pictures, source.path(), {}).frames, 0);
}

// Not all frames fit: the run's message leads with what makes them fit, as
// the search over the same frames finds it, then tells what the choices
// made hold; the headless converter words the advice its own way.
TEST_F(WhatFitsTest, TheSizeLimitsMessageLeadsWithTheAdvice)
{
    writeFrames(40, 64);
    const WhatFits written = estimate();
    ASSERT_FALSE(written.all());
    const FitAdvice advice = adviseFit({window.target, {}, VideoSpan{2.0, 10.0}, {}},
                                       shownScreens(vars, window.detailSlider, pictures, source.path(), window.frames));
    EXPECT_EQ(advice.chosen.fitting, written.fitting);
    EXPECT_EQ(advice.chosen.bytes, written.bytes);
    ASSERT_TRUE(advice.proposal);

    run.videoSource = VideoSpan{2.0, 10.0};
    const RunOutcome outcome = run.RunConversion();
    ASSERT_EQ(outcome.status, RunOutcome::Status::TooLarge);
    QStringList expected = adviceWords(advice, window.fileName);
    expected.insert(1, whatFitsText(written));
    expected.prepend(ConversionRun::TooLargeMessage);
    EXPECT_EQ(window.messages.back().text.split(QStringLiteral("\r\n")), expected);
    ASSERT_TRUE(outcome.advice && outcome.advice->proposal);
    EXPECT_EQ(outcome.advice->proposal->target, advice.proposal->target);

    run.adviceLines = [](const FitAdvice& found) {
        return QStringList{QStringLiteral("Add --format %1").arg(static_cast<int>(found.proposal->target.format))};
    };
    ASSERT_EQ(run.RunConversion().status, RunOutcome::Status::TooLarge);
    const QStringList lines = window.messages.back().text.split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[1], QStringLiteral("Add --format %1").arg(static_cast<int>(advice.proposal->target.format)));
    EXPECT_EQ(lines[2], whatFitsText(written));
}

// The end takes exactly the frames that fit, also where a tenth would round
// up into the next frame.
TEST(EndThatFits, TakesNoFrameTooMany)
{
    for (const double rate : {14.75, 10.0, 30.0, 0.5}) {
        for (const double start : {0.0, 1.25, 61.0}) {
            for (const int fitting : {1, 7, 40, 333}) {
                const double end = endThatFits({start, rate}, fitting);
                // The frames the import takes: start + k / rate before the end.
                int taken = 0;
                while (start + taken / rate < end - 1e-9) {
                    ++taken;
                }
                EXPECT_LE(taken, fitting) << rate << " " << start << " " << fitting;
                EXPECT_GE(taken, fitting - std::max(1, static_cast<int>(std::ceil(rate / 10.0)))) << rate;
                EXPECT_DOUBLE_EQ(end * 10.0, std::round(end * 10.0));
            }
        }
    }
}

TEST(WhatFitsTextTest, AVideoAtARateOfItsOwnSaysItsRate)
{
    WhatFits fits;
    fits.frames = 60;
    fits.fitting = 60;
    fits.bytes = 900;
    fits.limit = 24000;
    fits.target.framesPerSecond = 10.0;
    EXPECT_EQ(whatFitsText(fits),
              QStringLiteral("All 60 frames fit into the 24000 bytes (900 bytes): 6.0 seconds on the calculator at 10 frames a second."));
    fits.target.framesPerSecond = WrittenFramesPerSecond;
    fits.target.model = CalculatorModel::Ti84Plus;
    EXPECT_TRUE(whatFitsText(fits).endsWith(QLatin1String("4.1 seconds on the calculator at 14.75 frames a second.")))
        << whatFitsText(fits).toStdString();
}

}  // namespace
}  // namespace zoetra::test

namespace zoetra {
namespace {

// With its sound a video leaves room for the sound at its lowest level,
// whatever the program's name: the video at its limit and that sound
// together take no more AppVars than the archive holds, and the sound
// then gets at least its lowest level from the room the video leaves.
TEST(WhatFitsWithSound, TheVideoLeavesTheSoundItsRoom)
{
    for (const CalculatorModel model : {CalculatorModel::Ti84Plus, CalculatorModel::Ti83PlusSe}) {
        for (const int frames : {30, 3227}) {
            VideoTarget target;
            target.model = model;
            target.format = StreamFormat::Dense;
            target.storage = Storage::Archive;
            target.sound = true;
            for (const int nameLength : {1, archive::MaxProgramNameLength}) {
                const int limit = videoLimitWithSound(target, nameLength, frames);
                VideoTarget silent = target;
                silent.sound = false;
                EXPECT_LT(limit, videoSizeLimit(silent));
                const auto room = soundRoomBytes(target, nameLength, static_cast<std::size_t>(limit) + 1);
                EXPECT_TRUE(sound::bestLevelBesideVideo(room, videoSoundSamples(target, frames)).has_value())
                    << frames << " frames, a name of " << nameLength;
            }
        }
    }
}

}  // namespace
}  // namespace zoetra
