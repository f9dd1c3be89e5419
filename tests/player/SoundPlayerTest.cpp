// The player's sound, assembled and played on the emulated calculator: the
// link port's writes against the sound's reference decoder, the video's
// screens and times as without the sound, the ways out, the TI-83 Plus
// silent, under both readings of the facts the documents leave open.
#include "PlayerFixture.h"
#include "calc/Recording.h"
#include "calc/Timing.h"
#include "codec/Codec.h"
#include "codec/dense/DenseEncoder.h"
#include "codec/sound/SoundDecoder.h"
#include "codec/sound/SoundEncoder.h"
#include "program/ArchiveVideo.h"
#include "convert/VideoSound.h"
#include "program/PlayerConfig.h"
#include "program/PlayerTarget.h"
#include "program/SoundVideo.h"
#include "support/ScreenSequences.h"
#include "support/Sounds.h"

#include <QProcess>

#include <algorithm>
#include <map>
#include <random>

namespace playertest {
namespace {

using zoetra::CalculatorModel;
using zoetra::calc::AppVar;
using zoetra::calc::BothReadings;
using zoetra::calc::CalculatorSetup;
using zoetra::calc::Recording;
namespace sound = zoetra::sound;

constexpr double Rate = 15.0;
constexpr int Frames = 30;  // two seconds

// The longest a sample's write may wait behind the interrupt it came in:
// the instruction in progress (23 T-states at most) and the handlers that
// came first: the OS's timer's tick through the sound's handler, and a
// pulse's end that waited for it.
constexpr std::int64_t JitterTStates = 23 + sound::cost::OtherHandler + sound::cost::EndHandler;

// A screen counts as shown when its writes to the LCD have ended: the
// sound's interrupts lengthen a whole screen's show (10 ms at 15 MHz) by
// their share of the time, 12 % at the TI-84 Plus's level, and the counts
// decoded after each look for a due frame delay the next look. A third of
// the OS's timer's tick.
constexpr double ShowSlack = 0.003;

zoetra::VideoTarget soundTarget(bool withSound)
{
    zoetra::VideoTarget target;
    target.model = CalculatorModel::Ti84Plus;
    target.format = zoetra::StreamFormat::Dense;
    target.storage = zoetra::Storage::Archive;
    target.framesPerSecond = Rate;
    target.sound = withSound;
    return target;
}

struct SoundVideo {
    std::vector<Screen> frames;
    std::vector<std::uint8_t> video;
    std::vector<std::uint8_t> sound;
    std::vector<std::uint8_t> program;  // the .8xp
    std::vector<AppVar> appVars;
};

class SoundPlayerTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(folder.isValid()); }

    // The video built for the target, its AppVars (and its sound's).
    SoundVideo build(const SoundVideo& in, const zoetra::VideoTarget& target, bool looping)
    {
        SoundVideo out = in;
        PlayerInputs inputs;
        inputs.varFile = zoetra::VarFileText(QStringLiteral("NOSHELL"), looping ? 1 : 0,
                                             target.format == zoetra::StreamFormat::Compact, target);
        inputs.targetInclude = zoetra::TargetIncludeText(target);
        const QString name = QStringLiteral("VIDEO");
        out.appVars.clear();
        if (target.storage == zoetra::Storage::Ram) {
            inputs.videoData = videoDataText(in.video);
            if (target.sound) {
                folder.write(QString::fromLatin1(zoetra::archive::SoundIncludeName),
                             zoetra::archive::soundIncludeText(0, in.sound, 0, true));
                folder.write(QString::fromLatin1(zoetra::archive::SoundDataName), zoetra::archive::soundDataText(in.sound));
            }
            const BuildResult built = buildPlayer(folder, inputs);
            EXPECT_TRUE(built.programFile.has_value()) << built.output.toStdString();
            out.program = built.programFile.value_or(std::vector<std::uint8_t>{});
            return out;
        }
        folder.write(QString::fromLatin1(zoetra::archive::IncludeName),
                     zoetra::archive::includeText(name, in.video, zoetra::codecFor(target.format).maxFrameBytes));
        const auto videoVars = zoetra::archive::splitIntoAppVars(in.video);
        for (std::size_t i = 0; i < videoVars.size(); ++i) {
            out.appVars.push_back({zoetra::archive::appVarName(name, static_cast<int>(i)).toStdString(), videoVars[i]});
        }
        if (target.sound) {
            const int first = static_cast<int>(videoVars.size());
            const int drift = looping ? zoetra::archive::soundRoundDrift(in.sound, target.framesPerSecond,
                                                                         static_cast<int>(in.frames.size()))
                                      : 0;
            folder.write(QString::fromLatin1(zoetra::archive::SoundIncludeName),
                         zoetra::archive::soundIncludeText(first, in.sound, drift));
            const auto soundVars = zoetra::archive::splitSoundIntoAppVars(first, in.sound);
            for (std::size_t i = 0; i < soundVars.size(); ++i) {
                out.appVars.push_back(
                    {zoetra::archive::appVarName(name, first + static_cast<int>(i)).toStdString(), soundVars[i]});
            }
        }
        const BuildResult built = buildPlayer(folder, inputs);
        EXPECT_TRUE(built.programFile.has_value()) << built.output.toStdString();
        out.program = built.programFile.value_or(std::vector<std::uint8_t>{});
        return out;
    }

