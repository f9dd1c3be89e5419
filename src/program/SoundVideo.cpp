#include "program/SoundVideo.h"

#include "codec/sound/SoundFormat.h"
#include "program/ArchiveVideo.h"
#include "shared/ArchiveLayout.h"

#include <algorithm>
#include <stdexcept>

namespace zoetra::archive {

namespace {

QByteArray numbers(const std::vector<int>& values, const char* directive)
{
    QByteArray text;
    for (std::size_t i = 0; i < values.size(); i += 16) {
        text += "                ";
        text += directive;
        for (std::size_t j = i; j < std::min(values.size(), i + 16); ++j) {
            text += (j == i ? " " : ",") + QByteArray::number(values[j]);
        }
        text += "\r\n";
    }
    return text;
}

std::array<std::uint8_t, SignatureBytes> soundSignature(std::span<const std::uint8_t> stream)
{
    std::array<std::uint8_t, SignatureBytes> head = signature(stream);
    head[1] = static_cast<std::uint8_t>(SoundMark);
    return head;
}

}  // namespace

int soundAppVarCount(std::size_t streamBytes)
{
    return appVarCount(streamBytes);
}

std::vector<std::vector<std::uint8_t>> splitSoundIntoAppVars(int firstAppVar, std::span<const std::uint8_t> stream)
{
    const auto head = soundSignature(stream);
    const int count = soundAppVarCount(stream.size());
    std::vector<std::vector<std::uint8_t>> appVars;
    for (int i = 0; i < count; ++i) {
        const std::size_t from = static_cast<std::size_t>(i) * StreamBytesPerAppVar;
        const std::size_t to = std::min(stream.size(), from + StreamBytesPerAppVar);
        std::vector<std::uint8_t> data(head.begin(), head.end());
        data.push_back(static_cast<std::uint8_t>(firstAppVar + i));
        data.push_back(static_cast<std::uint8_t>(firstAppVar + count));
        data.insert(data.end(), stream.begin() + static_cast<std::ptrdiff_t>(from),
                    stream.begin() + static_cast<std::ptrdiff_t>(to));
        appVars.push_back(std::move(data));
    }
    return appVars;
}

int soundRoundDrift(std::span<const std::uint8_t> stream, double framesPerSecond, int frames)
{
    const auto level = sound::levelOf(stream);
    if (!level || stream.size() < static_cast<std::size_t>(sound::HeaderBytes)) {
        return 0;
    }
    std::int64_t samples = 0;
    for (int i = 7; i >= 4; --i) {
        samples = samples << 8 | stream[static_cast<std::size_t>(i)];
    }
    const double timerHz = modelFacts(CalculatorModel::Ti84Plus).timerHz;
    const FineTicks fine = frameTicksFine(timerHz, framesPerSecond);
    const double pictureTicks =
        frames * (fine.whole + fine.fraction / 65536.0) * (sound::CrystalHz / timerHz);
    const double soundTicks = static_cast<double>(samples) * level->ticks;
    const double drift = (soundTicks - pictureTicks) / level->ticks * 256.0;
    return static_cast<int>(std::clamp<long long>(std::llround(drift), -32767, 32767));
}

QByteArray soundDataText(std::span<const std::uint8_t> stream)
{
    return numbers(std::vector<int>(stream.begin(), stream.end()), ".db");
}

QByteArray soundIncludeText(int firstAppVar, std::span<const std::uint8_t> stream, int roundDrift, bool inProgram)
{
    const auto level = sound::levelOf(stream);
    if (!level) {
        throw std::invalid_argument("a sound stream of no level");
    }
    const int sizes = sound::sizesPerStep(level->bits);
    QByteArray text = "; The sound's AppVars and its level's tables, written by the converter\r\n";
    text += "SOUND_FIRST     .equ " + QByteArray::number(firstAppVar) + "\r\n";
    text += "SOUND_VARS      .equ " + QByteArray::number(soundAppVarCount(stream.size())) + "\r\n";
    text += "CODES_PER_BYTE  .equ " + QByteArray::number(8 / level->bits) + "\r\n";
    text += "SIZE_MASK       .equ " + QByteArray::number(sizes - 1) + "\r\n";
    text += "ROUND_DRIFT     .equ " + QByteArray::number(roundDrift) + "\r\n";
    if (level->bits == 4) {
        text += "#define SOUND4\r\n";
    }
    if (inProgram) {
        text += "SoundVarTable:  .db 0\r\n                .dw SoundData," + QByteArray::number(static_cast<int>(stream.size())) +
                "\r\n";
    } else {
        text += "SoundSignature:\r\n";
        const auto head = soundSignature(stream);
        text += numbers(std::vector<int>(head.begin(), head.end()), ".db");
    }
    // The count of timer 2 for each high byte of S, read as a signed byte
    // (from S = 0 up, then the negative ones), at a page's start.
    std::vector<int> counts;
    for (int high = 0; high < 256; ++high) {
        counts.push_back(sound::pulseCount(*level, static_cast<int>(static_cast<std::int8_t>(high)) * 256));
    }
    text += "                .fill (256-($&255))&255,0\r\n";
    text += "SoundCounts:\r\n" + numbers(counts, ".db");
    // Each step's entries, four bytes each, one a size: the change, then
    // the next step's entries (each step's lie within a page: a step's
    // entries are its sizes * 4 bytes, and the table starts a page).
    text += "SoundSteps:\r\n";
    const std::span<const sound::StepEntry> table = sound::stepTable(level->bits);
    for (std::size_t i = 0; i < table.size(); i += static_cast<std::size_t>(sizes)) {
        text += "                .dw ";
        for (std::size_t m = i; m < i + static_cast<std::size_t>(sizes); ++m) {
            text += (m == i ? "" : ",") + QByteArray::number(table[m].change) + ",SoundSteps+" +
                    QByteArray::number(table[m].next * sizes * 4);
        }
        text += "\r\n";
    }
    return text;
}

}  // namespace zoetra::archive
