#include "platform/AppFolders.h"
#include "support/TestSupport.h"

#include <QDir>
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

TEST(AppFolders, AFolderIsWritableOnlyWhenAFileCanBeMadeThere)
{
    QTemporaryDir dir;
    EXPECT_TRUE(AppFolders::canWriteIn(dir.path()));
    EXPECT_FALSE(AppFolders::canWriteIn(dir.filePath(QStringLiteral("missing"))));
}

}  // namespace
}  // namespace zoetra
