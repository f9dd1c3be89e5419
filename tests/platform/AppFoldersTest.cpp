#include "platform/AppFolders.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace zoetra {
namespace {

TEST(AppFolders, APortableCopyKeepsEverythingBesideItsExecutable)
{
    QTemporaryDir dir;
    test::writeAll(dir.filePath(QStringLiteral("VID.z80")), "; player\n");
    const AppFolders folders = AppFolders::locate(dir.path());
    EXPECT_EQ(folders.workDir, dir.path());
    EXPECT_EQ(folders.playerDir, dir.path());
    EXPECT_EQ(folders.toolsDir, dir.path());
    EXPECT_EQ(folders.sampleDir, dir.path());
    EXPECT_FALSE(folders.usesWorkingFolder());
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).contains(QStringLiteral("VID.z80")));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1) << "the write test leaves nothing";
}

TEST(AppFolders, AnInstalledCopyWritesIntoThePerUserWorkingFolder)
{
    QStandardPaths::setTestModeEnabled(true);
    QTemporaryDir prefix;
    ASSERT_TRUE(QDir().mkpath(prefix.filePath(QStringLiteral("bin"))));
    test::writeAll(prefix.filePath(QStringLiteral("share/zoetra2/VID.z80")), "; player\n");
    const AppFolders folders = AppFolders::locate(prefix.filePath(QStringLiteral("bin")));
    EXPECT_EQ(folders.playerDir, prefix.filePath(QStringLiteral("share/zoetra2")));
    EXPECT_EQ(folders.sampleDir, prefix.filePath(QStringLiteral("share/zoetra2")));
    EXPECT_EQ(folders.toolsDir, prefix.filePath(QStringLiteral("libexec/zoetra2")));
    EXPECT_EQ(folders.workDir, AppFolders::perUserWorkDir());
    EXPECT_TRUE(folders.workDir.endsWith(QStringLiteral("/zoetra2")));
    EXPECT_TRUE(QDir(folders.workDir).exists()) << "created on first use";
    EXPECT_TRUE(folders.usesWorkingFolder());
    // Nothing is written into the installed bin folder, even when it could be.
    EXPECT_TRUE(QDir(prefix.filePath(QStringLiteral("bin"))).entryList(QDir::Files | QDir::Hidden).isEmpty());
    QStandardPaths::setTestModeEnabled(false);
}

// What stands where the working folder should be is named as what it is.
TEST(AppFolders, AWorkingFolderThatIsAFileOrALinkToNothingIsNamedSo)
{
    QStandardPaths::setTestModeEnabled(true);
    QTemporaryDir prefix;
    test::writeAll(prefix.filePath(QStringLiteral("share/zoetra2/VID.z80")), "; player\n");
    const QString work = AppFolders::perUserWorkDir();
    QDir(work).removeRecursively();
    QFile::remove(work);

    test::writeAll(work, "not a folder");
    AppFolders folders = AppFolders::locate(prefix.filePath(QStringLiteral("bin")));
    EXPECT_EQ(folders.problem, QStringLiteral("The working folder \u201C%1\u201D is a file, not a folder.")
                                   .arg(QDir::toNativeSeparators(work)));
    ASSERT_TRUE(QFile::remove(work));

#ifdef Q_OS_UNIX
    const QString nowhere = prefix.filePath(QStringLiteral("gone"));
    ASSERT_TRUE(QFile::link(nowhere, work));
    folders = AppFolders::locate(prefix.filePath(QStringLiteral("bin")));
    EXPECT_EQ(folders.problem, QStringLiteral("The working folder \u201C%1\u201D is a link to \u201C%2\u201D, which "
                                              "does not exist.")
                                   .arg(work, nowhere));
    EXPECT_FALSE(QFileInfo::exists(nowhere)) << "nothing is made at the link's end";
    ASSERT_TRUE(QFile::remove(work));
#endif

    folders = AppFolders::locate(prefix.filePath(QStringLiteral("bin")));
    EXPECT_TRUE(folders.problem.isEmpty()) << folders.problem.toStdString();
    EXPECT_TRUE(QFileInfo(work).isDir());
    QStandardPaths::setTestModeEnabled(false);
}

TEST(AppFolders, AFolderIsWritableOnlyWhenAFileCanBeMadeThere)
{
    QTemporaryDir dir;
    EXPECT_TRUE(AppFolders::canWriteIn(dir.path()));
    EXPECT_FALSE(AppFolders::canWriteIn(dir.filePath(QStringLiteral("missing"))));
}

}  // namespace
}  // namespace zoetra
