// Sources that are not ordinary text: binary files, very long lines, very
// many errors, and the files the converter writes at their largest.
#include "Assembler.h"

#include <gtest/gtest.h>

#include <map>

namespace tasm {
namespace {

Result assembleFiles(const std::map<std::string, std::string>& files, const std::string& main = "main.asm",
                     Options options = {})
{
    options.reader = [files](const std::string& path, std::string& bytes) {
        const auto it = files.find(path);
        if (it == files.end()) {
            return false;
        }
        bytes = it->second;
        return true;
    };
    return assemble(main, options);
}

std::vector<std::uint8_t> bytesOf(const Result& r)
{
    if (r.image.lowest < 0) {
        return {};
    }
    return r.image.bytes();
}

TEST(SourceLimits, BinaryFilesAreRefusedAsNotText)
{
    const Result r = assembleFiles({{"main.asm", std::string(" nop\n\0\x01\x02 ld a,1\n", 16)}});
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.diagnostics.format().find("not a text file"), std::string::npos) << r.diagnostics.format();

    const Result included = assembleFiles(
        {{"main.asm", " nop\n#include \"blob.bin\"\n"}, {"blob.bin", std::string("\x7f" "ELF\0\0", 6)}});
    EXPECT_FALSE(included.ok);
    EXPECT_NE(included.diagnostics.format().find("blob.bin: error: not a text file"), std::string::npos)
        << included.diagnostics.format();
}

TEST(SourceLimits, HighBytesAndCarriageReturnsAreOrdinaryText)
{
    // Latin-1 comments and CR LF line ends, as old editors write them.
    const Result r = assembleFiles({{"main.asm", " ld a,1 ; caf\xe9\r\n .db \"\xe9\"\r\n"}});
    ASSERT_TRUE(r.ok) << r.diagnostics.format();
    EXPECT_EQ(bytesOf(r), (std::vector<std::uint8_t>{0x3E, 0x01, 0xE9}));

    // A byte order mark as Windows editors write it, before a label.
    const Result marked = assembleFiles({{"main.asm", "\xEF\xBB\xBFstart: .dw start\n .db \"\xEF\xBB\xBF\"\n"}});
    ASSERT_TRUE(marked.ok) << marked.diagnostics.format();
    EXPECT_EQ(bytesOf(marked), (std::vector<std::uint8_t>{0, 0, 0xEF, 0xBB, 0xBF}));
}

TEST(SourceLimits, DeeplyNestedExpressionsAreAnErrorNotAStackOverflow)
{
    // Unary operators and parentheses, a few hundred deep, fit a line.
    const Result shallow = assembleFiles({{"main.asm", " .db " + std::string(100, '-') + "1\n"}});
    ASSERT_TRUE(shallow.ok) << shallow.diagnostics.format();
    EXPECT_EQ(bytesOf(shallow), (std::vector<std::uint8_t>{1}));

    for (const std::string& deep : {std::string(3000, '-') + "1", std::string(3000, '~') + "1",
                                    std::string(1500, '(') + "1" + std::string(1500, ')'),
                                    std::string(1500, '-') + std::string(1500, '(') + "1",
                                    "2" + std::string(3000, '+') + "1"}) {
        const Result r = assembleFiles({{"main.asm", " .db " + deep + "\n"}});
        EXPECT_FALSE(r.ok);
        EXPECT_NE(r.diagnostics.format().find("expression nested too deeply"), std::string::npos)
            << r.diagnostics.format();
    }
}

TEST(SourceLimits, RunsFarPastTheEndOfTheAddressSpaceAreOneErrorAndQuick)
{
    // 40,000 runs of 64 KB: billions of addresses past FFFFh, more than an
    // int holds; each run is one step past the end, not one per byte.
    std::string source;
    for (int i = 0; i < 20000; ++i) {
        source += " .fill 65536\n .block 65536\n";
    }
    const Result r = assembleFiles({{"main.asm", source}});
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.diagnostics.errorCount(), 1) << r.diagnostics.format();
    EXPECT_NE(r.diagnostics.format().find("the image runs past FFFFh"), std::string::npos) << r.diagnostics.format();
}

