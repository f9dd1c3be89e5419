// Every stream format behind the one dispatch: its encoder and its reference
// decoder agree on random screen sequences.
#include "codec/Codec.h"
#include "support/ScreenSequences.h"

#include <gtest/gtest.h>

#include <random>

namespace zoetra::test {
namespace {

TEST(CodecTest, EveryFormatDecodesTheScreensItWasGiven)
{
    for (const Codec& codec : allCodecs()) {
        SCOPED_TRACE(std::string(codec.key));
        EXPECT_EQ(&codecFor(codec.format), &codec);
        EXPECT_EQ(codecByKey(codec.key), &codec);
        for (unsigned seed = 1; seed <= 12; ++seed) {
            std::mt19937 random(seed);
            const std::vector<Screen> screens = randomScreenSequence(random, 1 + static_cast<int>(seed % 7) * 3);
            const std::unique_ptr<StreamEncoder> encoder = codec.makeEncoder();
            // A second stream from the same encoder starts afresh.
            for (int round = 0; round < 2; ++round) {
                encoder->reset();
                int lastSize = 0;
                for (const Screen& screen : screens) {
                    encoder->addFrame(screen);
                    EXPECT_GE(encoder->size(), lastSize);
                    EXPECT_LE(encoder->firstChangedByte(), encoder->size());
                    EXPECT_GT(encoder->lastFrameTStates(), 0);
                    lastSize = encoder->size();
                }
                encoder->finish();
                EXPECT_EQ(encoder->size(), lastSize);
                EXPECT_GE(static_cast<int>(encoder->bytes().size()), lastSize);
                std::string error;
                const auto video = codec.decode(encoder->bytes(), &error);
                ASSERT_TRUE(video.has_value()) << error;
                EXPECT_EQ(video->frames, screens) << "seed " << seed;
                EXPECT_EQ(video->length, encoder->bytes().size());
                EXPECT_EQ(video->tStates.size(), screens.size());
            }
        }
    }
}

}  // namespace
}  // namespace zoetra::test
