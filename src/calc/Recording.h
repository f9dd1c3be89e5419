#pragma once

#include "calc/Screen.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zoetra::calc {

// A screen the program showed, and when: T-states since it was started.
struct RecordedFrame {
    Screen pixels{};
    std::uint64_t tstates = 0;
};

// A program played once through on the emulated calculator, without a key
// pressed: every frame it shows until it repeats itself, waits for a key,
// returns or faults.
struct Recording {
    enum class End {
        Loops,        // it shows frames[loopStart] again, in the same state
        WaitsForKey,  // in _GetKey, the last frame on the screen
        Returns,      // back at the home screen by itself
        Fault,        // a broken program: see fault
    };
    std::vector<RecordedFrame> frames;
    End end = End::Fault;
    std::size_t loopStart = 0;
    // Loops: when frames[loopStart] shows again; otherwise when the wait,
    // the return or the fault came.
    std::uint64_t endTStates = 0;
    std::string fault;

    bool plays() const { return end != End::Fault && !frames.empty(); }
    // How long frame i stays on the screen.
    std::uint64_t duration(std::size_t i) const;
    // From the first frame to the end of the last one.
    std::uint64_t totalTStates() const;
    double framesPerSecond() const;
    // Why the recording cannot be shown as a video; empty when it plays.
    std::string problem() const;
};

// At most this many frames are recorded: a video's data holds fewer.
inline constexpr std::size_t RecordingFrameLimit = 30000;

// Plays a .8xp file as its shell would start it.
Recording recordProgramFile(const std::vector<std::uint8_t>& file);
// Plays program bytes (the two tokens first) as their shell would start them.
Recording recordProgram(const std::vector<std::uint8_t>& program);

// The program bytes of a .8xp file that holds an assembly program; a
// reason in `error` otherwise.
std::vector<std::uint8_t> assemblyProgram(const std::vector<std::uint8_t>& file, std::string* error);

}  // namespace zoetra::calc
