#pragma once

#include "link/Cables.h"

#include <QByteArray>

#include <cstdint>
#include <optional>
#include <vector>

namespace zoetra::link::testing {

// A calculator made of code behind libticables2's null cable: the cable's
// event hook sees every byte the library sends and fills every buffer it
// reads. It answers the TI-83 Plus family's link-port protocol (packets of
// machine id, command, length, data and checksum) or, as a TI-84 Plus on its
// own USB port, the raw and virtual packets of that protocol, and keeps the
// variables it receives.
class CodeCalculator {
public:
    CodeCalculator(Protocol protocol, CalculatorModel model);

    struct Variable {
        QByteArray name;
        std::uint8_t type = 0x15;
        bool archived = false;
        QByteArray data;  // as sent: its size word first
    };
    std::vector<Variable> variables;
    std::int64_t freeRam = 24'000;
    std::int64_t freeArchive = 1'000'000;

    // What goes wrong.
    bool busy = false;        // not on the home screen: says so when asked
    bool silent = false;      // nothing answers
    bool nakData = false;     // a variable's data is answered with a checksum error
    // The cable is pulled once the calculator has received this many bytes.
    std::optional<std::int64_t> pulledAfter;

    // What happened.
    std::vector<QByteArray> deleted;
    std::int64_t received = 0;  // bytes from the computer
    int skipped = 0;            // headers refused for a name already there

    Protocol protocol() const { return protocol_; }
    CalculatorModel model() const { return model_; }

    // The hook for the null cable; `user` is the calculator.
    static int hook(CableHandle* handle, uint32_t count, const CableEventData* event, void* user);

private:
    int fromComputer(const std::uint8_t* data, std::uint32_t length);
    int toComputer(std::uint8_t* data, std::uint32_t length);

    // The link port.
    void linkPacket(std::uint8_t command, const QByteArray& data);
    void linkSend(std::uint8_t command, const QByteArray& data, bool hasData);
    // A packet without data: the word in its length's place.
    void linkShort(std::uint8_t command, std::uint16_t status = 0);

    // The USB port.
    void usbRaw(std::uint8_t type, const QByteArray& data);
    void usbVirtual(std::uint16_t type, const QByteArray& data);
    void usbSend(std::uint16_t type, const QByteArray& data = {});
    void usbError(std::uint16_t code);

    // A variable announced and not yet received; whether it may land.
    enum class Admission { Fits, MemoryFull, NameTaken };
    Admission admit(const Variable& announced) const;
    void store(Variable variable);
    void remove(const QByteArray& name, std::uint8_t type);

    Protocol protocol_;
    CalculatorModel model_;
    QByteArray fromHost_;
    QByteArray toHost_;
    std::optional<Variable> announced_;
    // The link port's directory listing: the variables still to list.
    std::optional<std::size_t> listing_;
    // The USB port's virtual packet being received.
    QByteArray virtual_;
};

// Offers the null cable with the calculator behind it as the only cable.
class CodeCables final : public CableSource {
public:
    explicit CodeCables(CodeCalculator& calculator) : calculator_(calculator) {}
    std::vector<CableChoice> choices(QStringList& looked) override;
    CableHandle* makeHandle(const CableChoice& choice) override;

private:
    CodeCalculator& calculator_;
};

}  // namespace zoetra::link::testing
