// A recording's sound written by --preview: alone in a .wav, with the
// video in .mp4, .mkv and .webm, read back with the ffmpeg command and
// heard at the tone's pitch. The program: TONE.z80 (a picture, a square
// wave from a crystal timer, the inverse picture).
#include "Assembler.h"
#include "calc/Recording.h"
#include "calc/Timing.h"
#include "devpac8x/ProgramFile.h"
#include "media/PlaybackMedia.h"
#include "support/FfmpegClips.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstring>
#include <vector>

namespace zoetra::media {
namespace {

constexpr double ToneHz = 32768.0 / 37 / 2;  // crystal timer 1 at 32768 Hz, a count of 37

std::vector<std::uint8_t> toneProgram()
{
    tasm::Options options;
    options.foldCase = true;
    options.defines = {{"SETTING", "68"}, {"COUNT", "37"}, {"TOGGLES", "1200"}, {"SHOW", "1"}};
    const tasm::Result result =
        tasm::assemble(std::string(ZOETRA_SOURCE_DIR) + "/tests/calc/programs/TONE.z80", options);
    EXPECT_TRUE(result.ok) << result.diagnostics.format();
    return result.ok ? result.image.bytes() : std::vector<std::uint8_t>{};
}

QByteArray run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(120'000);
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    return process.readAllStandardOutput();
}

// The file's sound as ffmpeg decodes it: mono floats at 44.1 kHz.
std::vector<float> decodedSound(const QString& path)
{
    const QByteArray bytes = run(QStringLiteral("ffmpeg"), {QStringLiteral("-v"), QStringLiteral("error"),
                                                             QStringLiteral("-i"), path, QStringLiteral("-vn"),
                                                             QStringLiteral("-f"), QStringLiteral("f32le"),
                                                             QStringLiteral("-ac"), QStringLiteral("1"),
                                                             QStringLiteral("-ar"), QStringLiteral("44100"),
                                                             QStringLiteral("-")});
    std::vector<float> samples(static_cast<std::size_t>(bytes.size()) / sizeof(float));
    std::memcpy(samples.data(), bytes.constData(), samples.size() * sizeof(float));
    return samples;
}

// The pitch in the middle of the sound, away from its ends: upward
// crossings of 0, placed between samples, over the time from the first to
// the last.
double pitch(const std::vector<float>& samples)
{
    const std::size_t from = samples.size() / 5;
    const std::size_t to = samples.size() * 4 / 5;
    double first = -1;
    double last = -1;
    int crossings = 0;
    for (std::size_t i = from + 1; i < to; ++i) {
        if (samples[i - 1] < 0 && samples[i] >= 0) {
            last = static_cast<double>(i - 1) + samples[i - 1] / (samples[i - 1] - samples[i]);
            first = first < 0 ? last : first;
            ++crossings;
        }
    }
    return crossings < 2 ? 0.0 : (crossings - 1) / ((last - first) / 44'100.0);
}

// ffprobe's codec type, name and size of each stream.
QStringList streams(const QString& path)
{
    return QString::fromUtf8(run(QStringLiteral("ffprobe"),
                                 {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
                                  QStringLiteral("stream=codec_type,codec_name,width,height"), QStringLiteral("-of"),
                                  QStringLiteral("csv=p=0"), path}))
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

class PlaybackMedia : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!test::haveFfmpeg()) {
            GTEST_SKIP() << "the ffmpeg command is not installed";
        }
        bytes = toneProgram();
        ASSERT_FALSE(bytes.empty());
        recording = calc::recordProgram(bytes, {CalculatorModel::Ti84Plus, {}});
        ASSERT_TRUE(recording.problem().empty()) << recording.problem();
        ASSERT_EQ(recording.frames.size(), 2u);
        seconds = calc::seconds(recording.totalTStates());
    }

    QString file(const char* name) const { return QDir(folder.path()).filePath(QLatin1String(name)); }

