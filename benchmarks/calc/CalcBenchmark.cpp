// The emulated calculator's speed against real time, and the preview's frame
// times, on programs built by the headless converter:
//  - the bundled sample (looping, Ion), as the preview plays it, and the
//    same with --compact;
//  - a video whose every byte changes every frame, the player's heaviest work;
//  - the paged path: a test player (tests/calc/programs/PAGEPLAY.z80) that
//    reads 60 whole screens from an archived AppVar through port 6, across
//    page ends, on a TI-84 Plus.
// For each: the once-through recording (what the preview and the GIF start
// with) and live playback in the preview's 4 ms steps, over 10 s of video.
// Usage: calc_benchmark [--repeat N]
#include "Assembler.h"

#include "calc/LivePlayback.h"
#include "calc/Recording.h"
#include "calc/Timing.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

using namespace zoetra::calc;

namespace {

constexpr std::uint64_t VideoSeconds = 10;

bool copyInto(const QString& source, const QString& folder)
{
    return QFile::copy(source, QDir(folder).filePath(QFileInfo(source).fileName()));
}

// Converts a folder of frames; the delivered .8xp file's bytes.
std::optional<std::vector<std::uint8_t>> convert(const QString& appDir, const QString& outDir, const QStringList& extra)
{
    QProcess converter;
    converter.setWorkingDirectory(outDir);
    converter.start(QDir(appDir).filePath(QFileInfo(QStringLiteral(ZOETRA_CONVERT_EXE)).fileName()),
                    QStringList{QStringLiteral("--output"), outDir} + extra);
    if (!converter.waitForFinished(300000) || converter.exitCode() != 0) {
        std::fprintf(stderr, "calc_benchmark: the converter failed:\n%s\n", converter.readAllStandardError().constData());
        return std::nullopt;
    }
    QFile file(QDir(outDir).filePath(QStringLiteral("video.8xp")));
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    const QByteArray bytes = file.readAll();
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

double milliseconds(std::uint64_t tstates)
{
    return seconds(tstates) * 1000.0;
}

bool measure(const char* what, const std::vector<std::uint8_t>& program, const CalculatorSetup& setup, int repeat)
{
    // The recording, as often as needed to reach 10 s of video at least.
    QElapsedTimer timer;
    timer.start();
    Recording recording = recordProgram(program, setup);
    std::uint64_t emulated = recording.endTStates;
    int recordings = 1;
    while (recordings < repeat || emulated < VideoSeconds * CpuHz) {
        recording = recordProgram(program, setup);
        emulated += recording.endTStates;
        ++recordings;
    }
    const double recordingSeconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    if (!recording.plays()) {
        std::fprintf(stderr, "calc_benchmark: %s does not play: %s\n", what, recording.problem().c_str());
        return false;
    }

    // Live playback as the preview runs it: 4 ms steps through 10 s, looping.
    double liveSeconds = 0;
    for (int i = 0; i < repeat; ++i) {
        LivePlayback live(program, recording);
        timer.restart();
        for (std::uint64_t t = 0; t <= VideoSeconds * CpuHz; t += CpuHz / 250) {
            live.advanceTo(t);
        }
        liveSeconds += static_cast<double>(timer.nsecsElapsed()) / 1e9;
    }
    liveSeconds /= repeat;

    std::vector<std::uint64_t> durations;
    for (std::size_t i = 0; i < recording.frames.size(); ++i) {
        durations.push_back(recording.duration(i));
    }
    const auto [shortest, longest] = std::minmax_element(durations.begin(), durations.end());
    const double speed = seconds(emulated) / recordingSeconds;
    std::printf("%s\n", what);
    std::printf("  frames %zu, %s, once through %.3f s: %.2f frames a second\n", recording.frames.size(),
                recording.end == Recording::End::Loops ? "looping" : "then waits for a key",
                seconds(recording.totalTStates()), recording.framesPerSecond());
    std::printf("  frame times: shortest %.1f ms, mean %.1f ms, longest %.1f ms (a timer tick is %.2f ms)\n",
                milliseconds(*shortest), milliseconds(recording.totalTStates()) / static_cast<double>(durations.size()),
                milliseconds(*longest), milliseconds(TimerPeriodTStates));
    std::printf("  recording: %.0f times real time, %.2f ms for %llu s of video (%d runs)\n", speed,
                static_cast<double>(VideoSeconds) / speed * 1000.0, static_cast<unsigned long long>(VideoSeconds),
                recordings);
    std::printf("  live playback in 4 ms steps: %.0f times real time, %.2f ms for %llu s of video\n",
                static_cast<double>(VideoSeconds) / liveSeconds, liveSeconds * 1000.0,
                static_cast<unsigned long long>(VideoSeconds));
    return true;
}

bool measureFile(const char* what, const std::vector<std::uint8_t>& file, int repeat)
{
    std::string error;
    const std::vector<std::uint8_t> program = assemblyProgram(file, &error);
    if (program.empty()) {
        std::fprintf(stderr, "calc_benchmark: %s\n", error.c_str());
        return false;
    }
    return measure(what, program, {}, repeat);
}

bool measurePaged(int repeat)
{
    tasm::Options options;
    options.foldCase = true;
    options.defines = {{"VARTEXT", "\"FRAMES\""}};
    const tasm::Result result = tasm::assemble(ZOETRA_PAGEPLAY_SOURCE, options);
    if (!result.ok) {
        std::fprintf(stderr, "calc_benchmark: %s\n", result.diagnostics.format().c_str());
        return false;
    }
    std::vector<std::uint8_t> frames(60 * ScreenBytes);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        frames[i] = static_cast<std::uint8_t>((i / ScreenBytes) * 37 + i % 11);
    }
    const CalculatorSetup setup{zoetra::CalculatorModel::Ti84Plus, {{"FRAMES", frames, true}}};
    return measure("The paged path: 60 screens read from the archive through port 6 (TI-84 Plus, looping)",
                   result.image.bytes(), setup, repeat);
}

}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    int repeat = 20;
    const QStringList args = app.arguments();
    if (args.size() == 3 && args[1] == QLatin1String("--repeat") && args[2].toInt() > 0) {
        repeat = args[2].toInt();
    } else if (args.size() != 1) {
        std::fprintf(stderr, "usage: calc_benchmark [--repeat N]\n");
        return 2;
    }

    QTemporaryDir root;
    const QString appDir = root.filePath(QStringLiteral("app"));
    const QString outDir = root.filePath(QStringLiteral("out"));
    const QString flicker = root.filePath(QStringLiteral("flicker"));
    bool ready = root.isValid() && QDir().mkpath(appDir) && QDir().mkpath(outDir) && QDir().mkpath(flicker);
    for (const QString& file : {QStringLiteral(ZOETRA_TASM_EXE), QStringLiteral(ZOETRA_DEVPAC8X_EXE),
                                QStringLiteral(ZOETRA_CONVERT_EXE)}) {
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
    // Black and white in turn: every byte changes every frame; ten frames
    // fit the 24,000 bytes.
    for (int i = 0; i < 10; ++i) {
        QImage frame(96, 64, QImage::Format_RGB32);
        frame.fill(i % 2 == 0 ? Qt::black : Qt::white);
        ready = ready && frame.save(QDir(flicker).filePath(QStringLiteral("frame%1.bmp").arg(i, 2, 10, QLatin1Char('0'))));
    }
    if (!ready) {
        std::fprintf(stderr, "calc_benchmark: cannot set up an application folder\n");
        return 1;
    }
    const auto sample = convert(appDir, outDir, {});
    const auto compact = convert(appDir, outDir, {QStringLiteral("--compact")});
    const auto heavy = convert(appDir, outDir, {QStringLiteral("--source"), flicker, QStringLiteral("--no-dither")});
    if (!sample || !compact || !heavy) {
        return 1;
    }
    return measureFile("The sample (48 frames, Ion, looping)", *sample, repeat) &&
                   measureFile("The sample, compact", *compact, repeat) &&
                   measureFile("Every byte changed every frame (10 frames, Ion, looping)", *heavy, repeat) &&
                   measurePaged(repeat)
               ? 0
               : 1;
}
