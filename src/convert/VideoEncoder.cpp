#include "convert/VideoEncoder.h"

#include "codec/Codec.h"
#include "platform/FileSystem.h"
#include "platform/PictureArea.h"
#include "platform/Platform.h"
#include "platform/UniformRandom.h"
#include "platform/WindowLayer.h"
#include "shared/Vars.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace zoetra {

namespace {

// Hands the screen the calculator now shows to the encoder and brings
// VideoBytes and ByteCount up to date with its stream.
void copyStream(Vars& vars, const StreamEncoder& encoder)
{
    const auto& bytes = encoder.bytes();
    if (bytes.size() > vars.VideoBytes.size()) {
        vars.VideoBytes.resize(bytes.size());
    }
    std::copy(bytes.begin() + encoder.firstChangedByte(), bytes.end(),
              vars.VideoBytes.begin() + encoder.firstChangedByte());
    vars.ByteCount = encoder.size();
}

void addShownScreen(Vars& vars, StreamEncoder& encoder)
{
    Screen screen;
    for (std::size_t i = 0; i < screen.size(); ++i) {
        screen[i] = static_cast<std::uint8_t>(vars.PrevFrameBytes[i]);
    }
    encoder.addFrame(screen);
    copyStream(vars, encoder);
}

}  // namespace

void StartVideoStream(Vars& vars, StreamEncoder& encoder)
{
    for (std::size_t i = 0; i < FrameByteCount; ++i) {
        vars.PrevFrameBytes[i] = vars.FrameBytes[i];
    }
    encoder.reset();
    addShownScreen(vars, encoder);
}

FrameEncoding EncodeDeltaFrame(Vars& vars, Platform& platform, int f, StreamEncoder& encoder, int sizeLimit)
{
    WindowLayer& window = platform.window;
    PictureArea& preview = window.quickPrev();

    for (int i = 0; i < FrameByteCount; ++i) {
        const auto index = static_cast<std::size_t>(i);
        window.yieldToEvents();

        // Quality: one draw for every byte; with a divisor q above 1 a byte
        // is examined with a chance of about 1 in q.
        // floor(r * q) is 0 exactly when r * q < 1, as r * q is never negative.
        const int q = std::abs(window.detailSliderValue());
        const float r = platform.random.next();
        if (r * static_cast<float>(q) >= 1.0f) {
            continue;
        }

        if (vars.FrameBytes[index] != vars.PrevFrameBytes[index]) {
            vars.PrevFrameBytes[index] = vars.FrameBytes[index];

            // Mark the written byte: white turns blue, black gets a value
            // outside 24 bits that the area keeps only the low bits of.
            const int y = i / BytesPerRow;
            const int x0 = 8 * (i % BytesPerRow);
            for (int k = 0; k < 8; ++k) {
                const Colour c = preview.pixel(x0 + k, y);
                preview.setPixel(x0 + k, y, c - 65535);
            }
        }
        preview.refresh();
    }

    addShownScreen(vars, encoder);

    FrameEncoding result;
    result.ratio = 100.0 * vars.ByteCount / (static_cast<double>(ScreenByteCount) * (f + 1));
    window.setProgressValue(ProgressBar::CompressionVal, static_cast<float>(result.ratio));
    window.setSizeCounterCaption(QString::number(vars.ByteCount) + QLatin1Char('b'));
    result.overLimit = vars.ByteCount > sizeLimit;
    return result;
}

void EndVideoStream(Vars& vars, StreamEncoder& encoder)
{
    // The video end may share the stream's last byte (compact bits); the
    // byte at ByteCount, which Video.dat always holds, is then not read,
    // and is 0. ByteCount stays the stream's length before its end: that of
    // the stream that goes out, which finishing may settle (a dense
    // target's may go out compact).
    encoder.finish();
    copyStream(vars, encoder);
    const auto streamEnd = encoder.bytes().size();
    const auto size = static_cast<std::size_t>(vars.ByteCount);
    if (vars.VideoBytes.size() <= size) {
        vars.VideoBytes.resize(size + 1);
    }
    std::fill(vars.VideoBytes.begin() + static_cast<std::ptrdiff_t>(std::min(streamEnd, size + 1)),
              vars.VideoBytes.begin() + static_cast<std::ptrdiff_t>(size + 1), std::uint8_t{0});
}

namespace {

void appendValue(QByteArray& text, std::uint8_t value)
{
    text += ' ';
    text += QByteArray::number(value);
}

}  // namespace

QByteArray VideoDataText(Vars& vars, Platform& platform)
{
    WindowLayer& window = platform.window;
    const int end = vars.ByteCount;  // position of the end marker
    window.setProgressMaximum(ProgressBar::ByteWriter, end);

    QByteArray text;
    text.reserve((end / 8 + 1) * 48 + 16 * 12);
    int last = 0;
    for (int p = 0; p <= end; p += 8) {
        window.setProgressValue(ProgressBar::ByteWriter, p);
        text += "\r\n.db ";
        for (int k = 0; k < 8; ++k) {
            if (k > 0) {
                text += ',';
            }
            appendValue(text, p + k <= end ? vars.VideoBytes[static_cast<std::size_t>(p + k)] : 0);
        }
        last = p;
        window.yieldToEvents();
    }
    for (int j = last; j <= end; ++j) {
        text += "\r\n.db ";
        appendValue(text, vars.VideoBytes[static_cast<std::size_t>(j)]);
        window.yieldToEvents();
    }
    text += "\r\n";
    return text;
}

std::optional<FileFailure> WriteVideoData(Vars& vars, Platform& platform)
{
    const QByteArray text = VideoDataText(vars, platform);
    const QString path = joinPath(platform.appDir, QStringLiteral("Video.dat"));
    QString why;
    if (!platform.files.writeFile(path, text, &why)) {
        return FileFailure{path, why};
    }
    return std::nullopt;
}

}  // namespace zoetra
