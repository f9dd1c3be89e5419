// The Flash archive as the OS keeps it, and what _ChkFindSym and the paged
// reads return for it; Z80 programs that find an AppVar and walk to its
// data play on every model, wherever the entry lies.
#include "TestPrograms.h"

#include "calc/Calculator.h"
#include "calc/Recording.h"

#include <gtest/gtest.h>

#include <numeric>

namespace zoetra::calc {
namespace {

using test::AllModels;
using test::program;

constexpr std::uint64_t Budget = 5'000'000;

std::vector<std::uint8_t> bytesCounting(std::size_t size, unsigned seed)
{
    std::vector<std::uint8_t> data(size);
    for (std::size_t i = 0; i < size; ++i) {
        data[i] = static_cast<std::uint8_t>(i * 7 + seed + (i >> 8));
    }
    return data;
}

// Bytes of Flash from `at`, with the page carry.
std::vector<std::uint8_t> flashBytes(const Calculator& calc, FlashAddress at, std::size_t count)
{
    std::vector<std::uint8_t> bytes;
    for (std::uint32_t i = 0; i < count; ++i) {
        bytes.push_back(calc.peekFlash(FlashAddress::fromLinear(at.linear() + i)));
    }
    return bytes;
}

TEST(Archive, AnAppVarIsStoredAsTheOsStoresIt)
{
    // The documents' worked example: "VID00" holding AA BB CC, the first
    // entry of the sector on page 08h.
    Calculator calc(CalculatorModel::Ti84Plus);
    const std::uint8_t data[] = {0xAA, 0xBB, 0xCC};
    const auto placed = calc.loadAppVar("VID00", data, true);
    ASSERT_TRUE(placed);
    EXPECT_EQ(placed->page, 0x08);
    EXPECT_EQ(placed->address, 0x4001);
    // The entry from its flag byte on. The copy of its address at +6..+8
    // is left out: the documents disagree on what it points at. So is the
    // sector's status byte: in use, but FCh or F0h.
    const std::vector<std::uint8_t> expected = {0xFC, 0x11, 0x00, 0x15, 0x00, 0x00, 0x05, 0x56, 0x49,
                                                0x44, 0x30, 0x30, 0x03, 0x00, 0xAA, 0xBB, 0xCC, 0xFF};
    std::vector<std::uint8_t> entry = flashBytes(calc, {0x08, 0x4001}, expected.size() + 3);
    entry.erase(entry.begin() + 6, entry.begin() + 9);
    EXPECT_EQ(entry, expected);
    EXPECT_NE(calc.peekFlash({0x08, 0x4000}), 0xFF);
    // The next entry follows at flag + 3 + size.
    EXPECT_EQ(calc.nextArchiveEntry(), (FlashAddress{0x08, 0x4015}));

    // Its VAT entry, read backwards from HL: type, T2, version, address,
    // page, name length, name.
    const std::uint16_t hl = placed->vatEntry;
    const std::vector<std::uint8_t> vat = {0x15, 0x00, 0x00, 0x01, 0x40, 0x08, 0x05, 'V', 'I', 'D', '0', '0'};
    for (std::size_t i = 0; i < vat.size(); ++i) {
        EXPECT_EQ(calc.peek(static_cast<std::uint16_t>(hl - i)), vat[i]) << i;
    }
}

TEST(Archive, AnEntryNeverCrossesA64KbSectorButCrossesPages)
{
    Calculator calc(CalculatorModel::Ti83Plus);
    // 100 bytes before the end of page 0Bh, the last of the first sector,
    // after a deleted entry.
    ASSERT_TRUE(calc.padArchiveTo({0x0B, 0x7F9C}));
    EXPECT_EQ(calc.peekFlash({0x08, 0x4001}), Archive::DeletedFlag);
    const std::vector<std::uint8_t> large = bytesCounting(1000, 1);
    const auto moved = calc.loadAppVar("LARGE", large, true);
    ASSERT_TRUE(moved);
    EXPECT_EQ(moved->page, 0x0C);
    EXPECT_EQ(moved->address, 0x4001);
    EXPECT_NE(calc.peekFlash({0x0C, 0x4000}), 0xFF);  // the sector is in use
    // Entries go on after the last, never back into a gap.
    const std::uint8_t small[] = {1};
    const auto after = calc.loadAppVar("S", small, true);
    ASSERT_TRUE(after);
    EXPECT_EQ(after->page, 0x0C);
    EXPECT_EQ(after->address, 0x4001 + Archive::entryBytes(5, 1000));

    // Within a sector, an entry runs on across page ends.
    ASSERT_TRUE(calc.padArchiveTo({0x0C, 0x7F00}));
    const auto across = calc.loadAppVar("ACROSS", large, true);
    ASSERT_TRUE(across);
    EXPECT_EQ(across->page, 0x0C);
    EXPECT_EQ(across->address, 0x7F00);
    EXPECT_EQ(flashBytes(calc, {0x0C, static_cast<std::uint16_t>(0x7F00 + 18)}, large.size()), large);

    // The TI-83 Plus's archive (pages 08h-15h) keeps its last whole sector
    // free: entries end with page 11h. Of 30,000-byte AppVars one more
    // fits the sector of pages 0Ch-0Fh, one the pages 10h-11h.
    std::string error;
    const std::vector<std::uint8_t> block(30000, 0x11);
    std::vector<PlacedVariable> blocks;
    while (const auto placed = calc.loadAppVar("BLOCK", block, true, &error)) {
        blocks.push_back(*placed);
    }
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[1].page, 0x10);
    EXPECT_EQ(blocks[1].address, 0x4001);
    EXPECT_NE(error.find("no room"), std::string::npos) << error;
}

TEST(Archive, RamAppVarsFollowTheProgram)
{
    Calculator calc;
    calc.loadProgram(program({0xC9}));
    const std::vector<std::uint8_t> data = bytesCounting(300, 9);
    const auto placed = calc.loadAppVar("INRAM", data, false);
    ASSERT_TRUE(placed);
    EXPECT_FALSE(placed->archived);
    EXPECT_EQ(placed->page, 0);
    EXPECT_EQ(placed->address, ProgramOrigin + 3);
    EXPECT_EQ(calc.peek(placed->address) | calc.peek(placed->address + 1) << 8, 300);
    EXPECT_EQ(calc.peek(placed->address + 2 + 299), data[299]);
    std::string error;
    EXPECT_FALSE(calc.loadAppVar("HUGE", std::vector<std::uint8_t>(30000), false, &error));
    EXPECT_NE(error.find("no RAM left"), std::string::npos);
    EXPECT_FALSE(calc.loadAppVar("NINECHARS", data, true, &error));
}

struct Found {
    bool carry = true;
    std::uint8_t a = 0, b = 0, c = 0;
    std::uint16_t de = 0, hl = 0;
};

// Runs _ChkFindSym (or _FindSym) for an AppVar named `name` and reads what
// it returned.
Found findSymbol(Calculator& calc, const std::string& name, std::uint16_t call = bcall::ChkFindSym)
{
    // ld hl,name / bcall(_Mov9ToOP1) / bcall(call) / ld (plotSScreen),bc /
    // ld (plotSScreen+2),de / ld (plotSScreen+4),hl / push af / pop hl /
    // ld (plotSScreen+6),hl / ret / name: 15h, name, zeros
    std::vector<std::uint8_t> bytes = program({0x21, 0xB6, 0x9D, 0xEF, 0x7A, 0x41, 0xEF, static_cast<std::uint8_t>(call),
                                               static_cast<std::uint8_t>(call >> 8), 0xED, 0x43, 0x40, 0x93, 0xED,
                                               0x53, 0x42, 0x93, 0x22, 0x44, 0x93, 0xF5, 0xE1, 0x22, 0x46, 0x93, 0xC9});
    bytes.resize(0x9DB6 - ProgramOrigin);
    bytes.push_back(AppVarObj);
    bytes.insert(bytes.end(), name.begin(), name.end());
    bytes.resize(bytes.size() + 9, 0);
    calc.loadProgram(bytes);
    calc.start();
    EXPECT_EQ(calc.run(Budget), Stop::Returned) << calc.fault();
    const auto word = [&calc](std::uint16_t at) {
        return static_cast<std::uint16_t>(calc.peek(at) | calc.peek(static_cast<std::uint16_t>(at + 1)) << 8);
    };
    Found found;
    found.c = calc.peek(PlotSScreen);
    found.b = calc.peek(PlotSScreen + 1);
    found.de = word(PlotSScreen + 2);
    found.hl = word(PlotSScreen + 4);
    found.carry = (calc.peek(PlotSScreen + 6) & 1) != 0;
    found.a = calc.peek(PlotSScreen + 7);
    return found;
}

TEST(ChkFindSym, ReturnsThePageAndFlagOfAnArchivedAppVarAndTheSizeWordOfOneInRam)
{
    for (const CalculatorModel model : AllModels) {
        SCOPED_TRACE(std::string(modelFacts(model).name));
        for (const std::string name : {"V", "ABCDEFGH"}) {
            SCOPED_TRACE(name);
            Calculator calc(model);
            calc.loadProgram(std::vector<std::uint8_t>(64, 0));
            const std::vector<std::uint8_t> data = bytesCounting(50, 3);
            const auto archived = calc.loadAppVar(name, data, true);
            ASSERT_TRUE(archived);
            const Found a = findSymbol(calc, name);
            EXPECT_FALSE(a.carry);
            EXPECT_EQ(a.a, AppVarObj);
            EXPECT_EQ(a.b, 0x08);
            EXPECT_EQ(a.de, 0x4001);  // the flag byte of the first entry
            EXPECT_EQ(a.c, name.size());
            EXPECT_EQ(a.hl, archived->vatEntry);
            EXPECT_EQ(calc.peek(a.hl), AppVarObj);
            EXPECT_EQ(calc.peekFlash({a.b, a.de}), 0xFC);
            EXPECT_EQ(calc.peekFlash({a.b, static_cast<std::uint16_t>(a.de + 9)}), name.size());

            Calculator again(model);
            again.loadProgram(std::vector<std::uint8_t>(64, 0));
            const auto inRam = again.loadAppVar(name, data, false);
            ASSERT_TRUE(inRam);
            const Found r = findSymbol(again, name);
            EXPECT_FALSE(r.carry);
            EXPECT_EQ(r.a, AppVarObj);
            EXPECT_EQ(r.b, 0);
            EXPECT_EQ(r.c, name.size());
            EXPECT_EQ(r.hl, inRam->vatEntry);
            EXPECT_EQ(again.peek(r.de) | again.peek(static_cast<std::uint16_t>(r.de + 1)) << 8, 50);
            EXPECT_EQ(again.peek(static_cast<std::uint16_t>(r.de + 2)), data[0]);
            // _FindSym finds it too.
            EXPECT_FALSE(findSymbol(again, name, bcall::FindSym).carry);
            EXPECT_TRUE(findSymbol(calc, "NOTHERE").carry);
        }
    }
}

struct Placement {
    const char* what;
    bool archived;
    std::optional<FlashAddress> flagAt;  // where the entry's flag byte goes
    std::size_t size;
};

// The AppVar's name, length 1 or 8.
std::vector<Placement> placements(std::size_t nameLength)
{
    const auto at = [](int page, int address) {
        return std::optional<FlashAddress>(FlashAddress{page, static_cast<std::uint16_t>(address)});
    };
    const int sizeWordLast = 0x7FFF - 10 - static_cast<int>(nameLength);
    return {
        {"first in the archive", true, std::nullopt, 1000},
        {"after deleted entries", true, at(0x08, 0x4200), 1000},
        {"header across 7FFFh (flag at 7FFEh)", true, at(0x08, 0x7FFE), 800},
        {"name length at 4000h of the next page", true, at(0x09, 0x7FF6), 800},
        {"size word across 7FFFh", true, at(0x0A, sizeWordLast), 800},
        {"data across 7FFFh", true, at(0x08, 0x7E00), 2000},
        {"short data", true, at(0x09, 0x5000), 5},
        {"in RAM", false, std::nullopt, 1000},
    };
}

TEST(PagedReads, TheOsCallsReadFlashAsDocumentedAndFaultWhereItSaysTooLittle)
{
    const auto lo = [](int v) { return static_cast<std::uint8_t>(v & 0xFF); };
    const auto hi = [](int v) { return static_cast<std::uint8_t>(v >> 8); };
    for (const CalculatorModel model : AllModels) {
        SCOPED_TRACE(std::string(modelFacts(model).name));
        Calculator calc(model);
        // 600 bytes from 0Ah:7F00h: across the end of page 0Ah.
        const FlashAddress start{0x0A, 0x7F00};
        // ld a,0Ah / ld hl,7F00h / ld de,saveSScreen / ld bc,600 / bcall(_FlashToRam) /
        // ld b,0Ah / ld hl,7F10h / bcall(_LoadDEIndPaged) / ld (plotSScreen),de /
        // ld b,0Bh / ld hl,4004h / bcall(_LoadCIndPaged) / ld a,c / ld (plotSScreen+2),a / ret
        calc.loadProgram(program({0x3E, 0x0A, 0x21, 0x00, 0x7F, 0x11, lo(ram::SaveSScreen), hi(ram::SaveSScreen), 0x01,
                                  lo(600), hi(600), 0xEF, 0x17, 0x50, 0x06, 0x0A, 0x21, 0x10, 0x7F, 0xEF, 0x1A, 0x50,
                                  0xED, 0x53, 0x40, 0x93, 0x06, 0x0B, 0x21, 0x04, 0x40, 0xEF, 0x1D, 0x50, 0x79, 0x32,
                                  0x42, 0x93, 0xC9}));
        ASSERT_TRUE(calc.padArchiveTo(start));
        const auto placed = calc.loadAppVar("DATA", bytesCounting(1000, 5), true);
        ASSERT_TRUE(placed);
        calc.start();
        ASSERT_EQ(calc.run(Budget), Stop::Returned) << calc.fault();
        const std::vector<std::uint8_t> expected = flashBytes(calc, start, 600);
        for (std::uint16_t i = 0; i < 600; ++i) {
            ASSERT_EQ(calc.peek(static_cast<std::uint16_t>(ram::SaveSScreen + i)), expected[i]) << i;
        }
        EXPECT_EQ(calc.peek(PlotSScreen), calc.peekFlash({0x0A, 0x7F10}));
        EXPECT_EQ(calc.peek(PlotSScreen + 1), calc.peekFlash({0x0A, 0x7F11}));
        EXPECT_EQ(calc.peek(PlotSScreen + 2), calc.peekFlash({0x0B, 0x4004}));
    }

    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
        const char* fault;
    };
    const std::vector<Case> cases = {
        // ld b,08h / ld hl,9000h / bcall(_LoadCIndPaged)
        {"an address outside bank A", program({0x06, 0x08, 0x21, 0x00, 0x90, 0xEF, 0x1D, 0x50, 0xC9}),
         "_LoadCIndPaged given 9000h, outside 4000h-7FFFh"},
        // ld b,40h / ld hl,4000h / bcall(_LoadCIndPaged): page 40h of a 32-page Flash
        {"a page the model lacks", program({0x06, 0x40, 0x21, 0x00, 0x40, 0xEF, 0x1D, 0x50, 0xC9}), "Flash page 40h"},
        // ld a,08h / ld hl,4000h / ld de,8000h / ld bc,1 / bcall(_FlashToRam)
        {"a copy to RAM the program may not write",
         program({0x3E, 0x08, 0x21, 0x00, 0x40, 0x11, 0x00, 0x80, 0x01, 0x01, 0x00, 0xEF, 0x17, 0x50, 0xC9}),
         "_FlashToRam writes to 8000h"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Calculator calc(CalculatorModel::Ti83Plus);
        calc.loadProgram(c.bytes);
        calc.start();
        EXPECT_EQ(calc.run(Budget), Stop::Fault);
        EXPECT_NE(calc.fault().find(c.fault), std::string::npos) << calc.fault();
    }
}

TEST(Programs, FindAnAppVarWalkToItsDataAndShowItOnEveryModel)
{
    for (const std::size_t nameLength : {std::size_t{1}, std::size_t{8}}) {
        const std::string name = nameLength == 1 ? "V" : "VIDEO123";
        for (const bool osReads : {false, true}) {
            std::vector<std::pair<std::string, std::string>> defines = {{"VARTEXT", "\"" + name + "\""}};
            if (osReads) {
                defines.emplace_back("OSREADS", "1");
            }
            const std::vector<std::uint8_t> bytes = test::assembled("SHOWVAR.z80", defines);
            ASSERT_FALSE(bytes.empty());
            for (const CalculatorModel model : AllModels) {
                for (const Placement& p : placements(nameLength)) {
                    SCOPED_TRACE(std::string(modelFacts(model).name) + ", " + name + ", " + p.what +
                                 (osReads ? ", _LoadCIndPaged" : ", port 6"));
                    Calculator calc(model);
                    calc.loadProgram(bytes);
                    if (p.flagAt) {
                        ASSERT_TRUE(calc.padArchiveTo(*p.flagAt));
                    }
                    const std::vector<std::uint8_t> data = bytesCounting(p.size, static_cast<unsigned>(nameLength));
                    const auto placed = calc.loadAppVar(name, data, p.archived);
                    ASSERT_TRUE(placed);
                    if (p.flagAt) {
                        EXPECT_EQ((FlashAddress{placed->page, placed->address}), *p.flagAt);
                    }
                    const Screen before = calc.plotSScreen();
                    calc.start();
                    const std::uint8_t port6 = calc.port6();
                    ASSERT_EQ(calc.run(Budget), Stop::Returned) << calc.fault();
                    ASSERT_EQ(calc.screens().size(), 1u);
                    Screen expected = before;
                    std::copy_n(data.begin(), std::min<std::size_t>(data.size(), expected.size()), expected.begin());
                    EXPECT_EQ(calc.screens()[0].pixels, expected);
                    EXPECT_EQ(calc.homeScreen()[0], name + std::string(16 - name.size(), ' '));
                    const std::string size = std::to_string(p.size);
                    EXPECT_EQ(calc.homeScreen()[1].substr(0, 5), std::string(5 - size.size(), ' ') + size);
                    EXPECT_EQ(calc.printed(), name + "\n" + std::string(5 - size.size(), ' ') + size);
                    EXPECT_EQ(calc.port6(), port6);
                    EXPECT_TRUE(calc.apdEnabled());
                }
            }
        }
    }
}

TEST(Programs, AMissingAppVarIsSaidOnTheHomeScreen)
{
    const std::vector<std::uint8_t> bytes = test::assembled("SHOWVAR.z80", {{"VARTEXT", "\"GONE\""}});
    Calculator calc(CalculatorModel::Ti83PlusSe);
    calc.loadProgram(bytes);
    calc.loadAppVar("OTHER", bytesCounting(10, 0), true);
    calc.start();
    ASSERT_EQ(calc.run(Budget), Stop::Returned) << calc.fault();
    EXPECT_TRUE(calc.screens().empty());
    EXPECT_EQ(calc.homeScreen()[0], "NOT FOUND       ");
}

TEST(Programs, AVideoReadFromTheArchiveAcrossPagesLoopsOnEveryModel)
{
    const std::vector<std::uint8_t> bytes = test::assembled("PAGEPLAY.z80", {{"VARTEXT", "\"FRAMES\""}});
    ASSERT_FALSE(bytes.empty());
    // 30 screens: 23,040 bytes over two page ends, after a deleted entry.
    std::vector<std::uint8_t> data(30 * ScreenBytes);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>((i / ScreenBytes) * 8 + (i % 13));
    }
    for (const CalculatorModel model : AllModels) {
        SCOPED_TRACE(std::string(modelFacts(model).name));
        CalculatorSetup setup{model, {{"FILLER", bytesCounting(9000, 1), true}, {"FRAMES", data, true}}};
        const Recording r = recordProgram(bytes, setup);
        ASSERT_EQ(r.end, Recording::End::Loops) << r.fault;
        ASSERT_EQ(r.frames.size(), 30u);
        for (std::size_t i = 0; i < r.frames.size(); ++i) {
            EXPECT_TRUE(std::equal(r.frames[i].pixels.begin(), r.frames[i].pixels.end(),
                                   data.begin() + static_cast<std::ptrdiff_t>(i * ScreenBytes)))
                << i;
        }
        // The loop is found in the frame loop, the player's pointer pushed
        // over its return address and bank A given back to the OS's page
        // for the copy.
        EXPECT_EQ(r.exit.sp, CallerStackPointer - 4);
        EXPECT_EQ(r.exit.port6, OsBankAPage);
        EXPECT_EQ(r.exit.cpuHz, 6'000'000u);
    }
}

}  // namespace
}  // namespace zoetra::calc