    std::map<std::string, std::uint16_t> labels() const { return listedLabels(folder); }

    AppFolder folder;
};

// The frames coded for the target by its own encoder.
std::vector<std::uint8_t> encoded(const std::vector<Screen>& frames, const zoetra::VideoTarget& target)
{
    const auto encoder = zoetra::encoderFor(target);
    encoder->reset();
    for (const Screen& frame : frames) {
        encoder->addFrame(frame);
    }
    encoder->finish();
    return encoder->bytes();
}

// A dense video of random changes and a music-like sound as long as it, at
// the TI-84 Plus's level for a whole music video.
SoundVideo makeVideo(int soundLevel, int frames = Frames, double rate = Rate)
{
    SoundVideo v;
    std::mt19937 random(53);
    v.frames = zoetra::test::randomScreenSequence(random, frames);
    if (frames < Frames) {
        // Light frames, which keep a high rate: a block moving along a row.
        for (int f = 0; f < frames; ++f) {
            Screen screen{};
            for (int y = 0; y < 8; ++y) {
                screen[static_cast<std::size_t>(y * 12 + f)] = 0xFF;
            }
            v.frames[static_cast<std::size_t>(f)] = screen;
        }
    }
    zoetra::dense::DenseEncoder encoder;
    zoetra::VideoTarget target = soundTarget(true);
    target.framesPerSecond = rate;
    encoder.setTarget(target);
    for (const Screen& frame : v.frames) {
        encoder.addFrame(frame);
    }
    encoder.finish();
    v.video = encoder.bytes();
    const std::vector<float> music = zoetra::test::musicLike(sound::InputRate, frames / rate);
    v.sound = sound::encodeSound(music, sound::Levels.at(static_cast<std::size_t>(soundLevel)), {}, {.paths = 8});
    return v;
}

Recording record(const SoundVideo& v, CalculatorModel model, const zoetra::calc::HardwareReadings& readings)
{
    CalculatorSetup setup(model, v.appVars);
    setup.readings = readings;
    return zoetra::calc::recordProgramFile(v.program, setup);
}

