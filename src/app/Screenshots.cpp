#include "app/Screenshots.h"

#include "app/MainFrm.h"
#include "platform/widgets/MessageBoxes.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QListWidget>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QTabWidget>

#include <optional>

namespace zoetra {

namespace {

void settle()
{
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents();
    }
}

}  // namespace

QStringList takeScreenshots(MainFrm& window, const QString& folder)
{
    QDir().mkpath(folder);
    QStringList written;
    const auto save = [&](QWidget& widget, const QString& name) {
        const QString path = QDir(folder).filePath(name + QLatin1String(".png"));
        if (widget.grab().save(path)) {
            written.append(path);
        }
    };

    auto* tabs = window.findChild<QTabWidget*>(QStringLiteral("TabStrip"));
    auto* frames = window.findChild<QListWidget*>(QStringLiteral("File_List_Box"));
    auto* convert = window.findChild<QPushButton*>(QStringLiteral("ConvertVideo"));
    if (tabs == nullptr || frames == nullptr || convert == nullptr) {
        return written;
    }

    settle();
    save(window, QStringLiteral("1-start"));
    if (frames->count() > 0) {
        frames->setCurrentRow(frames->count() / 3);
    }
    settle();
    save(window, QStringLiteral("2-source-page"));
    tabs->setCurrentIndex(1);
    settle();
    save(window, QStringLiteral("3-graphics-page"));
    tabs->setCurrentIndex(2);
    settle();
    save(window, QStringLiteral("4-create-page"));

    // Halfway through the frames, with the progress panel up.
    const int halfway = frames->count() / 2;
    window.onFrameSelection = [&](int row) {
        if (row == halfway) {
            save(window, QStringLiteral("5-during-conversion"));
        }
    };
    std::optional<MessageBoxes::Message> report;
    MessageBoxes::setHook([&](const MessageBoxes::Message& message) { report = message; });
    convert->click();
    window.onFrameSelection = nullptr;
    settle();
    save(window, QStringLiteral("6-after-conversion"));

    if (report) {
        const auto box = MessageBoxes::build(&window, report->text, report->title, report->icon);
        box->show();
        settle();
        save(*box, QStringLiteral("7-closing-message"));
        box->hide();
    }

    // The delivered program playing on the calculator, a second in.
    auto* preview = window.findChild<QPushButton*>(QStringLiteral("PreviewOnCalc"));
    if (preview != nullptr && preview->isEnabled()) {
        preview->click();
        QElapsedTimer playing;
        playing.start();
        while (playing.elapsed() < 1000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        if (auto* previewWindow = window.findChild<QWidget*>(QStringLiteral("PreviewWindow"))) {
            save(*previewWindow, QStringLiteral("8-preview-on-calculator"));
        }
    }
    return written;
}

}  // namespace zoetra
