#pragma once

#include <QObject>

class QSocketNotifier;

namespace zoetra {

// Turns the signals that ask a program to end (SIGTERM at system shut-down,
// SIGHUP when its terminal or session goes, SIGINT from Ctrl-C) into a Qt
// signal on the thread that created this object, so that the program can
// end the way it ends when its window is closed. The handler itself only
// writes one byte into a pipe. Where the platform has no such signals it
// does nothing.
class TerminationSignals final : public QObject {
    Q_OBJECT

public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

    // False when the handlers could not be installed.
    bool installed() const { return installed_; }

signals:
    // The number of the signal that arrived.
    void terminationRequested(int signal);

private:
    void readPipe();

    QSocketNotifier* notifier_ = nullptr;
    bool installed_ = false;
};

}  // namespace zoetra
