// The DENSE decoder and its player loop, assembled and played on the emulated
// calculator, against the encoder and the reference decoder: the same
// screens in order, each at its tick, looping or not, in every shell, and
// [CLEAR].
#include "PlayerFixture.h"
#include "codec/dense/DenseDecoder.h"
#include "codec/dense/DenseDelivery.h"
#include "codec/dense/DenseEncoder.h"
#include "program/ArchiveVideo.h"
#include "program/PlayerTarget.h"
#include "support/ScreenSequences.h"

#include <QProcess>

#include <map>
#include <random>
#include <set>
#include <string>
#include <tuple>

namespace playertest {
namespace {

using zoetra::calc::Stop;
namespace dense = zoetra::dense;
// The Z80's acceptance of an interrupt in mode 2: before the handler runs.
constexpr std::uint64_t ImTwoAcceptTStates = 19;

// The player's 16-bit variable at `label`.
int wordAt(const zoetra::calc::Calculator& calculator, const std::map<std::string, std::uint16_t>& labels,
           const char* label)
{
    const std::uint16_t at = labels.at(label);
    return calculator.peek(at) | calculator.peek(static_cast<std::uint16_t>(at + 1)) << 8;
}

zoetra::VideoTarget denseTarget()
{
    zoetra::VideoTarget target;
    target.format = zoetra::StreamFormat::Dense;
    return target;
}

std::vector<std::uint8_t> encode(const std::vector<Screen>& frames, dense::DenseEncoder::Narrowing narrowing = {},
                                 const zoetra::VideoTarget& target = denseTarget())
{
    dense::DenseEncoder encoder;
    encoder.setTarget(target);
    encoder.narrowWays(narrowing);
    for (const Screen& frame : frames) {
        encoder.addFrame(frame);
    }
    encoder.finish();
    std::string error;
    const auto decoded = dense::decodeDenseVideo(encoder.bytes(), &error);
    EXPECT_TRUE(decoded.has_value()) << error;
    if (decoded) {
        EXPECT_EQ(decoded->frames, frames);
    }
    return encoder.bytes();
}

class DensePlayerTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(folder.isValid()); }

    std::vector<std::uint8_t> build(const Stream& stream, const QByteArray& shellWord, bool looping,
                                    const zoetra::VideoTarget& target = denseTarget())
    {
        PlayerInputs inputs;
        inputs.varFile = "\r\n#define " + shellWord + (looping ? "\r\n#define LOOPING" : "") +
            "\r\n#define PACED\r\n#define DENSE\r\n";
        inputs.targetInclude = zoetra::TargetIncludeText(target);
        // Garbage after the stream that would show if it were read.
        inputs.videoData = videoDataText(stream, 0x5A);
        const BuildResult result = buildPlayer(folder, inputs);
        EXPECT_TRUE(result.programFile.has_value()) << result.output.toStdString();
        return result.programFile.value_or(std::vector<std::uint8_t>{});
    }

    std::map<std::string, std::uint16_t> labels() const { return listedLabels(folder); }

    AppFolder folder;
};

