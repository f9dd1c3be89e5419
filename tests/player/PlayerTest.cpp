// VID.z80 assembled by our TASM, packed by DEVPAC8X and played on the emulated calculator.
#include "PlayerFixture.h"

#include "calc/Recording.h"

#include <QString>

#include <string>
#include <tuple>

namespace playertest {
namespace {

using zoetra::calc::Stop;
using zoetra::calc::Calculator;
namespace bcall = zoetra::calc::bcall;

// A video that tries the decoder's edges: offsets whose low byte carries into
// the next page of plotSScreen (40h + 0C0h), the first and last bytes, record
// values 254 and 255, a frame without changes and one with every byte changed.
Stream edgeVideo()
{
    Screen key = patternScreen(1);
    key[0] = 255;
    key[1] = 254;
    std::vector<FrameChanges> frames = {
        {{0, 0}, {1, 255}, {191, 254}, {192, 1}, {255, 2}, {256, 3}, {447, 4}, {448, 5}, {767, 6}},
        {},
        {{500, 0x81}},
    };
    std::vector<Screen> pictures = {key};
    for (const FrameChanges& frame : frames) {
        Screen next = pictures.back();
        for (const auto& [offset, value] : frame) {
            next[static_cast<std::size_t>(offset)] = value;
        }
        pictures.push_back(next);
    }
    frames.push_back(changesBetween(pictures.back(), patternScreen(2)));
    return makeStream(key, frames);
}


// A frame's records take at most 100 T-states each to apply: a frame lasts
// its ticks give or take the decoding of 768 records.
constexpr double WholeFrameDecoding = 768 * 100;

class PlayerTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(folder.isValid()); }

    std::vector<std::uint8_t> build(const Stream& stream, const QByteArray& shellWord, bool looping,
                                    const QByteArray& description = ".db \"My First Video\",0\r\n")
    {
        PlayerInputs inputs;
        inputs.varFile = varFileText(shellWord, looping);
        inputs.description = description;
        // Garbage after the end marker that would show if it were read.
        inputs.videoData = videoDataText(stream, 0x01);
        const BuildResult result = buildPlayer(folder, inputs);
        EXPECT_TRUE(result.programFile.has_value()) << result.output.toStdString();
        return result.programFile.value_or(std::vector<std::uint8_t>{});
    }

    AppFolder folder;
};

class PlayerShells : public PlayerTest, public testing::WithParamInterface<std::tuple<std::string, bool>> {};

TEST_P(PlayerShells, ShowsEveryFrameInOrderAndLeavesTheCalculatorClean)
{
    const QByteArray shell = QByteArray::fromStdString(std::get<0>(GetParam()));
    const bool looping = std::get<1>(GetParam());
    const Stream stream = edgeVideo();
    const std::vector<Screen> frames = decodeStream(stream);
    const auto file = build(stream, shell, looping);
    ASSERT_FALSE(file.empty());

    // Looping: twice through and the first frame once more, then CLEAR.
    const std::optional<std::size_t> clearAfter =
        looping ? std::optional<std::size_t>(2 * frames.size() + 1) : std::nullopt;
    const Playback playback = play(file, shell, clearAfter);
    ASSERT_EQ(playback.stop, Stop::Returned) << playback.calculator->fault();
    expectScreens(*playback.calculator, frames, looping ? 2 * frames.size() + 1 : frames.size());
    EXPECT_EQ(playback.calculator->callCount(bcall::GetKey), looping ? 0u : 1u);
    expectCleanExit(playback);
}

INSTANTIATE_TEST_SUITE_P(Player, PlayerShells,
                         testing::Combine(testing::Values("ION", "MIRAGEOS", "NOSHELL", ""), testing::Bool()),
                         [](const auto& p) {
                             const std::string& shell = std::get<0>(p.param);
                             return (shell.empty() ? std::string("none") : shell) +
                                    (std::get<1>(p.param) ? "_looping" : "_once");
                         });

TEST_F(PlayerTest, ClearEndsPlaybackAtOnce)
{
    const Stream stream = edgeVideo();
    const std::vector<Screen> frames = decodeStream(stream);
    for (const bool looping : {false, true}) {
        SCOPED_TRACE(looping);
        const Playback playback = play(build(stream, "ION", looping), "ION", 2);
        ASSERT_EQ(playback.stop, Stop::Returned) << playback.calculator->fault();
        expectScreens(*playback.calculator, frames, 2);
        EXPECT_EQ(playback.calculator->callCount(bcall::GetKey), 0u);
        expectCleanExit(playback);
    }
}

TEST_F(PlayerTest, OneFrameVideo)
{
    Screen key = patternScreen(3);
    key[767] = 254;
    const Stream stream = makeStream(key, {});
    ASSERT_EQ(stream.size(), 769u);
    const Playback once = play(build(stream, "NOSHELL", false), "NOSHELL", std::nullopt);
    expectScreens(*once.calculator, {key}, 1);
    expectCleanExit(once);

    const Playback looping = play(build(stream, "NOSHELL", true), "NOSHELL", 3);
    expectScreens(*looping.calculator, {key}, 3);
    expectCleanExit(looping);
}

