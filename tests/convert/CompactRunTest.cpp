// The conversion run with "Compact video": the same decisions as the
// written stream, another stream, and the size that counts.
#include "codec/compact/CompactDecoder.h"
#include "codec/written/WrittenDecoder.h"
#include "codec/written/WrittenEncoder.h"
#include "convert/ConversionRun.h"
#include "support/ConvertFixture.h"
#include "support/ScreenSequences.h"
#include "support/TestSupport.h"

#include <QImage>

#include <random>

namespace zoetra::test {
namespace {

std::optional<compact::DecodedVideo> compactVideo(const Vars& vars)
{
    std::string error;
    auto video = compact::decodeCompactVideo(
        std::span(vars.VideoBytes.data(), static_cast<std::size_t>(vars.ByteCount) + 1), &error);
    EXPECT_TRUE(video.has_value()) << error;
    return video;
}

class CompactRunTest : public ConvertFixture {
protected:
    CompactRunTest()
    {
        run.buildOptions.timeoutMs = 500;
        run.buildOptions.cycleMs = 1;
        toolsWrite(QStringLiteral("Video.8xp"));
    }

    // A run from the program's start: the same random numbers every time,
    // and a white preview to take the marks.
    RunOutcome convertFresh(bool compact)
    {
        random = UniformRandom();
        window.quickPrevArea.fill(ColourWhite);
        window.target.format = compact ? StreamFormat::Compact : StreamFormat::Written;
        return run.RunConversion();
    }

