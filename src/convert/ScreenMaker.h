#pragma once

#include "shared/Screen.h"

#include <QImage>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>
#include <optional>
#include <vector>

namespace zoetra {

struct Vars;
class PictureLoader;

// The screens the calculator shows of a frame list, in order: each frame
// reduced under the colour settings, packed, and thinned under the quality
// as a conversion run started now would thin it (a random sequence of its
// own, as a fresh program's first run has). Every stream format is given
// exactly these, so counting what a target holds needs nothing more.
using ShownScreens = std::vector<Screen>;

// Makes the shown screens one frame at a time, from pictures in memory or
// from frame files, with the run's own operations: the reduction knowing
// the frames before, the packing and the quality thinning. Leaves the
// settings it was given alone.
class ScreenMaker {
public:
    ScreenMaker(const Vars& settings, int detailSliderValue);
    ~ScreenMaker();
    ScreenMaker(const ScreenMaker&) = delete;
    ScreenMaker& operator=(const ScreenMaker&) = delete;

    // The next frame; none (a file that cannot be decoded) repeats the
    // frame before it, as the run does.
    void add(const std::optional<QImage>& picture);

    const ShownScreens& screens() const;
    ShownScreens take();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// The shown screens of the frame files (names in `folder`); fewer when
// `cancel` is set on the way.
ShownScreens shownScreens(const Vars& settings, int detailSliderValue, PictureLoader& loader, const QString& folder,
                          const QStringList& frames, const std::atomic<bool>* cancel = nullptr);

}  // namespace zoetra
