// The player's cost, in T-states of its own code (the OS calls, the screen
// copy included, are left out):
//  - per change record: a frame with all 768 bytes changed against one with
//    none, so the fixed per-frame cost cancels out;
//  - per frame of the bundled sample, as the headless converter builds it.
// Usage: player_benchmark [--tasm ASSEMBLER]
#include "calc/Calculator.h"
#include "codec/written/WrittenEncoder.h"
#include "convert/VideoEncoder.h"
#include "platform/MemoryWindowLayer.h"
#include "platform/Platform.h"
#include "platform/QtBuildLauncher.h"
#include "platform/QtFileSystem.h"
#include "platform/QtPictureLoader.h"
#include "platform/UniformRandom.h"
#include "program/PlayerConfig.h"
#include "program/ProgramBuild.h"
#include "shared/Vars.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <optional>
#include <vector>

using namespace zoetra;

namespace {

constexpr double CpuHz = 6e6;
constexpr std::uint64_t StepBudget = 100'000'000;

bool copyInto(const QString& source, const QString& folder)
{
    const QString target = QDir(folder).filePath(QFileInfo(source).fileName());
    return QFile::copy(source, target);
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

// Plays a program file (no shell, no looping) to its end; the screens shown.
std::optional<std::vector<zoetra::calc::ShownScreen>> play(const QString& programFile)
{
    const auto file = readFile(programFile);
    zoetra::calc::Calculator calculator;
    std::string error;
    if (!file || !calculator.loadProgramFile(*file, &error)) {
        std::fprintf(stderr, "player_benchmark: %s: %s\n", qPrintable(programFile),
                     file ? error.c_str() : "not built");
        return std::nullopt;
    }
    calculator.start();
    zoetra::calc::Stop stop = calculator.run(StepBudget);
    if (stop == zoetra::calc::Stop::WaitingForKey) {
        calculator.press(zoetra::calc::Key::Enter);
        stop = calculator.run(StepBudget);
    }
    if (stop != zoetra::calc::Stop::Returned) {
        std::fprintf(stderr, "player_benchmark: the program did not return: %s\n", calculator.fault().c_str());
        return std::nullopt;
    }
    return calculator.screens();
}

std::vector<std::uint64_t> frameCosts(const std::vector<zoetra::calc::ShownScreen>& screens)
{
    std::vector<std::uint64_t> costs;
    for (std::size_t i = 1; i < screens.size(); ++i) {
        costs.push_back(screens[i].programTStates - screens[i - 1].programTStates);
    }
    return costs;
}

// Key frame, every byte changed, nothing changed: built with our encoder,
// configuration writer and build step.
bool measureRecords(const QString& appDir)
{
    MemoryWindowLayer window;
    QtFileSystem files;
    QtPictureLoader pictures;
    QtBuildLauncher launcher(appDir);
    UniformRandom random;
    Platform platform{window, files, pictures, launcher, random, appDir};
    Vars vars;

    for (std::size_t i = 0; i < vars.FrameBytes.size(); ++i) {
        vars.FrameBytes[i] = static_cast<std::int16_t>((i * 37 + 11) & 0xFF);
    }
    written::WrittenEncoder encoder;
    StartVideoStream(vars, encoder);
    for (auto& b : vars.FrameBytes) {
        b = static_cast<std::int16_t>(b ^ 0xFF);
    }
    EncodeDeltaFrame(vars, platform, 1, encoder, RamVideoLimit);
    EncodeDeltaFrame(vars, platform, 2, encoder, RamVideoLimit);
    EndVideoStream(vars, encoder);
    WriteVideoData(vars, platform);
    WritePlayerConfig(files, appDir, QStringLiteral("No Shell"), 0, QStringLiteral("Benchmark"));
    const BuildOutcome outcome = BuildProgram(platform, QStringLiteral("Bench"), appDir, VideoTarget{});
    if (outcome.status != BuildOutcome::Status::Delivered) {
        std::fprintf(stderr, "player_benchmark: build failed:\n%s\n", qPrintable(outcome.toolOutput));
        return false;
    }
    const auto screens = play(outcome.deliveredPath);
    if (!screens || screens->size() != 3) {
        return false;
    }
    const std::vector<std::uint64_t> costs = frameCosts(*screens);
    const double perRecord = static_cast<double>(costs[0] - costs[1]) / 768.0;
    std::printf("T-states per change record:         %.2f (target at most 100)\n", perRecord);
    std::printf("Fixed T-states per frame:           %llu (a frame without changes)\n",
                static_cast<unsigned long long>(costs[1]));
    std::printf("Frame with all 768 bytes changed:   %llu T-states, %.2f ms at 6 MHz\n",
                static_cast<unsigned long long>(costs[0]), static_cast<double>(costs[0]) / CpuHz * 1000);
    return true;
}

// The sample converted by the headless converter, as a user would.
bool measureSample(const QString& appDir, const QString& outDir)
{
    QProcess converter;
    converter.setWorkingDirectory(outDir);
    converter.start(QDir(appDir).filePath(QFileInfo(QStringLiteral(ZOETRA_CONVERT_EXE)).fileName()),
                    {"--shell", "NoShell", "--no-looping", "--output", outDir});
    if (!converter.waitForFinished(300000) || converter.exitCode() != 0) {
        std::fprintf(stderr, "player_benchmark: the converter failed:\n%s\n",
                     converter.readAllStandardError().constData());
        return false;
    }
    const auto screens = play(QDir(outDir).filePath(QStringLiteral("video.8xp")));
    if (!screens || screens->size() < 2) {
        return false;
    }
    const std::vector<std::uint64_t> costs = frameCosts(*screens);
    const std::uint64_t total = std::accumulate(costs.begin(), costs.end(), std::uint64_t{0});
    const double mean = static_cast<double>(total) / static_cast<double>(costs.size());
    const std::uint64_t most = *std::max_element(costs.begin(), costs.end());
    std::printf("Sample, %zu frames: player T-states per frame: mean %.0f, most %llu (%.2f ms at 6 MHz)\n",
                screens->size(), mean, static_cast<unsigned long long>(most),
                static_cast<double>(most) / CpuHz * 1000);
    return true;
}

}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QString tasm = QStringLiteral(ZOETRA_TASM_EXE);
    const QStringList args = app.arguments();
    if (args.size() == 3 && args[1] == QLatin1String("--tasm")) {
        tasm = args[2];
    } else if (args.size() != 1) {
        std::fprintf(stderr, "usage: player_benchmark [--tasm ASSEMBLER]\n");
        return 2;
    }

