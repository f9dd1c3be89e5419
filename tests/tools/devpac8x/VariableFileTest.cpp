// Variable files for AppVars (.8xv) and several variables (.8xg), read back
// by our reader and by the link software's own library.
#include "devpac8x/ProgramFile.h"
#include "devpac8x/VariableFile.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>

#ifdef ZOETRA_HAVE_TIFILES
// The library's C headers use C's restrict.
#define restrict __restrict
extern "C" {
#include <tilp2/tifiles.h>
}
#undef restrict
#endif

namespace devpac8x {
namespace {

std::vector<std::uint8_t> bytes(std::initializer_list<int> values)
{
    std::vector<std::uint8_t> out;
    for (const int v : values) {
        out.push_back(static_cast<std::uint8_t>(v));
    }
    return out;
}

// The layout's worked example: AppVar "VID00", archived, data AA BB CC.
TEST(VariableFileTest, AnArchivedAppVarByteForByte)
{
    const std::vector<Variable> variables{appVar("VID00", bytes({0xAA, 0xBB, 0xCC}), true)};
    const std::vector<std::uint8_t> file = makeVariableFile(variables, "Worked example");
    const auto tail = std::vector<std::uint8_t>(file.begin() + 0x35, file.end());
    EXPECT_EQ(tail, bytes({0x16, 0x00, 0x0D, 0x00, 0x05, 0x00, 0x15, 'V', 'I', 'D', '0', '0', 0, 0, 0, 0x00,
                           0x80, 0x05, 0x00, 0x03, 0x00, 0xAA, 0xBB, 0xCC, 0x23, 0x04}));
    std::string error;
    const auto read = readVariableFile(file, &error);
    ASSERT_EQ(read.size(), 1u) << error;
    EXPECT_EQ(read[0].name, "VID00");
    EXPECT_TRUE(read[0].archived);
    EXPECT_EQ(read[0].data, variables[0].data);
}

#ifdef ZOETRA_HAVE_TIFILES
TEST(VariableFileTest, TheLinkSoftwaresLibraryReadsEveryEntry)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    std::vector<Variable> variables{protectedProgram("VIDEO", bytes({0xBB, 0x6D, 0xC9}))};
    for (int i = 0; i < 3; ++i) {
        std::vector<std::uint8_t> data(1000 + static_cast<std::size_t>(i) * 7000);
        for (std::size_t k = 0; k < data.size(); ++k) {
            data[k] = static_cast<std::uint8_t>(k * 31 + static_cast<std::size_t>(i));
        }
        variables.push_back(appVar("VIDEO0" + std::to_string(i), data, true));
    }
    const std::string path = folder.filePath(QStringLiteral("VIDEO.8xg")).toStdString();
    {
        const std::vector<std::uint8_t> file = makeVariableFile(variables, "Zoetra Convertor v2");
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()),
                                                    static_cast<std::streamsize>(file.size()));
    }
    tifiles_library_init();
    FileContent* content = tifiles_content_create_regular(CALC_TI83P);
    ASSERT_NE(content, nullptr);
    ASSERT_EQ(tifiles_file_read_regular(path.c_str(), content), 0);
    ASSERT_EQ(content->num_entries, variables.size());
    for (std::size_t i = 0; i < variables.size(); ++i) {
        const VarEntry* entry = content->entries[i];
        EXPECT_EQ(std::string(entry->name), variables[i].name);
        EXPECT_EQ(entry->type, variables[i].type);
        EXPECT_EQ(entry->attr == ATTRB_ARCHIVED, variables[i].archived) << i;
        ASSERT_EQ(entry->size, variables[i].data.size());
        EXPECT_TRUE(std::equal(entry->data, entry->data + entry->size, variables[i].data.begin()));
    }
    tifiles_content_delete_regular(content);
    tifiles_library_exit();
}
#endif

TEST(VariableFileTest, DamagedFilesAreRefused)
{
    std::vector<std::uint8_t> file = makeVariableFile(std::vector{appVar("A", bytes({1, 2}), false)}, "");
    std::string error;
    auto broken = file;
    broken[broken.size() - 3] ^= 1;
    EXPECT_TRUE(readVariableFile(broken, &error).empty());
    EXPECT_NE(error.find("checksum"), std::string::npos);
    broken = file;
    broken.pop_back();
    EXPECT_TRUE(readVariableFile(broken, &error).empty());
    EXPECT_TRUE(readVariableFile(std::vector<std::uint8_t>(60, 0), &error).empty());
}

}  // namespace
}  // namespace devpac8x
