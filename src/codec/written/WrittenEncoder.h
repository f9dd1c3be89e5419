#pragma once

#include "codec/Codec.h"

namespace zoetra::written {

// Encodes screens into the written stream (WrittenFormat.h), counting the
// decoder's T-states per frame (WrittenCost.h).
class WrittenEncoder final : public StreamEncoder {
public:
    void reset() override;
    void addFrame(const Screen& screen) override;
    void finish() override;

    const std::vector<std::uint8_t>& bytes() const override { return out_; }
    int size() const override { return static_cast<int>(out_.size()) - (finished_ ? 1 : 0); }
    int firstChangedByte() const override { return firstChanged_; }
    int lastFrameTStates() const override { return lastTStates_; }

private:
    std::vector<std::uint8_t> out_;
    Screen previous_{};
    bool keyFrame_ = true;
    bool finished_ = false;
    int firstChanged_ = 0;
    int lastTStates_ = 0;
};

}  // namespace zoetra::written
