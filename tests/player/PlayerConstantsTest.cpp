// The two languages cannot drift: the constants the player's Z80 parts
// define (.equ) and the tables they hold (.db), read from player/*.z80 with
// our assembler's preprocessor and expression reader, against the C++
// constants that mirror them: the dense decoder's contexts, state tables,
// waits, record sizes and ring; the written decoder's markers; the archive
// part's header.
#include "Expression.h"
#include "Preprocessor.h"
#include "codec/dense/DenseFormat.h"
#include "codec/dense/DensePacing.h"
#include "codec/written/WrittenFormat.h"
#include "shared/ArchiveLayout.h"
#include "shared/Screen.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace zoetra::test {
namespace {

// What one part of the player defines, under the given #defines.
struct PlayerPart {
    std::map<std::string, std::int64_t> equates;
    std::map<std::string, std::vector<std::int64_t>> tables;  // a label's .db lines

    std::int64_t equate(const std::string& name) const
    {
        const auto found = equates.find(name);
        if (found == equates.end()) {
            ADD_FAILURE() << name << " is not defined";
            return -1;
        }
        return found->second;
    }
    const std::vector<std::int64_t>& table(const std::string& label) const
    {
        static const std::vector<std::int64_t> none;
        const auto found = tables.find(label);
        if (found == tables.end()) {
            ADD_FAILURE() << "no table " << label;
            return none;
        }
        return found->second;
    }
};

std::string withoutComment(const std::string& line)
{
    return line.substr(0, line.find(';'));
}

PlayerPart readPart(const std::string& part, const std::vector<std::string>& defines = {})
{
    // The generated includes (Archive.inc, VarFile.var, ...) are not there:
    // they read as empty.
    const tasm::Preprocessor::FileReader reader = [](const std::string& path, std::string& bytes) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        if (in) {
            text << in.rdbuf();
        }
        bytes = text.str();
        return true;
    };
    tasm::Diagnostics diagnostics;
    tasm::Preprocessor preprocessor(diagnostics, false, reader);
    for (const std::string& name : defines) {
        preprocessor.define(name, "");
    }
    const std::vector<tasm::SourceLine> lines = preprocessor.run(std::string(ZOETRA_PLAYER_DIR "/") + part);
    EXPECT_EQ(diagnostics.errorCount(), 0) << diagnostics.format();

    PlayerPart result;
    const tasm::SymbolLookup lookup = [&result](std::string_view name) -> std::optional<tasm::Value> {
        const auto found = result.equates.find(std::string(name));
        if (found == result.equates.end()) {
            return std::nullopt;
        }
        return tasm::Value{static_cast<std::int32_t>(found->second), true};
    };
    const std::regex equ(R"(^([A-Za-z_][A-Za-z0-9_]*):?\s+\.equ\s+(.+?)\s*$)", std::regex::icase);
    const std::regex label(R"(^([A-Za-z_][A-Za-z0-9_]*):\s*$)");
    const std::regex db(R"(^\s+\.db\s+(.+?)\s*$)", std::regex::icase);
    std::string table;  // the label whose .db lines are being read
    for (const tasm::SourceLine& line : lines) {
        const std::string text = withoutComment(line.text);
        std::smatch match;
        if (std::regex_match(text, match, equ)) {
            // Values that depend on labels (addresses) are not known here.
            const tasm::Evaluation value = tasm::evaluate(match[2].str(), 0, lookup, false);
            if (value.ok && value.value.known) {
                result.equates[match[1].str()] = value.value.value;
            }
            table.clear();
        } else if (std::regex_match(text, match, label)) {
            table = match[1].str();
        } else if (!table.empty() && std::regex_match(text, match, db)) {
            std::stringstream values(match[1].str());
            for (std::string value; std::getline(values, value, ',');) {
                const std::optional<std::int64_t> number =
                    tasm::parseNumber(value.substr(value.find_first_not_of(' ')));
                EXPECT_TRUE(number.has_value()) << table << ": " << value;
                result.tables[table].push_back(number.value_or(-1));
            }
        } else if (!text.empty() && text.find_first_not_of(" \t\r") != std::string::npos) {
            table.clear();
        }
    }
    return result;
}

