// The compact stream against the written one, on clips drawn in code and on
// the bundled sample: bytes of both streams for the same frames and
// settings, and the player's T-states per frame for the compact program,
// built with our tools and played on the emulated calculator.
//
// Targets: compact bytes at most 50 % of the written ones as the mean of the
// ratios, and never more on any clip; every frame decoded within 150,000
// T-states (at 6 MHz) on top of the screen copy.
// Usage: compact_benchmark
#include "calc/Calculator.h"
#include "codec/compact/CompactEncoder.h"
#include "codec/written/WrittenDecoder.h"
#include "codec/written/WrittenEncoder.h"
#include "convert/VideoEncoder.h"
#include "imaging/Conversion.h"
#include "imaging/FrameFolder.h"
#include "platform/ImagePictureArea.h"
#include "platform/MemoryWindowLayer.h"
#include "platform/Platform.h"
#include "platform/QtBuildLauncher.h"
#include "platform/QtFileSystem.h"
#include "platform/QtPictureLoader.h"
#include "platform/UniformRandom.h"
#include "program/PlayerConfig.h"
#include "program/ProgramBuild.h"
#include "shared/Vars.h"
#include "support/Clips.h"
#include "support/ScreenSequences.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QCoreApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <numeric>
#include <optional>
#include <vector>

using namespace zoetra;

const VideoTarget compactTarget{CalculatorModel::Ti83Plus, WrittenFramesPerSecond, Storage::Ram, StreamFormat::Compact, std::nullopt};