// The T-states of each frame the player decodes, from the decoder's entry
// to its return, less the body of each check for a due frame, of each wait
// for the ring's room and of the timer's interrupts;
// each interrupt's T-states from its acceptance to its return into `ticks`,
// and the bytes each frame's record takes of the ring into `records`.
std::vector<std::int64_t> decodingTStates(const std::vector<std::uint8_t>& programFile,
                                          const std::map<std::string, std::uint16_t>& labels,
                                          std::vector<std::uint64_t>* ticks = nullptr,
                                          std::vector<int>* records = nullptr, std::size_t most = SIZE_MAX)
{
    zoetra::calc::Calculator calculator;
    std::string error;
    EXPECT_TRUE(calculator.loadProgramFile(programFile, &error)) << error;
    calculator.start(shellEntry(programBytes(programFile), "NOSHELL"));
    const std::uint16_t decode = labels.at("DECODEAHEAD");
    const std::uint16_t check = labels.at("SHOWIFDUE");
    const std::uint16_t wait = labels.at("WHOLEROOM");
    const auto stopped = [&] { return calculator.faulted() || calculator.returned() || calculator.waitingForKey(); };
    std::vector<std::int64_t> frames;
    while (frames.size() < most) {
        // Up to the next frame's decoding, or the video's end.
        while (calculator.pc() != decode && !stopped()) {
            calculator.step();
        }
        if (calculator.pc() != decode) {
            break;
        }
        const std::uint16_t entrySp = calculator.sp();
        const int recordAt = wordAt(calculator, labels, "RINGWRITE");
        auto t = static_cast<std::int64_t>(calculator.programTStates());
        const auto start = t;
        std::int64_t excluded = 0;
        while (calculator.sp() <= entrySp && !calculator.faulted()) {
            if (calculator.pc() == check || calculator.pc() == wait) {
                const std::uint16_t checkSp = calculator.sp();
                const auto before = static_cast<std::int64_t>(calculator.programTStates());
                while (calculator.sp() <= checkSp && !calculator.faulted()) {
                    calculator.step();
                }
                excluded += static_cast<std::int64_t>(calculator.programTStates()) - before;
                continue;
            }
            const std::uint64_t interrupts = calculator.interrupts();
            calculator.step();
            if (calculator.interrupts() != interrupts) {
                // The interrupt came after the step's instruction: its
                // handler runs until it returns there.
                const std::uint16_t handlerSp = calculator.sp();
                const auto before = static_cast<std::int64_t>(calculator.programTStates());
                const std::uint64_t clock = calculator.tstates();
                while (calculator.sp() <= handlerSp && !calculator.faulted()) {
                    calculator.step();
                }
                excluded += static_cast<std::int64_t>(calculator.programTStates()) - before;
                if (ticks != nullptr) {
                    ticks->push_back(calculator.tstates() - clock + ImTwoAcceptTStates);
                }
            }
        }
        t = static_cast<std::int64_t>(calculator.programTStates());
        frames.push_back(t - start - excluded);
        if (records != nullptr) {
            records->push_back(wordAt(calculator, labels, "RINGWRITE") - recordAt);
        }
    }
    EXPECT_FALSE(calculator.faulted()) << calculator.fault();
    return frames;
}

