// The player's recording written as a GIF by FFmpeg and read back by Qt:
// the frames of the video, the calculator's frame times, the loop.
#include "GifReading.h"
#include "PlayerFixture.h"

#include "calc/Recording.h"
#include "media/PlaybackGif.h"

#include <QTemporaryDir>

#include <string>
#include <tuple>

namespace playertest {
namespace {

using zoetra::calc::Recording;

class PlaybackGif : public testing::TestWithParam<std::tuple<std::string, bool>> {
protected:
    AppFolder folder;
    QTemporaryDir out;
};

TEST_P(PlaybackGif, HoldsEveryFrameWithTheCalculatorsTimes)
{
    const QByteArray shell = QByteArray::fromStdString(std::get<0>(GetParam()));
    const bool looping = std::get<1>(GetParam());
    ASSERT_TRUE(folder.isValid());
    // A video with an unchanged frame and one with every byte changed.
    const Screen key = patternScreen(5);
    Screen inverse = key;
    for (auto& b : inverse) {
        b = static_cast<std::uint8_t>(~b);
    }
    const Stream stream = makeStream(key, {{{0, 0xFF}, {767, 0x00}}, {}, changesBetween(key, inverse)});
    const std::vector<Screen> frames = decodeStream(stream);

    PlayerInputs inputs;
    inputs.varFile = varFileText(shell, looping);
    inputs.videoData = videoDataText(stream);
    const BuildResult built = buildPlayer(folder, inputs);
    ASSERT_TRUE(built.programFile.has_value()) << built.output.toStdString();
    const Recording recording = zoetra::calc::recordProgramFile(*built.programFile);
    ASSERT_TRUE(recording.plays()) << recording.problem();

    const std::vector<std::int64_t> timeline = zoetra::media::gifTimeline(recording);
    ASSERT_EQ(timeline.size(), frames.size() + 1);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        // To the nearest 1/100 s, each frame's start as emulated.
        const double emulated = zoetra::calc::seconds(recording.frames[i].tstates - recording.frames[0].tstates);
        EXPECT_NEAR(static_cast<double>(timeline[i]) / 100.0, emulated, 0.005) << i;
    }

    for (const int scale : {1, 3}) {
        SCOPED_TRACE(scale);
        const QString path = out.filePath(QStringLiteral("preview%1.gif").arg(scale));
        ASSERT_EQ(zoetra::media::writePlaybackGif(path.toStdString(), recording, scale), "");
        const GifContents gif = readGif(path);
        ASSERT_EQ(gif.frames.size(), frames.size());
        // Scale 1: black and white; otherwise the LCD's colours.
        const QRgb light = lightColour(scale);
        const QRgb dark = darkColour(scale);
        for (std::size_t i = 0; i < frames.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(gif.frames[i].size(), QSize(96 * scale, 64 * scale));
            EXPECT_TRUE(twoColoured(gif.frames[i], light, dark));
            EXPECT_EQ(screenOf(gif.frames[i], scale, dark), frames[i]);
            EXPECT_EQ(gif.delays[i], static_cast<int>(10 * (timeline[i + 1] - timeline[i])));
        }
        // Forever when the program loops; played once, ending on its last frame, when not.
        EXPECT_EQ(gif.loopCount, looping ? -1 : 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Player, PlaybackGif,
                         testing::Combine(testing::Values("ION", "MIRAGEOS", "NOSHELL"), testing::Bool()),
                         [](const auto& p) {
                             return std::get<0>(p.param) + (std::get<1>(p.param) ? "_looping" : "_once");
                         });

TEST(PlaybackGifFile, RefusesWhatCannotBeWritten)
{
    Recording empty;
    empty.end = Recording::End::Returns;
    QTemporaryDir out;
    const std::string path = out.filePath(QStringLiteral("x.gif")).toStdString();
    EXPECT_EQ(zoetra::media::writePlaybackGif(path, empty, 3), "it returned without showing a frame");

    Recording one;
    one.end = Recording::End::WaitsForKey;
    one.frames.push_back({patternScreen(1), 1000});
    one.endTStates = 60000;
    EXPECT_NE(zoetra::media::writePlaybackGif(path, one, 0).find("scale"), std::string::npos);
    const std::string missing = out.filePath(QStringLiteral("no/such/folder/x.gif")).toStdString();
    const std::string problem = zoetra::media::writePlaybackGif(missing, one, 1);
    EXPECT_NE(problem.find("cannot create " + missing), std::string::npos) << problem;
    EXPECT_FALSE(QFile::exists(QString::fromStdString(missing)));
    EXPECT_EQ(zoetra::media::writePlaybackGif(path, one, 1), "");
    EXPECT_EQ(readGif(QString::fromStdString(path)).frames.size(), 1u);
}

TEST(PlaybackGifFile, StopsAndRemovesAGifThatGrowsPastItsLimit)
{
    // 200 frames of different patterns, each a few hundred bytes in the GIF.
    Recording many;
    many.end = Recording::End::Returns;
    for (int i = 0; i < 200; ++i) {
        many.frames.push_back({patternScreen(i), static_cast<std::uint64_t>(i) * 60000});
    }
    many.endTStates = 200 * 60000;
    QTemporaryDir out;
    const std::string path = out.filePath(QStringLiteral("many.gif")).toStdString();
    const std::string problem = zoetra::media::writePlaybackGif(path, many, 3, 1024 * 1024);
    EXPECT_NE(problem.find("the GIF grew past 1 MB"), std::string::npos) << problem;
    EXPECT_NE(problem.find("stopped and removed"), std::string::npos) << problem;
    EXPECT_FALSE(QFile::exists(QString::fromStdString(path)));

    // Under the limit it is kept whole.
    EXPECT_EQ(zoetra::media::writePlaybackGif(path, many, 3), "");
    EXPECT_EQ(readGif(QString::fromStdString(path)).frames.size(), 200u);
}

}  // namespace
}  // namespace playertest
