// Our assembler against two independent ones from Debian, pasmo and the GNU
// assembler for the Z80: every instruction form, byte for byte.
#include "Assembler.h"
#include "InstructionForms.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

namespace tasm::test {
namespace {

namespace fs = std::filesystem;

struct Program {
    std::vector<std::string> lines;
    std::vector<int> addresses;          // of each line, from 0
    std::vector<std::uint8_t> ours;      // our bytes for the whole program
};

std::vector<std::uint8_t> assembleText(const std::string& text, bool extended, bool& ok, std::string& messages)
{
    Options options;
    options.extended = extended;
    options.reader = [&](const std::string&, std::string& bytes) {
        bytes = text;
        return true;
    };
    const Result r = assemble("forms.asm", options);
    ok = r.ok;
    messages = r.diagnostics.format();
    if (!r.ok || r.image.lowest < 0) {
        return {};
    }
    return r.image.bytes();
}

// Our encoding line by line gives each line's address (to tell which line
// differs), then the whole program is assembled at once.
Program build(const std::vector<std::string>& forms, bool extended = false)
{
    Program p;
    int address = 0;
    for (const std::string& form : forms) {
        bool ok = false;
        std::string messages;
        const std::string& line = form;
        const auto bytes =
            assembleText(" .org " + std::to_string(address + 0x100) + "\n " + line + "\n", extended, ok, messages);
        EXPECT_TRUE(ok) << line << ": " << messages;
        p.lines.push_back(line);
        p.addresses.push_back(address);
        address += static_cast<int>(bytes.size());
    }
    std::string text = " .org 256\n";
    for (const std::string& line : p.lines) {
        text += " " + line + "\n";
    }
    bool ok = false;
    std::string messages;
    p.ours = assembleText(text, extended, ok, messages);
    EXPECT_TRUE(ok) << messages;
    return p;
}

bool run(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

std::vector<std::uint8_t> readBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void compare(const Program& p, const std::vector<std::uint8_t>& theirs, const char* who)
{
    ASSERT_FALSE(theirs.empty()) << who << " produced nothing";
    std::size_t i = 0;
    while (i < p.ours.size() && i < theirs.size() && p.ours[i] == theirs[i]) {
        ++i;
    }
    if (i == p.ours.size() && i == theirs.size()) {
        return;
    }
    std::size_t line = 0;
    while (line + 1 < p.addresses.size() && p.addresses[line + 1] <= static_cast<int>(i)) {
        ++line;
    }
    char buffer[64];
    std::string ours;
    std::string other;
    for (std::size_t k = static_cast<std::size_t>(p.addresses[line]); k < p.addresses[line] + 4u; ++k) {
        std::snprintf(buffer, sizeof buffer, "%02X ", k < p.ours.size() ? p.ours[k] : 0);
        ours += buffer;
        std::snprintf(buffer, sizeof buffer, "%02X ", k < theirs.size() ? theirs[k] : 0);
        other += buffer;
    }
    FAIL() << who << " differs at byte " << i << ", line '" << p.lines[line] << "': ours " << ours << ", "
           << who << " " << other;
}

class Differential : public testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("tasm-diff-" + std::to_string(::getpid()) + "-" +
                                           testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override { if (!HasFailure()) fs::remove_all(dir); }

    void write(const fs::path& path, const std::vector<std::string>& lines, const char* head)
    {
        std::ofstream out(path);
        out << head;
        for (const std::string& l : lines) {
            out << " " << l << "\n";
        }
    }

    std::vector<std::uint8_t> pasmo(const Program& p)
    {
        write(dir / "p.asm", p.lines, " org 256\n");
        if (!run("pasmo " + (dir / "p.asm").string() + " " + (dir / "p.bin").string())) {
            ADD_FAILURE() << "pasmo failed on " << (dir / "p.asm").string();
            return {};
        }
        return readBytes(dir / "p.bin");
    }

    std::vector<std::uint8_t> gnu(const Program& p, const std::string& march = "z80+xyhl+sli+infc")
    {
        write(dir / "g.s", p.lines, "");
        const std::string base = (dir / "g").string();
        if (!run("z80-unknown-coff-as -march=" + march + " " + base + ".s -o " + base + ".o") ||
            !run("z80-unknown-coff-ld -Ttext 0x100 -o " + base + ".out " + base + ".o") ||
            !run("z80-unknown-coff-objcopy -O binary " + base + ".out " + base + ".bin")) {
            ADD_FAILURE() << "the GNU assembler failed on " << base << ".s";
            return {};
        }
        return readBytes(base + ".bin");
    }

    fs::path dir;
};

// pasmo knows neither IN F,(C) nor OUT (C),0.
std::vector<std::string> without(const std::vector<std::string>& forms, const std::set<std::string>& skip)
{
    std::vector<std::string> kept;
    for (const std::string& f : forms) {
        if (!skip.count(f)) {
            kept.push_back(f);
        }
    }
    return kept;
}

TEST_F(Differential, EveryInstructionFormAgreesWithPasmo)
{
    const Program p = build(without(instructionForms(), {"in f,(c)", "out (c),0"}));
    ASSERT_GT(p.lines.size(), 850u);
    compare(p, pasmo(p), "pasmo");
}

TEST_F(Differential, EveryInstructionFormAgreesWithTheGnuAssembler)
{
    const Program p = build(instructionForms());
    compare(p, gnu(p), "z80-unknown-coff-as");
}

TEST_F(Differential, TheHd64180FormsAgreeWithTheGnuAssembler)
{
    const Program p = build(hd64180Forms(), true);
    ASSERT_GT(p.lines.size(), 30u);
    compare(p, gnu(p, "z180"), "z80-unknown-coff-as -march=z180");
}

TEST_F(Differential, PrecedenceFreeExpressionsAgree)
{
    const Program p = build(precedenceFreeExpressions());
    compare(p, pasmo(p), "pasmo");
    compare(p, gnu(p), "z80-unknown-coff-as");
}

}  // namespace
}  // namespace tasm::test
