// The dense stream's figures: on the shared long video (every second screen
// at 14.75 frames a second on the 6 MHz TI-83 Plus and on the 15 MHz models,
// every screen at 29.5 on the 15 MHz models) its bytes against the compact
// stream's (and how many of them lie in frames with raw rows, compact
// frames, raw frames and coded ones), the player's schedule (the tightest
// moment) with the archive's ring and with the ring of a video in RAM, what
// decoding ahead a fully coded video would need, and the encoding speed; on
// the drawn clips of the compact benchmark and the bundled sample its bytes
// against compact's; then the table: every clip (two more drawn as screens,
// a pattern moving down a row a frame and the screen flashing black and
// white) and the shared video at 14.75, 20, 25, 29.5 and 30 frames a second
// on the TI-83 Plus and the TI-84 Plus, in RAM and in the archive: compact's
// bytes, dense's, its late frames once and looping, and what a conversion
// sends once and looping (DenseDelivery); the decoder's RAM.
//
// Targets: the shared video in at most 150,000 bytes at 14.75 frames a
// second on the TI-83 Plus with no frame late, at least 2,000 frames encoded
// a second, and in the table what goes out never more bytes than compact.
// Usage: dense_benchmark [--table] [folder of the shared media]
// (--table: the table alone)
#include "SharedVideo.h"
#include "codec/compact/CompactEncoder.h"
#include "codec/dense/DenseDecoder.h"
#include "codec/dense/DenseDelivery.h"
#include "codec/dense/DenseEncoder.h"
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
#include "program/PlayerTarget.h"
#include "shared/Vars.h"
#include "support/Clips.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <tuple>
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
    int compactFrames = 0;
    int rawRowFrames = 0;
    int copyRowFrames = 0;
    int keptRowFrames = 0;
    int solidBlockFrames = 0;
    double rawBytes = 0.0;           // in raw frames
    double compactFrameBytes = 0.0;  // in compact frames
    double rawRowBytes = 0.0;        // in frames with raw rows
    double codedBytes = 0.0;         // in the others
    int worstFrame = 0;
    int worstFrameAt = 0;
    double meanFrame = 0.0;
    double meanPixels = 0.0;
    bool sameScreens = false;
    dense::PacingReport pacing;
    std::vector<int> tStates;  // each frame's
    std::vector<std::vector<int>> records;  // each frame's blocks' record bytes
    std::vector<bool> whole;                // frames whose record is the whole screen (raw, compact)
};