// The recorded writes of the lines against the reference decoder's: the
// same lines, each no earlier than its time (from a start found as the
// least delay) and no later than an interrupt's wait; returns the edges
// compared.
std::size_t expectEdgesAsDecoded(const Recording& r, const std::vector<std::uint8_t>& stream)
{
    std::string error;
    const auto decoded = sound::decodeSound(stream, &error);
    EXPECT_TRUE(decoded.has_value()) << error;
    if (!decoded) {
        return 0;
    }
    std::vector<zoetra::LineEdge> played;
    zoetra::LineEdges::Reader reader(r.lineEdges);
    while (const auto edge = reader.next()) {
        played.push_back(*edge);
    }
    const auto step = static_cast<std::int64_t>(zoetra::calc::ClockHz / decoded->clockHz);
    // The whole sound, every pulse ended; until the video's end comes the
    // last pulse again, a steady level: silence.
    EXPECT_GE(played.size(), decoded->edges.size());
    EXPECT_EQ(played.size() % 2, 0U);
    const std::size_t common = std::min(played.size(), decoded->edges.size());
    if (common >= 2) {
        const auto lastPulse = static_cast<std::int64_t>(played[common - 1].clock - played[common - 2].clock);
        for (std::size_t i = common; i + 1 < played.size(); i += 2) {
            const auto pulse = static_cast<std::int64_t>(played[i + 1].clock - played[i].clock);
            EXPECT_LE(std::abs(pulse - lastPulse) / step, 2 * JitterTStates) << "pulse after the end " << i;
        }
    }
    std::int64_t start = INT64_MAX;
    for (std::size_t i = 0; i < common; ++i) {
        start = std::min(start, static_cast<std::int64_t>(played[i].clock) / step -
                                    static_cast<std::int64_t>(decoded->edges[i].clock));
    }
    // Each pulse as long as the decoder's (its count), but where its end
    // waited for the instruction in progress (23 T-states at most) or, now
    // and then, for another interrupt.
    std::size_t asLong = 0;
    for (std::size_t i = 0; i + 1 < common; i += 2) {
        const auto pulse = static_cast<std::int64_t>(played[i + 1].clock - played[i].clock) / step;
        const auto wanted = static_cast<std::int64_t>(decoded->edges[i + 1].clock - decoded->edges[i].clock);
        asLong += std::abs(pulse - wanted) <= 23 ? 1 : 0;
    }
    EXPECT_GE(asLong, common / 2 * 99 / 100) << "pulses as long as the decoder's counts";
    for (std::size_t i = 0; i < common; ++i) {
        EXPECT_EQ(played[i].held, decoded->edges[i].held) << "edge " << i;
        const std::int64_t late =
            static_cast<std::int64_t>(played[i].clock) / step - static_cast<std::int64_t>(decoded->edges[i].clock) - start;
        if (late > JitterTStates) {
            ADD_FAILURE() << "edge " << i << " of " << common << " comes " << late << " T-states late";
            break;
        }
    }
    // The sound starts with the video's first frame (which counts as shown
    // when its writes to the LCD end: a whole screen's take 10 ms, the key
    // frame is decoded first), within half of the 40 ms they may differ.
    const auto firstFrame = static_cast<std::int64_t>(r.startClock()) / step;
    EXPECT_LT(std::abs(start - firstFrame), static_cast<std::int64_t>(0.020 * decoded->clockHz));
    EXPECT_EQ(r.lineEdges.last().held, zoetra::LinesReleased);
    return common;
}

// Played on a TI-84 Plus, under either reading: every write of the lines
// at its time, the video's screens as without the sound and at the same
// times from the first (within ShowSlack), the program waiting for a key at the end
// with the sound stopped.
TEST_F(SoundPlayerTest, TheLinesFollowTheReferenceDecoderAndTheVideoKeepsItsTimes)
{
    const SoundVideo made = makeVideo(2);
    const SoundVideo silent = build(made, soundTarget(false), false);
    const SoundVideo withSound = build(made, soundTarget(true), false);
    for (const auto& readings : BothReadings) {
        const Recording without = record(silent, CalculatorModel::Ti84Plus, readings);
        const Recording with = record(withSound, CalculatorModel::Ti84Plus, readings);
        ASSERT_EQ(with.end, Recording::End::WaitsForKey) << with.fault;
        ASSERT_EQ(without.end, Recording::End::WaitsForKey) << without.fault;
        ASSERT_EQ(with.frames.size(), without.frames.size());
        for (std::size_t i = 0; i < with.frames.size(); ++i) {
            EXPECT_EQ(with.frames[i].pixels, without.frames[i].pixels) << "screen " << i;
            // From the first screen: the sound's start may move the first
            // tick the pace counts from.
            const double apart =
                std::abs(static_cast<double>(with.frames[i].tstates - with.frames[0].tstates) -
                         static_cast<double>(without.frames[i].tstates - without.frames[0].tstates));
            EXPECT_LT(apart, ShowSlack * static_cast<double>(zoetra::calc::CpuHz)) << "screen " << i;
        }
        EXPECT_TRUE(without.lineEdges.empty());
        expectEdgesAsDecoded(with, made.sound);
    }
}

