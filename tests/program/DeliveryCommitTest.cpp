// A delivery into its folder: all of it or none of it, and of an earlier
// delivery only the files it made.
#include "program/DeliveryCommit.h"

#include "devpac8x/VariableFile.h"
#include "program/ArchiveVideo.h"
#include "support/ConvertFixture.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <map>

namespace zoetra::test {
namespace {

const QString Name = QStringLiteral("Vid");

QByteArray bytesOf(const std::vector<std::uint8_t>& bytes)
{
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

QByteArray programFile(const char* name)
{
    const std::vector<std::uint8_t> code{0xBB, 0x6D, 0xC9};
    const devpac8x::Variable program = devpac8x::protectedProgram(name, code);
    return bytesOf(devpac8x::makeVariableFile(std::span(&program, 1), "a program"));
}

std::vector<std::uint8_t> stream(int appVars, std::uint8_t fill)
{
    return std::vector<std::uint8_t>(static_cast<std::size_t>(appVars) * archive::StreamBytesPerAppVar - 100, fill);
}

// The files a delivery of the name makes of a stream: program, AppVars,
// bundles.
std::vector<archive::CalculatorFile> deliveryOf(const QString& name, const std::vector<std::uint8_t>& video)
{
    const QByteArray program = programFile(name.toUpper().toLatin1().constData());
    std::vector<archive::CalculatorFile> files{{name.toLower() + QStringLiteral(".8xp"), program}};
    const auto appVars = archive::appVarFiles(name, video);
    files.insert(files.end(), appVars.begin(), appVars.end());
    std::vector<archive::CalculatorFile> bundles;
    EXPECT_FALSE(archive::bundleFiles(name, program, video, bundles).has_value());
    files.insert(files.end(), bundles.begin(), bundles.end());
    return files;
}

using Listing = FolderContents;

Listing listing(const std::map<QString, QByteArray>& files)
{
    Listing result;
    for (const auto& [name, bytes] : files) {
        result[name.toStdString()] = contentsOf(bytes);
    }
    return result;
}

class DeliveryCommitTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    QString at(const QString& name) const { return dir.filePath(name); }
    void put(const std::vector<archive::CalculatorFile>& delivery) const
    {
        for (const auto& file : delivery) {
            writeAll(at(file.name), file.bytes);
        }
    }
    // Adds the files; the first failure.
    static std::optional<FileFailure> add(DeliveryCommit& delivery, const std::vector<archive::CalculatorFile>& newFiles)
    {
        for (const auto& file : newFiles) {
            if (auto failure = delivery.add(file.name, file.bytes)) {
                return failure;
            }
        }
        return std::nullopt;
    }

    QTemporaryDir dir;
    FaultyFileSystem files;
};

TEST_F(DeliveryCommitTest, AFailureAnywhereLeavesTheFolderAsItWas)
{
    // A longer video delivered before, and a file of the user's.
    put(deliveryOf(Name, stream(5, 1)));
    writeAll(at(QStringLiteral("notes.txt")), "mine");
    const Listing before = folderContents(dir.path());
    const std::vector<archive::CalculatorFile> shorter = deliveryOf(Name, stream(2, 2));

    for (int k = 0; k < static_cast<int>(shorter.size()); ++k) {
        SCOPED_TRACE("write " + std::to_string(k));
        files.writesLeft = k;
        DeliveryCommit delivery(files, dir.path(), Name);
        const auto failure = add(delivery, shorter);
        ASSERT_TRUE(failure.has_value());
        EXPECT_EQ(failure->text(), nativePath(at(shorter[static_cast<std::size_t>(k)].name)) + QStringLiteral(": Disk full"));
    }
    files.writesLeft = -1;
    EXPECT_EQ(folderContents(dir.path()), before);

    // Eight earlier files set aside, then four new ones put in place: a
    // rename that fails at any of them puts back those before it.
    for (int k = 0; k < 12; ++k) {
        SCOPED_TRACE("rename " + std::to_string(k));
        DeliveryCommit delivery(files, dir.path(), Name);
        ASSERT_FALSE(add(delivery, shorter));
        files.renamesBeforeFailure = k;
        const auto failure = delivery.place();
        files.renamesBeforeFailure = -1;
        ASSERT_TRUE(failure.has_value());
        EXPECT_TRUE(failure->reason.contains(QLatin1String("Input/output error"))) << failure->text().toStdString();
        EXPECT_EQ(folderContents(dir.path()), before);
    }

    // In place, then stopped at the last moment.
    {
        DeliveryCommit delivery(files, dir.path(), Name);
        ASSERT_FALSE(add(delivery, shorter));
        ASSERT_FALSE(delivery.place());
        EXPECT_EQ(readAll(at(QStringLiteral("vid00.8xv"))), shorter[1].bytes);
        delivery.rollBack();
        EXPECT_EQ(folderContents(dir.path()), before);
    }

    // Finished: the new files and the user's, nothing else.
    DeliveryCommit delivery(files, dir.path(), Name);
    ASSERT_FALSE(add(delivery, shorter));
    ASSERT_FALSE(delivery.place());
    delivery.finish();
    std::map<QString, QByteArray> expected{{QStringLiteral("notes.txt"), "mine"}};
    for (const auto& file : shorter) {
        expected[file.name] = file.bytes;
    }
    EXPECT_EQ(folderContents(dir.path()), listing(expected));
}

TEST_F(DeliveryCommitTest, WhatStandsWhereANewFileGoesEndsItBeforeAnythingIsTouched)
{
    put(deliveryOf(Name, stream(1, 1)));
    const std::vector<archive::CalculatorFile> longer = deliveryOf(Name, stream(3, 2));
    const QString third = at(QStringLiteral("vid02.8xv"));

    // A folder, or a file that is no AppVar of the video.
    for (const bool folder : {true, false}) {
        SCOPED_TRACE(folder ? "folder" : "file");
        if (folder) {
            ASSERT_TRUE(QDir().mkdir(third));
        } else {
            ASSERT_TRUE(QDir().rmdir(third));
            writeAll(third, "a text of the user's");
        }
        const Listing before = folderContents(dir.path());
        DeliveryCommit delivery(files, dir.path(), Name);
        ASSERT_FALSE(add(delivery, longer));
        const auto failure = delivery.place();
        ASSERT_TRUE(failure.has_value());
        EXPECT_EQ(failure->path, third);
        if (folder) {
            EXPECT_EQ(failure->reason, QStringLiteral("Is a directory"));
        }
        EXPECT_EQ(folderContents(dir.path()), before);
    }

    // The program file of the name, whatever it holds, is replaced as it
    // always was.
    ASSERT_TRUE(QFile::remove(third));
    writeAll(at(QStringLiteral("vid.8xp")), "not even a program");
    DeliveryCommit delivery(files, dir.path(), Name);
    ASSERT_FALSE(add(delivery, longer));
    ASSERT_FALSE(delivery.place());
    delivery.finish();
    EXPECT_EQ(readAll(at(QStringLiteral("vid.8xp"))), longer[0].bytes);
}

TEST_F(DeliveryCommitTest, OnlyFilesOfTheNameThatHoldWhatADeliveryWritesGo)
{
    const std::vector<archive::CalculatorFile> earlier = deliveryOf(Name, stream(8, 1));
    const auto content = [&](const QString& name) {
        for (const auto& file : earlier) {
            if (file.name == name) {
                return file.bytes;
            }
        }
        ADD_FAILURE() << name.toStdString();
        return QByteArray();
    };
    // The earlier delivery's files, some in another letter case as a copy
    // may leave them.
    const std::map<QString, QByteArray> ours{
        {QStringLiteral("vid.8xp"), content(QStringLiteral("vid.8xp"))},
        {QStringLiteral("Vid.8XP"), content(QStringLiteral("vid.8xp"))},
        {QStringLiteral("VID.8xg"), content(QStringLiteral("vid.8xg"))},
        {QStringLiteral("vid-2.8xg"), content(QStringLiteral("vid-2.8xg"))},
        {QStringLiteral("vid05.8xv"), content(QStringLiteral("vid05.8xv"))},
        {QStringLiteral("VID07.8XV"), content(QStringLiteral("vid07.8xv"))},
    };
    // Names the tool never makes, or files that are not what it makes.
    const std::map<QString, QByteArray> theirs{
        {QStringLiteral("vid99.8xv"), "my own"},
        {QStringLiteral("vid-2019.8xg"), content(QStringLiteral("vid-2.8xg"))},
        {QStringLiteral("vid-0.8xg"), content(QStringLiteral("vid-2.8xg"))},
        {QStringLiteral("vid-02.8xg"), content(QStringLiteral("vid-2.8xg"))},
        {QStringLiteral("vid-27.8xg"), content(QStringLiteral("vid-2.8xg"))},
        {QStringLiteral("vid3.8xv"), content(QStringLiteral("vid03.8xv"))},
        {QStringLiteral("vid06.8xv"), content(QStringLiteral("vid05.8xv"))},  // AppVar VID05 under another number
        {QStringLiteral("vid04.8xv"), programFile("VID")},
        {QStringLiteral("vid-3.8xg"), bytesOf(devpac8x::makeVariableFile(
                                          std::vector{devpac8x::protectedProgram("OTHER", std::vector<std::uint8_t>{0xC9})},
                                          "another program"))},
        {QStringLiteral("VID.8Xp"), programFile("OTHER")},
        {QStringLiteral("video00.8xv"), archive::appVarFiles(QStringLiteral("Video"), stream(1, 3)).front().bytes},
        {QStringLiteral("vid.8xp.bak"), "a copy"},
    };
    for (const auto* group : {&ours, &theirs}) {
        for (const auto& [name, bytes] : *group) {
            writeAll(at(name), bytes);
        }
    }

    const std::vector<archive::CalculatorFile> shorter = deliveryOf(Name, stream(1, 2));
    DeliveryCommit delivery(files, dir.path(), Name);
    ASSERT_FALSE(add(delivery, shorter));
    ASSERT_FALSE(delivery.place());
    QStringList earlierNames = delivery.earlier();
    earlierNames.sort();
    QStringList oursNames;
    for (const auto& [name, bytes] : ours) {
        oursNames.append(name);
    }
    oursNames.sort();
    EXPECT_EQ(earlierNames, oursNames);
    delivery.finish();

    std::map<QString, QByteArray> expected = theirs;
    for (const auto& file : shorter) {
        expected[file.name] = file.bytes;
    }
    EXPECT_EQ(folderContents(dir.path()), listing(expected));
}

TEST_F(DeliveryCommitTest, WhatADeliveryKilledOutrightLeftIsTidiedOrPutBack)
{
    const std::vector<archive::CalculatorFile> earlier = deliveryOf(Name, stream(2, 1));
    // Killed after setting the AppVars aside and renaming the program.
    writeAll(at(QStringLiteral("vid.8xp")), earlier[0].bytes);
    writeAll(at(QStringLiteral("vid.8xp.previous")), programFile("VID"));
    writeAll(at(QStringLiteral("vid00.8xv.previous")), earlier[1].bytes);
    writeAll(at(QStringLiteral("vid01.8xv.previous")), earlier[2].bytes);
    writeAll(at(QStringLiteral(".vid.8xg.partial-0a1b2c")), "half");
    // Not ours: stays.
    writeAll(at(QStringLiteral(".notes.txt.partial-0a1b2c")), "someone else's");
    writeAll(at(QStringLiteral("vid02.8xv.previous")), "my own");

    const std::vector<archive::CalculatorFile> next = deliveryOf(Name, stream(1, 2));
    {
        // Stopped: the only copies of the earlier AppVars come back.
        DeliveryCommit delivery(files, dir.path(), Name);
        ASSERT_FALSE(add(delivery, next));
        ASSERT_FALSE(delivery.place());
        delivery.rollBack();
        EXPECT_EQ(readAll(at(QStringLiteral("vid01.8xv"))), earlier[2].bytes);
        EXPECT_EQ(readAll(at(QStringLiteral("vid.8xp"))), earlier[0].bytes);
    }
    DeliveryCommit delivery(files, dir.path(), Name);
    ASSERT_FALSE(add(delivery, next));
    ASSERT_FALSE(delivery.place());
    delivery.finish();
    std::map<QString, QByteArray> expected{{QStringLiteral(".notes.txt.partial-0a1b2c"), "someone else's"},
                                           {QStringLiteral("vid02.8xv.previous"), "my own"}};
    for (const auto& file : next) {
        expected[file.name] = file.bytes;
    }
    EXPECT_EQ(folderContents(dir.path()), listing(expected));
}

}  // namespace
}  // namespace zoetra::test