// The decoder on the calculator takes exactly the T-states the reference
// decoder counts, frame by frame: coded, with copied rows, raw rows (packed
// or not), solid blocks, compact and raw frames, every kind of decision and
// state change, and new stream bytes.
TEST_F(DensePlayerTest, EachFrameTakesTheReferenceDecodersTStates)
{
    std::mt19937 random(77);
    int compared = 0;
    int copyFrames = 0;
    int keptFrames = 0;
    int copyRawRowFrames = 0;
    int packedFrames = 0;
    int solidFrames = 0;
    int solidBlocks = 0;
    int compactFrames = 0;
    int largeFrames = 0;
    std::size_t tickCount = 0;
    int oneRowRecords = 0;
    for (int sequence = 0; sequence < 20; ++sequence) {
        SCOPED_TRACE(sequence);
        // Then edge bytes, which go as packed rows; the last ones compact
        // wherever they can.
        const bool compact = sequence >= 16;
        std::vector<Screen> frames = sequence < 12 || compact
            ? zoetra::test::randomScreenSequence(random, compact ? 8 : 6)
            : zoetra::test::screensOfBytes(random, 3, dense::EdgeBytes, 0x5A);
        const auto stream = encode(frames, {.copyRowsOnly = sequence % 2 == 1,
                                            .packedOnly = sequence % 4 >= 2,
                                            .keptRowsOnly = sequence % 8 >= 5,
                                            .solidBlocksOnly = sequence % 3 == 0,
                                            .compactOnly = compact});
        std::string error;
        const auto reference = dense::decodeDenseVideo(stream, &error);
        ASSERT_TRUE(reference.has_value()) << error;
        const auto program = build(stream, "NOSHELL", false);
        std::vector<std::uint64_t> ticks;
        std::vector<int> records;
        const auto measured = decodingTStates(program, labels(), &ticks, &records);
        // Every tick takes what the schedule leaves it: the OS's handler
        // and the player's own around it.
        for (const std::uint64_t tick : ticks) {
            EXPECT_EQ(tick, zoetra::OsInterruptTStates + dense::TickTStates);
        }
        tickCount += ticks.size();
        ASSERT_FALSE(measured.empty());
        if (sequence % 4 == 0) {
            // Looping: the video's end and the player's restart, then the
            // first frames again, each as the first time.
            const auto loopingProgram = build(stream, "NOSHELL", true);
            const auto looped = decodingTStates(loopingProgram, labels(), nullptr, nullptr,
                                                reference->tStates.size() + 2);
            const std::size_t end = reference->tStates.size();
            ASSERT_EQ(looped.size(), end + 2);
            EXPECT_EQ(looped[end], reference->endTStates + dense::cost::Restart + reference->tStates[0]);
            EXPECT_EQ(looped[end + 1], reference->tStates[1]);
        }
        for (std::size_t f = 0; f < measured.size() && f < reference->tStates.size(); ++f) {
            EXPECT_EQ(measured[f], reference->tStates[f])
                << "frame " << f << (reference->raw[f] ? " raw" : reference->rawRows[f] ? " raw rows" : "")
                << (reference->compact[f] ? " compact" : "")
                << (reference->packed[f] ? " packed" : "")
                << (reference->copyRows[f] ? " copied rows" : "") << (reference->keptRows[f] ? " kept rows" : "")
                << (reference->solidBlocks[f] ? " solid blocks" : "") << ", " << reference->changedBlocks[f]
                << " blocks changed, " << reference->pixels[f] << " pixels";
            // Its record takes of the ring what the schedule counts (a frame
            // whose record starts the ring again is left out).
            const Screen before = f > 0 ? reference->frames[f - 1] : Screen{};
            const bool whole = reference->raw[f] || reference->compact[f];
            const std::vector<int> blockBytes = dense::blockRecordBytes(before, reference->frames[f]);
            if (records[f] > 0) {
                EXPECT_EQ(records[f], whole ? dense::ScreenRecordsBytes : dense::recordsBytes(blockBytes))
                    << "frame " << f;
                oneRowRecords += whole ? 0 : static_cast<int>(std::count(blockBytes.begin(), blockBytes.end(),
                                                                          dense::OneRowRecordBytes));
            }
            ++compared;
            copyFrames += reference->copyRows[f] ? 1 : 0;
            keptFrames += reference->keptRows[f] ? 1 : 0;
            copyRawRowFrames += reference->copyRows[f] && reference->rawRows[f] ? 1 : 0;
            packedFrames += reference->packed[f] ? 1 : 0;
            compactFrames += reference->compact[f] ? 1 : 0;
            largeFrames += reference->large[f] ? 1 : 0;
            if (reference->solidBlocks[f]) {
                // Blocks that changed and came out solid.
                ++solidFrames;
                const Screen& now = reference->frames[f];
                for (int block = 0; block < dense::BlockCount; ++block) {
                    solidBlocks += dense::blockDiffers(now, before, block) && dense::solidBlock(now, block) ? 1 : 0;
                }
            }
        }
    }
    EXPECT_GT(packedFrames, 2);
    EXPECT_GT(compared, 24);
    EXPECT_GT(copyFrames, 8);
    EXPECT_GT(copyRawRowFrames, 0);
    EXPECT_GT(keptFrames, 4);
    EXPECT_GT(solidFrames, 4);
    EXPECT_GT(solidBlocks, 4);
    EXPECT_GT(compactFrames, 8);
    EXPECT_GT(largeFrames, 2);
    EXPECT_GT(tickCount, 20U);  // the decoder was interrupted often
    EXPECT_GT(oneRowRecords, 20);
}

// A dense video in RAM is allowed DensePlayerExtraBytes less than the
// written one because its player takes at most that much more: the same
// video data with either player, the dense one counted with all of the
// room its ring and timer's vectors may take (what it leaves depends on
// where the program's buffers begin in a page).
TEST_F(DensePlayerTest, ThePlayerTakesNoMoreRamThanTheLimitLeavesIt)
{
    int most = 0;
    for (const bool looping : {false, true}) {
        const QByteArray loop = looping ? "#define LOOPING\r\n" : "";
        PlayerInputs inputs;
        inputs.videoData = videoDataText(Stream(1000, 0x5A));
        inputs.varFile = "\r\n#define NOSHELL\r\n" + loop;
        const BuildResult written = buildPlayer(folder, inputs);
        ASSERT_TRUE(written.programFile.has_value()) << written.output.toStdString();
        inputs.varFile = "\r\n#define NOSHELL\r\n" + loop + "#define PACED\r\n#define DENSE\r\n";
        inputs.targetInclude = zoetra::TargetIncludeText(denseTarget());
        const BuildResult dense = buildPlayer(folder, inputs);
        ASSERT_TRUE(dense.programFile.has_value()) << dense.output.toStdString();
        const auto labelled = labels();
        ASSERT_TRUE(labelled.contains("RING") && labelled.contains("TICKTABLE"));
        const int roomLeft = labelled.at("RING") + dense::RingRoomBytes - labelled.at("TICKTABLE") -
            dense::TimerVectorBytes;
        ASSERT_GE(roomLeft, 0);
        const auto more = static_cast<int>(dense.programFile->size()) + roomLeft -
            static_cast<int>(written.programFile->size());
        EXPECT_LE(more, zoetra::DensePlayerExtraBytes) << (looping ? "looping" : "once");
        most = std::max(most, more);
    }
    EXPECT_GT(most, zoetra::DensePlayerExtraBytes - 64);  // and the limit gives away little
}

