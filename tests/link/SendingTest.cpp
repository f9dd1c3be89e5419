// Sending through libticalcs2 to the calculator made of code, over the link
// port (a TI-83 Plus) and over the TI-84 Plus's own USB port.
#include "link/CalculatorLink.h"
#include "link/CodeCalculator.h"
#include "support/TestSupport.h"

#include "devpac8x/VariableFile.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>

namespace zoetra::link {
namespace {

using testing::CodeCables;
using testing::CodeCalculator;

std::vector<std::uint8_t> pattern(std::size_t size, int seed)
{
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>((i * 7 + static_cast<std::size_t>(seed) * 31) & 0xFF);
    }
    return bytes;
}

QByteArray asBytes(const std::vector<std::uint8_t>& data)
{
    return QByteArray(reinterpret_cast<const char*>(data.data()), static_cast<qsizetype>(data.size()));
}

// A delivery as the build makes it: the program, protected (06h), and its
// AppVars (15h) flagged for the archive, one of them a whole AppVar's
// 16,360 bytes, so that its data takes many packets.
struct Delivery {
    QTemporaryDir folder;
    std::vector<devpac8x::Variable> variables;
    QStringList files;

    Delivery()
    {
        add(devpac8x::protectedProgram("VIDEO", pattern(3000, 1)), QStringLiteral("video.8xp"));
        add(devpac8x::appVar("VIDEO00", pattern(16360, 2), true), QStringLiteral("video00.8xv"));
        add(devpac8x::appVar("VIDEO01", pattern(16360, 3), true), QStringLiteral("video01.8xv"));
        add(devpac8x::appVar("VIDEO02", pattern(900, 4), true), QStringLiteral("video02.8xv"));
    }

    void add(devpac8x::Variable variable, const QString& name)
    {
        const std::vector<std::uint8_t> file = devpac8x::makeVariableFile(std::span(&variable, 1), "test");
        const QString path = folder.filePath(name);
        test::writeAll(path, asBytes(file));
        files.append(path);
        variables.push_back(std::move(variable));
    }

    // Every file as it was written.
    std::vector<QByteArray> contents() const
    {
        std::vector<QByteArray> all;
        for (const QString& file : files) {
            all.push_back(test::readAll(file));
        }
        return all;
    }
};

struct Kind {
    Protocol protocol;
    CalculatorModel model;
    const char* name;
};

class SendingTest : public ::testing::TestWithParam<Kind> {
protected:
    CodeCalculator calculator{GetParam().protocol, GetParam().model};
    CodeCables cables{calculator};
    Delivery delivery;

