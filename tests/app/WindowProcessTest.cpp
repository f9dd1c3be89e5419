// zoetra2 as a process from an application folder of its own: the version,
// and closing the window at start-up and in the middle of a conversion.
#include "support/TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#ifdef Q_OS_UNIX
#include <csignal>
#endif

#include <gtest/gtest.h>

namespace zoetra::test {
namespace {

class WindowProcess : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        QDir(root.path()).mkdir(QStringLiteral("app"));
        QDir(root.path()).mkdir(QStringLiteral("out"));
        app = root.filePath(QStringLiteral("app"));
        out = root.filePath(QStringLiteral("out"));
        exe = QDir(app).filePath(QStringLiteral("zoetra2" ZOETRA_EXE_SUFFIX));
        ASSERT_TRUE(QFile::copy(QStringLiteral(ZOETRA_WINDOW_EXE), exe));
    }

    int run(const QStringList& arguments)
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(out);
        process.start(exe, arguments);
        EXPECT_TRUE(process.waitForFinished(60000));
        stdOut = QString::fromLocal8Bit(process.readAllStandardOutput());
        stdErr = QString::fromLocal8Bit(process.readAllStandardError());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    QByteArray saved(const QString& folder) const
    {
        return "\"" + QDir::toNativeSeparators(folder).toLocal8Bit() + "\"\r\n";
    }

    QTemporaryDir root;
    QString app, out, exe;
    QString stdOut, stdErr;
};

TEST_F(WindowProcess, VersionNeedsNoDisplay)
{
    EXPECT_EQ(run({QStringLiteral("--version")}), 0);
    EXPECT_EQ(stdOut.trimmed(), QStringLiteral("Zoetra2 2.00"));
    EXPECT_FALSE(QFile::exists(QDir(app).filePath(QStringLiteral("LastDir.cfg"))));
    EXPECT_EQ(run({QStringLiteral("--no-such-option")}), 2);
}

TEST_F(WindowProcess, ClosingAtStartUpSavesBothFolders)
{
    EXPECT_EQ(run({QStringLiteral("--test-close"), QStringLiteral("start")}), 0) << stdErr.toStdString();
    EXPECT_EQ(readAll(QDir(app).filePath(QStringLiteral("LastDir.cfg"))), saved(app));
    EXPECT_EQ(readAll(QDir(app).filePath(QStringLiteral("OutDir.cfg"))), saved(app));

    // A saved source folder that has gone is replaced, and saved so.
    writeAll(QDir(app).filePath(QStringLiteral("LastDir.cfg")), saved(root.filePath(QStringLiteral("gone"))));
    writeAll(QDir(app).filePath(QStringLiteral("OutDir.cfg")), saved(out));
    EXPECT_EQ(run({QStringLiteral("--test-close"), QStringLiteral("start")}), 0) << stdErr.toStdString();
    EXPECT_EQ(readAll(QDir(app).filePath(QStringLiteral("LastDir.cfg"))), saved(app));
    EXPECT_EQ(readAll(QDir(app).filePath(QStringLiteral("OutDir.cfg"))), saved(out));
}

TEST_F(WindowProcess, TerminationSignalsEndItAsClosingTheWindowDoes)
{
#ifdef Q_OS_UNIX
    for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
        SCOPED_TRACE(signal);
        QFile::remove(QDir(app).filePath(QStringLiteral("LastDir.cfg")));
        QFile::remove(QDir(app).filePath(QStringLiteral("OutDir.cfg")));
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process.setProcessEnvironment(environment);
        process.start(exe, {});
        ASSERT_TRUE(process.waitForStarted());
        // Until the program catches the signal, it would simply die of it.
        const QString status = QStringLiteral("/proc/%1/status").arg(process.processId());
        const unsigned long long bit = 1ull << (signal - 1);
        bool catching = false;
        for (int i = 0; i < 1000 && !catching; ++i) {
            for (const QByteArray& line : readAll(status).split('\n')) {
                if (line.startsWith("SigCgt:")) {
                    catching = (line.mid(7).trimmed().toULongLong(nullptr, 16) & bit) != 0;
                }
            }
            if (!catching) {
                QThread::msleep(10);
            }
        }
        ASSERT_TRUE(catching);
        ::kill(static_cast<pid_t>(process.processId()), signal);
        ASSERT_TRUE(process.waitForFinished(30000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 0);
        EXPECT_EQ(readAll(QDir(app).filePath(QStringLiteral("LastDir.cfg"))), saved(app));
        EXPECT_EQ(readAll(QDir(app).filePath(QStringLiteral("OutDir.cfg"))), saved(app));
    }
#else
    GTEST_SKIP() << "no termination signals on this platform";
#endif
}

