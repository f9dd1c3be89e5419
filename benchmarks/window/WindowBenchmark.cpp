// The real window converting a 500-frame clip: frames per second of the
// frames phase (from the first frame selection to the start of the video
// data text) and the seconds of the whole run, from the press of
// "Convert Video!" to the closing message. Runs under Xvfb when DISPLAY is
// set, else on the offscreen platform.
#include "app/MainFrm.h"
#include "convert/ConversionRun.h"
#include "platform/widgets/FloatProgressBar.h"
#include "platform/widgets/MessageBoxes.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace {

using namespace zoetra;

constexpr int FrameCount = 500;

bool copyComponents(const QDir& from, const QDir& to)
{
    const QStringList samples = from.entryList({QStringLiteral("sample*")}, QDir::Files, QDir::Name);
    if (samples.isEmpty()) {
        std::fprintf(stderr, "No sample frames in %s: build first.\n", qPrintable(from.path()));
        return false;
    }
    // The sample frames over and over under new names, in name order.
    for (int i = 0; i < FrameCount; ++i) {
        const QString& sample = samples.at(i % samples.size());
        const QString name = QStringLiteral("clip%1.%2").arg(i, 3, 10, QLatin1Char('0')).arg(QFileInfo(sample).suffix());
        if (!QFile::copy(from.filePath(sample), to.filePath(name))) {
            return false;
        }
    }
    for (const char* component : {"TASM", "TASM.exe", "DEVPAC8X", "DEVPAC8X.exe", "VID.z80"}) {
        const QString name = QString::fromLatin1(component);
        if (from.exists(name)) {
            QFile::copy(from.filePath(name), to.filePath(name));
        }
    }
    return true;
}

}  // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);

    QTemporaryDir appDir;
    if (!appDir.isValid() || !copyComponents(QDir(QStringLiteral(ZOETRA_APP_DIR)), QDir(appDir.path()))) {
        return 1;
    }

    QStringList messages;
    MessageBoxes::setHook([&](const MessageBoxes::Message& message) { messages.append(message.text); });

    MainFrm window(appDir.path());
    window.endProgram = [] {};
    window.show();
    window.findChild<QTabWidget*>(QStringLiteral("TabStrip"))->setCurrentIndex(2);
    // At full quality 500 frames of the sample outgrow the size limit; the
    // lowest quality still decides (and yields) at every byte.
    window.findChild<QSlider*>(QStringLiteral("DetailSlider"))->setValue(-10);
    QApplication::processEvents();

    QElapsedTimer clock;
    qint64 firstSelection = -1;
    qint64 framesDone = -1;
    window.onFrameSelection = [&](int) {
        if (firstSelection < 0) {
            firstSelection = clock.nsecsElapsed();
        }
    };
    // The video data text sets this bar's maximum before anything else.
    QObject::connect(window.findChild<FloatProgressBar*>(QStringLiteral("ByteWriter")), &FloatProgressBar::maximumChanged,
                     [&] {
                         if (framesDone < 0) {
                             framesDone = clock.nsecsElapsed();
                         }
                     });

    clock.start();
    window.findChild<QPushButton*>(QStringLiteral("ConvertVideo"))->click();
    const qint64 whole = clock.nsecsElapsed();

    if (firstSelection < 0 || framesDone < 0) {
        std::fprintf(stderr, "The run did not reach the video data: %s\n", qPrintable(messages.join(QLatin1Char('\n'))));
        return 1;
    }
    const double framesSeconds = static_cast<double>(framesDone - firstSelection) / 1e9;
    std::printf("platform: %s\n", qPrintable(QGuiApplication::platformName()));
    std::printf("frames phase: %d frames in %.3f s = %.0f frames per second\n", FrameCount, framesSeconds,
                FrameCount / framesSeconds);
    std::printf("whole run: %.3f s\n", static_cast<double>(whole) / 1e9);
    const QString last = messages.isEmpty() ? QString() : messages.last();
    std::printf("closing message: %s\n", qPrintable(QString(last).replace(QLatin1String("\r\n"), QLatin1String(" / "))));
    if (last.startsWith(ConversionRun::NotBuiltMessage)) {
        std::printf("(the build tools are missing here: the run ended with the build error; the frames phase is complete)\n");
    }
    return 0;
}
