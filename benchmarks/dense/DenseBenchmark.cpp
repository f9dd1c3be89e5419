// The dense stream's figures: on the shared long video (every second screen
// at 14.75 frames a second on the 6 MHz TI-83 Plus, every screen at 29.5 on
// the 15 MHz models) its bytes against the compact stream's, the player's
// schedule (the tightest moment of the ring, the worst frame against its
// budget) and the encoding speed; on the drawn clips of the compact benchmark
// and the bundled sample its bytes against compact's; the decoder's RAM.
//
// Targets: the shared video in at most 150,000 bytes at 14.75 frames a
// second with the ring never running dry, at least 2,000 frames encoded a
// second, never more bytes than compact on a clip.
// Usage: dense_benchmark [folder of the shared media]
#include "SharedVideo.h"
#include "convert/CompactEncoder.h"
#include "convert/DenseDecoder.h"
#include "convert/DenseEncoder.h"
#include "convert/VideoEncoder.h"
#include "convert/WrittenEncoder.h"
#include "imaging/Conversion.h"
#include "imaging/FrameFolder.h"
#include "platform/ImagePictureArea.h"
#include "platform/MemoryWindowLayer.h"
#include "platform/Platform.h"
#include "platform/QtBuildLauncher.h"
#include "platform/QtFileSystem.h"
#include "platform/QtPictureLoader.h"
#include "platform/UniformRandom.h"
#include "shared/Vars.h"
#include "support/Clips.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

using namespace zoetra;