// The ring the player decodes into is at least the one the encoder's
// schedule counts on: the small one with the video in RAM, the larger one
// with the video in the archive, wherever the program's buffers begin in a
// page (descriptions of other lengths move them). The timer's vectors
// follow it at a page's start, within the room kept for both.
TEST_F(DensePlayerTest, ItsRingIsTheOneTheEncoderPacesBy)
{
    const Stream stream(1000, 0x5A);
    std::set<int> offsets;
    for (const zoetra::Storage storage : {zoetra::Storage::Ram, zoetra::Storage::Archive}) {
        for (const int descriptionLength : {1, 90, 170, 250}) {
            zoetra::VideoTarget target = denseTarget();
            target.storage = storage;
            PlayerInputs inputs;
            inputs.varFile = QByteArray("\r\n#define MIRAGEOS\r\n#define PACED\r\n#define DENSE\r\n") +
                (storage == zoetra::Storage::Archive ? "#define ARCHIVE\r\n" : "");
            inputs.description = ".db \"" + QByteArray(descriptionLength, 'd') + "\",0\r\n";
            inputs.targetInclude = zoetra::TargetIncludeText(target);
            inputs.videoData = videoDataText(stream);
            folder.write(QString::fromLatin1(zoetra::archive::IncludeName),
                         zoetra::archive::includeText(QStringLiteral("VIDEO"), stream, dense::ScreenSize + 8));
            const BuildResult built = buildPlayer(folder, inputs);
            ASSERT_TRUE(built.programFile.has_value()) << built.output.toStdString();
            const auto labelled = labels();
            ASSERT_TRUE(labelled.contains("RING") && labelled.contains("RINGEND") && labelled.contains("TICKTABLE"));
            const int ring = labelled.at("RING");
            const int ringEnd = labelled.at("RINGEND");
            const int room = storage == zoetra::Storage::Archive ? dense::ArchiveRingRoomBytes : dense::RingRoomBytes;
            EXPECT_GE(ringEnd - ring, dense::ringBytesFor(target)) << descriptionLength;
            EXPECT_EQ(labelled.at("TICKTABLE"), ringEnd);
            EXPECT_EQ(ringEnd % 256, 0);
            EXPECT_LE(ringEnd + dense::TimerVectorBytes, ring + room);
            EXPECT_GT(ringEnd + dense::TimerVectorBytes, ring + room - 256);
            offsets.insert(ring % 256);
        }
    }
    EXPECT_GE(offsets.size(), 6U);  // the buffers began at many places in a page
    EXPECT_GT(dense::ArchiveRingBytes, dense::RingBytes);
}

// The player's tables of state changes are the format's, size by size (the
// largest size's LPS swaps the values instead, its entry unused).
TEST_F(DensePlayerTest, ItsStateChangesAreTheFormats)
{
    const auto program = build(Stream(1000, 0x5A), "NOSHELL", false);
    const auto labelled = labels();
    ASSERT_TRUE(labelled.contains("NEXTMPSTABLE") && labelled.contains("NEXTLPSTABLE"));
    zoetra::calc::Calculator calculator;
    std::string error;
    ASSERT_TRUE(calculator.loadProgramFile(program, &error)) << error;
    calculator.start(shellEntry(programBytes(program), "NOSHELL"));
    for (const std::uint8_t size : dense::LpsSizes) {
        const auto at = [&](const char* table) {
            return calculator.peek(static_cast<std::uint16_t>(labelled.at(table) + size));
        };
        EXPECT_EQ(at("NEXTMPSTABLE"), dense::nextAfterMps(size)) << int{size};
        if (size != dense::InitialState) {
            EXPECT_EQ(at("NEXTLPSTABLE"), dense::nextAfterLps(size)) << int{size};
        }
    }
}

