#include "link/CodeCalculator.h"

#include <algorithm>

namespace zoetra::link::testing {

namespace {

// The link port's packets (the TI-83 Plus link protocol guide): machine
// ids and commands.
constexpr std::uint8_t CalculatorId = 0x73;  // TI-83 Plus family to computer
constexpr std::uint8_t Rts = 0xC9;
constexpr std::uint8_t VarHeader = 0x06;
constexpr std::uint8_t Cts = 0x09;
constexpr std::uint8_t Data = 0x15;
constexpr std::uint8_t Version = 0x2D;
constexpr std::uint8_t Skip = 0x36;
constexpr std::uint8_t Ack = 0x56;
constexpr std::uint8_t ChecksumError = 0x5A;
constexpr std::uint8_t Ready = 0x68;
constexpr std::uint8_t Delete = 0x88;
constexpr std::uint8_t Eot = 0x92;
constexpr std::uint8_t Request = 0xA2;
constexpr std::uint8_t DirectoryType = 0x19;
constexpr std::uint8_t SkipMemory = 3;
constexpr std::uint8_t SkipName = 2;

bool linkCommandHasData(std::uint8_t command)
{
    switch (command) {
    case VarHeader:
    case Data:
    case Skip:
    case 0x47:  // send id
    case 0x6F:  // memory dump
    case Delete:
    case 0x89:  // run
    case Request:
    case 0xB7:  // request index
    case Rts:
    case 0xCA:  // send and run
        return true;
    default:
        return false;
    }
}

// The USB port's raw packet types and virtual packet types.
constexpr std::uint8_t BufferSizeRequest = 1;
constexpr std::uint8_t BufferSizeAllocation = 2;
constexpr std::uint8_t VirtualData = 3;
constexpr std::uint8_t VirtualDataLast = 4;
constexpr std::uint8_t VirtualDataAck = 5;
constexpr int RawDataBytes = 250;  // the TI-84 Plus's raw packet

constexpr std::uint16_t Ping = 0x0001;
constexpr std::uint16_t ParameterRequest = 0x0007;
constexpr std::uint16_t ParameterData = 0x0008;
constexpr std::uint16_t DirectoryRequest = 0x0009;
constexpr std::uint16_t VariableHeader = 0x000A;
constexpr std::uint16_t RequestToSend = 0x000B;
constexpr std::uint16_t VariableContents = 0x000D;
constexpr std::uint16_t ModifyVariable = 0x0010;
constexpr std::uint16_t ModeSet = 0x0012;
constexpr std::uint16_t DataAck = 0xAA00;
constexpr std::uint16_t EndOfTransmission = 0xDD00;
constexpr std::uint16_t Error = 0xEE00;

constexpr std::uint16_t FreeRamParameter = 0x000E;
constexpr std::uint16_t FreeFlashParameter = 0x0011;
constexpr std::uint16_t SizeAttribute = 0x0001;
constexpr std::uint16_t TypeAttribute = 0x0002;
constexpr std::uint16_t ArchivedAttribute = 0x0003;
constexpr std::uint16_t TypeAttribute2 = 0x0011;

constexpr std::uint16_t OutOfMemoryCode = 0x000C;
constexpr std::uint16_t BusyCode = 0x0011;
constexpr std::uint16_t LockedCode = 0x0012;

std::uint16_t word(const QByteArray& bytes, qsizetype at)
{
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(bytes.at(at)) << 8 |
                                      static_cast<std::uint8_t>(bytes.at(at + 1)));
}

std::uint32_t dword(const QByteArray& bytes, qsizetype at)
{
    return static_cast<std::uint32_t>(word(bytes, at)) << 16 | word(bytes, at + 2);
}

void appendWord(QByteArray& bytes, std::uint16_t value)
{
    bytes.append(static_cast<char>(value >> 8));
    bytes.append(static_cast<char>(value & 0xFF));
}

void appendDword(QByteArray& bytes, std::uint32_t value)
{
    appendWord(bytes, static_cast<std::uint16_t>(value >> 16));
    appendWord(bytes, static_cast<std::uint16_t>(value & 0xFFFF));
}

void appendQword(QByteArray& bytes, std::uint64_t value)
{
    appendDword(bytes, static_cast<std::uint32_t>(value >> 32));
    appendDword(bytes, static_cast<std::uint32_t>(value & 0xFFFFFFFF));
}

// A variable's folder (its length, then itself and a zero, where there is
// one) and name (its length, itself and a zero) at `at`: the name, with
// `at` past them.
QByteArray folderAndName(const QByteArray& data, qsizetype& at)
{
    const int folderLength = static_cast<std::uint8_t>(data.at(at++));
    at += folderLength > 0 ? folderLength + 1 : 0;
    const int nameLength = static_cast<std::uint8_t>(data.at(at++));
    const QByteArray name = data.mid(at, nameLength);
    at += nameLength + 1;
    return name;
}

bool isProgram(std::uint8_t type)
{
    return type == 0x05 || type == 0x06;
}

int hardwareVersion(CalculatorModel model)
{
    switch (model) {
    case CalculatorModel::Ti83Plus:
        return 0;
    case CalculatorModel::Ti83PlusSe:
        return 1;
    case CalculatorModel::Ti84Plus:
        return 2;
    case CalculatorModel::Ti84PlusSe:
        return 3;
    }
    return 0;
}

}  // namespace

