// What is decided before a calculator is asked anything: which files go,
// whether the model plays the video, whether it fits.
#include "link/SendCheck.h"
#include "program/ArchiveVideo.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace zoetra::link {
namespace {

QStringList names(const QStringList& paths)
{
    QStringList result;
    for (const QString& path : paths) {
        result.append(QFileInfo(path).fileName());
    }
    return result;
}

TEST(SendCheckTest, TheFilesOfADeliveryOrOfAProgramGivenAreFoundInTheirOrder)
{
    // A delivery holds every variable twice: in its own file and in the
    // multi-variable files; each goes once.
    EXPECT_EQ(filesToSend({"/o/video.8xp", "/o/video00.8xv", "/o/video01.8xv", "/o/video.8xg", "/o/video-2.8xg"}),
              (QStringList{"/o/video.8xp", "/o/video00.8xv", "/o/video01.8xv"}));
    EXPECT_EQ(filesToSend({"/o/video.8xg", "/o/video-2.8xg"}), (QStringList{"/o/video.8xg", "/o/video-2.8xg"}));

    QTemporaryDir folder;
    for (const char* name : {"video.8xp", "video10.8xv", "VIDEO01.8xv", "video00.8xv", "video0.8xv", "other00.8xv",
                             "video.8xg", "video-10.8xg", "video-2.8xg", "notes.txt"}) {
        test::writeAll(folder.filePath(QString::fromLatin1(name)), "x");
    }
    QString error;
    EXPECT_EQ(names(filesOfProgram(folder.filePath("video.8xp"), error).value_or(QStringList{})),
              (QStringList{"video.8xp", "video00.8xv", "VIDEO01.8xv", "video10.8xv"}));
    EXPECT_EQ(names(filesOfProgram(folder.filePath("video.8xg"), error).value_or(QStringList{})),
              (QStringList{"video.8xg", "video-2.8xg", "video-10.8xg"}));
    EXPECT_EQ(names(filesOfProgram(folder.filePath("other00.8xv"), error).value_or(QStringList{})),
              (QStringList{"other00.8xv"}));
    EXPECT_FALSE(filesOfProgram(folder.filePath("notes.txt"), error));
    EXPECT_TRUE(error.contains("notes.txt"));
    EXPECT_FALSE(filesOfProgram(folder.filePath("missing.8xp"), error));
}

TEST(SendCheckTest, TheArchivePacksEntriesIntoSectorsAsTheConversionCountsThem)
{
    const std::int64_t wholeAppVar = 12 + 8 + archive::AppVarDataBytes;
    for (const std::int64_t freeBytes :
         {std::int64_t{0}, std::int64_t{wholeAppVar}, std::int64_t{wholeAppVar + 1}, std::int64_t{65535},
          std::int64_t{65536}, std::int64_t{65536 + 40000}, std::int64_t{3 * 65536 - 1},
          archive::emptyArchiveBytes(CalculatorModel::Ti84Plus)}) {
        SCOPED_TRACE(freeBytes);
        const int fit = archive::appVarsInArchive(freeBytes, 8);
        EXPECT_TRUE(archiveHolds(std::vector<std::int64_t>(static_cast<std::size_t>(fit), wholeAppVar), freeBytes));
        EXPECT_FALSE(archiveHolds(std::vector<std::int64_t>(static_cast<std::size_t>(fit + 1), wholeAppVar), freeBytes));
    }
    // Small entries fill what large ones leave in each sector.
    std::vector<std::int64_t> mixed(4, wholeAppVar - 20);
    mixed.push_back(60);
    EXPECT_TRUE(archiveHolds(mixed, 65536));
    mixed.push_back(60);
    EXPECT_FALSE(archiveHolds(mixed, 65536));
}

TEST(SendCheckTest, TheModelConnectedMustPlayTheVideo)
{
    const auto appVars = [](int count) {
        std::vector<VariableInfo> variables{{"VIDEO", ProtectedProgramType, false, 3000}};
        for (int i = 0; i < count; ++i) {
            variables.push_back({QStringLiteral("VIDEO%1").arg(i, 2, 10, QLatin1Char('0')).toLatin1(), AppVarType, true,
                                 archive::AppVarDataBytes + 2});
        }
        return footprint(variables);
    };
    VideoTarget madeFor;
    madeFor.storage = Storage::Archive;
    madeFor.model = CalculatorModel::Ti84PlusSe;

    // Larger than the model's whole archive: refused whatever it was made
    // for, and also when the files do not say.
    const ModelCheck tooLarge = checkModel(std::nullopt, CalculatorModel::Ti83Plus, appVars(11));
    EXPECT_TRUE(tooLarge.refusal.contains("TI-83 Plus's archive")) << tooLarge.refusal.toStdString();
    EXPECT_TRUE(checkModel(std::nullopt, CalculatorModel::Ti83Plus, appVars(10)).refusal.isEmpty());
    EXPECT_TRUE(checkModel(std::nullopt, CalculatorModel::Ti84Plus, appVars(11)).refusal.isEmpty());

    // A dense stream paced for 15 MHz falls behind at 6 MHz; written and
    // compact streams are budgeted for 6 MHz on every model.
    madeFor.format = StreamFormat::Dense;
    EXPECT_FALSE(checkModel(madeFor, CalculatorModel::Ti83Plus, appVars(2)).refusal.isEmpty());
    const ModelCheck fastToFast = checkModel(madeFor, CalculatorModel::Ti83PlusSe, appVars(2));
    EXPECT_TRUE(fastToFast.refusal.isEmpty());
    EXPECT_TRUE(fastToFast.note.contains("same 14.75 frames a second")) << fastToFast.note.toStdString();
    madeFor.format = StreamFormat::Compact;
    EXPECT_TRUE(checkModel(madeFor, CalculatorModel::Ti83Plus, appVars(2)).refusal.isEmpty());

    // The written pace in RAM counts the TI-83 Plus's timer ticks, which
    // come slower on the others.
    VideoTarget written;
    const ModelCheck slower = checkModel(written, CalculatorModel::Ti84Plus, footprint({{"VIDEO", 6, false, 9000}}));
    EXPECT_TRUE(slower.refusal.isEmpty());
    EXPECT_TRUE(slower.note.contains("13.47 frames a second instead of 14.75")) << slower.note.toStdString();
    EXPECT_TRUE(checkModel(written, CalculatorModel::Ti83Plus, footprint({{"VIDEO", 6, false, 9000}})).note.isEmpty());
}

TEST(SendCheckTest, MemoryIsCheckedWhereTheCalculatorTellsIt)
{
    const std::vector<VariableInfo> ours{{"VIDEO", ProtectedProgramType, false, 20000},
                                         {"VIDEO00", AppVarType, true, archive::AppVarDataBytes + 2}};
    const Footprint needs = footprint(ours);
    // RAM: the program and both symbol-table entries.
    EXPECT_EQ(needs.ramBytes, 20000 + 7 + 5 + 7 + 7);
    const QString ram = memoryShortage(needs, 15000, std::nullopt, {});
    EXPECT_TRUE(ram.contains("20,026 bytes of it, 15,000 are free")) << ram.toStdString();
    EXPECT_TRUE(memoryShortage(needs, 20026, std::nullopt, {}).isEmpty());
    // The program replaced gives its room back.
    EXPECT_TRUE(memoryShortage(needs, 15000, std::nullopt, {{"VIDEO", ProgramType, false, 6000}}).isEmpty());

    const QString full = memoryShortage(needs, 30000, 16000, {});
    EXPECT_TRUE(full.contains("free archive")) << full.toStdString();
    EXPECT_TRUE(memoryShortage(needs, 30000, 16400, {}).isEmpty());
    // Unknown (over a link cable): left to the calculator.
    EXPECT_TRUE(memoryShortage(needs, 30000, std::nullopt, {}).isEmpty());
}

TEST(SendCheckTest, NamesAreComparedAsTheCalculatorKeepsThem)
{
    const std::vector<VariableInfo> theirs{{"VIDEO", ProgramType, false, 10},
                                           {"VIDEO00", ProtectedProgramType, false, 10},
                                           {"VIDEO01", AppVarType, true, 10}};
    const std::vector<VariableInfo> ours{{"VIDEO", ProtectedProgramType, false, 10},
                                        {"VIDEO00", AppVarType, true, 10},
                                        {"VIDEO01", AppVarType, true, 10},
                                        {"VIDEO02", AppVarType, true, 10}};
    const std::vector<VariableInfo> same = sameNames(ours, theirs);
    ASSERT_EQ(same.size(), 2u);
    EXPECT_EQ(describe(same[0]), "VIDEO (program)");
    EXPECT_EQ(describe(same[1]), "VIDEO01 (AppVar)");
    EXPECT_EQ(describeAll(ours), "VIDEO (program), VIDEO00 to VIDEO02 (3 AppVars)");
}

}  // namespace
}  // namespace zoetra::link
