#include "media/Ffmpeg.h"

extern "C" {
#include <libavutil/log.h>
}

#include <mutex>

namespace zoetra::media {

QString ffmpegError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    if (av_strerror(code, text, sizeof text) < 0) {
        return QStringLiteral("error %1").arg(code);
    }
    return QString::fromUtf8(text);
}

void quietFfmpegLog()
{
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

}  // namespace zoetra::media