// A looping video keeps its rate over its rounds: at 20 frames a second on
// the TI-83 Plus (a frame every 5.9 ticks, no whole number), each of three
// rounds lasts its frames' time to within 0.5 %, and each round's first
// frame again is shown at its tick. The stream is the one a conversion
// delivers for a looping video; one clip's key frame is dots all over,
// which pixel by pixel would take far longer than a frame's time when a
// round begins again.
TEST_F(DensePlayerTest, ALoopingVideoKeepsItsRateOverThreeRounds)
{
    zoetra::VideoTarget target = denseTarget();
    target.framesPerSecond = 20.0;
    std::mt19937 random(31);
    for (const bool dottedKey : {false, true}) {
        SCOPED_TRACE(dottedKey);
        // Scattered dots in 30 blocks, new in every frame.
        std::vector<Screen> frames(30);
        for (Screen& frame : frames) {
            const bool all = dottedKey && &frame == &frames.front();
            for (int y = 0; y < (all ? 64 : 24); ++y) {
                for (int column = 0; column < (all ? 12 : 10); ++column) {
                    frame[static_cast<std::size_t>(y * 12 + column)] =
                        static_cast<std::uint8_t>(0x80u >> (random() % 8));
                }
            }
        }
        const auto encoder = zoetra::deliveryEncoder(zoetra::resolveTarget(target), true);
        for (const Screen& frame : frames) {
            encoder->addFrame(frame);
        }
        encoder->finish();
        const auto outcome = dynamic_cast<const dense::DenseDelivery&>(*encoder).outcome();
        ASSERT_EQ(outcome.format, zoetra::StreamFormat::Dense);
        if (dottedKey) {
            EXPECT_TRUE(outcome.fastKeyFrame);
        }
        EXPECT_EQ(outcome.lateFrames + outcome.roundLateFrames, 0);

        const std::size_t count = frames.size();
        const auto program = build(encoder->bytes(), "NOSHELL", true, target);
        const Playback playback = play(program, "NOSHELL", 3 * count + 1);
        ASSERT_EQ(playback.stop, Stop::Returned) << playback.calculator->fault();
        expectScreens(*playback.calculator, frames, 3 * count + 1);
        const auto& screens = playback.calculator->screens();
        const double period = zoetra::modelFacts(zoetra::CalculatorModel::Ti83Plus).slowCpuHz / target.framesPerSecond;
        for (std::size_t round = 0; round < 3; ++round) {
            SCOPED_TRACE(round);
            const std::size_t first = round * count;
            const auto lasted = static_cast<double>(screens[first + count].tstates - screens[first].tstates);
            EXPECT_NEAR(lasted, static_cast<double>(count) * period, 0.005 * static_cast<double>(count) * period);
            for (std::size_t i = first + 1; i <= first + count; ++i) {
                EXPECT_LT(static_cast<double>(screens[i].tstates - screens[i - 1].tstates), 1.5 * period)
                    << "screen " << i;
            }
        }
        // Each round's first frame again at its tick.
        const auto labelled = labels();
        zoetra::calc::Calculator calculator;
        std::string error;
        ASSERT_TRUE(calculator.loadProgramFile(program, &error)) << error;
        calculator.start(shellEntry(programBytes(program), "NOSHELL"));
        for (std::size_t i = 0; i <= 3 * count; ++i) {
            ASSERT_EQ(calculator.runUntil(labelled.at("ONTIME"), 100'000'000), Stop::ReachedAddress) << "screen " << i;
            if (i % count == 0) {
                EXPECT_EQ(wordAt(calculator, labelled, "TICKS"), wordAt(calculator, labelled, "DUE")) << "screen " << i;
            }
            calculator.step();
        }
    }
}