CodeCalculator::CodeCalculator(Protocol protocol, CalculatorModel model) : protocol_(protocol), model_(model) {}

int CodeCalculator::hook(CableHandle*, uint32_t, const CableEventData* event, void* user)
{
    auto* calculator = static_cast<CodeCalculator*>(user);
    switch (event->type) {
    case CABLE_EVENT_TYPE_AFTER_SEND:
        return event->retval != 0 ? event->retval
                                  : calculator->fromComputer(event->data.data.data, event->data.data.len);
    case CABLE_EVENT_TYPE_AFTER_RECV:
        return event->retval != 0 ? event->retval : calculator->toComputer(event->data.data.data, event->data.data.len);
    default:
        return event->retval;
    }
}

int CodeCalculator::fromComputer(const std::uint8_t* data, std::uint32_t length)
{
    if (pulledAfter && received >= *pulledAfter) {
        return errors::WriteError;
    }
    received += length;
    if (length == 0 || silent) {
        return 0;
    }
    fromHost_.append(reinterpret_cast<const char*>(data), static_cast<qsizetype>(length));
    if (pulledAfter && received > *pulledAfter) {
        // Pulled within this packet: what came of it is lost.
        fromHost_.clear();
        return 0;
    }
    if (protocol_ == Protocol::LinkPort) {
        while (fromHost_.size() >= 4) {
            const auto command = static_cast<std::uint8_t>(fromHost_.at(1));
            const qsizetype dataLength = static_cast<std::uint8_t>(fromHost_.at(2)) |
                                         static_cast<std::uint8_t>(fromHost_.at(3)) << 8;
            const qsizetype whole = linkCommandHasData(command) ? 4 + dataLength + 2 : 4;
            if (fromHost_.size() < whole) {
                break;
            }
            const QByteArray packetData = linkCommandHasData(command) ? fromHost_.mid(4, dataLength) : QByteArray();
            fromHost_.remove(0, whole);
            linkPacket(command, packetData);
        }
    } else {
        while (fromHost_.size() >= 5) {
            const qsizetype size = static_cast<qsizetype>(dword(fromHost_, 0));
            if (fromHost_.size() < 5 + size) {
                break;
            }
            const auto type = static_cast<std::uint8_t>(fromHost_.at(4));
            const QByteArray rawData = fromHost_.mid(5, size);
            fromHost_.remove(0, 5 + size);
            usbRaw(type, rawData);
        }
    }
    return 0;
}

int CodeCalculator::toComputer(std::uint8_t* data, std::uint32_t length)
{
    if (pulledAfter && received >= *pulledAfter) {
        return errors::ReadTimeout;
    }
    if (static_cast<std::uint32_t>(toHost_.size()) < length) {
        return errors::ReadTimeout;  // nothing more to say: the computer waits in vain
    }
    std::copy_n(toHost_.constData(), length, reinterpret_cast<char*>(data));
    toHost_.remove(0, length);
    return 0;
}

// --- The link port ---------------------------------------------------------

