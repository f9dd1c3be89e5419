// Frames through our encoder; "Video.dat", "VarFile.var" and "Desc.txt" as the
// converter writes them; the program built by the real TASM and DEVPAC8X
// through "Compile.bat" and the batch runner; and played on the emulated calculator. The
// encoder and the player are checked against each other.
#include "PlayerFixture.h"
#include "codec/written/WrittenEncoder.h"
#include "convert/VideoEncoder.h"
#include "platform/MemoryWindowLayer.h"
#include "platform/Platform.h"
#include "platform/QtBuildLauncher.h"
#include "platform/QtFileSystem.h"
#include "platform/QtPictureLoader.h"
#include "platform/UniformRandom.h"
#include "program/PlayerConfig.h"
#include "program/ProgramBuild.h"
#include "shared/Vars.h"
#include "support/TestSupport.h"

#include <QTemporaryDir>

#include <map>
#include <string>
#include <tuple>

namespace playertest {
namespace {

using zoetra::calc::Stop;
namespace bcall = zoetra::calc::bcall;

Screen inverted(Screen screen)
{
    for (auto& b : screen) {
        b = static_cast<std::uint8_t>(~b);
    }
    return screen;
}

// The frame sequences, by name.
std::vector<Screen> sequence(const std::string& name)
{
    const Screen a = patternScreen(20);
    if (name == "OneFrame") {
        return {a};
    }
    if (name == "TwoIdentical") {
        return {a, a};
    }
    if (name == "EveryByteChanged") {
        return {a, inverted(a), a};
    }
    if (name == "LastByteOnly") {
        Screen b = a;
        b[767] ^= 0x80;
        Screen c = b;
        c[767] = 0xFF;
        return {a, b, c};
    }
    if (name == "MarkerValuesInKeyFrame") {
        // The key frame is copied whole, so 254 and 255 inside it, last byte
        // included, are pictures, not markers; so are the values of records
        // and the low bytes 254 and 255 of their offsets.
        Screen key = a;
        key[0] = 254;
        key[1] = 255;
        key[383] = 255;
        key[767] = 254;
        Screen next = key;
        for (const std::size_t at : {0u, 1u, 254u, 255u, 510u, 511u, 766u, 767u}) {
            next[at] = (at % 2 == 0) ? 255 : 254;
        }
        return {key, next};
    }
    if (name == "NearTheSizeLimit") {
        // Ten frames with every byte changed and one with 60 changes: a
        // stream of exactly 24,000 bytes, reaching far past C000h.
        std::vector<Screen> frames = {a};
        for (int i = 0; i < 10; ++i) {
            Screen next = frames.back();
            for (auto& b : next) {
                b = static_cast<std::uint8_t>(b + 1);
            }
            frames.push_back(next);
        }
        Screen last = frames.back();
        for (std::size_t i = 0; i < 60; ++i) {
            last[i * 12 + 11] ^= 0x0F;
        }
        frames.push_back(last);
        return frames;
    }
    ADD_FAILURE() << "no sequence " << name;
    return {};
}

// The converter's shell choices and the word VarFile.var defines for each.
const std::map<std::string, QByteArray>& shellWords()
{
    static const std::map<std::string, QByteArray> words = {
        {"Ion", "ION"}, {"MirageOS", "MIRAGEOS"}, {"No Shell", "NOSHELL"}};
    return words;
}

// A conversion over a temporary application folder that holds the real
// tools and the player source, with the real file system and batch runner.
class EndToEnd : public testing::Test {
protected:
    EndToEnd() : launcher(folder.path()), platform{window, files, pictures, launcher, random, folder.path()} {}

    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        ASSERT_TRUE(outDir.isValid());
    }

    // Encodes the frames as a conversion does and writes "Video.dat";
    // returns the stream up to and including its end marker.
    Stream encode(const std::vector<Screen>& frames)
    {
        vars.ByteCount = 0;
        zoetra::written::WrittenEncoder encoder;
        for (std::size_t f = 0; f < frames.size(); ++f) {
            std::copy(frames[f].begin(), frames[f].end(), vars.FrameBytes.begin());
            if (f == 0) {
                StartVideoStream(vars, encoder);
            } else {
                EncodeDeltaFrame(vars, platform, static_cast<int>(f), encoder, zoetra::RamVideoLimit);
            }
        }
        EndVideoStream(vars, encoder);
        EXPECT_FALSE(WriteVideoData(vars, platform));
        return Stream(vars.VideoBytes.begin(), vars.VideoBytes.begin() + vars.ByteCount + 1);
    }

    // Writes the player configuration and builds; the delivered program file.
    std::vector<std::uint8_t> build(const std::string& shell, bool looping,
                                    const QString& description = QStringLiteral("My First Video"))
    {
        zoetra::WritePlayerConfig(files, platform.appDir, QString::fromStdString(shell), looping ? 1 : 0, description);
        const zoetra::BuildOutcome outcome = zoetra::BuildProgram(platform, QStringLiteral("Video"), outDir.path(), zoetra::VideoTarget{});
        EXPECT_EQ(outcome.status, zoetra::BuildOutcome::Status::Delivered) << outcome.toolOutput.toStdString();
        EXPECT_EQ(outcome.deliveredPath, zoetra::joinPath(outDir.path(), QStringLiteral("video.8xp")));
        const QByteArray file = zoetra::test::readAll(outcome.deliveredPath);
        return std::vector<std::uint8_t>(file.begin(), file.end());
    }

