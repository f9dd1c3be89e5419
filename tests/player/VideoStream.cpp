#include "VideoStream.h"

#include "codec/written/WrittenDecoder.h"
#include "codec/written/WrittenEncoder.h"

#include <QList>

#include <gtest/gtest.h>

#include <algorithm>

namespace playertest {

Stream makeStream(const Screen& key, const std::vector<FrameChanges>& frames)
{
    Stream stream(key.begin(), key.end());
    for (const FrameChanges& frame : frames) {
        for (const auto& [offset, value] : frame) {
            stream.push_back(static_cast<std::uint8_t>(offset >> 8));
            stream.push_back(static_cast<std::uint8_t>(offset & 0xFF));
            stream.push_back(value);
        }
        stream.push_back(FrameEnd);
    }
    stream.push_back(VideoEnd);
    return stream;
}

std::vector<Screen> decodeStream(const Stream& stream)
{
    std::string error;
    const auto video = zoetra::written::decodeWrittenVideo(stream, &error);
    if (!video) {
        ADD_FAILURE() << error;
        return {};
    }
    EXPECT_EQ(video->length, stream.size()) << "bytes after the end marker";
    // The encoder writes each frame's records in ascending order.
    int previousOffset = -1;
    for (std::size_t at = zoetra::calc::ScreenBytes; at + 1 < stream.size();) {
        if (stream[at] >= FrameEnd - 1) {
            previousOffset = -1;
            ++at;
            continue;
        }
        const int offset = stream[at] * 256 + stream[at + 1];
        EXPECT_GT(offset, previousOffset) << "records out of order";
        previousOffset = offset;
        at += 3;
    }
    return video->frames;
}

QByteArray videoDataText(const Stream& stream, std::uint8_t garbage)
{
    const std::size_t marker = stream.size() - 1;
    const auto value = [&](std::size_t i) { return i < stream.size() ? stream[i] : garbage; };
    QByteArray text;
    std::size_t last = 0;
    for (std::size_t p = 0; p <= marker; p += 8) {
        text += "\r\n.db ";
        for (std::size_t i = p; i < p + 8; ++i) {
            text += (i == p ? " " : ", ") + QByteArray::number(value(i));
        }
        last = p;
    }
    for (std::size_t j = last; j <= marker; ++j) {
        text += "\r\n.db  " + QByteArray::number(value(j));
    }
    return text + "\r\n";
}

Stream streamFromVideoData(const QByteArray& text)
{
    Stream eightValueLines;
    Stream oneValueLines;
    for (QByteArray line : text.split('\n')) {
        line = line.trimmed();
        if (line.isEmpty()) {
            continue;
        }
        if (!line.startsWith(".db ")) {
            ADD_FAILURE() << "not a data line: " << line.toStdString();
            return {};
        }
        Stream& values = line.count(',') == 0 ? oneValueLines : eightValueLines;
        const QList<QByteArray> pieces = line.mid(4).split(',');
        if (pieces.size() != 1 && pieces.size() != 8) {
            ADD_FAILURE() << "neither one nor eight values: " << line.toStdString();
            return {};
        }
        if (&values == &eightValueLines && !oneValueLines.empty()) {
            ADD_FAILURE() << "eight-value line after the one-value lines";
            return {};
        }
        for (const QByteArray& piece : pieces) {
            bool ok = false;
            const uint value = piece.trimmed().toUInt(&ok);
            if (!ok || value > 255) {
                ADD_FAILURE() << "bad value in " << line.toStdString();
                return {};
            }
            values.push_back(static_cast<std::uint8_t>(value));
        }
    }
    // The one-value lines repeat the positions from the last eight-value
    // line's start up to the end marker.
    if (eightValueLines.empty() || oneValueLines.empty() || oneValueLines.size() > 8) {
        ADD_FAILURE() << "not the layout of a video data file";
        return {};
    }
    const std::size_t last = eightValueLines.size() - 8;
    Stream stream(eightValueLines.begin(), eightValueLines.begin() + static_cast<long>(last + oneValueLines.size()));
    EXPECT_TRUE(std::equal(oneValueLines.begin(), oneValueLines.end(), stream.begin() + static_cast<long>(last)))
        << "the repeated lines differ from the data lines";
    EXPECT_EQ(stream.back(), VideoEnd);
    return stream;
}

std::size_t videoDataSize(std::size_t streamLength)
{
    const std::size_t marker = streamLength - 1;
    const std::size_t last = marker - marker % 8;
    return last + 8 + (marker - last + 1);
}

Screen patternScreen(unsigned seed)
{
    Screen screen{};
    std::uint32_t state = seed * 2654435761u + 1;
    for (auto& b : screen) {
        state = state * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(state >> 16);
    }
    return screen;
}

FrameChanges changesBetween(const Screen& from, const Screen& to)
{
    FrameChanges changes;
    for (std::size_t i = 0; i < from.size(); ++i) {
        if (from[i] != to[i]) {
            changes.emplace_back(static_cast<int>(i), to[i]);
        }
    }
    return changes;
}

}  // namespace playertest
