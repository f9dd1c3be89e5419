// What a dense target delivers: the dense stream, or the compact stream of
// the same screens where dense would take more bytes or fall behind the
// player's pace; a looping video's dense stream keeps the rate over its
// rounds. The stream that goes out decodes to the screens given, and its
// bytes can be followed frame by frame as the conversion copies them.
#include "codec/compact/CompactDecoder.h"
#include "codec/compact/CompactEncoder.h"
#include "codec/dense/DenseDecoder.h"
#include "codec/dense/DenseDelivery.h"

#include <gtest/gtest.h>

#include <limits>
#include <random>

namespace zoetra::dense {
namespace {

VideoTarget ti83Plus(double rate)
{
    VideoTarget target;
    target.format = StreamFormat::Dense;
    target.framesPerSecond = rate;
    return target;
}

struct Delivered {
    DenseDelivery::Outcome outcome;
    std::vector<std::uint8_t> bytes;
    int size = 0;
};

// The screens through a delivery, its bytes followed as the conversion
// copies them (from firstChangedByte on, after every frame and the end).
Delivered deliver(const std::vector<Screen>& screens, const VideoTarget& target, bool looping = false)
{
    DenseDelivery delivery(target, std::make_unique<compact::CompactEncoder>(), std::numeric_limits<int>::max(),
                           looping);
    std::vector<std::uint8_t> copied;
    const auto follow = [&] {
        const auto& bytes = delivery.bytes();
        copied.resize(bytes.size());
        std::copy(bytes.begin() + delivery.firstChangedByte(), bytes.end(),
                  copied.begin() + delivery.firstChangedByte());
    };
    for (const Screen& screen : screens) {
        delivery.addFrame(screen);
        follow();
    }
    delivery.finish();
    follow();
    EXPECT_EQ(copied, delivery.bytes());
    return {delivery.outcome(), delivery.bytes(), delivery.size()};
}

std::vector<Screen> decoded(const Delivered& delivered)
{
    std::string error;
    if (delivered.outcome.format == StreamFormat::Compact) {
        const auto video = compact::decodeCompactVideo(delivered.bytes, &error);
        EXPECT_TRUE(video.has_value()) << error;
        return video ? video->frames : std::vector<Screen>{};
    }
    const auto video = decodeDenseVideo(delivered.bytes, &error);
    EXPECT_TRUE(video.has_value()) << error;
    return video ? video->frames : std::vector<Screen>{};
}

// A dot that moves a pixel a frame: few bytes, quick to decode.
std::vector<Screen> movingDot(int frames)
{
    std::vector<Screen> screens(static_cast<std::size_t>(frames));
    for (int f = 0; f < frames; ++f) {
        const int x = 8 + f;
        screens[static_cast<std::size_t>(f)][static_cast<std::size_t>(30 * BytesPerRow + x / 8)] =
            static_cast<std::uint8_t>(0x80u >> (x % 8));
    }
    return screens;
}

TEST(DenseDelivery, NeverMoreBytesThanCompactNorSlower)
{
    // The whole screen black and white in turns: at 30 frames a second on
    // the 6 MHz TI-83 Plus no way of the dense stream shows every block in
    // a frame's time, where compact's screen copy does; the first frames
    // are on time, so the stream that goes out changes on the way.
    std::vector<Screen> flashing(40);
    for (std::size_t f = 0; f < flashing.size(); ++f) {
        flashing[f].fill(f % 2 == 0 ? 0xFF : 0x00);
    }
    // Stripes moving down a row a frame: on time, but compact copies each
    // screen from the one before in fewer bytes.
    std::vector<Screen> stripes(40);
    for (std::size_t f = 0; f < stripes.size(); ++f) {
        for (int y = 0; y < Rows; ++y) {
            const int band = (y + 64 - static_cast<int>(f) % 64) % 16;
            std::fill_n(stripes[f].begin() + y * BytesPerRow, BytesPerRow,
                        static_cast<std::uint8_t>(band < 3 ? 0xFF : band < 6 ? 0xAA : 0x00));
        }
    }
    const std::vector<Screen> dot = movingDot(40);
    struct Case {
        const std::vector<Screen>* screens;
        double rate;
        StreamFormat sent;
        bool late;
    };
    for (const Case& c : {Case{&flashing, 30.0, StreamFormat::Compact, true},
                          Case{&stripes, WrittenFramesPerSecond, StreamFormat::Compact, false},
                          Case{&dot, 30.0, StreamFormat::Dense, false}}) {
        SCOPED_TRACE(testing::Message() << static_cast<int>(c.sent) << " at " << c.rate);
        const Delivered delivered = deliver(*c.screens, ti83Plus(c.rate));
        EXPECT_EQ(delivered.outcome.format, c.sent);
        EXPECT_EQ(delivered.outcome.lateFrames > 0, c.late);
        EXPECT_LE(delivered.size, delivered.outcome.compactBytes);
        if (c.sent == StreamFormat::Compact && !c.late) {
            EXPECT_GT(delivered.outcome.denseBytes, delivered.outcome.compactBytes);
        }
        EXPECT_EQ(decoded(delivered), *c.screens);
    }
}

// A looping video whose key frame, dots all over, takes fewer bytes pixel
// by pixel but far longer than a frame's time, and whose last frames, dots
// all over anew, leave the player little time ahead:
// decoded again at each round's start, the key frame would come late
// there. Looping, the dense stream whose key frame is decoded soonest goes
// out, its later rounds on time; played once, the one of the fewer bytes.
TEST(DenseDelivery, ALoopingVideosKeyFrameIsDecodedSoonestWhereItsRoundsWouldBeginLate)
{
    std::mt19937 random(31);
    std::vector<Screen> frames = movingDot(30);
    for (auto& byte : frames.front()) {
        byte = static_cast<std::uint8_t>(0x80u >> (random() % 8));
    }
    for (std::size_t f = 20; f < frames.size(); ++f) {
        for (auto& byte : frames[f]) {
            byte = static_cast<std::uint8_t>(0x80u >> (random() % 8));
        }
    }
    const Delivered looping = deliver(frames, ti83Plus(20.0), true);
    const Delivered once = deliver(frames, ti83Plus(20.0), false);
    EXPECT_EQ(looping.outcome.format, StreamFormat::Dense);
    EXPECT_TRUE(looping.outcome.fastKeyFrame);
    EXPECT_EQ(looping.outcome.roundLateFrames, 0);
    EXPECT_EQ(once.outcome.format, StreamFormat::Dense);
    EXPECT_FALSE(once.outcome.fastKeyFrame);
    EXPECT_GT(once.outcome.roundLateFrames, 0);  // as it would be, looping
    EXPECT_LT(once.size, looping.size);
    EXPECT_EQ(decoded(looping), frames);
    EXPECT_EQ(decoded(once), frames);
}

}  // namespace
}  // namespace zoetra::dense
