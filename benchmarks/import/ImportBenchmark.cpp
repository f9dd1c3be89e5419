// The video import against the ffmpeg command on the same machine: a
// 60-second 1280 x 720 H.264 clip (made by ffmpeg, kept in the build folder)
// turned into 96 x 64 BMP frames at 15 frames a second, by our import and by
//   ffmpeg -i clip.mp4 -vf fps=15,scale=96:64 -f image2 DIR/%05d.bmp
// Each is timed by wall clock over several alternating rounds, with the
// peak resident memory of its process. Then the "what fits" estimate over
// the imported frames. Usage: import_benchmark [rounds] [clip]
#include "convert/WhatFits.h"
#include "imaging/FrameFolder.h"
#include "media/VideoImport.h"
#include "platform/QtFileSystem.h"
#include "platform/QtPictureLoader.h"
#include "shared/Vars.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QCoreApplication>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

using namespace zoetra;

namespace {

struct Run {
    double seconds = 0.0;
    double cpuSeconds = 0.0;  // user and system, all threads
    long peakKb = 0;
    bool ok = false;
};

// Runs a command as a child and measures it alone (wait4's own usage).
Run runCommand(const QStringList& arguments)
{
    std::vector<QByteArray> storage;
    for (const QString& a : arguments) {
        storage.push_back(a.toLocal8Bit());
    }
    std::vector<char*> argv;
    for (QByteArray& a : storage) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    QElapsedTimer clock;
    clock.start();
    const pid_t pid = fork();
    if (pid == 0) {
        execvp(argv[0], argv.data());
        _exit(127);
    }
    Run run;
    int status = 0;
    rusage usage{};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) {
        return run;
    }
    run.seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    run.peakKb = usage.ru_maxrss;
    run.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

int importOnly(const QString& clip, const QString& destination)
{
    media::ImportSettings settings;
    settings.framesPerSecond = 15.0;
    settings.fit = media::FitMode::Stretch;  // as scale=96:64
    const media::ImportResult result = media::importFrames(clip, destination, settings, {});
    if (result.status != media::ImportResult::Status::Done) {
        std::fprintf(stderr, "import: %s\n", qPrintable(result.message));
        return 1;
    }
    return 0;
}

int countFiles(const QString& folder)
{
    return static_cast<int>(QDir(folder).entryList(QDir::Files).size());
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    // The import side runs as this program again, so that its memory is
    // measured alone, as the command's is.
    if (argc == 4 && QByteArray(argv[1]) == "--import-only") {
        return importOnly(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    }
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 6;
    QString clip = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral(ZOETRA_BENCHMARK_DIR "/clip720p60s.mp4");

    if (!QFileInfo::exists(clip)) {
        std::printf("making the clip %s ...\n", qPrintable(clip));
        const Run made = runCommand({QStringLiteral("ffmpeg"), QStringLiteral("-hide_banner"),
                                     QStringLiteral("-loglevel"), QStringLiteral("error"), QStringLiteral("-y"),
                                     QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                     QStringLiteral("testsrc2=size=1280x720:rate=30:duration=60"),
                                     QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-preset"),
                                     QStringLiteral("medium"), QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"),
                                     clip});
        if (!made.ok) {
            std::fprintf(stderr, "import_benchmark: ffmpeg could not make the clip\n");
            return 1;
        }
    }

    QTemporaryDir work;
    std::vector<double> ours;
    std::vector<double> theirs;
    std::vector<double> oursCpu;
    std::vector<double> theirsCpu;
    long oursPeak = 0;
    long theirsPeak = 0;
    int oursFrames = 0;
    int theirsFrames = 0;
    QString lastImport;
    for (int round = 0; round < rounds; ++round) {
        const QString ffmpegDir = work.filePath(QStringLiteral("ffmpeg%1").arg(round));
        const QString importDir = work.filePath(QStringLiteral("import%1").arg(round));
        QDir().mkpath(ffmpegDir);
        const auto runFfmpeg = [&] {
            return runCommand({QStringLiteral("ffmpeg"), QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"),
                               QStringLiteral("error"), QStringLiteral("-i"), clip, QStringLiteral("-vf"),
                               QStringLiteral("fps=15,scale=96:64"), QStringLiteral("-f"), QStringLiteral("image2"),
                               ffmpegDir + QStringLiteral("/%05d.bmp")});
        };
        const auto runImport = [&] {
            return runCommand(
                {QCoreApplication::applicationFilePath(), QStringLiteral("--import-only"), clip, importDir});
        };
        // Each goes first every other round: neither always meets a cold cache.
        Run command;
        Run import;
        if (round % 2 == 0) {
            command = runFfmpeg();
            import = runImport();
        } else {
            import = runImport();
            command = runFfmpeg();
        }
        if (!command.ok || !import.ok) {
            std::fprintf(stderr, "import_benchmark: a run failed (ffmpeg %d, import %d)\n", command.ok, import.ok);
            return 1;
        }
        theirs.push_back(command.seconds);
        ours.push_back(import.seconds);
        theirsCpu.push_back(command.cpuSeconds);
        oursCpu.push_back(import.cpuSeconds);
        theirsPeak = std::max(theirsPeak, command.peakKb);
        oursPeak = std::max(oursPeak, import.peakKb);
        theirsFrames = countFiles(ffmpegDir);
        oursFrames = countFiles(importDir);
        lastImport = importDir;
        std::printf("round %d: import %.2f s (CPU %.2f s), ffmpeg %.2f s (CPU %.2f s)\n", round + 1, import.seconds,
                    import.cpuSeconds, command.seconds, command.cpuSeconds);
        std::fflush(stdout);
    }

    const double bestOurs = *std::min_element(ours.begin(), ours.end());
    const double bestTheirs = *std::min_element(theirs.begin(), theirs.end());
    std::printf("clip: %s (60 s, 1280x720 H.264, 30 frames/s)\n", qPrintable(clip));
    std::printf("import:  best %.2f s, median %.2f s, median CPU %.2f s, %d frames, peak RSS %.1f MB\n", bestOurs,
                median(ours), median(oursCpu), oursFrames, oursPeak / 1024.0);
    std::printf("ffmpeg:  best %.2f s, median %.2f s, median CPU %.2f s, %d frames, peak RSS %.1f MB\n", bestTheirs,
                median(theirs), median(theirsCpu), theirsFrames, theirsPeak / 1024.0);
    std::printf("ratio import / ffmpeg: best %.2f, median %.2f, CPU %.2f (target at most 1.0; memory under 200 MB)\n",
                bestOurs / bestTheirs, median(ours) / median(theirs), median(oursCpu) / median(theirsCpu));

    // What fits, over the frames just imported.
    QtFileSystem files;
    QtPictureLoader loader;
    const QStringList frames = listFrameFolder(files, lastImport).value_or(QStringList{});
    auto vars = std::make_unique<Vars>();
    vars->BlackThreshold = 85;
    vars->WhiteThreshold = 170;
    vars->DitherOn = true;
    vars->ColourChannel = 1;
    QElapsedTimer clock;
    clock.start();
    const WhatFits fits = estimateWhatFits(*vars, {}, loader, lastImport, frames);
    const double fitSeconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    clock.restart();
    const WhatFits compactFits = estimateWhatFits(*vars, {0, VideoTarget{CalculatorModel::Ti83Plus, WrittenFramesPerSecond, Storage::Ram, StreamFormat::Compact}}, loader, lastImport, frames);
    const double compactSeconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    vars->DitherOn = false;
    vars->BlackThreshold = 0;
    vars->WhiteThreshold = 0;  // every frame white: the whole list is encoded
    clock.restart();
    const WhatFits all = estimateWhatFits(*vars, {}, loader, lastImport, frames);
    const double allSeconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    std::printf("what fits: %s  (%.3f s)\n", qPrintable(whatFitsText(fits)), fitSeconds);
    std::printf("what fits: %s  (%.3f s)\n", qPrintable(whatFitsText(compactFits)), compactSeconds);
    std::printf("what fits, all %d frames encoded: %.3f s\n", all.frames, allSeconds);
    return 0;
}
