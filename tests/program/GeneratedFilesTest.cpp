#include "program/PlayerConfig.h"
#include "program/ProgramBuild.h"
#include "support/ConvertFixture.h"
#include "support/TestSupport.h"

namespace zoetra::test {
namespace {

TEST(VarFile, ShellWordAndLooping)
{
    struct Case {
        const char* shell;
        int looping;
        QByteArray expected;
    };
    for (const Case& c : {
             Case{"Ion", 1, "\r\n#define ION\r\n#define LOOPING\r\n"},
             Case{"No Shell", 0, "\r\n#define NOSHELL\r\n"},
             Case{"MirageOS", 1, "\r\n#define MIRAGEOS\r\n#define LOOPING\r\n"},
             Case{"MirageOS", 2, "\r\n#define MIRAGEOS\r\n"},  // greyed counts as off
             Case{"ion", 0, "\r\n#define \r\n"},               // case matters
             Case{"Ion ", 0, "\r\n#define \r\n"},
             Case{"", 1, "\r\n#define \r\n#define LOOPING\r\n"},
         }) {
        EXPECT_EQ(VarFileText(QString::fromLatin1(c.shell), c.looping), c.expected) << c.shell << c.looping;
    }
}

TEST(VarFile, CompactComesLastAndOnlyWhenAskedFor)
{
    EXPECT_EQ(VarFileText(QStringLiteral("Ion"), 1, true), QByteArray("\r\n#define ION\r\n#define LOOPING\r\n#define COMPACT\r\n"));
    EXPECT_EQ(VarFileText(QStringLiteral("No Shell"), 0, true), QByteArray("\r\n#define NOSHELL\r\n#define COMPACT\r\n"));
    EXPECT_EQ(VarFileText(QStringLiteral("MirageOS"), 1, false), VarFileText(QStringLiteral("MirageOS"), 1));
}

TEST(DescriptionFile, PlainTextIsWrittenAsTyped)
{
    EXPECT_EQ(DescriptionText(QStringLiteral("My First Video")), QByteArray(".db \"My First Video\",0\r\n"));
    EXPECT_EQ(DescriptionText(QString()), QByteArray(".db \"\",0\r\n"));
    EXPECT_EQ(DescriptionText(QStringLiteral("  spaces; and, commas  ")),
              QByteArray(".db \"  spaces; and, commas  \",0\r\n"));
}

TEST(DescriptionFile, QuotesBackslashesAndControlsBecomeNumbers)
{
    EXPECT_EQ(DescriptionText(QStringLiteral("He said \"hi\"")), QByteArray(".db \"He said \",34,\"hi\",34,\"\",0\r\n"));
    EXPECT_EQ(DescriptionText(QStringLiteral("a\\b")), QByteArray(".db \"a\",92,\"b\",0\r\n"));
    EXPECT_EQ(DescriptionText(QStringLiteral("tab\there")), QByteArray(".db \"tab\",9,\"here\",0\r\n"));
}

TEST(DescriptionFile, NonAsciiBecomesQuestionMarks)
{
    EXPECT_EQ(DescriptionText(QStringLiteral("Caf\u00e9 \u2603")), QByteArray(".db \"Caf? ?\",0\r\n"));
    // A character outside the basic plane is one character, one "?".
    EXPECT_EQ(DescriptionText(QString::fromUtf8("\xF0\x9F\x8E\xAC!")), QByteArray(".db \"?!\",0\r\n"));
}

class PlayerConfigFiles : public ConvertFixture {};

TEST_F(PlayerConfigFiles, SecondWriteReplacesBothFilesCompletely)
{
    WritePlayerConfig(files, platform.appDir, QStringLiteral("MirageOS"), 1, QStringLiteral("A long description text"));
    WritePlayerConfig(files, platform.appDir, QStringLiteral("Ion"), 0, QStringLiteral("Short"));
    EXPECT_EQ(readAll(app(QStringLiteral("VarFile.var"))), QByteArray("\r\n#define ION\r\n"));
    EXPECT_EQ(readAll(app(QStringLiteral("Desc.txt"))), QByteArray(".db \"Short\",0\r\n"));
}

TEST(CompileBatch, FourLinesWithTheNameAsTyped)
{
    EXPECT_EQ(CompileBatchText(QStringLiteral("/opt/zoetra/bin"), QStringLiteral("Video")),
              QByteArray("CD /opt/zoetra/bin\r\n"
                         "TASM -80 -i -b VID.z80 Video.bin \r\n"
                         "DEVPAC8X Video\r\n"
                         "\r\n"));
    EXPECT_EQ(CompileBatchText(QStringLiteral("/a"), QString()),
              QByteArray("CD /a\r\nTASM -80 -i -b VID.z80 .bin \r\nDEVPAC8X \r\n\r\n"));
}

}  // namespace
}  // namespace zoetra::test
