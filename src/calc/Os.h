#pragma once

#include "calc/Archive.h"
#include "calc/Machine.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zoetra::calc {

// Where a loaded AppVar was put, as _ChkFindSym reports it: the Flash page
// and the address of its entry's flag byte when archived, page 0 and the
// address of its size word in RAM; `vatEntry` is its entry in the VAT.
struct PlacedVariable {
    bool archived = false;
    int page = 0;
    std::uint16_t address = 0;
    std::uint16_t vatEntry = 0;
};

// The calculator's OS as a program run from the home screen meets it: its
// RAM as a program finds it, the system calls (rst 28h, one table of them
// by address; an unknown one faults with its address), the timer
// interrupt's handler at 0038h, the variables (the VAT, the archive) and
// the home screen's text. Its calls cost what they take on the calculator
// (see Timing.h) and leave the registers they do not return scrambled.
class Os final : public OsEntry {
public:
    explicit Os(Machine& machine);

    Entered enter(std::uint16_t address) override;

    // The program's bytes are loaded: AppVars in RAM go after them.
    void programLoaded();
    // An AppVar (1 to 8 characters) as the OS keeps it: archived, in the
    // next place in the archive; else in RAM after the program. Either way
    // with its entry in the VAT. Nothing, with a reason, when it does not fit.
    std::optional<PlacedVariable> loadAppVar(std::string_view name, std::span<const std::uint8_t> data, bool archived,
                                             std::string* error);
    FlashAddress nextArchiveEntry() const { return archive_.next(); }
    bool padArchiveTo(FlashAddress at, std::string* error);

    // What the program did with the OS.
    const std::vector<std::uint16_t>& systemCalls() const { return calls_; }
    std::vector<std::string> homeScreen() const;
    const std::string& printed() const { return printed_; }
    bool apdEnabled() const;
    bool runIndicatorOn() const { return runIndicator_; }
    bool textShadowCleared() const { return textShadowCleared_; }
    bool cursorHome() const { return cursorHome_; }

private:
    // One system call: false when it did not happen (a fault, or a wait
    // for a key); `cost` is what its dispatch and work take beyond the time
    // it added itself.
    using Routine = bool (Os::*)(std::uint64_t& cost);
    struct SystemCall {
        std::uint16_t address;
        Routine routine;
    };
    static const SystemCall Calls[];

    void systemCall();
    bool interruptHandler();
    void lcdBusyQuick();

    // The routines (OsCalls.cpp, OsVariables.cpp).
    bool grBufCpy(std::uint64_t& cost);
    bool getCsc(std::uint64_t& cost);
    bool getKey(std::uint64_t& cost);
    bool clrLcdFull(std::uint64_t& cost);
    bool clrScrnFull(std::uint64_t& cost);
    bool grBufClr(std::uint64_t& cost);
    bool homeUp(std::uint64_t& cost);
    bool runIndicOff(std::uint64_t& cost);
    bool runIndicOn(std::uint64_t& cost);
    bool disableApd(std::uint64_t& cost);
    bool enableApd(std::uint64_t& cost);
    bool putC(std::uint64_t& cost);
    bool putS(std::uint64_t& cost);
    bool newLineCall(std::uint64_t& cost);
    bool dispHl(std::uint64_t& cost);
    bool mov9ToOp1(std::uint64_t& cost);
    bool chkFindSym(std::uint64_t& cost);
    bool findSym(std::uint64_t& cost);
    bool loadCIndPaged(std::uint64_t& cost);
    bool loadDeIndPaged(std::uint64_t& cost);
    bool flashToRam(std::uint64_t& cost);

    // A routine's end: the registers scrambled, then A set to its result.
    bool returns();
    bool returnsA(std::uint8_t a);
    // OS-side access to RAM a system call is handed a pointer to: the
    // program's own mapping must not put it in bank A.
    bool osPointer(std::uint16_t address, std::size_t bytes, const char* call);
    void putCharacter(std::uint8_t character);
    void newLine();
    bool findSymbol(bool anyType);
    bool pagedRead(const char* name, std::uint16_t bytes);

    Machine& m_;
    PagedMemory& memory_;
    Archive archive_;
    std::uint32_t ramVarsEnd_ = ProgramOrigin;  // one past the AppVars in RAM
    std::uint16_t vatBottom_ = ram::SymTable;   // one below the last VAT entry
    std::vector<std::uint16_t> calls_;
    bool runIndicator_ = true;
    bool textShadowCleared_ = false;
    bool cursorHome_ = false;
    std::string printed_;
};

}  // namespace zoetra::calc
