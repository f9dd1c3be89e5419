#include "program/PlayerTarget.h"

#include "codec/Codec.h"
#include "codec/dense/DenseDelivery.h"
#include "program/ArchiveVideo.h"
#include "shared/MadeFor.h"
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

namespace {

// The program's last bytes (shared/MadeFor.h): after the stream of a video
// in RAM, after the buffers of one in the archive.
QByteArray madeForText(const VideoTarget& target)
{
    const auto number = [](auto value) { return QByteArray::number(static_cast<int>(value)); };
    QByteArray text = "; What this program was made for, its last bytes: the model, the storage, the\r\n"
                      "; stream format, where a stream in the program starts, their length\r\n";
    text += "MadeFor:        .db \"" + QByteArray(reinterpret_cast<const char*>(madefor::Mark.data()), static_cast<qsizetype>(madefor::Mark.size())) +
            "\"," + number(target.model) + "," + number(target.storage) + "," + number(target.format) + "\r\n";
    text += target.storage == Storage::Ram ? "                .dw VideoData\r\n" : "                .dw 0\r\n";
    text += "                .db $-MadeFor+1\r\n";
    return text;
}

QByteArray includeText(const VideoTarget& target, const Codec& codec, const StorageKind& storage)
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
        if (target.format == StreamFormat::Dense) {
            // The dense player keeps the fraction in 16 bits.
            const FineTicks ti83 = frameTicksFine(modelFacts(CalculatorModel::Ti83Plus).timerHz, target.framesPerSecond);
            const FineTicks ti84 = frameTicksFine(others, target.framesPerSecond);
            text += "WHOLE_83        .equ " + QByteArray::number(ti83.whole) + "\r\n";
            text += "FRACTION_83     .equ " + QByteArray::number(ti83.fraction) + "\r\n";
            text += "WHOLE_84        .equ " + QByteArray::number(ti84.whole) + "\r\n";
            text += "FRACTION_84     .equ " + QByteArray::number(ti84.fraction) + "\r\n";
        }
    }
    if (target.sound) {
        // Its code first: the decoder's or the storage's buffers end the
        // code, which stays below C000h.
        text += "#include \"" + toQString(SoundPlayerPart).toLatin1() + "\"\r\n";
    }
    text += "#include \"" + toQString(codec.playerPart).toLatin1() + "\"\r\n";
    text += "#include \"" + toQString(storage.playerPart).toLatin1() + "\"\r\n";
    if (saysWhatItWasMadeFor(target)) {
        text += madeForText(target);
    }
    return text;
}

int archiveWindow(const Codec& codec)
{
    // ldir for each byte, and the walk over the stretches around it.
    constexpr int PerByte = 21;
    constexpr int Fixed = 4'000;
    return PerByte * codec.maxFrameBytes + Fixed;
}

int budgetFor(const VideoTarget& target, const Codec& codec)
{
    constexpr auto ScreenCopy = static_cast<double>(OsScreenCopyTStates);
    constexpr auto InterruptHandler = static_cast<double>(OsInterruptTStates);
    const ModelFacts& facts = target.facts();
    const double ticks = pacedByDeadlines(target) ? std::floor(facts.timerHz / target.framesPerSecond)
                                                  : static_cast<double>(ticksPerFrame(target));
    const double tick = static_cast<double>(facts.slowCpuHz) / facts.timerHz;
    double budget = std::max(2.0, ticks) * (tick - InterruptHandler) - ScreenCopy;
    if (target.storage == Storage::Archive) {
        budget -= archiveWindow(codec);
    }
    return std::max(0, static_cast<int>(budget));
}

std::unique_ptr<StreamEncoder> newEncoder(const VideoTarget& target, const Codec& codec, int budget)
{
    std::unique_ptr<StreamEncoder> encoder = codec.makeEncoder();
    encoder->setFrameBudget(budget);
    encoder->setTarget(target);
    return encoder;
}

QStringList partsOf(const Codec& codec, const StorageKind& storage, bool sound)
{
    QStringList parts{toQString(PlayerMainPart), toQString(codec.playerPart), toQString(storage.playerPart)};
    if (sound) {
        parts.append(toQString(SoundPlayerPart));
    }
    return parts;
}

}  // namespace

QByteArray TargetIncludeText(const VideoTarget& target)
{
    return includeText(target, codecFor(target.format), storageKind(target.storage));
}

int archiveWindowTStates(StreamFormat format)
{
    return archiveWindow(codecFor(format));
}

int frameBudgetTStates(const VideoTarget& target)
{
    return budgetFor(target, codecFor(target.format));
}

std::unique_ptr<StreamEncoder> encoderFor(const VideoTarget& target)
{
    const Codec& codec = codecFor(target.format);
    return newEncoder(target, codec, budgetFor(target, codec));
}

QStringList playerParts(const VideoTarget& target)
{
    return partsOf(codecFor(target.format), storageKind(target.storage), target.sound);
}

ResolvedTarget resolveTarget(const VideoTarget& target)
{
    const Codec& codec = codecFor(target.format);
    const StorageKind& storage = storageKind(target.storage);
    return {target,
            &codec,
            &storage,
            budgetFor(target, codec),
            videoSizeLimit(target),
            partsOf(codec, storage, target.sound),
            includeText(target, codec, storage)};
}

std::unique_ptr<StreamEncoder> ResolvedTarget::makeEncoder() const
{
    return newEncoder(target, *codec, frameBudget);
}

std::unique_ptr<StreamEncoder> deliveryEncoder(const ResolvedTarget& resolved, bool looping)
{
    if (resolved.target.format != StreamFormat::Dense) {
        return resolved.makeEncoder();
    }
    VideoTarget compact = resolved.target;
    compact.format = StreamFormat::Compact;
    return std::make_unique<dense::DenseDelivery>(resolved.target, encoderFor(compact), resolved.sizeLimit, looping);
}

ResolvedTarget deliveredTarget(const ResolvedTarget& resolved, const StreamEncoder& encoder)
{
    const auto* delivery = dynamic_cast<const dense::DenseDelivery*>(&encoder);
    if (delivery == nullptr || delivery->outcome().format == resolved.target.format) {
        return resolved;
    }
    VideoTarget target = resolved.target;
    target.format = delivery->outcome().format;
    return resolveTarget(target);
}

QString deliveryText(const StreamEncoder& encoder, const VideoTarget& target)
{
    const auto* delivery = dynamic_cast<const dense::DenseDelivery*>(&encoder);
    if (delivery == nullptr || delivery->outcome().format == StreamFormat::Dense) {
        return {};
    }
    const dense::DenseDelivery::Outcome outcome = delivery->outcome();
    const QString rate = QString::number(target.framesPerSecond, 'g', 4);
    const QString model = toQString(target.facts().name);
    if (outcome.lateFrames > 0 || outcome.roundsEndLate) {
        return QStringLiteral("Sent as compact video (%1 bytes): the dense stream cannot keep %2 frames a second on "
                              "the %3%4.")
            .arg(outcome.compactBytes)
            .arg(rate, model,
                 outcome.lateFrames > 0 ? QString() : QStringLiteral(" from one round to the next"));
    }
    return QStringLiteral("Sent as compact video: the dense stream would take %1 bytes, the compact one takes %2.")
        .arg(outcome.denseBytes)
        .arg(outcome.compactBytes);
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
    parts.append(toQString(SoundPlayerPart));
    return parts;
}

}  // namespace zoetra
