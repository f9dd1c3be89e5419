// The video import against the ffmpeg command on the same machine: a
// 60-second 1280 x 720 H.264 clip (made by ffmpeg, kept in the build folder)
// turned into 96 x 64 BMP frames at 15 frames a second, by our import and by
//   ffmpeg -i clip.mp4 -vf fps=15,scale=96:64 -f image2 DIR/%05d.bmp
// Each is timed by wall clock over several alternating rounds, with the
// peak resident memory of its process. Then the "what fits" estimate over
// the imported frames.
// Then a folder of 1,000 PNG and one of 1,000 JPEG pictures of 1440 x 1080
// (made by ffmpeg at the first run, kept in the build folder), imported at
// 14.75 frames a second against
//   ffmpeg -framerate 14.75 -i DIR/%05d.png -vf scale=96:64:flags=area OUT/%05d.bmp
// with warm caches, and where the import's time goes: decoding, scaling,
// writing, each timed alone on one thread.
// Usage: import_benchmark [rounds] [clip]
//        import_benchmark --pictures [rounds] [pictures a folder]
#include "convert/WhatFits.h"
#include "imaging/FrameFolder.h"
#include "media/FrameFolderWriter.h"
#include "media/FrameScaler.h"
#include "media/PictureDecoder.h"
#include "media/QtPictureSource.h"
#include "media/VideoImport.h"
#include "platform/QtFileSystem.h"
#include "platform/QtPictureLoader.h"
#include "shared/Vars.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QCoreApplication>
#include <QImageReader>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <time.h>
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

