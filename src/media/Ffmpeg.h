#pragma once

// FFmpeg's objects, each owned by a unique_ptr with its free function, so no
// path out of a function leaks one. Only the library's own sources include
// this header; its users see frames, never packets.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include "media/MediaTypes.h"

#include <QString>

#include <memory>
#include <string>

namespace zoetra::media {

struct FormatContextCloser {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
// An output context: its file closed where it opened one, then freed.
struct OutputContextCloser {
    void operator()(AVFormatContext* c) const
    {
        if (c->pb != nullptr && (c->oformat->flags & AVFMT_NOFILE) == 0) {
            avio_closep(&c->pb);
        }
        avformat_free_context(c);
    }
};
struct CodecContextFreer {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFreer {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFreer {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct ScaleContextFreer {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};
struct ResampleContextFreer {
    void operator()(SwrContext* s) const { swr_free(&s); }
};
struct DictionaryFreer {
    void operator()(AVDictionary* d) const { av_dict_free(&d); }
};

using FormatContextPtr = std::unique_ptr<AVFormatContext, FormatContextCloser>;
using OutputContextPtr = std::unique_ptr<AVFormatContext, OutputContextCloser>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextFreer>;
using FramePtr = std::unique_ptr<AVFrame, FrameFreer>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFreer>;
using ScaleContextPtr = std::unique_ptr<SwsContext, ScaleContextFreer>;
using ResampleContextPtr = std::unique_ptr<SwrContext, ResampleContextFreer>;

// FFmpeg's own text for an error code.
QString ffmpegError(int code);

// "`what` `path`: FFmpeg's reason" for a failed call's code, else empty.
std::string outputProblem(int code, const char* what, const std::string& path);

// Ends an output file the recording went to: its trailer written (unless
// `problem` already says it failed) and its file closed; on any failure the
// file, where it was opened, is removed. Gives the first problem, or none.
std::string finishOutput(AVFormatContext* format, const std::string& path, bool opened, std::string problem);


}  // namespace zoetra::media