// Every way out leaves the calculator as found (the emulated calculator
// faults on a return with a line held low, a crystal timer still
// interrupting or the OS's timer off): [CLEAR] while the sound plays, a key
// after the end, under either reading; a missing sound AppVar is said and
// nothing plays. On the TI-83 Plus, which has no crystal timers, the video
// plays silently, every screen, without touching ports 30h-38h (a fault).
TEST_F(SoundPlayerTest, EveryWayOutIsCleanAndTheTi83PlusPlaysSilently)
{
    const SoundVideo made = makeVideo(2);
    const SoundVideo built = build(made, soundTarget(true), false);
    std::string error;
    const std::vector<std::uint8_t> program = zoetra::calc::assemblyProgram(built.program, &error);
    ASSERT_FALSE(program.empty()) << error;
    for (const auto& readings : BothReadings) {
        for (const std::optional<std::size_t> clearAfter : {std::optional<std::size_t>(10), std::optional<std::size_t>()}) {
            SCOPED_TRACE(clearAfter ? "[CLEAR]" : "to the end");
            CalculatorSetup setup(CalculatorModel::Ti84Plus, built.appVars);
            setup.readings = readings;
            zoetra::calc::Calculator calculator(setup.model, setup.readings);
            ASSERT_TRUE(zoetra::calc::prepareCalculator(calculator, program, setup, &error)) << error;
            calculator.pressAfterScreens(zoetra::calc::Key::Clear, clearAfter);
            auto stop = calculator.run(StepBudget * 10);
            if (stop == zoetra::calc::Stop::WaitingForKey) {
                EXPECT_FALSE(clearAfter.has_value());
                calculator.press(zoetra::calc::Key::Enter);
                stop = calculator.run(StepBudget);
            }
            ASSERT_EQ(stop, zoetra::calc::Stop::Returned) << calculator.fault();
            const std::vector<zoetra::LineEdge> edges = calculator.takeLineEdges();
            EXPECT_GT(edges.size(), 100U) << "the sound played";
            ASSERT_FALSE(edges.empty());
            EXPECT_EQ(edges.back().held, zoetra::LinesReleased);
            if (clearAfter) {
                EXPECT_LT(calculator.screens().size(), static_cast<std::size_t>(Frames));
            }
        }
    }

    // Without its last sound AppVar.
    std::vector<AppVar> missing = built.appVars;
    missing.pop_back();
    const Recording lacking = zoetra::calc::recordProgramFile(built.program, CalculatorSetup(CalculatorModel::Ti84Plus, missing));
    EXPECT_EQ(lacking.end, Recording::End::Returns) << lacking.fault;
    EXPECT_NE(lacking.printed.find("Missing AppVar"), std::string::npos) << lacking.printed;
    EXPECT_TRUE(lacking.lineEdges.empty());

    for (const auto& readings : BothReadings) {
        const Recording r = record(built, CalculatorModel::Ti83Plus, readings);
        ASSERT_EQ(r.end, Recording::End::WaitsForKey) << r.fault;
        ASSERT_EQ(r.frames.size(), made.frames.size());
        for (std::size_t i = 0; i < r.frames.size(); ++i) {
            EXPECT_EQ(r.frames[i].pixels, made.frames[i]) << "screen " << i;
        }
        EXPECT_TRUE(r.lineEdges.empty());
    }
}

