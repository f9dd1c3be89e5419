// The TASM command line: options, output files and exit status.
#include "CommandLine.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <sstream>

namespace tasm {
namespace {

namespace fs = std::filesystem;

class CommandLine : public testing::Test {
protected:
    void SetUp() override
    {
        dir_ = fs::temp_directory_path() /
               ("tasm-cli-" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
                std::to_string(std::random_device{}()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    void write(const std::string& name, const std::string& text) const
    {
        std::ofstream(dir_ / name, std::ios::binary) << text;
    }

    std::string read(const std::string& name) const
    {
        std::ifstream in(dir_ / name, std::ios::binary);
        std::ostringstream text;
        if (in) {
            text << in.rdbuf();
        }
        return text.str();
    }

    int run(std::vector<std::string> arguments)
    {
        out_.str({});
        err_.str({});
        return runCommandLine(arguments, out_, err_);
    }

    fs::path dir_;
    std::ostringstream out_;
    std::ostringstream err_;
};

// Decodes Intel HEX, checking every record's checksum, into a 64 KB image.
std::map<int, std::uint8_t> decodeIntelHex(const std::string& text, bool& endSeen)
{
    std::map<int, std::uint8_t> bytes;
    std::istringstream in(text);
    std::string line;
    endSeen = false;
    while (std::getline(in, line)) {
        EXPECT_FALSE(endSeen) << "records after the end record";
        EXPECT_EQ(line[0], ':');
        std::vector<unsigned> b;
        for (std::size_t i = 1; i + 1 < line.size(); i += 2) {
            b.push_back(static_cast<unsigned>(std::stoul(line.substr(i, 2), nullptr, 16)));
        }
        unsigned sum = 0;
        for (unsigned v : b) {
            sum += v;
        }
        EXPECT_EQ(sum & 0xFF, 0u) << "checksum of " << line;
        EXPECT_EQ(b.size(), b[0] + 5u) << line;
        const int address = static_cast<int>(b[1] * 256 + b[2]);
        if (b[3] == 1) {
            endSeen = true;
        } else {
            EXPECT_EQ(b[3], 0u);
            for (unsigned i = 0; i < b[0]; ++i) {
                bytes[address + static_cast<int>(i)] = static_cast<std::uint8_t>(b[4 + i]);
            }
        }
    }
    return bytes;
}

TEST_F(CommandLine, BinaryImageSpansLowestToHighestWithGapsFilled)
{
    write("p.z80", " .org $9D93\n .db 1,2\n .org $9DA0\n .db 3\n");
    ASSERT_EQ(run({"-80", "-i", "-b", path("p.z80"), path("p.bin")}), 0) << err_.str();
    std::string expected = "\x01\x02";
    expected += std::string(0x9DA0 - 0x9D95, '\0');
    expected += "\x03";
    EXPECT_EQ(read("p.bin"), expected);

    ASSERT_EQ(run({"-b", "-fFF", path("p.z80"), path("p.bin")}), 0) << err_.str();
    EXPECT_EQ(read("p.bin"), "\x01\x02" + std::string(0x9DA0 - 0x9D95, '\xFF') + "\x03");
}

TEST_F(CommandLine, WithoutBinaryTheImageIsIntelHexOfTheWrittenBytes)
{
    std::string text = " .org $4000\n";
    for (int i = 0; i < 40; ++i) {
        text += " .db " + std::to_string(i * 7 % 256) + "\n";
    }
    text += " .org $5000\n .dw $BEEF\n";
    write("p.z80", text);
    ASSERT_EQ(run({"-80", path("p.z80")}), 0) << err_.str();
    bool end = false;
    const auto bytes = decodeIntelHex(read("p.obj"), end);
    EXPECT_TRUE(end);
    ASSERT_EQ(bytes.size(), 42u);
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(bytes.at(0x4000 + i), i * 7 % 256);
    }
    EXPECT_EQ(bytes.at(0x5000), 0xEF);
    EXPECT_EQ(bytes.at(0x5001), 0xBE);
}

TEST_F(CommandLine, AFailedAssemblyLeavesNoImageOfAnEarlierRun)
{
    write("p.z80", " .db 1\n");
    ASSERT_EQ(run({"-b", path("p.z80"), path("p.bin")}), 0);
    ASSERT_TRUE(fs::exists(path("p.bin")));

    write("p.z80", " .db 1\n ld a,undefined\n");
    EXPECT_EQ(run({"-b", path("p.z80"), path("p.bin")}), 1);
    EXPECT_FALSE(fs::exists(path("p.bin")));
    EXPECT_NE(err_.str().find("p.z80:2: error: undefined label 'undefined'"), std::string::npos) << err_.str();
    // Nothing but the source is left behind, no temporary file either.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(CommandLine, ListingGoesToTheThirdNameOrBesideTheSource)
{
    write("p.z80", " .org $100\n ld a,5\n");
    ASSERT_EQ(run({"-b", path("p.z80"), path("p.bin"), path("out.lst")}), 0) << err_.str();
    EXPECT_NE(read("out.lst").find("0100 3E 05"), std::string::npos) << read("out.lst");
    ASSERT_EQ(run({"-l", "-b", path("p.z80"), path("p.bin")}), 0) << err_.str();
    EXPECT_NE(read("p.lst").find("ld a,5"), std::string::npos);
}

TEST_F(CommandLine, DefinesEchoesAndMessages)
{
    write("p.z80", "#ifdef SHOW\n .echo \"width \", WIDTH, \"\\n\"\n#endif\n .db WIDTH\n");
    ASSERT_EQ(run({"-b", "-dSHOW", "-dWIDTH=96", path("p.z80"), path("p.bin")}), 0) << err_.str();
    EXPECT_EQ(out_.str(), "width 96\n");
    EXPECT_EQ(read("p.bin"), "\x60");
}

TEST_F(CommandLine, BadCommandLinesAreRefusedWithUsage)
{
    write("p.z80", " nop\n");
    EXPECT_EQ(run({"-h"}), 0);
    EXPECT_NE(out_.str().find("usage: TASM"), std::string::npos);

    EXPECT_EQ(run({}), 2);
    EXPECT_NE(err_.str().find("usage: TASM"), std::string::npos);

    EXPECT_EQ(run({"-48", path("p.z80")}), 2);
    EXPECT_NE(err_.str().find("only the Z80 instruction table"), std::string::npos) << err_.str();

    EXPECT_EQ(run({"-k", path("p.z80")}), 2);
    EXPECT_NE(err_.str().find("unknown option '-k'"), std::string::npos);
    EXPECT_EQ(run({"-xZ", path("p.z80")}), 2);
    EXPECT_NE(err_.str().find("-x takes one hex digit"), std::string::npos);

    EXPECT_EQ(run({"-fZZ", path("p.z80")}), 2);
    EXPECT_EQ(run({"-d", path("p.z80")}), 2);
    EXPECT_EQ(run({path("p.z80"), "-b"}), 2);
    EXPECT_EQ(run({path("p.z80"), "a", "b", "c"}), 2);
    EXPECT_FALSE(fs::exists(path("p.obj")));

    EXPECT_EQ(run({path("missing.z80")}), 1);
    EXPECT_NE(err_.str().find("cannot open"), std::string::npos) << err_.str();
}

TEST_F(CommandLine, IncludeNamesInAnotherLetterCaseFindTheOneFileOrNameBoth)
{
    fs::create_directories(dir_ / "Inc");
    write("Inc/TI83PLUS.INC", "SEVEN = 7\n");
    write("p.z80", "#include \"inc/ti83plus.inc\"\n .db SEVEN\n");
    ASSERT_EQ(run({"-b", path("p.z80"), path("p.bin")}), 0) << err_.str();
    EXPECT_EQ(read("p.bin"), "\x07");

    write("Inc/Twice.inc", " .db 1\n");
    write("Inc/twice.INC", " .db 2\n");
    if (fs::exists(dir_ / "Inc" / "TWICE.inc")) {
        GTEST_SKIP() << "the file system ignores letter case";
    }
    write("q.z80", "#include \"inc/TWICE.inc\"\n");
    EXPECT_EQ(run({"-b", path("q.z80"), path("q.bin")}), 1);
    EXPECT_NE(err_.str().find("'inc/TWICE.inc' is ambiguous"), std::string::npos) << err_.str();
    EXPECT_NE(err_.str().find("Inc/Twice.inc"), std::string::npos) << err_.str();
    EXPECT_NE(err_.str().find("Inc/twice.INC"), std::string::npos) << err_.str();
    EXPECT_FALSE(fs::exists(path("q.bin")));
}

TEST_F(CommandLine, TheExtendedInstructionSetNeedsX)
{
    write("p.z80", " mlt de\n");
    EXPECT_EQ(run({"-b", path("p.z80"), path("p.bin")}), 1);
    EXPECT_NE(err_.str().find("unknown instruction 'MLT'"), std::string::npos) << err_.str();
    ASSERT_EQ(run({"-b", "-x", path("p.z80"), path("p.bin")}), 0) << err_.str();
    EXPECT_EQ(read("p.bin"), "\xED\x5C");
    ASSERT_EQ(run({"-b", "-x3", path("p.z80"), path("p.bin")}), 0) << err_.str();
    // Bit 1 of the mask selects the HD64180; -x1 is the base set only.
    EXPECT_EQ(run({"-b", "-x1", path("p.z80"), path("p.bin")}), 1);
}

TEST_F(CommandLine, AnUnwritableObjectIsAnErrorNotSuccess)
{
    write("p.z80", " nop\n");
    EXPECT_EQ(run({"-b", path("p.z80"), path("no-such-folder/p.bin")}), 1);
    EXPECT_FALSE(err_.str().empty());
}

TEST_F(CommandLine, TheExecutableReportsThroughItsExitStatus)
{
    // The built program, as the build script runs it.
    write("p.z80", " .org $9D93\n .db $BB,$6D\n ret\n");
    write("bad.z80", " jp nowhere\n");
    const std::string tasm = TASM_EXECUTABLE;
    const auto quoted = [](const std::string& s) { return "\"" + s + "\""; };
    const std::string quiet = " > " + quoted(path("out.txt")) + " 2>&1";
    EXPECT_EQ(std::system((quoted(tasm) + " -80 -i -b " + quoted(path("p.z80")) + " " + quoted(path("p.bin")) + quiet)
                              .c_str()),
              0);
    EXPECT_EQ(read("p.bin"), "\xBB\x6D\xC9");
    EXPECT_NE(std::system((quoted(tasm) + " -80 -i -b " + quoted(path("bad.z80")) + " " + quoted(path("p.bin")) + quiet)
                              .c_str()),
              0);
    EXPECT_FALSE(fs::exists(path("p.bin")));
    EXPECT_NE(read("out.txt").find("bad.z80:1: error: undefined label 'nowhere'"), std::string::npos)
        << read("out.txt");
}

}  // namespace
}  // namespace tasm
