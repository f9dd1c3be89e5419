#pragma once

#include "calc/Calculator.h"
#include "calc/Recording.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zoetra::calc {

// A program playing on the emulated calculator in step with a clock: the
// caller advances it to the time that has passed, and keys reach the program
// at the time they are pressed. Which frame of the video is on the screen,
// and how far into the video it is, come from the program's recording.
class LivePlayback {
public:
    enum class State { Playing, WaitingForKey, Ended, Fault };

    // program: its bytes from the two tokens on.
    LivePlayback(std::vector<std::uint8_t> program, Recording recording);

    // Starts the program again from the home screen.
    void restart();
    // Emulates up to `tstates` since the start; earlier times are ignored.
    // `shown` is called at each screen on the way, at its time, so that
    // none goes unseen however far the clock jumps.
    void advanceTo(std::uint64_t tstates, const std::function<void()>& shown = {});
    // A key pressed at the current time.
    void press(Key key);

    std::uint64_t now() const { return now_; }
    State state() const;
    const std::string& fault() const { return calculator_->fault(); }
    // What the LCD shows now, and a count of its changes.
    const Screen& screen() const { return screen_; }
    std::uint64_t screenChanges() const { return screenChanges_; }
    // The frame of the video on the screen (0-based), -1 before the first.
    int frame() const { return frame_; }
    // T-states into the video (from its first frame), at most its length.
    std::uint64_t elapsed() const;
    const Recording& recording() const { return recording_; }
    // The link port's changes emulated since the last call (clocks in
    // ClockHz steps from the start; restart() starts them again from 0).
    std::vector<LineEdge> takeLineEdges() { return calculator_->takeLineEdges(); }

private:
    void show(const ShownScreen& shown);

    std::vector<std::uint8_t> program_;
    Recording recording_;
    std::unique_ptr<Calculator> calculator_;
    // Screens the emulation has made but whose time has not come: a copy
    // may end a little after the time run to.
    std::deque<ShownScreen> ahead_;
    std::uint64_t now_ = 0;
    Screen screen_{};
    std::uint64_t screenChanges_ = 0;
    std::size_t shownCount_ = 0;
    int frame_ = -1;
    std::uint64_t frameShownAt_ = 0;
};

}  // namespace zoetra::calc