TEST(PlayerConstantsTest, DenseDecoderNumbersTheContextsAndChangesTheStatesAsTheCodec)
{
    using namespace dense;
    const PlayerPart player = readPart("DecodeDense.z80");
    EXPECT_EQ(player.equate("BLOCK_CONTEXTS"), BlockContexts);
    // The other contexts lie after the pixels' and the blocks' in C++, in a
    // table of their own (KOTH) in the player.
    const std::pair<const char*, int> others[] = {
        {"CTX_END", EndContext},
        {"CTX_RAW", RawContext},
        {"CTX_RAW_ROWS", RawRowsContext},
        {"CTX_ROW", RowContext},
        {"CTX_COPY_ROWS", CopyRowsContext},
        {"CTX_COPY", CopyContext},
        {"CTX_PACKED", PackedContext},
        {"CTX_KEPT_ROWS", KeptRowsContext},
        {"CTX_KEPT", KeptContext},
        {"CTX_SOLID_BLOCKS", SolidBlocksContext},
        {"CTX_SOLID", SolidContext},
        {"CTX_COLOUR", ColourContext},
        {"CTX_COMPACT", CompactContext},
        {"CTX_LARGE", LargeContext},
        {"OTHER_CONTEXTS", ContextCount},
    };
    for (const auto& [name, context] : others) {
        EXPECT_EQ(player.equate(name), context - EndContext) << name;
    }

    EXPECT_EQ(player.equate("INITIAL_K"), InitialState);
    EXPECT_EQ(player.equate("INITIAL_K"), LpsSizes.front());
    const auto& afterMps = player.table("NextMpsTable");
    const auto& afterLps = player.table("NextLpsTable");
    ASSERT_EQ(static_cast<std::int64_t>(afterMps.size()), player.equate("SIZES"));
    ASSERT_EQ(static_cast<std::int64_t>(afterLps.size()), player.equate("SIZES"));
    for (const std::uint8_t size : LpsSizes) {
        EXPECT_EQ(afterMps[size], nextAfterMps(size) & 0x7F) << "after the MPS at size " << int{size};
        EXPECT_EQ(afterLps[size], nextAfterLps(size) & 0x7F) << "after the LPS at size " << int{size};
    }
    const auto& edges = player.table("EdgeTable");
    EXPECT_EQ(edges, std::vector<std::int64_t>(EdgeBytes.begin(), EdgeBytes.end()));

    // The player's blocks' flags and its copy of the screen: a white column
    // beside the blocks and either side of the rows.
    EXPECT_EQ(player.equate("FLAGS_ROW"), BlockColumns + 1);
    EXPECT_EQ(player.equate("SROW"), BytesPerRow + 2);
}

TEST(PlayerConstantsTest, DenseDecoderWaitsAndKeepsItsRingAsTheSchedule)
{
    using namespace dense;
    const PlayerPart inRam = readPart("DecodeDense.z80");
    EXPECT_EQ(inRam.equate("LCD_WAIT_6"), DenseTiming::LcdWait6);
    EXPECT_EQ(inRam.equate("LCD_WAIT_15"), DenseTiming::LcdWait15);
    EXPECT_EQ(inRam.equate("PLACE_WAIT_6"), DenseTiming::PlaceWait6);
    EXPECT_EQ(inRam.equate("PLACE_WAIT_15"), DenseTiming::PlaceWait15);
    EXPECT_EQ(inRam.equate("FLAT_WAIT_6"), DenseTiming::FlatWait6);
    EXPECT_EQ(inRam.equate("FLAT_WAIT_15"), DenseTiming::FlatWait15);
    EXPECT_EQ(inRam.equate("RING_BYTES"), RingRoomBytes);
    EXPECT_EQ(inRam.equate("TIMER_VECTORS"), TimerVectorBytes);
    EXPECT_EQ(inRam.equate("LARGEST_RECORD"), LargestRecord);
    EXPECT_EQ(inRam.equate("LARGEST_CODED"), LargestCodedRecord);
    EXPECT_EQ(inRam.equate("ROW_WRAP"), RowWrapBytes);
    EXPECT_EQ(readPart("DecodeDense.z80", {"ARCHIVE"}).equate("RING_BYTES"), ArchiveRingRoomBytes);
}

TEST(PlayerConstantsTest, WrittenDecoderAndArchivePartReadTheStreamAsTheCodecWritesIt)
{
    const PlayerPart decoder = readPart("DecodeWritten.z80");
    const std::int64_t recordBase = decoder.equate("RECORD_BASE");
    // The decoder tells a marker from a record by the carry of adding
    // RECORD_BASE to its first byte, and the frame's end by the sum.
    EXPECT_EQ(decoder.equate("FRAME_END_SUM"), (written::FrameEndMarker + recordBase) & 0xFF);
    EXPECT_GE(written::VideoEndMarker + recordBase, 0x100);
    EXPECT_GE(written::FrameEndMarker + recordBase, 0x100);
    EXPECT_LT(static_cast<std::int64_t>((ScreenByteCount - 1) / 256) + recordBase, 0x100);
    // A record's low offset byte carries into the address from here on.
    EXPECT_EQ(0x100 - decoder.equate("OFFSET_BASE"), written::CarryingOffsetLow);

    EXPECT_EQ(readPart("SourceArchive.z80", {"ARCHIVE"}).equate("HEADER_BYTES"), archive::HeaderBytes);
}

}  // namespace
}  // namespace zoetra::test
