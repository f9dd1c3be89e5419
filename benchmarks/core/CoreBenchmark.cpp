// The core pipeline's speed: ConvertToMono + PackFrame + the encoder over the
// 48-frame sample repeated to 500 frames, with in-memory picture areas and a
// yield that returns at once. Prints frames per second.
// Usage: core_benchmark [--compact] [FOLDER]  (--compact: the compact stream)
#include "codec/Codec.h"
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
#include "shared/Vars.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

using namespace zoetra;

namespace {

// A window layer whose yield returns at once and whose calls cost nothing.
class QuietWindow final : public MemoryWindowLayer {
public:
    void yieldToEvents() override {}
};

}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool compactVideo = args.removeAll(QStringLiteral("--compact")) > 0;
    const QString folder = args.isEmpty() ? QStringLiteral(ZOETRA_APP_DIR) : args.first();
    const std::unique_ptr<StreamEncoder> encoder =
        codecFor(compactVideo ? StreamFormat::Compact : StreamFormat::Written).makeEncoder();
    constexpr int frameCount = 500;
    constexpr int rounds = 7;

    QtFileSystem files;
    QtPictureLoader loader;
    const QStringList names = listFrameFolder(files, folder).value_or(QStringList{});
    std::vector<std::unique_ptr<MemoryPictureArea>> pictures;
    for (const QString& name : names) {
        if (auto image = loader.load(joinPath(folder, name))) {
            pictures.push_back(std::make_unique<MemoryPictureArea>());
            pictures.back()->setPicture(*image);
        }
    }
    if (pictures.empty()) {
        std::fprintf(stderr, "core_benchmark: no frames in %s\n", qPrintable(folder));
        return 1;
    }

    QuietWindow window;
    QtBuildLauncher builds(folder);
    UniformRandom random;
    Platform platform{window, files, loader, builds, random, folder};
    auto vars = std::make_unique<Vars>();
    vars->BlackThreshold = 85;
    vars->WhiteThreshold = 170;
    vars->DitherOn = true;
    vars->ColourChannel = 1;

    double best = 0.0;
    long long bytes = 0;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer clock;
        clock.start();
        int streamFrame = 0;
        for (int f = 0; f < frameCount; ++f) {
            ConvertToMono(*vars, *pictures[static_cast<std::size_t>(f) % pictures.size()], window.quickPrevArea);
            PackFrame(*vars);
            if (streamFrame == 0) {
                vars->ByteCount = 0;
                StartVideoStream(*vars, *encoder);
            } else if (EncodeDeltaFrame(*vars, platform, streamFrame, *encoder, RamVideoLimit).overLimit) {
                streamFrame = -1;  // as a new run would, start another stream
            }
            ++streamFrame;
        }
        const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        best = std::max(best, frameCount / seconds);
        bytes = vars->ByteCount;
    }
    std::printf("core pipeline%s: %d frames (%lld sample frames repeated), best of %d rounds: %.0f frames/s\n",
                compactVideo ? ", compact video" : "", frameCount, static_cast<long long>(pictures.size()), rounds,
                best);
    std::printf("stream bytes at the end of the last round: %lld\n", bytes);
    return 0;
}
