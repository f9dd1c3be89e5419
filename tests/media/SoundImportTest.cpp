// The video's sound imported beside its frames: as long as the frames, in
// its place on the video's clock whatever the part and the rate; a video
// without sound, and one whose sound is shorter, give clear results.
#include "codec/sound/SoundFormat.h"
#include "media/SoundImport.h"
#include "media/VideoImport.h"
#include "shared/FolderSound.h"
#include "support/FfmpegClips.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

namespace zoetra::media {
namespace {

// A 1 kHz beep from `from` to `to` seconds in a sound `seconds` long.
QStringList beep(double from, double to, double seconds)
{
    return test::lavfi(QStringLiteral("aevalsrc=exprs=if(between(t\\,%1\\,%2)\\,0.8*sin(2*PI*1000*t)\\,0):s=44100:d=%3")
                           .arg(from)
                           .arg(to)
                           .arg(seconds));
}

QStringList picture(double seconds)
{
    return test::lavfi(QStringLiteral("testsrc=size=160x120:rate=25:duration=%1").arg(seconds));
}

const QStringList Coded{"-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac", "-shortest"};

// The first and the last time the sound is louder than a whisper.
std::pair<double, double> heard(const Sound& sound)
{
    double first = -1.0, last = -1.0;
    for (std::size_t i = 0; i < sound.samples.size(); ++i) {
        if (std::abs(sound.samples[i]) > 0.1f) {
            last = static_cast<double>(i) / sound.rate;
            if (first < 0.0) {
                first = last;
            }
        }
    }
    return {first, last};
}

class SoundImportTest : public testing::Test {
protected:
    void SetUp() override
    {
        if (!test::haveFfmpeg()) {
            GTEST_SKIP() << "the ffmpeg command is needed to make the clips";
        }
    }

    ImportResult import(const QString& clip, const ImportSettings& settings)
    {
        return importFrames(clip, QDir(out.path()).filePath(QStringLiteral("frames %1").arg(++imports)), settings,
                            ImportControl{});
    }

    QTemporaryDir source;
    QTemporaryDir out;
    int imports = 0;
};

TEST_F(SoundImportTest, KeepsTheSoundAsLongAsTheFramesInItsPlace)
{
    struct Case {
        double start;
        std::optional<double> end;
        double rate;
        double soundLater;  // the sound's stream begins this much after the picture's
        int frames;
    };
    // The beep lies at 1.0..1.2 s of the sound's own stream.
    const Case cases[] = {
        {0.0, std::nullopt, 15.0, 0.0, 45},
        {0.5, 2.5, 12.5, 0.0, 25},
        {0.5, 2.5, 12.5, 0.3, 25},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "start " << c.start << " rate " << c.rate << " sound later " << c.soundLater);
        QStringList arguments = picture(3.0);
        if (c.soundLater > 0.0) {
            arguments << "-itsoffset" << QString::number(c.soundLater);
        }
        arguments << beep(1.0, 1.2, 3.0) << Coded;
        const QString clip = test::makeClip(source.path(), QStringLiteral("clip%1.mp4").arg(imports), arguments);
        ASSERT_FALSE(clip.isEmpty());
        ImportSettings settings;
        settings.start = c.start;
        settings.end = c.end;
        settings.framesPerSecond = c.rate;
        const ImportResult result = import(clip, settings);
        ASSERT_EQ(result.status, ImportResult::Status::Done) << result.message.toStdString();
        EXPECT_EQ(result.frames, c.frames);
        EXPECT_TRUE(result.sound);
        EXPECT_TRUE(QFileInfo::exists(QDir(result.folder).filePath(QString::fromLatin1(FolderSoundFileName.data()))));

        const SoundRead kept = readFolderSound(result.folder, sound::InputRate);
        ASSERT_EQ(kept.status, SoundRead::Status::Read) << kept.message.toStdString();
        EXPECT_EQ(kept.sound.rate, sound::InputRate);
        EXPECT_NEAR(kept.sound.seconds(), c.frames / c.rate, 1.0 / sound::InputRate);
        const auto [first, last] = heard(kept.sound);
        EXPECT_NEAR(first, 1.0 + c.soundLater - c.start, 0.005);
        EXPECT_NEAR(last, 1.2 + c.soundLater - c.start, 0.005);
    }
}

TEST_F(SoundImportTest, AVideoWithoutSoundHasNone)
{
    const QString clip = test::makeClip(source.path(), QStringLiteral("silent film.mp4"),
                                        picture(2.0) + QStringList{"-c:v", "libx264", "-preset", "ultrafast"});
    ASSERT_FALSE(clip.isEmpty());
    const ImportResult result = import(clip, ImportSettings{});
    ASSERT_EQ(result.status, ImportResult::Status::Done) << result.message.toStdString();
    EXPECT_FALSE(result.sound);
    EXPECT_TRUE(result.message.isEmpty()) << result.message.toStdString();
    EXPECT_EQ(readFolderSound(result.folder, sound::InputRate).status, SoundRead::Status::None);
}

TEST_F(SoundImportTest, ASoundShorterThanTheFramesIsFollowedBySilenceAndToldOf)
{
    // Three seconds of picture, one of sound (its beep at 0.5..0.7 s).
    const QString clip = test::makeClip(source.path(), QStringLiteral("short.mp4"),
                                        picture(3.0) + beep(0.5, 0.7, 1.0) +
                                            QStringList{"-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac"});
    ASSERT_FALSE(clip.isEmpty());
    ImportSettings settings;
    settings.framesPerSecond = 10.0;
    const ImportResult result = import(clip, settings);
    ASSERT_EQ(result.status, ImportResult::Status::Done) << result.message.toStdString();
    EXPECT_EQ(result.frames, 30);
    EXPECT_TRUE(result.sound);
    EXPECT_TRUE(result.message.contains(QStringLiteral("ends at 0:01.0, before the frames' end at 0:03.0")))
        << result.message.toStdString();
    const SoundRead kept = readFolderSound(result.folder, sound::InputRate);
    ASSERT_EQ(kept.status, SoundRead::Status::Read);
    EXPECT_NEAR(kept.sound.seconds(), 3.0, 1.0 / sound::InputRate);
    EXPECT_NEAR(heard(kept.sound).first, 0.5, 0.005);
    EXPECT_NEAR(heard(kept.sound).second, 0.7, 0.005);
}

}  // namespace
}  // namespace zoetra::media
