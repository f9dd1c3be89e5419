#include "InstructionForms.h"

namespace tasm::test {

std::vector<std::string> instructionForms()
{
    std::vector<std::string> out;
    auto add = [&](const std::string& s) { out.push_back(s); };
    const std::vector<std::string> r8 = {"b", "c", "d", "e", "h", "l", "a"};
    const std::vector<std::string> mem = {"(hl)", "(ix+5)", "(iy-7)", "(ix+127)", "(iy-128)", "(ix+0)"};
    const std::vector<std::string> halvesX = {"ixh", "ixl"};
    const std::vector<std::string> halvesY = {"iyh", "iyl"};
    const std::vector<std::string> plain = {"b", "c", "d", "e", "a"};

    for (const char* op : {"nop", "halt", "di", "ei", "exx", "rlca", "rrca", "rla", "rra", "daa", "cpl", "scf",
                           "ccf", "ret", "neg", "retn", "reti", "rrd", "rld", "ldi", "cpi", "ini", "outi", "ldd",
                           "cpd", "ind", "outd", "ldir", "cpir", "inir", "otir", "lddr", "cpdr", "indr", "otdr"}) {
        add(op);
    }
    for (const char* m : {"0", "1", "2"}) {
        add(std::string("im ") + m);
    }

    // Loads.
    for (const auto& d : r8) {
        for (const auto& s : r8) {
            add("ld " + d + "," + s);
        }
        for (const auto& m : mem) {
            add("ld " + d + "," + m);
            add("ld " + m + "," + d);
        }
        add("ld " + d + ",90");
    }
    for (const auto& m : mem) {
        add("ld " + m + ",0A5h");
    }
    for (const auto& halves : {halvesX, halvesY}) {
        for (const auto& h : halves) {
            for (const auto& s : plain) {
                add("ld " + h + "," + s);
                add("ld " + s + "," + h);
            }
            for (const auto& s : halves) {
                add("ld " + h + "," + s);
            }
            add("ld " + h + ",17");
        }
    }
    for (const char* s : {"ld a,(bc)", "ld a,(de)", "ld a,(1234h)", "ld (bc),a", "ld (de),a", "ld (4321h),a",
                          "ld a,i", "ld a,r", "ld i,a", "ld r,a", "ld sp,hl", "ld sp,ix", "ld sp,iy"}) {
        add(s);
    }
    for (const char* rr : {"bc", "de", "hl", "sp", "ix", "iy"}) {
        add(std::string("ld ") + rr + ",0BEEFh");
        add(std::string("ld ") + rr + ",(9D95h)");
        add(std::string("ld (8000h),") + rr);
        add(std::string("inc ") + rr);
        add(std::string("dec ") + rr);
    }
    for (const char* qq : {"bc", "de", "hl", "af", "ix", "iy"}) {
        add(std::string("push ") + qq);
        add(std::string("pop ") + qq);
    }
    for (const char* s : {"ex de,hl", "ex af,af'", "ex (sp),hl", "ex (sp),ix", "ex (sp),iy"}) {
        add(s);
    }

    // Arithmetic and logic.
    for (const char* op : {"add", "adc", "sub", "sbc", "and", "xor", "or", "cp"}) {
        std::vector<std::string> sources = r8;
        sources.insert(sources.end(), mem.begin(), mem.end());
        sources.insert(sources.end(), {"ixh", "ixl", "iyh", "iyl", "12", "0FFh", "-1"});
        // The standard spelling: "sub b" but "add a,b"; both assemblers
        // we compare with insist on it.
        const bool withA = std::string(op) == "add" || std::string(op) == "adc" || std::string(op) == "sbc";
        for (const auto& s : sources) {
            add(std::string(op) + (withA ? " a," : " ") + s);
        }
    }
    for (const char* rr : {"bc", "de", "hl", "sp"}) {
        add(std::string("add hl,") + rr);
        add(std::string("adc hl,") + rr);
        add(std::string("sbc hl,") + rr);
    }
    for (const char* rr : {"bc", "de", "ix", "sp"}) {
        add(std::string("add ix,") + rr);
    }
    for (const char* rr : {"bc", "de", "iy", "sp"}) {
        add(std::string("add iy,") + rr);
    }
    for (const char* op : {"inc", "dec"}) {
        for (const auto& s : r8) {
            add(std::string(op) + " " + s);
        }
        for (const auto& m : mem) {
            add(std::string(op) + " " + m);
        }
        for (const char* h : {"ixh", "ixl", "iyh", "iyl"}) {
            add(std::string(op) + " " + h);
        }
    }

    // Rotates, shifts and bits.
    std::vector<std::string> cbTargets = r8;
    cbTargets.insert(cbTargets.end(), {"(hl)", "(ix+3)", "(iy-3)"});
    for (const char* op : {"rlc", "rrc", "rl", "rr", "sla", "sra", "sll", "srl"}) {
        for (const auto& t : cbTargets) {
            add(std::string(op) + " " + t);
        }
    }
    for (const char* op : {"bit", "res", "set"}) {
        for (int b = 0; b < 8; ++b) {
            for (const auto& t : cbTargets) {
                add(std::string(op) + " " + std::to_string(b) + "," + t);
            }
        }
    }

    // Jumps, calls, returns.
    add("jp 1234h");
    add("jp (hl)");
    add("jp (ix)");
    add("jp (iy)");
    add("call 0ABCDh");
    for (const char* cc : {"nz", "z", "nc", "c", "po", "pe", "p", "m"}) {
        add(std::string("jp ") + cc + ",5678h");
        add(std::string("call ") + cc + ",1357h");
        add(std::string("ret ") + cc);
    }
    add("jr $+2");
    add("jr $+129");
    add("jr $-126");
    add("djnz $+12");
    add("djnz $");
    for (const char* cc : {"nz", "z", "nc", "c"}) {
        add(std::string("jr ") + cc + ",$+7");
        add(std::string("jr ") + cc + ",$-3");
    }
    for (int p = 0; p <= 0x38; p += 8) {
        add("rst " + std::to_string(p));
    }

    // Input and output.
    add("in a,(0FEh)");
    add("out (12),a");
    for (const auto& r : r8) {
        add("in " + r + ",(c)");
        add("out (c)," + r);
    }
    add("in f,(c)");
    add("out (c),0");
    return out;
}

std::vector<std::string> precedenceFreeExpressions()
{
    return {"ld a,0+(1+2)+3", "ld bc,0+((2*3)+4)*5", "ld a,0+(100-1)/3", "ld hl,0+(7*(8+9))-1", "ld de,0+(255 & 15) | 48",
            "ld a,-(3+4)", "ld bc,0+(1<<8)+2", "ld hl,((40000/2)/2)", "ld a,'A'+1",
            "ld de,0C000h-(2*10)", "ld a,((3))", "cp 0+(4+4)-1", "ld ix,0+(12+3)*(2+2)", "jr $+(3*4)", "djnz $-(1+1)"};
}

std::vector<std::string> hd64180Forms()
{
    std::vector<std::string> out;
    for (const char* r : {"b", "c", "d", "e", "h", "l", "a"}) {
        out.push_back(std::string("in0 ") + r + ",(12h)");
        out.push_back(std::string("out0 (0FEh),") + r);
        out.push_back(std::string("tst ") + r);
    }
    for (const char* rr : {"bc", "de", "hl", "sp"}) {
        out.push_back(std::string("mlt ") + rr);
    }
    for (const char* op : {"tst (hl)", "tst 0", "tst 0A5h", "tstio 7Fh", "slp", "otim", "otimr", "otdm", "otdmr"}) {
        out.emplace_back(op);
    }
    return out;
}

}  // namespace tasm::test
