#include "media/PictureDecoder.h"

#include <QFile>

#include <cstring>

namespace zoetra::media {

namespace {

AVCodecID codecOf(const QByteArray& qtFormat)
{
    if (qtFormat == "png") {
        return AV_CODEC_ID_PNG;
    }
    if (qtFormat == "jpeg" || qtFormat == "jpg") {
        return AV_CODEC_ID_MJPEG;
    }
    return AV_CODEC_ID_NONE;
}

}  // namespace

bool PictureDecoder::decodes(const QByteArray& qtFormat)
{
    return codecOf(qtFormat) != AV_CODEC_ID_NONE;
}

FramePtr PictureDecoder::decode(const QString& path, const QByteArray& qtFormat)
{
    quietFfmpegLog();
    const AVCodec* decoder = avcodec_find_decoder(codecOf(qtFormat));
    if (!decoder) {
        return nullptr;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() <= 0 || file.size() > (1LL << 30)) {
        return nullptr;
    }
    PacketPtr packet(av_packet_alloc());
    if (!packet || av_new_packet(packet.get(), static_cast<int>(file.size())) < 0) {
        return nullptr;
    }
    if (file.read(reinterpret_cast<char*>(packet->data), packet->size) != packet->size) {
        return nullptr;
    }
    CodecContextPtr codec(avcodec_alloc_context3(decoder));
    FramePtr frame(av_frame_alloc());
    if (!codec || !frame) {
        return nullptr;
    }
    codec->thread_count = 1;  // the folder's pictures are decoded side by side instead
    codec->max_pixels = MaxSourcePixels;
    if (avcodec_open2(codec.get(), decoder, nullptr) < 0) {
        return nullptr;
    }
    if (avcodec_send_packet(codec.get(), packet.get()) < 0) {
        return nullptr;
    }
    avcodec_send_packet(codec.get(), nullptr);
    if (avcodec_receive_frame(codec.get(), frame.get()) < 0) {
        return nullptr;
    }
    return frame;
}

QTransform orientationOf(QImageIOHandler::Transformations transformations)
{
    // As Qt applies them: mirror, flip, then a quarter turn clockwise.
    QTransform transform;
    if (transformations & QImageIOHandler::TransformationMirror) {
        transform *= QTransform(-1, 0, 0, 1, 0, 0);
    }
    if (transformations & QImageIOHandler::TransformationFlip) {
        transform *= QTransform(1, 0, 0, -1, 0, 0);
    }
    if (transformations & QImageIOHandler::TransformationRotate90) {
        transform *= QTransform(0, 1, -1, 0, 0, 0);
    }
    return transform;
}

}  // namespace zoetra::media
