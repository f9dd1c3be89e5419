#include "imaging/FrameFolder.h"
#include "imaging/FrameSelection.h"
#include "platform/ImagePictureArea.h"
#include "platform/QtFileSystem.h"
#include "platform/QtPictureLoader.h"
#include "shared/Vars.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace zoetra {
namespace {

class FrameFolderTest : public testing::Test {
protected:
    void touch(const QString& name) { test::writeAll(dir.filePath(name), "x"); }
    QStringList list() { return listFrameFolder(files, dir.path()).value_or(QStringList{QStringLiteral("<none>")}); }

    QTemporaryDir dir;
    QtFileSystem files;
};

TEST_F(FrameFolderTest, ListsFramePatternsInCaseInsensitiveOrder)
{
    for (const char* name : {"b.BMP", "A.gif", "notes.txt", "c.jpeg", "d.JPG", "e.gif.txt", "bmp", "f.PNG", "png",
                             "g.tif"}) {
        touch(QString::fromLatin1(name));
    }
    EXPECT_EQ(list(), (QStringList{"A.gif", "b.BMP", "c.jpeg", "d.JPG", "f.PNG"}));
}

TEST_F(FrameFolderTest, ComparesCharacterByCharacter)
{
    for (const char* name : {"frame2.bmp", "frame10.bmp", "Frame1.bmp", "frame_.bmp"}) {
        touch(QString::fromLatin1(name));
    }
    // '1' < '2' < '_' in character order, whatever the case of the 'F'.
    EXPECT_EQ(list(), (QStringList{"Frame1.bmp", "frame10.bmp", "frame2.bmp", "frame_.bmp"}));
}

TEST_F(FrameFolderTest, LeavesOutFoldersAndHiddenFiles)
{
    touch(QStringLiteral("a.bmp"));
    touch(QStringLiteral(".hidden.bmp"));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder.bmp")));
    EXPECT_EQ(list(), QStringList{"a.bmp"});
}

TEST_F(FrameFolderTest, EmptyAndMissingFolders)
{
    EXPECT_EQ(list(), QStringList{});
    EXPECT_FALSE(listFrameFolder(files, dir.filePath(QStringLiteral("gone"))).has_value());
}

TEST(FrameSelection, LoadsUnscaledFromTheTopLeftAndConverts)
{
    QTemporaryDir dir;
    QImage image = test::solidImage(40, 20, ColourBlack);
    ASSERT_TRUE(image.save(dir.filePath(QStringLiteral("f.bmp"))));
    Vars vars;
    vars.BlackThreshold = 85;
    vars.WhiteThreshold = 170;
    vars.ColourChannel = 1;
    QtPictureLoader loader;
    MemoryPictureArea picture;
    MemoryPictureArea preview;
    ASSERT_TRUE(loadAndConvertFrame(vars, loader, dir.filePath(QStringLiteral("f.bmp")), picture, preview));
    EXPECT_EQ(picture.pixel(39, 19), ColourBlack);
    EXPECT_EQ(picture.pixel(40, 19), PictureBackground);
    EXPECT_EQ(picture.pixel(39, 20), PictureBackground);
    EXPECT_EQ(vars.PixelGrid[39][19], 1);
    EXPECT_EQ(vars.PixelGrid[40][19], 0);  // light grey background is white
    EXPECT_EQ(preview.refreshCount(), 1);
}

TEST(FrameSelection, UndecodableFileKeepsPictureAndGrid)
{
    QTemporaryDir dir;
    test::writeAll(dir.filePath(QStringLiteral("broken.bmp")), "BM this is not a bitmap");
    Vars vars;
    vars.PixelGrid[3][4] = 1;
    QtPictureLoader loader;
    MemoryPictureArea picture;
    picture.fill(makeColour(1, 2, 3));
    MemoryPictureArea preview;
    EXPECT_FALSE(loadAndConvertFrame(vars, loader, dir.filePath(QStringLiteral("broken.bmp")), picture, preview));
    EXPECT_EQ(picture.pixel(0, 0), makeColour(1, 2, 3));
    EXPECT_EQ(vars.PixelGrid[3][4], 1);
    EXPECT_EQ(preview.refreshCount(), 0);
}

}  // namespace
}  // namespace zoetra
