// VID.z80's COMPACT decoder, assembled and played on the emulated calculator, against the
// encoder and the reference decoder: the same screens, the T-states the
// reference counts, the pacing, and the shells.
#include "PlayerFixture.h"
#include "codec/compact/CompactDecoder.h"
#include "codec/compact/CompactEncoder.h"
#include "support/ScreenSequences.h"

#include <random>
#include <string>
#include <tuple>

namespace playertest {
namespace {

using zoetra::calc::Stop;
namespace compact = zoetra::compact;

struct Encoded {
    Stream stream;
    compact::DecodedVideo reference;
};

Encoded encode(const std::vector<Screen>& frames)
{
    compact::CompactEncoder encoder;
    for (const Screen& frame : frames) {
        encoder.addFrame(frame);
    }
    encoder.finish();
    Encoded result;
    result.stream = encoder.bytes();
    std::string error;
    const auto decoded = compact::decodeCompactVideo(result.stream, &error);
    EXPECT_TRUE(decoded.has_value()) << error;
    if (decoded) {
        EXPECT_EQ(decoded->frames, frames);
        result.reference = *decoded;
    }
    return result;
}

class CompactPlayerTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(folder.isValid()); }

    std::vector<std::uint8_t> build(const Stream& stream, const QByteArray& shellWord, bool looping)
    {
        PlayerInputs inputs;
        inputs.varFile = varFileText(shellWord, looping, true);
        // Garbage after the stream that would show if it were read.
        inputs.videoData = videoDataText(stream, 0x5A);
        const BuildResult result = buildPlayer(folder, inputs);
        EXPECT_TRUE(result.programFile.has_value()) << result.output.toStdString();
        return result.programFile.value_or(std::vector<std::uint8_t>{});
    }

    AppFolder folder;
};

// A turn of the loop that waits out the ticks a frame's pauses did not take:
// ld a,(HaltsLeft), or a, jr z, dec a, ld (HaltsLeft),a, halt, jr.
constexpr std::int64_t RestTurn = 13 + 4 + 7 + 4 + 13 + 4 + 12;

// The program's T-states between two screens, less the reference decoder's
// count for the frame and less a turn of the waiting loop for every pause.
std::int64_t loopCost(const std::vector<zoetra::calc::ShownScreen>& screens, const compact::DecodedVideo& reference,
                      std::size_t frame)
{
    const auto between = static_cast<std::int64_t>(screens[frame].programTStates - screens[frame - 1].programTStates);
    return between - reference.tStates[frame] + RestTurn * (reference.segments[frame] - 1);
}

// Random sequences through the Z80 decoder: every screen as the encoder was
// given it, every frame's cost as the reference decoder counts it, and a
// fixed number of ticks between screens.
TEST_F(CompactPlayerTest, RandomSequencesShowTheirScreensAtTheReferenceCost)
{
    const int halts = frameHaltsInSource();
    std::mt19937 random(2024);
    for (int sequence = 0; sequence < 6; ++sequence) {
        SCOPED_TRACE(sequence);
        const std::vector<Screen> frames = zoetra::test::randomScreenSequence(random, 24);
        const Encoded encoded = encode(frames);
        const Playback playback = play(build(encoded.stream, "NOSHELL", false), "NOSHELL", std::nullopt);
        ASSERT_EQ(playback.stop, Stop::Returned) << playback.calculator->fault();
        expectScreens(*playback.calculator, frames, frames.size());
        const auto& screens = playback.calculator->screens();
        const std::int64_t loop = loopCost(screens, encoded.reference, 1);
        EXPECT_LT(loop, 600);
        for (std::size_t i = 1; i < screens.size(); ++i) {
            EXPECT_EQ(loopCost(screens, encoded.reference, i), loop)
                << "frame " << i << ", " << encoded.reference.segments[i] << " segments";
            EXPECT_EQ(screens[i].halts - screens[i - 1].halts, static_cast<std::uint64_t>(halts)) << "frame " << i;
        }
        expectCleanExit(playback);
    }
}

