#pragma once

namespace zoetra {

class PictureArea;
struct Vars;

// Thresholds proposed from the brightness of a frame.
struct AutoBalanceProposal {
    int black;
    int white;
};

// Averages all three channels over the 96 x 64 calculator frame of the
// picture (whatever channel is chosen) and proposes two thirds of the mean
// as the black threshold and the mean as the white one.
AutoBalanceProposal computeAutoBalance(const PictureArea& picture);

// What "Auto" proposes under vars' pattern. The checkerboard draws three
// tones: it takes the proposal above. Every other pattern draws the tones
// between its black and white point, so it is given the band that holds
// the frame's tones (measured under vars' channel and gamma): black at 0
// and a white point towards the frame's light end, so no tone of the scene
// is lost to solid black or white and a dark scene is lifted.
AutoBalanceProposal proposeAutoBalance(const Vars& vars, const PictureArea& picture);

}  // namespace zoetra
