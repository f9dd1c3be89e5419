// The OS's variables: the VAT in RAM, AppVars in RAM and in the archive,
// and the system calls that find and read them.
#include "calc/Os.h"

#include <algorithm>

namespace zoetra::calc {

void Os::programLoaded()
{
    ramVarsEnd_ = std::max(ramVarsEnd_, m_.programEnd());
}

std::optional<PlacedVariable> Os::loadAppVar(std::string_view name, std::span<const std::uint8_t> data, bool archived,
                                             std::string* error)
{
    std::string why;
    const auto fail = [&](const std::string& text) -> std::optional<PlacedVariable> {
        if (error != nullptr) {
            *error = text;
        }
        return std::nullopt;
    };
    if (name.empty() || name.size() > 8) {
        return fail("an AppVar's name has 1 to 8 characters");
    }
    const std::uint32_t vatBytes = 7 + static_cast<std::uint32_t>(name.size());
    PlacedVariable placed;
    placed.archived = archived;
    if (archived) {
        FlashAddress at;
        if (!archive_.store(Archive::ValidFlag, AppVarObj, name, data, &at, &why)) {
            return fail(why);
        }
        placed.page = at.page;
        placed.address = at.address;
    } else {
        if (ramVarsEnd_ + 2 + data.size() + vatBytes > vatBottom_) {
            return fail("no RAM left for the AppVar " + std::string(name));
        }
        placed.address = static_cast<std::uint16_t>(ramVarsEnd_);
        memory_.ram(ramVarsEnd_) = static_cast<std::uint8_t>(data.size());
        memory_.ram(ramVarsEnd_ + 1) = static_cast<std::uint8_t>(data.size() >> 8);
        for (std::size_t i = 0; i < data.size(); ++i) {
            memory_.ram(ramVarsEnd_ + 2 + static_cast<std::uint32_t>(i)) = data[i];
        }
        ramVarsEnd_ += 2 + static_cast<std::uint32_t>(data.size());
    }
    if (vatBottom_ - vatBytes < ramVarsEnd_) {
        return fail("no RAM left for the VAT entry of " + std::string(name));
    }
    // The VAT entry runs backwards from its type byte: type, T2, version,
    // address low, high, page, name length, name.
    const std::uint16_t entry = vatBottom_;
    const std::uint8_t fields[] = {AppVarObj,
                                   0,
                                   0,
                                   static_cast<std::uint8_t>(placed.address),
                                   static_cast<std::uint8_t>(placed.address >> 8),
                                   static_cast<std::uint8_t>(placed.page),
                                   static_cast<std::uint8_t>(name.size())};
    std::uint16_t at = entry;
    for (const std::uint8_t field : fields) {
        memory_.ram(at--) = field;
    }
    for (const char c : name) {
        memory_.ram(at--) = static_cast<std::uint8_t>(c);
    }
    vatBottom_ = at;
    memory_.ram(ram::PTemp) = static_cast<std::uint8_t>(vatBottom_);
    memory_.ram(ram::PTemp + 1) = static_cast<std::uint8_t>(vatBottom_ >> 8);
    placed.vatEntry = entry;
    return placed;
}

bool Os::padArchiveTo(FlashAddress at, std::string* error)
{
    std::string why;
    if (!archive_.padTo(at, &why)) {
        if (error != nullptr) {
            *error = why;
        }
        return false;
    }
    return true;
}

bool Os::mov9ToOp1(std::uint64_t&)
{
    const std::uint16_t hl = m_.reg(Reg::HL);
    if (!osPointer(hl, 9, "_Mov9ToOP1")) {
        return false;
    }
    for (std::uint16_t i = 0; i < 9; ++i) {
        memory_.ram(ram::Op1 + i) = memory_.read(static_cast<std::uint16_t>(hl + i));
    }
    return returns();
}

bool Os::chkFindSym(std::uint64_t&)
{
    return findSymbol(false);
}

bool Os::findSym(std::uint64_t&)
{
    return findSymbol(true);
}

// _ChkFindSym and _FindSym: the VAT searched for OP1's name (and, for
// _ChkFindSym with programs and AppVars, its type).
bool Os::findSymbol(bool anyType)
{
    const std::uint8_t wanted = memory_.ram(ram::Op1) & 0x1F;
    std::string name;
    for (std::uint16_t i = 1; i <= 8 && memory_.ram(ram::Op1 + i) != 0; ++i) {
        name += static_cast<char>(memory_.ram(ram::Op1 + i));
    }
    const auto sameType = [](std::uint8_t a, std::uint8_t b) {
        const auto program = [](std::uint8_t t) { return t == ProgObj || t == ProtProgObj; };
        return a == b || (program(a) && program(b));
    };
    const std::uint16_t top = static_cast<std::uint16_t>(memory_.ram(ram::ProgPtr) | memory_.ram(ram::ProgPtr + 1) << 8);
    const std::uint16_t bottom = static_cast<std::uint16_t>(memory_.ram(ram::PTemp) | memory_.ram(ram::PTemp + 1) << 8);
    m_.scrambleRegisters();
    for (std::uint16_t entry = top; entry > bottom;) {
        const std::uint8_t type = memory_.ram(entry) & 0x1F;
        const std::uint8_t length = memory_.ram(entry - 6u);
        std::string entryName;
        for (std::uint16_t i = 0; i < length; ++i) {
            entryName += static_cast<char>(memory_.ram(entry - 7u - i));
        }
        if (entryName == name && (anyType || sameType(type, wanted))) {
            const std::uint16_t data =
                static_cast<std::uint16_t>(memory_.ram(entry - 3u) | memory_.ram(entry - 4u) << 8);
            const std::uint8_t page = memory_.ram(entry - 5u);
            m_.setReg(Reg::HL, entry);
            m_.setReg(Reg::DE, data);
            m_.setReg(Reg::BC, static_cast<std::uint16_t>(page << 8 | length));
            m_.setReg(Reg::AF, static_cast<std::uint16_t>(type << 8 | (m_.reg(Reg::AF) & 0xFE)));
            return true;
        }
        entry = static_cast<std::uint16_t>(entry - 7u - length);
    }
    m_.setReg(Reg::AF, static_cast<std::uint16_t>(m_.reg(Reg::AF) | 0x01));
    return true;
}

bool Os::loadCIndPaged(std::uint64_t&)
{
    return pagedRead("_LoadCIndPaged", 1);
}

bool Os::loadDeIndPaged(std::uint64_t&)
{
    return pagedRead("_LoadDEIndPaged", 2);
}

// _LoadCIndPaged (C = the byte at B:HL) and _LoadDEIndPaged (DE = the word
// at B:HL). What they do with an address outside bank A, or a word across
// a page end, is not documented: those are faults.
bool Os::pagedRead(const char* name, std::uint16_t bytes)
{
    const std::uint16_t hl = m_.reg(Reg::HL);
    const int page = m_.reg(Reg::BC) >> 8;
    if (hl < BankA || hl + bytes - 1 >= BankB) {
        m_.setFault(std::string(name) + " given " + hex(hl) + ", outside 4000h-7FFFh" +
                    (hl + bytes - 1 == BankB ? " (a word across a page end)" : ""));
        return false;
    }
    if (page >= memory_.flashPages()) {
        m_.setFault(std::string(name) + " given Flash page " + hex(static_cast<unsigned>(page), 2) + ", which this " +
                    std::string(m_.hardware().facts().name) + " does not have");
        return false;
    }
    const std::uint32_t at = FlashAddress{page, hl}.linear();
    const std::uint8_t low = memory_.flash()[at];
    const std::uint8_t high = bytes == 2 ? memory_.flash()[at + 1] : 0;
    m_.scrambleRegisters();
    if (bytes == 1) {
        m_.setReg(Reg::BC, static_cast<std::uint16_t>((m_.reg(Reg::BC) & 0xFF00) | low));
    } else {
        m_.setReg(Reg::DE, static_cast<std::uint16_t>(high << 8 | low));
    }
    return true;
}

// _FlashToRam: BC bytes from A:HL (bank A) to DE in RAM, on across page
// ends into the next page.
bool Os::flashToRam(std::uint64_t&)
{
    const int page = m_.reg(Reg::AF) >> 8;
    const std::uint16_t hl = m_.reg(Reg::HL);
    const std::uint16_t de = m_.reg(Reg::DE);
    const std::uint16_t count = m_.reg(Reg::BC);
    if (hl < BankA || hl >= BankB) {
        m_.setFault("_FlashToRam given " + hex(hl) + ", outside 4000h-7FFFh");
        return false;
    }
    const std::uint32_t from = FlashAddress{page, hl}.linear();
    if (from + count > memory_.flash().size()) {
        m_.setFault("_FlashToRam reads past the end of Flash");
        return false;
    }
    if (!osPointer(de, count, "_FlashToRam")) {
        return false;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t to = de + i;
        const std::uint8_t value = memory_.flash()[from + i];
        if (to >= 0x10000 || !m_.writeAllowed(static_cast<std::uint16_t>(to), value)) {
            m_.setFault("_FlashToRam writes to " + hex(to) + ", outside what the program may write");
            return false;
        }
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        memory_.ram(de + i) = memory_.flash()[from + i];
        m_.programWrittenAt(de + i);
    }
    m_.addTime(21ull * count);
    m_.scrambleRegisters();
    return true;
}

}  // namespace zoetra::calc
