#include "convert/ScreenMaker.h"

#include "codec/Codec.h"
#include "convert/VideoEncoder.h"
#include "imaging/Conversion.h"
#include "platform/BuildLauncher.h"
#include "platform/FileSystem.h"
#include "platform/MemoryWindowLayer.h"
#include "platform/PictureLoader.h"
#include "platform/Platform.h"
#include "platform/QtFileSystem.h"
#include "platform/UniformRandom.h"
#include "shared/Vars.h"

namespace zoetra {

namespace {

// The encoder's bundle wants a launcher; nothing is built here.
class NoBuilds final : public BuildLauncher {
public:
    std::unique_ptr<BuildProcess> start(const QString&, const QString&) override { return nullptr; }
};

// Yields, refreshes and displays that cost nothing.
class QuietWindow final : public MemoryWindowLayer {
public:
    void yieldToEvents() override {}
};

// Keeps the screens the thinning decided instead of coding them: the run's
// encoder is handed the very same.
class ScreenRecorder final : public StreamEncoder {
public:
    explicit ScreenRecorder(ShownScreens& screens) : screens_(screens) {}
    void reset() override { screens_.clear(); }
    void addFrame(const Screen& screen) override { screens_.push_back(screen); }
    void finish() override {}
    const std::vector<std::uint8_t>& bytes() const override { return none_; }
    int size() const override { return 0; }
    int firstChangedByte() const override { return 0; }
    int lastFrameTStates() const override { return 0; }

private:
    ShownScreens& screens_;
    std::vector<std::uint8_t> none_;
};

class NoPictures final : public PictureLoader {
public:
    std::optional<QImage> load(const QString&) override { return std::nullopt; }
};

}  // namespace

struct ScreenMaker::State {
    Vars vars;
    std::optional<RunHistory> history;
    QuietWindow window;
    QtFileSystem files;
    NoPictures pictures;
    NoBuilds builds;
    UniformRandom random;
    Platform platform{window, files, pictures, builds, random, QString()};
    ShownScreens screens;
    ScreenRecorder recorder{screens};
    int added = 0;
};

ScreenMaker::ScreenMaker(const Vars& settings, int detailSliderValue) : state_(std::make_unique<State>())
{
    Vars& vars = state_->vars;
    vars.BlackThreshold = settings.BlackThreshold;
    vars.WhiteThreshold = settings.WhiteThreshold;
    vars.DitherOn = settings.DitherOn;
    vars.ColourChannel = settings.ColourChannel;
    vars.Pictures = settings.Pictures;
    // Only the screens are kept: no stream grows in the buffer.
    vars.VideoBytes.clear();
    state_->history.emplace(vars);
    state_->window.detailSlider = detailSliderValue;
}

ScreenMaker::~ScreenMaker() = default;

void ScreenMaker::add(const std::optional<QImage>& picture)
{
    State& s = *state_;
    // A picture that cannot be read keeps the frame before, as the frame
    // selection does.
    if (picture) {
        s.window.filePreviewArea.setPicture(*picture);
        ConvertToMono(s.vars, s.window.filePreviewArea, s.window.quickPrevArea);
    }
    PackFrame(s.vars);
    if (s.added == 0) {
        s.vars.ByteCount = 0;
        StartVideoStream(s.vars, s.recorder);
    } else {
        EncodeDeltaFrame(s.vars, s.platform, s.added, s.recorder, 0);
    }
    ++s.added;
}

const ShownScreens& ScreenMaker::screens() const
{
    return state_->screens;
}

ShownScreens ScreenMaker::take()
{
    return std::move(state_->screens);
}

ShownScreens shownScreens(const Vars& settings, int detailSliderValue, PictureLoader& loader, const QString& folder,
                          const QStringList& frames, const std::atomic<bool>* cancel)
{
    ScreenMaker maker(settings, detailSliderValue);
    for (const QString& frame : frames) {
        if (cancel && cancel->load(std::memory_order_relaxed)) {
            break;
        }
        maker.add(loader.load(joinPath(folder, frame)));
    }
    return maker.take();
}

}  // namespace zoetra
