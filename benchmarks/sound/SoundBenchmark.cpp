// The sound stream's figures. For three sounds made here (a sine sweep, a
// music-like mix, speech-like bursts) and a sound file when one is given, at
// each level: bytes a second, the segmental SNR of what the reference
// decoder plays (its writes of the lines rendered band-limited at 64 kHz)
// against the source, as media/SoundQuality.h measures it, and the
// encoder's speed. Then the level that the whole shared video (3:39, its
// dense stream at 14.75 frames a second taking --video-bytes) leaves room
// for beside it in the empty archive of each model with crystal timers,
// and the SNR there.
//
// Target: at least 10 dB on each sound at the TI-84 Plus's level.
// Usage: sound_benchmark [--seconds S] [--levels 0,2,...] [--video-bytes N] [sound file]
#include "codec/sound/SoundDecoder.h"
#include "codec/sound/SoundEncoder.h"
#include "media/SoundImport.h"
#include "media/SoundQuality.h"
#include "program/ArchiveVideo.h"
#include "support/Sounds.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStringList>

#include <chrono>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

using namespace zoetra;

namespace {

constexpr int MadeRate = 44100;
constexpr double SnrTarget = 10.0;
// The shared video: 6,562 screens at 30 a second; its dense stream at 14.75
// frames a second for the 15 MHz models (docs/benchmarks.md).
constexpr double SharedVideoSeconds = 6562.0 / 30.0;
constexpr long long SharedVideoBytes = 145'178;

struct Source {
    std::string name;
    std::vector<float> samples;
    int rate = 0;
};

struct Figures {
    double bytesPerSecond = 0.0;
    media::SoundQuality quality;
    double encodeSpeed = 0.0;  // seconds of sound a second
};

Figures measure(const Source& source, const sound::SoundLevel& level)
{
    const std::vector<float> input = media::resampleSound(source.samples, source.rate, sound::InputRate);
    const auto start = std::chrono::steady_clock::now();
    const std::vector<std::uint8_t> stream = sound::encodeSound(input, level);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::string error;
    const std::optional<sound::DecodedSound> decoded = sound::decodeSound(stream, &error);
    Figures figures;
    if (!decoded) {
        std::fprintf(stderr, "sound_benchmark: the stream does not decode: %s\n", error.c_str());
        return figures;
    }
    const double duration = static_cast<double>(source.samples.size()) / source.rate;
    const std::vector<float> heard = media::measuredLines(
        decoded->edges, static_cast<std::uint64_t>(decoded->clockHz),
        static_cast<std::size_t>(duration * media::MeasureRenderRate));
    figures.bytesPerSecond = static_cast<double>(stream.size()) / duration;
    figures.quality = media::measureSound(source.samples, source.rate, heard);
    figures.encodeSpeed = seconds > 0.0 ? duration / seconds : 0.0;
    return figures;
}

// The archive's AppVars beside the video's: the sound's stream in AppVars
// of its own, of the same size.
std::optional<sound::SoundLevel> levelBeside(CalculatorModel model, long long videoBytes, double seconds)
{
    const int appVars = archive::appVarsInArchive(archive::emptyArchiveBytes(model), archive::LongestAppVarName);
    const int videoAppVars = archive::appVarCount(static_cast<std::size_t>(videoBytes + 1));
    const long long room = static_cast<long long>(appVars - videoAppVars) * archive::StreamBytesPerAppVar;
    return sound::bestLevel(room, static_cast<long long>(seconds * sound::InputRate));
}

std::string levelName(const sound::SoundLevel& level)
{
    char text[64];
    std::snprintf(text, sizeof text, "%5.0f Hz %d-bit", level.samplesPerSecond(), level.bits);
    return text;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    double seconds = 30.0;
    long long videoBytes = SharedVideoBytes;
    std::vector<int> levels;
    QString file;
    const QStringList args = app.arguments().mid(1);
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--seconds") && i + 1 < args.size()) {
            seconds = args[++i].toDouble();
        } else if (args[i] == QLatin1String("--video-bytes") && i + 1 < args.size()) {
            videoBytes = args[++i].toLongLong();
        } else if (args[i] == QLatin1String("--levels") && i + 1 < args.size()) {
            for (const QString& n : args[++i].split(QLatin1Char(','))) {
                levels.push_back(n.toInt());
            }
        } else {
            file = args[i];
        }
    }
    if (levels.empty()) {
        for (int i = 0; i < static_cast<int>(sound::Levels.size()); ++i) {
            levels.push_back(i);
        }
    }

    std::vector<Source> sources{
        {"sine sweep", test::sineSweep(MadeRate, seconds), MadeRate},
        {"music-like", test::musicLike(MadeRate, seconds), MadeRate},
        {"speech-like", test::speechLike(MadeRate, seconds), MadeRate},
    };
    if (!file.isEmpty()) {
        const media::SoundRead read = media::readSound(file, MadeRate, media::SoundSpan{0.0, seconds, std::nullopt});
        if (read.status != media::SoundRead::Status::Read) {
            std::fprintf(stderr, "sound_benchmark: %s\n", qPrintable(read.message));
            return 1;
        }
        sources.push_back({QFileInfo(file).fileName().toStdString(), read.sound.samples, MadeRate});
    }

    const std::optional<sound::SoundLevel> ti84 =
        levelBeside(CalculatorModel::Ti84Plus, videoBytes, SharedVideoSeconds);
    std::printf("%.0f seconds of each sound; segmental SNR in dB (SNR over the whole band in brackets)\n\n", seconds);
    std::printf("| level | bytes/s |");
    for (const Source& source : sources) {
        std::printf(" %s |", source.name.c_str());
    }
    std::printf(" encoding |\n|---|---|");
    for (std::size_t i = 0; i <= sources.size(); ++i) {
        std::printf("---|");
    }
    std::printf("\n");
    std::map<int, std::vector<Figures>> all;
    for (const int index : levels) {
        if (index < 0 || index >= static_cast<int>(sound::Levels.size())) {
            continue;
        }
        const sound::SoundLevel& level = sound::Levels[static_cast<std::size_t>(index)];
        std::printf("| %d: %s%s | %.0f |", index, levelName(level).c_str(), ti84 && *ti84 == level ? " (TI-84 Plus)" : "",
                    level.bytesPerSecond());
        double slowest = 1e300;
        for (const Source& source : sources) {
            const Figures f = measure(source, level);
            all[index].push_back(f);
            std::printf(" %.2f (%.2f) |", f.quality.segmentalSnr, f.quality.snr);
            std::fflush(stdout);
            slowest = std::min(slowest, f.encodeSpeed);
        }
        std::printf(" %.1fx real time |\n", slowest);
    }

    std::printf("\nBeside the whole shared video (%.1f s, its stream %lld bytes) in the empty archive:\n",
                SharedVideoSeconds, videoBytes);
    bool met = true;
    for (const ModelFacts& facts : Models) {
        if (!facts.crystal) {
            continue;  // no crystal timers: no sound
        }
        const CalculatorModel model = facts.model;
        const std::optional<sound::SoundLevel> level = levelBeside(model, videoBytes, SharedVideoSeconds);
        if (!level) {
            std::printf("  %s: no room for sound\n", std::string(modelFacts(model).name).c_str());
            met = met && model != CalculatorModel::Ti84Plus;
            continue;
        }
        const long long bytes =
            sound::streamBytes(*level, sound::samplesFor(*level, static_cast<long long>(SharedVideoSeconds * sound::InputRate)));
        std::printf("  %s: %s, %lld bytes of sound\n", std::string(modelFacts(model).name).c_str(),
                    levelName(*level).c_str(), bytes);
    }
    if (ti84) {
        for (std::size_t i = 0; i < sound::Levels.size(); ++i) {
            if (sound::Levels[i] == *ti84 && all.count(static_cast<int>(i))) {
                for (std::size_t s = 0; s < sources.size(); ++s) {
                    const double snr = all[static_cast<int>(i)][s].quality.segmentalSnr;
                    met = met && snr >= SnrTarget;
                    std::printf("  TI-84 Plus, %s: %.2f dB\n", sources[s].name.c_str(), snr);
                }
            }
        }
    }
    std::printf("\nTarget (at least %.0f dB on each sound at the TI-84 Plus's level): %s\n", SnrTarget, met ? "met" : "NOT met");
    return 0;
}
