// Runs every source under cases/ through the assembler and compares the
// result with what the source's own header comments expect:
//
//   ; options: -i -x -dNAME=value     command-line options
//   ; bytes @9D93: BB 6D EF            the image from that address on
//   ; bytes: 0A 45                     more bytes, following the last line
//   ; error: 12: undefined label       an error at line 12 holding the text
//   ; error: inc/loop.inc:1: text      ... in another file
//   ; warning: 3: text
//   ; echo: text                       a line of what .echo prints
//
// A case that expects errors must fail; one that expects bytes must give
// exactly those bytes, from that address, and nothing else.

#include "Assembler.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;

struct Expected {
    tasm::Options options;
    int origin = -1;
    std::vector<std::uint8_t> bytes;
    struct Message {
        tasm::Diagnostic::Severity severity;
        std::string file;  // empty: the case file
        int line;
        std::string text;
    };
    std::vector<Message> messages;
    std::vector<std::string> echoes;
};

fs::path casesDir()
{
    return fs::path(ZOETRA_SOURCE_DIR) / "tests" / "tools" / "tasm" / "cases";
}

std::string trimmed(std::string s)
{
    const auto b = s.find_first_not_of(" \t");
    const auto e = s.find_last_not_of(" \t\r");
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

void parseOptions(const std::string& text, tasm::Options& options)
{
    std::istringstream in(text);
    std::string word;
    while (in >> word) {
        if (word == "-i") {
            options.foldCase = true;
        } else if (word == "-x") {
            options.extended = true;
        } else if (word.rfind("-d", 0) == 0) {
            const std::string def = word.substr(2);
            const auto eq = def.find('=');
            options.defines.emplace_back(def.substr(0, eq), eq == std::string::npos ? "1" : def.substr(eq + 1));
        } else {
            ADD_FAILURE() << "unknown case option " << word;
        }
    }
}

void parseBytes(const std::string& text, std::vector<std::uint8_t>& bytes)
{
    std::istringstream in(text);
    std::string hex;
    while (in >> hex) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(hex, nullptr, 16)));
    }
}

Expected::Message parseMessage(tasm::Diagnostic::Severity severity, const std::string& text)
{
    // [file:]line: text
    Expected::Message m{severity, {}, 0, {}};
    const auto colon = text.find(':');
    std::string head = text.substr(0, colon);
    std::string rest = colon == std::string::npos ? std::string() : text.substr(colon + 1);
    if (!head.empty() && !std::isdigit(static_cast<unsigned char>(head[0]))) {
        m.file = head;
        const auto second = rest.find(':');
        head = rest.substr(0, second);
        rest = second == std::string::npos ? std::string() : rest.substr(second + 1);
    }
    m.line = std::stoi(head);
    m.text = trimmed(rest);
    return m;
}

Expected readExpectations(const fs::path& file)
{
    Expected x;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        line = trimmed(line);
        if (line.rfind(";", 0) != 0) {
            continue;
        }
        line = trimmed(line.substr(1));
        const auto colon = line.find(':');
        if (colon == std::string::npos) {
            continue;
        }
        const std::string key = line.substr(0, colon);
        const std::string value = trimmed(line.substr(colon + 1));
        if (key == "options") {
            parseOptions(value, x.options);
        } else if (key.rfind("bytes @", 0) == 0) {
            x.origin = static_cast<int>(std::stoul(key.substr(7), nullptr, 16));
            parseBytes(value, x.bytes);
        } else if (key == "bytes") {
            parseBytes(value, x.bytes);
        } else if (key == "error") {
            x.messages.push_back(parseMessage(tasm::Diagnostic::Severity::Error, value));
        } else if (key == "warning") {
            x.messages.push_back(parseMessage(tasm::Diagnostic::Severity::Warning, value));
        } else if (key == "echo") {
            x.echoes.push_back(value);
        }
    }
    return x;
}

bool matches(const Expected::Message& m, const tasm::Diagnostic& d, const fs::path& caseFile)
{
    if (m.severity != d.severity || m.line != d.where.line || d.text.find(m.text) == std::string::npos) {
        return false;
    }
    const fs::path where = fs::path(d.where.file).lexically_normal();
    if (m.file.empty()) {
        return where.filename() == caseFile.filename();
    }
    const std::string w = where.generic_string();
    return w.size() >= m.file.size() && w.compare(w.size() - m.file.size(), m.file.size(), m.file) == 0;
}

class Case : public testing::TestWithParam<std::string> {};

TEST_P(Case, AssemblesAsItsCommentsSay)
{
    const fs::path file = casesDir() / (GetParam() + ".asm");
    const Expected x = readExpectations(file);
    ASSERT_TRUE(!x.bytes.empty() || !x.messages.empty() || !x.echoes.empty())
        << file << " says nothing about what it should give";

    const tasm::Result r = tasm::assemble(file.string(), x.options);
    const std::string report = r.diagnostics.format();

    bool expectsErrors = false;
    for (const auto& m : x.messages) {
        expectsErrors = expectsErrors || m.severity == tasm::Diagnostic::Severity::Error;
        bool found = false;
        for (const tasm::Diagnostic& d : r.diagnostics.all()) {
            found = found || matches(m, d, file);
        }
        EXPECT_TRUE(found) << "no message at " << (m.file.empty() ? "" : m.file + ":") << m.line
                           << " holding \"" << m.text << "\"; got:\n"
                           << report;
    }
    // Every message the assembler gives must be one the case expects.
    for (const tasm::Diagnostic& d : r.diagnostics.all()) {
        bool expected = false;
        for (const auto& m : x.messages) {
            expected = expected || matches(m, d, file);
        }
        EXPECT_TRUE(expected) << "unexpected message: " << d.where.file << ":" << d.where.line << ": " << d.text;
    }

    if (expectsErrors) {
        EXPECT_FALSE(r.ok) << "assembled although errors were expected";
        return;
    }
    ASSERT_TRUE(r.ok) << report;
    std::string printed;
    for (const std::string& e : r.echoes) {
        printed += e;
    }
    std::string expectedPrint;
    for (const std::string& e : x.echoes) {
        expectedPrint += e + "\n";
    }
    EXPECT_EQ(printed, expectedPrint);
    if (x.bytes.empty()) {
        return;
    }
    ASSERT_EQ(r.image.lowest, x.origin) << "lowest address written";
    EXPECT_EQ(r.image.bytes(), x.bytes);
}

std::vector<std::string> caseNames()
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(casesDir())) {
        if (entry.is_regular_file() && entry.path().extension() == ".asm") {
            names.push_back(entry.path().stem().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

INSTANTIATE_TEST_SUITE_P(Tasm, Case, testing::ValuesIn(caseNames()),
                         [](const testing::TestParamInfo<std::string>& param) { return param.param; });

}  // namespace
