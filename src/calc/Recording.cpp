#include "calc/Recording.h"

#include "calc/Calculator.h"
#include "calc/ProgramFile.h"
#include "calc/Timing.h"

#include <algorithm>
#include <unordered_map>

namespace zoetra::calc {

std::uint64_t Recording::duration(std::size_t i) const
{
    const std::uint64_t next = i + 1 < frames.size() ? frames[i + 1].tstates : endTStates;
    return next - frames.at(i).tstates;
}

std::uint64_t Recording::totalTStates() const
{
    return frames.empty() ? 0 : endTStates - frames.front().tstates;
}

std::uint64_t Recording::startClock() const
{
    return frames.empty() ? 0 : frames.front().tstates * ClockPerTState;
}

std::uint64_t Recording::endClock() const
{
    return endTStates * ClockPerTState;
}

double Recording::framesPerSecond() const
{
    if (end == End::Loops && loopStart < frames.size()) {
        // Round the loop to its first frame again.
        const std::uint64_t round = endTStates - frames[loopStart].tstates;
        return round == 0 ? 0.0 : static_cast<double>(frames.size() - loopStart) / seconds(round);
    }
    if (frames.size() < 2) {
        return 0.0;
    }
    const std::uint64_t shown = frames.back().tstates - frames.front().tstates;
    return shown == 0 ? 0.0 : static_cast<double>(frames.size() - 1) / seconds(shown);
}

std::string Recording::problem() const
{
    if (end == End::Fault) {
        return fault;
    }
    if (frames.empty()) {
        std::string said;
        for (const char c : printed) {
            said += c == '\n' ? ' ' : c;
        }
        while (!said.empty() && said.back() == ' ') {
            said.pop_back();
        }
        return std::string(end == End::WaitsForKey ? "it waits for a key before showing a frame"
                                                   : "it returned without showing a frame") +
               (said.empty() ? "" : ", saying \"" + said + "\"");
    }
    return {};
}

std::vector<std::uint8_t> assemblyProgram(const std::vector<std::uint8_t>& file, std::string* error)
{
    std::string why;
    const auto contents = readProgramFile(file, &why);
    if (!contents) {
        *error = "not a calculator program file: " + why;
        return {};
    }
    if (const std::string problem = assemblyProgramProblem(contents->program); !problem.empty()) {
        *error = problem;
        return {};
    }
    return contents->program;
}

std::string assemblyProgramProblem(const std::vector<std::uint8_t>& program)
{
    if (program.size() < 3 || program[0] != 0xBB || program[1] != 0x6D) {
        return "not an assembly program (it does not start with the tokens BBh 6Dh)";
    }
    if (ProgramOrigin + program.size() > StackBottom) {
        return "the program is too large for the calculator's RAM";
    }
    return {};
}

Recording recordProgramFile(const std::vector<std::uint8_t>& file, const CalculatorSetup& setup,
                            const RecordingProgress& progress)
{
    std::string error;
    const std::vector<std::uint8_t> program = assemblyProgram(file, &error);
    if (program.empty()) {
        Recording recording;
        recording.fault = error;
        recording.setup = setup;
        return recording;
    }
    return recordProgram(program, setup, progress);
}

bool prepareCalculator(Calculator& calculator, const std::vector<std::uint8_t>& program,
                       const CalculatorSetup& setup, std::string* error)
{
    calculator.loadProgram(program);
    for (const AppVar& var : setup.appVars) {
        if (!calculator.loadAppVar(var.name, var.data, var.archived, error)) {
            return false;
        }
    }
    calculator.start(shellEntry(program));
    return true;
}

Recording recordProgram(const std::vector<std::uint8_t>& program, const CalculatorSetup& setup,
                        const RecordingProgress& progress)
{
    Recording recording;
    recording.setup = setup;
    Calculator calculator(setup.model, setup.readings);
    if (!prepareCalculator(calculator, program, setup, &recording.fault)) {
        return recording;
    }
    constexpr std::uint64_t limit = RecordingTimeLimitSeconds * CpuHz;
    constexpr std::uint64_t progressEvery = CpuHz;
    std::uint64_t nextProgress = 0;
    const auto keepEdges = [&] {
        for (const LineEdge& edge : calculator.takeLineEdges()) {
            recording.lineEdges.add(edge);
        }
    };
    const auto finish = [&](Recording::End end, std::uint64_t at) {
        keepEdges();
        recording.end = end;
        recording.endTStates = at;
        recording.exit = calculator.exitState();
        recording.printed = calculator.printed();
        if (progress) {
            progress(std::min(at, limit), limit);
        }
        return recording;
    };
    // The state at each screen, to find where the program starts over.
    std::unordered_multimap<std::uint64_t, std::size_t> seen;
    for (;;) {
        // Past the limit the frame shown now ends the recording; the
        // program may take up to its timeout to show one.
        const Stop stop = calculator.runToNextScreen();
        if (stop != Stop::ScreenShown) {
            if (stop == Stop::Fault) {
                recording.fault = calculator.fault();
                return finish(Recording::End::Fault, calculator.tstates());
            }
            return finish(stop == Stop::Returned ? Recording::End::Returns : Recording::End::WaitsForKey,
                          calculator.tstates());
        }
        keepEdges();
        const ShownScreen shown = calculator.takeScreens().back();
        // A video known to be longer is recorded to its end.
        const bool pastVideo = !setup.roundFrames || recording.frames.size() > *setup.roundFrames;
        if (shown.tstates >= limit && pastVideo && !recording.frames.empty()) {
            return finish(Recording::End::TimeLimit, recording.frames.back().tstates < limit ? limit : shown.tstates);
        }
        // The video's next round begins with its first frame.
        if (setup.roundFrames && recording.frames.size() == *setup.roundFrames && !recording.frames.empty() &&
            shown.pixels == recording.frames.front().pixels) {
            recording.loopStart = 0;
            return finish(Recording::End::Loops, shown.tstates);
        }
        const std::uint64_t digest = calculator.stateDigest();
        const auto [from, to] = seen.equal_range(digest);
        for (auto it = from; it != to; ++it) {
            if (recording.frames[it->second].pixels == shown.pixels) {
                recording.loopStart = it->second;
                return finish(Recording::End::Loops, shown.tstates);
            }
        }
        seen.emplace(digest, recording.frames.size());
        recording.frames.push_back({shown.pixels, shown.tstates});
        if (progress && shown.tstates >= nextProgress) {
            progress(shown.tstates, limit);
            nextProgress = (shown.tstates / progressEvery + 1) * progressEvery;
        }
    }
}

}  // namespace zoetra::calc
