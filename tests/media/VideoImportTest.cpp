// The import into a new frame folder: what it writes, and that a cancelled
// or failed import leaves nothing behind and never touches what exists.
#include "imaging/FrameFolder.h"
#include "media/FrameFolderWriter.h"
#include "media/QtPictureSource.h"
#include "media/VideoImport.h"
#include "platform/QtFileSystem.h"
#include "support/FfmpegClips.h"
#include "support/TestMount.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace zoetra::media {
namespace {

// Everything in a folder, hidden entries included.
QStringList everything(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

class VideoImportTest : public testing::Test {
protected:
    void SetUp() override
    {
        if (!test::haveFfmpeg()) {
            GTEST_SKIP() << "the ffmpeg command is needed to make the clips";
        }
        clip = test::makeClip(source.path(), QStringLiteral("clip.mp4"),
                              test::lavfi(QStringLiteral("testsrc=size=320x240:rate=25:duration=2")) +
                                  QStringList{"-c:v", "libx264", "-preset", "ultrafast"});
        ASSERT_FALSE(clip.isEmpty());
    }

    QTemporaryDir source;
    QTemporaryDir out;
    QString clip;
};

TEST_F(VideoImportTest, WritesNumberedScreenFramesIntoANewFolder)
{
    const QString destination = QDir(out.path()).filePath(QStringLiteral("clip frames"));
    ImportSettings settings;
    settings.framesPerSecond = 15.0;
    std::vector<double> fractions;
    ImportControl control;
    control.progress = [&](double fraction, int frames) {
        fractions.push_back(fraction);
        EXPECT_EQ(frames, static_cast<int>(fractions.size()) - (fractions.size() > 30 ? 1 : 0));
    };
    const ImportResult result = importFrames(clip, destination, settings, control);
    ASSERT_EQ(result.status, ImportResult::Status::Done) << result.message.toStdString();
    EXPECT_EQ(result.frames, 30);
    EXPECT_EQ(result.folder, QDir::cleanPath(destination));
    EXPECT_TRUE(result.message.isEmpty());
    ASSERT_FALSE(fractions.empty());
    EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
    EXPECT_DOUBLE_EQ(fractions.back(), 1.0);

    // Only the new folder beside nothing else, no temporary folder left.
    EXPECT_EQ(everything(out.path()), QStringList{QStringLiteral("clip frames")});
    // The written frame list takes them in the import's order.
    QtFileSystem files;
    const QStringList frames = listFrameFolder(files, destination).value_or(QStringList{});
    ASSERT_EQ(frames.size(), 30);
    EXPECT_EQ(frames.first(), QStringLiteral("frame00001.bmp"));
    EXPECT_EQ(frames.last(), QStringLiteral("frame00030.bmp"));
    // Beside the frames, the rate they were taken at, which they play at.
    EXPECT_EQ(everything(destination), QStringList{QStringLiteral("Frame rate.txt")} + frames);
    EXPECT_EQ(folderRate(files, destination), settings.framesPerSecond);
    QImageReader reader(QDir(destination).filePath(frames.first()));
    EXPECT_EQ(reader.format(), QByteArray("bmp"));
    EXPECT_EQ(reader.read().size(), QSize(96, 64));
}

TEST_F(VideoImportTest, DefaultDestinationIsBesideTheSourceAndNew)
{
    const QString expected = QDir(source.path()).filePath(QStringLiteral("clip frames"));
    EXPECT_EQ(defaultDestination(clip), expected);
    ASSERT_TRUE(QDir().mkdir(expected));
    EXPECT_EQ(defaultDestination(clip), expected + QStringLiteral(" 2"));
    ASSERT_TRUE(QDir().mkdir(expected + QStringLiteral(" 2")));
    EXPECT_EQ(defaultDestination(clip), expected + QStringLiteral(" 3"));
    // A folder of pictures: "NAME frames" beside it.
    EXPECT_EQ(defaultDestination(QDir(out.path()).filePath(QStringLiteral("shots"))),
              QDir(out.path()).filePath(QStringLiteral("shots frames")));
}

TEST_F(VideoImportTest, ACancelledImportLeavesNothing)
{
    const QString destination = QDir(out.path()).filePath(QStringLiteral("frames"));
    std::atomic<bool> cancel{false};
    ImportControl control;
    control.cancel = &cancel;
    control.progress = [&](double, int frames) {
        if (frames == 10) {
            // The temporary folder holds the frames so far, hidden.
            const QStringList entries = everything(out.path());
            EXPECT_EQ(entries.size(), 1);
            EXPECT_TRUE(entries.value(0).startsWith(QLatin1String(".frames.partial-")));
            cancel = true;
        }
    };
    const ImportResult result = importFrames(clip, destination, {}, control);
    EXPECT_EQ(result.status, ImportResult::Status::Cancelled);
    EXPECT_EQ(everything(out.path()), QStringList{});
}

TEST_F(VideoImportTest, FailedImportsLeaveNothingAndTouchNothing)
{
    // An existing destination is refused and left as it was.
    const QString existing = QDir(out.path()).filePath(QStringLiteral("mine"));
    test::writeAll(QDir(existing).filePath(QStringLiteral("keep.bmp")), "mine");
    ImportResult result = importFrames(clip, existing, {}, {});
    EXPECT_EQ(result.status, ImportResult::Status::Failed);
    EXPECT_TRUE(result.message.contains(QLatin1String("already exists"))) << result.message.toStdString();
    EXPECT_EQ(everything(existing), QStringList{QStringLiteral("keep.bmp")});
    EXPECT_EQ(test::readAll(QDir(existing).filePath(QStringLiteral("keep.bmp"))), QByteArray("mine"));

    // A destination in a folder that does not exist.
    result = importFrames(clip, QDir(out.path()).filePath(QStringLiteral("gone/frames")), {}, {});
    EXPECT_EQ(result.status, ImportResult::Status::Failed);
    EXPECT_TRUE(result.message.contains(QLatin1String("there is no such folder"))) << result.message.toStdString();

    // A source that is no video, and settings that do not fit it.
    test::writeAll(QDir(source.path()).filePath(QStringLiteral("text.mp4")), "words");
    result = importFrames(QDir(source.path()).filePath(QStringLiteral("text.mp4")),
                          QDir(out.path()).filePath(QStringLiteral("a")), {}, {});
    EXPECT_EQ(result.status, ImportResult::Status::Failed);
    ImportSettings late;
    late.start = 10.0;
    result = importFrames(clip, QDir(out.path()).filePath(QStringLiteral("b")), late, {});
    EXPECT_EQ(result.status, ImportResult::Status::Failed);
    EXPECT_TRUE(result.message.contains(QLatin1String("lies after the end"))) << result.message.toStdString();
    EXPECT_EQ(everything(out.path()), QStringList{QStringLiteral("mine")});
}

TEST_F(VideoImportTest, AFullOrReadOnlyDiskLeavesNothing)
{
    const QString small = QDir(out.path()).filePath(QStringLiteral("small"));
    ASSERT_TRUE(QDir().mkdir(small));
    test::Mount mount(small, QStringLiteral("size=64k"));
    if (!mount.mounted()) {
        GTEST_SKIP() << "cannot mount a tmpfs here";
    }
    // 30 frames of 18 KB each do not fit into 64 KB.
    ImportSettings settings;
    settings.framesPerSecond = 15.0;
    ImportResult result = importFrames(clip, QDir(small).filePath(QStringLiteral("frames")), settings, {});
    EXPECT_EQ(result.status, ImportResult::Status::Failed);
    EXPECT_TRUE(result.message.contains(QLatin1String("the disk is full"))) << result.message.toStdString();
    EXPECT_TRUE(result.message.contains(QLatin1String("nothing was kept")));
    EXPECT_EQ(everything(small), QStringList{});

    ASSERT_TRUE(mount.makeReadOnly());
    result = importFrames(clip, QDir(small).filePath(QStringLiteral("frames")), settings, {});
    EXPECT_EQ(result.status, ImportResult::Status::Failed);
    EXPECT_TRUE(result.message.contains(QLatin1String("cannot be written into"))) << result.message.toStdString();
    EXPECT_EQ(everything(small), QStringList{});
}

TEST(FrameFolderWriter, NumbersHaveRoomForEveryFrame)
{
    EXPECT_EQ(FrameFolderWriter::fileName(7, 5), QStringLiteral("frame00007.bmp"));
    QTemporaryDir out;
    QString message;
    FrameFolderWriter writer;
    ASSERT_TRUE(writer.open(QDir(out.path()).filePath(QStringLiteral("many")), 250000, message));
    QImage frame(96, 64, QImage::Format_RGB32);
    frame.fill(Qt::white);
    ASSERT_TRUE(writer.write(frame, message)) << message.toStdString();
    ASSERT_TRUE(writer.commit(message));
    EXPECT_TRUE(QFileInfo::exists(QDir(out.path()).filePath(QStringLiteral("many/frame000001.bmp"))));
}

TEST(NaturalOrder, NumbersByValueLettersWithoutCase)
{
    QStringList names{QStringLiteral("frame10.png"), QStringLiteral("Frame2.png"), QStringLiteral("frame1.png"),
                      QStringLiteral("frame02.png"), QStringLiteral("a.png"),      QStringLiteral("frame1b.png"),
                      QStringLiteral("frame.png"),   QStringLiteral("shot9x3.png"), QStringLiteral("shot9x20.png")};
    std::sort(names.begin(), names.end(), naturalNameLess);
    // Names equal but for case or leading zeros keep a fixed order.
    EXPECT_EQ(names.join(QLatin1Char(' ')).toStdString(),
              "a.png frame.png frame1.png frame1b.png Frame2.png frame02.png frame10.png shot9x3.png shot9x20.png");
}

}  // namespace
}  // namespace zoetra::media