namespace {

constexpr std::uint64_t StepBudget = 200'000'000;
constexpr std::uint64_t DecodeTarget = 150'000;

class QuietWindow final : public MemoryWindowLayer {
public:
    void yieldToEvents() override {}
};

struct Clip {
    QString name;
    std::vector<QImage> frames;
};

// The frames through the conversion's own steps with the default settings,
// without the size limit; the stream's size without its end marker.
int encode(const Clip& clip, Platform& platform, Vars& vars, StreamEncoder& encoder)
{
    auto& window = static_cast<QuietWindow&>(platform.window);
    MemoryPictureArea picture;
    vars.ByteCount = 0;
    for (std::size_t f = 0; f < clip.frames.size(); ++f) {
        picture.setPicture(clip.frames[f]);
        ConvertToMono(vars, picture, window.quickPrevArea);
        PackFrame(vars);
        if (f == 0) {
            StartVideoStream(vars, encoder);
        } else {
            EncodeDeltaFrame(vars, platform, static_cast<int>(f), encoder, 1 << 30);
        }
    }
    EndVideoStream(vars, encoder);
    return vars.ByteCount;
}

std::optional<std::vector<std::uint8_t>> readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    const QByteArray bytes = file.readAll();
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

struct Measured {
    int written = 0;
    int compact = 0;
    std::vector<std::uint64_t> decode;  // the player's T-states between two screens
    bool sameScreens = false;
    QString problem;
};

Measured measure(const Clip& clip, const QString& appDir)
{
    QuietWindow window;
    QtFileSystem files;
    QtPictureLoader pictures;
    QtBuildLauncher launcher(appDir);
    Measured result;

    // Each stream as from a fresh program start, with its own generator.
    const auto freshVars = [] {
        auto vars = std::make_unique<Vars>();
        vars->BlackThreshold = 85;
        vars->WhiteThreshold = 170;
        vars->DitherOn = true;
        vars->ColourChannel = 1;
        return vars;
    };
    std::vector<zoetra::calc::Screen> expected;
    {
        UniformRandom random;
        Platform platform{window, files, pictures, launcher, random, appDir};
        auto vars = freshVars();
        written::WrittenEncoder writtenEncoder;
        result.written = encode(clip, platform, *vars, writtenEncoder);
        expected = written::decodeWrittenVideo(writtenEncoder.bytes()).value_or(DecodedVideo{}).frames;
    }
    UniformRandom random;
    Platform platform{window, files, pictures, launcher, random, appDir};
    auto vars = freshVars();
    compact::CompactEncoder encoder;
    result.compact = encode(clip, platform, *vars, encoder);
    if (WriteVideoData(*vars, platform) ||
        WritePlayerConfig(files, appDir, QStringLiteral("No Shell"), 0, QStringLiteral("Benchmark"), compactTarget)) {
        result.problem = QStringLiteral("cannot write the player's files");
        return result;
    }
    const BuildOutcome built = BuildProgram(platform, QStringLiteral("Bench"), appDir, compactTarget);
    const auto file = built.status == BuildOutcome::Status::Delivered ? readFile(built.deliveredPath) : std::nullopt;
    if (!file) {
        result.problem = QStringLiteral("not built: ") + built.toolOutput;
        return result;
    }
    zoetra::calc::Calculator calculator;
    std::string error;
    if (!calculator.loadProgramFile(*file, &error)) {
        result.problem = QString::fromStdString(error);
        return result;
    }
    calculator.start();
    zoetra::calc::Stop stop = calculator.run(StepBudget);
    if (stop == zoetra::calc::Stop::WaitingForKey) {
        calculator.press(zoetra::calc::Key::Enter);
        stop = calculator.run(StepBudget);
    }
    if (stop != zoetra::calc::Stop::Returned) {
        result.problem = QString::fromStdString("did not return: " + calculator.fault());
        return result;
    }
    const auto& screens = calculator.screens();
    result.sameScreens = screens.size() == expected.size();
    for (std::size_t i = 0; i < screens.size(); ++i) {
        result.sameScreens = result.sameScreens && screens[i].pixels == expected[i];
        if (i > 0) {
            result.decode.push_back(screens[i].programTStates - screens[i - 1].programTStates);
        }
    }
    return result;
}

bool copyInto(const QString& source, const QString& folder)
{
    return QFile::copy(source, QDir(folder).filePath(QFileInfo(source).fileName()));
}

}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 1) {
        std::fprintf(stderr, "usage: compact_benchmark\n");
        return 2;
    }
    QTemporaryDir root;
    bool ready = root.isValid();
    for (const QString& file : {QStringLiteral(ZOETRA_TASM_EXE), QStringLiteral(ZOETRA_DEVPAC8X_EXE)}) {
        ready = ready && copyInto(file, root.path());
    }
    // The player's parts: every .z80 file beside the main one.
    const QDir playerDir = QFileInfo(QStringLiteral(ZOETRA_PLAYER_SOURCE)).dir();
    for (const QString& part : playerDir.entryList({QStringLiteral("*.z80")}, QDir::Files)) {
        ready = ready && copyInto(playerDir.filePath(part), root.path());
    }
    if (!ready) {
        std::fprintf(stderr, "compact_benchmark: cannot set up an application folder\n");
        return 1;
    }

    std::vector<Clip> clips;
    for (const test::ClipKind kind : test::AllClipKinds) {
        // Noise compacts least: 30 frames still fit the calculator.
        const int frames = kind == test::ClipKind::Noise ? 30 : 48;
        clips.push_back({test::clipName(kind), test::clipFrames(kind, frames)});
    }
    {
        QtFileSystem files;
        QtPictureLoader loader;
        const QString bundled = QStringLiteral(ZOETRA_APP_DIR);
        Clip sample{QStringLiteral("bundled sample"), {}};
        for (const QString& name : listFrameFolder(files, bundled).value_or(QStringList{})) {
            if (const auto image = loader.load(joinPath(bundled, name))) {
                sample.frames.push_back(*image);
            }
        }
        if (sample.frames.empty()) {
            std::fprintf(stderr, "compact_benchmark: no sample frames in %s\n", qPrintable(bundled));
            return 1;
        }
        clips.push_back(sample);
    }

    std::printf("%-18s %7s %8s %8s %7s %12s %12s  %s\n", "clip", "frames", "written", "compact", "ratio",
                "worst T", "mean T", "screens");
    double ratioSum = 0.0;
    double mostRatio = 0.0;
    std::uint64_t worstOfAll = 0;
    bool allSame = true;
    for (const Clip& clip : clips) {
        const Measured m = measure(clip, root.path());
        if (!m.problem.isEmpty()) {
            std::fprintf(stderr, "compact_benchmark: %s: %s\n", qPrintable(clip.name), qPrintable(m.problem));
            return 1;
        }
        const double ratio = 100.0 * m.compact / m.written;
        ratioSum += ratio;
        mostRatio = std::max(mostRatio, ratio);
        const std::uint64_t worst = m.decode.empty() ? 0 : *std::max_element(m.decode.begin(), m.decode.end());
        const double mean = m.decode.empty() ? 0.0
                                             : static_cast<double>(std::accumulate(m.decode.begin(), m.decode.end(),
                                                                                   std::uint64_t{0})) /
                                                   static_cast<double>(m.decode.size());
        worstOfAll = std::max(worstOfAll, worst);
        allSame = allSame && m.sameScreens;
        std::printf("%-18s %7zu %8d %8d %6.1f%% %12llu %12.0f  %s\n", qPrintable(clip.name), clip.frames.size(),
                    m.written, m.compact, ratio, static_cast<unsigned long long>(worst), mean,
                    m.sameScreens ? "same as written" : "DIFFERENT");
    }
    const double meanRatio = ratioSum / static_cast<double>(clips.size());
    std::printf("\nmean of the ratios: %.1f%% (target at most 50%%), largest: %.1f%% (target at most 100%%)\n",
                meanRatio, mostRatio);
    std::printf("worst frame: %llu T-states, %.2f ms at 6 MHz (target at most %llu)\n",
                static_cast<unsigned long long>(worstOfAll), static_cast<double>(worstOfAll) / 6e3,
                static_cast<unsigned long long>(DecodeTarget));
    const bool met = meanRatio <= 50.0 && mostRatio <= 100.0 && worstOfAll <= DecodeTarget && allSame;
    std::printf("%s\n", met ? "all targets met" : "TARGETS MISSED");
    return met ? 0 : 1;
}
