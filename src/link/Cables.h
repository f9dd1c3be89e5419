#pragma once

#include "shared/CalculatorModel.h"

#include <QString>
#include <QStringList>

#include "link/TiLibs.h"

#include <optional>
#include <vector>

namespace zoetra::link {

// Sets the three libraries up once per process and keeps their own log
// lines off standard error: our messages say what went wrong.
void initLibraries();

// The two ways a calculator of the TI-83 Plus family talks: the link port's
// protocol (every model, through a SilverLink or serial cable) and the
// TI-84 Plus family's own USB port.
enum class Protocol { LinkPort, DirectUsb };

// A cable on a port where a calculator may answer.
struct CableChoice {
    QString name;  // as the messages name it: "the SilverLink cable (USB)"
    CableModel cable = CABLE_NUL;
    CablePort port = PORT_1;
    Protocol protocol = Protocol::LinkPort;
    // Known from the USB device before anything is asked: the calculator
    // on its own USB port.
    std::optional<CalculatorModel> model;
    // A calculator of another family on USB (a TI-84 Plus CE, an Nspire):
    // why it is not used. Empty for the TI-83 Plus family.
    QString otherFamily;
};

// Where calculators are looked for. The system's cables in the program; a
// calculator made of code behind the null cable in the tests.
class CableSource {
public:
    virtual ~CableSource() = default;

    // The cables worth asking, the calculators' own USB ports first.
    // `looked` receives what was looked at, for the message when no
    // calculator answers.
    virtual std::vector<CableChoice> choices(QStringList& looked) = 0;
    // A new handle on the cable, not yet open; null when none can be made.
    virtual CableHandle* makeHandle(const CableChoice& choice) = 0;

    // Read timeouts in tenths of a second: while asking who is there (short,
    // so that looking everywhere for no calculator ends within seconds),
    // and during a transfer (the calculator writes the archive between
    // packets).
    virtual unsigned probeTimeout() const { return 10; }
    virtual unsigned transferTimeout() const { return 50; }
};

// libticables2's and libticalcs2's error numbers that decide our messages
// (their error.h is not installed).
namespace errors {
inline constexpr int ReadError = 3;
inline constexpr int ReadTimeout = ERROR_READ_TIMEOUT;
inline constexpr int WriteError = 5;
inline constexpr int WriteTimeout = ERROR_WRITE_TIMEOUT;
inline constexpr int LibusbOpen = 37;
inline constexpr int LibusbClaim = 38;
inline constexpr int RootNeeded = 42;
inline constexpr int TtyDevice = 43;
inline constexpr int ParallelDevice = 44;
inline constexpr int UsbFilesystem = 45;
inline constexpr int TtyOpen = 46;
inline constexpr int ParallelOpen = 48;
inline constexpr int NoCable = 50;

inline constexpr int Abort = 256;
inline constexpr int NotReady = 257;
inline constexpr int Checksum = 258;
inline constexpr int VarRejected = 263;
inline constexpr int Nack = 265;
inline constexpr int OutOfMemory = 273;
// The TI-84 Plus's USB error packets: 300 + the index of the calculator's
// code in the library's table.
inline constexpr int UsbCalculatorError = 300;
inline constexpr int UsbOutOfMemory = UsbCalculatorError + 5;
inline constexpr int UsbBusy = UsbCalculatorError + 8;
inline constexpr int UsbVariableLocked = UsbCalculatorError + 9;
// The link port's rejection codes: 350 + code.
inline constexpr int LinkCalculatorError = 350;

// The cable could not be opened for want of permission.
inline bool isPermission(int error)
{
    return error == LibusbOpen || error == LibusbClaim || error == RootNeeded || error == TtyDevice ||
           error == ParallelDevice || error == UsbFilesystem || error == TtyOpen || error == ParallelOpen;
}
// Nothing or no longer anything answers: a timeout, or the cable gone.
inline bool isSilence(int error)
{
    return error == ReadError || error == ReadTimeout || error == WriteError || error == WriteTimeout;
}
}  // namespace errors

// The library's own text for an error number, for what our messages do
// not explain.
QString libraryErrorText(int error);

}  // namespace zoetra::link
