#include "platform/BatchRunner.h"
#include "platform/BatchScript.h"
#include "platform/QtBuildLauncher.h"
#include "support/TestSupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace zoetra {
namespace {

using Kind = BatchLine::Kind;

TEST(BatchScript, ParsesTheThreeKindsOfLine)
{
    BatchLine cd = parseBatchLine(QStringLiteral("CD C:\\Program Files\\Zoetra\r"));
    EXPECT_EQ(cd.kind, Kind::ChangeFolder);
    EXPECT_EQ(cd.folder, QStringLiteral("C:\\Program Files\\Zoetra"));

    BatchLine run = parseBatchLine(QStringLiteral("TASM -80 -i -b VID.z80 Video.bin \r"));
    EXPECT_EQ(run.kind, Kind::Run);
    EXPECT_EQ(run.program, QStringLiteral("TASM"));
    EXPECT_EQ(run.arguments, (QStringList{"-80", "-i", "-b", "VID.z80", "Video.bin"}));

    // An empty program name leaves ".bin" as the file argument, and nothing
    // after DEVPAC8X.
    EXPECT_EQ(parseBatchLine(QStringLiteral("TASM -80 -i -b VID.z80 .bin ")).arguments.last(), QStringLiteral(".bin"));
    BatchLine bare = parseBatchLine(QStringLiteral("DEVPAC8X "));
    EXPECT_EQ(bare.program, QStringLiteral("DEVPAC8X"));
    EXPECT_TRUE(bare.arguments.isEmpty());

    for (const char* nothing : {"", "\r", "   \t ", "REM a remark", "rem", ":: label", "@"}) {
        EXPECT_EQ(parseBatchLine(QString::fromLatin1(nothing)).kind, Kind::Nothing) << nothing;
    }
    EXPECT_EQ(parseBatchLine(QStringLiteral("cd   /tmp  ")).folder, QStringLiteral("/tmp"));
    EXPECT_EQ(parseBatchLine(QStringLiteral("CDROM x")).kind, Kind::Run);
    EXPECT_EQ(parseBatchLine(QStringLiteral("@echo\toff")).arguments, QStringList{"off"});
}

TEST(BatchScript, SplitsAFileAtLineFeeds)
{
    const std::vector<BatchLine> lines = parseBatch("CD /tmp\r\nTASM a\r\n\r\nDEVPAC8X b\nlast");
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].kind, Kind::ChangeFolder);
    EXPECT_EQ(lines[1].program, QStringLiteral("TASM"));
    EXPECT_EQ(lines[2].arguments, QStringList{"b"});
    EXPECT_EQ(lines[3].program, QStringLiteral("last"));
}

#ifndef _WIN32
class BatchRunnerTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(app.isValid() && work.isValid()); }

    void tool(const QString& name, const QByteArray& script)
    {
        const QString path = app.filePath(name);
        test::writeAll(path, "#!/bin/sh\n" + script);
        QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner);
    }

    std::unique_ptr<BuildProcess> run(const QByteArray& batch)
    {
        test::writeAll(app.filePath(QStringLiteral("Compile.bat")), batch);
        QtBuildLauncher launcher(app.path());
        return launcher.start(app.filePath(QStringLiteral("Compile.bat")), work.path());
    }

    static bool finish(BuildProcess& process, int limitMs = 10000)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < limitMs) {
            if (process.waitForEnd(20)) {
                return true;
            }
        }
        return false;
    }

    QTemporaryDir app;
    QTemporaryDir work;
};

TEST_F(BatchRunnerTest, RunsEveryLineInTheFolderOfTheLastCd)
{
    tool(QStringLiteral("FIRST"), "pwd > first.txt; echo \"args:$*\"\n");
    tool(QStringLiteral("SECOND"), "echo second ran > second.txt\n");
    auto process = run("CD " + work.path().toLocal8Bit() + "\r\nFIRST a  b\r\nSECOND\r\n\r\n");
    ASSERT_TRUE(finish(*process));
    EXPECT_TRUE(process->succeeded());
    EXPECT_EQ(test::readAll(work.filePath(QStringLiteral("first.txt"))).trimmed(), work.path().toLocal8Bit());
    EXPECT_EQ(test::readAll(work.filePath(QStringLiteral("second.txt"))), QByteArray("second ran\n"));
    EXPECT_TRUE(process->output().contains(QStringLiteral("args:a b")));
}