// Compact frames are put together in the ring's free room, before the
// frame's records go there: a looping video of compact frames (each changes
// every other byte) shows every screen of every round as it was given.
TEST_F(DensePlayerTest, ALoopingVideoOfCompactFramesShowsEveryRoundWhole)
{
    std::mt19937 random(404);
    for (int sequence = 0; sequence < 3; ++sequence) {
        SCOPED_TRACE(sequence);
        std::vector<Screen> frames(12);
        for (std::size_t f = 0; f < frames.size(); ++f) {
            frames[f] = f > 0 ? frames[f - 1] : Screen{};
            for (std::size_t i = (f + static_cast<std::size_t>(sequence)) % 2; i < frames[f].size(); i += 2) {
                frames[f][i] = static_cast<std::uint8_t>(random());
            }
        }
        const auto stream = encode(frames, {.compactOnly = true});
        const auto decoded = dense::decodeDenseVideo(stream);
        ASSERT_TRUE(decoded.has_value());
        EXPECT_EQ(std::count(decoded->compact.begin(), decoded->compact.end(), true), 12);
        const Playback playback = play(build(stream, "NOSHELL", true), "NOSHELL", 3 * frames.size());
        ASSERT_EQ(playback.stop, Stop::Returned) << playback.calculator->fault();
        expectScreens(*playback.calculator, frames, 3 * frames.size());
    }
}

// Random sequences, at rates whose frames take a whole number of ticks and
// not, on the TI-83 Plus and at 15 MHz on the TI-84 Plus: every screen as
// the encoder was given it, in order, and where the encoder's schedule has
// no frame late, each frame's display begins at its tick by the player's
// own clock (the first at the tick the pace starts from).
TEST_F(DensePlayerTest, RandomSequencesShowTheirScreensAtTheirTicks)
{
    std::mt19937 random(2026);
    int onTime = 0;
    for (const auto& [model, rate] : {std::pair{zoetra::CalculatorModel::Ti83Plus, zoetra::WrittenFramesPerSecond},
                                      std::pair{zoetra::CalculatorModel::Ti83Plus, 30.0},
                                      std::pair{zoetra::CalculatorModel::Ti84Plus, 20.0}}) {
        zoetra::VideoTarget target = denseTarget();
        target.model = model;
        target.framesPerSecond = rate;
        for (int sequence = 0; sequence < 3; ++sequence) {
            SCOPED_TRACE(testing::Message() << rate << " frames a second, sequence " << sequence);
            const std::vector<Screen> frames = zoetra::test::randomScreenSequence(random, 16);
            dense::DenseEncoder encoder;
            encoder.setTarget(target);
            for (const Screen& frame : frames) {
                encoder.addFrame(frame);
            }
            encoder.finish();
            const auto program = build(encoder.bytes(), "NOSHELL", false, target);
            const auto labelled = labels();
            zoetra::calc::Calculator calculator(model);
            std::string error;
            ASSERT_TRUE(calculator.loadProgramFile(program, &error)) << error;
            calculator.start(shellEntry(programBytes(program), "NOSHELL"));
            for (std::size_t i = 0; i < frames.size(); ++i) {
                ASSERT_EQ(calculator.runUntil(labelled.at("ONTIME"), 100'000'000), Stop::ReachedAddress)
                    << "screen " << i;
                if (encoder.pacing().keepsUp) {
                    EXPECT_EQ(wordAt(calculator, labelled, "TICKS"), wordAt(calculator, labelled, "DUE"))
                        << "screen " << i;
                }
                calculator.step();
            }
            onTime += encoder.pacing().keepsUp ? 1 : 0;
            ASSERT_EQ(calculator.run(StepBudget), Stop::WaitingForKey) << calculator.fault();
            expectScreens(calculator, frames, frames.size());
        }
    }
    EXPECT_GE(onTime, 7);
}