    QTemporaryDir folder;
    std::vector<std::uint8_t> bytes;
    calc::Recording recording;
    double seconds = 0;
};

TEST_F(PlaybackMedia, TheSoundAloneIsTheToneForTheRecordingsLength)
{
    const QString wav = file("tone.wav");
    ASSERT_EQ(writePlaybackSound(wav.toStdString(), recording), "");
    EXPECT_EQ(streams(wav), QStringList{QStringLiteral("pcm_s16le,audio")});
    const std::vector<float> sound = decodedSound(wav);
    EXPECT_NEAR(static_cast<double>(sound.size()) / 44'100.0, seconds, 0.01);
    EXPECT_NEAR(pitch(sound), ToneHz, 1.0);
}

TEST_F(PlaybackMedia, EachVideoFormatCarriesThePicturesAndTheTone)
{
    struct Case {
        const char* name;
        QStringList streams;
    };
    const Case cases[] = {
        {"tone.mp4", {QStringLiteral("h264,video,288,192"), QStringLiteral("aac,audio")}},
        {"tone.mkv", {QStringLiteral("h264,video,288,192"), QStringLiteral("vorbis,audio")}},
        {"tone.webm", {QStringLiteral("vp9,video,288,192"), QStringLiteral("opus,audio")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = file(c.name);
        ASSERT_EQ(writePlaybackVideo(path.toStdString(), recording, 3), "");
        EXPECT_EQ(streams(path), c.streams);
        const std::vector<float> sound = decodedSound(path);
        EXPECT_NEAR(static_cast<double>(sound.size()) / 44'100.0, seconds, 0.1);
        EXPECT_NEAR(pitch(sound), ToneHz, 2.0);
    }
}

TEST_F(PlaybackMedia, PreviewChoosesTheFileByItsName)
{
    // A tone any model plays, counted in T-states with interrupts off, between
    // two pictures: bcall(_GrBufCpy) / di / ld de,1200 / xor a /
    // loop: xor 3 / out (0),a / ld b,100 / djnz $ / dec de / ld c,a / ld a,d /
    // or e / ld a,c / jr nz,loop / ei / bcall(_GrBufCpy) / ret:
    // 1354 T-states a half period.
    const std::vector<std::uint8_t> counted = {0xBB, 0x6D, 0xEF, 0x6A, 0x48, 0xF3, 0x11, 0xB0, 0x04, 0xAF, 0xEE,
                                               0x03, 0xD3, 0x00, 0x06, 0x64, 0x10, 0xFE, 0x1B, 0x4F, 0x7A, 0xB3,
                                               0x79, 0x20, 0xF1, 0xFB, 0xEF, 0x6A, 0x48, 0xC9};
    const double countedHz = 6e6 / (2 * 1354);
    const QString program = file("tone.8xp");
    QFile out(program);
    const std::vector<std::uint8_t> made = devpac8x::makeProgramFile("TONE", counted);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(reinterpret_cast<const char*>(made.data()), static_cast<qint64>(made.size()));
    out.close();
    for (const char* name : {"heard.WAV", "seen.mkv"}) {
        SCOPED_TRACE(name);
        QProcess convert;
        convert.start(QStringLiteral(ZOETRA_CONVERT_EXE),
                      {QStringLiteral("--play"), program, QStringLiteral("--preview"), file(name)});
        ASSERT_TRUE(convert.waitForFinished(120'000));
        EXPECT_EQ(convert.exitCode(), 0) << convert.readAllStandardError().toStdString();
        const QStringList kinds = streams(file(name));
        EXPECT_EQ(kinds.size(), std::strcmp(name, "heard.WAV") == 0 ? 1 : 2) << kinds.join(QLatin1Char(' ')).toStdString();
        EXPECT_NEAR(pitch(decodedSound(file(name))), countedHz, 2.0);
    }
    // Nothing but the two files and the program is left in the folder.
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden).size(), 3);
}

}  // namespace
}  // namespace zoetra::media
