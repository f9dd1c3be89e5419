#pragma once

#include "codec/Codec.h"
#include "codec/dense/DenseFormat.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zoetra::dense {

// What a dense stream shows, frame by frame, what it costs the player and
// which ways each frame went: more than every format's DecodedVideo
// (Codec.h), which decodeDenseStream gives.
struct DecodedDenseVideo {
    std::vector<Screen> frames;
    std::vector<int> tStates;        // the decoder's T-states for each frame
    std::vector<int> changedBlocks;  // each frame's records
    std::vector<bool> raw;           // frames sent raw
    std::vector<bool> compact;       // frames sent compact
    std::vector<bool> large;         // coded frames that said their records may take more room
    std::vector<bool> rawRows;       // frames sent with raw rows
    std::vector<bool> copyRows;      // frames sent with copied rows
    std::vector<bool> keptRows;      // frames sent with kept rows
    std::vector<bool> solidBlocks;   // frames sent with solid blocks
    std::vector<bool> packed;        // frames with raw rows sent packed
    std::vector<int> pixels;         // pixels decided one by one in each frame
    std::vector<std::size_t> ends;   // where in the stream each frame's decoding ended
    std::size_t length = 0;          // stream bytes up to the video end
    int endTStates = 0;              // the video end's decision
};

// The reference decoder: reads the stream as the player does, decision by
// decision, and counts the T-states of the player's code on the way. Fails,
// with a reason in `error`, on a stream that ends before its video end.
std::optional<DecodedDenseVideo> decodeDenseVideo(std::span<const std::uint8_t> stream, std::string* error = nullptr);

// The same as the codec seam reports it.
std::optional<zoetra::DecodedVideo> decodeDenseStream(std::span<const std::uint8_t> stream,
                                                      std::string* error = nullptr);

}  // namespace zoetra::dense
