// Videos in the archive end to end: clips drawn in code, converted by the
// real run into a program and AppVar files, built by the real tools, the
// AppVars put into the emulated calculator's archive as the OS places them
// (across page ends), and the program played there.
#include "PlayerFixture.h"
#include "codec/Codec.h"
#include "codec/dense/DenseDecoder.h"
#include "convert/ConversionRun.h"
#include "devpac8x/VariableFile.h"
#include "imaging/FrameFolder.h"
#include "imaging/FrameSelection.h"
#include "platform/MemoryWindowLayer.h"
#include "platform/Platform.h"
#include "platform/QtBuildLauncher.h"
#include "platform/QtFileSystem.h"
#include "platform/QtPictureLoader.h"
#include "platform/UniformRandom.h"
#include "program/ArchiveVideo.h"
#include "shared/Vars.h"
#include "support/Clips.h"
#include "support/TestMount.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <cmath>
#include <functional>
#include <memory>
#include <string>

#ifdef ZOETRA_HAVE_TIFILES
// The library's C headers use C's restrict.
#define restrict __restrict
extern "C" {
#include <tilp2/tifiles.h>
}
#undef restrict
#endif

namespace playertest {
namespace {

using zoetra::CalculatorModel;
using zoetra::StreamFormat;
using zoetra::calc::Calculator;
using zoetra::calc::Stop;
using zoetra::test::ClipKind;

struct Delivery {
    zoetra::RunOutcome outcome;
    std::string message;                             // the run's closing message
    std::vector<std::uint8_t> program;               // the .8xp file
    std::vector<std::vector<std::uint8_t>> appVars;  // each AppVar's data, from its .8xv file
    std::vector<std::uint8_t> stream;                // the stream as the AppVars hold it
};

std::vector<std::uint8_t> bytesOf(const QByteArray& bytes)
{
    return {bytes.begin(), bytes.end()};
}

class ArchiveEndToEnd : public ClipConversionTest {
protected:
    Delivery convert(const zoetra::VideoTarget& target, const QString& name = QStringLiteral("Video"),
                     bool looping = false)
    {
        zoetra::QtFileSystem files;
        zoetra::QtPictureLoader pictures;
        zoetra::QtBuildLauncher launcher(folder.path());
        zoetra::UniformRandom random;
        zoetra::MemoryWindowLayer window;
        zoetra::Platform platform{window, files, pictures, launcher, random, folder.path()};
        auto vars = std::make_unique<zoetra::Vars>();
        prepareFolderRun(*vars, window, files, pictures, source.path(), outDir.path());
        window.shell = shell;
        window.description = description;
        window.looping = looping ? 1 : 0;
        window.fileName = name;
        window.detailSlider = 0;  // every change kept: the same screens every time
        window.target = target;

        zoetra::ConversionRun run(*vars, platform);
        Delivery result;
        result.outcome = run.RunConversion();
        if (!window.messages.empty()) {
            result.message = window.messages.back().text.toStdString();
        }
        if (result.outcome.status != zoetra::RunOutcome::Status::Delivered) {
            return result;
        }
        result.program = bytesOf(zoetra::test::readAll(result.outcome.deliveredPath));
        for (int i = 0;; ++i) {
            const QString path = QDir(outDir.path()).filePath(zoetra::archive::appVarFileName(name, i));
            if (!QFile::exists(path)) {
                break;
            }
            const std::vector<std::uint8_t> file = bytesOf(zoetra::test::readAll(path));
            const std::vector<devpac8x::Variable> read = devpac8x::readVariableFile(file);
            EXPECT_EQ(read.size(), 1u);
            if (read.size() != 1) {
                break;
            }
            EXPECT_TRUE(read.front().archived);
            // The variable's data starts with the AppVar's size word.
            std::vector<std::uint8_t> data(read.front().data.begin() + 2, read.front().data.end());
            result.stream.insert(result.stream.end(), data.begin() + zoetra::archive::HeaderBytes, data.end());
            result.appVars.push_back(std::move(data));
        }
        return result;
    }

