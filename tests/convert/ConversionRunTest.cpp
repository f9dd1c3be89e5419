#include "ConvertFixture.h"

#include "convert/ConversionRun.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>

namespace zoetra::test {
namespace {

class ConversionRunTest : public ConvertFixture {
protected:
    ConversionRunTest()
    {
        run.buildOptions.timeoutMs = 500;
        run.buildOptions.cycleMs = 1;
        toolsWrite(QStringLiteral("Video.8xp"));
    }

    RunOutcome convert() { return run.RunConversion(); }
    QString lastText() const { return window.messages.empty() ? QString() : window.messages.back().text; }
    QStringList appFiles() const { return QDir(platform.appDir).entryList(QDir::Files); }

    ConversionRun run{vars, platform};
};

QString report(int size, int percent)
{
    return QStringLiteral("Successfully converted!\r\nSize of converted video data: %1b.\r\n"
                          "Compression vs Full Frames: %2% of full size.")
        .arg(size)
        .arg(percent);
}

TEST_F(ConversionRunTest, NameLongerThanEightIsRefusedBeforeAnythingIsTouched)
{
    useFrames({filledFrame(1)});
    window.fileName = QStringLiteral("ABCDEFGHI");
    EXPECT_EQ(convert().status, RunOutcome::Status::NameRefused);
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(lastText(), QStringLiteral("Error: Filename must be 8 or less characters!"));
    EXPECT_EQ(window.messages[0].title, QStringLiteral("Error"));
    EXPECT_EQ(window.messages[0].icon, MessageIcon::Error);
    EXPECT_TRUE(appFiles().isEmpty());
    EXPECT_EQ(window.progressPanelShows, 0);
    EXPECT_EQ(builds.starts, 0);
}

TEST_F(ConversionRunTest, NameWithOtherThanLettersAndDigitsIsRefused)
{
    useFrames({filledFrame(1)});
    for (const char* name : {"../x", "a&b", "a b", "V.8xp", "\xC3\xA9t\xC3\xA9"}) {
        window.fileName = QString::fromUtf8(name);
        EXPECT_EQ(convert().status, RunOutcome::Status::NameRefused) << name;
        EXPECT_EQ(lastText(), QStringLiteral("Error: Filename may only contain letters and digits!")) << name;
    }
    EXPECT_TRUE(appFiles().isEmpty());
    EXPECT_EQ(programNameProblem(QStringLiteral("ABCDEFGH")), QString());
    EXPECT_EQ(programNameProblem(QStringLiteral("Video2")), QString());
}

TEST_F(ConversionRunTest, EmptyNamePasses)
{
    useFrames({filledFrame(1)});
    window.fileName = QString();
    toolsWrite(QStringLiteral(".8xp"));
    EXPECT_EQ(convert().status, RunOutcome::Status::Delivered);
    EXPECT_EQ(readAll(app(QStringLiteral("Compile.bat"))), CompileBatchText(platform.appDir, QString()));
}

TEST_F(ConversionRunTest, SingleFrameVideo)
{
    useFrames({filledFrame(0x55)});
    const RunOutcome outcome = convert();
    ASSERT_EQ(outcome.status, RunOutcome::Status::Delivered);
    EXPECT_EQ(outcome.size, 768);
    EXPECT_EQ(lastText(), report(768, 0));
    EXPECT_EQ(window.messages.back().title, QStringLiteral("Zoetra2"));
    EXPECT_EQ(window.messages.back().icon, MessageIcon::Information);
    // A maximum of 0 is refused; the bar keeps its own.
    EXPECT_EQ(window.progress(ProgressBar::TotalProgress).maximum(), 100.0);
    const QByteArray data = readAll(app(QStringLiteral("Video.dat")));
    EXPECT_TRUE(data.startsWith("\r\n.db  85, 85, 85,"));
    EXPECT_TRUE(data.endsWith("\r\n.db  254\r\n"));
}

TEST_F(ConversionRunTest, TwoIdenticalFrames)
{
    useFrames({filledFrame(3), filledFrame(3)});
    EXPECT_EQ(convert().size, 769);
    EXPECT_EQ(lastText(), report(769, 50));
    EXPECT_EQ(window.progress(ProgressBar::TotalProgress).maximum(), 1.0);
    EXPECT_EQ(window.progress(ProgressBar::TotalProgress).value(), 1.0);
    EXPECT_EQ(window.sizeCounter, QStringLiteral("769b"));
}

TEST_F(ConversionRunTest, ReportStatesRatiosTheBarCannotShow)
{
    useFrames({filledFrame(0), filledFrame(255)});
    EXPECT_EQ(convert().size, 768 + 2305);
    EXPECT_EQ(lastText(), report(3073, 200));
}

TEST_F(ConversionRunTest, PhasesInOrderAndTheWindowLeftAsDescribed)
{
    useFrames({filledFrame(1), filledFrame(2), filledFrame(2)});
    window.shell = QStringLiteral("No Shell");
    window.looping = 0;
    window.description = QStringLiteral("Clip");
    writeAll(app(QStringLiteral("Video.8xp")), "stale");
    bool staleGoneBeforeBuild = false;
    builds.action = [&] {
        staleGoneBeforeBuild = !QFile::exists(app(QStringLiteral("Video.8xp")));
        EXPECT_TRUE(QFile::exists(app(QStringLiteral("Video.dat"))));
        writeAll(app(QStringLiteral("Video.8xp")), "fresh");
    };
    window.onMessage = [&](const MemoryWindowLayer::Message&) {
        EXPECT_FALSE(window.progressPanelVisible);  // hidden before the report
    };
    ASSERT_EQ(convert().status, RunOutcome::Status::Delivered);
    EXPECT_TRUE(staleGoneBeforeBuild);
    EXPECT_EQ(window.progressPanelShows, 1);
    EXPECT_EQ(window.selectedFrame, 2);
    EXPECT_EQ(readAll(app(QStringLiteral("VarFile.var"))), QByteArray("\r\n#define NOSHELL\r\n"));
    EXPECT_EQ(readAll(app(QStringLiteral("Desc.txt"))), QByteArray(".db \"Clip\",0\r\n"));
    EXPECT_EQ(readAll(out(QStringLiteral("video.8xp"))), QByteArray("fresh"));
    EXPECT_EQ(window.messages.size(), 1u);
}

TEST_F(ConversionRunTest, EmptyFrameListStillBuildsFromTheGrid)
{
    useFrames({});
    setGridFromFrame(vars, filledFrame(0x0F));
    const RunOutcome outcome = convert();
    EXPECT_EQ(outcome.status, RunOutcome::Status::Delivered);
    EXPECT_EQ(outcome.size, 768);
    EXPECT_TRUE(readAll(app(QStringLiteral("Video.dat"))).startsWith("\r\n.db  15, 15,"));
}

TEST_F(ConversionRunTest, TooLargeStopsWithoutWritingVideoDataOrBuilding)
{
    // Alternating solid frames change every byte: 2,305 bytes a frame, so
    // frame 11 takes the stream past 24,000.
    std::vector<Frame> frames;
    for (int i = 0; i < 20; ++i) {
        frames.push_back(filledFrame(i % 2 ? 255 : 0));
    }
    useFrames(frames);
    writeAll(app(QStringLiteral("Video.dat")), "earlier video");
    writeAll(app(QStringLiteral("Video.8xp")), "earlier program");
    const RunOutcome outcome = convert();
    EXPECT_EQ(outcome.status, RunOutcome::Status::TooLarge);
    EXPECT_EQ(outcome.size, 768 + 11 * 2305);
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(lastText(), QStringLiteral("Error: File size is too large! Try turning down the quality a bit..."));
    EXPECT_EQ(window.messages[0].title, QStringLiteral("Error!"));
    EXPECT_EQ(window.messages[0].icon, MessageIcon::Warning);
    EXPECT_EQ(window.selectedFrame, 11);
    EXPECT_FALSE(window.progressPanelVisible);
    EXPECT_EQ(window.sizeCounter, QString::number(768 + 11 * 2305) + QLatin1Char('b'));
    EXPECT_EQ(readAll(app(QStringLiteral("Video.dat"))), QByteArray("earlier video"));
    EXPECT_FALSE(QFile::exists(app(QStringLiteral("Video.8xp"))));
    EXPECT_TRUE(QFile::exists(app(QStringLiteral("VarFile.var"))));
    EXPECT_EQ(builds.starts, 0);
}

TEST_F(ConversionRunTest, FailingStepsArePassedOverSilently)
{
    useFrames({filledFrame(1), filledFrame(2)});
    files.failWrites = true;
    // The tools still find their inputs (from an earlier run, say) and build.
    ASSERT_EQ(convert().status, RunOutcome::Status::Delivered);
    EXPECT_EQ(window.messages.size(), 1u);
    EXPECT_FALSE(QFile::exists(app(QStringLiteral("Video.dat"))));
}

TEST_F(ConversionRunTest, UnbuiltProgramIsReportedWithTheToolOutput)
{
    useFrames({filledFrame(1)});
    builds.action = nullptr;
    builds.output = QStringLiteral("VID.z80:12: error: unknown mnemonic\n");
    EXPECT_EQ(convert().status, RunOutcome::Status::NotBuilt);
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(lastText(), QStringLiteral("Error: The calculator program could not be built!\r\n"
                                         "VID.z80:12: error: unknown mnemonic"));
    EXPECT_EQ(window.messages[0].icon, MessageIcon::Error);
    EXPECT_FALSE(window.progressPanelVisible);
}

TEST_F(ConversionRunTest, FailedCopyIsReportedWithTheFolder)
{
    useFrames({filledFrame(1)});
    vars.OutDir = root.filePath(QStringLiteral("gone"));
    EXPECT_EQ(convert().status, RunOutcome::Status::NotCopied);
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(lastText(), QStringLiteral("Error: The calculator program could not be copied to the output folder!\r\n") +
                              nativePath(vars.OutDir));
}

TEST_F(ConversionRunTest, SecondPressDuringARunIsIgnored)
{
    useFrames({filledFrame(1), filledFrame(2), filledFrame(3)});
    int nested = 0;
    window.onYield = [&] {
        if (run.inProgress() && nested < 3) {
            ++nested;
            EXPECT_EQ(run.RunConversion().status, RunOutcome::Status::AlreadyRunning);
        }
    };
    ASSERT_EQ(convert().status, RunOutcome::Status::Delivered);
    EXPECT_EQ(nested, 3);
    EXPECT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(builds.starts, 1);
    EXPECT_FALSE(run.inProgress());
    // After the run, a press starts a new one.
    EXPECT_EQ(convert().status, RunOutcome::Status::Delivered);
}

TEST_F(ConversionRunTest, NameIsTakenOnceForTheWholeRun)
{
    useFrames({filledFrame(1), filledFrame(2)});
    window.onYield = [&] { window.fileName = QStringLiteral("Changed"); };
    ASSERT_EQ(convert().status, RunOutcome::Status::Delivered);
    EXPECT_TRUE(readAll(app(QStringLiteral("Compile.bat"))).contains("DEVPAC8X Video\r\n"));
    EXPECT_TRUE(QFile::exists(out(QStringLiteral("video.8xp"))));
}

}  // namespace
}  // namespace zoetra::test
