// The goal: the whole shared long video (../shared/media, see its README)
// with a music-like sound made here beside it (the video has none), for a
// TI-84 Plus in its empty archive, dense, at 14.75 frames a second: built
// by the real assembler and packager and played on the emulated calculator
// with every AppVar laid out as the OS keeps them. Prints the bytes and
// AppVars of video and sound and whether they fit, the level the sound
// took, the segmental SNR of what the calculator played against the source,
// and the delay of the sound behind the picture at the start, the middle
// and the end.
// Usage: music_video_benchmark [--model ti83pse|ti84p|ti84pse] [--rate R] [--seconds S]
// --seconds plays the video's first S seconds only.
#include "RealBuild.h"
#include "SharedVideo.h"
#include "calc/Calculator.h"
#include "calc/Timing.h"
#include "codec/Codec.h"
#include "codec/sound/SoundDecoder.h"
#include "codec/sound/SoundEncoder.h"
#include "convert/VideoSound.h"
#include "media/SoundQuality.h"
#include "program/ArchiveVideo.h"
#include "program/PlayerTarget.h"
#include "program/ProgramBuild.h"
#include "program/SoundVideo.h"
#include "support/Sounds.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <random>
#include <vector>

using namespace zoetra;

namespace {

constexpr const char* Who = "music_video_benchmark";

std::optional<std::vector<Screen>> sharedVideo(double rate)
{
    return bench::readSharedVideoAtRate(QStringLiteral(ZOETRA_SHARED_MEDIA "/bad-apple-96x64-30fps.screens.xz"), rate,
                                        Who);
}

// The sound the calculator played in `seconds` from `from` (clock steps),
// rendered for the measure.
std::vector<float> heardFrom(const std::vector<LineEdge>& edges, std::uint64_t from, double seconds,
                             std::uint64_t clockHz = calc::ClockHz)
{
    std::vector<LineEdge> window;
    std::uint8_t held = LinesReleased;
    const auto to = from + static_cast<std::uint64_t>(seconds * static_cast<double>(clockHz));
    for (const LineEdge& edge : edges) {
        if (edge.clock < from) {
            held = edge.held;
            continue;
        }
        if (edge.clock >= to) {
            break;
        }
        if (window.empty() && held != LinesReleased) {
            window.push_back({0, held});
        }
        window.push_back({edge.clock - from, edge.held});
    }
    return media::measuredLines(window, clockHz, static_cast<std::size_t>(seconds * media::MeasureRenderRate));
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    VideoTarget target;
    target.model = CalculatorModel::Ti84Plus;
    target.format = StreamFormat::Dense;
    target.storage = Storage::Archive;
    target.sound = true;
    const QStringList args = app.arguments();
    double limitSeconds = 0.0;
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--model")) {
            target.model = modelByKey(args[i + 1].toStdString()).value_or(target.model);
        } else if (args[i] == QLatin1String("--rate")) {
            target.framesPerSecond = args[i + 1].toDouble();
        } else if (args[i] == QLatin1String("--seconds")) {
            limitSeconds = args[i + 1].toDouble();
        }
    }
    auto screens = sharedVideo(target.framesPerSecond);
    if (!screens) {
        return 1;
    }
    if (limitSeconds > 0.0) {
        screens->resize(std::min(screens->size(), static_cast<std::size_t>(limitSeconds * target.framesPerSecond)));
    }
    const auto frames = static_cast<int>(screens->size());
    const QString name = QStringLiteral("Bench");
    std::printf("The shared video with a music-like sound: %d screens at %.4g frames a second (%.1f s), %s, dense, "
                "in the empty archive\n",
                frames, target.framesPerSecond, frames / target.framesPerSecond, target.facts().name.data());

    // The video, within the limit that leaves the sound its room.
    QElapsedTimer clock;
    clock.start();
    const auto encoder = encoderFor(target);
    encoder->reset();
    for (const Screen& screen : *screens) {
        encoder->addFrame(screen);
    }
    encoder->finish();
    const std::vector<std::uint8_t> video = encoder->bytes();
    const int limit = videoLimitWithSound(target, static_cast<int>(name.size()), frames);
    std::printf("  video: %zu bytes in %d AppVars (its limit beside the sound: %d), encoded in %.1f s\n", video.size(),
                archive::appVarCount(video.size()), limit, clock.elapsed() / 1000.0);
    if (static_cast<long long>(video.size()) > limit) {
        std::printf("  the video does not fit beside its sound\n");
        return 1;
    }

    // The sound, at the best level that leaves the video its time.
    const std::vector<float> music = test::musicLike(sound::InputRate, frames / target.framesPerSecond);
    const std::int64_t room = soundRoomBytes(target, static_cast<int>(name.size()), video.size());
    const auto level = sound::bestLevelBesideVideo(room, static_cast<long long>(music.size()));
    if (!level) {
        std::printf("  no room for the sound: %lld bytes left\n", static_cast<long long>(room));
        return 1;
    }
    clock.restart();
    const std::vector<std::uint8_t> soundStream = sound::encodeSound(music, *level);
    const double encodeSeconds = clock.elapsed() / 1000.0;
    const int soundVars = archive::soundAppVarCount(soundStream.size());
    const int fit = archive::appVarsInArchive(archive::emptyArchiveBytes(target.model), static_cast<int>(name.size()) + 2);
    std::printf("  %s\n", qPrintable(soundReport(*level, soundStream.size())));
    std::printf("  sound encoded in %.1f s (%.1f times real time), %.0f %% of the calculator's clock\n", encodeSeconds,
                encodeSeconds > 0 ? frames / target.framesPerSecond / encodeSeconds : 0.0,
                100.0 * sound::clockShare(*level));
    std::printf("  together: %zu bytes in %d of the %d AppVars the archive holds: %s\n",
                video.size() + soundStream.size(), archive::appVarCount(video.size()) + soundVars, fit,
                archive::appVarCount(video.size()) + soundVars <= fit ? "fits" : "DOES NOT FIT");

    // Built by the real tools.
    BuildOptions options;
    options.archiveStream = video;
    options.soundStream = soundStream;
    const std::optional<bench::RealProgram> built = bench::buildWithRealTools(name, target, options, Who);
    if (!built) {
        return 1;
    }
    const QByteArray& program = built->program;
    std::printf("  delivered: %lld files, the program %lld bytes\n", built->files,
                static_cast<long long>(program.size()));

    // Played on the emulated calculator.
    calc::Calculator calculator(target.model);
    std::string error;
    if (!calculator.loadProgramFile(std::vector<std::uint8_t>(program.begin(), program.end()), &error)) {
        std::fprintf(stderr, "%s: %s\n", Who, error.c_str());
        return 1;
    }
    std::vector<std::vector<std::uint8_t>> parts = archive::splitIntoAppVars(video);
    const auto soundParts = archive::splitSoundIntoAppVars(static_cast<int>(parts.size()), soundStream);
    parts.insert(parts.end(), soundParts.begin(), soundParts.end());
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (!calculator.loadAppVar(archive::appVarName(name, static_cast<int>(i)).toStdString(), parts[i], true,
                                   &error)) {
            std::fprintf(stderr, "%s: %s\n", Who, error.c_str());
            return 1;
        }
    }
    calculator.start();
    clock.restart();
    std::vector<LineEdge> edges;
    calc::Stop stop = calc::Stop::ScreenShown;
    while (stop == calc::Stop::ScreenShown) {
        stop = calculator.runToNextScreen();
        const auto taken = calculator.takeLineEdges();
        edges.insert(edges.end(), taken.begin(), taken.end());
    }
    const double wall = clock.elapsed() / 1000.0;
    const auto& shown = calculator.screens();
    // The LCD cleared first, then the video's screens.
    const auto first = std::find_if(shown.begin(), shown.end(),
                                    [&](const auto& screen) { return screen.pixels == screens->front(); });
    const auto count = static_cast<std::size_t>(shown.end() - first);
    bool same = count == screens->size();
    for (std::size_t i = 0; same && i < count; ++i) {
        same = (first + static_cast<std::ptrdiff_t>(i))->pixels == (*screens)[i];
    }
    std::printf("  played: %s, %zu screens, every one as encoded: %s; %zu changes of the lines\n",
                stop == calc::Stop::WaitingForKey ? "to its end" : calculator.fault().c_str(), count,
                same ? "yes" : "NO", edges.size());
    if (count < 2) {
        return 1;
    }
    const std::uint64_t start = first->tstates * calc::ClockPerTState;
    const double played = static_cast<double>((first + static_cast<std::ptrdiff_t>(count - 1))->tstates -
                                              first->tstates) / static_cast<double>(calc::CpuHz);
    std::printf("  rate kept: %.3f frames a second\n", static_cast<double>(count - 1) / played);

    // The sound against its source, and behind the picture, over ten
    // seconds at the start, the middle and the end.
    const auto decoded = sound::decodeSound(soundStream, &error);
    if (!decoded) {
        std::fprintf(stderr, "%s: %s\n", Who, error.c_str());
        return 1;
    }
    // Each pulse's length against the reference decoder's.
    {
        std::size_t exact = 0;
        std::size_t within = 0;
        std::size_t compared = 0;
        const auto step = static_cast<std::int64_t>(calc::ClockHz / static_cast<std::uint64_t>(decoded->clockHz));
        for (std::size_t i = 0; i + 1 < std::min(edges.size(), decoded->edges.size()); i += 2, ++compared) {
            const auto length = static_cast<std::int64_t>(edges[i + 1].clock - edges[i].clock) / step;
            const auto wanted = static_cast<std::int64_t>(decoded->edges[i + 1].clock - decoded->edges[i].clock);
            exact += length == wanted ? 1 : 0;
            within += std::abs(length - wanted) <= 23 ? 1 : 0;
        }
        std::printf("  pulses: %zu, %.1f %% as long as the reference decoder's, %.1f %% within 23 T-states\n", compared,
                    compared ? 100.0 * static_cast<double>(exact) / static_cast<double>(compared) : 0.0,
                    compared ? 100.0 * static_cast<double>(within) / static_cast<double>(compared) : 0.0);
    }
    const double total = frames / target.framesPerSecond;
    const double span = std::min(10.0, total / 3.0);
    const char* where[] = {"start", "middle", "end"};
    const double at[] = {0.0, (total - span) / 2.0, total - span - 0.5};
    for (int w = 0; w < 3; ++w) {
        const double from = std::max(0.0, at[w]);
        // The picture's own time there: the frame due at `from` and when it
        // was shown.
        const auto frame = std::min(count - 1, static_cast<std::size_t>(from * target.framesPerSecond));
        const double pictureLate = static_cast<double>((first + static_cast<std::ptrdiff_t>(frame))->tstates -
                                                       first->tstates) / static_cast<double>(calc::CpuHz) -
                                   static_cast<double>(frame) / target.framesPerSecond;
        const auto sourceFrom = static_cast<std::size_t>(from * sound::InputRate);
        const std::span<const float> source(music.data() + sourceFrom,
                                            std::min(music.size() - sourceFrom,
                                                     static_cast<std::size_t>(span * sound::InputRate)));
        const std::vector<float> heard =
            heardFrom(edges, start + static_cast<std::uint64_t>(from * calc::ClockHz), span);
        const media::SoundQuality quality = media::measureSound(source, sound::InputRate, heard);
        // The same part as the reference decoder plays it.
        const auto clockHz = static_cast<std::uint64_t>(decoded->clockHz);
        const media::SoundQuality reference = media::measureSound(
            source, sound::InputRate,
            heardFrom(decoded->edges, static_cast<std::uint64_t>(from * static_cast<double>(clockHz)), span, clockHz));
        // The reference's edges each 0 to 23 T-states late at random, as an
        // interrupt waits for the instruction in progress.
        std::vector<LineEdge> jittered = decoded->edges;
        std::mt19937 late(7);
        for (LineEdge& edge : jittered) {
            edge.clock += late() % 24;
        }
        for (std::size_t i = 1; i < jittered.size(); ++i) {
            jittered[i].clock = std::max(jittered[i].clock, jittered[i - 1].clock);
        }
        const media::SoundQuality jitter = media::measureSound(
            source, sound::InputRate,
            heardFrom(jittered, static_cast<std::uint64_t>(from * static_cast<double>(clockHz)), span, clockHz));
        std::printf("  %-6s (%.1f s): segmental SNR %.2f dB (%.2f over the band; the reference decoder's %.2f, "
                    "%.2f with its edges 0-23 T-states late); the sound %.1f ms behind the picture\n",
                    where[w], from, quality.segmentalSnr, quality.snr, reference.segmentalSnr, jitter.segmentalSnr,
                    1000.0 * (quality.delaySeconds - pictureLate));
    }
    const double emulated = static_cast<double>(shown.back().tstates) / static_cast<double>(calc::CpuHz);
    std::printf("  emulation: %.1f s of calculator time in %.1f s, %.0f times real time\n", emulated, wall,
                wall > 0 ? emulated / wall : 0.0);
    return same ? 0 : 1;
}