// A looping video's rounds: each round of sound begins where its picture's
// first frame shows again, as in the first round, within a sample and an
// interrupt's wait, over many rounds whose sound at its level is not a
// whole number of samples of the picture's round.
TEST_F(SoundPlayerTest, ALoopingVideosRoundsKeepTheSoundWithThePicture)
{
    constexpr int RoundFrames = 6;
    constexpr double RoundRate = 22.0;
    constexpr int Rounds = 60;
    SoundVideo made = makeVideo(2, RoundFrames, RoundRate);
    zoetra::VideoTarget target = soundTarget(true);
    target.framesPerSecond = RoundRate;
    const SoundVideo built = build(made, target, true);
    const int drift = zoetra::archive::soundRoundDrift(made.sound, RoundRate, RoundFrames);
    ASSERT_GT(std::abs(drift), 32) << "the rounds would keep together without the player's help";
    std::string error;
    const auto decoded = sound::decodeSound(made.sound, &error);
    ASSERT_TRUE(decoded.has_value()) << error;
    const std::vector<std::uint8_t> program = zoetra::calc::assemblyProgram(built.program, &error);
    for (const auto& readings : BothReadings) {
        CalculatorSetup setup(CalculatorModel::Ti84Plus, built.appVars);
        setup.readings = readings;
        zoetra::calc::Calculator calculator(setup.model, setup.readings);
        ASSERT_TRUE(zoetra::calc::prepareCalculator(calculator, program, setup, &error)) << error;
        std::vector<zoetra::LineEdge> edges;
        while (calculator.screens().size() < static_cast<std::size_t>(Rounds * RoundFrames + 2)) {
            ASSERT_EQ(calculator.runToNextScreen(), zoetra::calc::Stop::ScreenShown) << calculator.fault();
            const auto taken = calculator.takeLineEdges();
            edges.insert(edges.end(), taken.begin(), taken.end());
        }
        // Each pulse's length in T-states (15 MHz), and its start.
        std::vector<std::int64_t> pulses;
        std::vector<std::uint64_t> starts;
        for (std::size_t i = 0; i + 1 < edges.size(); i += 2) {
            pulses.push_back(static_cast<std::int64_t>(edges[i + 1].clock - edges[i].clock) / 2);
            starts.push_back(edges[i].clock);
        }
        // A hundred pulses from the 1000th on: past the start, whose level
        // may stand still.
        constexpr std::size_t Into = 1000;
        std::vector<std::int64_t> first;
        for (std::size_t i = 2 * Into; i + 1 < decoded->edges.size() && first.size() < 100; i += 2) {
            first.push_back(static_cast<std::int64_t>(decoded->edges[i + 1].clock - decoded->edges[i].clock));
        }
        // The screens from the first frame's (the LCD cleared comes first).
        const auto& shown = calculator.screens();
        const auto begins = std::find_if(shown.begin(), shown.end(),
                                         [&](const auto& screen) { return screen.pixels == made.frames.front(); });
        ASSERT_NE(begins, shown.end());
        const auto roundStart = [&](int round) {
            return (begins + round * RoundFrames)->tstates * zoetra::calc::ClockPerTState;
        };
        // The round's pulses are the sound's: found where they match, near
        // where the picture's round begins.
        std::optional<double> firstOffset;  // where the first round's sound begins
        const zoetra::FineTicks fine = zoetra::frameTicksFine(zoetra::modelFacts(CalculatorModel::Ti84Plus).timerHz, RoundRate);
        const double roundClock = RoundFrames * (fine.whole + fine.fraction / 65536.0) *
            static_cast<double>(zoetra::calc::ClockHz) / zoetra::modelFacts(CalculatorModel::Ti84Plus).timerHz;
        const double sample = static_cast<double>(zoetra::calc::ClockHz) / decoded->level.samplesPerSecond();
        for (int round = 0; round < Rounds; ++round) {
            SCOPED_TRACE(round);
            const std::uint64_t picture = roundStart(round);
            std::optional<double> offset;
            for (std::size_t k = Into; k + first.size() < pulses.size() && !offset; ++k) {
                const double at = static_cast<double>(starts[k - Into]) - static_cast<double>(picture);
                if (std::abs(at) > 0.04 * zoetra::calc::ClockHz) {
                    continue;
                }
                // A pulse's end waits for the instruction in progress, and
                // now and then for another interrupt.
                std::size_t same = 0;
                for (std::size_t j = 0; j < first.size(); ++j) {
                    same += std::abs(pulses[k + j] - first[j]) <= 23 ? 1 : 0;
                }
                if (same >= first.size() * 9 / 10) {
                    offset = at;
                }
            }
            ASSERT_TRUE(offset.has_value()) << "the round's sound within 40 ms of its picture";
            // The sound's rounds keep the picture's pace: the round's sound
            // where the first's lies, a round of the pace later, to within
            // a sample. (The picture's first frame again, shown whole,
            // lasts a while on the LCD: its own time moves a little.)
            const double sound = static_cast<double>(picture) + *offset;
            if (!firstOffset) {
                firstOffset = sound;
            }
            EXPECT_LT(std::abs(sound - (*firstOffset + round * roundClock)), 1.5 * sample);
        }
    }
}

