// The packager's command line, its refusals and the real binary.
#include "ProgramFileReader.h"
#include "devpac8x/Packager.h"
#include "devpac8x/ProgramFile.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class PackagerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    fs::path path(const std::string& name) const
    {
        return fs::path(dir.path().toStdString()) / name;
    }

    void writeFile(const std::string& name, const std::vector<std::uint8_t>& bytes) const
    {
        std::ofstream file(path(name), std::ios::binary);
        file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

    QStringList entries() const
    {
        return QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
    }

    // Runs the packager with the given arguments, with `dir` prefixed to the
    // first one so that nothing depends on the current folder.
    int run(std::vector<std::string> args)
    {
        if (!args.empty()) {
            args[0] = path(args[0]).string();
        }
        out.str({});
        err.str({});
        return devpac8x::runPackager(args, out, err);
    }

    std::vector<std::uint8_t> program(const std::string& name) const
    {
        const auto file = testsupport::readWholeFile(path(name).string());
        EXPECT_TRUE(file.has_value()) << name;
        std::string error;
        const auto contents = testsupport::readProgramFile(file.value_or(std::vector<std::uint8_t>{}), &error);
        EXPECT_TRUE(contents.has_value()) << error;
        return contents ? contents->program : std::vector<std::uint8_t>{};
    }

    QTemporaryDir dir;
    std::ostringstream out;
    std::ostringstream err;
    const std::vector<std::uint8_t> image = {0xBB, 0x6D, 0xAF, 0x30, 0x01, 0xC9};
};

}  // namespace

TEST_F(PackagerTest, NameOrImageNameGiveTheSameFile)
{
    writeFile("Video.bin", image);
    ASSERT_EQ(run({"Video"}), devpac8x::ExitPacked) << err.str();
    EXPECT_EQ(program("Video.8xp"), image);
    const auto first = testsupport::readWholeFile(path("Video.8xp").string());

    ASSERT_EQ(run({"Video.bin"}), devpac8x::ExitPacked) << err.str();
    EXPECT_EQ(testsupport::readWholeFile(path("Video.8xp").string()), first);
    // The file keeps the name as given; only the variable inside is upper case.
    EXPECT_EQ(entries(), QStringList({"Video.8xp", "Video.bin"}));
    EXPECT_EQ(testsupport::readProgramFile(*first)->name, "VIDEO");
    EXPECT_NE(out.str().find("VIDEO"), std::string::npos);
    EXPECT_EQ(err.str(), "");
}

TEST_F(PackagerTest, OutputPathOrFolder)
{
    writeFile("Clip.bin", image);
    ASSERT_EQ(run({"Clip", path("other.8xp").string()}), devpac8x::ExitPacked) << err.str();
    EXPECT_EQ(program("other.8xp"), image);

    ASSERT_TRUE(QDir(dir.path()).mkdir("out"));
    ASSERT_EQ(run({"Clip.bin", path("out").string()}), devpac8x::ExitPacked) << err.str();
    EXPECT_EQ(program("out/Clip.8xp"), image);
    EXPECT_FALSE(fs::exists(path("Clip.8xp")));

    // The image suffix is recognised in any letter case.
    writeFile("Shout.BIN", image);
    ASSERT_EQ(run({"Shout.BIN"}), devpac8x::ExitPacked) << err.str();
    EXPECT_EQ(program("Shout.8xp"), image);
}

TEST_F(PackagerTest, ReplacesAnOlderLongerFileWholly)
{
    writeFile("Video.8xp", std::vector<std::uint8_t>(5000, 0x55));
    writeFile("Video.bin", image);
    ASSERT_EQ(run({"Video"}), devpac8x::ExitPacked) << err.str();
    EXPECT_EQ(program("Video.8xp"), image);
    EXPECT_EQ(entries(), QStringList({"Video.8xp", "Video.bin"}));
}

TEST_F(PackagerTest, RefusalsWriteNothing)
{
    struct Case {
        const char* what;
        std::vector<std::string> args;
        std::string expectedText;
        int status;
    };
    writeFile("Empty.bin", {});
    writeFile("9Lives.bin", image);
    writeFile("TooLong12.bin", image);
    writeFile("Big.bin", std::vector<std::uint8_t>(devpac8x::MaxProgramSize + 1, 0));
    ASSERT_TRUE(QDir(dir.path()).mkdir("Folder.bin"));
    const QStringList before = entries();

    const std::vector<Case> cases = {
        {"missing image", {"Gone"}, "no such file", devpac8x::ExitRefused},
        {"empty image", {"Empty"}, "empty", devpac8x::ExitRefused},
        {"unreadable image", {"Folder"}, "not a regular file", devpac8x::ExitRefused},
        {"name starting with a digit", {"9Lives"}, "start with a letter", devpac8x::ExitRefused},
        {"name too long", {"TooLong12"}, "more than 8", devpac8x::ExitRefused},
        {"image too large", {"Big"}, "at most 65516", devpac8x::ExitRefused},
        {"no argument", {}, "usage", devpac8x::ExitUsage},
        {"too many arguments", {"Video", "a.8xp", "b.8xp"}, "usage", devpac8x::ExitUsage},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(run(c.args), c.status);
        EXPECT_NE(err.str().find(c.expectedText), std::string::npos) << err.str();
        EXPECT_EQ(out.str(), "");
        EXPECT_EQ(entries(), before);
    }
}

TEST_F(PackagerTest, UnwritableDestinationLeavesNoPartialFile)
{
    writeFile("Video.bin", image);
    ASSERT_EQ(run({"Video", path("no/such/folder/Video.8xp").string()}), devpac8x::ExitRefused);
    EXPECT_NE(err.str().find("cannot be created"), std::string::npos) << err.str();
    EXPECT_EQ(entries(), QStringList({"Video.bin"}));
}

TEST_F(PackagerTest, WarnsAboveFreeRamButPacks)
{
    const std::vector<std::uint8_t> fits(devpac8x::FreeRamWarningSize, 0xC9);
    writeFile("Fits.bin", fits);
    ASSERT_EQ(run({"Fits"}), devpac8x::ExitPacked);
    EXPECT_EQ(err.str(), "");

    std::vector<std::uint8_t> large = fits;
    large.push_back(0xC9);
    writeFile("Large.bin", large);
    ASSERT_EQ(run({"Large"}), devpac8x::ExitPacked);
    EXPECT_NE(err.str().find("warning"), std::string::npos);
    EXPECT_EQ(program("Large.8xp"), large);
}

// The binary works in its current folder, as the batch runs it.
TEST_F(PackagerTest, BinaryPacksInItsCurrentFolder)
{
    writeFile("Video.bin", image);
    QProcess process;
    process.setWorkingDirectory(dir.path());
    process.start(QStringLiteral(DEVPAC8X_PATH), {"Video"});
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    EXPECT_EQ(program("Video.8xp"), image);

    process.start(QStringLiteral(DEVPAC8X_PATH), {"Missing"});
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitCode(), devpac8x::ExitRefused);
    EXPECT_TRUE(process.readAllStandardError().contains("Missing.bin"));
    EXPECT_EQ(entries(), QStringList({"Video.8xp", "Video.bin"}));
}
