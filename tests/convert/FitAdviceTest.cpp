// The search for what makes a whole video fit, over screens made here: the
// fewest changes first, the format before the archive before the rate, an
// end when nothing holds the whole, and never another model or another
// free archive than the one given.
#include "convert/FitAdvice.h"
#include "codec/Codec.h"
#include "program/ArchiveVideo.h"
#include "shared/Text.h"

#include <gtest/gtest.h>

#include <random>

namespace zoetra::test {
namespace {

// Screens whose every byte changes at random: no format codes them in fewer
// bytes than they hold.
ShownScreens noisyScreens(int count, unsigned seed)
{
    std::mt19937 noise(seed);
    ShownScreens screens(static_cast<std::size_t>(count));
    for (Screen& screen : screens) {
        for (std::uint8_t& byte : screen) {
            byte = static_cast<std::uint8_t>(noise());
        }
    }
    return screens;
}

// A still screen with a few bytes changing a frame: cheap in any format,
// dearer in the written one (three bytes a change).
ShownScreens quietScreens(int count, int changes, unsigned seed)
{
    std::mt19937 noise(seed);
    ShownScreens screens(static_cast<std::size_t>(count));
    Screen screen{};
    for (Screen& shown : screens) {
        for (int c = 0; c < changes; ++c) {
            screen[noise() % screen.size()] ^= 0xFF;
        }
        shown = screen;
    }
    return screens;
}

ShownScreens joined(ShownScreens first, const ShownScreens& then)
{
    first.insert(first.end(), then.begin(), then.end());
    return first;
}

VideoTarget target(StreamFormat format, Storage storage = Storage::Ram, double rate = WrittenFramesPerSecond)
{
    VideoTarget t;
    t.format = format;
    t.storage = storage;
    t.framesPerSecond = rate;
    return t;
}

TEST(FitAdvice, AllFittingAsChosenNeedsNoAdvice)
{
    const ShownScreens screens = quietScreens(20, 4, 1);
    const FitAdvice advice = adviseFit({target(StreamFormat::Written), {}, {}, {}}, screens);
    EXPECT_TRUE(advice.chosen.all());
    EXPECT_EQ(advice.chosen.bytes, fitScreens(screens, target(StreamFormat::Written)).bytes);
    EXPECT_FALSE(advice.proposal);
    EXPECT_TRUE(adviceWords(advice, QStringLiteral("VIDEO")).isEmpty());
}

// A change of the format alone comes first, and of the formats the first
// in the table that holds it all.
TEST(FitAdvice, TheFormatAloneWhenItHoldsTheWhole)
{
    const ShownScreens screens = quietScreens(300, 30, 2);
    ASSERT_FALSE(fitScreens(screens, target(StreamFormat::Written)).all());
    ASSERT_TRUE(fitScreens(screens, target(StreamFormat::Compact)).all());
    const FitAdvice advice = adviseFit({target(StreamFormat::Written), {}, {}, {}}, screens);
    ASSERT_TRUE(advice.proposal);
    const FitProposal& proposal = *advice.proposal;
    EXPECT_TRUE(proposal.whole());
    EXPECT_EQ(proposal.changes(), 1);
    EXPECT_TRUE(proposal.formatChanged);
    EXPECT_EQ(proposal.target, target(StreamFormat::Compact));
    EXPECT_EQ(proposal.fits.bytes, fitScreens(screens, target(StreamFormat::Compact)).bytes);
    EXPECT_EQ(adviceWords(advice, QStringLiteral("VIDEO")),
              QStringList{QStringLiteral("The whole video fits as compact video: all 300 frames, %1 of 24,000 bytes. "
                                         "\"Make It Fit\" on the \"Calculator\" page makes this choice.")
                              .arg(groupedNumber(proposal.fits.bytes))});
}

// Noise no format shrinks: the archive alone, before the archive with
// another format; the model stays, and so does the free archive given.
TEST(FitAdvice, TheArchiveAloneAndTheFreeArchiveGiven)
{
    const ShownScreens screens = noisyScreens(40, 3);
    for (const Codec& codec : allCodecs()) {
        ASSERT_FALSE(fitScreens(screens, target(codec.format)).all());
    }
    const FitAdvice advice = adviseFit({target(StreamFormat::Written), {}, {}, {}}, screens);
    ASSERT_TRUE(advice.proposal);
    EXPECT_TRUE(advice.proposal->whole());
    EXPECT_TRUE(advice.proposal->archiveChanged);
    EXPECT_FALSE(advice.proposal->formatChanged);
    EXPECT_EQ(advice.proposal->target, target(StreamFormat::Written, Storage::Archive));
    EXPECT_EQ(advice.proposal->fits.limit, videoSizeLimit(target(StreamFormat::Written, Storage::Archive)));
    // The archive needs a short name: the words say so.
    const QStringList words = adviceWords(advice, QStringLiteral("LONGNAME"));
    ASSERT_EQ(words.size(), 1);
    EXPECT_TRUE(words[0].endsWith(QLatin1String("A video in the archive needs a File Name of 6 or less characters.")))
        << words[0].toStdString();

    // A free archive of 60,000 bytes given for the archive: kept, and too
    // small for the written stream, so another format goes with it.
    VideoTarget small = target(StreamFormat::Written, Storage::Archive);
    small.freeArchiveBytes = 60'000;
    ASSERT_FALSE(fitScreens(screens, small).all());
    small.format = StreamFormat::Compact;
    ASSERT_TRUE(fitScreens(screens, small).all());
    FitQuestion question{target(StreamFormat::Written), 60'000, {}, {}};
    const FitAdvice given = adviseFit(question, screens);
    ASSERT_TRUE(given.proposal);
    EXPECT_TRUE(given.proposal->whole());
    EXPECT_EQ(given.proposal->target, small);
    EXPECT_EQ(given.proposal->target.model, CalculatorModel::Ti83Plus);
    EXPECT_TRUE(given.proposal->archiveChanged);
    EXPECT_TRUE(given.proposal->formatChanged);
    // In the archive already, with its free archive: only the format may go.
    VideoTarget inArchive = target(StreamFormat::Written, Storage::Archive);
    inArchive.freeArchiveBytes = 60'000;
    const FitAdvice there = adviseFit({inArchive, {}, {}, {}}, screens);
    ASSERT_TRUE(there.proposal);
    EXPECT_FALSE(there.proposal->archiveChanged);
    EXPECT_EQ(there.proposal->target, small);
}

// A video taken at a lower rate: the highest rate tried that holds it all,
// its frames taken anew, only when no format or archive does.
TEST(FitAdvice, ALowerRateForAVideo)
{
    const ShownScreens screens = joined(quietScreens(50, 1, 4), noisyScreens(100, 5));
    std::vector<double> asked;
    FitQuestion question{target(StreamFormat::Written, Storage::Ram, 30.0), {}, VideoSpan{0.0, 30.0},
                         [&](double rate) -> std::optional<ShownScreens> {
                             asked.push_back(rate);
                             // Fewer, calmer frames below 15 a second.
                             return rate < 15.0 ? quietScreens(60, 1, 6) : noisyScreens(100, 7);
                         }};
    const FitAdvice advice = adviseFit(question, screens);
    ASSERT_TRUE(advice.proposal);
    EXPECT_TRUE(advice.proposal->whole());
    EXPECT_TRUE(advice.proposal->rateChanged);
    EXPECT_EQ(advice.proposal->changes(), 1);
    EXPECT_EQ(advice.proposal->target.framesPerSecond, WrittenFramesPerSecond);
    EXPECT_EQ(advice.proposal->fits.frames, 60);
    // 20 a second first, then 14.75; nothing lower once that holds it.
    EXPECT_EQ(asked, (std::vector<double>{20.0, WrittenFramesPerSecond}));
    const QStringList words = adviceWords(advice, QStringLiteral("VIDEO"));
    ASSERT_EQ(words.size(), 1);
    EXPECT_TRUE(words[0].startsWith(QLatin1String("The whole video fits taken at 14.75 frames a second: all 60 frames")))
        << words[0].toStdString();

    // Frames of a folder have no rate to lower.
    asked.clear();
    question.video.reset();
    const FitAdvice folder = adviseFit(question, screens);
    EXPECT_TRUE(asked.empty());
    ASSERT_TRUE(folder.proposal);
    EXPECT_FALSE(folder.proposal->rateChanged);
}

// Nothing holds the whole: the choice that holds the most, with the end
// that keeps it for a video; a larger model is named, never chosen.
TEST(FitAdvice, TheMostWithAnEndAndAModelThatHoldsItAll)
{
    const ShownScreens screens = noisyScreens(400, 8);
    const VideoTarget chosen = target(StreamFormat::Written);
    const FitAdvice advice = adviseFit({chosen, {}, VideoSpan{2.0, WrittenFramesPerSecond}, {}}, screens);
    ASSERT_TRUE(advice.proposal);
    const FitProposal& most = *advice.proposal;
    EXPECT_FALSE(most.whole());
    EXPECT_EQ(most.target.model, CalculatorModel::Ti83Plus);
    EXPECT_EQ(most.target.storage, Storage::Archive);
    int best = 0;
    for (const Codec& codec : allCodecs()) {
        best = std::max(best, fitScreens(screens, target(codec.format, Storage::Archive)).fitting);
    }
    EXPECT_EQ(most.fits.fitting, best);
    ASSERT_TRUE(most.end);
    EXPECT_DOUBLE_EQ(*most.end, endThatFits({2.0, WrittenFramesPerSecond}, best));
    // The smallest archive that holds it: the TI-84 Plus's, not a Silver
    // Edition's.
    ASSERT_TRUE(advice.elsewhere);
    EXPECT_EQ(advice.elsewhere->model, CalculatorModel::Ti84Plus);
    EXPECT_TRUE(fitScreens(screens, *advice.elsewhere).all());
    const QStringList words = adviceWords(advice, QStringLiteral("VIDEO"));
    ASSERT_EQ(words.size(), 2);
    EXPECT_TRUE(words[0].contains(QStringLiteral("with the video ended at %1 (End in the import)")
                                      .arg(minutesAndSeconds(*most.end))))
        << words[0].toStdString();
    EXPECT_EQ(words[1], QStringLiteral("A TI-84 Plus would hold it all in its archive as %1 video.")
                            .arg(toQString(codecFor(advice.elsewhere->format).key)));

    // Frames of a folder: the most, without an end.
    const FitAdvice folder = adviseFit({chosen, {}, {}, {}}, screens);
    ASSERT_TRUE(folder.proposal);
    EXPECT_FALSE(folder.proposal->end);
    EXPECT_EQ(folder.proposal->fits.fitting, best);
}

TEST(FitAdvice, Texts)
{
    EXPECT_EQ(groupedNumber(161454), QStringLiteral("161,454"));
    EXPECT_EQ(minutesAndSeconds(130.34), QStringLiteral("2:10.3"));
    EXPECT_EQ(minutesAndSeconds(5.8), QStringLiteral("0:05.8"));
    EXPECT_EQ(minutesAndSeconds(3599.95), QStringLiteral("60:00.0"));
}

}  // namespace
}  // namespace zoetra::test