namespace {

constexpr int ByteTarget = 150'000;
constexpr double SpeedTarget = 2'000.0;

class QuietWindow final : public MemoryWindowLayer {
public:
    void yieldToEvents() override {}
};

int compactBytes(const std::vector<Screen>& screens)
{
    compact::CompactEncoder encoder;
    for (const Screen& screen : screens) {
        encoder.addFrame(screen);
    }
    encoder.finish();
    return static_cast<int>(encoder.bytes().size());
}

struct DenseRun {
    int bytes = 0;
    double seconds = 0.0;
    int rawFrames = 0;
    int halvesFrames = 0;
    int worstFrame = 0;
    int worstFrameAt = 0;
    double meanFrame = 0.0;
    double meanPixels = 0.0;
    bool sameScreens = false;
    std::vector<dense::Work> work;
    std::vector<int> tStates;  // each frame's
};

DenseRun runDense(const std::vector<Screen>& screens, const dense::DenseTiming& timing, int halvesAbove = -1,
                  int ringFrames = dense::DefaultRingFrames)
{
    DenseRun run;
    dense::DenseEncoder encoder(timing, halvesAbove, ringFrames);
    const auto start = std::chrono::steady_clock::now();
    for (const Screen& screen : screens) {
        encoder.addFrame(screen);
    }
    encoder.finish();
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.bytes = static_cast<int>(encoder.bytes().size());
    run.rawFrames = encoder.rawFrames();
    run.halvesFrames = encoder.halvesFrames();
    std::string error;
    const auto decoded = dense::decodeDenseVideo(encoder.bytes(), &error);
    if (!decoded) {
        std::fprintf(stderr, "dense_benchmark: the reference decoder failed: %s\n", error.c_str());
        return run;
    }
    run.sameScreens = decoded->frames == screens;
    run.work = decoded->work;
    run.tStates = decoded->tStates;
    double sum = 0.0;
    for (std::size_t i = 0; i < decoded->tStates.size(); ++i) {
        sum += decoded->tStates[i];
        if (decoded->tStates[i] > run.worstFrame) {
            run.worstFrame = decoded->tStates[i];
            run.worstFrameAt = static_cast<int>(i);
        }
    }
    run.meanFrame = decoded->tStates.empty() ? 0.0 : sum / static_cast<double>(decoded->tStates.size());
    double pixels = 0.0;
    for (const int p : decoded->pixels) {
        pixels += p;
    }
    run.meanPixels = decoded->pixels.empty() ? 0.0 : pixels / static_cast<double>(decoded->pixels.size());
    return run;
}

// Prints one pace's figures; true when its targets are met.
bool reportPace(const char* title, const std::vector<Screen>& screens, const dense::DenseTiming& timing, bool slow)
{
    const DenseRun run = runDense(screens, timing);
    const int compact = compactBytes(screens);
    const double frameBudget = timing.decodeTicksPerFrame() * timing.pieceBudget();
    std::printf("\n%s: %zu frames, %.2f frames a second, %.0f MHz, a tick %d T-states, a piece at most %d\n", title,
                screens.size(), timing.framesPerSecond, timing.cpuHz / 1e6, timing.tickTStates(),
                timing.pieceBudget());
    std::printf("  dense %d bytes (%d frames raw, %d in halves), compact %d bytes; same screens as given: %s\n",
                run.bytes, run.rawFrames, run.halvesFrames, compact, run.sameScreens ? "yes" : "NO");
    std::printf("  encoding: %.3f s, %.0f frames a second\n", run.seconds,
                static_cast<double>(screens.size()) / run.seconds);
    std::printf("  decoding: mean %.0f T-states a frame, worst %d (frame %d) against a budget of %.0f a frame "
                "(%.2f ticks of decoding)\n",
                run.meanFrame, run.worstFrame, run.worstFrameAt, frameBudget, timing.decodeTicksPerFrame());
    // What a pixel may cost the decoder (context and decision on the fast
    // path) for the mean frame to fit its time, the rest staying as counted.
    const double perPixel = dense::cost::PixelContext + dense::cost::Decision;
    const double breakEven = perPixel + (frameBudget - run.meanFrame) / run.meanPixels;
    std::printf("  %.0f pixels decoded a frame on average; a pixel's fast path counts %.0f T-states, the mean frame "
                "fits its time up to %.0f\n",
                run.meanPixels, perPixel, breakEven);
    for (const auto& [name, above] : {std::pair{"never", std::numeric_limits<int>::max()}, std::pair{"always", 0}}) {
        const DenseRun other = runDense(screens, timing, above, 0);
        const dense::PacingReport pacing =
            dense::simulatePacing(other.work, static_cast<int>(screens.size()), timing, dense::DefaultRingFrames);
        std::printf("  halves %s: %d bytes, mean %.0f T-states a frame; ring of %d: %s\n", name, other.bytes,
                    other.meanFrame, dense::DefaultRingFrames, pacing.describe().c_str());
        // The most work beyond the frames' time over any stretch: what
        // decoding ahead would have to absorb for no frame to go raw.
        double excess = 0.0;
        double most = 0.0;
        int from = 0;
        int mostFrom = 0;
        int mostTo = 0;
        for (std::size_t i = 0; i < other.tStates.size(); ++i) {
            if (excess <= 0.0) {
                excess = 0.0;
                from = static_cast<int>(i);
            }
            excess += other.tStates[i] - frameBudget;
            if (excess > most) {
                most = excess;
                mostFrom = from;
                mostTo = static_cast<int>(i);
            }
        }
        std::printf("    decoding ahead it needs: %.0f T-states beyond the frames' time (%.1f frames' time), "
                    "frames %d to %d\n",
                    most, most / frameBudget, mostFrom, mostTo);
    }
    {
        const DenseRun free = runDense(screens, timing, -1, 0);
        std::printf("  not keeping pace (no frame raw for time): %d bytes, mean %.0f T-states a frame;", free.bytes,
                    free.meanFrame);
        for (const int ring : {4, 8, 16}) {
            const dense::PacingReport pacing =
                dense::simulatePacing(free.work, static_cast<int>(screens.size()), timing, ring);
            std::printf(" ring of %d: %s;", ring,
                        pacing.keepsUp ? "keeps up" : ("frame " + std::to_string(pacing.lateFrame) + " late").c_str());
        }
        std::printf("\n");
    }
    bool keepsUp = false;
    for (const int ring : {2, 3, 4, 6, 8, 12, 16, 24, 32}) {
        const dense::PacingReport pacing =
            dense::simulatePacing(run.work, static_cast<int>(screens.size()), timing, ring);
        std::printf("  ring of %d frames: %s\n", ring, pacing.describe().c_str());
        if (ring == dense::DefaultRingFrames) {
            keepsUp = pacing.keepsUp;
        }
    }
    const double speed = static_cast<double>(screens.size()) / run.seconds;
    bool met = run.sameScreens && keepsUp;
    if (slow) {
        met = met && run.bytes <= ByteTarget && speed >= SpeedTarget;
        std::printf("  targets: at most %d bytes, the ring of %d never dry, %.0f frames a second encoded: %s\n",
                    ByteTarget, dense::DefaultRingFrames, SpeedTarget, met ? "met" : "MISSED");
    } else {
        std::printf("  keeps up with a ring of %d: %s\n", dense::DefaultRingFrames, keepsUp ? "yes" : "NO");
    }
    return met;
}

// The screens the written conversion decides for a clip, with the settings of
// the compact benchmark.
std::vector<Screen> convertedScreens(const std::vector<QImage>& frames)
{
    QuietWindow window;
    QtFileSystem files;
    QtPictureLoader pictures;
    QtBuildLauncher launcher(QDir::tempPath());
    UniformRandom random;
    Platform platform{window, files, pictures, launcher, random, QDir::tempPath()};
    auto vars = std::make_unique<Vars>();
    vars->BlackThreshold = 85;
    vars->WhiteThreshold = 170;
    vars->DitherOn = true;
    vars->ColourChannel = 1;
    MemoryPictureArea picture;
    written::WrittenEncoder encoder;
    for (std::size_t f = 0; f < frames.size(); ++f) {
        picture.setPicture(frames[f]);
        ConvertToMono(*vars, picture, window.quickPrevArea);
        PackFrame(*vars);
        if (f == 0) {
            StartVideoStream(*vars, encoder);
        } else {
            EncodeDeltaFrame(*vars, platform, static_cast<int>(f), encoder, 1 << 30);
        }
    }
    EndVideoStream(*vars, encoder);
    return written::decodeWrittenVideo(encoder.bytes()).value_or(DecodedVideo{}).frames;
}

}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc > 2) {
        std::fprintf(stderr, "usage: dense_benchmark [folder of the shared media]\n");
        return 2;
    }
    const QString media = argc == 2 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(ZOETRA_SHARED_MEDIA);
    const QString videoPath = QDir(media).filePath(QStringLiteral("bad-apple-96x64-30fps.screens.xz"));
    bool met = true;

    if (const auto video = bench::readSharedVideo(videoPath, "dense_benchmark")) {
        std::vector<Screen> half;
        for (std::size_t i = 0; i < video->size(); i += 2) {
            half.push_back((*video)[i]);
        }
        met = reportPace("shared video, every second screen", half, dense::slowTiming(), true) && met;
        reportPace("shared video, every screen", *video, dense::fastTiming(), false);
    } else {
        std::printf("the shared video is not at %s: its figures are skipped\n", qPrintable(videoPath));
    }

    std::printf("\n%-18s %7s %8s %8s %7s %12s %7s\n", "clip", "frames", "compact", "dense", "ratio",
                "not paced", "ratio");
    std::vector<std::pair<QString, std::vector<QImage>>> clips;
    for (const test::ClipKind kind : test::AllClipKinds) {
        const int frames = kind == test::ClipKind::Noise ? 30 : 48;
        clips.emplace_back(test::clipName(kind), test::clipFrames(kind, frames));
    }
    {
        QtFileSystem files;
        QtPictureLoader loader;
        const QString bundled = QStringLiteral(ZOETRA_APP_DIR);
        std::vector<QImage> sample;
        for (const QString& name : listFrameFolder(files, bundled).value_or(QStringList{})) {
            if (const auto image = loader.load(joinPath(bundled, name))) {
                sample.push_back(*image);
            }
        }
        if (!sample.empty()) {
            clips.emplace_back(QStringLiteral("bundled sample"), sample);
        }
    }
    bool neverMore = true;
    for (const auto& [name, frames] : clips) {
        const std::vector<Screen> screens = convertedScreens(frames);
        const int compact = compactBytes(screens);
        const DenseRun run = runDense(screens, dense::slowTiming());
        const DenseRun free = runDense(screens, dense::slowTiming(), -1, 0);
        neverMore = neverMore && run.bytes <= compact && run.sameScreens;
        std::printf("%-18s %7zu %8d %8d %6.1f%% %12d %6.1f%%%s\n", qPrintable(name), screens.size(), compact,
                    run.bytes, 100.0 * run.bytes / compact, free.bytes, 100.0 * free.bytes / compact,
                    run.sameScreens && free.sameScreens ? "" : "  DIFFERENT SCREENS");
    }
    std::printf("never more bytes than compact (keeping pace at 6 MHz with a ring of %d): %s\n",
                dense::DefaultRingFrames, neverMore ? "yes" : "NO");
    met = met && neverMore;

    // The decoder's tables: the contexts, the state changes after an MPS and
    // after an LPS (a page each, indexed by the state byte), the blocks'
    // flags. The ring: two frames in saveSScreen and appBackUpScreen, the
    // rest in the program.
    const int ring = dense::DefaultRingFrames;
    const int tables = dense::ContextCount + 2 * 256 + dense::BlockCount;
    const int ringInProgram = std::max(0, ring - 2) * static_cast<int>(ScreenByteCount);
    std::printf("\ndecoder RAM: %d bytes of tables (at most 8,192) and a ring of %d frames (%d bytes in the program): "
                "%d bytes in all beyond the decoder's code\n",
                tables, ring, ringInProgram, tables + ringInProgram);
    std::printf("\n%s\n", met ? "all targets met" : "TARGETS MISSED");
    return met ? 0 : 1;
}