int importOnly(const QString& clip, const QString& destination, double rate = 15.0)
{
    media::ImportSettings settings;
    settings.framesPerSecond = rate;
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

// The folder of `count` pictures of one type, made once.
bool makePictures(const QString& folder, const QString& type, int count)
{
    if (QDir(folder).entryList({QStringLiteral("*.") + type}, QDir::Files).size() == count) {
        return true;
    }
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    std::printf("making %d %s pictures in %s ...\n", count, qPrintable(type.toUpper()), qPrintable(folder));
    std::fflush(stdout);
    QStringList arguments{QStringLiteral("ffmpeg"), QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"),
                          QStringLiteral("error"), QStringLiteral("-y"), QStringLiteral("-f"), QStringLiteral("lavfi"),
                          QStringLiteral("-i"), QStringLiteral("testsrc2=size=1440x1080:rate=30"),
                          QStringLiteral("-frames:v"), QString::number(count)};
    if (type == QLatin1String("jpg")) {
        arguments << QStringLiteral("-q:v") << QStringLiteral("3");
    }
    return runCommand(arguments << folder + QStringLiteral("/%05d.") + type).ok;
}

// This thread's processor time, in seconds.
double threadSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Where the time of a folder's import goes, each step timed alone on one
// thread (processor time, so that other work on the machine does not
// count), as the import does it: FFmpeg's decoder, the planes scaled as
// they are.
void phases(const QString& folder)
{
    const QStringList names = media::pictureFiles(folder);
    media::FrameScaler scaler;
    QTemporaryDir out;
    media::FrameFolderWriter writer;
    QString message;
    writer.open(out.filePath(QStringLiteral("frames")), static_cast<int>(names.size()), message);
    double decode = 0.0;
    double scale = 0.0;
    double write = 0.0;
    const int count = static_cast<int>(std::min<qsizetype>(names.size(), 200));
    for (int i = 0; i < count; ++i) {
        const QString path = QDir(folder).filePath(names.at(i));
        QImageReader reader(path);
        const QByteArray format = reader.format();
        double t = threadSeconds();
        const media::FramePtr frame = media::PictureDecoder::decode(path, format);
        decode += threadSeconds() - t;
        t = threadSeconds();
        const QImage screen = frame ? scaler.scale(*frame, 1.0, media::FitMode::Stretch) : QImage();
        scale += threadSeconds() - t;
        t = threadSeconds();
        writer.write(screen, message);
        write += threadSeconds() - t;
    }
    std::printf("  one thread, processor time per picture: decoding %.2f ms, scaling %.2f ms, writing %.2f ms\n",
                decode / count * 1e3, scale / count * 1e3, write / count * 1e3);
}

int picturesBenchmark(int rounds, int count)
{
    const QString base = QStringLiteral(ZOETRA_BENCHMARK_DIR "/pictures1440x1080-%1").arg(count);
    QTemporaryDir work;
    for (const QString& type : {QStringLiteral("png"), QStringLiteral("jpg")}) {
        const QString folder = base + QLatin1Char('-') + type;
        if (!makePictures(folder, type, count)) {
            std::fprintf(stderr, "import_benchmark: ffmpeg could not make the pictures\n");
            return 1;
        }
        std::vector<double> ours;
        std::vector<double> theirs;
        std::vector<double> oursCpu;
        std::vector<double> theirsCpu;
        int oursFrames = 0;
        int theirsFrames = 0;
        // A first read of each, untimed, so that both meet warm caches.
        for (int round = -1; round < rounds; ++round) {
            const QString ffmpegDir = work.filePath(QStringLiteral("%1-ffmpeg%2").arg(type).arg(round + 1));
            const QString importDir = work.filePath(QStringLiteral("%1-import%2").arg(type).arg(round + 1));
            QDir().mkpath(ffmpegDir);
            const Run command = runCommand(
                {QStringLiteral("ffmpeg"), QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"),
                 QStringLiteral("error"), QStringLiteral("-framerate"), QStringLiteral("14.75"), QStringLiteral("-i"),
                 folder + QStringLiteral("/%05d.") + type, QStringLiteral("-vf"),
                 QStringLiteral("scale=96:64:flags=area"), ffmpegDir + QStringLiteral("/%05d.bmp")});
            const Run import = runCommand({QCoreApplication::applicationFilePath(), QStringLiteral("--import-only"),
                                           folder, importDir, QStringLiteral("14.75")});
            if (!command.ok || !import.ok) {
                std::fprintf(stderr, "import_benchmark: a run failed (ffmpeg %d, import %d)\n", command.ok, import.ok);
                return 1;
            }
            theirsFrames = countFiles(ffmpegDir);
            oursFrames = countFiles(importDir);
            QDir(ffmpegDir).removeRecursively();
            QDir(importDir).removeRecursively();
            if (round < 0) {
                continue;
            }
            ours.push_back(import.seconds);
            theirs.push_back(command.seconds);
            oursCpu.push_back(import.cpuSeconds);
            theirsCpu.push_back(command.cpuSeconds);
            std::printf("%s round %d: import %.2f s (CPU %.2f s), ffmpeg %.2f s (CPU %.2f s)\n",
                        qPrintable(type.toUpper()), round + 1, import.seconds, import.cpuSeconds, command.seconds,
                        command.cpuSeconds);
            std::fflush(stdout);
        }
        std::printf("%d %s pictures of 1440x1080 at 14.75 frames/s:\n", count, qPrintable(type.toUpper()));
        std::printf("  import: median %.2f s, CPU %.2f s, %d frames\n", median(ours), median(oursCpu), oursFrames);
        std::printf("  ffmpeg: median %.2f s, CPU %.2f s, %d frames\n", median(theirs), median(theirsCpu),
                    theirsFrames);
        std::printf("  ratio import / ffmpeg: wall %.2f (best %.2f), CPU %.2f (target: wall at most 1.0)\n",
                    median(ours) / median(theirs),
                    *std::min_element(ours.begin(), ours.end()) / *std::min_element(theirs.begin(), theirs.end()),
                    median(oursCpu) / median(theirsCpu));
        phases(folder);
        std::fflush(stdout);
    }
    return 0;
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
    if (argc == 5 && QByteArray(argv[1]) == "--import-only") {
        return importOnly(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]), std::atof(argv[4]));
    }
    if (argc > 1 && QByteArray(argv[1]) == "--pictures") {
        return picturesBenchmark(argc > 2 ? std::max(1, std::atoi(argv[2])) : 3,
                                 argc > 3 ? std::max(1, std::atoi(argv[3])) : 1000);
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
    const WhatFits compactFits = estimateWhatFits(*vars, {0, VideoTarget{CalculatorModel::Ti83Plus, WrittenFramesPerSecond, Storage::Ram, StreamFormat::Compact, std::nullopt}}, loader, lastImport, frames);
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
    std::fflush(stdout);
    return picturesBenchmark(std::min(rounds, 3), 1000);
}