    ConversionRun run{vars, platform};
};

TEST_F(CompactRunTest, TheSameScreensAndMarksAsTheWrittenStreamWithThinning)
{
    std::mt19937 generator(8);
    std::vector<Frame> frames;
    for (const auto& screen : randomScreenSequence(generator, 16)) {
        frames.push_back(screen);
    }
    useFrames(frames);
    window.detailSlider = -4;

    ASSERT_EQ(convertFresh(false).status, RunOutcome::Status::Delivered);
    const auto writtenVideo = written::decodeWrittenVideo(
        std::span(vars.VideoBytes.data(), static_cast<std::size_t>(vars.ByteCount) + 1));
    ASSERT_TRUE(writtenVideo.has_value());
    const std::vector<Screen> written = writtenVideo->frames;
    const QImage writtenMarks = window.quickPrevArea.toImage();
    const QByteArray writtenVarFile = readAll(app(QStringLiteral("VarFile.var")));
    ASSERT_EQ(written.size(), frames.size());
    // Thinning holds some changes back, so the screens are not the frames.
    EXPECT_NE(written, std::vector<compact::Screen>(frames.begin(), frames.end()));

    const RunOutcome outcome = convertFresh(true);
    ASSERT_EQ(outcome.status, RunOutcome::Status::Delivered);
    const auto video = compactVideo(vars);
    ASSERT_TRUE(video.has_value());
    EXPECT_EQ(video->frames, written);
    EXPECT_EQ(window.quickPrevArea.toImage(), writtenMarks);
    EXPECT_EQ(readAll(app(QStringLiteral("VarFile.var"))), writtenVarFile + "#define COMPACT\r\n");

    // Size, compression and report count the compact bytes.
    const int size = vars.ByteCount;
    EXPECT_EQ(outcome.size, size);
    EXPECT_GE(video->length, static_cast<std::size_t>(size));
    EXPECT_LE(video->length, static_cast<std::size_t>(size) + 1);
    EXPECT_EQ(window.sizeCounter, QString::number(size) + QLatin1Char('b'));
    const double ratio = 100.0 * size / (768.0 * 16);
    EXPECT_FLOAT_EQ(static_cast<float>(window.progress(ProgressBar::CompressionVal).value()), static_cast<float>(ratio));
    EXPECT_EQ(window.messages.back().text,
              QStringLiteral("Successfully converted!\r\nSize of converted video data: %1b.\r\n"
                             "Compression vs Full Frames: %2% of full size.\r\nThe program video.8xp is in %3.")
                  .arg(size)
                  .arg(static_cast<int>(ratio))
                  .arg(nativePath(vars.OutDir)));
    // Video.dat holds the stream as .db lines, the video end included.
    const QByteArray data = readAll(app(QStringLiteral("Video.dat")));
    QByteArray expected;
    for (int p = 0; p <= size; ++p) {
        expected += QByteArray::number(vars.VideoBytes[static_cast<std::size_t>(p)]) + ' ';
    }
    QByteArray values = data;
    values.replace(".db ", "").replace("\r\n", " ").replace(",", " ");
    EXPECT_TRUE(values.simplified().startsWith(expected.simplified())) << values.left(200).toStdString();
}

// Frames of every byte changed, by turns black and white: the written stream
// passes 24,000 bytes at the eleventh; the compact one takes a few bytes a
// frame.
TEST_F(CompactRunTest, AVideoTooLargeWrittenFitsCompact)
{
    std::vector<Frame> frames;
    for (int i = 0; i < 20; ++i) {
        frames.push_back(filledFrame(i % 2 != 0 ? 255 : 0));
    }
    useFrames(frames);
    EXPECT_EQ(convertFresh(false).status, RunOutcome::Status::TooLarge);

    const RunOutcome outcome = convertFresh(true);
    ASSERT_EQ(outcome.status, RunOutcome::Status::Delivered);
    EXPECT_LT(outcome.size, 200);
    const auto video = compactVideo(vars);
    ASSERT_TRUE(video.has_value());
    ASSERT_EQ(video->frames.size(), frames.size());
    EXPECT_EQ(video->frames[19], compact::Screen(filledFrame(255)));
}

// The limit is the written one: more than 24,000 compact bytes stop the run.
TEST_F(CompactRunTest, TheLimitCountsCompactBytes)
{
    std::mt19937 generator(4);
    std::vector<Frame> frames;
    for (int f = 0; f < 40; ++f) {
        Frame noise;
        for (auto& b : noise) {
            b = static_cast<std::uint8_t>(generator());
        }
        frames.push_back(noise);
    }
    useFrames(frames);
    const RunOutcome outcome = convertFresh(true);
    EXPECT_EQ(outcome.status, RunOutcome::Status::TooLarge);
    // Noise takes a literal run a frame, 771 or 772 bytes: the frame that
    // passes 24,000 is the 32nd.
    EXPECT_GT(outcome.size, RamVideoLimit);
    EXPECT_LE(outcome.size - 772, RamVideoLimit);
    EXPECT_EQ(window.selectedFrame, 31);
    EXPECT_EQ(window.sizeCounter, QString::number(outcome.size) + QLatin1Char('b'));
    EXPECT_TRUE(window.messages.back().text.startsWith(ConversionRun::TooLargeMessage + QStringLiteral("\r\n")));
    EXPECT_EQ(builds.starts, 0);
}

// A dense target whose dense stream would take more bytes or fall behind
// the pace (the whole screen black and white in turns at 30 frames a
// second on the 6 MHz TI-83 Plus) goes out compact: the player built for
// the compact stream, the stream compact, the size compact's, and the
// closing report says so; one that keeps the pace in fewer bytes goes out
// dense.
TEST_F(CompactRunTest, ADenseTargetGoesOutCompactWhereDenseWouldTakeMoreOrFallBehind)
{
    std::vector<Frame> flashing;
    for (int i = 0; i < 20; ++i) {
        flashing.push_back(filledFrame(i % 2 != 0 ? 255 : 0));
    }
    std::vector<Frame> dot(20, filledFrame(0));
    for (std::size_t f = 0; f < dot.size(); ++f) {
        dot[f][300 + f / 8] = static_cast<std::uint8_t>(0x80u >> (f % 8));
    }
    for (const bool falls : {true, false}) {
        SCOPED_TRACE(falls);
        useFrames(falls ? flashing : dot);
        random = UniformRandom();
        window.target.format = StreamFormat::Dense;
        window.target.framesPerSecond = 30.0;
        const RunOutcome outcome = run.RunConversion();
        ASSERT_EQ(outcome.status, RunOutcome::Status::Delivered) << window.messages.back().text.toStdString();
        const QByteArray varFile = readAll(app(QStringLiteral("VarFile.var")));
        const QByteArray include = readAll(app(QStringLiteral("Target.inc")));
        EXPECT_EQ(varFile.contains("#define COMPACT"), falls);
        EXPECT_EQ(varFile.contains("#define DENSE"), !falls);
        EXPECT_EQ(include.contains("DecodeCompact.z80"), falls);
        EXPECT_EQ(include.contains("DecodeDense.z80"), !falls);
        const QString report = window.messages.back().text;
        EXPECT_EQ(report.contains(QStringLiteral("\r\nSent as compact video")), falls) << report.toStdString();
        if (falls) {
            const auto video = compactVideo(vars);
            ASSERT_TRUE(video.has_value());
            EXPECT_EQ(video->frames, std::vector<compact::Screen>(flashing.begin(), flashing.end()));
            EXPECT_LE(video->length, static_cast<std::size_t>(outcome.size) + 1);
        }
    }
}

}  // namespace
}  // namespace zoetra::test
