// Conversions in separate processes that share one application folder: each
// either delivers its own program or says the folder is busy, and a lock left
// by a process that was killed does not block the next run.
#include "PlayerFixture.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>

namespace playertest {
namespace {

const QString BusyMessage =
    QStringLiteral("Error: Another conversion is using the application folder! Try again when it has finished.");

class SharedApplicationFolder : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        ASSERT_TRUE(QFile::copy(QStringLiteral(ZOETRA_CONVERT_EXE), folder.filePath(QStringLiteral("zoetra2-convert"))));
        // Two sources that give different programs: all 48 sample frames,
        // and the first 12 of them.
        for (const char* name : {"long", "short", "outLong", "outShort"}) {
            ASSERT_TRUE(QDir(root.path()).mkdir(QLatin1String(name)));
        }
        ASSERT_TRUE(zoetra::test::copySamples(path("long")));
        ASSERT_TRUE(zoetra::test::copySamples(path("short"), 12));
    }

    QString path(const char* name) const { return root.filePath(QLatin1String(name)); }

    std::unique_ptr<QProcess> start(const char* source, const char* out) const
    {
        auto process = std::make_unique<QProcess>();
        process->setWorkingDirectory(root.path());
        process->start(folder.filePath(QStringLiteral("zoetra2-convert")),
                       {QStringLiteral("--source"), path(source), QStringLiteral("--output"), path(out)});
        return process;
    }

    struct Result {
        int status = -1;
        QString errors;
        QByteArray program;
    };

    static Result finish(QProcess& process, const QString& out)
    {
        Result result;
        EXPECT_TRUE(process.waitForFinished(120000));
        result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        result.errors = QString::fromLocal8Bit(process.readAllStandardError());
        const QString file = QDir(out).filePath(QStringLiteral("video.8xp"));
        result.program = zoetra::test::readAll(file);
        QFile::remove(file);
        return result;
    }

    Result runAlone(const char* source, const char* out) const
    {
        auto process = start(source, out);
        return finish(*process, path(out));
    }

    AppFolder folder;
    QTemporaryDir root;
};

TEST_F(SharedApplicationFolder, EachOfTwoSimultaneousRunsDeliversItsOwnProgramOrSaysTheFolderIsBusy)
{
    const Result longAlone = runAlone("long", "outLong");
    const Result shortAlone = runAlone("short", "outShort");
    ASSERT_EQ(longAlone.status, 0) << longAlone.errors.toStdString();
    ASSERT_EQ(shortAlone.status, 0) << shortAlone.errors.toStdString();
    ASSERT_NE(longAlone.program, shortAlone.program);

    int delivered = 0;
    int busy = 0;
    for (int round = 0; round < 25; ++round) {
        SCOPED_TRACE(round);
        auto first = start("long", "outLong");
        // The second start falls at a different moment of the first run in
        // each round.
        QThread::usleep(static_cast<unsigned long>(round % 5) * 15000);
        auto second = start("short", "outShort");
        const Result results[] = {finish(*first, path("outLong")), finish(*second, path("outShort"))};
        const QByteArray* expected[] = {&longAlone.program, &shortAlone.program};
        for (int k = 0; k < 2; ++k) {
            const Result& r = results[k];
            if (r.status == 0) {
                ++delivered;
                EXPECT_EQ(r.program, *expected[k]) << "a success is only ever this run's own program";
            } else {
                ++busy;
                EXPECT_EQ(r.status, 1) << r.errors.toStdString();
                EXPECT_TRUE(r.errors.contains(BusyMessage)) << r.errors.toStdString();
                EXPECT_TRUE(r.program.isEmpty());
            }
        }
    }
    EXPECT_GE(delivered, 25);  // at least one of each pair
    EXPECT_GT(busy, 0) << "the runs never met: the test proves nothing";
}

TEST_F(SharedApplicationFolder, ALockLeftByAKilledRunIsTakenOver)
{
    // An assembler that never ends keeps the run in its build.
    const QString tasm = folder.filePath(QStringLiteral("TASM"));
    const QString realTasm = folder.filePath(QStringLiteral("TASM.real"));
    ASSERT_TRUE(QFile::rename(tasm, realTasm));
    zoetra::test::writeAll(tasm, "#!/bin/sh\necho $$ > tasm.pid\nexec sleep 600\n");
    QFile::setPermissions(tasm, QFile::permissions(realTasm));

    auto killed = start("short", "outShort");
    ASSERT_TRUE(killed->waitForStarted());
    // Killed once its assembler runs (a kill before would leave no
    // assembler to end, and a pid of 0 would end the whole process group).
    const QString pidFile = folder.filePath(QStringLiteral("tasm.pid"));
    for (int i = 0; i < 3000 && zoetra::test::readAll(pidFile).trimmed().toInt() <= 0; ++i) {
        QThread::msleep(10);
    }
    const pid_t assembler = static_cast<pid_t>(zoetra::test::readAll(pidFile).trimmed().toInt());
    ASSERT_GT(assembler, 0);
    ::kill(static_cast<pid_t>(killed->processId()), SIGKILL);
    ASSERT_TRUE(killed->waitForFinished(10000));
    // The orphaned assembler is ours to end.
    ::kill(assembler, SIGKILL);
    ASSERT_TRUE(QFile::exists(folder.filePath(QStringLiteral("Conversion.lock"))));

    ASSERT_TRUE(QFile::remove(tasm));
    ASSERT_TRUE(QFile::rename(realTasm, tasm));
    const Result next = runAlone("short", "outShort");
    EXPECT_EQ(next.status, 0) << next.errors.toStdString();
    EXPECT_FALSE(next.program.isEmpty());
}

}  // namespace
}  // namespace playertest