void CodeCalculator::linkSend(std::uint8_t command, const QByteArray& data, bool hasData)
{
    toHost_.append(static_cast<char>(CalculatorId));
    toHost_.append(static_cast<char>(command));
    toHost_.append(static_cast<char>(data.size() & 0xFF));
    toHost_.append(static_cast<char>(data.size() >> 8));
    if (hasData) {
        toHost_.append(data);
        std::uint16_t sum = 0;
        for (const char byte : data) {
            sum = static_cast<std::uint16_t>(sum + static_cast<std::uint8_t>(byte));
        }
        toHost_.append(static_cast<char>(sum & 0xFF));
        toHost_.append(static_cast<char>(sum >> 8));
    }
}

void CodeCalculator::linkShort(std::uint8_t command, std::uint16_t status)
{
    toHost_.append(static_cast<char>(CalculatorId));
    toHost_.append(static_cast<char>(command));
    toHost_.append(static_cast<char>(status & 0xFF));
    toHost_.append(static_cast<char>(status >> 8));
}

void CodeCalculator::linkPacket(std::uint8_t command, const QByteArray& data)
{
    switch (command) {
    case Ready:
        // The status word's high bit 0 says busy.
        linkShort(Ack, busy ? 0x0100 : 0x0000);
        break;
    case Version:
        linkShort(Ack);
        break;
    case Cts: {
        // After a version request: OS 1.19, boot 1.00, battery good,
        // the hardware version, English.
        linkShort(Ack);
        QByteArray version;
        for (const int byte : {1, 19, 1, 0, 0, hardwareVersion(model_), 9, 1, 0, 0, 0}) {
            version.append(static_cast<char>(byte));
        }
        linkSend(Data, version, true);
        break;
    }
    case Request:
        if (data.size() >= 3 && static_cast<std::uint8_t>(data.at(2)) == DirectoryType) {
            linkShort(Ack);
            const auto ram = static_cast<std::uint16_t>(std::min<std::int64_t>(freeRam, 0xFFFF));
            QByteArray free;
            free.append(static_cast<char>(ram & 0xFF));
            free.append(static_cast<char>(ram >> 8));
            linkSend(Data, free, true);
            listing_ = 0;
        }
        break;
    case Ack:
        // The directory goes on after each acknowledged header.
        if (listing_) {
            if (*listing_ < variables.size()) {
                const Variable& variable = variables[*listing_];
                ++*listing_;
                QByteArray header;
                const auto size = static_cast<std::uint16_t>(variable.data.size());
                header.append(static_cast<char>(size & 0xFF));
                header.append(static_cast<char>(size >> 8));
                header.append(static_cast<char>(variable.type));
                header.append(variable.name.leftJustified(8, '\0', true));
                header.append('\0');
                header.append(static_cast<char>(variable.archived ? 0x80 : 0x00));
                linkSend(VarHeader, header, true);
            } else {
                listing_.reset();
                linkShort(Eot);
            }
        }
        break;
    case Eot:
        listing_.reset();
        break;
    case Rts: {
        if (data.size() < 11) {
            break;
        }
        Variable variable;
        variable.type = static_cast<std::uint8_t>(data.at(2));
        variable.name = data.mid(3, 8);
        variable.name.truncate(static_cast<qsizetype>(qstrnlen(variable.name.constData(), 8)));
        variable.archived = data.size() >= 13 && (static_cast<std::uint8_t>(data.at(12)) & 0x80) != 0;
        variable.data.resize(static_cast<std::uint8_t>(data.at(0)) | static_cast<std::uint8_t>(data.at(1)) << 8);
        linkShort(Ack);
        switch (admit(variable)) {
        case Admission::Fits:
            announced_ = variable;
            linkShort(Cts);
            break;
        case Admission::MemoryFull:
            linkSend(Skip, QByteArray(1, static_cast<char>(SkipMemory)), true);
            break;
        case Admission::NameTaken:
            ++skipped;
            linkSend(Skip, QByteArray(1, static_cast<char>(SkipName)), true);
            break;
        }
        break;
    }
    case Data:
        if (!announced_) {
            break;
        }
        if (nakData) {
            linkShort(ChecksumError);
            announced_.reset();
            break;
        }
        linkShort(Ack);
        announced_->data = data;
        store(*announced_);
        announced_.reset();
        break;
    case Delete:
        if (data.size() >= 11) {
            QByteArray name = data.mid(3, 8);
            name.truncate(static_cast<qsizetype>(qstrnlen(name.constData(), 8)));
            remove(name, static_cast<std::uint8_t>(data.at(2)));
            linkShort(Ack);
            linkShort(Ack);
        }
        break;
    default:
        break;
    }
}

