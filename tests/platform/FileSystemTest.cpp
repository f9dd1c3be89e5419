#include "platform/FileSystem.h"
#include "platform/QtFileSystem.h"
#include "support/TestMount.h"
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

// A disk that fills up in the middle of a file: the system's reason, not
// "Unknown error", and no half-written temporary file.
TEST_F(QtFileSystemTest, AFullDiskIsNamedAsSuch)
{
    const QString small = at("small");
    ASSERT_TRUE(QDir().mkdir(small));
    test::Mount mount(small, QStringLiteral("size=64k"));
    if (!mount.mounted()) {
        GTEST_SKIP() << "cannot mount a tmpfs here";
    }
    const QByteArray large(100 * 1024, 'x');
    QString why;
    EXPECT_FALSE(files.writeFile(small + QStringLiteral("/Video.dat"), large, &why));
    EXPECT_EQ(why, QStringLiteral("No space left on device"));
    QFile::remove(small + QStringLiteral("/Video.dat"));

    why.clear();
    EXPECT_FALSE(files.writeTemporaryFile(small + QStringLiteral("/video00.8xv"), large, &why).has_value());
    EXPECT_EQ(why, QStringLiteral("No space left on device"));
    EXPECT_TRUE(QDir(small).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
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
