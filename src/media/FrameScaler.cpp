#include "media/FrameScaler.h"

#include "media/Ffmpeg.h"
#include "media/FitGeometry.h"

#include <QPainter>

#include <cstring>

namespace zoetra::media {

namespace {

// Formats whose crop the area pass cannot take directly (a palette, an
// alpha channel to lay on white, bits packed within bytes) go through a
// full-size RGB picture first.
bool needsRgbFirst(AVPixelFormat format)
{
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
    if (!desc) {
        return true;
    }
    constexpr auto flags = AV_PIX_FMT_FLAG_ALPHA | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BITSTREAM |
                           AV_PIX_FMT_FLAG_HWACCEL;
    return (desc->flags & flags) != 0 || !sws_isSupportedInput(format);
}

bool isYuv(AVPixelFormat format)
{
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
    return desc && (desc->flags & AV_PIX_FMT_FLAG_RGB) == 0 && desc->nb_components >= 3;
}

bool isFullRange(const AVFrame& frame)
{
    switch (frame.format) {
    case AV_PIX_FMT_YUVJ420P:
    case AV_PIX_FMT_YUVJ422P:
    case AV_PIX_FMT_YUVJ444P:
    case AV_PIX_FMT_YUVJ440P:
    case AV_PIX_FMT_YUVJ411P:
        return true;
    default:
        return frame.color_range == AVCOL_RANGE_JPEG;
    }
}

// Sets the decoder's colour matrix and range on a context that reads YUV.
void setColours(SwsContext* context, const AVFrame& frame)
{
    if (!isYuv(static_cast<AVPixelFormat>(frame.format))) {
        return;
    }
    const int* matrix = sws_getCoefficients(frame.colorspace);
    sws_setColorspaceDetails(context, matrix, isFullRange(frame) ? 1 : 0, sws_getCoefficients(SWS_CS_DEFAULT),
                             1, 0, 1 << 16, 1 << 16);
}

// Rounds a crop offset down to whole chroma samples of the format.
int alignedDown(int value, int log2Chroma)
{
    return (value >> log2Chroma) << log2Chroma;
}

}  // namespace

struct FrameScaler::State {
    ScaleContextPtr area;
    ScaleContextPtr toRgb;
    FramePtr view{av_frame_alloc()};
};

FrameScaler::FrameScaler() : state_(std::make_unique<State>()) {}
FrameScaler::~FrameScaler() = default;

QImage FrameScaler::scale(const AVFrame& frame, double pixelAspect, FitMode fit, const QTransform& orientation)
{
    const auto format = static_cast<AVPixelFormat>(frame.format);
    if (frame.width <= 0 || frame.height <= 0 || !state_->view) {
        return {};
    }
    if (needsRgbFirst(format)) {
        // ARGB32 keeps an alpha channel when there is one; laid on white below.
        QImage rgb(frame.width, frame.height, QImage::Format_ARGB32);
        if (rgb.isNull()) {
            return {};
        }
        state_->toRgb.reset(sws_getCachedContext(state_->toRgb.release(), frame.width, frame.height, format,
                                                 frame.width, frame.height, AV_PIX_FMT_RGB32, SWS_POINT,
                                                 nullptr, nullptr, nullptr));
        if (!state_->toRgb) {
            return {};
        }
        setColours(state_->toRgb.get(), frame);
        uint8_t* planes[4] = {rgb.bits(), nullptr, nullptr, nullptr};
        const int strides[4] = {static_cast<int>(rgb.bytesPerLine()), 0, 0, 0};
        if (sws_scale(state_->toRgb.get(), frame.data, frame.linesize, 0, frame.height, planes, strides) <= 0) {
            return {};
        }
        if (!(av_pix_fmt_desc_get(format)->flags & AV_PIX_FMT_FLAG_ALPHA)) {
            rgb.reinterpretAsFormat(QImage::Format_RGB32);
        }
        return scaleRgb(rgb, pixelAspect, fit, orientation);
    }

    QImage screen(ScreenWidth, ScreenHeight, QImage::Format_RGB32);
    screen.fill(Qt::white);
    if (orientation.isIdentity()) {
        const FitGeometry g = computeFit(frame.width, frame.height, pixelAspect, fit);
        return scaleInto(frame, g.source, screen, g.target) ? screen : QImage();
    }

    // Turned: the fit is worked out on the picture as shown, the part used
    // is scaled in its stored orientation and turned once it is small.
    const QRect stored(0, 0, frame.width, frame.height);
    const QRect turned = orientation.mapRect(stored);
    const QTransform toShown = orientation * QTransform::fromTranslate(-turned.left(), -turned.top());
    const bool quarter = orientation.m11() == 0.0;
    const FitGeometry g = computeFit(turned.width(), turned.height(), quarter ? 1.0 / pixelAspect : pixelAspect, fit);
    const QRect source = toShown.inverted().mapRect(QRectF(g.source)).toAlignedRect().intersected(stored);
    const QSize size = quarter ? g.target.size().transposed() : g.target.size();
    QImage part(size, QImage::Format_RGB32);
    if (part.isNull() || !scaleInto(frame, source, part, QRect(QPoint(0, 0), size))) {
        return {};
    }
    const QImage shown = part.transformed(orientation);
    if (shown.size() != g.target.size()) {
        return {};
    }
    for (int y = 0; y < shown.height(); ++y) {
        std::memcpy(screen.scanLine(g.target.y() + y) + 4 * g.target.x(), shown.constScanLine(y),
                    static_cast<size_t>(4 * shown.width()));
    }
    return screen;
}

bool FrameScaler::scaleInto(const AVFrame& frame, const QRect& source, QImage& into, const QRect& target)
{
    const auto format = static_cast<AVPixelFormat>(frame.format);
    // A view of the frame's planes, cropped to the part that is used.
    AVFrame* view = state_->view.get();
    view->format = frame.format;
    view->width = frame.width;
    view->height = frame.height;
    view->colorspace = frame.colorspace;
    view->color_range = frame.color_range;
    for (int i = 0; i < AV_NUM_DATA_POINTERS; ++i) {
        view->data[i] = frame.data[i];
        view->linesize[i] = frame.linesize[i];
    }
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
    const int left = alignedDown(source.x(), desc->log2_chroma_w);
    const int top = alignedDown(source.y(), desc->log2_chroma_h);
    view->crop_left = static_cast<size_t>(left);
    view->crop_top = static_cast<size_t>(top);
    view->crop_right = static_cast<size_t>(frame.width - left - source.width());
    view->crop_bottom = static_cast<size_t>(frame.height - top - source.height());
    if (av_frame_apply_cropping(view, AV_FRAME_CROP_UNALIGNED) < 0) {
        return false;
    }

    // Full chroma for every screen pixel and exact rounding: at 96 x 64 the
    // cost is nothing beside the decoding.
    constexpr int flags = SWS_AREA | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT | SWS_FULL_CHR_H_INP;
    state_->area.reset(sws_getCachedContext(state_->area.release(), view->width, view->height, format,
                                            target.width(), target.height(), AV_PIX_FMT_RGB32, flags,
                                            nullptr, nullptr, nullptr));
    if (!state_->area) {
        return false;
    }
    setColours(state_->area.get(), *view);
    uint8_t* planes[4] = {into.bits() + target.y() * into.bytesPerLine() + 4 * target.x(), nullptr, nullptr,
                          nullptr};
    const int strides[4] = {static_cast<int>(into.bytesPerLine()), 0, 0, 0};
    return sws_scale(state_->area.get(), view->data, view->linesize, 0, view->height, planes, strides) > 0;
}

QImage FrameScaler::scale(const QImage& picture, FitMode fit)
{
    return scaleRgb(picture, 1.0, fit, {});
}

QImage FrameScaler::scaleRgb(const QImage& picture, double pixelAspect, FitMode fit, const QTransform& orientation)
{
    if (picture.isNull()) {
        return {};
    }
    QImage rgb;
    if (picture.hasAlphaChannel()) {
        rgb = QImage(picture.size(), QImage::Format_RGB32);
        if (rgb.isNull()) {
            return {};
        }
        rgb.fill(Qt::white);
        QPainter painter(&rgb);
        painter.drawImage(0, 0, picture);
    } else {
        rgb = picture.convertToFormat(QImage::Format_RGB32);
    }
    if (rgb.isNull()) {
        return {};
    }
    // The picture's pixels as a frame of FFmpeg's, borrowed, not copied.
    FramePtr frame(av_frame_alloc());
    if (!frame) {
        return {};
    }
    frame->format = AV_PIX_FMT_0RGB32;  // 0xFFRRGGBB in native order, as QImage's RGB32
    frame->width = rgb.width();
    frame->height = rgb.height();
    frame->data[0] = rgb.bits();
    frame->linesize[0] = static_cast<int>(rgb.bytesPerLine());
    return scale(*frame, pixelAspect, fit, orientation);
}

}  // namespace zoetra::media
