#pragma once

#include "calc/Calculator.h"
#include "calc/HardwareReadings.h"
#include "calc/Screen.h"
#include "shared/CalculatorModel.h"
#include "shared/LineEdges.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zoetra::calc {

// A screen the program showed, and when: T-states since it was started.
struct RecordedFrame {
    Screen pixels{};
    std::uint64_t tstates = 0;
};

// An AppVar put on the calculator beside the program.
struct AppVar {
    std::string name;
    std::vector<std::uint8_t> data;
    bool archived = true;
};

// The calculator a program is recorded on: the model and the AppVars placed
// before it starts, in order; how the facts its documents leave open are read;
// and, where its video is known, the frames of
// one round of it.
struct CalculatorSetup {
    CalculatorSetup() = default;
    CalculatorSetup(CalculatorModel onModel, std::vector<AppVar> placed = {},
                    std::optional<std::size_t> videoFrames = std::nullopt)
        : model(onModel), appVars(std::move(placed)), roundFrames(videoFrames)
    {
    }

    CalculatorModel model = CalculatorModel::Ti83Plus;
    std::vector<AppVar> appVars;
    // A program that shows this many screens and then the first one's
    // picture again starts its video over: it loops. A player that keeps
    // its own clock or decodes ahead never comes back to the same state,
    // so without this its loop goes unseen.
    std::optional<std::size_t> roundFrames;
    HardwareReadings readings = {};
};

// A program played once through on the emulated calculator, without a key
// pressed: every frame it shows until it repeats itself (or begins its
// video's next round), waits for a key, returns, faults, or has played for
// RecordingTimeLimitSeconds.
struct Recording {
    enum class End {
        Loops,        // it shows frames[loopStart] again, in the same state or a new round
        WaitsForKey,  // in _GetKey, the last frame on the screen
        Returns,      // back at the home screen by itself
        Fault,        // a broken program: see fault
        TimeLimit,    // still playing when the recording stopped
    };
    std::vector<RecordedFrame> frames;
    End end = End::Fault;
    std::size_t loopStart = 0;
    // Loops: when frames[loopStart] shows again; otherwise when the wait,
    // the return, the fault or the time limit came.
    std::uint64_t endTStates = 0;
    std::string fault;
    // What the program printed on the home screen, a new line as '\n'.
    std::string printed;
    // The link port's lines as the program drove them, from its start to
    // the end (clocks in ClockHz steps since the start): its sound.
    LineEdges lineEdges;
    // How the program left the calculator where the recording ended.
    ExitState exit;
    CalculatorSetup setup;

    bool plays() const { return end != End::Fault && !frames.empty(); }
    // How long frame i stays on the screen.
    std::uint64_t duration(std::size_t i) const;
    // From the first frame to the end of the last one.
    std::uint64_t totalTStates() const;
    // Frames shown, less one, over the time from the first to the last
    // shown; a loop's first frame shown again counts. 0 for one frame.
    double framesPerSecond() const;
    // The clock (ClockHz steps) of the first frame and of the end: the span
    // the video and its sound cover.
    std::uint64_t startClock() const;
    std::uint64_t endClock() const;
    // Why the recording cannot be shown as a video; empty when it plays.
    std::string problem() const;
};

// A recording stops after this much emulated time, unless the program's
// video is known and longer (CalculatorSetup::roundFrames): the video is
// recorded to its end, and the limit applies past it.
inline constexpr std::uint64_t RecordingTimeLimitSeconds = 600;

// Told, now and then while a recording runs, how much emulated time it has
// covered and its limit, both in T-states.
using RecordingProgress = std::function<void(std::uint64_t tstates, std::uint64_t limit)>;

// A calculator of the setup's model with the program and the AppVars
// loaded, started as its shell would start it. False with a reason when an
// AppVar does not fit.
bool prepareCalculator(Calculator& calculator, const std::vector<std::uint8_t>& program,
                       const CalculatorSetup& setup, std::string* error);

// Plays a .8xp file as its shell would start it.
Recording recordProgramFile(const std::vector<std::uint8_t>& file, const CalculatorSetup& setup = {},
                            const RecordingProgress& progress = {});
// Plays program bytes (the two tokens first) as their shell would start them.
Recording recordProgram(const std::vector<std::uint8_t>& program, const CalculatorSetup& setup = {},
                        const RecordingProgress& progress = {});

// The program bytes of a .8xp file that holds an assembly program; a
// reason in `error` otherwise.
std::vector<std::uint8_t> assemblyProgram(const std::vector<std::uint8_t>& file, std::string* error);
// Why the program's bytes (from the two tokens on) cannot run as an
// assembly program, or nothing.
std::string assemblyProgramProblem(const std::vector<std::uint8_t>& program);

}  // namespace zoetra::calc
