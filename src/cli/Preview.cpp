#include "cli/Preview.h"

#include "platform/FileSystem.h"

#ifdef ZOETRA_HAVE_GIF
#include "calc/PlaybackGif.h"
#include "calc/Recording.h"
#include "calc/Timing.h"
#endif

#include <QFile>

#include <cstdio>
#include <vector>

namespace zoetra {

namespace {

int fail(const QString& text)
{
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    return 1;
}

}  // namespace

bool previewAvailable()
{
#ifdef ZOETRA_HAVE_GIF
    return true;
#else
    return false;
#endif
}

int writePreview(const QString& programPath, const QString& gifPath, int scale, CalculatorModel model)
{
#ifdef ZOETRA_HAVE_GIF
    QFile file(programPath);
    if (!file.open(QIODevice::ReadOnly)) {
        return fail(QStringLiteral("Error: The program file %1 could not be read!").arg(nativePath(programPath)));
    }
    const QByteArray bytes = file.readAll();
    const calc::Recording recording =
        calc::recordProgramFile(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), calc::CalculatorSetup{model, {}});
    if (const std::string problem = recording.problem(); !problem.empty()) {
        return fail(QStringLiteral("Error: The program does not play on the calculator: %1")
                        .arg(QString::fromStdString(problem)));
    }
    if (const std::string problem = calc::writePlaybackGif(gifPath.toStdString(), recording, scale); !problem.empty()) {
        return fail(QStringLiteral("Error: The preview could not be written: %1").arg(QString::fromStdString(problem)));
    }
    const char* end = recording.end == calc::Recording::End::Loops         ? "looping"
                      : recording.end == calc::Recording::End::WaitsForKey ? "then waits for a key"
                      : recording.end == calc::Recording::End::TimeLimit   ? "cut at 10 minutes"
                                                                            : "then returns";
    std::fprintf(stderr, "Preview: %s (%zu frames, %.2f s, %.2f frames a second, %s)\n",
                 nativePath(gifPath).toLocal8Bit().constData(), recording.frames.size(),
                 calc::seconds(recording.totalTStates()), recording.framesPerSecond(), end);
    return 0;
#else
    Q_UNUSED(programPath);
    Q_UNUSED(gifPath);
    Q_UNUSED(scale);
    Q_UNUSED(model);
    return fail(QStringLiteral("Error: This zoetra2-convert was built without the calculator preview."));
#endif
}

}  // namespace zoetra
