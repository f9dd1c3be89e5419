#include "program/PlayerTarget.h"

#include "codec/Codec.h"
#include "shared/Text.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace zoetra {

namespace {

// The one place that knows every storage, in Storage's order.
const std::array<StorageKind, 2> StorageKinds{{
    {Storage::Ram, "ram", "RAM (in the program)", "SourceRam.z80"},
    {Storage::Archive, "archive", "Archive (AppVars)", "SourceArchive.z80"},
}};

}  // namespace

const StorageKind& storageKind(Storage storage)
{
    return StorageKinds.at(static_cast<std::size_t>(storage));
}

std::span<const StorageKind> allStorageKinds()
{
    return StorageKinds;
}

QByteArray TargetIncludeText(const VideoTarget& target)
{
    const ModelFacts& facts = target.facts();
    const int ticks = ticksPerFrame(target);
    QByteArray text;
    text += "; The target of this build, written by the converter: ";
    text += QByteArray(facts.name.data(), static_cast<qsizetype>(facts.name.size()));
    text += ", a frame every " + QByteArray::number(ticks) + " timer ticks";
    text += "\r\n";
    text += "CPU_HZ          .equ " + QByteArray::number(facts.slowCpuHz) + "\r\n";
    text += "TIMER_HZ        .equ " + QByteArray::number(static_cast<int>(facts.timerHz)) + "\r\n";
    text += "FRAME_TICKS     .equ " + QByteArray::number(ticks) + "\r\n";
    text += "FRAME_HALTS     .equ " + QByteArray::number(ticks - 1) + "\r\n";
    if (pacedByDeadlines(target)) {
        // Ticks from frame to frame on the TI-83 Plus's timer and on the
        // others', 8.8 fixed point: the player takes the one it runs on.
        const double others = modelFacts(CalculatorModel::Ti84Plus).timerHz;
        text += "TICKS_83        .equ " +
                QByteArray::number(frameTicksFixed(modelFacts(CalculatorModel::Ti83Plus).timerHz, target.framesPerSecond)) +
                "\r\n";
        text += "TICKS_84        .equ " + QByteArray::number(frameTicksFixed(others, target.framesPerSecond)) + "\r\n";
    }
    text += "#include \"" + toQString(codecFor(target.format).playerPart).toLatin1() + "\"\r\n";
    text += "#include \"" + toQString(storageKind(target.storage).playerPart).toLatin1() + "\"\r\n";
    return text;
}

int archiveWindowTStates(StreamFormat format)
{
    // ldir for each byte, and the walk over the stretches around it.
    constexpr int PerByte = 21;
    constexpr int Fixed = 4'000;
    return PerByte * codecFor(format).maxFrameBytes + Fixed;
}

int frameBudgetTStates(const VideoTarget& target)
{
    constexpr auto ScreenCopy = static_cast<double>(OsScreenCopyTStates);
    constexpr auto InterruptHandler = static_cast<double>(OsInterruptTStates);
    const ModelFacts& facts = target.facts();
    const double ticks = pacedByDeadlines(target) ? std::floor(facts.timerHz / target.framesPerSecond)
                                                  : static_cast<double>(ticksPerFrame(target));
    const double tick = static_cast<double>(facts.slowCpuHz) / facts.timerHz;
    double budget = std::max(2.0, ticks) * (tick - InterruptHandler) - ScreenCopy;
    if (target.storage == Storage::Archive) {
        budget -= archiveWindowTStates(target.format);
    }
    return std::max(0, static_cast<int>(budget));
}

std::unique_ptr<StreamEncoder> encoderFor(const VideoTarget& target)
{
    std::unique_ptr<StreamEncoder> encoder = codecFor(target.format).makeEncoder();
    encoder->setFrameBudget(frameBudgetTStates(target));
    encoder->setTarget(target);
    return encoder;
}

QStringList playerParts(const VideoTarget& target)
{
    return {toQString(PlayerMainPart), toQString(codecFor(target.format).playerPart),
            toQString(storageKind(target.storage).playerPart)};
}

QStringList allPlayerParts()
{
    QStringList parts{toQString(PlayerMainPart)};
    for (const Codec& codec : allCodecs()) {
        parts.append(toQString(codec.playerPart));
    }
    for (const StorageKind& kind : allStorageKinds()) {
        parts.append(toQString(kind.playerPart));
    }
    return parts;
}

}  // namespace zoetra
