#include "ConvertFixture.h"

#include "convert/ProgramBuild.h"
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
        return BuildProgram(platform, name, vars.OutDir, options);
    }
};

TEST_F(ProgramBuildTest, RemoveStaleProgramDeletesEveryCaseVariantOnly)
{
    for (const char* name : {"Video.8xp", "VIDEO.8XP", "video.8xp", "Video.bin", "Other.8xp", "Video.8xp.bak"}) {
        writeAll(app(QString::fromLatin1(name)), "x");
    }
    RemoveStaleProgram(files, platform.appDir, QStringLiteral("Video"));
    QStringList left = QDir(platform.appDir).entryList(QDir::Files);
    left.sort();
    EXPECT_EQ(left, (QStringList{"Other.8xp", "Video.8xp.bak", "Video.bin"}));
    RemoveStaleProgram(files, root.filePath(QStringLiteral("missing")), QStringLiteral("Video"));  // no crash
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
    const BuildOutcome outcome = build();
    EXPECT_EQ(outcome.status, BuildOutcome::Status::NotBuilt);
    const QStringList lines = outcome.toolOutput.split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 15);
    EXPECT_EQ(lines.first(), QStringLiteral("line 6"));
    EXPECT_EQ(lines.last(), QStringLiteral("line 20"));
}

TEST_F(ProgramBuildTest, OtherProgramFilesDoNotEndTheWait)
{
    toolsWrite(QStringLiteral("Other.8xp"));
    EXPECT_EQ(build().status, BuildOutcome::Status::NotBuilt);
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

TEST_F(ProgramBuildTest, FailedCopyKeepsTheOlderFile)
{
    toolsWrite(QStringLiteral("Video.8xp"), "new");
    writeAll(out(QStringLiteral("video.8xp")), "older program");
    files.failCopies = true;
    EXPECT_EQ(build().status, BuildOutcome::Status::NotCopied);
    EXPECT_EQ(readAll(out(QStringLiteral("video.8xp"))), QByteArray("older program"));

    files.failCopies = false;
    vars.OutDir = root.filePath(QStringLiteral("no/such/folder"));
    EXPECT_EQ(build().status, BuildOutcome::Status::NotCopied);
}

}  // namespace
}  // namespace zoetra::test
