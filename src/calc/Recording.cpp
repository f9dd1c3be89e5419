#include "calc/Recording.h"

#include "calc/Calculator.h"
#include "calc/ProgramFile.h"
#include "calc/Timing.h"

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

double Recording::framesPerSecond() const
{
    const std::uint64_t total = totalTStates();
    return total == 0 ? 0.0 : static_cast<double>(frames.size()) / seconds(total);
}

std::string Recording::problem() const
{
    if (end == End::Fault) {
        return fault;
    }
    if (frames.empty()) {
        return end == End::WaitsForKey ? "it waits for a key before showing a frame"
                                       : "it returned without showing a frame";
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
    if (contents->program.size() < 3 || contents->program[0] != 0xBB || contents->program[1] != 0x6D) {
        *error = "not an assembly program (it does not start with the tokens BBh 6Dh)";
        return {};
    }
    if (ProgramOrigin + contents->program.size() > StackBottom) {
        *error = "the program is too large for the calculator's RAM";
        return {};
    }
    return contents->program;
}

Recording recordProgramFile(const std::vector<std::uint8_t>& file)
{
    std::string error;
    const std::vector<std::uint8_t> program = assemblyProgram(file, &error);
    if (program.empty()) {
        Recording recording;
        recording.fault = error;
        return recording;
    }
    return recordProgram(program);
}

Recording recordProgram(const std::vector<std::uint8_t>& program)
{
    Recording recording;
    Calculator calculator;
    calculator.loadProgram(program);
    calculator.start(shellEntry(program));
    // The state at each screen, to find where the program starts over.
    std::unordered_multimap<std::uint64_t, std::size_t> seen;
    for (;;) {
        const Stop stop = calculator.runToNextScreen();
        if (stop != Stop::ScreenShown) {
            recording.endTStates = calculator.tstates();
            if (stop == Stop::Fault) {
                recording.end = Recording::End::Fault;
                recording.fault = calculator.fault();
            } else {
                recording.end = stop == Stop::Returned ? Recording::End::Returns : Recording::End::WaitsForKey;
            }
            return recording;
        }
        const ShownScreen shown = calculator.takeScreens().back();
        const std::uint64_t digest = calculator.stateDigest();
        const auto [from, to] = seen.equal_range(digest);
        for (auto it = from; it != to; ++it) {
            if (recording.frames[it->second].pixels == shown.pixels) {
                recording.end = Recording::End::Loops;
                recording.loopStart = it->second;
                recording.endTStates = shown.tstates;
                return recording;
            }
        }
        if (recording.frames.size() == RecordingFrameLimit) {
            recording.end = Recording::End::Fault;
            recording.endTStates = shown.tstates;
            recording.fault = "more than " + std::to_string(RecordingFrameLimit) +
                              " frames without repeating or ending";
            return recording;
        }
        seen.emplace(digest, recording.frames.size());
        recording.frames.push_back({shown.pixels, shown.tstates});
    }
}

}  // namespace zoetra::calc