    SendJob job() const
    {
        VideoTarget target;
        target.model = GetParam().model;
        target.storage = Storage::Archive;
        return SendJob{delivery.files, target};
    }
};

TEST_P(SendingTest, EveryVariableArrivesWithItsNameTypeArchiveFlagAndBytes)
{
    Sender sender(cables);
    const Preparation preparation = sender.prepare(job());
    ASSERT_TRUE(preparation.ready) << preparation.message.toStdString();
    EXPECT_TRUE(preparation.sameNames.isEmpty());
    EXPECT_EQ(preparation.model, GetParam().model);

    std::vector<std::int64_t> done;
    std::int64_t total = 0;
    const SendOutcome outcome = sender.send(false, [&](std::int64_t sent, std::int64_t all, const QString&) {
        done.push_back(sent);
        total = all;
    });
    ASSERT_TRUE(outcome.sent) << outcome.message.toStdString();

    ASSERT_EQ(calculator.variables.size(), delivery.variables.size());
    std::int64_t bytes = 0;
    for (std::size_t i = 0; i < delivery.variables.size(); ++i) {
        const devpac8x::Variable& sent = delivery.variables[i];
        const CodeCalculator::Variable& arrived = calculator.variables[i];
        EXPECT_EQ(arrived.name.toStdString(), sent.name);
        EXPECT_EQ(arrived.type, sent.type) << sent.name;
        EXPECT_EQ(arrived.archived, sent.archived) << sent.name;
        EXPECT_EQ(arrived.data, asBytes(sent.data)) << sent.name;
        bytes += static_cast<std::int64_t>(sent.data.size());
    }
    EXPECT_EQ(calculator.variables[0].type, 0x06);
    EXPECT_EQ(calculator.variables[1].type, 0x15);
    // One progress over all files, never backwards, to the end.
    EXPECT_EQ(total, bytes);
    EXPECT_TRUE(std::is_sorted(done.begin(), done.end()));
    ASSERT_FALSE(done.empty());
    EXPECT_EQ(done.back(), total);
    EXPECT_GT(std::count_if(done.begin(), done.end(), [&](std::int64_t d) { return d > 0 && d < total; }), 3);

    EXPECT_EQ(outcome.arrived, (QStringList{"VIDEO", "VIDEO00", "VIDEO01", "VIDEO02"}));
    EXPECT_TRUE(outcome.message.contains("VIDEO (program) in RAM")) << outcome.message.toStdString();
    EXPECT_TRUE(outcome.message.contains("VIDEO00 to VIDEO02 (3 AppVars) in the archive"));
    EXPECT_TRUE(outcome.message.contains("Asm(prgmVIDEO)"));
}

TEST_P(SendingTest, SameNamesAreReplacedOnlyWhenTheUserSaysSo)
{
    // The user's own program of the name (unprotected: programs share their
    // names) and an AppVar of the name in the archive.
    calculator.variables.push_back({"VIDEO", 0x05, false, QByteArray("\x02\x00\xAA\xBB", 4)});
    calculator.variables.push_back({"VIDEO01", 0x15, true, QByteArray("\x01\x00\x07", 3)});
    calculator.variables.push_back({"OTHER", 0x15, true, QByteArray("\x01\x00\x09", 3)});
    const auto before = calculator.variables;

    {
        Sender sender(cables);
        const Preparation preparation = sender.prepare(job());
        ASSERT_TRUE(preparation.ready) << preparation.message.toStdString();
        EXPECT_EQ(preparation.sameNames, (QStringList{"VIDEO (program)", "VIDEO01 (AppVar)"}));
        const SendOutcome refused = sender.send(false);
        EXPECT_FALSE(refused.sent);
        EXPECT_TRUE(refused.message.contains("Nothing was changed")) << refused.message.toStdString();
    }
    ASSERT_EQ(calculator.variables.size(), before.size());
    for (std::size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(calculator.variables[i].data, before[i].data);
    }
    EXPECT_TRUE(calculator.deleted.empty());

    Sender sender(cables);
    ASSERT_TRUE(sender.prepare(job()).ready);
    const SendOutcome outcome = sender.send(true);
    ASSERT_TRUE(outcome.sent) << outcome.message.toStdString();
    EXPECT_EQ(calculator.deleted, (std::vector<QByteArray>{"VIDEO", "VIDEO01"}));
    EXPECT_EQ(calculator.skipped, 0);
    const auto find = [&](const char* name) {
        return std::find_if(calculator.variables.begin(), calculator.variables.end(),
                            [&](const CodeCalculator::Variable& v) { return v.name == name; });
    };
    ASSERT_NE(find("VIDEO"), calculator.variables.end());
    EXPECT_EQ(find("VIDEO")->type, 0x06);
    EXPECT_EQ(find("VIDEO01")->data, asBytes(delivery.variables[2].data));
    EXPECT_EQ(find("OTHER")->data, QByteArray("\x01\x00\x09", 3));
}

TEST_P(SendingTest, FailuresSayWhatArrivedAndLeaveTheFilesAsTheyWere)
{
    const std::vector<QByteArray> files = delivery.contents();
    struct Case {
        const char* name;
        std::function<void(CodeCalculator&)> setUp;
        bool whileSending;  // found only once the files go, not before
        const char* says;
        QStringList arrived;
    };
    const bool usb = GetParam().protocol == Protocol::DirectUsb;
    std::vector<Case> cases{
        {"busy", [](CodeCalculator& c) { c.busy = true; }, false, "busy", {}},
        {"silent", [](CodeCalculator& c) { c.silent = true; }, false, "No calculator answered on the null cable", {}},
        // The program and the first AppVar arrive, then the cable is gone.
        {"pulled", [](CodeCalculator& c) { c.pulledAfter = 3000 + 16360 + 2000; }, true, "stopped answering",
         {"VIDEO", "VIDEO00"}},
        // Over USB the calculator tells its free archive, so the shortage is
        // found before anything is sent.
        {"archive full", [](CodeCalculator& c) { c.freeArchive = 20000; }, !usb,
         usb ? "Not enough free archive" : "memory is full: VIDEO01 did not fit",
         usb ? QStringList{} : QStringList{"VIDEO", "VIDEO00"}},
        {"RAM full", [](CodeCalculator& c) { c.freeRam = 2000; }, false, "Not enough free RAM", {}},
    };
    if (!usb) {
        cases.push_back({"NAK", [](CodeCalculator& c) { c.nakData = true; }, true, "transmission error", {}});
    }
    for (const Case& item : cases) {
        SCOPED_TRACE(item.name);
        CodeCalculator failing(GetParam().protocol, GetParam().model);
        item.setUp(failing);
        CodeCables failingCables(failing);
        Sender sender(failingCables);
        const Preparation preparation = sender.prepare(job());
        if (!item.whileSending) {
            EXPECT_FALSE(preparation.ready);
            EXPECT_TRUE(preparation.message.contains(item.says)) << preparation.message.toStdString();
            EXPECT_TRUE(failing.variables.empty());
            continue;
        }
        ASSERT_TRUE(preparation.ready) << preparation.message.toStdString();
        const SendOutcome outcome = sender.send(false);
        EXPECT_FALSE(outcome.sent);
        EXPECT_TRUE(outcome.message.contains(item.says)) << outcome.message.toStdString();
        EXPECT_EQ(outcome.arrived, item.arrived);
        EXPECT_EQ(outcome.arrived.size() + outcome.notArrived.size(), 4);
        ASSERT_EQ(failing.variables.size(), static_cast<std::size_t>(item.arrived.size()));
        for (qsizetype i = 0; i < item.arrived.size(); ++i) {
            EXPECT_EQ(QString::fromLatin1(failing.variables[static_cast<std::size_t>(i)].name), item.arrived[i]);
        }
        if (!item.arrived.isEmpty()) {
            EXPECT_TRUE(outcome.message.contains("Not arrived: VIDEO01"));
        }
    }
    EXPECT_EQ(delivery.contents(), files);
}

TEST_P(SendingTest, TheFreeArchiveIsReadOverUsbAndExplainedOverALinkCable)
{
    calculator.freeArchive = 480'123;
    calculator.freeRam = 21'000;
    const FreeArchiveReading reading = readFreeArchive(cables);
    EXPECT_EQ(reading.model, GetParam().model);
    if (GetParam().protocol == Protocol::DirectUsb) {
        EXPECT_EQ(reading.status, FreeArchiveReading::Status::Read);
        EXPECT_EQ(reading.bytes, 480'123);
    } else {
        EXPECT_EQ(reading.status, FreeArchiveReading::Status::LinkCable);
        EXPECT_TRUE(reading.message.contains("21,000 bytes")) << reading.message.toStdString();
        EXPECT_TRUE(reading.message.contains("ARC FREE"));
    }
}

TEST_P(SendingTest, TheModelConnectedIsComparedWithTheVideosTarget)
{
    SendJob dense = job();
    dense.madeFor->model = CalculatorModel::Ti84PlusSe;
    dense.madeFor->format = StreamFormat::Dense;
    Sender sender(cables);
    const Preparation preparation = sender.prepare(dense);
    switch (GetParam().model) {
    case CalculatorModel::Ti83Plus:
        EXPECT_FALSE(preparation.ready);
        EXPECT_TRUE(preparation.message.contains("15 MHz")) << preparation.message.toStdString();
        break;
    case CalculatorModel::Ti84PlusSe:
        ASSERT_TRUE(preparation.ready) << preparation.message.toStdString();
        EXPECT_TRUE(preparation.note.isEmpty()) << preparation.note.toStdString();
        break;
    default:
        // Another 15 MHz model plays it, with a note.
        ASSERT_TRUE(preparation.ready) << preparation.message.toStdString();
        EXPECT_TRUE(preparation.note.contains("made for the TI-84 Plus Silver Edition")) << preparation.note.toStdString();
        break;
    }
    EXPECT_TRUE(calculator.variables.empty());
}

INSTANTIATE_TEST_SUITE_P(Calculators, SendingTest,
                         ::testing::Values(Kind{Protocol::LinkPort, CalculatorModel::Ti83Plus, "LinkPortTi83Plus"},
                                           Kind{Protocol::LinkPort, CalculatorModel::Ti84PlusSe, "LinkPortTi84PlusSe"},
                                           Kind{Protocol::DirectUsb, CalculatorModel::Ti84Plus, "UsbTi84Plus"}),
                         [](const ::testing::TestParamInfo<Kind>& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace zoetra::link
