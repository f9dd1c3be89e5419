#include "media/Ffmpeg.h"

#include <QFile>

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

std::string outputProblem(int code, const char* what, const std::string& path)
{
    return code < 0 ? std::string(what) + " " + path + ": " + ffmpegError(code).toStdString() : std::string();
}

std::string finishOutput(AVFormatContext* format, const std::string& path, bool opened, std::string problem)
{
    if (problem.empty()) {
        problem = outputProblem(av_write_trailer(format), "cannot finish", path);
    }
    if (format != nullptr && format->pb != nullptr) {
        const int closed = avio_closep(&format->pb);
        if (problem.empty()) {
            problem = outputProblem(closed, "cannot write", path);
        }
    }
    if (!problem.empty() && opened) {
        QFile::remove(QString::fromStdString(path));
    }
    return problem;
}

}  // namespace zoetra::media
