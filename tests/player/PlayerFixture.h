#pragma once

#include "PlayerBuild.h"
#include "VideoStream.h"
#include "Z80Harness.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <vector>

namespace playertest {

inline constexpr std::uint64_t StepBudget = 20'000'000;

// Where a shell starts the program: MirageOS after its header and the
// description, Ion and no shell at the first byte.
std::uint16_t shellEntry(const std::vector<std::uint8_t>& program, const QByteArray& shellWord);

// The program bytes of a .8xp file (the two tokens included).
std::vector<std::uint8_t> programBytes(const std::vector<std::uint8_t>& programFile);

struct Playback {
    std::unique_ptr<z80test::Z80Harness> harness = std::make_unique<z80test::Z80Harness>();
    z80test::Stop stop = z80test::Stop::Fault;
};

// Runs a built program as the shell would, with _GetCSC reporting CLEAR
// after `clearAfter` screens.
Playback play(const std::vector<std::uint8_t>& programFile, const QByteArray& shellWord,
              std::optional<std::size_t> clearAfter);

// The program showed exactly `count` screens: the frames in order, starting
// over with the first after the last.
void expectScreens(const z80test::Z80Harness& harness, const std::vector<Screen>& frames,
                   std::size_t count);

// The program returned and left an empty graph buffer and screen, the
// home screen cleared, the run indicator back on and the graph marked dirty.
void expectCleanExit(const Playback& playback);

}  // namespace playertest