// Where the ring's end is near, a frame's rows of blocks go on at the ring's
// start in the middle of the frame, and a raw frame goes there whole; a raw
// frame, or a coded one whose records are large, waits for their room; the
// player shows every screen all the same.
TEST_F(DensePlayerTest, RecordsGoOnAtTheRingsStartMidFrameOrWhole)
{
    std::mt19937 random(23);
    std::vector<Screen> frames;
    Screen screen{};
    for (int f = 0; f < 60; ++f) {
        if (f % 9 == 8) {
            for (auto& byte : screen) {
                byte = static_cast<std::uint8_t>(random());  // noise: a raw frame
            }
        } else {
            // A third of the blocks take a new pattern: records of about 320
            // bytes; in every ninth frame half of them take stripes, quick to
            // decode: large records.
            const bool large = f % 9 == 4;
            for (int block = large ? f % 2 : f % 3; block < dense::BlockCount; block += large ? 2 : 3) {
                const int column = block % dense::BlockColumns;
                const int top = block / dense::BlockColumns * 8;
                for (int y = top; y < top + 8; ++y) {
                    screen[static_cast<std::size_t>(y * dense::BytesPerRow + column)] = large
                        ? static_cast<std::uint8_t>((y + f) % 2 == 0 ? 0xFF : 0x00)
                        : static_cast<std::uint8_t>(0x0F << (y + f) % 5 | (f & 1));
                }
            }
        }
        frames.push_back(screen);
    }
    const auto stream = encode(frames);
    const auto decoded = dense::decodeDenseVideo(stream);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_GE(std::count(decoded->large.begin(), decoded->large.end(), true), 3);
    const auto program = build(stream, "NOSHELL", false);
    const Playback playback = play(program, "NOSHELL", std::nullopt);
    ASSERT_EQ(playback.stop, Stop::Returned) << playback.calculator->fault();
    expectScreens(*playback.calculator, frames, frames.size());
    expectCleanExit(playback);

    // Every way was taken on the way, and the display followed the blocks
    // to the start.
    const auto labelled = labels();
    for (const char* label : {"ROWWRAPS", "RECORDSWRAP", "WHOLEWRAPS", "WHOLEWAITS"}) {
        SCOPED_TRACE(label);
        zoetra::calc::Calculator calculator;
        std::string error;
        ASSERT_TRUE(calculator.loadProgramFile(program, &error)) << error;
        calculator.start(shellEntry(programBytes(program), "NOSHELL"));
        EXPECT_EQ(calculator.runUntil(labelled.at(label), 500'000'000), Stop::ReachedAddress);
    }
}

// After the first frame only changed blocks go to the LCD; a frame that
// changes nothing is still shown, with the screen as it was, whether or
// not the top left block changed before it.
TEST_F(DensePlayerTest, OnlyChangedBlocksAreWrittenAndAFrameOfNoChangeIsShownToo)
{
    std::vector<Screen> frames(1);
    for (std::size_t i = 0; i < frames[0].size(); ++i) {
        frames[0][i] = static_cast<std::uint8_t>(i * 37 % 251);
    }
    const auto next = [&](std::size_t at, std::uint8_t value) {
        Screen screen = frames.back();
        if (at < screen.size()) {
            screen[at] = value;
        }
        frames.push_back(screen);
    };
    next(SIZE_MAX, 0);  // nothing changes
    next(0, 0xC3);      // the top left byte
    next(SIZE_MAX, 0);
    next(767, 0x18);    // the bottom right byte
    next(SIZE_MAX, 0);
    next(SIZE_MAX, 0);
    next(12 * 8 + 1, 0x7E);
    const Playback playback = play(build(encode(frames), "NOSHELL", false), "NOSHELL", std::nullopt);
    ASSERT_EQ(playback.stop, Stop::Returned) << playback.calculator->fault();
    expectScreens(*playback.calculator, frames, frames.size());
    expectCleanExit(playback);
}

class DenseShells : public DensePlayerTest, public testing::WithParamInterface<std::tuple<std::string, bool>> {};

// Every shell, looping or not: the screens in order (a looping video starts
// over with its first), a key awaited at the end of one that does not loop,
// [CLEAR] ending either at once, the calculator left as found, and the code
// below C000h.
TEST_P(DenseShells, PlaysLoopsOrWaitsAndStopsOnClear)
{
    const QByteArray shell = QByteArray::fromStdString(std::get<0>(GetParam()));
    const bool looping = std::get<1>(GetParam());
    std::mt19937 random(99);
    const std::vector<Screen> frames = zoetra::test::randomScreenSequence(random, 6);
    const auto file = build(encode(frames), shell, looping);
    ASSERT_FALSE(file.empty());

    expectPlaysInShell(file, shell, looping, frames);
}

INSTANTIATE_TEST_SUITE_P(Dense, DenseShells,
                         testing::Combine(testing::Values("ION", "MIRAGEOS", "NOSHELL"), testing::Bool()),
                         [](const auto& p) {
                             return std::get<0>(p.param) + (std::get<1>(p.param) ? "_looping" : "_once");
                         });

}  // namespace
}  // namespace playertest
