#pragma once

#include "PlayerBuild.h"
#include "VideoStream.h"
#include "calc/Calculator.h"
#include "platform/FileSystem.h"
#include "platform/MemoryWindowLayer.h"
#include "platform/PictureLoader.h"
#include "shared/Vars.h"
#include "support/Clips.h"

#include <QTemporaryDir>

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
    std::unique_ptr<zoetra::calc::Calculator> calculator = std::make_unique<zoetra::calc::Calculator>();
    zoetra::calc::Stop stop = zoetra::calc::Stop::Fault;
};

// Runs a built program as the shell would, with CLEAR pressed as screen
// `clearAfter` is shown; a wait for a key is answered with ENTER.
Playback play(const std::vector<std::uint8_t>& programFile, const QByteArray& shellWord,
              std::optional<std::size_t> clearAfter);

// The program showed exactly `count` screens: the frames in order, starting
// over with the first after the last.
void expectScreens(const zoetra::calc::Calculator& calculator, const std::vector<Screen>& frames,
                   std::size_t count);

// The program returned and left an empty graph buffer and screen, the
// home screen cleared, the run indicator back on and the graph marked dirty.
void expectCleanExit(const Playback& playback);

// A built program in its shell: the frames in order (a looping video starts
// over with its first and is stopped by [CLEAR]), a key awaited at the end of
// one that does not loop, [CLEAR] on the second screen ending either, each
// run leaving the calculator as found, IM 1, the code below C000h.
void expectPlaysInShell(const std::vector<std::uint8_t>& file, const QByteArray& shell, bool looping,
                        const std::vector<Screen>& frames);

// A conversion of the frames in `source` as a fresh start of the window
// has it: the written thresholds, dither and colour channel, the folder's
// frames listed and reduced as they are selected, the program delivered
// into `outDir`.
void prepareFolderRun(zoetra::Vars& vars, zoetra::MemoryWindowLayer& window, zoetra::FileSystem& files,
                      zoetra::PictureLoader& pictures, const QString& source, const QString& outDir);

// A conversion of a clip drawn in code: the application folder with the
// real tools, the folder of the clip's frames and the output folder.
class ClipConversionTest : public testing::Test {
protected:
    void SetUp() override;
    // The clip's frames become the source folder's only files.
    void useClip(zoetra::test::ClipKind kind, int frames);

    AppFolder folder;
    QTemporaryDir source;
    QTemporaryDir outDir;
};

}  // namespace playertest
