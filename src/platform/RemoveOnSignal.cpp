#include "platform/RemoveOnSignal.h"

#include "platform/StopSignals.h"

#include <QFile>
#include <QtGlobal>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <iterator>

#ifdef Q_OS_UNIX
#include <unistd.h>
#else
#include <cstdio>
#include <cwchar>
#endif

namespace zoetra {

namespace {

// The path in the form the system call takes, set before the handlers and
// read only by them.
#ifdef Q_OS_UNIX
char pathToRemove[4096];
#else
wchar_t pathToRemove[4096];
#endif
StopSignalHandlers previous;

extern "C" void removeAndEnd(int number)
{
#ifdef Q_OS_UNIX
    ::unlink(pathToRemove);
#else
    ::_wremove(pathToRemove);
#endif
    // Raised again with its default action: delivered once the handler
    // returns, it ends the program as the signal does.
    std::signal(number, SIG_DFL);
    std::raise(number);
}

}  // namespace

RemoveOnSignal::RemoveOnSignal(const QString& path)
{
#ifdef Q_OS_UNIX
    const QByteArray encoded = QFile::encodeName(path);
    const std::size_t length = std::min<std::size_t>(static_cast<std::size_t>(encoded.size()), sizeof pathToRemove - 1);
    std::memcpy(pathToRemove, encoded.constData(), length);
    pathToRemove[length] = '\0';
#else
    const std::wstring wide = path.toStdWString();
    const std::size_t length = std::min<std::size_t>(wide.size(), std::size(pathToRemove) - 1);
    std::wmemcpy(pathToRemove, wide.data(), length);
    pathToRemove[length] = L'\0';
#endif
    // The others wait while one removes the file.
    setStopSignalHandler(removeAndEnd, true, previous);
}

RemoveOnSignal::~RemoveOnSignal()
{
    restoreStopSignalHandlers(previous);
}

}  // namespace zoetra