// Every stream format in every storage carries the sound: the screens as
// given, at their times, and every write of the lines at its time, on a
// TI-84 Plus under either reading; the TI-83 Plus plays each silently.
TEST_F(SoundPlayerTest, EveryFormatAndStorageCarriesTheSound)
{
    SoundVideo made = makeVideo(2, 12, 6.0);
    for (const zoetra::StreamFormat format :
         {zoetra::StreamFormat::Written, zoetra::StreamFormat::Compact, zoetra::StreamFormat::Dense}) {
        for (const zoetra::Storage storage : {zoetra::Storage::Ram, zoetra::Storage::Archive}) {
            SCOPED_TRACE(std::string(zoetra::codecFor(format).key) + (storage == zoetra::Storage::Ram ? " in RAM" : " in the archive"));
            zoetra::VideoTarget target = soundTarget(true);
            target.format = format;
            target.storage = storage;
            target.framesPerSecond = 6.0;
            made.video = encoded(made.frames, target);
            const SoundVideo built = build(made, target, false);
            for (const auto& readings : BothReadings) {
                const Recording r = record(built, CalculatorModel::Ti84Plus, readings);
                ASSERT_EQ(r.end, Recording::End::WaitsForKey) << r.fault;
                ASSERT_EQ(r.frames.size(), made.frames.size());
                for (std::size_t i = 0; i < r.frames.size(); ++i) {
                    EXPECT_EQ(r.frames[i].pixels, made.frames[i]) << "screen " << i;
                    const double late = static_cast<double>(r.frames[i].tstates - r.frames[0].tstates) /
                            static_cast<double>(zoetra::calc::CpuHz) - static_cast<double>(i) / target.framesPerSecond;
                    EXPECT_LT(std::abs(late), 0.02) << "screen " << i;
                }
                expectEdgesAsDecoded(r, made.sound);
            }
            // On the TI-83 Plus: silent, every screen (ports 30h-38h there
            // would be a fault).
            const Recording silent = record(built, CalculatorModel::Ti83Plus, zoetra::calc::HardwareReadings::first());
            ASSERT_EQ(silent.end, Recording::End::WaitsForKey) << silent.fault;
            ASSERT_EQ(silent.frames.size(), made.frames.size());
            EXPECT_EQ(silent.frames.back().pixels, made.frames.back());
            EXPECT_TRUE(silent.lineEdges.empty());
        }
    }
}

