#include "codec/written/WrittenEncoder.h"

#include "codec/written/WrittenCost.h"
#include "codec/written/WrittenFormat.h"

namespace zoetra::written {

void WrittenEncoder::reset()
{
    out_.clear();
    previous_ = {};
    keyFrame_ = true;
    finished_ = false;
    firstChanged_ = 0;
    lastTStates_ = 0;
}

void WrittenEncoder::addFrame(const Screen& screen)
{
    firstChanged_ = static_cast<int>(out_.size());
    if (keyFrame_) {
        out_.insert(out_.end(), screen.begin(), screen.end());
        keyFrame_ = false;
        lastTStates_ = cost::KeyFrame;
    } else {
        int records = 0;
        int carries = 0;
        for (std::size_t i = 0; i < screen.size(); ++i) {
            if (screen[i] != previous_[i]) {
                out_.push_back(static_cast<std::uint8_t>(i / 256));
                out_.push_back(static_cast<std::uint8_t>(i % 256));
                out_.push_back(screen[i]);
                ++records;
                carries += static_cast<int>(i % 256) >= CarryingOffsetLow ? 1 : 0;
            }
        }
        out_.push_back(FrameEndMarker);
        lastTStates_ = cost::frameTStates(records, carries);
    }
    previous_ = screen;
}

void WrittenEncoder::finish()
{
    firstChanged_ = static_cast<int>(out_.size());
    out_.push_back(VideoEndMarker);
    finished_ = true;
}

}  // namespace zoetra::written
