#pragma once

#include "link/Cables.h"

#include "link/TiLibs.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace zoetra::link {

// A variable on the calculator, as its directory lists it.
struct RemoteVariable {
    QByteArray name;  // as the calculator keeps it
    std::uint8_t type = 0;
    bool archived = false;
    std::uint32_t bytes = 0;
};

// One calculator on one cable, open until destroyed: who it is, what it
// holds and has free, and the variables sent to it. Every call returns 0
// or the libraries' error number.
class Connection {
public:
    // Opens the cable and asks the calculator whether it is ready and, on
    // the link port, which model it is. Null, with the error, when no
    // calculator of the TI-83 Plus family answers ready: `error` is then
    // the libraries' number (errors::NotReady for a busy calculator), or 0
    // with `otherModel` set for a calculator of another family.
    static std::unique_ptr<Connection> open(CableSource& source, const CableChoice& choice, int& error,
                                            QString& otherModel);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    const CableChoice& choice() const { return choice_; }
    CalculatorModel model() const { return model_; }

    // Free RAM and, over the TI-84 Plus's own USB port, free archive; what
    // the calculator cannot tell stays empty.
    int freeMemory(std::optional<std::int64_t>& ram, std::optional<std::int64_t>& archive);
    // Every variable in RAM and in the archive.
    int directory(std::vector<RemoteVariable>& variables);
    int remove(const RemoteVariable& variable);
    // Sends one variable; `progress` receives the part of it sent so far.
    int send(VarEntry& variable, const std::function<void(double)>& progress);

private:
    Connection(CableChoice choice, CableHandle* cable, CalcHandle* calc);
    static void onProgress();

    CableChoice choice_;
    CableHandle* cable_ = nullptr;
    CalcHandle* calc_ = nullptr;
    CalcUpdate update_{};
    CalculatorModel model_ = CalculatorModel::Ti83Plus;
    std::function<void(double)> progress_;
};

}  // namespace zoetra::link
