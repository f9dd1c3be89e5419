#include "calc/LivePlayback.h"

#include "calc/ProgramFile.h"

#include <algorithm>

namespace zoetra::calc {

LivePlayback::LivePlayback(std::vector<std::uint8_t> program, Recording recording)
    : program_(std::move(program)), recording_(std::move(recording))
{
    restart();
}

void LivePlayback::restart()
{
    calculator_ = std::make_unique<Calculator>(recording_.setup.model, recording_.setup.readings);
    std::string error;
    // A setup that did not fit was refused when the recording was made.
    prepareCalculator(*calculator_, program_, recording_.setup, &error);
    ahead_.clear();
    now_ = 0;
    screen_ = Screen{};
    ++screenChanges_;
    shownCount_ = 0;
    frame_ = -1;
    frameShownAt_ = 0;
}

void LivePlayback::advanceTo(std::uint64_t tstates, const std::function<void()>& shown)
{
    if (tstates <= now_) {
        return;
    }
    calculator_->runUntilTime(tstates);
    for (ShownScreen& screen : calculator_->takeScreens()) {
        ahead_.push_back(screen);
    }
    while (!ahead_.empty() && ahead_.front().tstates <= tstates) {
        now_ = std::max(now_, ahead_.front().tstates);
        show(ahead_.front());
        ahead_.pop_front();
        if (shown) {
            shown();
        }
    }
    now_ = tstates;
    // The home screen the program leaves.
    if (ahead_.empty() && calculator_->returned() && screen_ != calculator_->lcd()) {
        screen_ = calculator_->lcd();
        ++screenChanges_;
    }
}

void LivePlayback::show(const ShownScreen& shown)
{
    const std::size_t count = recording_.frames.size();
    const std::size_t k = shownCount_++;
    std::size_t index = k;
    if (recording_.end == Recording::End::Loops && k >= count && count > recording_.loopStart) {
        index = recording_.loopStart + (k - recording_.loopStart) % (count - recording_.loopStart);
    }
    frame_ = count == 0 ? -1 : static_cast<int>(std::min(index, count - 1));
    frameShownAt_ = shown.tstates;
    screen_ = shown.pixels;
    ++screenChanges_;
}

void LivePlayback::press(Key key)
{
    calculator_->press(key);
}

LivePlayback::State LivePlayback::state() const
{
    if (!ahead_.empty()) {
        return State::Playing;
    }
    if (calculator_->faulted()) {
        return State::Fault;
    }
    if (calculator_->returned()) {
        return State::Ended;
    }
    return calculator_->waitingForKey() ? State::WaitingForKey : State::Playing;
}

std::uint64_t LivePlayback::elapsed() const
{
    if (frame_ < 0 || recording_.frames.empty()) {
        return 0;
    }
    const auto& frames = recording_.frames;
    const std::uint64_t intoVideo = frames[static_cast<std::size_t>(frame_)].tstates - frames.front().tstates;
    return std::min(intoVideo + (now_ - frameShownAt_), recording_.totalTStates());
}

}  // namespace zoetra::calc