    AppFolder folder;
    QTemporaryDir outDir;
    zoetra::Vars vars;
    zoetra::MemoryWindowLayer window;
    zoetra::QtFileSystem files;
    zoetra::QtPictureLoader pictures;
    zoetra::QtBuildLauncher launcher;
    zoetra::UniformRandom random;
    zoetra::Platform platform;
};

class EncodedVideo : public EndToEnd,
                     public testing::WithParamInterface<std::tuple<std::string, std::string, bool>> {};

TEST_P(EncodedVideo, EveryShownScreenIsTheFrameTheStreamDescribes)
{
    const auto& [name, shell, looping] = GetParam();
    const std::vector<Screen> frames = sequence(name);
    const Stream stream = encode(frames);
    ASSERT_EQ(decodeStream(stream), frames);
    EXPECT_EQ(streamFromVideoData(folder.read(QStringLiteral("Video.dat"))), stream);

    const auto file = build(shell, looping);
    ASSERT_FALSE(file.empty());
    // Looping: once through, then the first frame again, then CLEAR.
    const std::size_t shown = looping ? frames.size() + 1 : frames.size();
    const Playback playback =
        play(file, shellWords().at(shell), looping ? std::optional<std::size_t>(shown) : std::nullopt);
    ASSERT_EQ(playback.stop, Stop::Returned) << playback.calculator->fault();
    expectScreens(*playback.calculator, frames, shown);
    EXPECT_EQ(playback.calculator->callCount(bcall::GetKey), looping ? 0u : 1u);
    expectCleanExit(playback);
    EXPECT_LT(playback.calculator->highestExecuted(), zoetra::calc::ExecutionLimit);
}

INSTANTIATE_TEST_SUITE_P(
    EndToEnd, EncodedVideo,
    testing::Combine(testing::Values("OneFrame", "TwoIdentical", "EveryByteChanged", "LastByteOnly",
                                     "MarkerValuesInKeyFrame", "NearTheSizeLimit"),
                     testing::Values("Ion", "MirageOS", "No Shell"), testing::Bool()),
    [](const auto& p) {
        std::string shell = std::get<1>(p.param);
        std::erase(shell, ' ');
        return std::get<0>(p.param) + "_" + shell + (std::get<2>(p.param) ? "_looping" : "_once");
    });

TEST_F(EndToEnd, TheLongestVideoIsTwentyFourThousandBytesAndItsCodeStaysLow)
{
    const Stream stream = encode(sequence("NearTheSizeLimit"));
    EXPECT_EQ(stream.size(), 24000u);
    const auto program = programBytes(build("No Shell", false));
    const std::size_t videoStart = program.size() - videoDataSize(stream.size());
    EXPECT_GT(zoetra::calc::ProgramOrigin + program.size(), zoetra::calc::ExecutionLimit);
    EXPECT_TRUE(std::equal(stream.begin(), stream.end(), program.begin() + static_cast<long>(videoStart)));
    // All of the player's code comes before the video.
    EXPECT_LT(videoStart, 512u);
}

class ShellBuild : public EndToEnd, public testing::WithParamInterface<std::string> {};

TEST_P(ShellBuild, ClearInTheMiddleEndsTheProgram)
{
    const std::vector<Screen> frames = sequence("EveryByteChanged");
    encode(frames);
    for (const bool looping : {false, true}) {
        SCOPED_TRACE(looping);
        const Playback playback = play(build(GetParam(), looping), shellWords().at(GetParam()), 2);
        ASSERT_EQ(playback.stop, Stop::Returned) << playback.calculator->fault();
        expectScreens(*playback.calculator, frames, 2);
        EXPECT_EQ(playback.calculator->callCount(bcall::GetKey), 0u);
        expectCleanExit(playback);
    }
}

TEST_P(ShellBuild, HeaderAndDescriptionAreWhereTheShellLooksForThem)
{
    encode(sequence("TwoIdentical"));
    // A quote makes the description a string with numeric pieces.
    const std::string text = "He said \"hi\"";
    const auto program = programBytes(build(GetParam(), true, QString::fromStdString(text)));
    ASSERT_GT(program.size(), 64u);
    EXPECT_EQ(program[0], 0xBB);
    EXPECT_EQ(program[1], 0x6D);
    const auto at = [&](std::size_t from, std::size_t count) {
        return std::string(program.begin() + static_cast<long>(from), program.begin() + static_cast<long>(from + count));
    };
    const std::string described = text + '\0';
    const std::string runIndicOff = "\xEF\x70\x45";
    const std::string& shell = GetParam();
    if (shell == "Ion") {
        EXPECT_EQ(at(2, 2), "\xAF\x30");  // xor a / jr nc over the description
        EXPECT_EQ(program[4], described.size());
        EXPECT_EQ(at(5, described.size()), described);
        EXPECT_EQ(at(5 + described.size(), 3), runIndicOff);
    } else if (shell == "MirageOS") {
        EXPECT_EQ(at(2, 2), "\xC9\x01");  // ret / the program marker, then the icon
        EXPECT_EQ(at(34, described.size()), described);
        EXPECT_EQ(at(34 + described.size(), 3), runIndicOff);
    } else {
        EXPECT_EQ(at(2, 3), runIndicOff);
        EXPECT_EQ(std::string(program.begin(), program.end()).find("He said"), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(EndToEnd, ShellBuild, testing::Values("Ion", "MirageOS", "No Shell"),
                         [](const auto& p) {
                             std::string shell = p.param;
                             std::erase(shell, ' ');
                             return shell;
                         });

}  // namespace
}  // namespace playertest