// Frames of many changes that cost more than a tick to decode are cut into
// segments with pauses between; the ticks between screens stay the same,
// also where a looping video starts over.
TEST_F(CompactPlayerTest, PausesInsideFramesKeepThePace)
{
    std::vector<Screen> frames;
    std::mt19937 random(7);
    Screen a{};
    for (int f = 0; f < 5; ++f) {
        // Every other byte changed: a keep and a literal by turns.
        Screen next = frames.empty() ? a : frames.back();
        for (std::size_t i = static_cast<std::size_t>(f % 2); i < next.size(); i += 2) {
            next[i] = static_cast<std::uint8_t>(random() | 1u);
        }
        frames.push_back(next);
    }
    const Encoded encoded = encode(frames);
    int most = 0;
    for (const int s : encoded.reference.segments) {
        most = std::max(most, s);
    }
    ASSERT_GT(most, 1) << "no frame needed a pause";

    const int halts = frameHaltsInSource();
    const Playback playback = play(build(encoded.stream, "ION", true), "ION", 2 * frames.size() + 1);
    ASSERT_EQ(playback.stop, Stop::Returned) << playback.calculator->fault();
    expectScreens(*playback.calculator, frames, 2 * frames.size() + 1);
    const auto& screens = playback.calculator->screens();
    for (std::size_t i = 1; i < screens.size(); ++i) {
        EXPECT_EQ(screens[i].halts - screens[i - 1].halts, static_cast<std::uint64_t>(halts)) << "screen " << i;
    }
    expectCleanExit(playback);
}

class CompactShells : public CompactPlayerTest, public testing::WithParamInterface<std::tuple<std::string, bool>> {};

TEST_P(CompactShells, PlaysLoopsOrWaitsAndStopsOnClear)
{
    const QByteArray shell = QByteArray::fromStdString(std::get<0>(GetParam()));
    const bool looping = std::get<1>(GetParam());
    std::mt19937 random(99);
    const std::vector<Screen> frames = zoetra::test::randomScreenSequence(random, 6);
    const auto file = build(encode(frames).stream, shell, looping);
    ASSERT_FALSE(file.empty());

    expectPlaysInShell(file, shell, looping, frames);
}

INSTANTIATE_TEST_SUITE_P(Compact, CompactShells,
                         testing::Combine(testing::Values("ION", "MIRAGEOS", "NOSHELL"), testing::Bool()),
                         [](const auto& p) {
                             return std::get<0>(p.param) + (std::get<1>(p.param) ? "_looping" : "_once");
                         });

// Noise up to the size limit: the program still fits the calculator, all of
// the decoder's code lies in front of the stream, far below C000h.
TEST_F(CompactPlayerTest, TheLongestVideoFitsAndItsCodeStaysLow)
{
    std::mt19937 random(12);
    std::vector<Screen> frames;
    compact::CompactEncoder encoder;
    for (;;) {
        Screen noise;
        for (auto& b : noise) {
            b = static_cast<std::uint8_t>(random());
        }
        encoder.addFrame(noise);
        if (encoder.size() > 24000) {
            break;
        }
        frames.push_back(noise);
    }
    encoder.reset();
    for (const Screen& frame : frames) {
        encoder.addFrame(frame);
    }
    ASSERT_GT(encoder.size(), 23000);
    encoder.finish();
    const Stream stream = encoder.bytes();
    const auto file = build(stream, "MIRAGEOS", false);
    const auto program = programBytes(file);
    const std::size_t videoStart = program.size() - videoDataSize(stream.size());
    EXPECT_TRUE(std::equal(stream.begin(), stream.end(), program.begin() + static_cast<long>(videoStart)));
    EXPECT_LT(videoStart, 400u);

    const Playback playback = play(file, "MIRAGEOS", std::nullopt);
    ASSERT_EQ(playback.stop, Stop::Returned) << playback.calculator->fault();
    expectScreens(*playback.calculator, frames, frames.size());
    EXPECT_LT(playback.calculator->highestExecuted(), zoetra::calc::ExecutionLimit);
    EXPECT_GE(playback.calculator->highestDataRead(), zoetra::calc::ExecutionLimit);
}

// One frame: shown, then again and again when looping.
TEST_F(CompactPlayerTest, OneFrameVideo)
{
    Screen key = patternScreen(5);
    const Encoded encoded = encode({key});
    const Playback once = play(build(encoded.stream, "NOSHELL", false), "NOSHELL", std::nullopt);
    expectScreens(*once.calculator, {key}, 1);
    expectCleanExit(once);
    const Playback looping = play(build(encoded.stream, "NOSHELL", true), "NOSHELL", 3);
    expectScreens(*looping.calculator, {key}, 3);
    expectCleanExit(looping);
}

}  // namespace
}  // namespace playertest
