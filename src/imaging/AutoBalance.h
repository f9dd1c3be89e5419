#pragma once

namespace zoetra {

class PictureArea;

// Thresholds proposed from the mean brightness of a frame.
struct AutoBalanceProposal {
    int black;
    int white;
};

// Averages all three channels over the 96 x 64 calculator frame of the
// picture (whatever channel is chosen) and proposes two thirds of the mean
// as the black threshold and the mean as the white one.
AutoBalanceProposal computeAutoBalance(const PictureArea& picture);

}  // namespace zoetra
