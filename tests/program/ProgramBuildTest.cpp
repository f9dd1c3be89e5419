#include "program/ProgramBuild.h"
#include "support/ConvertFixture.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>

namespace zoetra::test {
namespace {

class ProgramBuildTest : public ConvertFixture {
protected:
    BuildOutcome build(const QString& name = QStringLiteral("Video"))
    {
        BuildOptions options;
        options.timeoutMs = 300;
        options.cycleMs = 1;
        return BuildProgram(platform, name, vars.OutDir, VideoTarget{}, options);
    }
};

QStringList sortedFiles(const QString& folder)
{
    QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    names.sort();
    return names;
}

TEST_F(ProgramBuildTest, StaleProgramIsSetAsideAndComesBackUnlessANewOneIsInPlace)
{
    for (const char* name : {"Video.8xp", "VIDEO.8XP", "Video.bin", "Other.8xp", "Video.8xp.bak"}) {
        writeAll(app(QString::fromLatin1(name)), name);
    }
    StaleProgram stale;
    ASSERT_FALSE(RemoveStaleProgram(files, platform.appDir, QStringLiteral("video"), stale));
    EXPECT_EQ(sortedFiles(platform.appDir), (QStringList{"Other.8xp", "VIDEO.8XP.previous", "Video.8xp.bak",
                                                         "Video.8xp.previous", "Video.bin"}));
    EXPECT_TRUE(findProgramFile(files, platform.appDir, QStringLiteral("Video")).isEmpty());

    // A run that delivers nothing: whatever it left under the name goes,
    // the old files come back as they were.
    writeAll(app(QStringLiteral("video.8xp")), "half-built");
    stale.restore();
    EXPECT_EQ(sortedFiles(platform.appDir), (QStringList{"Other.8xp", "VIDEO.8XP", "Video.8xp", "Video.8xp.bak",
                                                         "Video.bin"}));
    EXPECT_EQ(readAll(app(QStringLiteral("VIDEO.8XP"))), QByteArray("VIDEO.8XP"));

    // A run that delivers: the old files go once the new one is there.
    ASSERT_FALSE(RemoveStaleProgram(files, platform.appDir, QStringLiteral("Video"), stale));
    writeAll(app(QStringLiteral("Video.8xp")), "new");
    stale.discard();
    EXPECT_EQ(sortedFiles(platform.appDir), (QStringList{"Other.8xp", "Video.8xp", "Video.8xp.bak", "Video.bin"}));
    EXPECT_EQ(readAll(app(QStringLiteral("Video.8xp"))), QByteArray("new"));

    StaleProgram none;
    EXPECT_FALSE(RemoveStaleProgram(files, root.filePath(QStringLiteral("missing")), QStringLiteral("Video"), none));
    none.restore();
}

TEST_F(ProgramBuildTest, AProgramLeftAsideByAnUnfinishedRunIsKeptUntilANewOneIsInPlace)
{
    // A run that ended in the middle left the only copy aside.
    writeAll(app(QStringLiteral("Video.8xp.previous")), "users program");
    StaleProgram stale;
    ASSERT_FALSE(RemoveStaleProgram(files, platform.appDir, QStringLiteral("Video"), stale));
    EXPECT_EQ(stale.names(), QStringList{"Video.8xp"});
    stale.restore();
    EXPECT_EQ(readAll(app(QStringLiteral("Video.8xp"))), QByteArray("users program"));
    EXPECT_FALSE(QFile::exists(app(QStringLiteral("Video.8xp.previous"))));

    // Beside a program file the aside copy is the older one and goes.
    writeAll(app(QStringLiteral("Video.8xp.previous")), "older");
    ASSERT_FALSE(RemoveStaleProgram(files, platform.appDir, QStringLiteral("Video"), stale));
    EXPECT_EQ(readAll(app(QStringLiteral("Video.8xp.previous"))), QByteArray("users program"));
    stale.restore();
    EXPECT_EQ(sortedFiles(platform.appDir), QStringList{"Video.8xp"});
}

TEST_F(ProgramBuildTest, IntermediatesOfEarlierRunsAreGoneBeforeTheToolsStart)
{
    for (const char* name : {"Video.bin", "VIDEO.BIN", "video.8xp", "Other.bin"}) {
        writeAll(app(QString::fromLatin1(name)), "earlier");
    }
    QStringList seenByTools;
    builds.action = [&] { seenByTools = sortedFiles(platform.appDir); };
    builds.fails = true;
    EXPECT_EQ(build().status, BuildOutcome::Status::NotBuilt);
    EXPECT_EQ(seenByTools, (QStringList{"Compile.bat", "Other.bin"}));
}

TEST_F(ProgramBuildTest, AFailingToolIsNotBuiltEvenWhenAProgramFileAppears)
{
    // An assembler that fails after an older image was packed, say.
    toolsWrite(QStringLiteral("Video.8xp"));
    builds.fails = true;
    builds.output = QStringLiteral("VID.z80:3: error: unknown mnemonic\nTASM ended with exit status 1.\n");
    const BuildOutcome outcome = build();
    EXPECT_EQ(outcome.status, BuildOutcome::Status::NotBuilt);
    EXPECT_TRUE(outcome.toolOutput.endsWith(QStringLiteral("TASM ended with exit status 1."))) << outcome.toolOutput.toStdString();
    EXPECT_FALSE(QFile::exists(out(QStringLiteral("video.8xp"))));
}

TEST_F(ProgramBuildTest, AnUnwritableBatchIsNotBuiltAndNothingStarts)
{
    files.failWrites = true;
    const BuildOutcome outcome = build();
    EXPECT_EQ(outcome.status, BuildOutcome::Status::NotBuilt);
    EXPECT_EQ(outcome.toolOutput, nativePath(app(QStringLiteral("Compile.bat"))) + QStringLiteral(": Disk full"));
    EXPECT_EQ(builds.starts, 0);
}

TEST_F(ProgramBuildTest, WritesTheBatchAndStartsItInTheApplicationFolder)
{
    toolsWrite(QStringLiteral("Video.8xp"));
    build();
    EXPECT_EQ(readAll(app(QStringLiteral("Compile.bat"))), CompileBatchText(platform.appDir, QStringLiteral("Video")));
    EXPECT_EQ(builds.startedBatch, app(QStringLiteral("Compile.bat")));
    EXPECT_EQ(builds.startedIn, platform.appDir);
}

TEST_F(ProgramBuildTest, CopiesTheFoundFileUnderItsLowerCaseName)
{
    toolsWrite(QStringLiteral("VIDEO.8XP"), "built program");
    writeAll(out(QStringLiteral("video.8xp")), "older program");
    const BuildOutcome outcome = build();
    ASSERT_EQ(outcome.status, BuildOutcome::Status::Delivered);
    EXPECT_EQ(outcome.deliveredPath, out(QStringLiteral("video.8xp")));
    EXPECT_EQ(readAll(out(QStringLiteral("video.8xp"))), QByteArray("built program"));
    EXPECT_TRUE(QFile::exists(app(QStringLiteral("VIDEO.8XP"))));
}

TEST_F(ProgramBuildTest, SameFolderSpelledDifferentlyIsNotCopiedOntoItself)
{
    toolsWrite(QStringLiteral("Video.8xp"), "built program");
    for (const QString& spelling : {platform.appDir, platform.appDir + QLatin1Char('/'),
                                    platform.appDir + QStringLiteral("/../app")}) {
        vars.OutDir = spelling;
        const BuildOutcome outcome = build();
        ASSERT_EQ(outcome.status, BuildOutcome::Status::Delivered) << spelling.toStdString();
        EXPECT_EQ(outcome.deliveredPath, app(QStringLiteral("Video.8xp")));
        EXPECT_EQ(readAll(app(QStringLiteral("Video.8xp"))), QByteArray("built program"));
        EXPECT_FALSE(QFile::exists(app(QStringLiteral("video.8xp"))));
    }
}

TEST_F(ProgramBuildTest, NoProgramFileReportsTheLastLinesOfOutput)
{
    QString output;
    for (int i = 1; i <= 20; ++i) {
        output += QStringLiteral("line %1\r\n\r\n").arg(i);
    }
    builds.output = output;
    builds.fails = true;
    const BuildOutcome outcome = build();
    EXPECT_EQ(outcome.status, BuildOutcome::Status::NotBuilt);
    const QStringList lines = outcome.toolOutput.split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 15);
    EXPECT_EQ(lines.first(), QStringLiteral("line 6"));
    EXPECT_EQ(lines.last(), QStringLiteral("line 20"));
}

TEST_F(ProgramBuildTest, ToolsThatSucceedWithoutTheProgramFileAreNotBuilt)
{
    toolsWrite(QStringLiteral("Other.8xp"));
    const BuildOutcome outcome = build();
    EXPECT_EQ(outcome.status, BuildOutcome::Status::NotBuilt);
    EXPECT_TRUE(outcome.toolOutput.endsWith(QStringLiteral("No Video.8xp was made."))) << outcome.toolOutput.toStdString();
}

TEST_F(ProgramBuildTest, HangingBuildIsEndedAfterTheTimeout)
{
    builds.hangs = true;
    toolsWrite(QStringLiteral("Video.8xp"));  // even a file written meanwhile does not count
    const BuildOutcome outcome = build();
    EXPECT_EQ(outcome.status, BuildOutcome::Status::NotBuilt);
    EXPECT_TRUE(builds.terminated);
    EXPECT_TRUE(outcome.toolOutput.contains(QStringLiteral("stopped"))) << outcome.toolOutput.toStdString();
    EXPECT_GT(window.yieldCount, 1);  // the window stayed live while waiting
}

TEST_F(ProgramBuildTest, FailedCopyKeepsTheOlderFileAndNamesTheFile)
{
    toolsWrite(QStringLiteral("Video.8xp"), "new");
    writeAll(out(QStringLiteral("video.8xp")), "older program");
    files.writesLeft = 1;  // the batch, and no more
    BuildOutcome outcome = build();
    EXPECT_EQ(outcome.status, BuildOutcome::Status::NotCopied);
    EXPECT_EQ(outcome.toolOutput, nativePath(out(QStringLiteral("video.8xp"))) + QStringLiteral(": Disk full"));
    EXPECT_EQ(sortedFiles(vars.OutDir), QStringList{"video.8xp"});
    EXPECT_EQ(readAll(out(QStringLiteral("video.8xp"))), QByteArray("older program"));

    files.writesLeft = -1;
    vars.OutDir = root.filePath(QStringLiteral("no/such/folder"));
    outcome = build();
    EXPECT_EQ(outcome.status, BuildOutcome::Status::NotCopied);
    EXPECT_TRUE(outcome.toolOutput.startsWith(nativePath(out(QStringLiteral("video.8xp"))) + QStringLiteral(": ")))
        << outcome.toolOutput.toStdString();
}

}  // namespace
}  // namespace zoetra::test
