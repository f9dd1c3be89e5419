#include "cli/Preview.h"

#include "platform/FileSystem.h"
#include "platform/RemoveOnSignal.h"
#include "shared/CalculatorFiles.h"

#ifdef ZOETRA_HAVE_GIF
#include "calc/Recording.h"
#include "calc/Timing.h"
#include "calc/VideoFiles.h"
#include "media/PlaybackGif.h"
#include "codec/Codec.h"
#include "media/PlaybackMedia.h"
#include "shared/Text.h"
#endif

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

namespace zoetra {

namespace {

int fail(const QString& text)
{
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    return 1;
}


QString sizeText(qint64 bytes)
{
    return bytes >= 1024 * 1024 ? QStringLiteral("%1 MB").arg(static_cast<double>(bytes) / (1024.0 * 1024.0), 0, 'f', 1)
                                : QStringLiteral("%1 KB").arg((bytes + 1023) / 1024);
}

}  // namespace

qint64 calculatorFileLimit(const QByteArray& head)
{
    // "**TI83F*", the 55-byte file header, then the first variable's entry:
    // its header's length (2), the data's length (2), its type.
    constexpr int TypeOffset = 55 + 4;
    if (head.startsWith("**TI83F*") && head.size() > TypeOffset) {
        const int type = static_cast<unsigned char>(head[TypeOffset]) & 0x1F;
        if (type == 0x05 || type == 0x06) {
            return ProgramFileLimit;
        }
    }
    return VariableFileLimit;
}

bool previewAvailable()
{
#ifdef ZOETRA_HAVE_GIF
    return true;
#else
    return false;
#endif
}

#ifdef ZOETRA_HAVE_GIF
namespace {

// The calculator the program plays on: the model given, else the one it
// says it was made for, else the TI-83 Plus; its video's AppVars, and the
// frames of one round of its video where it says where the video lies.
calc::CalculatorSetup playedOn(const calc::ProgramWithVideo& program, std::optional<CalculatorModel> model)
{
    calc::CalculatorSetup setup;
    setup.model = model.value_or(program.madeFor ? program.madeFor->model : CalculatorModel::Ti83Plus);
    setup.appVars = program.appVars;
    if (program.madeFor) {
        setup.roundFrames = streamFrames(program.madeFor->format, program.stream);
    }
    return setup;
}

QString playedOnText(const QString& fileName, const calc::ProgramWithVideo& program, std::optional<CalculatorModel> model)
{
    const auto name = [](CalculatorModel m) { return toQString(modelFacts(m).name); };
    if (model) {
        QString text = QStringLiteral("Playing %1 on the %2 (--model)").arg(fileName, name(*model));
        if (program.madeFor && program.madeFor->model != *model) {
            text += QStringLiteral("; it was made for the %1").arg(name(program.madeFor->model));
        }
        return text + QLatin1Char('.');
    }
    if (program.madeFor) {
        return QStringLiteral("Playing %1 on the %2, the model it was made for.").arg(fileName, name(program.madeFor->model));
    }
    return QStringLiteral("Playing %1 on the %2: it does not say which model it was made for (--model plays it on "
                          "another).")
        .arg(fileName, name(CalculatorModel::Ti83Plus));
}

// Records the program and writes its GIF; `played`: an existing program
// played with --play, told which model it plays on.
int preview(const QString& programPath, const QString& gifPath, int scale, std::optional<CalculatorModel> model,
            bool played)
{
    QFile file(programPath);
    if (!file.open(QIODevice::ReadOnly)) {
        return fail(QStringLiteral("Error: The program file %1 could not be read!").arg(nativePath(programPath)));
    }
    // Before it is read: a huge (or sparse) file never fills the memory.
    const qint64 limit = calculatorFileLimit(file.peek(64));
    if (file.size() > limit) {
        return fail(QStringLiteral("Error: The program file %1 is %2; a calculator %3 file holds at most %4!")
                        .arg(nativePath(programPath), sizeText(file.size()),
                             limit == ProgramFileLimit ? QStringLiteral("program") : QStringLiteral("bundle or AppVar"),
                             limit == ProgramFileLimit ? QStringLiteral("64 KB") : QStringLiteral("2 MB")));
    }
    file.close();
    const QFileInfo target(gifPath);
    if ((target.exists() || target.isSymLink()) && !target.isFile()) {
        return fail(QStringLiteral("Error: The preview %1 is not a regular file; nothing was written!")
                        .arg(nativePath(gifPath)));
    }
    // The program with the AppVars of its video beside it, if it reads them.
    std::string unreadable;
    const std::optional<calc::ProgramWithVideo> program = calc::readProgramWithVideo(programPath, &unreadable);
    if (!program) {
        return fail(QStringLiteral("Error: The program does not play on the calculator: %1")
                        .arg(QString::fromStdString(unreadable)));
    }
    const calc::CalculatorSetup setup = playedOn(*program, model);
    if (played) {
        std::fprintf(stderr, "%s\n",
                     playedOnText(QFileInfo(programPath).fileName(), *program, model).toLocal8Bit().constData());
    }
    const calc::Recording recording = calc::recordProgram(program->program, setup);
    if (const std::string problem = recording.problem(); !problem.empty()) {
        return fail(QStringLiteral("Error: The program does not play on the calculator: %1")
                        .arg(QString::fromStdString(problem)));
    }
    // Written under a name of this run's own, beside its place.
    const QString partial =
        QDir(target.absolutePath())
            .filePath(QStringLiteral(".%1.partial-%2")
                          .arg(target.fileName())
                          .arg(QRandomGenerator::global()->generate() % 0x1000000, 6, 16, QLatin1Char('0')));
    // A signal while it is written ends the program without it.
    const RemoveOnSignal removedOnSignal(partial);
    // The kind of file its name asks for: the sound alone, the video with
    // its sound, or the silent GIF.
    const std::string named = QFile::encodeName(gifPath).toStdString();
    const media::PreviewKind kind = media::previewKind(named);
    const std::string partialPath = QFile::encodeName(partial).toStdString();
    const std::string problem = kind == media::PreviewKind::Sound ? media::writePlaybackSound(partialPath, recording, named)
                                : kind == media::PreviewKind::Video
                                    ? media::writePlaybackVideo(partialPath, recording, scale, named)
                                    : media::writePlaybackGif(partialPath, recording, scale);
    if (!problem.empty()) {
        QFile::remove(partial);
        return fail(QStringLiteral("Error: The preview could not be written: %1").arg(QString::fromStdString(problem)));
    }
    std::error_code error;
    std::filesystem::rename(std::filesystem::path(partial.toStdU16String()),
                            std::filesystem::path(gifPath.toStdU16String()), error);
    if (error) {
        QFile::remove(partial);
        return fail(QStringLiteral("Error: The preview could not be written: %1 (%2)")
                        .arg(nativePath(gifPath), QString::fromStdString(error.message())));
    }
    const char* end = recording.end == calc::Recording::End::Loops         ? "looping"
                      : recording.end == calc::Recording::End::WaitsForKey ? "then waits for a key"
                      : recording.end == calc::Recording::End::TimeLimit   ? "cut at 10 minutes"
                                                                            : "then returns";
    if (kind != media::PreviewKind::Gif && recording.lineEdges.empty()) {
        std::fprintf(stderr, "Preview: the program makes no sound (it never drives the link port's lines).\n");
    }
    if (recording.frames.size() < 2) {
        // One picture has no pace of its own.
        std::fprintf(stderr, "Preview: %s (1 frame, %s)\n", nativePath(gifPath).toLocal8Bit().constData(), end);
        return 0;
    }
    std::fprintf(stderr, "Preview: %s (%zu frames, %.2f s, %.2f frames a second, %s)\n",
                 nativePath(gifPath).toLocal8Bit().constData(), recording.frames.size(),
                 calc::seconds(recording.totalTStates()), recording.framesPerSecond(), end);
    return 0;
}

}  // namespace
#else
namespace {

int preview(const QString&, const QString&, int, std::optional<CalculatorModel>, bool)
{
    return fail(QStringLiteral("Error: This zoetra2-convert was built without the calculator preview."));
}

}  // namespace
#endif

int writePreview(const QString& programPath, const QString& gifPath, int scale, CalculatorModel model)
{
    return preview(programPath, gifPath, scale, model, false);
}

int playProgram(const QString& programPath, const QString& gifPath, int scale, std::optional<CalculatorModel> model)
{
    return preview(programPath, gifPath, scale, model, true);
}

}  // namespace zoetra