// A video in RAM leaves the sound's part of the player the room it takes:
// with every stream format and either code's size (the 4-bit step table is
// the larger), the program with its sound is at most SoundPlayerExtraBytes
// longer than without it, the sound's own stream aside.
TEST_F(SoundPlayerTest, TheSoundsPartTakesNoMoreRamThanItIsLeft)
{
    const SoundVideo light = makeVideo(2, 12, 6.0);
    int most = 0;
    for (const int level : {2, 7}) {
        SoundVideo made = light;
        const std::vector<float> music = zoetra::test::musicLike(sound::InputRate, 0.5);
        made.sound = sound::encodeSound(music, sound::Levels.at(static_cast<std::size_t>(level)), {}, {.paths = 4});
        for (const zoetra::StreamFormat format :
             {zoetra::StreamFormat::Written, zoetra::StreamFormat::Compact, zoetra::StreamFormat::Dense}) {
            zoetra::VideoTarget target = soundTarget(false);
            target.format = format;
            target.storage = zoetra::Storage::Ram;
            target.framesPerSecond = 6.0;
            made.video = encoded(made.frames, target);
            const auto without = static_cast<int>(build(made, target, false).program.size());
            target.sound = true;
            const auto with = static_cast<int>(build(made, target, false).program.size());
            ASSERT_GT(without, 0);
            ASSERT_GT(with, 0);
            const int more = with - without - static_cast<int>(made.sound.size());
            EXPECT_LE(more, zoetra::SoundPlayerExtraBytes) << zoetra::codecFor(format).key << ", level " << level;
            most = std::max(most, more);
        }
    }
    EXPECT_GT(most, zoetra::SoundPlayerExtraBytes - 512);  // and the room kept is not much more
}

// A sound of three AppVars, read across the ends of Flash pages and of
// AppVars (the OS lays them out as it archives them), beside a video read
// across its own: every write of the lines at its time, in the written
// player and the dense one.
TEST_F(SoundPlayerTest, TheSoundIsReadAcrossPagesAndAppVars)
{
    const SoundVideo made = makeVideo(2, 26, 1.0);
    ASSERT_GT(made.sound.size(), static_cast<std::size_t>(2 * zoetra::archive::StreamBytesPerAppVar));
    for (const zoetra::StreamFormat format : {zoetra::StreamFormat::Dense, zoetra::StreamFormat::Written}) {
        SCOPED_TRACE(std::string(zoetra::codecFor(format).key));
        zoetra::VideoTarget target = soundTarget(true);
        target.format = format;
        target.framesPerSecond = 1.0;
        SoundVideo video = made;
        video.video = encoded(made.frames, target);
        const SoundVideo built = build(video, target, false);
        ASSERT_EQ(built.appVars.size() - zoetra::archive::appVarCount(video.video.size()), 3U);
        const Recording r = record(built, CalculatorModel::Ti84Plus, zoetra::calc::HardwareReadings::second());
        ASSERT_EQ(r.end, Recording::End::WaitsForKey) << r.fault;
        ASSERT_EQ(r.frames.size(), made.frames.size());
        expectEdgesAsDecoded(r, made.sound);
    }
}

// [CLEAR] pressed briefly between two frames of a slow video (two a second;
// the keypad shows a press for a tenth of a second) ends it at the next
// frame, with the dense player and with the written one: the player looks
// at the key while it waits, as the OS's handler, which does not run with
// the sound, would have.
TEST_F(SoundPlayerTest, ABriefClearBetweenSlowFramesEndsTheVideo)
{
    const SoundVideo made = makeVideo(2, 8, 2.0);
    for (const zoetra::StreamFormat format : {zoetra::StreamFormat::Dense, zoetra::StreamFormat::Written}) {
        SCOPED_TRACE(std::string(zoetra::codecFor(format).key));
        zoetra::VideoTarget target = soundTarget(true);
        target.format = format;
        target.framesPerSecond = 2.0;
        SoundVideo video = made;
        video.video = encoded(made.frames, target);
        const SoundVideo built = build(video, target, false);
        std::string error;
        CalculatorSetup setup(CalculatorModel::Ti84Plus, built.appVars);
        zoetra::calc::Calculator calculator(setup.model, setup.readings);
        ASSERT_TRUE(zoetra::calc::prepareCalculator(calculator, zoetra::calc::assemblyProgram(built.program, &error),
                                                    setup, &error))
            << error;
        while (calculator.screens().size() < 3) {
            ASSERT_EQ(calculator.runToNextScreen(), zoetra::calc::Stop::ScreenShown) << calculator.fault();
        }
        // A quarter of a second after the third screen, before the fourth.
        calculator.runUntilTime(calculator.screens().back().tstates + zoetra::calc::CpuHz / 4);
        calculator.press(zoetra::calc::Key::Clear);
        const auto stop = calculator.run(StepBudget * 10);
        ASSERT_EQ(stop, zoetra::calc::Stop::Returned) << calculator.fault();
        EXPECT_LE(calculator.screens().size(), 5U);
    }
}

