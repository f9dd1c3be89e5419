// A signal that asks the program to end sets the flag and breaks off a
// blocking open, which would otherwise be restarted and wait on forever.
#include "platform/CancelSignals.h"
#include "platform/RemoveOnSignal.h"

#include <QtGlobal>

#include <gtest/gtest.h>

#ifdef Q_OS_UNIX
#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace zoetra {
namespace {

TEST(CancelSignals, EachSignalSetsTheFlagAndBreaksOffABlockingOpen)
{
    QTemporaryDir dir;
    const QByteArray fifo = (dir.path() + QStringLiteral("/pipe")).toLocal8Bit();
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);

    for (const int number : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(number);
        std::atomic<bool> flag{false};
        std::atomic<bool> opened{false};
        int result = 0;
        int error = 0;
        {
            CancelSignals cancelling(flag);
            const pthread_t self = pthread_self();
            std::thread sender([&] {
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                pthread_kill(self, number);
                // Should the open wait on after all, a writer ends it, so
                // that the test fails instead of hanging.
                for (int i = 0; i < 50 && !opened; ++i) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
                }
                if (!opened) {
                    const int fd = ::open(fifo.constData(), O_WRONLY | O_NONBLOCK);
                    if (fd >= 0) {
                        ::close(fd);
                    }
                }
            });
            result = ::open(fifo.constData(), O_RDONLY);  // no writer: blocks
            error = errno;
            opened = true;
            sender.join();
            if (result >= 0) {
                ::close(result);
            }
        }
        EXPECT_EQ(result, -1);
        EXPECT_EQ(error, EINTR);
        EXPECT_TRUE(flag.load());
        EXPECT_EQ(CancelSignals::received(), number);
    }

    // Once it is gone, the handler before it is back.
    struct sigaction now = {};
    ::sigaction(SIGTERM, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_DFL);
}

// A file being written when a signal ends the program goes with it.
TEST(RemoveOnSignal, EachSignalRemovesTheFileAndEndsTheProgramAsItWould)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral(".preview.gif.partial-0a1b2c"));
    for (const int number : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(number);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("half a GIF");
        file.close();
        EXPECT_EXIT(
            {
                const RemoveOnSignal removing(path);
                std::raise(number);
                std::_Exit(0);
            },
            testing::KilledBySignal(number), "");
        EXPECT_FALSE(QFile::exists(path));
    }
    {
        const RemoveOnSignal removing(path);
    }
    struct sigaction now = {};
    ::sigaction(SIGHUP, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_DFL);
}

}  // namespace
}  // namespace zoetra
#endif