    QString shell = QStringLiteral("No Shell");
    QString description = QStringLiteral("My First Video");
};

// Puts the AppVars into the calculator's archive. With `straddle`, a
// deleted entry in front of every second one moves part of its entry
// across a page's end: the entry's own size word, or the AppVar's size
// word; the rest cross page ends with their data, as four AppVars fill a
// 64 KB sector.
void loadAppVars(Calculator& calculator, const QString& name, const std::vector<std::vector<std::uint8_t>>& appVars,
                 bool straddle, std::size_t skip = SIZE_MAX)
{
    for (std::size_t i = 0; i < appVars.size(); ++i) {
        if (i == skip) {
            continue;
        }
        const std::string varName = zoetra::archive::appVarName(name, static_cast<int>(i)).toStdString();
        if (straddle && i % 2 == 1) {
            const std::uint32_t next = calculator.nextArchiveEntry().linear();
            const std::uint32_t sectorEnd = (next / 0x10000u + 1) * 0x10000u;
            // Flag at 7FFEh, or the AppVar's size word at 7FFFh.
            const std::uint32_t before = i % 4 == 1 ? 2 : 11 + static_cast<std::uint32_t>(varName.size());
            for (std::uint32_t pageEnd = (next / 0x4000u + 1) * 0x4000u; pageEnd < sectorEnd; pageEnd += 0x4000u) {
                const std::uint32_t flag = pageEnd - before;
                if (flag >= next + 13 && flag + 12 + varName.size() + appVars[i].size() <= sectorEnd) {
                    std::string error;
                    ASSERT_TRUE(calculator.padArchiveTo(zoetra::calc::FlashAddress::fromLinear(flag), &error)) << error;
                    break;
                }
            }
        }
        std::string error;
        const auto placed = calculator.loadAppVar(varName, appVars[i], true, &error);
        ASSERT_TRUE(placed.has_value()) << error;
    }
}

struct Played {
    std::unique_ptr<Calculator> calculator;
    Stop stop = Stop::Fault;
};

Played playArchived(CalculatorModel model, const Delivery& delivery, const QString& name, bool straddle,
                    std::optional<std::size_t> clearAfter = std::nullopt, std::size_t skip = SIZE_MAX,
                    const std::vector<std::uint8_t>* foreign = nullptr)
{
    Played played{std::make_unique<Calculator>(model)};
    Calculator& calculator = *played.calculator;
    std::string error;
    EXPECT_TRUE(calculator.loadProgramFile(delivery.program, &error)) << error;
    std::vector<std::vector<std::uint8_t>> appVars = delivery.appVars;
    if (foreign != nullptr) {
        appVars[1] = *foreign;
    }
    loadAppVars(calculator, name, appVars, straddle, skip);
    calculator.pressAfterScreens(zoetra::calc::Key::Clear, clearAfter);
    calculator.start();
    played.stop = calculator.run(2'000'000'000);
    if (played.stop == Stop::WaitingForKey) {
        calculator.press(zoetra::calc::Key::Enter);
        played.stop = calculator.run(StepBudget);
    }
    return played;
}

std::vector<Screen> referenceScreens(StreamFormat format, const std::vector<std::uint8_t>& stream)
{
    std::string error;
    const auto decoded = zoetra::codecFor(format).decode(stream, &error);
    EXPECT_TRUE(decoded.has_value()) << error;
    return decoded ? decoded->frames : std::vector<Screen>{};
}

// Frames a second over the video, from the first screen to the last.
double meanRate(const Calculator& calculator)
{
    const auto& screens = calculator.screens();
    if (screens.size() < 2) {
        return 0.0;
    }
    const double seconds =
        static_cast<double>(screens.back().tstates - screens.front().tstates) / 6'000'000.0;
    return static_cast<double>(screens.size() - 1) / seconds;
}

struct ModelAndFormat {
    CalculatorModel model;
    StreamFormat format;
};

class ArchiveModels : public ArchiveEndToEnd, public testing::WithParamInterface<ModelAndFormat> {};

TEST_P(ArchiveModels, ShowEveryScreenAtTheVideosRateAcrossPageEnds)
{
    const auto [model, format] = GetParam();
    // Noise changes nearly every byte: a long written stream in few frames,
    // more than 200 KB of it where the archive holds that much (a TI-83
    // Plus holds 160 KB).
    const int frameCount = model == CalculatorModel::Ti83Plus ? 48 : 96;
    useClip(ClipKind::Noise, frameCount);
    zoetra::VideoTarget target;
    target.model = model;
    target.format = format;
    target.storage = zoetra::Storage::Archive;
    const Delivery delivery = convert(target);
    ASSERT_EQ(delivery.outcome.status, zoetra::RunOutcome::Status::Delivered) << delivery.message;
    if (format == StreamFormat::Written) {
        EXPECT_GE(delivery.stream.size(), model == CalculatorModel::Ti83Plus ? 100'000u : 200'000u);
    }
    ASSERT_GE(delivery.appVars.size(), 2u);
    const std::vector<Screen> frames = referenceScreens(format, delivery.stream);
    ASSERT_EQ(frames.size(), static_cast<std::size_t>(frameCount));

    const Played played = playArchived(model, delivery, QStringLiteral("Video"), true);
    ASSERT_EQ(played.stop, Stop::Returned) << played.calculator->fault();
    expectScreens(*played.calculator, frames, frames.size());
    EXPECT_NEAR(meanRate(*played.calculator), zoetra::WrittenFramesPerSecond, 0.02 * zoetra::WrittenFramesPerSecond);
    EXPECT_EQ(played.calculator->exitState().port6, Calculator(model).port6());
    EXPECT_EQ(played.calculator->cpuHz(), zoetra::modelFacts(model).slowCpuHz);
    EXPECT_TRUE(played.calculator->apdEnabled());
}

INSTANTIATE_TEST_SUITE_P(
    EveryModel, ArchiveModels,
    testing::Values(ModelAndFormat{CalculatorModel::Ti83Plus, StreamFormat::Written},
                    ModelAndFormat{CalculatorModel::Ti83Plus, StreamFormat::Compact},
                    ModelAndFormat{CalculatorModel::Ti83PlusSe, StreamFormat::Written},
                    ModelAndFormat{CalculatorModel::Ti83PlusSe, StreamFormat::Compact},
                    ModelAndFormat{CalculatorModel::Ti84Plus, StreamFormat::Written},
                    ModelAndFormat{CalculatorModel::Ti84Plus, StreamFormat::Compact},
                    ModelAndFormat{CalculatorModel::Ti84PlusSe, StreamFormat::Written},
                    ModelAndFormat{CalculatorModel::Ti84PlusSe, StreamFormat::Compact},
                    ModelAndFormat{CalculatorModel::Ti83Plus, StreamFormat::Dense},
                    ModelAndFormat{CalculatorModel::Ti83PlusSe, StreamFormat::Dense},
                    ModelAndFormat{CalculatorModel::Ti84Plus, StreamFormat::Dense},
                    ModelAndFormat{CalculatorModel::Ti84PlusSe, StreamFormat::Dense}));


zoetra::VideoTarget archived(CalculatorModel model, StreamFormat format = StreamFormat::Written, double rate = zoetra::WrittenFramesPerSecond)
{
    zoetra::VideoTarget target;
    target.model = model;
    target.format = format;
    target.storage = zoetra::Storage::Archive;
    target.framesPerSecond = rate;
    return target;
}

// On the 6 MHz TI-83 Plus a pan goes as compact frames, whose bytes are
// copied out, and a turning gradient as coded frames, whose bytes the
// decoder takes one by one: either runs across the ends of Flash pages and
// AppVars, and every screen comes as encoded.
TEST_F(ArchiveEndToEnd, DenseFramesPlayAcrossPageEnds)
{
    for (const bool coded : {false, true}) {
        SCOPED_TRACE(coded ? "coded" : "compact");
        useClip(coded ? ClipKind::DitheredGradient : ClipKind::Pan, coded ? 240 : 80);
        const Delivery delivery = convert(archived(CalculatorModel::Ti83Plus, StreamFormat::Dense));
        ASSERT_EQ(delivery.outcome.status, zoetra::RunOutcome::Status::Delivered) << delivery.message;
        ASSERT_GE(delivery.appVars.size(), 2u);
        const auto decoded = zoetra::dense::decodeDenseVideo(delivery.stream);
        ASSERT_TRUE(decoded.has_value());
        if (coded) {
            // Where the first AppVar's stream ends, the frame is coded.
            const auto across = std::upper_bound(decoded->ends.begin(), decoded->ends.end(),
                                                 static_cast<std::size_t>(zoetra::archive::StreamBytesPerAppVar));
            ASSERT_NE(across, decoded->ends.end());
            const auto frame = static_cast<std::size_t>(across - decoded->ends.begin());
            EXPECT_FALSE(decoded->compact[frame] || decoded->raw[frame] || decoded->rawRows[frame]) << frame;
        } else {
            EXPECT_GT(std::count(decoded->compact.begin(), decoded->compact.end(), true), 60);
        }

        const Played played = playArchived(CalculatorModel::Ti83Plus, delivery, QStringLiteral("Video"), true);
        ASSERT_EQ(played.stop, Stop::Returned) << played.calculator->fault();
        expectScreens(*played.calculator, decoded->frames, decoded->frames.size());
        EXPECT_NEAR(meanRate(*played.calculator), zoetra::WrittenFramesPerSecond,
                    0.02 * zoetra::WrittenFramesPerSecond);
    }
}

TEST_F(ArchiveEndToEnd, ClearEndsItWithTheCalculatorAsItWas)
{
    useClip(ClipKind::Pan, 40);
    for (const auto& [model, format] : {std::pair{CalculatorModel::Ti83Plus, StreamFormat::Compact},
                                        std::pair{CalculatorModel::Ti84Plus, StreamFormat::Compact},
                                        std::pair{CalculatorModel::Ti83Plus, StreamFormat::Dense},
                                        std::pair{CalculatorModel::Ti84Plus, StreamFormat::Dense}}) {
        SCOPED_TRACE(std::string(zoetra::modelFacts(model).key) + " " + std::string(zoetra::codecFor(format).key));
        const Delivery delivery = convert(archived(model, format), QStringLiteral("Video"), true);
        ASSERT_EQ(delivery.outcome.status, zoetra::RunOutcome::Status::Delivered) << delivery.message;
        const Played played = playArchived(model, delivery, QStringLiteral("Video"), true, 50);
        ASSERT_EQ(played.stop, Stop::Returned) << played.calculator->fault();
        const Calculator& calculator = *played.calculator;
        // Looping: the video began again before [CLEAR] came.
        EXPECT_EQ(calculator.screens().size(), 50u);
        EXPECT_EQ(calculator.screens()[40].pixels, calculator.screens()[0].pixels);
        EXPECT_EQ(calculator.exitState().port6, Calculator(model).port6());
        EXPECT_EQ(calculator.cpuHz(), zoetra::modelFacts(model).slowCpuHz);
        EXPECT_EQ(calculator.interruptMode(), 1);
        EXPECT_TRUE(calculator.apdEnabled());
        EXPECT_TRUE(calculator.textShadowCleared());
        EXPECT_TRUE(calculator.runIndicatorOn());
    }
}

TEST_F(ArchiveEndToEnd, AMissingOrForeignAppVarIsNamedOnTheHomeScreen)
{
    useClip(ClipKind::Noise, 24);
    const Delivery delivery = convert(archived(CalculatorModel::Ti83Plus));
    ASSERT_EQ(delivery.outcome.status, zoetra::RunOutcome::Status::Delivered) << delivery.message;
    ASSERT_GE(delivery.appVars.size(), 3u);

    const auto expectMessage = [](const Played& played, const std::string& first, const std::string& second) {
        ASSERT_EQ(played.stop, Stop::Returned) << played.calculator->fault();
        const Calculator& calculator = *played.calculator;
        EXPECT_TRUE(calculator.screens().empty());
        const std::vector<std::string> home = calculator.homeScreen();
        EXPECT_EQ(home[0].substr(0, first.size()), first);
        EXPECT_EQ(home[1].substr(0, second.size()), second);
        EXPECT_EQ(calculator.exitState().port6, Calculator().port6());
        EXPECT_EQ(calculator.interruptMode(), 1);
        EXPECT_TRUE(calculator.apdEnabled());
    };
    {
        SCOPED_TRACE("missing");
        expectMessage(playArchived(CalculatorModel::Ti83Plus, delivery, QStringLiteral("Video"), false, std::nullopt, 2),
                      "Missing AppVar", "VIDEO02");
    }
    {
        SCOPED_TRACE("of another video");
        // The same place in a video of other screens.
        useClip(ClipKind::SceneCuts, 24);
        const Delivery other = convert(archived(CalculatorModel::Ti83Plus));
        ASSERT_EQ(other.outcome.status, zoetra::RunOutcome::Status::Delivered) << other.message;
        ASSERT_GE(other.appVars.size(), 2u);
        expectMessage(playArchived(CalculatorModel::Ti83Plus, delivery, QStringLiteral("Video"), false, std::nullopt,
                                   SIZE_MAX, &other.appVars[1]),
                      "Not this video:", "VIDEO01");
    }
}

TEST_F(ArchiveEndToEnd, AppVarsInRamPlayToo)
{
    useClip(ClipKind::MovingShapes, 30);
    const Delivery delivery = convert(archived(CalculatorModel::Ti84Plus, StreamFormat::Compact));
    ASSERT_EQ(delivery.outcome.status, zoetra::RunOutcome::Status::Delivered) << delivery.message;
    const std::vector<Screen> frames = referenceScreens(StreamFormat::Compact, delivery.stream);

    Calculator calculator(CalculatorModel::Ti84Plus);
    std::string error;
    ASSERT_TRUE(calculator.loadProgramFile(delivery.program, &error)) << error;
    for (std::size_t i = 0; i < delivery.appVars.size(); ++i) {
        const auto placed = calculator.loadAppVar(zoetra::archive::appVarName(QStringLiteral("Video"), static_cast<int>(i)).toStdString(),
                                                  delivery.appVars[i], false, &error);
        ASSERT_TRUE(placed.has_value()) << error;
        EXPECT_FALSE(placed->archived);
    }
    calculator.start();
    Stop stop = calculator.run(2'000'000'000);
    if (stop == Stop::WaitingForKey) {
        calculator.press(zoetra::calc::Key::Enter);
        stop = calculator.run(StepBudget);
    }
    ASSERT_EQ(stop, Stop::Returned) << calculator.fault();
    expectScreens(calculator, frames, frames.size());
}

TEST_F(ArchiveEndToEnd, VideosPlayAtTheRateTheyWereMadeFor)
{
    useClip(ClipKind::MovingShapes, 40);
    for (const double rate : {5.0, 10.0, 14.75, 20.0, 25.0, 29.5}) {
        for (const CalculatorModel model : {CalculatorModel::Ti83Plus, CalculatorModel::Ti84Plus}) {
            for (const zoetra::Storage storage : {zoetra::Storage::Ram, zoetra::Storage::Archive}) {
                SCOPED_TRACE(std::to_string(rate) + " frames a second on the " + std::string(zoetra::modelFacts(model).key) +
                             (storage == zoetra::Storage::Ram ? " in RAM" : " in the archive"));
                zoetra::VideoTarget target = archived(model, StreamFormat::Compact, rate);
                target.storage = storage;
                const Delivery delivery = convert(target);
                ASSERT_EQ(delivery.outcome.status, zoetra::RunOutcome::Status::Delivered) << delivery.message;
                Played played{std::make_unique<Calculator>(model)};
                std::string error;
                ASSERT_TRUE(played.calculator->loadProgramFile(delivery.program, &error)) << error;
                loadAppVars(*played.calculator, QStringLiteral("Video"), delivery.appVars, false);
                played.calculator->start();
                played.stop = played.calculator->run(2'000'000'000);
                ASSERT_EQ(played.stop, Stop::WaitingForKey) << played.calculator->fault();
                EXPECT_EQ(played.calculator->screens().size(), 40u);
                EXPECT_NEAR(meanRate(*played.calculator), rate, 0.02 * rate);
            }
        }
    }
}

// A dense video shows its first frame within half a second of its start on
// every model, in RAM and in the archive, and keeps its rate from there:
// the player starts once the first frame is decoded, not once its ring of
// frames decoded ahead is full.
TEST_F(ArchiveEndToEnd, ADenseVideoShowsItsFirstFrameWithinHalfASecond)
{
    useClip(ClipKind::MovingShapes, 96);
    for (const CalculatorModel model : {CalculatorModel::Ti83Plus, CalculatorModel::Ti84Plus}) {
        for (const zoetra::Storage storage : {zoetra::Storage::Ram, zoetra::Storage::Archive}) {
            SCOPED_TRACE(std::string(zoetra::modelFacts(model).key) +
                         (storage == zoetra::Storage::Ram ? " in RAM" : " in the archive"));
            zoetra::VideoTarget target = archived(model, StreamFormat::Dense);
            target.storage = storage;
            const Delivery delivery = convert(target);
            ASSERT_EQ(delivery.outcome.status, zoetra::RunOutcome::Status::Delivered) << delivery.message;
            EXPECT_EQ(delivery.message.find("compact"), std::string::npos) << delivery.message;
            Calculator calculator(model);
            std::string error;
            ASSERT_TRUE(calculator.loadProgramFile(delivery.program, &error)) << error;
            loadAppVars(calculator, QStringLiteral("Video"), delivery.appVars, false);
            calculator.start();
            const std::uint64_t start = calculator.tstates();
            ASSERT_EQ(calculator.run(2'000'000'000), Stop::WaitingForKey) << calculator.fault();
            ASSERT_EQ(calculator.screens().size(), 96u);
            EXPECT_LT(zoetra::calc::seconds(calculator.screens().front().tstates - start), 0.5);
            EXPECT_NEAR(meanRate(calculator), zoetra::WrittenFramesPerSecond, 0.02 * zoetra::WrittenFramesPerSecond);
        }
    }
}

// A dense target whose dense stream would take more bytes than compact's (a
// pan at 30 frames a second on the 6 MHz TI-83 Plus) goes out compact: the
// compact player and stream are built and delivered, and play every screen
// at the rate from the archive.
TEST_F(ArchiveEndToEnd, ADenseTargetThatGoesOutCompactPlaysAsCompact)
{
    useClip(ClipKind::Pan, 48);
    const Delivery delivery = convert(archived(CalculatorModel::Ti83Plus, StreamFormat::Dense, 30.0));
    ASSERT_EQ(delivery.outcome.status, zoetra::RunOutcome::Status::Delivered) << delivery.message;
    EXPECT_NE(delivery.message.find("\r\nSent as compact video"), std::string::npos) << delivery.message;
    const std::vector<Screen> frames = referenceScreens(StreamFormat::Compact, delivery.stream);
    ASSERT_EQ(frames.size(), 48u);
    const Played played = playArchived(CalculatorModel::Ti83Plus, delivery, QStringLiteral("Video"), false);
    ASSERT_EQ(played.stop, Stop::Returned) << played.calculator->fault();
    expectScreens(*played.calculator, frames, frames.size());
    EXPECT_NEAR(meanRate(*played.calculator), 30.0, 0.02 * 30.0);
}

TEST_F(ArchiveEndToEnd, DeliveredFilesAreReadByLinkSoftwareAndLeaveNoStaleAppVars)
{
    useClip(ClipKind::Noise, 60);
    const Delivery longer = convert(archived(CalculatorModel::Ti84Plus));
    ASSERT_EQ(longer.outcome.status, zoetra::RunOutcome::Status::Delivered) << longer.message;
    const int count = static_cast<int>(longer.appVars.size());
    ASSERT_GE(count, 8);
    // The program first, then the AppVars, then the bundles that hold them all.
    const QStringList bundles = zoetra::archive::bundleFileNames(QStringLiteral("Video"), count);
    ASSERT_EQ(longer.outcome.deliveredPaths.size(), 1 + count + bundles.size());
    EXPECT_TRUE(longer.outcome.deliveredPaths.front().endsWith(QLatin1String("video.8xp")));
    std::vector<devpac8x::Variable> bundled;
    for (const QString& bundle : bundles) {
        const std::vector<std::uint8_t> file = bytesOf(zoetra::test::readAll(QDir(outDir.path()).filePath(bundle)));
        std::string error;
        const std::vector<devpac8x::Variable> variables = devpac8x::readVariableFile(file, &error);
        ASSERT_FALSE(variables.empty()) << bundle.toStdString() << ": " << error;
        bundled.insert(bundled.end(), variables.begin(), variables.end());
    }
    ASSERT_EQ(bundled.size(), static_cast<std::size_t>(1 + count));
#ifdef ZOETRA_HAVE_TIFILES
    // And as link software reads them: every entry, with its archived flag.
    tifiles_library_init();
    std::vector<std::string> names;
    for (const QString& bundle : bundles) {
        FileContent* content = tifiles_content_create_regular(CALC_TI83P);
        ASSERT_NE(content, nullptr);
        ASSERT_EQ(tifiles_file_read_regular(QDir(outDir.path()).filePath(bundle).toLocal8Bit().constData(), content), 0)
            << bundle.toStdString();
        for (unsigned i = 0; i < content->num_entries; ++i) {
            const VarEntry* entry = content->entries[i];
            const devpac8x::Variable& ours = bundled[names.size()];
            EXPECT_EQ(std::string(entry->name), ours.name);
            EXPECT_EQ(entry->attr == ATTRB_ARCHIVED, ours.archived) << ours.name;
            EXPECT_EQ(entry->size, ours.data.size()) << ours.name;
            names.push_back(entry->name);
        }
        tifiles_content_delete_regular(content);
    }
    tifiles_library_exit();
    EXPECT_EQ(names.size(), bundled.size());
#endif
    EXPECT_EQ(bundled.front().name, "VIDEO");
    EXPECT_EQ(std::vector<std::uint8_t>(bundled.front().data.begin() + 2, bundled.front().data.end()),
              programBytes(longer.program));
    for (int i = 0; i < count; ++i) {
        const devpac8x::Variable& variable = bundled[static_cast<std::size_t>(i) + 1];
        EXPECT_EQ(variable.name, zoetra::archive::appVarName(QStringLiteral("Video"), i).toStdString());
        EXPECT_TRUE(variable.archived);
        EXPECT_EQ(std::vector<std::uint8_t>(variable.data.begin() + 2, variable.data.end()),
                  longer.appVars[static_cast<std::size_t>(i)]);
    }

    // A shorter video under the same name: none of the longer one's files stay.
    useClip(ClipKind::MovingShapes, 10);
    const Delivery shorter = convert(archived(CalculatorModel::Ti84Plus));
    ASSERT_EQ(shorter.outcome.status, zoetra::RunOutcome::Status::Delivered) << shorter.message;
    ASSERT_EQ(shorter.appVars.size(), 1u);
    QStringList left = QDir(outDir.path()).entryList(QDir::Files);
    left.sort();
    EXPECT_EQ(left, (QStringList{QStringLiteral("video.8xg"), QStringLiteral("video.8xp"), QStringLiteral("video00.8xv")}));
}

// A longer video under the same name that cannot all be delivered (a
// folder where one of its AppVar files goes; a disk that fills up) leaves
// the earlier one in the output folder byte for byte, and none of its own
// files there.
TEST_F(ArchiveEndToEnd, ALongerVideoThatCannotAllBeDeliveredLeavesTheEarlierOneWhole)
{
    const auto shorterThenLonger = [&](const std::function<void()>& between) {
        useClip(ClipKind::Noise, 10);
        const Delivery earlier = convert(archived(CalculatorModel::Ti84Plus));
        EXPECT_EQ(earlier.outcome.status, zoetra::RunOutcome::Status::Delivered) << earlier.message;
        EXPECT_EQ(earlier.appVars.size(), 2u);
        between();
        const zoetra::test::FolderContents before = zoetra::test::folderContents(outDir.path());
        useClip(ClipKind::Noise, 60);
        const Delivery longer = convert(archived(CalculatorModel::Ti84Plus));
        EXPECT_EQ(longer.outcome.status, zoetra::RunOutcome::Status::NotCopied);
        EXPECT_EQ(zoetra::test::folderContents(outDir.path()), before);
        return longer.message;
    };

    const QString inTheWay = QDir(outDir.path()).filePath(QStringLiteral("video05.8xv"));
    std::string message = shorterThenLonger([&] { ASSERT_TRUE(QDir().mkdir(inTheWay)); });
    EXPECT_NE(message.find(zoetra::nativePath(inTheWay).toStdString() + ": Is a directory"), std::string::npos)
        << message;

    // A 200 KB disk, which the earlier video's files take a quarter of.
    zoetra::test::Mount mount(outDir.path(), QStringLiteral("size=200k"));
    if (!mount.mounted()) {
        GTEST_SKIP() << "cannot mount a tmpfs here";
    }
    message = shorterThenLonger([] {});
    EXPECT_NE(message.find(": No space left on device"), std::string::npos) << message;
}

// The first multi-variable file holds the program and three full AppVars:
// the largest program (the dense player with its larger ring, under
// MirageOS with the longest description) still fits beside them.
TEST_F(ArchiveEndToEnd, TheLargestProgramFitsItsBundleBesideThreeFullAppVars)
{
    useClip(ClipKind::Noise, 80);
    shell = QStringLiteral("MirageOS");
    description = QString(255, QLatin1Char('d'));
    const Delivery delivery = convert(archived(CalculatorModel::Ti84Plus, StreamFormat::Dense), QStringLiteral("Video"), true);
    ASSERT_EQ(delivery.outcome.status, zoetra::RunOutcome::Status::Delivered) << delivery.message;
    ASSERT_GE(delivery.appVars.size(), 4u);
    const std::vector<std::uint8_t> file =
        bytesOf(zoetra::test::readAll(QDir(outDir.path()).filePath(QStringLiteral("video.8xg"))));
    std::string error;
    const std::vector<devpac8x::Variable> variables = devpac8x::readVariableFile(file, &error);
    ASSERT_EQ(variables.size(), 1u + zoetra::archive::AppVarsWithProgram) << error;
    for (std::size_t i = 1; i < variables.size(); ++i) {
        EXPECT_EQ(variables[i].data.size(), 2u + zoetra::archive::AppVarDataBytes);
    }
}

#ifdef ZOETRA_HAVE_GIF
// A video in more AppVars than a TI-83 Plus's archive holds, made for a
// TI-84 Plus Silver Edition: --play plays it there, as the program says,
// without being told; on a TI-83 Plus it has no room.
TEST_F(ArchiveEndToEnd, PlayPlaysAVideoOnTheModelItWasMadeFor)
{
    constexpr int Frames = 104;
    useClip(ClipKind::Noise, Frames);
    const Delivery delivery = convert(archived(CalculatorModel::Ti84PlusSe));
    ASSERT_EQ(delivery.outcome.status, zoetra::RunOutcome::Status::Delivered) << delivery.message;
    ASSERT_GE(delivery.appVars.size(), 13u);
    const auto play = [&](const QStringList& extra, QString& said) {
        QProcess converter;
        converter.setWorkingDirectory(outDir.path());
        converter.start(QStringLiteral(ZOETRA_CONVERT_EXE),
                        QStringList{QStringLiteral("--play"), QStringLiteral("video.8xp"), QStringLiteral("--preview"),
                                    QStringLiteral("played.gif")} +
                            extra);
        EXPECT_TRUE(converter.waitForFinished(300000));
        said = QString::fromLocal8Bit(converter.readAllStandardError());
        return converter.exitCode();
    };
    QString said;
    ASSERT_EQ(play({}, said), 0) << said.toStdString();
    EXPECT_TRUE(said.startsWith(
        QLatin1String("Playing video.8xp on the TI-84 Plus Silver Edition, the model it was made for.")))
        << said.toStdString();
    EXPECT_TRUE(said.contains(QStringLiteral("(%1 frames, ").arg(Frames))) << said.toStdString();
    EXPECT_EQ(play({QStringLiteral("--model"), QStringLiteral("ti83p")}, said), 1);
    EXPECT_TRUE(said.contains(QLatin1String("the archive has no room for VIDEO"))) << said.toStdString();
}
#endif

TEST_F(ArchiveEndToEnd, ALongNameOrAVideoTooLongForTheArchiveIsRefusedBeforeDelivery)
{
    useClip(ClipKind::MovingShapes, 10);
    const Delivery named = convert(archived(CalculatorModel::Ti83Plus), QStringLiteral("Seventh"));
    EXPECT_EQ(named.outcome.status, zoetra::RunOutcome::Status::NameRefused);
    EXPECT_EQ(named.message, zoetra::ConversionRun::ArchiveNameMessage.toStdString());

    useClip(ClipKind::Noise, 30);
    zoetra::VideoTarget small = archived(CalculatorModel::Ti84Plus);
    small.freeArchiveBytes = 40'000;  // two AppVars
    const Delivery tooLong = convert(small);
    EXPECT_EQ(tooLong.outcome.status, zoetra::RunOutcome::Status::TooLarge);
    EXPECT_NE(tooLong.message.find("seconds"), std::string::npos) << tooLong.message;
    EXPECT_TRUE(QDir(outDir.path()).entryList(QDir::Files).isEmpty());
}

}  // namespace
}  // namespace playertest