TEST_F(PlayerTest, HeaderBytesMatchTheShell)
{
    const Stream stream = edgeVideo();
    const std::vector<std::uint8_t> bcallRunIndicOff = {0xEF, 0x70, 0x45};
    const std::string description = "My First Video";

    const auto ion = programBytes(build(stream, "ION", false));
    ASSERT_GT(ion.size(), 40u);
    EXPECT_EQ(ion[0], 0xBB);
    EXPECT_EQ(ion[1], 0x6D);
    EXPECT_EQ(ion[2], 0xAF);  // xor a
    EXPECT_EQ(ion[3], 0x30);  // jr nc, over the description
    EXPECT_EQ(ion[4], description.size() + 1);
    EXPECT_EQ(std::string(ion.begin() + 5, ion.begin() + 5 + static_cast<long>(description.size()) + 1),
              description + '\0');
    EXPECT_EQ(std::vector<std::uint8_t>(ion.begin() + 5 + ion[4], ion.begin() + 8 + ion[4]), bcallRunIndicOff);

    const auto mirage = programBytes(build(stream, "MIRAGEOS", false));
    EXPECT_EQ(mirage[2], 0xC9);  // ret
    EXPECT_EQ(mirage[3], 0x01);
    for (std::size_t row = 0; row < 15; ++row) {
        SCOPED_TRACE(row);
        // 15 pixels wide: the sixteenth column is clear; every row has ink.
        EXPECT_EQ(mirage[4 + 2 * row + 1] & 1, 0);
        EXPECT_NE(mirage[4 + 2 * row] | mirage[4 + 2 * row + 1], 0);
    }
    EXPECT_EQ(std::string(mirage.begin() + 34, mirage.begin() + 34 + static_cast<long>(description.size()) + 1),
              description + '\0');
    const std::size_t code = 34 + description.size() + 1;
    EXPECT_EQ(std::vector<std::uint8_t>(mirage.begin() + static_cast<long>(code), mirage.begin() + static_cast<long>(code) + 3),
              bcallRunIndicOff);
    EXPECT_EQ(shellEntry(mirage, "MIRAGEOS"), zoetra::calc::ProgramOrigin + code);

    const auto noShell = programBytes(build(stream, "NOSHELL", false));
    EXPECT_EQ(std::vector<std::uint8_t>(noShell.begin() + 2, noShell.begin() + 5), bcallRunIndicOff);
    // "#define " with no word builds exactly as no shell.
    EXPECT_EQ(programBytes(build(stream, "", false)), noShell);
}

TEST_F(PlayerTest, MirageOsProgramRunDirectlyEndsAtOnce)
{
    Calculator calculator;
    ASSERT_TRUE(calculator.loadProgramFile(build(edgeVideo(), "MIRAGEOS", true)));
    calculator.start();
    EXPECT_EQ(calculator.run(StepBudget), Stop::Returned) << calculator.fault();
    EXPECT_TRUE(calculator.systemCalls().empty());
    EXPECT_EQ(calculator.steps(), 1u);
}

TEST_F(PlayerTest, DescriptionWithNumericPieces)
{
    const auto file = build(edgeVideo(), "ION", false, ".db \"He said \",34,\"hi\",34,\"\",0\r\n");
    const auto ion = programBytes(file);
    const std::string expected = "He said \"hi\"";
    ASSERT_GT(ion.size(), 5 + expected.size());
    EXPECT_EQ(std::string(ion.begin() + 5, ion.begin() + 5 + static_cast<long>(expected.size()) + 1), expected + '\0');
    const Playback playback = play(file, "ION", std::nullopt);
    expectScreens(*playback.calculator, decodeStream(edgeVideo()), decodeStream(edgeVideo()).size());
    expectCleanExit(playback);
}

TEST_F(PlayerTest, FramesArePacedByAFixedNumberOfTimerTicks)
{
    const int halts = frameHaltsInSource();
    ASSERT_GT(halts, 0);
    const Playback playback = play(build(edgeVideo(), "NOSHELL", true), "NOSHELL", 12);
    ASSERT_EQ(playback.stop, Stop::Returned) << playback.calculator->fault();
    const auto& screens = playback.calculator->screens();
    ASSERT_EQ(screens.size(), 12u);
    for (std::size_t i = 1; i < screens.size(); ++i) {
        EXPECT_EQ(screens[i].halts - screens[i - 1].halts, static_cast<std::uint64_t>(halts)) << i;
        // The halts and the screen copy's tick, give or take the decoding.
        EXPECT_NEAR(static_cast<double>(screens[i].tstates - screens[i - 1].tstates),
                    static_cast<double>((halts + 1) * zoetra::calc::TimerPeriodTStates), WholeFrameDecoding)
            << i;
    }
}

