#include "codec/dense/DenseDelivery.h"

namespace zoetra::dense {

DenseDelivery::DenseDelivery(const VideoTarget& target, std::unique_ptr<StreamEncoder> compact, int limit,
                             bool looping)
    : target_(target), limit_(limit), looping_(looping), compact_(std::move(compact))
{
    reset();
}

void DenseDelivery::reset()
{
    dense_.setTarget(target_);
    fastKey_.emplace();
    fastKey_->setFastKeyFrame(true);
    fastKey_->setTarget(target_);
    compact_->reset();
    finished_ = false;
    chosen_ = Stream::Dense;
    switched_ = false;
}

void DenseDelivery::addFrame(const Screen& screen)
{
    dense_.addFrame(screen);
    if (fastKey_) {
        fastKey_->addFrame(screen);
        if (fastKey_->frames() == 1 && fastKey_->bytes() == dense_.bytes()) {
            fastKey_.reset();  // the key frame went the soonest way already
        }
    }
    compact_->addFrame(screen);
    const Stream before = chosen_;
    chosen_ = choose();
    switched_ = chosen_ != before;
}

void DenseDelivery::finish()
{
    dense_.finish();
    if (fastKey_) {
        fastKey_->finish();
    }
    compact_->finish();
    finished_ = true;
    const Stream before = chosen_;
    chosen_ = choose();
    switched_ = chosen_ != before;
}

bool DenseDelivery::delivers(const DenseEncoder& dense) const
{
    const PacingReport& pacing = dense.pacing();
    // A looping video's later rounds are known once it is finished: they
    // keep the rate where each ends on time.
    const bool paced = pacing.keepsUp && (!looping_ || !finished_ || !pacing.roundsEndLate);
    return paced && dense.size() <= limit_ && dense.size() <= compact_->size();
}

DenseDelivery::Stream DenseDelivery::choose() const
{
    // Of the dense streams that go out, looping the one whose rounds begin
    // late the fewer times, else the one of the fewer bytes.
    const bool dense = delivers(dense_);
    const bool fastKey = fastKey_ && delivers(*fastKey_);
    if (dense && fastKey) {
        const int late = looping_ ? dense_.pacing().roundLateFrames : 0;
        const int fastLate = looping_ ? fastKey_->pacing().roundLateFrames : 0;
        return fastLate < late || (fastLate == late && fastKey_->size() < dense_.size()) ? Stream::FastKey
                                                                                         : Stream::Dense;
    }
    if (dense || fastKey) {
        return dense ? Stream::Dense : Stream::FastKey;
    }
    if (compact_->size() <= limit_) {
        return Stream::Compact;
    }
    // Compact is over the limit: a dense stream within it, late or not,
    // else the fewest bytes.
    if (dense_.size() <= limit_) {
        return Stream::Dense;
    }
    if (fastKey_ && fastKey_->size() <= limit_) {
        return Stream::FastKey;
    }
    return dense_.size() <= compact_->size() ? Stream::Dense : Stream::Compact;
}

const StreamEncoder& DenseDelivery::chosen() const
{
    switch (chosen_) {
    case Stream::FastKey:
        return *fastKey_;
    case Stream::Compact:
        return *compact_;
    case Stream::Dense:
        break;
    }
    return dense_;
}

DenseDelivery::Outcome DenseDelivery::outcome() const
{
    const DenseEncoder& dense = chosen_ == Stream::FastKey ? *fastKey_ : dense_;
    Outcome outcome;
    outcome.format = chosen_ == Stream::Compact ? StreamFormat::Compact : StreamFormat::Dense;
    outcome.fastKeyFrame = chosen_ == Stream::FastKey;
    outcome.denseBytes = dense.size();
    outcome.compactBytes = compact_->size();
    outcome.lateFrames = dense.pacing().lateFrames;
    outcome.roundLateFrames = dense.pacing().roundLateFrames;
    outcome.roundsEndLate = looping_ && dense.pacing().roundsEndLate;
    return outcome;
}

}  // namespace zoetra::dense