    QTemporaryDir root;
    const QString appDir = root.filePath(QStringLiteral("app"));
    const QString outDir = root.filePath(QStringLiteral("out"));
    bool ready = root.isValid() && QDir().mkpath(appDir) && QDir().mkpath(outDir);
    for (const QString& file : {tasm, QStringLiteral(ZOETRA_DEVPAC8X_EXE), QStringLiteral(ZOETRA_CONVERT_EXE)}) {
        ready = ready && copyInto(file, appDir);
    }
    // The player's parts: every .z80 file beside the main one.
    const QDir playerDir = QFileInfo(QStringLiteral(ZOETRA_PLAYER_SOURCE)).dir();
    for (const QString& part : playerDir.entryList({QStringLiteral("*.z80")}, QDir::Files)) {
        ready = ready && copyInto(playerDir.filePath(part), appDir);
    }
    const QDir bundled(QStringLiteral(ZOETRA_APP_DIR));
    for (const QString& name : bundled.entryList({QStringLiteral("sample*")}, QDir::Files)) {
        ready = ready && copyInto(bundled.filePath(name), appDir);
    }
    if (!ready) {
        std::fprintf(stderr, "player_benchmark: cannot set up an application folder with %s\n", qPrintable(tasm));
        return 1;
    }
    return measureRecords(appDir) && measureSample(appDir, outDir) ? 0 : 1;
}
