// The .8xp layout, byte for byte and through an independent reader.
#include "ProgramFileReader.h"
#include "devpac8x/ProgramFile.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using devpac8x::makeProgramFile;
using testsupport::readProgramFile;

namespace {

std::vector<std::uint8_t> randomBytes(std::size_t count, unsigned seed)
{
    std::mt19937 generator(seed);
    std::uniform_int_distribution<int> byte(0, 255);
    std::vector<std::uint8_t> bytes(count);
    for (auto& b : bytes) {
        b = static_cast<std::uint8_t>(byte(generator));
    }
    return bytes;
}

}  // namespace

TEST(ProgramFile, WorkedExampleByteForByte)
{
    std::vector<std::uint8_t> expected = {0x2a, 0x2a, 0x54, 0x49, 0x38, 0x33, 0x46, 0x2a, 0x1a, 0x0a, 0x00};
    for (const char c : std::string("Tiny example")) {
        expected.push_back(static_cast<std::uint8_t>(c));
    }
    expected.resize(expected.size() + 30, 0x00);
    expected.insert(expected.end(), {0x16, 0x00, 0x0d, 0x00, 0x05, 0x00, 0x06, 0x54, 0x49, 0x4e,
                                     0x59, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05, 0x00, 0x03,
                                     0x00, 0xbb, 0x6d, 0xc9, 0x55, 0x03});
    ASSERT_EQ(expected.size(), 79u);

    const std::vector<std::uint8_t> program = {0xBB, 0x6D, 0xC9};
    EXPECT_EQ(makeProgramFile("TINY", program, "Tiny example"), expected);
    // The name is stored in upper case whatever the spelling given.
    EXPECT_EQ(makeProgramFile("tiny", program, "Tiny example"), expected);
}

TEST(ProgramFile, RoundTripThroughReader)
{
    // Sizes at the edges: one byte, odd, the free-RAM bound, the largest variable.
    for (const std::size_t size : {std::size_t{1}, std::size_t{767}, std::size_t{24575},
                                   devpac8x::MaxProgramSize}) {
        SCOPED_TRACE(size);
        const std::vector<std::uint8_t> program = randomBytes(size, static_cast<unsigned>(size));
        const std::vector<std::uint8_t> file = makeProgramFile("Video2", program);
        EXPECT_EQ(file.size(), program.size() + 76);

        std::string error;
        const auto contents = readProgramFile(file, &error);
        ASSERT_TRUE(contents.has_value()) << error;
        EXPECT_EQ(contents->comment, "Made by Zoetra Convertor v2");
        EXPECT_EQ(contents->type, 0x06);
        EXPECT_EQ(contents->name, "VIDEO2");
        EXPECT_EQ(contents->version, 0x00);
        EXPECT_EQ(contents->flag, 0x00);
        EXPECT_EQ(contents->program, program);
    }
}

TEST(ProgramFile, ChecksumWrapsAtSixteenBits)
{
    // 65,516 bytes of FFh sum far past 16 bits; the reader recomputes it.
    const std::vector<std::uint8_t> program(devpac8x::MaxProgramSize, 0xFF);
    const std::vector<std::uint8_t> file = makeProgramFile("A", program);
    EXPECT_TRUE(readProgramFile(file).has_value());
    std::vector<std::uint8_t> damaged = file;
    damaged[0x4A + 100] = 0xFE;
    EXPECT_FALSE(readProgramFile(damaged).has_value());
}

TEST(ProgramFile, LongCommentIsCutToItsField)
{
    const std::string comment(60, 'x');
    const auto contents = readProgramFile(makeProgramFile("A", std::vector<std::uint8_t>{0xC9}, comment));
    ASSERT_TRUE(contents.has_value());
    EXPECT_EQ(contents->comment, std::string(42, 'x'));
}

TEST(ProgramFile, VariableNames)
{
    for (const char* good : {"A", "Z9", "Video", "VIDEO", "abcdefgh", "X1234567"}) {
        EXPECT_EQ(devpac8x::checkVariableName(good), "") << good;
    }
    for (const char* bad : {"", "9LIVES", "ABCDEFGHI", "A-B", "A B", "A.B", "_A", "\xC3\x89T"}) {
        EXPECT_NE(devpac8x::checkVariableName(bad), "") << bad;
    }
    EXPECT_EQ(devpac8x::variableName("Video1"), "VIDEO1");
}
