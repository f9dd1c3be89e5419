#include "media/Ffmpeg.h"

extern "C" {
#include <libavutil/log.h>
}


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
    // A static's initialisation runs once, also when threads race for it
    // (std::call_once would make the programs need the loader's TLS entry).
    static const bool quiet = [] {
        av_log_set_level(AV_LOG_QUIET);
        return true;
    }();
    static_cast<void>(quiet);
}

}  // namespace zoetra::media
