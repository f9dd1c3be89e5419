#pragma once

#include "shared/CalculatorModel.h"
#include "shared/VideoTarget.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace zoetra::link {

// Sending a delivery to a connected calculator of the TI-83 Plus family, and
// asking it for its free archive. Every call blocks until the calculator has
// answered (or a bounded wait has passed): run them off the window's thread.
// Nothing here changes a file on the computer.

class CableSource;
// The cables of this computer: the TI-84 Plus family's own USB port, the
// SilverLink cable, and the serial and parallel cables libticables2 finds.
std::shared_ptr<CableSource> systemCables();

QString modelName(CalculatorModel model);

// What asking a calculator for its free archive came to.
struct FreeArchiveReading {
    enum class Status {
        Read,       // over the TI-84 Plus family's own USB port
        LinkCable,  // over a link cable, which tells the free RAM only
        Failed,     // no calculator, or it did not answer
    };
    Status status = Status::Failed;
    std::int64_t bytes = 0;  // Read: the free archive
    CalculatorModel model = CalculatorModel::Ti83Plus;  // Read, LinkCable
    QString message;  // what to tell the user
};
FreeArchiveReading readFreeArchive(CableSource& cables);

// Bytes sent of all, and the variable being sent.
using Progress = std::function<void(std::int64_t done, std::int64_t total, const QString& variable)>;

// What is sent, and what it was made for when that is known.
struct SendJob {
    QStringList files;  // in the order sent: the program first
    std::optional<VideoTarget> madeFor;
};

// What a look at the calculator came to, before anything is sent.
struct Preparation {
    bool ready = false;
    // Not ready: why nothing can be sent. Ready: what goes to which
    // calculator.
    QString message;
    // Ready: where the video was made for another model that plays it, how.
    QString note;
    // The calculator's variables of the same names (described), which the
    // sending would replace: sent only when the user says so.
    QStringList sameNames;
    CalculatorModel model = CalculatorModel::Ti83Plus;
};

struct SendOutcome {
    bool sent = false;
    QString message;  // what is on the calculator now and how to start it, or what failed
    QStringList arrived;
    QStringList notArrived;
};

// One sending: prepare() finds the calculator and looks whether the files
// can go there, send() sends them over the same connection.
class Sender {
public:
    explicit Sender(CableSource& cables);
    ~Sender();
    Sender(const Sender&) = delete;
    Sender& operator=(const Sender&) = delete;

    Preparation prepare(const SendJob& job);
    // After a ready preparation. `replace`: the variables of the same names
    // are replaced; without it, nothing is sent while there are any.
    SendOutcome send(bool replace, const Progress& progress = {});

private:
    struct State;
    CableSource& cables_;
    std::unique_ptr<State> state_;
};

}  // namespace zoetra::link
