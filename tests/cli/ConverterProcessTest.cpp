// The headless converter run as a process, from its own application folder.
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace zoetra::test {
namespace {

class ConverterProcess : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        QDir(root.path()).mkdir(QStringLiteral("app"));
        QDir(root.path()).mkdir(QStringLiteral("out"));
        app = root.filePath(QStringLiteral("app"));
        out = root.filePath(QStringLiteral("out"));
        exe = QDir(app).filePath(QStringLiteral("zoetra2-convert"));
        ASSERT_TRUE(QFile::copy(QStringLiteral(ZOETRA_CONVERT_EXE), exe));
        ASSERT_TRUE(copySamples(app));
    }

    int run(const QStringList& arguments)
    {
        QProcess process;
        process.setWorkingDirectory(out);
        process.start(exe, arguments);
        EXPECT_TRUE(process.waitForFinished(60000));
        stdOut = QString::fromLocal8Bit(process.readAllStandardOutput());
        stdErr = QString::fromLocal8Bit(process.readAllStandardError());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    QTemporaryDir root;
    QString app, out, exe;
    QString stdOut, stdErr;
};

TEST_F(ConverterProcess, VersionAndHelp)
{
    EXPECT_EQ(run({QStringLiteral("--version")}), 0);
    EXPECT_EQ(stdOut.trimmed(), QStringLiteral("Zoetra2 2.00"));
    EXPECT_EQ(run({QStringLiteral("--help")}), 0);
    for (const char* option : {"--source", "--output", "--name", "--description", "--shell", "--no-looping",
                               "--quality", "--black", "--white", "--channel", "--no-dither", "--auto", "--preview",
                               "--preview-scale", "--play"}) {
        EXPECT_TRUE(stdOut.contains(QLatin1String(option))) << option;
    }
}

TEST_F(ConverterProcess, BadOptionsStopBeforeAnythingIsTouched)
{
    const QList<QStringList> bad = {
        // The quality reads as the window's slider: -10..0.
        {QStringLiteral("--quality"), QStringLiteral("-11")},
        {QStringLiteral("--quality"), QStringLiteral("5")},
        {QStringLiteral("--source"), QStringLiteral("/")},
        {QStringLiteral("--output"), QStringLiteral("/")},
        {QStringLiteral("--black"), QStringLiteral("lots")},
        {QStringLiteral("--shell"), QStringLiteral("DoorsCS")},
        {QStringLiteral("--channel"), QStringLiteral("purple")},
        {QStringLiteral("--source"), root.filePath(QStringLiteral("none"))},
        {QStringLiteral("--output"), root.filePath(QStringLiteral("none"))},
        {QStringLiteral("--frobnicate")},
        {QStringLiteral("stray")},
#ifdef ZOETRA_HAVE_GIF
        // The preview: a GIF in an existing folder, a scale of 1..10, and
        // --play only to record an existing program file.
        {QStringLiteral("--preview"), root.filePath(QStringLiteral("none/preview.gif"))},
        {QStringLiteral("--preview"), QStringLiteral("p.gif"), QStringLiteral("--preview-scale"), QStringLiteral("0")},
        {QStringLiteral("--preview"), QStringLiteral("p.gif"), QStringLiteral("--preview-scale"), QStringLiteral("11")},
        {QStringLiteral("--preview-scale"), QStringLiteral("2")},
        {QStringLiteral("--play"), exe},
        {QStringLiteral("--play"), root.filePath(QStringLiteral("none.8xp")), QStringLiteral("--preview"), QStringLiteral("p.gif")},
        {QStringLiteral("--play"), exe, QStringLiteral("--preview"), QStringLiteral("p.gif"), QStringLiteral("--shell"), QStringLiteral("Ion")},
#endif
    };
    for (const QStringList& arguments : bad) {
        EXPECT_EQ(run(arguments), 2) << arguments.join(' ').toStdString();
        EXPECT_TRUE(stdErr.startsWith(QStringLiteral("zoetra2-convert: "))) << stdErr.toStdString();
        EXPECT_TRUE(stdOut.isEmpty());
    }
    EXPECT_FALSE(QFile::exists(QDir(app).filePath(QStringLiteral("VarFile.var"))));
    EXPECT_TRUE(QDir(out).entryList(QDir::Files).isEmpty());
}

TEST_F(ConverterProcess, RefusedNameIsAMessageAndAFailure)
{
    EXPECT_EQ(run({QStringLiteral("--name"), QStringLiteral("LongerThan8")}), 1);
    EXPECT_EQ(stdErr.trimmed(), QStringLiteral("Error: Filename must be 8 or less characters!"));
    EXPECT_FALSE(QFile::exists(QDir(app).filePath(QStringLiteral("VarFile.var"))));
}

TEST_F(ConverterProcess, WithoutTheToolsTheBuildErrorIsReported)
{
    EXPECT_EQ(run({QStringLiteral("--shell"), QStringLiteral("NoShell"), QStringLiteral("--no-looping")}), 1);
    EXPECT_TRUE(stdErr.contains(QStringLiteral("Error: The calculator program could not be built!"))) << stdErr.toStdString();
    EXPECT_TRUE(stdErr.contains(QStringLiteral("TASM"))) << stdErr.toStdString();
    EXPECT_TRUE(stdOut.isEmpty()) << stdOut.toStdString();
    EXPECT_EQ(readAll(QDir(app).filePath(QStringLiteral("VarFile.var"))), QByteArray("\r\n#define NOSHELL\r\n"));
    const QByteArray data = readAll(QDir(app).filePath(QStringLiteral("Video.dat")));
    EXPECT_TRUE(data.startsWith("\r\n.db  "));
    EXPECT_TRUE(data.endsWith("\r\n.db  254\r\n"));
    EXPECT_TRUE(QDir(out).entryList(QDir::Files).isEmpty());
}

}  // namespace
}  // namespace zoetra::test
