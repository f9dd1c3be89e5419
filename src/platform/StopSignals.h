#pragma once

// The signals that stop a run (Ctrl-C and SIGTERM, on Unix also SIGHUP):
// one handler set for all of them for a while, the earlier ones kept to be
// put back.
#include <QtGlobal>

#include <csignal>

namespace zoetra {

struct StopSignalHandlers {
#ifdef Q_OS_UNIX
    struct sigaction previous[3];
#else
    void (*previous[2])(int);
#endif
};

// Sets `handler` for every stop signal, without SA_RESTART (a blocking call
// returns with EINTR); with `othersWait` the other stop signals wait while
// it runs. The earlier handlers go into `saved`.
void setStopSignalHandler(void (*handler)(int), bool othersWait, StopSignalHandlers& saved);
void restoreStopSignalHandlers(const StopSignalHandlers& saved);

}  // namespace zoetra
