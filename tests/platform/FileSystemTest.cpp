#include "platform/FileSystem.h"
#include "platform/QtFileSystem.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace zoetra {
namespace {

class QtFileSystemTest : public testing::Test {
protected:
    QString at(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    QTemporaryDir dir;
    QtFileSystem files;
};

TEST_F(QtFileSystemTest, WriteTruncatesAndFailsWithoutAFolder)
{
    ASSERT_TRUE(files.writeFile(at("a.txt"), "a long first text"));
    ASSERT_TRUE(files.writeFile(at("a.txt"), "short"));
    EXPECT_EQ(test::readAll(at("a.txt")), QByteArray("short"));
    EXPECT_FALSE(files.writeFile(at("missing/a.txt"), "x"));
}

TEST_F(QtFileSystemTest, ReadRefusesMissingAndOversizedFiles)
{
    test::writeAll(at("b.txt"), "12345");
    EXPECT_EQ(files.readFile(at("b.txt"), 5).value_or("?"), QByteArray("12345"));
    EXPECT_FALSE(files.readFile(at("b.txt"), 4).has_value());
    EXPECT_FALSE(files.readFile(at("none.txt"), 100).has_value());
}

TEST_F(QtFileSystemTest, ReplaceCopiesAndAFailedCopyKeepsTheOldFile)
{
    test::writeAll(at("new.8xp"), "new program");
    test::writeAll(at("out/video.8xp"), "old program");
    ASSERT_TRUE(files.replaceFile(at("new.8xp"), at("out/video.8xp")));
    EXPECT_EQ(test::readAll(at("out/video.8xp")), QByteArray("new program"));

    test::writeAll(at("out/keep.8xp"), "old program");
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("notafile")));
    EXPECT_FALSE(files.replaceFile(at("notafile"), at("out/keep.8xp")));
    EXPECT_FALSE(files.replaceFile(at("gone.8xp"), at("out/keep.8xp")));
    EXPECT_EQ(test::readAll(at("out/keep.8xp")), QByteArray("old program"));
    // No temporary file is left behind.
    EXPECT_EQ(QDir(at("out")).entryList(QDir::Files | QDir::Hidden).size(), 2);
    // A destination folder that is a file fails cleanly.
    EXPECT_FALSE(files.replaceFile(at("new.8xp"), at("new.8xp/x.8xp")));
}

TEST_F(QtFileSystemTest, CanonicalPathsMatchDifferentSpellings)
{
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("sub")));
    EXPECT_EQ(files.canonicalPath(at("sub/../sub")), files.canonicalPath(at("sub")));
    EXPECT_EQ(files.canonicalPath(at("sub") + QLatin1Char('/')), files.canonicalPath(at("sub")));
    EXPECT_TRUE(files.canonicalPath(at("nothing")).isEmpty());
    EXPECT_TRUE(files.isDirectory(at("sub")));
    EXPECT_FALSE(files.isDirectory(at("nothing")));
}

TEST(JoinPath, InsertsExactlyOneSeparator)
{
    EXPECT_EQ(joinPath(QStringLiteral("/a/b"), QStringLiteral("c.txt")), QStringLiteral("/a/b/c.txt"));
    EXPECT_EQ(joinPath(QStringLiteral("/"), QStringLiteral("c.txt")), QStringLiteral("/c.txt"));
    EXPECT_EQ(joinPath(QStringLiteral("C:\\"), QStringLiteral("c.txt")), QStringLiteral("C:\\c.txt"));
}

}  // namespace
}  // namespace zoetra