TEST_F(BatchRunnerTest, StopsAtTheFirstToolThatFails)
{
    // An assembler that fails must not leave the packager to pack an
    // image an earlier run left.
    tool(QStringLiteral("FIRST"), "echo first failed; exit 3\n");
    tool(QStringLiteral("CRASH"), "kill -SEGV $$\n");
    tool(QStringLiteral("SECOND"), "echo second ran > second.txt\n");
    auto failing = run("FIRST\r\nSECOND\r\n");
    ASSERT_TRUE(finish(*failing));
    EXPECT_FALSE(failing->succeeded());
    EXPECT_FALSE(QFile::exists(work.filePath(QStringLiteral("second.txt"))));
    EXPECT_TRUE(failing->output().endsWith(QStringLiteral("first failed\nFIRST ended with exit status 3.\n")))
        << failing->output().toStdString();

    auto crashing = run("CRASH\r\nSECOND\r\n");
    ASSERT_TRUE(finish(*crashing));
    EXPECT_FALSE(crashing->succeeded());
    EXPECT_FALSE(QFile::exists(work.filePath(QStringLiteral("second.txt"))));
    EXPECT_TRUE(crashing->output().contains(QStringLiteral("CRASH ended abnormally"))) << crashing->output().toStdString();
}

TEST_F(BatchRunnerTest, ApplicationFolderComesBeforePath)
{
    // "true" exists on PATH; the application folder's own copy must win.
    tool(QStringLiteral("true"), "echo local > local.txt\n");
    auto process = run("true\r\n");
    ASSERT_TRUE(finish(*process));
    EXPECT_TRUE(QFile::exists(work.filePath(QStringLiteral("local.txt"))));
}

TEST_F(BatchRunnerTest, AMissingFolderOrCommandStopsTheBatch)
{
    tool(QStringLiteral("LAST"), "echo done > done.txt\n");
    const struct {
        QByteArray line;
        QString said;
    } cases[] = {{"CD /no/such/folder", QStringLiteral("/no/such/folder")}, {"NOSUCHTOOL x", QStringLiteral("NOSUCHTOOL")}};
    for (const auto& c : cases) {
        auto process = run(c.line + "\r\nLAST\r\n");
        ASSERT_TRUE(finish(*process));
        EXPECT_FALSE(process->succeeded());
        EXPECT_TRUE(process->output().contains(c.said)) << process->output().toStdString();
        EXPECT_FALSE(QFile::exists(work.filePath(QStringLiteral("done.txt")))) << c.line.constData();
    }
}

TEST_F(BatchRunnerTest, HangingToolCanBeEnded)
{
    tool(QStringLiteral("HANG"), "exec sleep 600\n");
    tool(QStringLiteral("AFTER"), "touch after.txt\n");
    auto process = run("HANG\r\nAFTER\r\n");
    EXPECT_FALSE(process->waitForEnd(100));
    process->terminate();
    EXPECT_TRUE(process->waitForEnd(0));
    EXPECT_FALSE(process->succeeded());
    EXPECT_FALSE(QFile::exists(work.filePath(QStringLiteral("after.txt"))));
}

TEST_F(BatchRunnerTest, UnreadableBatchHasEndedAtOnce)
{
    QtBuildLauncher launcher(app.path());
    auto process = launcher.start(app.filePath(QStringLiteral("missing.bat")), work.path());
    EXPECT_TRUE(process->waitForEnd(0));
    EXPECT_FALSE(process->succeeded());
    EXPECT_TRUE(process->output().contains(QStringLiteral("missing.bat")));
}
#endif

}  // namespace
}  // namespace zoetra
