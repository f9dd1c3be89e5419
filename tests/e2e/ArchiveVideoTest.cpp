// Videos in the archive end to end: clips drawn in code, converted by the
// real run into a program and AppVar files, built by the real tools, the
// AppVars put into the emulated calculator's archive as the OS places them
// (across page ends), and the program played there.
#include "PlayerFixture.h"

#include "convert/ArchiveVideo.h"
#include "convert/Codec.h"
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
#include "shared/Vars.h"
#include "support/Clips.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QTemporaryDir>

#include <cmath>
#include <memory>
#include <string>

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

class ArchiveEndToEnd : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        ASSERT_TRUE(source.isValid());
        ASSERT_TRUE(outDir.isValid());
    }

    void useClip(ClipKind kind, int frames)
    {
        QDir(source.path()).removeRecursively();
        QDir().mkpath(source.path());
        ASSERT_TRUE(zoetra::test::writeClip(zoetra::test::clipFrames(kind, frames), source.path()));
    }

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
        vars->LastDir = source.path();
        vars->OutDir = outDir.path();
        vars->BlackThreshold = 85;
        vars->WhiteThreshold = 170;
        vars->DitherOn = true;
        vars->ColourChannel = 1;
        window.frames = zoetra::listFrameFolder(files, source.path()).value_or(QStringList{});
        window.onFrameSelected = [&](int index) {
            return zoetra::loadAndConvertFrame(*vars, pictures, zoetra::joinPath(vars->LastDir, window.frames.at(index)),
                                               window.filePreviewArea, window.quickPrevArea);
        };
        window.shell = QStringLiteral("No Shell");
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

    AppFolder folder;
    QTemporaryDir source;
    QTemporaryDir outDir;
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
                    ModelAndFormat{CalculatorModel::Ti84PlusSe, StreamFormat::Compact}));

}  // namespace
}  // namespace playertest
