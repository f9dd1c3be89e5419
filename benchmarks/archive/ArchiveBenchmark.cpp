// The whole shared long video (../shared/media, see its README) converted to
// the archive of a TI-84 Plus at 14.75 frames a second, built by the real
// assembler and packager and played on the emulated calculator with its
// AppVars laid out as the OS keeps them: the bytes, the AppVars, the worst
// frame's T-states with a page crossing against its budget, when the first
// frame shows, the rate kept and the emulation's speed.
// Usage: archive_benchmark [--model ti83p|ti83pse|ti84p|ti84pse] [--format written|compact|dense] [--rate R]
//                          [--frames N]
// --frames plays the video's first N screens only (a model whose archive
// does not hold the whole video at that rate).
#include "RealBuild.h"
#include "SharedVideo.h"
#include "calc/Calculator.h"
#include "codec/Codec.h"
#include "program/ArchiveVideo.h"
#include "program/PlayerTarget.h"
#include "program/ProgramBuild.h"
#include "shared/Text.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

using namespace zoetra;

namespace {

// The video's screens at the rate: the one due at each frame.
std::optional<std::vector<Screen>> sharedVideo(double rate)
{
    return bench::readSharedVideoAtRate(QStringLiteral(ZOETRA_SHARED_MEDIA "/bad-apple-96x64-30fps.screens.xz"), rate,
                                        "archive_benchmark");
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    VideoTarget target;
    target.model = CalculatorModel::Ti84Plus;
    target.format = StreamFormat::Compact;
    target.storage = Storage::Archive;
    const QStringList args = app.arguments();
    std::size_t frames = 0;  // all
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--model")) {
            target.model = modelByKey(args[i + 1].toStdString()).value_or(target.model);
        } else if (args[i] == QLatin1String("--format")) {
            if (const Codec* codec = codecByKey(args[i + 1].toStdString())) {
                target.format = codec->format;
            }
        } else if (args[i] == QLatin1String("--rate")) {
            target.framesPerSecond = args[i + 1].toDouble();
        } else if (args[i] == QLatin1String("--frames")) {
            frames = args[i + 1].toULong();
        }
    }
    const Codec& codec = codecFor(target.format);
    auto screens = sharedVideo(target.framesPerSecond);
    if (!screens) {
        return 1;
    }
    if (frames > 0 && frames < screens->size()) {
        screens->resize(frames);
    }
    std::printf("The shared video: %zu screens at %.4g frames a second, %s, %s stream, in the archive\n",
                screens->size(), target.framesPerSecond, target.facts().name.data(), codec.key.data());

    // The stream, every screen as given.
    QElapsedTimer clock;
    clock.start();
    const auto encoder = encoderFor(target);
    encoder->reset();
    for (const Screen& screen : *screens) {
        encoder->addFrame(screen);
    }
    encoder->finish();
    const std::vector<std::uint8_t> stream = encoder->bytes();
    const double encodeSeconds = clock.elapsed() / 1000.0;
    const int appVars = archive::appVarCount(stream.size());
    std::printf("  stream: %zu bytes in %d AppVars (limit on this model: %d bytes), encoded in %.1f s\n",
                stream.size(), appVars, videoSizeLimit(target), encodeSeconds);
    if (static_cast<long long>(stream.size()) > videoSizeLimit(target)) {
        std::printf("  too long for this model's archive\n");
        return 1;
    }
    std::string error;
    const auto decoded = codec.decode(stream, &error);
    if (!decoded || decoded->frames != *screens) {
        std::printf("  the reference decoder does not give the screens back: %s\n", error.c_str());
        return 1;
    }
    // The worst frame, with a frame copied across a page's end.
    const int worst = *std::max_element(decoded->tStates.begin(), decoded->tStates.end());
    const int crossing = archiveWindowTStates(target.format);
    if (target.format == StreamFormat::Dense) {
        // The dense player decodes ahead: a frame's budget is the schedule's.
        std::printf("  worst frame: %d T-states; the dense player decodes ahead, its schedule kept by the encoder\n",
                    worst);
    } else {
        std::printf("  worst frame: %d T-states, %d with a page crossing, against a budget of %d (at %d MHz)\n", worst,
                    worst + crossing, frameBudgetTStates(target) + crossing, target.facts().slowCpuHz / 1'000'000);
    }

    // Built by the real tools.
    BuildOptions options;
    options.archiveStream = stream;
    const std::optional<bench::RealProgram> built = bench::buildWithRealTools(QStringLiteral("Bench"), target, options, "archive_benchmark");
    if (!built) {
        return 1;
    }
    const QByteArray& program = built->program;
    std::printf("  delivered: %lld files, the program %lld bytes\n", built->files,
                static_cast<long long>(program.size()));

    // Played on the emulated calculator, the AppVars as the OS places them.
    calc::Calculator calculator(target.model);
    if (!calculator.loadProgramFile(std::vector<std::uint8_t>(program.begin(), program.end()), &error)) {
        std::fprintf(stderr, "archive_benchmark: %s\n", error.c_str());
        return 1;
    }
    const std::vector<std::vector<std::uint8_t>> parts = archive::splitIntoAppVars(stream);
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (!calculator.loadAppVar(archive::appVarName(QStringLiteral("Bench"), static_cast<int>(i)).toStdString(),
                                   parts[i], true, &error)) {
            std::fprintf(stderr, "archive_benchmark: %s\n", error.c_str());
            return 1;
        }
    }
    calculator.start();
    const std::uint64_t started = calculator.tstates();
    clock.restart();
    const calc::Stop stop = calculator.run(20'000'000'000ull);
    const double wall = clock.elapsed() / 1000.0;
    const auto& shown = calculator.screens();
    bool same = shown.size() == screens->size();
    for (std::size_t i = 0; same && i < shown.size(); ++i) {
        same = shown[i].pixels == (*screens)[i];
    }
    std::uint64_t worstProgram = 0;
    for (std::size_t i = 1; i < shown.size(); ++i) {
        worstProgram = std::max(worstProgram, shown[i].programTStates - shown[i - 1].programTStates);
    }
    const double emulated = shown.empty() ? 0.0 : static_cast<double>(shown.back().tstates) / 6e6;
    const double rate = shown.size() < 2 ? 0.0
                                         : static_cast<double>(shown.size() - 1) /
                                               (static_cast<double>(shown.back().tstates - shown.front().tstates) / 6e6);
    std::printf("  played: %s, %zu screens, every one as encoded: %s\n",
                stop == calc::Stop::WaitingForKey ? "to its end" : calculator.fault().c_str(), shown.size(),
                same ? "yes" : "NO");
    if (!shown.empty()) {
        std::printf("  the first frame shown %.3f s after the start\n", calc::seconds(shown.front().tstates - started));
    }
    std::printf("  rate kept: %.3f frames a second (%.2f %% off); the player's worst frame: %llu T-states of its own code\n",
                rate, 100.0 * (rate - target.framesPerSecond) / target.framesPerSecond,
                static_cast<unsigned long long>(worstProgram));
    std::printf("  emulation: %.1f s of calculator time in %.1f s, %.0f times real time\n", emulated, wall,
                wall > 0 ? emulated / wall : 0.0);
    return same ? 0 : 1;
}