// What the preview and the GIF show: each frame of the video once, a frame
// with no changes included, with the calculator's frame times.
TEST_F(PlayerTest, RecordingHoldsEveryFrameOnceAtTheCalculatorsPace)
{
    using zoetra::calc::Recording;
    const Stream stream = edgeVideo();
    const std::vector<Screen> frames = decodeStream(stream);
    const auto tick = static_cast<double>(zoetra::calc::TimerPeriodTStates);
    for (const char* shell : {"ION", "MIRAGEOS", "NOSHELL"}) {
        for (const bool looping : {false, true}) {
            SCOPED_TRACE(std::string(shell) + (looping ? " looping" : " once"));
            const Recording r = zoetra::calc::recordProgramFile(build(stream, shell, looping));
            ASSERT_EQ(r.end, looping ? Recording::End::Loops : Recording::End::WaitsForKey) << r.fault;
            EXPECT_EQ(r.loopStart, 0u);
            ASSERT_EQ(r.frames.size(), frames.size());
            for (std::size_t i = 0; i < frames.size(); ++i) {
                EXPECT_EQ(r.frames[i].pixels, frames[i]) << i;
            }
            const std::size_t timed = looping ? frames.size() : frames.size() - 1;
            for (std::size_t i = 0; i < timed; ++i) {
                EXPECT_NEAR(static_cast<double>(r.duration(i)), (frameHaltsInSource() + 1) * tick, WholeFrameDecoding)
                    << i;
            }
            if (looping) {
                EXPECT_GT(r.framesPerSecond(), 14.0);
                EXPECT_LT(r.framesPerSecond(), 15.5);
            }
        }
    }
}

// T-states are exact in emulation, so the per-record budget is a property of
// the code, not a timing.
TEST_F(PlayerTest, ChangeRecordCostsAtMostOneHundredTStates)
{
    const Screen key = patternScreen(4);
    const Screen inverse = [&] {
        Screen s = key;
        for (auto& b : s) {
            b = static_cast<std::uint8_t>(~b);
        }
        return s;
    }();
    const Stream stream = makeStream(key, {changesBetween(key, inverse), {}});
    const Playback playback = play(build(stream, "NOSHELL", false), "NOSHELL", std::nullopt);
    ASSERT_EQ(playback.stop, Stop::Returned) << playback.calculator->fault();
    const auto& s = playback.calculator->screens();
    ASSERT_EQ(s.size(), 3u);
    const std::uint64_t full = s[1].programTStates - s[0].programTStates;
    const std::uint64_t empty = s[2].programTStates - s[1].programTStates;
    ASSERT_GT(full, empty);
    EXPECT_LE((full - empty) / 768.0, 100.0);
}

// About 24,000 bytes of video reach far past C000h; the code must not.
TEST_F(PlayerTest, LongVideoRunsWithItsCodeBelowC000h)
{
    std::vector<FrameChanges> frames;
    Screen previous = patternScreen(10);
    const Screen key = previous;
    while (768 + 2305 * (frames.size() + 1) + 1 <= 24000) {
        Screen next = previous;
        for (auto& b : next) {
            b = static_cast<std::uint8_t>(b + 1);
        }
        frames.push_back(changesBetween(previous, next));
        previous = next;
    }
    frames.push_back({{767, 0x55}});
    const Stream stream = makeStream(key, frames);
    ASSERT_GT(stream.size(), 23000u);

    const auto file = build(stream, "NOSHELL", false);
    const auto program = programBytes(file);
    const std::uint32_t end = zoetra::calc::ProgramOrigin + static_cast<std::uint32_t>(program.size());
    const std::uint32_t videoStart = end - static_cast<std::uint32_t>(videoDataSize(stream.size()));
    EXPECT_GT(end, zoetra::calc::ExecutionLimit);
    EXPECT_LT(videoStart, 0xA000u);
    EXPECT_TRUE(std::equal(stream.begin(), stream.end(), program.begin() + (videoStart - zoetra::calc::ProgramOrigin)));

    const Playback playback = play(file, "NOSHELL", std::nullopt);
    const std::vector<Screen> expected = decodeStream(stream);
    expectScreens(*playback.calculator, expected, expected.size());
    expectCleanExit(playback);
    EXPECT_LT(playback.calculator->highestExecuted(), videoStart);
    // The end marker is the last byte the player reads.
    EXPECT_EQ(playback.calculator->highestDataRead(), videoStart + stream.size() - 1);
}

TEST_F(PlayerTest, NothingPastTheEndMarkerIsRead)
{
    const Stream stream = edgeVideo();
    for (const bool looping : {false, true}) {
        SCOPED_TRACE(looping);
        const auto file = build(stream, "ION", looping);
        const std::size_t end = programBytes(file).size();
        const Playback playback = play(file, "ION", looping ? std::optional<std::size_t>(9) : std::nullopt);
        ASSERT_EQ(playback.stop, Stop::Returned) << playback.calculator->fault();
        const std::size_t marker = zoetra::calc::ProgramOrigin + end - videoDataSize(stream.size()) + stream.size() - 1;
        EXPECT_EQ(playback.calculator->highestDataRead(), marker);
    }
}

}  // namespace
}  // namespace playertest
