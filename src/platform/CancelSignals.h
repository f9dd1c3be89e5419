#pragma once

#include <atomic>

namespace zoetra {

// While one lives, the signals that ask a program to end (SIGINT from
// Ctrl-C, SIGTERM, SIGHUP) set a flag instead of ending it at once, and a
// blocking open or read that one of them arrives in gives up (EINTR)
// instead of waiting on: the work in hand sees the flag, removes what it
// made and ends. The previous handlers come back when it goes. Where the
// platform has only SIGINT and SIGTERM, those.
class CancelSignals {
public:
    explicit CancelSignals(std::atomic<bool>& flag);
    ~CancelSignals();
    CancelSignals(const CancelSignals&) = delete;
    CancelSignals& operator=(const CancelSignals&) = delete;

    // The number of the signal that came, 0 while none has.
    static int received();

    // Ends the program as that signal ends it by default (after the
    // clean-up), so that the caller sees what ended it.
    [[noreturn]] static void endAsSignalled(int fallbackExitCode);
};

}  // namespace zoetra
