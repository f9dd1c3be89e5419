#include "platform/CancelSignals.h"

#include <QtGlobal>

#include <csignal>
#include <cstdlib>
#include <iterator>

namespace zoetra {

namespace {

std::atomic<std::atomic<bool>*> flagToSet{nullptr};
std::atomic<int> receivedSignal{0};

extern "C" void onCancelSignal(int number)
{
    receivedSignal.store(number);
    if (std::atomic<bool>* flag = flagToSet.load()) {
        flag->store(true);
    }
}

#ifdef Q_OS_UNIX
constexpr int Handled[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction previous[3];
#else
constexpr int Handled[] = {SIGINT, SIGTERM};
void (*previous[2])(int);
#endif

}  // namespace

CancelSignals::CancelSignals(std::atomic<bool>& flag)
{
    flagToSet.store(&flag);
    for (std::size_t i = 0; i < std::size(Handled); ++i) {
#ifdef Q_OS_UNIX
        // No SA_RESTART: a blocking call returns with EINTR.
        struct sigaction action = {};
        action.sa_handler = onCancelSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0;
        ::sigaction(Handled[i], &action, &previous[i]);
#else
        previous[i] = std::signal(Handled[i], onCancelSignal);
#endif
    }
}

CancelSignals::~CancelSignals()
{
    for (std::size_t i = 0; i < std::size(Handled); ++i) {
#ifdef Q_OS_UNIX
        ::sigaction(Handled[i], &previous[i], nullptr);
#else
        std::signal(Handled[i], previous[i]);
#endif
    }
    flagToSet.store(nullptr);
}

int CancelSignals::received()
{
    return receivedSignal.load();
}

void CancelSignals::endAsSignalled(int fallbackExitCode)
{
    const int number = receivedSignal.load();
    if (number != 0) {
        std::signal(number, SIG_DFL);
        std::raise(number);
    }
    std::exit(fallbackExitCode);
}

}  // namespace zoetra
