#include "codec/Codec.h"

#include "codec/compact/CompactDecoder.h"
#include "codec/compact/CompactEncoder.h"
#include "codec/dense/DenseDecoder.h"
#include "codec/dense/DenseEncoder.h"
#include "codec/written/WrittenDecoder.h"
#include "codec/written/WrittenEncoder.h"
#include "codec/written/WrittenFormat.h"

#include <array>

namespace zoetra {

namespace {

template <class Encoder>
std::unique_ptr<StreamEncoder> make()
{
    return std::make_unique<Encoder>();
}

std::optional<DecodedVideo> decodeCompact(std::span<const std::uint8_t> stream, std::string* error)
{
    return compact::decodeCompactVideo(stream, error);
}

std::optional<DecodedVideo> decodeDense(std::span<const std::uint8_t> stream, std::string* error)
{
    return dense::decodeDenseStream(stream, error);
}

std::optional<DecodedVideo> decodeWritten(std::span<const std::uint8_t> stream, std::string* error)
{
    return written::decodeWrittenVideo(stream, error);
}

// The one place that knows every stream format, in StreamFormat's order.
const std::array<Codec, 3> Codecs{{
    {StreamFormat::Written, "written", "Written", "DecodeWritten.z80", written::MaxFrameBytes, &make<written::WrittenEncoder>, &decodeWritten},
    {StreamFormat::Compact, "compact", "Compact", "DecodeCompact.z80", compact::MaxFrameBytes, &make<compact::CompactEncoder>, &decodeCompact},
    {StreamFormat::Dense, "dense", "Dense", "DecodeDense.z80", dense::ScreenSize + 8, &make<dense::DenseEncoder>, &decodeDense},
}};

}  // namespace

const Codec& codecFor(StreamFormat format)
{
    return Codecs.at(static_cast<std::size_t>(format));
}

std::optional<std::size_t> streamFrames(StreamFormat format, std::span<const std::uint8_t> stream)
{
    std::string ignored;
    const std::optional<DecodedVideo> decoded = codecFor(format).decode(stream, &ignored);
    return decoded ? std::optional<std::size_t>(decoded->frames.size()) : std::nullopt;
}

std::span<const Codec> allCodecs()
{
    return Codecs;
}

const Codec* codecByKey(std::string_view key)
{
    for (const Codec& codec : Codecs) {
        if (codec.key == key) {
            return &codec;
        }
    }
    return nullptr;
}

}  // namespace zoetra
