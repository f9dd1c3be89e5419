// A program and the files of its video read from a folder, as a calculator
// would hold them: one variable of a name, each AppVar as big as its own
// size word says, and AppVars only for a program that looks them up.
#include "TestPrograms.h"

#include "calc/VideoFiles.h"
#include "devpac8x/ProgramFile.h"
#include "devpac8x/VariableFile.h"
#include "shared/MadeFor.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace zoetra::calc {
namespace {

using test::program;

// bcall(_ChkFindSym) / ret: a program that looks its AppVars up.
const std::vector<std::uint8_t> LooksUp = program({0xEF, 0xF1, 0x42, 0xC9});
// bcall(_GrBufCpy) / ret: one that looks nothing up.
const std::vector<std::uint8_t> LooksNothingUp = program({0xEF, 0x6A, 0x48, 0xC9});

class VideoFiles : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(folder.isValid()); }

    QString write(const QString& name, const std::vector<std::uint8_t>& bytes)
    {
        QFile file(folder.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
        return file.fileName();
    }

    QString writeProgram(const std::vector<std::uint8_t>& bytes, const QString& name = QStringLiteral("video.8xp"))
    {
        return write(name, devpac8x::makeProgramFile("VIDEO", bytes));
    }

    static std::vector<std::uint8_t> file(const std::vector<devpac8x::Variable>& variables)
    {
        return devpac8x::makeVariableFile(variables, "test");
    }

    static devpac8x::Variable appVar(const char* name, std::size_t bytes = 10)
    {
        return devpac8x::appVar(name, std::vector<std::uint8_t>(bytes, 0x5A), true);
    }

    // The error of reading the program, empty when it is read.
    std::string refusal(const QString& path)
    {
        std::string error;
        const auto read = readProgramWithVideo(path, &error);
        EXPECT_EQ(read.has_value(), error.empty()) << error;
        return read ? std::string() : error;
    }

    QTemporaryDir folder;
};

TEST_F(VideoFiles, ACalculatorHoldsOneVariableOfAName)
{
    // Two files holding the same AppVar, whichever comes first.
    const QString played = writeProgram(LooksUp);
    write(QStringLiteral("video00.8xv"), file({appVar("VIDEO00")}));
    write(QStringLiteral("video01.8xv"), file({appVar("VIDEO01")}));
    write(QStringLiteral("VIDEO01.8xv"), file({appVar("VIDEO01")}));
    std::string error = refusal(played);
    EXPECT_NE(error.find("video01.8xv"), std::string::npos) << error;
    EXPECT_NE(error.find("VIDEO01.8xv"), std::string::npos) << error;
    EXPECT_NE(error.find("both hold the AppVar VIDEO01"), std::string::npos) << error;
    QFile::remove(folder.filePath(QStringLiteral("VIDEO01.8xv")));
    EXPECT_EQ(refusal(played), "");
    // A file named for one AppVar that holds another's.
    write(QStringLiteral("video02.8xv"), file({appVar("VIDEO00")}));
    error = refusal(played);
    EXPECT_NE(error.find("video00.8xv and "), std::string::npos) << error;
    QFile::remove(folder.filePath(QStringLiteral("video02.8xv")));

    // A bundle holding one twice, or two bundles holding the same one.
    const devpac8x::Variable code = devpac8x::protectedProgram("VIDEO", LooksUp);
    const QString bundle = write(QStringLiteral("clip.8xg"), file({code, appVar("CLIP00"), appVar("CLIP00")}));
    error = refusal(bundle);
    EXPECT_NE(error.find("clip.8xg holds the AppVar CLIP00 twice"), std::string::npos) << error;
    write(QStringLiteral("clip.8xg"), file({code, appVar("CLIP00"), appVar("CLIP01")}));
    write(QStringLiteral("clip-2.8xg"), file({appVar("CLIP01"), appVar("CLIP02")}));
    error = refusal(bundle);
    EXPECT_NE(error.find("clip.8xg and "), std::string::npos) << error;
    EXPECT_NE(error.find("clip-2.8xg both hold the AppVar CLIP01"), std::string::npos) << error;
}

TEST_F(VideoFiles, AnAppVarIsAsLongAsItsOwnSizeWordSays)
{
    const QString played = writeProgram(LooksUp);
    devpac8x::Variable shorter = appVar("VIDEO00", 100);
    shorter.data[0] = 99;  // the size word; the entry holds 100 bytes
    write(QStringLiteral("video00.8xv"), file({shorter}));
    const std::string error = refusal(played);
    EXPECT_NE(error.find("video00.8xv: VIDEO00 says it holds 99 bytes, but its entry holds 100"), std::string::npos)
        << error;

    // In a bundle as well.
    const QString bundle =
        write(QStringLiteral("clip.8xg"), file({devpac8x::protectedProgram("CLIP", LooksUp), shorter}));
    EXPECT_NE(refusal(bundle).find("says it holds 99 bytes"), std::string::npos);

    write(QStringLiteral("video00.8xv"), file({appVar("VIDEO00", 100)}));
    std::string none;
    const auto read = readProgramWithVideo(played, &none);
    ASSERT_TRUE(read) << none;
    ASSERT_EQ(read->appVars.size(), 1u);
    EXPECT_EQ(read->appVars[0].data.size(), 100u);
}

TEST_F(VideoFiles, OnlyAProgramThatLooksVariablesUpReadsThem)
{
    write(QStringLiteral("video00.8xv"), std::vector<std::uint8_t>(80, 0x2A));
    // A program that looks nothing up reads nothing beside it.
    std::string error;
    auto read = readProgramWithVideo(writeProgram(LooksNothingUp), &error);
    ASSERT_TRUE(read) << error;
    EXPECT_TRUE(read->appVars.empty());
    EXPECT_FALSE(read->madeFor);

    // Nor does one that says its video is in RAM, whatever its data holds.
    std::vector<std::uint8_t> inRam = program({0xC9, 0xEF, 0xF1, 0x42});
    const std::uint16_t stream = ProgramStart + 1;
    for (const std::uint8_t b : {std::uint8_t{'Z'}, std::uint8_t{'V'}, std::uint8_t{'M'}, std::uint8_t{'F'},
                                 std::uint8_t{2}, std::uint8_t{0}, std::uint8_t{1},
                                 static_cast<std::uint8_t>(stream & 0xFF), static_cast<std::uint8_t>(stream >> 8),
                                 std::uint8_t{10}}) {
        inRam.push_back(b);
    }
    read = readProgramWithVideo(writeProgram(inRam), &error);
    ASSERT_TRUE(read) << error;
    EXPECT_TRUE(read->appVars.empty());
    ASSERT_TRUE(read->madeFor);
    EXPECT_EQ(read->madeFor->model, CalculatorModel::Ti84Plus);
    EXPECT_EQ(read->madeFor->format, StreamFormat::Compact);
    EXPECT_EQ(read->stream, (std::vector<std::uint8_t>{0xEF, 0xF1, 0x42}));

    // One that looks them up reads them, and a damaged one is refused.
    EXPECT_NE(refusal(writeProgram(LooksUp)).find("video00.8xv"), std::string::npos);
}

}  // namespace
}  // namespace zoetra::calc
