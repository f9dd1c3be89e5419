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

QByteArray soundIncludeText(int firstAppVar, std::span<const std::uint8_t> stream)
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
    if (level->bits == 4) {
        text += "#define SOUND4\r\n";
    }
    text += "SoundSignature:\r\n";
    const auto head = soundSignature(stream);
    text += numbers(std::vector<int>(head.begin(), head.end()), ".db");
    // The count of timer 2 for each high byte of S + 8000h.
    std::vector<int> counts;
    for (int high = 0; high < 256; ++high) {
        counts.push_back(sound::pulseCount(*level, high * 256 - 32768));
    }
    text += "SoundCounts:\r\n" + numbers(counts, ".db");
    // Each step's entries, four bytes each: the change, then the next
    // step's place in the table.
    std::vector<int> steps;
    for (const sound::StepEntry& entry : sound::stepTable(level->bits)) {
        steps.push_back(entry.change);
        steps.push_back(entry.next * sizes * 4);
    }
    text += "SoundSteps:\r\n" + numbers(steps, ".dw");
    return text;
}

}  // namespace zoetra::archive
