#include "TestPrograms.h"

#include "Assembler.h"

#include <gtest/gtest.h>

namespace zoetra::calc::test {

std::vector<std::uint8_t> program(std::initializer_list<std::uint8_t> code)
{
    std::vector<std::uint8_t> bytes = {0xBB, 0x6D};
    for (const std::uint8_t b : code) {
        bytes.push_back(b);
    }
    return bytes;
}

std::vector<std::uint8_t> assembled(const std::string& name,
                                    const std::vector<std::pair<std::string, std::string>>& defines)
{
    tasm::Options options;
    options.foldCase = true;
    options.defines = defines;
    const tasm::Result result =
        tasm::assemble(std::string(ZOETRA_SOURCE_DIR) + "/tests/calc/programs/" + name, options);
    EXPECT_TRUE(result.ok) << result.diagnostics.format();
    if (!result.ok) {
        return {};
    }
    return result.image.bytes();
}

}  // namespace zoetra::calc::test