TEST(SourceLimits, LongLinesAssembleAndOverlongOnesAreRefused)
{
    // A 100,000-character .db line: 25,000 values of "255,".
    std::string line = " .db 255";
    while (line.size() < 100000) {
        line += ",255";
    }
    const std::size_t values = (line.size() - 8) / 4 + 1;
    const Result r = assembleFiles({{"main.asm", line + "\n"}});
    ASSERT_TRUE(r.ok) << r.diagnostics.format().substr(0, 500);
    EXPECT_EQ(bytesOf(r), std::vector<std::uint8_t>(values, 0xFF));

    const std::string huge(Preprocessor::MaxLineLength + 1, ';');
    const Result refused = assembleFiles({{"main.asm", " nop\n" + huge + "\n nop\n"}});
    EXPECT_FALSE(refused.ok);
    EXPECT_NE(refused.diagnostics.format().find("main.asm:2: error: line too long"), std::string::npos);
}

TEST(SourceLimits, ErrorsStopAtFifty)
{
    std::string text;
    for (int i = 0; i < 500; ++i) {
        text += " bogus\n";
    }
    const Result r = assembleFiles({{"main.asm", text}});
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.diagnostics.errorCount(), Diagnostics::MaxErrors);
}

TEST(SourceLimits, AVideoFileOfThousandsOfDataLinesAssemblesWhole)
{
    // Data as the converter writes it: .db lines of 40 values, included.
    std::string data;
    for (int line = 0; line < 600; ++line) {
        data += " .db ";
        for (int i = 0; i < 40; ++i) {
            data += (i ? "," : "") + std::to_string((line * 40 + i) % 256);
        }
        data += "\n";
    }
    const Result r = assembleFiles({{"main.asm", " .org $9D95\n#include \"Video.dat\"\n"}, {"Video.dat", data}});
    ASSERT_TRUE(r.ok) << r.diagnostics.format();
    const std::vector<std::uint8_t> bytes = bytesOf(r);
    ASSERT_EQ(bytes.size(), 24000u);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        ASSERT_EQ(bytes[i], i % 256) << "byte " << i;
    }
}

TEST(SourceLimits, DefinesFromTheCommandLineActLikeHashDefine)
{
    Options options;
    options.defines = {{"WIDTH", "12"}, {"FLAG", "1"}};
    const Result r = assembleFiles({{"main.asm", "#ifdef FLAG\n .db WIDTH\n#endif\n#ifdef OTHER\n .db 99\n#endif\n"}},
                                   "main.asm", options);
    ASSERT_TRUE(r.ok) << r.diagnostics.format();
    EXPECT_EQ(bytesOf(r), (std::vector<std::uint8_t>{12}));
}

TEST(SourceLimits, TheListingShowsAddressBytesAndSource)
{
    Options options;
    options.listing = true;
    const Result r = assembleFiles({{"main.asm", " .org $9D95\nstart: ld hl,$1234 ; load\n .nolist\n nop\n .list\n ret\n"}},
                                   "main.asm", options);
    ASSERT_TRUE(r.ok) << r.diagnostics.format();
    EXPECT_NE(r.listing.find("9D95 21 34 12"), std::string::npos) << r.listing;
    EXPECT_NE(r.listing.find("start: ld hl,$1234 ; load"), std::string::npos) << r.listing;
    EXPECT_EQ(r.listing.find(" nop"), std::string::npos) << ".nolist hides lines\n" << r.listing;
    EXPECT_NE(r.listing.find("9D99 C9"), std::string::npos) << r.listing;
}

