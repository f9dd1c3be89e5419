// The headless converter's table of options: every row parses its values,
// options that set the same thing must agree, and the rows reach the target.
#include "cli/Options.h"
#include "cli/Preview.h"
#include "cli/Sending.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace zoetra::cli {
namespace {

class OptionsTest : public testing::Test {
protected:
    ParsedOptions parse(QStringList arguments) const
    {
        arguments.prepend(QStringLiteral("zoetra2-convert"));
        return parseOptions(arguments, folder.path());
    }

    QTemporaryDir folder;
};

TEST_F(OptionsTest, EveryRowHasNamesHelpAndWhatItSets)
{
    QStringList seen;
    for (const OptionRow& row : optionTable()) {
        ASSERT_FALSE(row.names.isEmpty());
        EXPECT_FALSE(row.help.isEmpty()) << row.names.last().toStdString();
        EXPECT_FALSE(row.sets.isEmpty()) << row.names.last().toStdString();
        ASSERT_TRUE(static_cast<bool>(row.apply));
        for (const QString& name : row.names) {
            EXPECT_FALSE(seen.contains(name)) << name.toStdString();
            seen.append(name);
        }
    }
}

TEST_F(OptionsTest, DefaultsAreTheWindowsStartState)
{
    const ParsedOptions parsed = parse({});
    ASSERT_EQ(parsed.action, ParsedOptions::Action::Convert) << parsed.text.toStdString();
    const Settings& s = parsed.settings;
    EXPECT_EQ(s.source, QDir::cleanPath(folder.path()));
    EXPECT_EQ(s.name, QStringLiteral("Video"));
    EXPECT_EQ(s.shell, QStringLiteral("Ion"));
    EXPECT_TRUE(s.looping);
    EXPECT_TRUE(s.dither);
    EXPECT_EQ(s.black, 85);
    EXPECT_EQ(s.white, 170);
    EXPECT_EQ(s.target, VideoTarget{});
}

TEST_F(OptionsTest, APatternStartsFromTheFullRangeUnlessTold)
{
    const struct {
        QStringList arguments;
        int black;
        int white;
    } cases[] = {
        {{"--pattern", "bayer2"}, 0, 255},
        {{"--pattern", "search", "--auto"}, 0, 255},  // the proposal comes later, from the frame
        {{"--pattern", "diffusion", "--black", "30"}, 30, 255},
        {{"--white", "200", "--pattern", "atkinson"}, 0, 200},
        {{"--pattern", "checkerboard"}, 85, 170},
        {{"--gamma", "1.5", "--auto-exposure"}, 85, 170},
    };
    for (const auto& c : cases) {
        const ParsedOptions parsed = parse(c.arguments);
        ASSERT_EQ(parsed.action, ParsedOptions::Action::Convert) << parsed.text.toStdString();
        EXPECT_EQ(parsed.settings.black, c.black) << c.arguments.join(' ').toStdString();
        EXPECT_EQ(parsed.settings.white, c.white) << c.arguments.join(' ').toStdString();
    }
}

TEST_F(OptionsTest, FormatAndCompactSetTheTargetsFormat)
{
    EXPECT_EQ(parse({"--compact"}).settings.target.format, StreamFormat::Compact);
    EXPECT_EQ(parse({"--format", "compact"}).settings.target.format, StreamFormat::Compact);
    EXPECT_EQ(parse({"--format", "Written"}).settings.target.format, StreamFormat::Written);
    // Saying the same twice is no disagreement.
    const ParsedOptions same = parse({"--compact", "--format", "compact", "--compact"});
    EXPECT_EQ(same.action, ParsedOptions::Action::Convert) << same.text.toStdString();

    const ParsedOptions unknown = parse({"--format", "zip"});
    EXPECT_EQ(unknown.action, ParsedOptions::Action::Refused);
    EXPECT_TRUE(unknown.text.contains(QStringLiteral("written, compact"))) << unknown.text.toStdString();
}

TEST_F(OptionsTest, ModelArchiveFreeArchiveAndRateMakeTheTarget)
{
    const Settings s = parse({"--model", "TI84P", "--archive", "--rate", "29.5"}).settings;
    EXPECT_EQ(s.target.model, CalculatorModel::Ti84Plus);
    EXPECT_EQ(s.target.storage, Storage::Archive);
    EXPECT_EQ(s.rate, 29.5);
    EXPECT_EQ(s.target.freeArchiveBytes, std::nullopt);
    // The free archive stores the video there; K counts 1024 bytes.
    const Settings free = parse({"--free-archive", "146K"}).settings;
    EXPECT_EQ(free.target.storage, Storage::Archive);
    EXPECT_EQ(free.target.freeArchiveBytes, std::optional<std::int64_t>(146 * 1024));
    EXPECT_EQ(parse({"--free-archive", "150000"}).settings.target.freeArchiveBytes, std::optional<std::int64_t>(150000));

    for (const QStringList& wrong : {QStringList{"--model", "ti89"}, QStringList{"--rate", "0.2"},
                                     QStringList{"--rate", "31"}, QStringList{"--free-archive", "lots"},
                                     QStringList{"--free-archive", "-5"}}) {
        const ParsedOptions refused = parse(wrong);
        EXPECT_EQ(refused.action, ParsedOptions::Action::Refused) << wrong.join(' ').toStdString();
        EXPECT_TRUE(refused.text.contains(wrong.at(1))) << refused.text.toStdString();
    }
}

TEST_F(OptionsTest, SendingOptionsGoTogetherAsASendingNeeds)
{
    if (!sendingAvailable()) {
        EXPECT_EQ(parse({"--send"}).action, ParsedOptions::Action::Refused);
        GTEST_SKIP() << "built without the link libraries";
    }
    const QString program = folder.filePath(QStringLiteral("video.8xp"));
    QFile file(program);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();

    EXPECT_TRUE(parse({"--send"}).settings.send);
    const Settings fromCalculator = parse({"--free-archive", "Calculator"}).settings;
    EXPECT_TRUE(fromCalculator.freeArchiveFromCalculator);
    EXPECT_EQ(fromCalculator.target.storage, Storage::Archive);
    EXPECT_EQ(fromCalculator.target.freeArchiveBytes, std::nullopt);

    // A file made earlier may say what it was made for, and nothing else
    // of a conversion.
    const ParsedOptions existing =
        parse({"--send-file", program, "--model", "ti84p", "--format", "dense", "--rate", "20", "--replace"});
    ASSERT_EQ(existing.action, ParsedOptions::Action::Convert) << existing.text.toStdString();
    EXPECT_EQ(existing.settings.sendFile, QFileInfo(program).absoluteFilePath());
    EXPECT_TRUE(existing.settings.replace);

    const struct {
        QStringList arguments;
        const char* says;
    } refused[] = {
        {{"--replace"}, "--send"},
        {{"--send-file", program, "--black", "10"}, "--black"},
        {{"--send-file", program, "--free-archive", "5000"}, "--free-archive"},
        {{"--send-file", program, "--send"}, "--send"},
        {{"--send-file", folder.filePath("none.8xp")}, "none.8xp"},
        {{"--send", "--play", program, "--preview", folder.filePath("p.gif")}, "--send"},
        {{"--free-archive", "calculator", "--free-archive", "5000"}, "disagree"},
    };
    for (const auto& c : refused) {
        const ParsedOptions parsed = parse(c.arguments);
        EXPECT_EQ(parsed.action, ParsedOptions::Action::Refused) << c.arguments.join(' ').toStdString();
        EXPECT_TRUE(parsed.text.contains(QLatin1String(c.says))) << parsed.text.toStdString();
    }
}

TEST_F(OptionsTest, OptionsThatDisagreeAreRefusedNamingBoth)
{
    const struct {
        QStringList arguments;
        QString first;
        QString second;
    } cases[] = {
        {{"--compact", "--format", "written"}, "--compact", "--format written"},
        {{"--format", "written", "--compact"}, "--format written", "--compact"},
        {{"--black", "10", "--black", "20"}, "--black 10", "--black 20"},
        {{"-n", "One", "--name", "Two"}, "--name One", "--name Two"},
        {{"--shell", "ion", "--shell", "NoShell"}, "--shell ion", "--shell NoShell"},
    };
    for (const auto& c : cases) {
        const ParsedOptions parsed = parse(c.arguments);
        ASSERT_EQ(parsed.action, ParsedOptions::Action::Refused) << c.arguments.join(' ').toStdString();
        EXPECT_TRUE(parsed.text.contains(c.first) && parsed.text.contains(c.second)) << parsed.text.toStdString();
        EXPECT_TRUE(parsed.text.contains(QStringLiteral("disagree"))) << parsed.text.toStdString();
    }
    // The same value in two spellings agrees.
    EXPECT_EQ(parse({"--shell", "ion", "--shell", "Ion"}).action, ParsedOptions::Action::Convert);
}

// The preview's GIF never takes the place of a file of the delivery or of
// the video played; with --extract-to nothing is built to preview.
TEST_F(OptionsTest, APreviewNeverTakesTheVideosFilesNorFollowsAnExtraction)
{
    if (!previewAvailable()) {
        GTEST_SKIP() << "built without the calculator preview";
    }
    const auto at = [&](const char* name) { return folder.filePath(QLatin1String(name)); };
    for (const char* name : {"clip.8xp", "clip.8xg"}) {
        QFile file(at(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    const QString output = folder.path();
    const QList<QStringList> refused = {
        {"-o", output, "-n", "Vid", "--preview", at("vid00.8xv")},
        {"-o", output, "-n", "Vid", "--preview", at("VID-2.8XG")},
        {"-o", output, "-n", "Vid", "--preview", at("vid.8xg")},
        {"--play", at("clip.8xp"), "--preview", at("clip01.8xv")},
        {"--play", at("clip.8xg"), "--preview", at("Clip-3.8xg")},
    };
    for (const QStringList& arguments : refused) {
        const ParsedOptions parsed = parse(arguments);
        EXPECT_EQ(parsed.action, ParsedOptions::Action::Refused) << arguments.join(' ').toStdString();
        EXPECT_TRUE(parsed.text.contains(QLatin1String("--preview would overwrite"))) << parsed.text.toStdString();
    }
    EXPECT_EQ(parse({"-o", output, "-n", "Vid", "--preview", at("vid.gif")}).action, ParsedOptions::Action::Convert);
    EXPECT_EQ(parse({"--play", at("clip.8xp"), "--preview", at("clip.gif")}).action, ParsedOptions::Action::Convert);

    if (parse({"--extract-to", at("frames")}).action != ParsedOptions::Action::Convert) {
        GTEST_SKIP() << "built without the video import";
    }
    for (const QStringList& also : {QStringList{"--preview", at("p.gif")}, QStringList{"--preview-scale", "2"}}) {
        const ParsedOptions parsed = parse(QStringList{"--extract-to", at("frames")} + also);
        EXPECT_EQ(parsed.action, ParsedOptions::Action::Refused) << also.join(' ').toStdString();
        EXPECT_TRUE(parsed.text.contains(QLatin1String("--extract-to")) && parsed.text.contains(also.first()))
            << parsed.text.toStdString();
    }
}

TEST_F(OptionsTest, ValuesOutOfRangeAreRefusedWithTheOption)
{
    for (const QStringList& arguments : {QStringList{"--quality", "3"}, QStringList{"--black", "256"},
                                         QStringList{"--channel", "pink"}, QStringList{"--shell", "DOS"},
                                         QStringList{"--preview-scale", "0", "--preview", "x.gif"}}) {
        const ParsedOptions parsed = parse(arguments);
        EXPECT_EQ(parsed.action, ParsedOptions::Action::Refused) << arguments.join(' ').toStdString();
        EXPECT_TRUE(parsed.text.contains(arguments.first()) || parsed.text.contains(arguments.first().mid(2)))
            << parsed.text.toStdString();
    }
}

TEST_F(OptionsTest, TimesInSecondsAndMinutes)
{
    EXPECT_EQ(parseTime(QStringLiteral("12.5")), 12.5);
    EXPECT_EQ(parseTime(QStringLiteral("1:30")), 90.0);
    EXPECT_EQ(parseTime(QStringLiteral("1:02:03.5")), 3723.5);
    EXPECT_FALSE(parseTime(QStringLiteral("1:75")));
    EXPECT_FALSE(parseTime(QStringLiteral("1.5:00")));
    EXPECT_FALSE(parseTime(QStringLiteral("-3")));
}

}  // namespace
}  // namespace zoetra::cli