// The decoding in the main loop takes no more than the sound's cost table
// says a sample (the clock's share a level takes rests on it): every fill of
// 16 counts or more, with 2-bit and with 4-bit codes, interrupts aside.
TEST_F(SoundPlayerTest, TheDecodingTakesNoMoreThanItsCost)
{
    for (const int level : {2, 7}) {
        SCOPED_TRACE(level);
        const SoundVideo made = makeVideo(level, 12, 6.0);
        zoetra::VideoTarget target = soundTarget(true);
        target.framesPerSecond = 6.0;
        SoundVideo video = made;
        zoetra::dense::DenseEncoder encoder;
        encoder.setTarget(target);
        for (const Screen& frame : made.frames) {
            encoder.addFrame(frame);
        }
        encoder.finish();
        video.video = encoder.bytes();
        const SoundVideo built = build(video, target, false);
        const auto at = labels();
        ASSERT_TRUE(at.contains("SOUNDFILL") && at.contains("SOUNDLEFT"));
        std::string error;
        CalculatorSetup setup(CalculatorModel::Ti84Plus, built.appVars);
        zoetra::calc::Calculator calculator(setup.model, setup.readings);
        ASSERT_TRUE(zoetra::calc::prepareCalculator(calculator, zoetra::calc::assemblyProgram(built.program, &error),
                                                    setup, &error))
            << error;
        const auto left = [&] {
            const std::uint16_t a = at.at("SOUNDLEFT");
            return calculator.peek(a) | calculator.peek(static_cast<std::uint16_t>(a + 1)) << 8 |
                calculator.peek(static_cast<std::uint16_t>(a + 2)) << 16;
        };
        double most = 0.0;
        int fills = 0;
        for (long n = 0; n < 200'000'000 && !calculator.returned() && !calculator.faulted() && !calculator.waitingForKey();
             ++n) {
            if (calculator.pc() != at.at("SOUNDFILL")) {
                calculator.step();
                continue;
            }
            const std::uint16_t entrySp = calculator.sp();
            const int before = left();
            const auto start = static_cast<std::int64_t>(calculator.programTStates());
            std::int64_t handlers = 0;
            calculator.step();
            while (calculator.sp() <= entrySp && !calculator.faulted()) {
                const std::uint64_t interrupts = calculator.interrupts();
                calculator.step();
                if (calculator.interrupts() != interrupts) {
                    const std::uint16_t handlerSp = calculator.sp();
                    const auto from = static_cast<std::int64_t>(calculator.programTStates());
                    while (calculator.sp() <= handlerSp && !calculator.faulted()) {
                        calculator.step();
                    }
                    handlers += static_cast<std::int64_t>(calculator.programTStates()) - from;
                }
            }
            const int samples = before - left();
            if (samples >= 16) {
                const auto spent = static_cast<std::int64_t>(calculator.programTStates()) - start - handlers;
                most = std::max(most, static_cast<double>(spent) / samples);
                ++fills;
            }
        }
        ASSERT_FALSE(calculator.faulted()) << calculator.fault();
        EXPECT_GT(fills, 20);
        const int cost = sound::Levels.at(static_cast<std::size_t>(level)).bits == 2 ? sound::cost::Decode2
                                                                                    : sound::cost::Decode4;
        EXPECT_LE(most, cost);
        EXPECT_GT(most, cost - 40);  // and the cost is not far above it
    }
}

}  // namespace
}  // namespace playertest