DenseRun runDense(const std::vector<Screen>& screens, std::optional<dense::DenseTiming> timing,
                  int ringBytes = dense::RingBytes)
{
    DenseRun run;
    dense::DenseEncoder encoder(timing, ringBytes);
    const auto start = std::chrono::steady_clock::now();
    for (const Screen& screen : screens) {
        encoder.addFrame(screen);
    }
    encoder.finish();
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.bytes = static_cast<int>(encoder.bytes().size());
    run.rawFrames = encoder.rawFrames();
    run.compactFrames = encoder.compactFrames();
    run.rawRowFrames = encoder.rawRowFrames();
    run.copyRowFrames = encoder.copyRowFrames();
    run.keptRowFrames = encoder.keptRowFrames();
    run.solidBlockFrames = encoder.solidBlockFrames();
    run.pacing = encoder.pacing();
    std::string error;
    const auto decoded = dense::decodeDenseVideo(encoder.bytes(), &error);
    if (!decoded) {
        std::fprintf(stderr, "dense_benchmark: the reference decoder failed: %s\n", error.c_str());
        return run;
    }
    run.sameScreens = decoded->frames == screens;
    for (std::size_t i = 0; i < decoded->ends.size(); ++i) {
        const auto bytes = static_cast<double>(decoded->ends[i] - (i == 0 ? 0 : decoded->ends[i - 1]));
        (decoded->raw[i]           ? run.rawBytes
             : decoded->compact[i] ? run.compactFrameBytes
             : decoded->rawRows[i] ? run.rawRowBytes
                                   : run.codedBytes) += bytes;
    }
    run.tStates = decoded->tStates;
    for (std::size_t i = 0; i < decoded->frames.size(); ++i) {
        const Screen before = i > 0 ? decoded->frames[i - 1] : Screen{};
        run.whole.push_back(decoded->raw[i] || decoded->compact[i]);
        run.records.push_back(dense::blockRecordBytes(before, decoded->frames[i]));
    }
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

// Prints one pace's figures, for a player whose video is in the archive (a
// whole video does not fit the RAM); true when its targets are met.
bool reportPace(const char* title, const std::vector<Screen>& screens, const dense::DenseTiming& timing, bool slow)
{
    const dense::DenseTiming archived = dense::archiveTiming(timing);
    const DenseRun run = runDense(screens, archived, dense::ArchiveRingBytes);
    const int compact = compactBytes(screens);
    const double frameBudget = timing.decodeTStatesPerFrame();
    std::printf("\n%s: %zu frames, %.2f frames a second, %.0f MHz, %.0f T-states of decoding a frame\n", title,
                screens.size(), timing.framesPerSecond, timing.cpuHz / 1e6, frameBudget);
    std::printf("  dense %d bytes (%d frames with copied rows, %d of them with kept rows, %d with solid blocks, %d "
                "with raw rows, %d compact, %d raw), compact %d bytes; same screens as given: %s\n",
                run.bytes, run.copyRowFrames, run.keptRowFrames, run.solidBlockFrames, run.rawRowFrames,
                run.compactFrames, run.rawFrames, compact, run.sameScreens ? "yes" : "NO");
    std::printf("  of them in frames with raw rows %.0f, compact %.0f, raw %.0f, coded %.0f\n", run.rawRowBytes,
                run.compactFrameBytes, run.rawBytes, run.codedBytes);
    std::printf("  encoding: %.3f s, %.0f frames a second\n", run.seconds,
                static_cast<double>(screens.size()) / run.seconds);
    std::printf("  decoding: mean %.0f T-states a frame, worst %d (frame %d); %.0f pixels decided one by one a "
                "frame\n",
                run.meanFrame, run.worstFrame, run.worstFrameAt, run.meanPixels);
    std::printf("  the player's schedule (a ring of %d bytes): %s\n", dense::ArchiveRingBytes,
                run.pacing.describe().c_str());
    if (slow) {
        // The same with the ring of a player whose video is in RAM.
        const DenseRun small = runDense(screens, timing, dense::RingBytes);
        std::printf("  with the ring of a video in RAM (%d bytes): %d bytes (%d frames with raw rows); %s\n",
                    dense::RingBytes, small.bytes, small.rawRowFrames, small.pacing.describe().c_str());
    }

    const DenseRun free = runDense(screens, std::nullopt);
    std::printf("  not keeping pace (the fewest bytes): %d bytes (%d frames with copied rows, %d with raw rows, %d "
                "raw), mean %.0f T-states a frame\n",
                free.bytes, free.copyRowFrames, free.rawRowFrames, free.rawFrames, free.meanFrame);
    // The most work beyond the frames' time over any stretch: what decoding
    // ahead would have to absorb for nothing to be sent raw for time.
    double excess = 0.0;
    double most = 0.0;
    int from = 0;
    int mostFrom = 0;
    int mostTo = 0;
    for (std::size_t i = 0; i < free.tStates.size(); ++i) {
        if (excess <= 0.0) {
            excess = 0.0;
            from = static_cast<int>(i);
        }
        excess += free.tStates[i] -
            (frameBudget - (free.whole[i] ? timing.screenShowTStates() : timing.showTStates(free.records[i])));
        if (excess > most) {
            most = excess;
            mostFrom = from;
            mostTo = static_cast<int>(i);
        }
    }
    std::printf("    decoding ahead it would need: %.0f T-states beyond the frames' time (%.1f frames' time), "
                "frames %d to %d\n",
                most, most / frameBudget, mostFrom, mostTo);

    const double speed = static_cast<double>(screens.size()) / run.seconds;
    bool met = run.sameScreens && run.pacing.keepsUp;
    if (slow) {
        met = met && run.bytes <= ByteTarget && speed >= SpeedTarget;
        std::printf("  targets: at most %d bytes, no frame late, %.0f frames a second encoded: %s\n", ByteTarget,
                    SpeedTarget, met ? "met" : "MISSED");
    } else {
        std::printf("  keeps up: %s\n", run.pacing.keepsUp ? "yes" : "NO");
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

// Two clips drawn as screens: a pattern of stripes moving down a row a
// frame, and the whole screen flashing black and white.
std::vector<Screen> rowPan(int frames)
{
    std::vector<Screen> screens(static_cast<std::size_t>(frames));
    for (int f = 0; f < frames; ++f) {
        for (int y = 0; y < dense::Rows; ++y) {
            const int band = (y + 64 - f % 64) % 16;
            for (int column = 0; column < dense::BytesPerRow; ++column) {
                screens[static_cast<std::size_t>(f)][static_cast<std::size_t>(y * dense::BytesPerRow + column)] =
                    band < 3 ? 0xFF : band < 6 ? 0xAA : 0x00;
            }
        }
    }
    return screens;
}

std::vector<Screen> flashing(int frames)
{
    std::vector<Screen> screens(static_cast<std::size_t>(frames));
    for (int f = 0; f < frames; ++f) {
        screens[static_cast<std::size_t>(f)].fill(f % 2 == 0 ? 0xFF : 0x00);
    }
    return screens;
}

// One clip's bytes at one target: compact's, dense's, the dense player's
// late frames (played once, and looping in its second and third rounds),
// and what a conversion delivers (DenseDelivery, looping or not).
struct TableCell {
    int compact = 0;
    int dense = 0;
    int late = 0;
    int roundLate = 0;
    int sent = 0;
    bool sentCompact = false;
    int sentLooping = 0;
    bool sentLoopingCompact = false;
    bool sentLoopingFastKey = false;
};

TableCell tableCell(const std::vector<Screen>& screens, VideoTarget target)
{
    TableCell cell;
    target.format = StreamFormat::Dense;
    const ResolvedTarget resolved = resolveTarget(target);
    // No limit here: the bytes are what is compared.
    ResolvedTarget unlimited = resolved;
    unlimited.sizeLimit = std::numeric_limits<int>::max();
    const auto once = deliveryEncoder(unlimited, false);
    const auto looping = deliveryEncoder(unlimited, true);
    for (const Screen& screen : screens) {
        once->addFrame(screen);
        looping->addFrame(screen);
    }
    once->finish();
    looping->finish();
    const auto outcome = dynamic_cast<const dense::DenseDelivery&>(*once).outcome();
    cell.compact = outcome.compactBytes;
    cell.dense = outcome.denseBytes;
    cell.late = outcome.lateFrames;
    cell.roundLate = outcome.roundLateFrames;
    cell.sent = once->size();
    cell.sentCompact = outcome.format == StreamFormat::Compact;
    cell.sentLooping = looping->size();
    const auto loopingOutcome = dynamic_cast<const dense::DenseDelivery&>(*looping).outcome();
    cell.sentLoopingCompact = loopingOutcome.format == StreamFormat::Compact;
    cell.sentLoopingFastKey = loopingOutcome.fastKeyFrame;
    return cell;
}

// Every clip at every rate on the TI-83 Plus and the TI-84 Plus, in RAM and
// in the archive: the bytes of the video data (the size a conversion
// reports) of both streams. True when dense never takes more.
bool reportTable(const std::vector<std::pair<QString, std::vector<Screen>>>& clips, const std::vector<Screen>* video)
{
    constexpr std::array<double, 5> Rates{14.75, 20.0, 25.0, 29.5, 30.0};
    auto all = clips;
    if (video != nullptr) {
        all.emplace_back(QStringLiteral("shared video"), std::vector<Screen>{});
    }
    std::printf("\nbytes of video data: compact / dense (its late frames, and looping those of its second and third "
                "rounds) -> what goes out, once and looping (c: compact, k: the dense stream whose key frame is decoded "
                "soonest)\n");
    std::printf("%-18s %6s", "clip", "rate");
    for (const char* column : {"TI-83 Plus RAM", "TI-83 Plus archive", "TI-84 Plus RAM", "TI-84 Plus archive"}) {
        std::printf(" %40s", column);
    }
    std::printf("\n");
    bool neverMore = true;
    for (const auto& [name, clipScreens] : all) {
        for (const double rate : Rates) {
            // The shared video's screens at the rate: the one due at each frame.
            const std::vector<Screen> screens =
                clipScreens.empty() && video != nullptr ? bench::atRate(*video, rate) : clipScreens;
            std::printf("%-18s %6.2f", qPrintable(name), rate);
            for (const CalculatorModel model : {CalculatorModel::Ti83Plus, CalculatorModel::Ti84Plus}) {
                for (const Storage storage : {Storage::Ram, Storage::Archive}) {
                    VideoTarget target;
                    target.model = model;
                    target.storage = storage;
                    target.framesPerSecond = rate;
                    const TableCell cell = tableCell(screens, target);
                    neverMore = neverMore && cell.sent <= cell.compact && cell.sentLooping <= cell.compact;
                    char text[96];
                    std::snprintf(text, sizeof text, "%d / %d (%d, %d) -> %d%s %d%s", cell.compact, cell.dense,
                                  cell.late, cell.roundLate, cell.sent, cell.sentCompact ? "c" : "", cell.sentLooping,
                                  cell.sentLoopingCompact ? "c" : cell.sentLoopingFastKey ? "k" : "");
                    std::printf(" %40s", text);
                }
            }
            std::printf("\n");
            std::fflush(stdout);
        }
    }
    return neverMore;
}

}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool tableOnly = args.removeAll(QStringLiteral("--table")) > 0;
    if (args.size() > 1) {
        std::fprintf(stderr, "usage: dense_benchmark [--table] [folder of the shared media]\n");
        return 2;
    }
    const QString media = args.size() == 1 ? args.front() : QStringLiteral(ZOETRA_SHARED_MEDIA);
    const QString videoPath = QDir(media).filePath(QStringLiteral("bad-apple-96x64-30fps.screens.xz"));
    bool met = true;

    const auto video = bench::readSharedVideo(videoPath, "dense_benchmark");
    if (video && !tableOnly) {
        std::vector<Screen> half;
        for (std::size_t i = 0; i < video->size(); i += 2) {
            half.push_back((*video)[i]);
        }
        met = reportPace("shared video, every second screen", half, dense::slowTiming(), true) && met;
        VideoTarget ti84;
        ti84.model = CalculatorModel::Ti84Plus;
        reportPace("shared video, every second screen, on the 15 MHz models", half, dense::timingFor(ti84), false);
        reportPace("shared video, every screen", *video, dense::fastTiming(), false);
    } else if (!video) {
        std::printf("the shared video is not at %s: its figures are skipped\n", qPrintable(videoPath));
    }

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
    std::vector<std::pair<QString, std::vector<Screen>>> converted;
    for (const auto& [name, frames] : clips) {
        converted.emplace_back(name, convertedScreens(frames));
    }
    if (!tableOnly) {
        std::printf("\n%-18s %7s %8s %8s %7s %12s %7s\n", "clip", "frames", "compact", "dense", "ratio",
                    "not paced", "ratio");
        for (const auto& [name, screens] : converted) {
            const int compact = compactBytes(screens);
            const DenseRun run = runDense(screens, dense::slowTiming());
            const DenseRun free = runDense(screens, std::nullopt);
            met = met && run.sameScreens && free.sameScreens;
            std::printf("%-18s %7zu %8d %8d %6.1f%% %12d %6.1f%%%s\n", qPrintable(name), screens.size(), compact,
                        run.bytes, 100.0 * run.bytes / compact, free.bytes, 100.0 * free.bytes / compact,
                        run.sameScreens && free.sameScreens ? "" : "  DIFFERENT SCREENS");
        }
    }

    // The table: every clip, the two drawn as screens and the shared video
    // at every rate, on both models and storages.
    converted.emplace_back(QStringLiteral("row pan"), rowPan(48));
    converted.emplace_back(QStringLiteral("flashing"), flashing(48));
    std::vector<std::pair<QString, std::vector<Screen>>> tableClips = converted;
    const bool tableMet = reportTable(tableClips, video ? &*video : nullptr);
    std::printf("what goes out never takes more bytes than compact, at every rate, model and storage: %s\n",
                tableMet ? "yes" : "NO");
    met = met && tableMet;
    if (tableOnly) {
        std::printf("\n%s\n", met ? "all targets met" : "TARGETS MISSED");
        return met ? 0 : 1;
    }

    // The decoder's RAM beyond its code: the contexts' sizes and likely
    // values, the two tables of state changes (by size), the blocks' flags
    // (with a white column and row around them) and the blocks' places on the
    // LCD by the flags' numbers, the packed rows' bytes; its
    // copy of the screen (with a white column either side and a white row
    // above and below), the buffer of a frame's raw rows (plotSScreen), and the room
    // kept for the ring and the timer's vectors.
    const int flags = 13 * 9;
    const int places = 14 + 13 * 8;  // up to the last block's number
    const int tables = 2 * dense::ContextCount + 2 * (dense::LpsSizes[0] + 1) + flags + places +
        static_cast<int>(dense::EdgeBytes.size());
    const int screen = 14 * 66;
    const int rows = dense::ScreenSize;
    for (const auto& [where, ring, room] : {std::tuple{"in RAM", dense::RingBytes, dense::RingRoomBytes},
                                            {"in the archive", dense::ArchiveRingBytes, dense::ArchiveRingRoomBytes}}) {
        std::printf("\ndecoder RAM, a video %s: %d bytes of tables (at most 8,192), %d of its screen, %d of raw "
                    "rows (plotSScreen), %d for a ring of at least %d and the timer's vectors: %d bytes in all",
                    where, tables, screen, rows, room, ring, tables + screen + rows + room);
    }
    std::printf("\n");
    std::printf("\n%s\n", met ? "all targets met" : "TARGETS MISSED");
    return met ? 0 : 1;
}
