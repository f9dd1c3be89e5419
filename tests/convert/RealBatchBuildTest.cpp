// The build step through the real batch runner, with shell scripts standing
// in for the tools: what the user sees when a tool is missing, fails or hangs.
#include "convert/ConversionRun.h"
#include "platform/QtBuildLauncher.h"
#include "support/ConvertFixture.h"
#include "support/TestSupport.h"

#include <QElapsedTimer>
#include <QFile>

namespace zoetra::test {
namespace {

#ifndef _WIN32
class RealBatchBuildTest : public ConvertFixture {
protected:
    RealBatchBuildTest() : launcher(platform.appDir), realPlatform{window, files, pictures, launcher, random, platform.appDir}
    {
        run.buildOptions.timeoutMs = 1500;
        useFrames({filledFrame(1), filledFrame(2)});
    }

    void tool(const char* name, const QByteArray& script)
    {
        const QString path = app(QString::fromLatin1(name));
        writeAll(path, "#!/bin/sh\n" + script);
        QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner);
    }
    void goodTools()
    {
        tool("TASM", "test -f VID.z80 || { echo 'VID.z80: cannot open'; exit 1; }\n"
                     "cat VarFile.var Desc.txt Video.dat > \"$5\"\n");
        tool("DEVPAC8X", "test -f \"$1.bin\" || { echo \"$1.bin: no such file\"; exit 1; }\n"
                         "cp \"$1.bin\" \"$1.8xp\"\n");
        writeAll(app(QStringLiteral("VID.z80")), "; player\n");
    }

    QtBuildLauncher launcher;
    Platform realPlatform;
    ConversionRun run{vars, realPlatform};
};

TEST_F(RealBatchBuildTest, WorkingToolsDeliverTheProgram)
{
    goodTools();
    ASSERT_EQ(run.RunConversion().status, RunOutcome::Status::Delivered);
    const QByteArray program = readAll(out(QStringLiteral("video.8xp")));
    EXPECT_TRUE(program.startsWith("\r\n#define ION")) << program.left(40).toStdString();
    EXPECT_TRUE(program.endsWith("\r\n.db  254\r\n"));
    EXPECT_TRUE(window.messages.back().text.startsWith(QStringLiteral("Successfully converted!")));
}

TEST_F(RealBatchBuildTest, MissingToolsAndPlayerAreReportedWithTheirOutput)
{
    struct Case {
        const char* missing;
        const char* shown;
    };
    for (const Case c : {Case{"TASM", "'TASM' is not recognized"}, Case{"DEVPAC8X", "'DEVPAC8X' is not recognized"},
                         Case{"VID.z80", "VID.z80: cannot open"}}) {
        goodTools();
        QFile::remove(app(QStringLiteral("Video.bin")));
        QFile::remove(app(QString::fromLatin1(c.missing)));
        window.messages.clear();
        EXPECT_EQ(run.RunConversion().status, RunOutcome::Status::NotBuilt) << c.missing;
        ASSERT_EQ(window.messages.size(), 1u);
        const QString text = window.messages[0].text;
        EXPECT_TRUE(text.startsWith(QStringLiteral("Error: The calculator program could not be built!\r\n"))) << c.missing;
        EXPECT_TRUE(text.contains(QLatin1String(c.shown))) << text.toStdString();
        EXPECT_FALSE(QFile::exists(out(QStringLiteral("video.8xp"))));
    }
}

TEST_F(RealBatchBuildTest, AnEarlierRunsImageIsNeverPackedWhenTheAssemblerFails)
{
    goodTools();
    ASSERT_EQ(run.RunConversion().status, RunOutcome::Status::Delivered);
    ASSERT_TRUE(QFile::exists(app(QStringLiteral("Video.bin"))));
    ASSERT_TRUE(QFile::remove(out(QStringLiteral("video.8xp"))));

    for (const char* fault : {"missing", "failing"}) {
        SCOPED_TRACE(fault);
        if (QByteArray(fault) == "missing") {
            QFile::remove(app(QStringLiteral("TASM")));
        } else {
            tool("TASM", "echo 'VID.z80:7: error: unknown mnemonic'; exit 1\n");
        }
        window.messages.clear();
        EXPECT_EQ(run.RunConversion().status, RunOutcome::Status::NotBuilt);
        ASSERT_EQ(window.messages.size(), 1u);
        EXPECT_TRUE(window.messages[0].text.startsWith(ConversionRun::NotBuiltMessage)) << window.messages[0].text.toStdString();
        EXPECT_FALSE(QFile::exists(out(QStringLiteral("video.8xp"))));
        EXPECT_FALSE(QFile::exists(app(QStringLiteral("Video.bin"))));
    }
    EXPECT_TRUE(window.messages[0].text.endsWith(QStringLiteral("TASM ended with exit status 1.")))
        << window.messages[0].text.toStdString();
}

TEST_F(RealBatchBuildTest, HangingToolIsEndedWithinTheTimeout)
{
    goodTools();
    tool("TASM", "exec sleep 600\n");
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(run.RunConversion().status, RunOutcome::Status::NotBuilt);
    EXPECT_LT(clock.elapsed(), 10000);
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_TRUE(window.messages[0].text.contains(QStringLiteral("stopped after 1.5 s")));
    EXPECT_FALSE(QFile::exists(app(QStringLiteral("Video.8xp"))));
}
#endif

}  // namespace
}  // namespace zoetra::test