// --- The USB port ------------------------------------------------------------

void CodeCalculator::usbRaw(std::uint8_t type, const QByteArray& data)
{
    switch (type) {
    case BufferSizeRequest: {
        appendDword(toHost_, 4);
        toHost_.append(static_cast<char>(BufferSizeAllocation));
        appendDword(toHost_, RawDataBytes);
        break;
    }
    case VirtualData:
    case VirtualDataLast: {
        // Each raw packet is acknowledged; the last one completes the
        // virtual packet.
        toHost_.append(QByteArray("\x00\x00\x00\x02\x05\xE0\x00", 7));
        virtual_.append(data);
        if (type == VirtualDataLast && virtual_.size() >= 6) {
            const QByteArray whole = virtual_;
            virtual_.clear();
            usbVirtual(word(whole, 4), whole.mid(6, dword(whole, 0)));
        }
        break;
    }
    case VirtualDataAck:
    default:
        break;
    }
}

void CodeCalculator::usbSend(std::uint16_t type, const QByteArray& data)
{
    QByteArray whole;
    appendDword(whole, static_cast<std::uint32_t>(data.size()));
    appendWord(whole, type);
    whole.append(data);
    for (qsizetype at = 0; at < whole.size(); at += RawDataBytes) {
        const QByteArray part = whole.mid(at, RawDataBytes);
        appendDword(toHost_, static_cast<std::uint32_t>(part.size()));
        toHost_.append(static_cast<char>(at + RawDataBytes >= whole.size() ? VirtualDataLast : VirtualData));
        toHost_.append(part);
    }
}

void CodeCalculator::usbError(std::uint16_t code)
{
    QByteArray data;
    appendWord(data, code);
    usbSend(Error, data);
}

void CodeCalculator::usbVirtual(std::uint16_t type, const QByteArray& data)
{
    switch (type) {
    case Ping:
        if (busy) {
            usbError(BusyCode);
        } else {
            usbSend(ModeSet);
        }
        break;
    case ParameterRequest: {
        const int count = word(data, 0);
        QByteArray reply;
        appendWord(reply, static_cast<std::uint16_t>(count));
        for (int i = 0; i < count; ++i) {
            const std::uint16_t id = word(data, 2 + 2 * i);
            appendWord(reply, id);
            if (id == FreeRamParameter || id == FreeFlashParameter) {
                reply.append('\0');
                appendWord(reply, 8);
                appendQword(reply, static_cast<std::uint64_t>(id == FreeRamParameter ? freeRam : freeArchive));
            } else {
                reply.append('\x01');  // not told
            }
        }
        usbSend(ParameterData, reply);
        break;
    }
    case DirectoryRequest:
        for (const Variable& variable : variables) {
            QByteArray header;
            header.append('\0');  // no folder
            header.append(static_cast<char>(variable.name.size()));
            header.append(variable.name);
            header.append('\0');
            appendWord(header, 3);
            appendWord(header, SizeAttribute);
            header.append('\0');
            appendWord(header, 4);
            appendDword(header, static_cast<std::uint32_t>(variable.data.size()));
            appendWord(header, TypeAttribute);
            header.append('\0');
            appendWord(header, 4);
            appendDword(header, 0xF0070000u | variable.type);
            appendWord(header, ArchivedAttribute);
            header.append('\0');
            appendWord(header, 1);
            header.append(static_cast<char>(variable.archived ? 1 : 0));
            usbSend(VariableHeader, header);
        }
        usbSend(EndOfTransmission);
        break;
    case RequestToSend: {
        // Folder, name, size, a mode byte and the attributes.
        qsizetype at = 0;
        Variable variable;
        variable.name = folderAndName(data, at);
        variable.data.resize(static_cast<qsizetype>(dword(data, at)));
        at += 5;
        const int attributes = word(data, at);
        at += 2;
        for (int i = 0; i < attributes; ++i) {
            const std::uint16_t id = word(data, at);
            const int size = word(data, at + 2);
            const QByteArray value = data.mid(at + 4, size);
            at += 4 + size;
            if (id == TypeAttribute && size == 4) {
                variable.type = static_cast<std::uint8_t>(value.at(3));
            } else if (id == ArchivedAttribute && size == 1) {
                variable.archived = value.at(0) != 0;
            }
        }
        switch (admit(variable)) {
        case Admission::Fits:
            announced_ = variable;
            usbSend(DataAck);
            break;
        case Admission::MemoryFull:
            usbError(OutOfMemoryCode);
            break;
        case Admission::NameTaken:
            ++skipped;
            usbError(LockedCode);
            break;
        }
        break;
    }
    case VariableContents:
        if (announced_) {
            announced_->data = data;
            store(*announced_);
            announced_.reset();
            usbSend(DataAck);
        }
        break;
    case ModifyVariable: {
        // A deletion: the variable's folder and name, its type attribute,
        // and no new name.
        qsizetype at = 0;
        const QByteArray name = folderAndName(data, at);
        const int attributes = word(data, at);
        at += 2;
        std::uint8_t variableType = 0;
        for (int i = 0; i < attributes; ++i) {
            const std::uint16_t id = word(data, at);
            const int size = word(data, at + 2);
            if (id == TypeAttribute2 && size == 4) {
                variableType = static_cast<std::uint8_t>(data.at(at + 4 + 3));
            }
            at += 4 + size;
        }
        remove(name, variableType);
        usbSend(DataAck);
        break;
    }
    case EndOfTransmission:
    default:
        break;
    }
}

