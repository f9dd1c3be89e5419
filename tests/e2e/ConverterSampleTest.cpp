// The headless converter on the bundled sample, run as a process from an
// application folder that holds the real tools, and its program played.
#include "PlayerFixture.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace playertest {
namespace {

using zoetra::calc::Stop;
namespace bcall = zoetra::calc::bcall;

constexpr std::size_t SampleFrames = 48;

class ConverterOnTheSample : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        ASSERT_TRUE(outDir.isValid());
        ASSERT_TRUE(QFile::copy(QStringLiteral(ZOETRA_CONVERT_EXE), folder.filePath(QStringLiteral("zoetra2-convert"))));
        ASSERT_EQ(static_cast<std::size_t>(QDir(QStringLiteral(ZOETRA_APP_DIR)).entryList({QStringLiteral("sample*")}).size()),
                  SampleFrames);
        ASSERT_TRUE(zoetra::test::copySamples(folder.path()));
    }

    // Runs the converter; its exit status.
    int convert(const QStringList& arguments)
    {
        QProcess process;
        process.setWorkingDirectory(outDir.path());
        process.start(folder.filePath(QStringLiteral("zoetra2-convert")), arguments);
        EXPECT_TRUE(process.waitForFinished(300000));
        stdOut = QString::fromLocal8Bit(process.readAllStandardOutput());
        stdErr = QString::fromLocal8Bit(process.readAllStandardError());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    // The frames of the stream in the "Video.dat" the conversion left.
    std::vector<Screen> describedFrames() const
    {
        return decodeStream(streamFromVideoData(folder.read(QStringLiteral("Video.dat"))));
    }

    std::vector<std::uint8_t> delivered() const
    {
        QFile file(QDir(outDir.path()).filePath(QStringLiteral("video.8xp")));
        if (!file.open(QIODevice::ReadOnly)) {
            ADD_FAILURE() << "no video.8xp delivered";
            return {};
        }
        const QByteArray bytes = file.readAll();
        return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
    }

    AppFolder folder;
    QTemporaryDir outDir;
    QString stdOut, stdErr;
};

TEST_F(ConverterOnTheSample, DefaultConversionSucceedsAndItsProgramPlaysAndLoops)
{
    ASSERT_EQ(convert({}), 0) << stdErr.toStdString();
    EXPECT_TRUE(stdOut.startsWith(QStringLiteral("Successfully converted!"))) << stdOut.toStdString();
    const std::vector<Screen> frames = describedFrames();
    ASSERT_EQ(frames.size(), SampleFrames);

    const Playback playback = play(delivered(), "ION", SampleFrames + 1);
    ASSERT_EQ(playback.stop, Stop::Returned) << playback.calculator->fault();
    expectScreens(*playback.calculator, frames, SampleFrames + 1);
    expectCleanExit(playback);
}

TEST_F(ConverterOnTheSample, MirageOsProgramPlaysOnceAndWaitsForAKey)
{
    ASSERT_EQ(convert({QStringLiteral("--shell"), QStringLiteral("MirageOS"), QStringLiteral("--no-looping")}), 0)
        << stdErr.toStdString();
    EXPECT_TRUE(stdOut.startsWith(QStringLiteral("Successfully converted!"))) << stdOut.toStdString();
    const std::vector<Screen> frames = describedFrames();
    ASSERT_EQ(frames.size(), SampleFrames);

    const Playback playback = play(delivered(), "MIRAGEOS", std::nullopt);
    ASSERT_EQ(playback.stop, Stop::Returned) << playback.calculator->fault();
    expectScreens(*playback.calculator, frames, SampleFrames);
    EXPECT_EQ(playback.calculator->callCount(bcall::GetKey), 1u);
    expectCleanExit(playback);
}

}  // namespace
}  // namespace playertest
