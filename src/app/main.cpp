// zoetra2: the window.
#include "app/AppFonts.h"
#include "app/MainFrm.h"
#include "app/Screenshots.h"
#include "platform/AppFolders.h"
#include "platform/LibraryMessages.h"
#include "platform/TerminationSignals.h"
#include "platform/widgets/FloatProgressBar.h"
#include "platform/widgets/MessageBoxes.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QSessionManager>
#include <QTimer>

#include <cstdio>
#include <cstring>

namespace {

using namespace zoetra;

constexpr int BadOptions = 2;

// Unattended runs answer every message box on standard error.
void printMessages()
{
    MessageBoxes::setHook([](const MessageBoxes::Message& message) {
        std::fprintf(stderr, "%s: %s\n", message.title.toLocal8Bit().constData(),
                     message.text.toLocal8Bit().constData());
    });
}

}  // namespace

int main(int argc, char* argv[])
{
    // Answered before the windowing system is needed, so they work without a
    // display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::puts("Zoetra2 2.00");
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
#ifdef ZOETRA_VIDEO_IMPORT
            std::puts("Usage: zoetra2 [FOLDER | FILE] [--version] [--help]\n"
                      "Opens the window that converts a folder of frames into a TI-83 Plus video program,\n"
                      "with FOLDER as the source folder when it is given, or the import of a video or\n"
                      "picture FILE.\n"
                      "The headless converter is zoetra2-convert.");
#else
            std::puts("Usage: zoetra2 [FOLDER] [--version] [--help]\n"
                      "Opens the window that converts a folder of frames into a TI-83 Plus video program,\n"
                      "with FOLDER as the source folder when it is given.\n"
                      "The headless converter is zoetra2-convert.");
#endif
            return 0;
        }
    }

    QApplication app(argc, argv);
    TerminationSignals terminationSignals;
    quietLibraryMessages();
    QCoreApplication::setApplicationName(QStringLiteral("Zoetra2"));
    QCoreApplication::setApplicationVersion(QStringLiteral("2.00"));
    // Message boxes, tool tips and the folder picker in the window's font.
    QApplication::setFont(AppFonts::windowFont());

    // Hidden options for the screenshot script and the process tests.
    QCommandLineParser parser;
    const QCommandLineOption screenshots(QStringLiteral("screenshots"), QString(), QStringLiteral("folder"));
    // "start": close as soon as the window is up; a number N: press
    // "Convert Video!" and close when the run selects frame N; "video" and
    // "build": press it and close in that phase of the run.
    const QCommandLineOption testClose(QStringLiteral("test-close"), QString(), QStringLiteral("when"));
    parser.addOption(screenshots);
    parser.addOption(testClose);
    if (!parser.parse(QCoreApplication::arguments()) || parser.positionalArguments().size() > 1) {
        const QString problem = parser.errorText().isEmpty()
                                    ? QStringLiteral("unexpected argument '%1'.").arg(parser.positionalArguments().at(1))
                                    : parser.errorText();
        std::fprintf(stderr, "zoetra2: %s\nTry 'zoetra2 --help'.\n", problem.toLocal8Bit().constData());
        return BadOptions;
    }
    if (parser.isSet(screenshots) || parser.isSet(testClose)) {
        printMessages();
    }

    const AppFolders folders = AppFolders::locate(QCoreApplication::applicationDirPath());
    if (!folders.problem.isEmpty()) {
        MessageBoxes::show(nullptr, folders.problem, QCoreApplication::applicationName(), MessageIcon::Error);
        return 1;
    }
    MainFrm window(folders);
    // Every way the program can be asked to end saves the folders first.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &window, [&](QSessionManager&) { window.shutDown(); });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &window, [&] { window.shutDown(); });
    // System shut-down, a closed terminal, Ctrl-C: as if the window were
    // closed, also in the middle of a run. One that arrived while the window
    // was being made waits in the pipe until the events are handled.
    QObject::connect(&terminationSignals, &TerminationSignals::terminationRequested, &window, [&](int) { window.close(); });
    window.show();
    // A file manager's "Open with": once the window is up, so that a refusal
    // is shown over it.
    if (!parser.positionalArguments().isEmpty()) {
        const QString opened = parser.positionalArguments().first();
        QTimer::singleShot(0, &window, [&window, opened] { window.openPath(opened); });
    }

    if (parser.isSet(testClose)) {
        const QString when = parser.value(testClose);
        if (when == QLatin1String("start")) {
            QTimer::singleShot(0, &window, &QWidget::close);
        } else {
            // Closes through the run's next yield, like a click on the
            // close box.
            const auto closeSoon = [&window] { QMetaObject::invokeMethod(&window, &QWidget::close, Qt::QueuedConnection); };
            if (when == QLatin1String("video")) {
                // As a yield inside the writing of the video data would
                // deliver it: handled there and then.
                auto* bytes = window.findChild<FloatProgressBar*>(QStringLiteral("ByteWriter"));
                QObject::connect(bytes, &FloatProgressBar::valueChanged, &window, [&window](double value) {
                    if (value > 0) {
                        window.close();
                    }
                });
            } else if (when == QLatin1String("build")) {
                // Once the build has been started, through the wait's yields.
                auto* watch = new QTimer(&window);
                watch->setInterval(1);
                QObject::connect(watch, &QTimer::timeout, &window, [&window, watch, closeSoon] {
                    if (QFile::exists(QDir(window.appDir()).filePath(QStringLiteral("Compile.bat")))) {
                        watch->stop();
                        closeSoon();
                    }
                });
                watch->start();
            } else {
                const int frame = when.toInt();
                window.onFrameSelection = [frame, closeSoon](int row) {
                    if (row == frame) {
                        closeSoon();
                    }
                };
            }
            QTimer::singleShot(0, &window, [&window] {
                window.findChild<QPushButton*>(QStringLiteral("ConvertVideo"))->click();
            });
        }
    }
    if (parser.isSet(screenshots)) {
        const QString folder = parser.value(screenshots);
        QTimer::singleShot(0, &window, [&window, folder] {
            for (const QString& file : takeScreenshots(window, folder)) {
                std::printf("%s\n", QDir::toNativeSeparators(file).toLocal8Bit().constData());
            }
            window.close();
        });
    }
    return QApplication::exec();
}