TEST_F(WindowProcess, OpenedWithAFolderItStartsThereAndAnythingElseIsRefused)
{
    const QString frames = root.filePath(QStringLiteral("my frames"));
    ASSERT_TRUE(QDir().mkpath(frames));
    EXPECT_EQ(run({frames, QStringLiteral("--test-close"), QStringLiteral("start")}), 0) << stdErr.toStdString();
    EXPECT_EQ(readAll(QDir(app).filePath(QStringLiteral("LastDir.cfg"))), saved(frames));

    // A file that is no folder: a message, and the window as usual.
    const QString notes = root.filePath(QStringLiteral("notes.txt"));
    writeAll(notes, "not frames");
    EXPECT_EQ(run({notes, QStringLiteral("--test-close"), QStringLiteral("start")}), 0) << stdErr.toStdString();
    EXPECT_TRUE(stdErr.contains(QStringLiteral("Error: Error: ") + QDir::toNativeSeparators(notes) +
                                QStringLiteral(" cannot be opened")))
        << stdErr.toStdString();
    EXPECT_EQ(readAll(QDir(app).filePath(QStringLiteral("LastDir.cfg"))), saved(frames));
    EXPECT_EQ(run({QStringLiteral("/"), QStringLiteral("--test-close"), QStringLiteral("start")}), 0);
    EXPECT_TRUE(stdErr.contains(QStringLiteral("root level"))) << stdErr.toStdString();
    EXPECT_EQ(run({frames, notes}), 2);
}

TEST_F(WindowProcess, ClosingDuringARunEndsItAtOnce)
{
    ASSERT_TRUE(copySamples(app));
    // Until an output folder is chosen the program lies here: the user's
    // only copy, which the run cut short must leave in place.
    writeAll(QDir(app).filePath(QStringLiteral("Video.8xp")), "earlier program");
    writeAll(QDir(app).filePath(QStringLiteral("OutDir.cfg")), saved(out));
    EXPECT_EQ(run({QStringLiteral("--test-close"), QStringLiteral("5")}), 0) << stdErr.toStdString();
    EXPECT_EQ(readAll(QDir(app).filePath(QStringLiteral("LastDir.cfg"))), saved(app));
    EXPECT_EQ(readAll(QDir(app).filePath(QStringLiteral("OutDir.cfg"))), saved(out));
    // The run had begun and wrote its configuration, and went no further:
    // no video data, no build, no closing message.
    EXPECT_TRUE(QFile::exists(QDir(app).filePath(QStringLiteral("VarFile.var"))));
    EXPECT_FALSE(QFile::exists(QDir(app).filePath(QStringLiteral("Video.dat"))));
    EXPECT_FALSE(QFile::exists(QDir(app).filePath(QStringLiteral("Compile.bat"))));
    EXPECT_TRUE(stdErr.indexOf(QStringLiteral("Error")) < 0 && stdErr.indexOf(QStringLiteral("Zoetra2:")) < 0)
        << stdErr.toStdString();
    EXPECT_TRUE(QDir(out).entryList(QDir::Files).isEmpty());
    EXPECT_EQ(readAll(QDir(app).filePath(QStringLiteral("Video.8xp"))), QByteArray("earlier program"));
    EXPECT_FALSE(QFile::exists(QDir(app).filePath(QStringLiteral("Video.8xp.previous"))));
}

// Closing while the video data is written, and while the build runs: the
// process still ends at once, with status 0 and both folders saved.
class ClosingInAPhase : public WindowProcess, public testing::WithParamInterface<const char*> {};

TEST_P(ClosingInAPhase, EndsAtOnceAndSavesBothFolders)
{
    const QString phase = QLatin1String(GetParam());
    ASSERT_TRUE(copySamples(app));
    writeAll(QDir(app).filePath(QStringLiteral("OutDir.cfg")), saved(out));
#ifndef Q_OS_WIN
    // A build that would take far longer than the test waits.
    const QString tasm = QDir(app).filePath(QStringLiteral("TASM"));
    writeAll(tasm, "#!/bin/sh\nexec sleep 20 </dev/null >/dev/null 2>&1\n");
    QFile::setPermissions(tasm, QFile::permissions(tasm) | QFileDevice::ExeOwner);
#endif
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(run({QStringLiteral("--test-close"), phase}), 0) << stdErr.toStdString();
    EXPECT_LT(clock.elapsed(), 15000) << "the program waited for the build";
    EXPECT_EQ(readAll(QDir(app).filePath(QStringLiteral("LastDir.cfg"))), saved(app));
    EXPECT_EQ(readAll(QDir(app).filePath(QStringLiteral("OutDir.cfg"))), saved(out));
    EXPECT_TRUE(QFile::exists(QDir(app).filePath(QStringLiteral("VarFile.var"))));
    if (phase == QLatin1String("video")) {
        EXPECT_FALSE(QFile::exists(QDir(app).filePath(QStringLiteral("Video.dat"))));
        EXPECT_FALSE(QFile::exists(QDir(app).filePath(QStringLiteral("Compile.bat"))));
    } else {
        EXPECT_TRUE(QFile::exists(QDir(app).filePath(QStringLiteral("Video.dat"))));
        EXPECT_TRUE(QFile::exists(QDir(app).filePath(QStringLiteral("Compile.bat"))));
    }
    EXPECT_TRUE(stdErr.indexOf(QStringLiteral("Error")) < 0 && stdErr.indexOf(QStringLiteral("Zoetra2:")) < 0)
        << stdErr.toStdString();
    EXPECT_TRUE(QDir(out).entryList(QDir::Files).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Window, ClosingInAPhase, testing::Values("video", "build"));

}  // namespace
}  // namespace zoetra::test
