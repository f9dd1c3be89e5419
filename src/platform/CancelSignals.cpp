#include "platform/CancelSignals.h"

#include "platform/StopSignals.h"

#include <QtGlobal>

#include <csignal>
#include <cstdlib>

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

StopSignalHandlers previous;

}  // namespace

CancelSignals::CancelSignals(std::atomic<bool>& flag)
{
    flagToSet.store(&flag);
    setStopSignalHandler(onCancelSignal, false, previous);
}

CancelSignals::~CancelSignals()
{
    restoreStopSignalHandlers(previous);
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
