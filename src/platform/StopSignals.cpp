#include "platform/StopSignals.h"

#include <cstddef>
#include <iterator>

namespace zoetra {

namespace {

#ifdef Q_OS_UNIX
constexpr int Handled[] = {SIGINT, SIGTERM, SIGHUP};
#else
constexpr int Handled[] = {SIGINT, SIGTERM};
#endif
static_assert(std::size(Handled) == std::size(StopSignalHandlers{}.previous));

}  // namespace

void setStopSignalHandler(void (*handler)(int), bool othersWait, StopSignalHandlers& saved)
{
    for (std::size_t i = 0; i < std::size(Handled); ++i) {
#ifdef Q_OS_UNIX
        struct sigaction action = {};
        action.sa_handler = handler;
        sigemptyset(&action.sa_mask);
        if (othersWait) {
            for (const int other : Handled) {
                sigaddset(&action.sa_mask, other);
            }
        }
        action.sa_flags = 0;
        ::sigaction(Handled[i], &action, &saved.previous[i]);
#else
        Q_UNUSED(othersWait);
        saved.previous[i] = std::signal(Handled[i], handler);
#endif
    }
}

void restoreStopSignalHandlers(const StopSignalHandlers& saved)
{
    for (std::size_t i = 0; i < std::size(Handled); ++i) {
#ifdef Q_OS_UNIX
        ::sigaction(Handled[i], &saved.previous[i], nullptr);
#else
        std::signal(Handled[i], saved.previous[i]);
#endif
    }
}

}  // namespace zoetra