TEST(SourceLimits, TheListingShowsExactlyTheBytesEachLineEmitsAtTheirAddresses)
{
    Options options;
    options.listing = true;
    const Result r = assembleFiles({{"main.asm", "#define PAIR(a) .db a,a\n"
                                                 " .org $9D93\n"
                                                 " .db $BB,$6D \\ ret \\ nop\n"
                                                 " .org $9DA0\n"
                                                 " .fill 10,$11\n"
                                                 " .db 1 \\ .org $9E00 \\ .db 2\n"
                                                 "x .equ 5\n"
                                                 " PAIR(7)\n"}},
                                   "main.asm", options);
    ASSERT_TRUE(r.ok) << r.diagnostics.format();
    const auto row = [](const std::string& head, const std::string& bytes, const std::string& text) {
        return head + " " + bytes + std::string(25 - bytes.size(), ' ') + text + "\n";
    };
    // No fill bytes on .org lines; every statement's bytes; long runs and
    // jumps continue on rows of their own, with their addresses; a line
    // as written, not as substituted.
    const std::string expected = row("00002 9D93", "", " .org $9D93") +
                                 row("00003 9D93", "BB 6D C9 00 ", " .db $BB,$6D \\ ret \\ nop") +
                                 row("00004 9DA0", "", " .org $9DA0") +
                                 row("00005 9DA0", "11 11 11 11 11 11 11 11 ", " .fill 10,$11") +
                                 "00005 9DA8 11 11\n" +
                                 row("00006 9DAA", "01 ", " .db 1 \\ .org $9E00 \\ .db 2") +
                                 "00006 9E00 02\n" +
                                 row("00007 9E01", "", "x .equ 5") +
                                 row("00008 9E01", "07 07 ", " PAIR(7)");
    EXPECT_EQ(r.listing, expected);
}

TEST(SourceLimits, TheImageHoldsBothEndsOfTheAddressSpaceAndWritesDownwards)
{
    const Result r = assembleFiles({{"main.asm", " .org $FFFF\n .db 1\n .org $8000\n .db 3\n .org 0\n .db 2\n"
                                                 " .org $10\n .db 4\n .org $F\n .db 5\n .org $E\n .db 6\n"}});
    ASSERT_TRUE(r.ok) << r.diagnostics.format();
    EXPECT_EQ(r.image.lowest, 0);
    EXPECT_EQ(r.image.highest, 0xFFFF);
    const std::vector<std::uint8_t> bytes = r.image.bytes();
    ASSERT_EQ(bytes.size(), 65536u);
    EXPECT_EQ(bytes[0], 2);
    EXPECT_EQ(bytes[0xE], 6);
    EXPECT_EQ(bytes[0xF], 5);
    EXPECT_EQ(bytes[0x10], 4);
    EXPECT_EQ(bytes[0x8000], 3);
    EXPECT_EQ(bytes[0xFFFF], 1);
    EXPECT_TRUE(r.image.isWritten(0x8000));
    EXPECT_FALSE(r.image.isWritten(0x8001));
    EXPECT_EQ(r.image.at(0x8001), 0);
    EXPECT_FALSE(r.image.isWritten(-1));
    EXPECT_FALSE(r.image.isWritten(0x10000));
}

TEST(SourceLimits, AValueThatCanNeverBeKnownEndsThePassesEarly)
{
    // The undefined name is reported; passes stop once nothing moves
    // instead of running to the limit.
    const Result r = assembleFiles({{"main.asm", "x .equ nowhere+1\ny .equ x*2\n .dw x, y\n"}});
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.diagnostics.format().find("undefined label 'nowhere'"), std::string::npos) << r.diagnostics.format();
    EXPECT_LE(r.passes, 4);

    // Names defined through each other stay unknown without growing: an
    // error, not an image built with made-up values.
    const Result circular = assembleFiles({{"main.asm", "c .equ d\nd .equ c\n .dw c\n"}});
    EXPECT_FALSE(circular.ok);
    EXPECT_NE(circular.diagnostics.format().find("'c' is defined through itself (main.asm:1)"), std::string::npos)
        << circular.diagnostics.format();

    // Without forward references the first pass has the final values.
    const Result backward = assembleFiles({{"main.asm", "a .equ 5\nb .equ a+1\nc: .dw b, c\n jr c\n"}});
    ASSERT_TRUE(backward.ok) << backward.diagnostics.format();
    EXPECT_EQ(backward.passes, 2);
    EXPECT_EQ(bytesOf(backward), (std::vector<std::uint8_t>{6, 0, 0, 0, 0x18, 0xFA}));

    // A chain of forward definitions still settles, one link a pass.
    const Result chain = assembleFiles({{"main.asm", " .dw a\na .equ b+1\nb .equ c+1\nc .equ d+1\nd .equ 5\n"}});
    ASSERT_TRUE(chain.ok) << chain.diagnostics.format();
    EXPECT_EQ(bytesOf(chain), (std::vector<std::uint8_t>{8, 0}));
}

}  // namespace
}  // namespace tasm
