// A video cut into AppVars for the archive: the headers that prove a set
// complete, the names, and how much each model's archive holds.
#include "devpac8x/VariableFile.h"
#include "program/ArchiveVideo.h"

#include <gtest/gtest.h>

#include <numeric>
#include <random>

namespace zoetra::archive {
namespace {

TEST(ArchiveVideoTest, AppVarsJoinToTheStreamWithHeadersThatMatch)
{
    std::mt19937 random(5);
    for (const std::size_t length : {std::size_t{1}, std::size_t{StreamBytesPerAppVar},
                                     std::size_t{StreamBytesPerAppVar} + 1, std::size_t{200000}}) {
        std::vector<std::uint8_t> stream(length);
        for (auto& byte : stream) {
            byte = static_cast<std::uint8_t>(random());
        }
        const auto appVars = splitIntoAppVars(stream);
        const std::size_t count = (length + StreamBytesPerAppVar - 1) / StreamBytesPerAppVar;
        ASSERT_EQ(appVars.size(), count);
        const std::uint32_t identity = videoIdentity(stream);
        std::vector<std::uint8_t> joined;
        for (std::size_t i = 0; i < appVars.size(); ++i) {
            const auto& data = appVars[i];
            ASSERT_GT(data.size(), std::size_t{HeaderBytes});
            EXPECT_LE(data.size(), std::size_t{AppVarDataBytes});
            EXPECT_EQ(data[0], 'Z');
            EXPECT_EQ(data[1], 'V');
            EXPECT_EQ(data[2] | data[3] << 8 | data[4] << 16 | static_cast<std::uint32_t>(data[5]) << 24, identity);
            EXPECT_EQ(data[6], i);
            EXPECT_EQ(data[7], count);
            joined.insert(joined.end(), data.begin() + HeaderBytes, data.end());
        }
        EXPECT_EQ(joined, stream);
    }
    // Another stream, another identity.
    const std::vector<std::uint8_t> a{1, 2, 3};
    const std::vector<std::uint8_t> b{1, 2, 4};
    EXPECT_NE(videoIdentity(a), videoIdentity(b));
}

TEST(ArchiveVideoTest, NamesLeaveRoomForTheIndex)
{
    EXPECT_EQ(appVarName(QStringLiteral("Video"), 0), QStringLiteral("VIDEO00"));
    EXPECT_EQ(appVarName(QStringLiteral("abcdef"), 42), QStringLiteral("ABCDEF42"));
    EXPECT_TRUE(appVarName(QStringLiteral("abcdefg"), 0).isEmpty());
    EXPECT_TRUE(appVarName(QStringLiteral("V"), MaxAppVars).isEmpty());
}

TEST(ArchiveVideoTest, EachModelsArchiveBySectors)
{
    // Four AppVars of full size fill a sector, with its status byte.
    const int entry = 12 + 8 + AppVarDataBytes;
    EXPECT_LE(1 + 4 * entry, SectorBytes);
    EXPECT_GT(1 + 5 * entry, SectorBytes);
    EXPECT_EQ(appVarsInArchive(SectorBytes, 8), 4);
    EXPECT_EQ(appVarsInArchive(1 + 4 * entry, 8), 4);
    EXPECT_EQ(appVarsInArchive(4 * entry, 8), 3);
    EXPECT_EQ(appVarsInArchive(0, 8), 0);

    // The documented archives: about 160 KB, 480 KB and 1.5 MB.
    EXPECT_EQ(emptyArchiveBytes(CalculatorModel::Ti83Plus), 160 * 1024);
    EXPECT_EQ(emptyArchiveBytes(CalculatorModel::Ti84Plus), 480 * 1024);
    EXPECT_EQ(emptyArchiveBytes(CalculatorModel::Ti83PlusSe), 1504 * 1024);
    EXPECT_EQ(emptyArchiveBytes(CalculatorModel::Ti84PlusSe), 1504 * 1024);
    EXPECT_EQ(streamLimit(CalculatorModel::Ti83Plus, QStringLiteral("VIDEO")), 10 * StreamBytesPerAppVar);
    EXPECT_EQ(streamLimit(CalculatorModel::Ti84Plus, QStringLiteral("VIDEO")), 30 * StreamBytesPerAppVar);
    EXPECT_EQ(streamLimit(CalculatorModel::Ti84PlusSe, QStringLiteral("VIDEO")), 94 * StreamBytesPerAppVar);
    // The free archive a calculator shows instead.
    EXPECT_EQ(streamLimit(CalculatorModel::Ti84PlusSe, QStringLiteral("VIDEO"), 100000), 6 * StreamBytesPerAppVar);
}

TEST(ArchiveVideoTest, FileNamesOfAVideoAreTheirProgramsOnly)
{
    const QString video = QStringLiteral("Video");
    EXPECT_EQ(bundleFileNames(video, 3), QStringList{QStringLiteral("video.8xg")});
    EXPECT_EQ(bundleFileNames(video, 12),
              (QStringList{QStringLiteral("video.8xg"), QStringLiteral("video-2.8xg"), QStringLiteral("video-3.8xg"),
                           QStringLiteral("video-4.8xg")}));
    for (const QString& name : bundleFileNames(video, 12)) {
        EXPECT_TRUE(isBundleFileName(video, name)) << name.toStdString();
    }
    EXPECT_TRUE(isAppVarFileName(video, QStringLiteral("VIDEO07.8XV")));
    EXPECT_TRUE(isAppVarFileName(video, appVarFileName(video, 99)));
    EXPECT_TRUE(isBundleFileName(video, QStringLiteral("Video-12.8XG")));
    // Another program's files, and names that only look alike.
    for (const char* other : {"video7.8xv", "video007.8xv", "video٠٠.8xv", "video00.8xp", "videoab.8xv"}) {
        EXPECT_FALSE(isAppVarFileName(video, QString::fromUtf8(other))) << other;
    }
    EXPECT_FALSE(isAppVarFileName(QStringLiteral("Vid"), QStringLiteral("video00.8xv")));
    for (const char* other : {"video-.8xg", "video2.8xg", "video-2a.8xg", "videos.8xg", "video.8xp"}) {
        EXPECT_FALSE(isBundleFileName(video, QString::fromUtf8(other))) << other;
    }
    EXPECT_FALSE(isBundleFileName(QStringLiteral("Vide"), QStringLiteral("video.8xg")));
}

TEST(ArchiveVideoTest, TheVideosLimitIsWhatTheArchiveHoldsLessItsEnd)
{
    VideoTarget target;
    EXPECT_EQ(videoSizeLimit(target), RamVideoLimit);
    target.model = CalculatorModel::Ti84PlusSe;
    EXPECT_EQ(videoSizeLimit(target), RamVideoLimit);  // in RAM on every model

    target.storage = Storage::Archive;
    EXPECT_EQ(videoSizeLimit(target), 94 * StreamBytesPerAppVar - 1);
    target.freeArchiveBytes = 100000;
    EXPECT_EQ(videoSizeLimit(target), 6 * StreamBytesPerAppVar - 1);
    // More free than the model's archive holds is taken as its archive.
    target.model = CalculatorModel::Ti83Plus;
    target.freeArchiveBytes = 10'000'000;
    EXPECT_EQ(videoSizeLimit(target), 10 * StreamBytesPerAppVar - 1);
}

// A program as large as a variable file holds (whose multi-variable file
// once failed beside three full AppVars) goes into the first file alone,
// its AppVars into the next, and nothing fails.
TEST(ArchiveVideoTest, ABundleTooLargeIsAFailureOfItsFile)
{
    const std::vector<std::uint8_t> stream(3 * StreamBytesPerAppVar, 0x5A);
    const std::vector<std::uint8_t> program(65'000, 0xC9);
    const std::vector<devpac8x::Variable> variables{devpac8x::protectedProgram("VIDEO", program)};
    const std::vector<std::uint8_t> programFile = devpac8x::makeVariableFile(variables, "a large program");
    std::vector<CalculatorFile> bundles;
    const auto failure = bundleFiles(QStringLiteral("Video"),
                                     QByteArray(reinterpret_cast<const char*>(programFile.data()),
                                                static_cast<qsizetype>(programFile.size())),
                                     stream, bundles);
    ASSERT_FALSE(failure.has_value()) << failure->reason.toStdString();
    ASSERT_EQ(bundles.size(), 2u);
    EXPECT_EQ(bundles[0].name, QStringLiteral("video.8xg"));
    EXPECT_EQ(bundles[1].name, QStringLiteral("video-2.8xg"));
}

// A program larger than the written player (one with its sound, 18 KB)
// leaves room for two full AppVars beside it: every AppVar of the video and
// of its sound goes into a file, once, and no file passes the limit.
TEST(ArchiveVideoTest, ALargerProgramTakesFewerAppVarsBesideIt)
{
    const std::vector<std::uint8_t> stream(9 * StreamBytesPerAppVar - 100, 0x5A);
    std::vector<std::uint8_t> sound(3 * StreamBytesPerAppVar, 0);
    const std::uint8_t header[] = {6, 2, 0x84, 0, 0, 0, 0, 0};
    std::copy(std::begin(header), std::end(header), sound.begin());
    const std::vector<std::uint8_t> program(18'000, 0xC9);
    const std::vector<devpac8x::Variable> variables{devpac8x::protectedProgram("VIDEO", program)};
    const std::vector<std::uint8_t> programFile = devpac8x::makeVariableFile(variables, "a larger program");
    std::vector<CalculatorFile> bundles;
    ASSERT_FALSE(bundleFiles(QStringLiteral("Video"),
                             QByteArray(reinterpret_cast<const char*>(programFile.data()),
                                        static_cast<qsizetype>(programFile.size())),
                             stream, bundles, sound)
                     .has_value());
    std::vector<std::string> names;
    for (const CalculatorFile& bundle : bundles) {
        const auto held = devpac8x::readVariableFile(std::span(reinterpret_cast<const std::uint8_t*>(bundle.bytes.constData()),
                                                               static_cast<std::size_t>(bundle.bytes.size())));
        for (const devpac8x::Variable& v : held) {
            names.push_back(v.name);
        }
        EXPECT_TRUE(isVideoBundle(QStringLiteral("Video"),
                                  std::span(reinterpret_cast<const std::uint8_t*>(bundle.bytes.constData()),
                                            static_cast<std::size_t>(bundle.bytes.size()))));
    }
    ASSERT_EQ(names.size(), 1u + 9 + 3);
    EXPECT_EQ(names.front(), "VIDEO");
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(names[static_cast<std::size_t>(i) + 1], appVarName(QStringLiteral("Video"), i).toStdString());
    }
}

}  // namespace
}  // namespace zoetra::archive
