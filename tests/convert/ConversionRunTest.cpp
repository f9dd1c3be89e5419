#include "convert/ConversionRun.h"
#include "devpac8x/VariableFile.h"
#include "support/ConvertFixture.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>

#include <map>

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

// The calculator files of a folder (and any aside or half-written), with
// their bytes.
std::map<QString, QByteArray> filesOfVideo(const QString& folder)
{
    std::map<QString, QByteArray> found;
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden)) {
        if (name.contains(QLatin1String(".8x"), Qt::CaseInsensitive)) {
            found[name] = readAll(joinPath(folder, name));
        }
    }
    return found;
}

// What the packager makes of the player: one program VIDEO.
QByteArray programVideo()
{
    const devpac8x::Variable program = devpac8x::protectedProgram("VIDEO", std::vector<std::uint8_t>{0xBB, 0x6D, 0xC9});
    const std::vector<std::uint8_t> file = devpac8x::makeVariableFile(std::span(&program, 1), "player");
    return QByteArray(reinterpret_cast<const char*>(file.data()), static_cast<qsizetype>(file.size()));
}

// The closing report of a program delivered into the output folder.
QString report(int size, int percent, const QString& outDir)
{
    return QStringLiteral("Successfully converted!\r\nSize of converted video data: %1b.\r\n"
                          "Compression vs Full Frames: %2% of full size.\r\nThe program video.8xp is in %3.")
        .arg(size)
        .arg(percent)
        .arg(nativePath(outDir));
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

TEST_F(ConversionRunTest, EmptyNameAndNamesNotStartingWithALetterAreRefused)
{
    useFrames({filledFrame(1)});
    for (const char* name : {"", "9Lives", "0"}) {
        window.fileName = QString::fromLatin1(name);
        EXPECT_EQ(convert().status, RunOutcome::Status::NameRefused) << name;
        EXPECT_EQ(lastText(), QStringLiteral("Error: Filename must start with a letter!")) << name;
        EXPECT_EQ(window.messages.back().title, QStringLiteral("Error"));
        EXPECT_EQ(window.messages.back().icon, MessageIcon::Error);
    }
    EXPECT_TRUE(appFiles().isEmpty());
    EXPECT_EQ(builds.starts, 0);
    EXPECT_EQ(programNameProblem(QStringLiteral("a9")), QString());
}

TEST_F(ConversionRunTest, DescriptionTooLongForTheShellIsRefusedBeforeAnythingIsTouched)
{
    useFrames({filledFrame(1)});
    const struct {
        const char* shell;
        int limit;
    } shells[] = {{"Ion", 126}, {"MirageOS", 255}};
    for (const auto& shell : shells) {
        for (const QString& name : appFiles()) {
            QFile::remove(app(name));
        }
        window.shell = QString::fromLatin1(shell.shell);
        window.description = QString(shell.limit + 1, QLatin1Char('d'));
        EXPECT_EQ(convert().status, RunOutcome::Status::DescriptionRefused) << shell.shell;
        EXPECT_EQ(lastText(), QStringLiteral("Error: Description is too long for the shell! Use %1 or fewer characters.")
                                  .arg(shell.limit));
        EXPECT_EQ(window.messages.back().icon, MessageIcon::Error);
        EXPECT_TRUE(appFiles().isEmpty());
        // Characters, not bytes of some encoding: each becomes one byte.
        window.description = QString(shell.limit, QChar(0x00E9));
        EXPECT_EQ(convert().status, RunOutcome::Status::Delivered) << shell.shell;
    }
    window.shell = QStringLiteral("No Shell");  // the description is not built in
    window.description = QString(1000, QLatin1Char('d'));
    EXPECT_EQ(convert().status, RunOutcome::Status::Delivered);
}

TEST_F(ConversionRunTest, SingleFrameVideo)
{
    useFrames({filledFrame(0x55)});
    const RunOutcome outcome = convert();
    ASSERT_EQ(outcome.status, RunOutcome::Status::Delivered);
    EXPECT_EQ(outcome.size, 768);
    EXPECT_EQ(lastText(), report(768, 0, vars.OutDir));
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
    EXPECT_EQ(lastText(), report(769, 50, vars.OutDir));
    EXPECT_EQ(window.progress(ProgressBar::TotalProgress).maximum(), 1.0);
    EXPECT_EQ(window.progress(ProgressBar::TotalProgress).value(), 1.0);
    EXPECT_EQ(window.sizeCounter, QStringLiteral("769b"));
}

// The report's last line counts what came with the program.
TEST(DeliveryText, NamesTheProgramItsAppVarsAndBundlesAndTheFolder)
{
    EXPECT_EQ(whereFilesWentText({}), QString());
    EXPECT_EQ(whereFilesWentText({QStringLiteral("/out/clip/video.8xp"), QStringLiteral("/out/clip/video00.8xv"),
                            QStringLiteral("/out/clip/video.8xg")}),
              QStringLiteral("The program video.8xp and its 1 AppVar and 1 bundle are in %1.")
                  .arg(nativePath(QStringLiteral("/out/clip"))));
    QStringList many{QStringLiteral("/o/v.8xp")};
    for (int i = 0; i < 10; ++i) {
        many.append(QStringLiteral("/o/v%1.8XV").arg(i, 2, 10, QLatin1Char('0')));
    }
    many += {QStringLiteral("/o/v.8xg"), QStringLiteral("/o/v-2.8xg"), QStringLiteral("/o/v-3.8xg")};
    EXPECT_EQ(whereFilesWentText(many), QStringLiteral("The program v.8xp and its 10 AppVars and 3 bundles are in %1.")
                                      .arg(nativePath(QStringLiteral("/o"))));
}

TEST_F(ConversionRunTest, ReportStatesRatiosTheBarCannotShow)
{
    useFrames({filledFrame(0), filledFrame(255)});
    EXPECT_EQ(convert().size, 768 + 2305);
    EXPECT_EQ(lastText(), report(3073, 200, vars.OutDir));
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

TEST_F(ConversionRunTest, EmptyFrameListIsRefusedBeforeAnythingIsTouched)
{
    useFrames({});
    writeAll(app(QStringLiteral("Video.8xp")), "earlier program");
    const RunOutcome outcome = convert();
    EXPECT_EQ(outcome.status, RunOutcome::Status::NoFrames);
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(lastText(), QStringLiteral("Error: There are no frames to convert in the video source folder!"));
    EXPECT_EQ(window.messages[0].title, QStringLiteral("Error"));
    EXPECT_EQ(window.messages[0].icon, MessageIcon::Error);
    EXPECT_EQ(appFiles(), QStringList{"Video.8xp"});
    EXPECT_EQ(window.progressPanelShows, 0);
    EXPECT_EQ(builds.starts, 0);
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
    // The written message, then what fits: frames 0 to 10.
    const QStringList lines = lastText().split(QStringLiteral("\r\n"));
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(lines[0], QStringLiteral("Error: File size is too large! Try turning down the quality a bit..."));
    EXPECT_EQ(lines[1], QStringLiteral("The 24000 bytes hold 11 of the 20 frames: 0.7 seconds on the calculator."));
    EXPECT_EQ(window.messages[0].title, QStringLiteral("Error!"));
    EXPECT_EQ(window.messages[0].icon, MessageIcon::Warning);
    EXPECT_EQ(window.selectedFrame, 11);
    EXPECT_FALSE(window.progressPanelVisible);
    EXPECT_EQ(window.sizeCounter, QString::number(768 + 11 * 2305) + QLatin1Char('b'));
    EXPECT_EQ(readAll(app(QStringLiteral("Video.dat"))), QByteArray("earlier video"));
    // Until an output folder is chosen this is the user's only copy: it
    // comes back when no new one is built.
    EXPECT_EQ(readAll(app(QStringLiteral("Video.8xp"))), QByteArray("earlier program"));
    EXPECT_FALSE(QFile::exists(app(QStringLiteral("Video.8xp.previous"))));
    EXPECT_TRUE(QFile::exists(app(QStringLiteral("VarFile.var"))));
    EXPECT_EQ(builds.starts, 0);
}

TEST_F(ConversionRunTest, AGeneratedFileThatCannotBeWrittenEndsTheRunAndNothingIsDelivered)
{
    useFrames({filledFrame(1), filledFrame(2)});
    // An earlier run's files: the tools would build them into a program.
    for (const char* name : {"VarFile.var", "Desc.txt", "Video.dat", "Compile.bat"}) {
        writeAll(app(QString::fromLatin1(name)), "earlier");
    }
    writeAll(app(QStringLiteral("Video.8xp")), "earlier program");
    files.failWrites = true;
    const RunOutcome outcome = convert();
    EXPECT_EQ(outcome.status, RunOutcome::Status::NotBuilt);
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(lastText(), QStringLiteral("Error: The calculator program could not be built!\r\n") +
                              nativePath(app(QStringLiteral("VarFile.var"))) + QStringLiteral(": Disk full"));
    EXPECT_EQ(window.messages[0].icon, MessageIcon::Error);
    EXPECT_EQ(builds.starts, 0);
    EXPECT_FALSE(QFile::exists(out(QStringLiteral("video.8xp"))));
    EXPECT_EQ(readAll(app(QStringLiteral("Video.8xp"))), QByteArray("earlier program"));
}

TEST_F(ConversionRunTest, VideoDataThatCannotBeWrittenEndsTheRunBeforeTheBuild)
{
    useFrames({filledFrame(1), filledFrame(2)});
    window.onYield = [&] {
        // From the writing of the video data on.
        if (window.progress(ProgressBar::ByteWriter).maximum() > 100) {
            files.failWrites = true;
        }
    };
    EXPECT_EQ(convert().status, RunOutcome::Status::NotBuilt);
    EXPECT_TRUE(lastText().endsWith(nativePath(app(QStringLiteral("Video.dat"))) + QStringLiteral(": Disk full")))
        << lastText().toStdString();
    EXPECT_FALSE(window.progressPanelVisible);
    EXPECT_EQ(builds.starts, 0);
}

TEST_F(ConversionRunTest, UnbuiltProgramIsReportedWithTheToolOutput)
{
    useFrames({filledFrame(1)});
    writeAll(app(QStringLiteral("Video.8xp")), "earlier program");
    builds.action = nullptr;
    builds.fails = true;
    builds.output = QStringLiteral("VID.z80:12: error: unknown mnemonic\n");
    EXPECT_EQ(convert().status, RunOutcome::Status::NotBuilt);
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(lastText(), QStringLiteral("Error: The calculator program could not be built!\r\n"
                                         "VID.z80:12: error: unknown mnemonic"));
    EXPECT_EQ(window.messages[0].icon, MessageIcon::Error);
    EXPECT_FALSE(window.progressPanelVisible);
    EXPECT_EQ(readAll(app(QStringLiteral("Video.8xp"))), QByteArray("earlier program"));
}

TEST_F(ConversionRunTest, FailedCopyIsReportedWithTheFileAndTheSystemsReason)
{
    useFrames({filledFrame(1)});
    vars.OutDir = root.filePath(QStringLiteral("gone"));
    EXPECT_EQ(convert().status, RunOutcome::Status::NotCopied);
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(lastText(), QStringLiteral("Error: The calculator program could not be copied to the output folder!\r\n") +
                              nativePath(out(QStringLiteral("video.8xp"))) + QStringLiteral(": No such file or directory"));
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

TEST_F(ConversionRunTest, ASecondConversionOnTheSameFolderEndsAtOnceAndTouchesNothing)
{
    useFrames({filledFrame(1), filledFrame(2), filledFrame(3)});
    // Another window: its own state, the same application folder.
    Vars otherVars;
    MemoryWindowLayer otherWindow;
    otherWindow.frames = window.frames;
    otherWindow.onFrameSelected = [](int) { return true; };
    FakeBuildLauncher otherBuilds;
    Platform other{otherWindow, files, pictures, otherBuilds, random, platform.appDir};
    otherVars.OutDir = vars.OutDir;
    ConversionRun second(otherVars, other);

    RunOutcome during;
    QStringList filesBefore;
    QByteArray videoDataBefore;
    window.onYield = [&] {
        if (during.status == RunOutcome::Status::AlreadyRunning && window.selectedFrame == 2) {
            filesBefore = appFiles();
            during = second.RunConversion();
            EXPECT_EQ(appFiles(), filesBefore);
        }
    };
    ASSERT_EQ(convert().status, RunOutcome::Status::Delivered);
    EXPECT_EQ(during.status, RunOutcome::Status::FolderBusy);
    ASSERT_EQ(otherWindow.messages.size(), 1u);
    EXPECT_EQ(otherWindow.messages[0].text,
              QStringLiteral("Error: Another conversion is using the application folder! Try again when it has finished."));
    EXPECT_EQ(otherWindow.messages[0].title, QStringLiteral("Error"));
    EXPECT_EQ(otherWindow.messages[0].icon, MessageIcon::Error);
    EXPECT_EQ(otherWindow.progressPanelShows, 0);
    EXPECT_EQ(otherBuilds.starts, 0);
    // Once the first has ended, the folder is free.
    EXPECT_EQ(second.RunConversion().status, RunOutcome::Status::NotBuilt);  // its fake tools make nothing
}

// The program ends (a signal, the window closed) in the run's last yield,
// with the new files in place: every file of the earlier delivery comes
// back as it was, in the output folder and in the application folder as
// the output folder.
TEST_F(ConversionRunTest, EndedAtItsLastYieldTheEarlierDeliveryComesBackWhole)
{
    window.target.storage = Storage::Archive;
    toolsWrite(QStringLiteral("Video.8xp"), programVideo());
    for (const bool intoAppFolder : {false, true}) {
        SCOPED_TRACE(intoAppFolder ? "into the application folder" : "into the output folder");
        if (intoAppFolder) {
            vars.OutDir = platform.appDir;
        }
        window.onYield = nullptr;
        useFrames({filledFrame(1), filledFrame(2)});
        ASSERT_EQ(convert().status, RunOutcome::Status::Delivered);
        const std::map<QString, QByteArray> before = filesOfVideo(vars.OutDir);
        ASSERT_EQ(before.size(), 3u);

        useFrames({filledFrame(3), filledFrame(4), filledFrame(5)});
        bool ended = false;
        window.onYield = [&] {
            if (!ended && readAll(out(QStringLiteral("video00.8xv"))) != before.at(QStringLiteral("video00.8xv"))) {
                ended = true;
                run.abandon();
            }
        };
        EXPECT_NE(convert().status, RunOutcome::Status::Delivered);
        EXPECT_TRUE(ended) << "no yield once the new files were in place";
        EXPECT_EQ(filesOfVideo(vars.OutDir), before);
    }
}

// Where the application folder is the output folder, a delivery leaves the
// user's files of names like its own; into another folder, it leaves no
// AppVar or multi-variable file in the application folder.
TEST_F(ConversionRunTest, ADeliveryRemovesOnlyTheFilesItMade)
{
    window.target.storage = Storage::Archive;
    toolsWrite(QStringLiteral("Video.8xp"), programVideo());
    useFrames({filledFrame(1), filledFrame(2)});
    ASSERT_EQ(convert().status, RunOutcome::Status::Delivered);
    EXPECT_EQ(QDir(platform.appDir).entryList({QStringLiteral("*.8xv"), QStringLiteral("*.8xg")}), QStringList{});

    vars.OutDir = platform.appDir;
    writeAll(app(QStringLiteral("video99.8xv")), "my own");
    writeAll(app(QStringLiteral("video-2019.8xg")), "my own");
    writeAll(app(QStringLiteral("video-0.8xg")), "my own");
    for (int again = 0; again < 2; ++again) {
        ASSERT_EQ(convert().status, RunOutcome::Status::Delivered);
        EXPECT_EQ(filesOfVideo(platform.appDir).size(), 6u);
        EXPECT_EQ(readAll(app(QStringLiteral("video99.8xv"))), QByteArray("my own"));
        EXPECT_EQ(readAll(app(QStringLiteral("video-2019.8xg"))), QByteArray("my own"));
        EXPECT_EQ(readAll(app(QStringLiteral("video-0.8xg"))), QByteArray("my own"));
    }
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
