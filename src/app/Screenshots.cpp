#include "app/Screenshots.h"

#include "app/CalculatorPage.h"
#include "app/MainFrm.h"
#ifdef ZOETRA_HAVE_CALC
#include "app/PreviewWindow.h"
#endif
#include "platform/widgets/MessageBoxes.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>

#include <functional>
#include <optional>

#ifdef ZOETRA_VIDEO_IMPORT
#include "app/VideoImportDialog.h"

#include <QDialog>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>
#endif

namespace zoetra {

namespace {

void settle()
{
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents();
    }
}

// Lets the window's events run until `done`, at most a minute.
template <typename Done>
void waitUntil(Done done)
{
    QElapsedTimer waiting;
    waiting.start();
    while (!done() && waiting.elapsed() < 60000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    settle();
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
    // The same page just after picking the pattern for film (the sliders at
    // its full range), then with the tone changed; the checkerboard again
    // gets its thresholds back.
    if (auto* pattern = window.findChild<QComboBox*>(QStringLiteral("PatternChoice"))) {
        auto* gamma = window.findChild<QDoubleSpinBox*>(QStringLiteral("GammaSet"));
        pattern->setCurrentIndex(1);
        settle();
        save(window, QStringLiteral("3b-graphics-page-pattern"));
        if (gamma != nullptr) {
            gamma->setValue(1.4);
            settle();
            save(window, QStringLiteral("3c-graphics-page-pattern-gamma"));
            gamma->setValue(1.0);
        }
        pattern->setCurrentIndex(0);
    }
    tabs->setCurrentIndex(3);
    // With what fits of the sample counted.
    waitUntil([&] { return !window.countingFits(); });
    save(window, QStringLiteral("4b-calculator-page"));
    // The same page for the archive of a large model, with the free archive
    // given and the sound; then back to RAM without it for the conversion.
    auto* model = window.findChild<QComboBox*>(QStringLiteral("CalcModel"));
    auto* archive = window.findChild<QCheckBox*>(QStringLiteral("CalcArchive"));
    auto* freeArchive = window.findChild<QSpinBox*>(QStringLiteral("CalcFreeArchive"));
    auto* sound = window.findChild<QCheckBox*>(QStringLiteral("CalcSound"));
    if (model != nullptr && archive != nullptr && freeArchive != nullptr && sound != nullptr) {
        model->setCurrentIndex(model->count() - 1);
        archive->setChecked(true);
        freeArchive->setValue(1234567);
        sound->setChecked(true);
        settle();
        waitUntil([&] { return !window.countingFits(); });
        save(window, QStringLiteral("4c-calculator-page-archive"));
        sound->setChecked(false);
        freeArchive->setValue(freeArchive->minimum());
        archive->setChecked(false);
        model->setCurrentIndex(0);
    }
    // The dense format in RAM: its own limit; then back to the written one.
    if (auto* format = window.findChild<QComboBox*>(QStringLiteral("CalcFormat")); format != nullptr) {
        const int before = format->currentIndex();
        const int dense = format->findText(QStringLiteral("Dense"));
        if (dense >= 0) {
            format->setCurrentIndex(dense);
            settle();
            waitUntil([&] { return !window.countingFits(); });
            save(window, QStringLiteral("4d-calculator-page-dense"));
            format->setCurrentIndex(before);
        }
    }
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
    tabs->setCurrentIndex(3);
    settle();
    save(window, QStringLiteral("6b-calculator-after-conversion"));
    // "Send to Calculator" while it looks for a calculator beside the
    // window, and what it says when none answers.
    auto* send = window.findChild<QPushButton*>(QStringLiteral("CalcSend"));
    auto* calculatorPage = window.findChild<CalculatorPage*>(QStringLiteral("SettingsPage_3"));
    if (send != nullptr && calculatorPage != nullptr && send->isEnabled()) {
        std::optional<MessageBoxes::Message> said;
        MessageBoxes::setHook([&](const MessageBoxes::Message& message) { said = message; });
        send->click();
        settle();
        save(window, QStringLiteral("6c-calculator-sending"));
        QElapsedTimer waiting;
        waiting.start();
        while (calculatorPage->talking() && waiting.elapsed() < 60000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        MessageBoxes::setHook([&](const MessageBoxes::Message& message) { report = message; });
        if (said) {
            const auto box = MessageBoxes::build(&window, said->text, said->title, said->icon);
            box->show();
            settle();
            save(*box, QStringLiteral("6d-send-message"));
            box->hide();
        }
    }
    tabs->setCurrentIndex(2);

    if (report) {
        const auto box = MessageBoxes::build(&window, report->text, report->title, report->icon);
        box->show();
        settle();
        save(*box, QStringLiteral("7-closing-message"));
        box->hide();
    }

    // The delivered program on the calculator: while the calculator starts,
    // playing a second in, and after [CLEAR] has ended it.
    auto* preview = window.findChild<QPushButton*>(QStringLiteral("PreviewOnCalc"));
    if (preview != nullptr && preview->isEnabled()) {
        preview->click();
#ifdef ZOETRA_HAVE_CALC
        auto* previewWindow = window.findChild<PreviewWindow*>(QStringLiteral("PreviewWindow"));
        if (previewWindow != nullptr) {
            // Its first view, as the window shows it, before any other.
            bool started = false;
            const QMetaObject::Connection starting = QObject::connect(
                &previewWindow->player(), &PreviewPlayer::viewChanged, previewWindow, [&](const PreviewView& view) {
                    if (view.starting && !started) {
                        started = true;
                        save(*previewWindow, QStringLiteral("8a-preview-starting"));
                    }
                });
            const auto wait = [](int milliseconds, const std::function<bool()>& done) {
                QElapsedTimer waiting;
                waiting.start();
                while (waiting.elapsed() < milliseconds && !done()) {
                    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
                }
            };
            wait(1000, [] { return false; });
            QObject::disconnect(starting);
            save(*previewWindow, QStringLiteral("8-preview-on-calculator"));
            if (auto* clear = previewWindow->findChild<QPushButton*>(QStringLiteral("PreviewClear"))) {
                clear->click();
                wait(5000, [&] { return previewWindow->player().view().state == calc::LivePlayback::State::Ended; });
                settle();
                save(*previewWindow, QStringLiteral("8b-preview-ended"));
            }
            previewWindow->close();
        }
#endif
    }

#ifdef ZOETRA_VIDEO_IMPORT
    // The clip that the screenshot script puts into the application folder,
    // too long for the calculator's RAM: the import dialog with what fits
    // before and after the import, the window's count and the size limit's
    // advice, "Make It Fit", the conversion into the archive, and the
    // import dialog again with the archive chosen.
    const QString clip = QDir(window.appDir()).filePath(QStringLiteral("clip.mp4"));
    const auto countedInDialog = [&window] {
        VideoImportDialog* dialog = window.importDialog();
        auto* fits = dialog ? dialog->findChild<QLabel*>(QStringLiteral("Import_Fits")) : nullptr;
        return fits == nullptr || (!fits->text().isEmpty() && !fits->text().startsWith(QLatin1String("Counting")));
    };
    if (QFile::exists(clip)) {
        tabs->setCurrentIndex(0);
        window.importVideo(clip);
        VideoImportDialog* dialog = window.importDialog();
        auto* go = dialog ? dialog->findChild<QPushButton*>(QStringLiteral("Import_Go")) : nullptr;
        if (go != nullptr) {
            waitUntil(countedInDialog);
            save(*dialog, QStringLiteral("9-import-before"));
            QEventLoop wait;
            QObject::connect(dialog, &VideoImportDialog::importEnded, &wait, &QEventLoop::quit);
            QTimer::singleShot(120000, &wait, &QEventLoop::quit);
            go->click();
            wait.exec();
            settle();
            save(*dialog, QStringLiteral("9b-import-video"));
            dialog->done(QDialog::Rejected);
            settle();
        }
        tabs->setCurrentIndex(3);
        waitUntil([&] { return !window.countingFits(); });
        save(window, QStringLiteral("12-calculator-fit"));

        std::optional<MessageBoxes::Message> advice;
        MessageBoxes::setHook([&](const MessageBoxes::Message& message) { advice = message; });
        tabs->setCurrentIndex(2);
        convert->click();
        settle();
        if (advice) {
            const auto box = MessageBoxes::build(&window, advice->text, advice->title, advice->icon);
            box->show();
            settle();
            save(*box, QStringLiteral("13-advice-message"));
            box->hide();
        }
        tabs->setCurrentIndex(3);
        if (auto* makeItFit = window.findChild<QPushButton*>(QStringLiteral("CalcMakeItFit")); makeItFit != nullptr) {
            makeItFit->click();
            waitUntil([&] { return !window.countingFits(); });
            save(window, QStringLiteral("14-calculator-made-fit"));
        }
        std::optional<MessageBoxes::Message> closing;
        MessageBoxes::setHook([&](const MessageBoxes::Message& message) { closing = message; });
        convert->click();
        settle();
        if (closing) {
            const auto box = MessageBoxes::build(&window, closing->text, closing->title, closing->icon);
            box->show();
            settle();
            save(*box, QStringLiteral("15-closing-report-archive"));
            box->hide();
        }
        tabs->setCurrentIndex(0);
        window.importVideo(clip);
        if (VideoImportDialog* again = window.importDialog()) {
            waitUntil(countedInDialog);
            save(*again, QStringLiteral("16-import-archive-fit"));
            again->done(QDialog::Rejected);
            settle();
        }
        MessageBoxes::setHook([&](const MessageBoxes::Message& message) { report = message; });
    }

    // A folder of photographs, larger than the screen: the question, then
    // the import on that folder with its pictures.
    // Made and removed here: nothing is left in the application folder.
    const QTemporaryDir photoRoot;
    const QString photos = photoRoot.filePath(QStringLiteral("photos"));
    if (photoRoot.isValid() && QDir().mkpath(photos)) {
        for (int i = 0; i < 3; ++i) {
            QImage photo(1440, 1080, QImage::Format_RGB32);
            QPainter painter(&photo);
            QLinearGradient sky(0, 0, 0, 1080);
            sky.setColorAt(0.0, QColor(40, 90, 200));
            sky.setColorAt(1.0, QColor(230, 230, 250));
            painter.fillRect(photo.rect(), sky);
            painter.setBrush(QColor(20, 20, 20));
            painter.setPen(Qt::NoPen);
            painter.drawEllipse(QPoint(420 + 300 * i, 640), 260, 260);
            painter.setBrush(QColor(250, 220, 60));
            painter.drawRect(0, 860, 1440, 220);
            painter.end();
            photo.save(QDir(photos).filePath(QStringLiteral("photo%1.jpg").arg(i + 1)));
        }
        std::optional<MessageBoxes::Question> question;
        MessageBoxes::setQuestionHook([&](const MessageBoxes::Question& asked) {
            question = asked;
            return 0;  // "Import Scaled..."
        });
        window.openPath(photos);
        MessageBoxes::setQuestionHook(nullptr);
        if (question) {
            const auto box = MessageBoxes::buildQuestion(&window, question->text, question->title, question->answers);
            box->show();
            settle();
            save(*box, QStringLiteral("10-pictures-of-another-size"));
            box->hide();
        }
        if (VideoImportDialog* dialog = window.importDialog()) {
            settle();
            save(*dialog, QStringLiteral("11-import-pictures"));
            dialog->done(QDialog::Rejected);
            settle();
        }
    }
#endif
    return written;
}

}  // namespace zoetra
