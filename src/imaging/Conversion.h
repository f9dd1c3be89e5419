#pragma once

#include "imaging/Grids.h"

namespace zoetra {

struct Vars;
class PictureArea;

// Reduces the 97 x 65 window at the top-left of source to black and white
// under the colour settings and the pattern and tone of vars (with the
// history of a run, if one is under way), into vars.PixelGrid and, pixel for
// pixel, into destination; refreshes destination once at the end.
void ConvertToMono(Vars& vars, const PictureArea& source, PictureArea& destination);

// The values the reduction compares its thresholds with, for the 97 x 65
// window of source: vars' colour channel scaled by three, through its gamma.
void readGreyGrid(const Vars& vars, const PictureArea& source, GreyGrid& grey);

// For the frames of one conversion run: gives vars a fresh history, so
// that each frame is reduced knowing the ones before it, and takes it away
// at the end, when frames are reduced on their own again.
class RunHistory {
public:
    explicit RunHistory(Vars& vars);
    ~RunHistory();
    RunHistory(const RunHistory&) = delete;
    RunHistory& operator=(const RunHistory&) = delete;

private:
    Vars& vars_;
};

// Packs columns 0..95, rows 0..63 of vars.PixelGrid into vars.FrameBytes,
// eight pixels a byte, the leftmost in bit 7.
void PackFrame(Vars& vars);

// The three channel values of a colour, split by real division and
// truncation: the three bytes for 0..FFFFFFh, red -1 for the unreadable -1.
struct Channels {
    int red;
    int green;
    int blue;
};
Channels splitNegativeColour(int colour);

inline Channels splitColour(int colour)
{
    if (colour >= 0) {
        // For non-negative values truncated division is exactly the shifts.
        return {colour & 0xFF, (colour >> 8) & 0xFF, colour >> 16};
    }
    if (colour == -1) {
        // The unreadable colour, as the division splits it, read off every
        // area's edge.
        return {-1, 0, 0};
    }
    return splitNegativeColour(colour);
}

}  // namespace zoetra
