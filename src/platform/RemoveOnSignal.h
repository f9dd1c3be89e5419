#pragma once

#include <QString>

namespace zoetra {

// While one lives, a signal that asks the program to end (SIGINT from
// Ctrl-C, SIGTERM, SIGHUP; where the platform has only SIGINT and SIGTERM,
// those) first removes the file, then ends the program as that signal ends
// it by default: for a file that is being written and would otherwise be
// left half-made. Only removing a file is safe inside a signal handler, so
// nothing else is done. The previous handlers come back when it goes; one
// lives at a time.
class RemoveOnSignal {
public:
    explicit RemoveOnSignal(const QString& path);
    ~RemoveOnSignal();
    RemoveOnSignal(const RemoveOnSignal&) = delete;
    RemoveOnSignal& operator=(const RemoveOnSignal&) = delete;
};

}  // namespace zoetra