// --- The memory ------------------------------------------------------------

CodeCalculator::Admission CodeCalculator::admit(const Variable& announced) const
{
    for (const Variable& variable : variables) {
        if (variable.name == announced.name &&
            (variable.type == announced.type || (isProgram(variable.type) && isProgram(announced.type)))) {
            return Admission::NameTaken;
        }
    }
    const std::int64_t symbolEntry = 7 + announced.name.size();
    if (announced.archived) {
        const std::int64_t entry = 12 + announced.name.size() + announced.data.size() - 2;
        return entry <= freeArchive && symbolEntry <= freeRam ? Admission::Fits : Admission::MemoryFull;
    }
    return announced.data.size() + symbolEntry <= freeRam ? Admission::Fits : Admission::MemoryFull;
}

void CodeCalculator::store(Variable variable)
{
    const std::int64_t symbolEntry = 7 + variable.name.size();
    freeRam -= symbolEntry + (variable.archived ? 0 : variable.data.size());
    if (variable.archived) {
        freeArchive -= 12 + variable.name.size() + variable.data.size() - 2;
    }
    variables.push_back(std::move(variable));
}

void CodeCalculator::remove(const QByteArray& name, std::uint8_t type)
{
    const auto found = std::find_if(variables.begin(), variables.end(), [&](const Variable& variable) {
        return variable.name == name && (variable.type == type || (isProgram(variable.type) && isProgram(type)));
    });
    if (found == variables.end()) {
        return;
    }
    freeRam += 7 + found->name.size() + (found->archived ? 0 : found->data.size());
    if (found->archived) {
        freeArchive += 12 + found->name.size() + found->data.size() - 2;
    }
    deleted.push_back(found->name);
    variables.erase(found);
}

// --- The cable -----------------------------------------------------------------

std::vector<CableChoice> CodeCables::choices(QStringList& looked)
{
    looked.append(QStringLiteral("the null cable"));
    CableChoice choice;
    choice.name = QStringLiteral("the null cable");
    choice.cable = CABLE_NUL;
    choice.port = PORT_1;
    choice.protocol = calculator_.protocol();
    if (calculator_.protocol() == Protocol::DirectUsb) {
        // As the USB device tells it.
        choice.model = calculator_.model();
    }
    return {choice};
}

CableHandle* CodeCables::makeHandle(const CableChoice& choice)
{
    CableHandle* handle = ticables_handle_new(choice.cable, choice.port);
    if (handle != nullptr) {
        ticables_cable_set_event_hook(handle, &CodeCalculator::hook);
        ticables_cable_set_event_user_pointer(handle, &calculator_);
    }
    return handle;
}

}  // namespace zoetra::link::testing
