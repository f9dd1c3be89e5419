// The window's video import on the offscreen platform: the button, Ctrl+I,
// drag and drop, the dialog with a clip made by ffmpeg, and what is left
// after an import, a cancel or a close.
#include "app/MainFrm.h"
#include "app/VideoImportDialog.h"
#include "platform/WindowLayer.h"
#include "platform/widgets/FilePicker.h"
#include "platform/widgets/FolderPicker.h"
#include "platform/widgets/MessageBoxes.h"
#include "platform/widgets/WidgetPictureArea.h"
#include "support/FfmpegClips.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QDropEvent>
#include <QFile>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QProgressBar>
#include <QPixmap>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <memory>
#include <vector>

using namespace zoetra;

namespace {

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

}  // namespace

class VideoImportWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void buttonAndShortcutOpenTheDialog();
    void importMakesTheNewFolderTheSource();
    void cancelAndCloseLeaveNothing();
    void badInputIsToldInTheDialog();
    void dropsOfFoldersAndFiles();

    void foldersOfAnotherSizeAskOnce();
    void timesTakeMinutesAndSeconds();
    void theDialogDoesNotBlockAndImportsOneAtATime();
    void anImportDuringARunWaitsForItsEnd();
    void picturesOfTheClipAndOfTheCalculator();
    void tooLargeAVideoIsToldWithNumbers();
    void anImportPlaysAtItsOwnRate();

private:
    std::unique_ptr<MainFrm> open();
    template <typename T>
    T* inDialog(const char* name) const
    {
        VideoImportDialog* dialog = window->importDialog();
        T* found = dialog ? dialog->findChild<T*>(QLatin1String(name)) : nullptr;
        if (found == nullptr) {
            qFatal("no control %s", name);
        }
        return found;
    }
    QString status() const { return inDialog<QLabel>("Import_Status")->text(); }
    QString fits() const { return inDialog<QLabel>("Import_Fits")->text(); }
    void drop(const QList<QUrl>& urls, bool* accepted = nullptr);

    std::unique_ptr<QTemporaryDir> root;
    QString app;
    QString clips;
    QString shortClip;  // 2 s at 25 a second, 320 x 240
    QString longClip;   // 20 s, for an import that takes a while
    std::unique_ptr<MainFrm> window;
    std::vector<MessageBoxes::Message> messages;
    std::vector<MessageBoxes::Question> questions;
    int questionAnswer = -1;
    int programEnds = 0;
    std::unique_ptr<QTemporaryDir> clipFolder;
};

void VideoImportWindowTest::initTestCase()
{
    MessageBoxes::setHook([this](const MessageBoxes::Message& message) { messages.push_back(message); });
    MessageBoxes::setQuestionHook([this](const MessageBoxes::Question& question) {
        questions.push_back(question);
        return questionAnswer;
    });
    if (!test::haveFfmpeg()) {
        QSKIP("the ffmpeg command is needed to make the clips");
    }
    clipFolder = std::make_unique<QTemporaryDir>();
    clips = clipFolder->path();
    shortClip = test::makeClip(clips, QStringLiteral("clip.mp4"),
                               test::lavfi(QStringLiteral("testsrc=size=320x240:rate=25:duration=2")) +
                                   QStringList{"-c:v", "libx264", "-preset", "ultrafast"});
    longClip = test::makeClip(clips, QStringLiteral("long.mkv"),
                              test::lavfi(QStringLiteral("testsrc=size=640x480:rate=30:duration=20")) +
                                  QStringList{"-c:v", "libx264", "-preset", "ultrafast"});
    QVERIFY(!shortClip.isEmpty() && !longClip.isEmpty());
}

void VideoImportWindowTest::init()
{
    root = std::make_unique<QTemporaryDir>();
    QVERIFY(QDir(root->path()).mkdir(QStringLiteral("app")));
    app = QDir(root->path()).filePath(QStringLiteral("app"));
    messages.clear();
    questions.clear();
    questionAnswer = -1;
    programEnds = 0;
    FolderPicker::setNextFolders({});
    FilePicker::setNextFiles({});
    window = open();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void VideoImportWindowTest::cleanup()
{
    window.reset();
    FolderPicker::clearTestHook();
    FilePicker::clearTestHook();
    root.reset();
}

std::unique_ptr<MainFrm> VideoImportWindowTest::open()
{
    auto frm = std::make_unique<MainFrm>(app);
    frm->endProgram = [this] { ++programEnds; };
    return frm;
}

void VideoImportWindowTest::drop(const QList<QUrl>& urls, bool* accepted)
{
    QMimeData data;
    data.setUrls(urls);
    const QPoint at(200, 150);
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window.get(), &enter);
    if (accepted) {
        *accepted = enter.isAccepted();
    }
    if (enter.isAccepted()) {
        QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window.get(), &dropped);
    }
    QCoreApplication::processEvents();
}

void VideoImportWindowTest::buttonAndShortcutOpenTheDialog()
{
    // The button asks for a file at once.
    FilePicker::setNextFiles({shortClip});
    QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("Import_Video")), Qt::LeftButton);
    QVERIFY(window->importDialog() != nullptr);
    QVERIFY(window->importDialog()->isVisible());
    QCOMPARE(FilePicker::answeredTitles(), QStringList{QStringLiteral("Import a video or a picture")});
    // At the folder in use.
    QCOMPARE(FilePicker::answeredStartFolders(), QStringList{app});
    const QString info = inDialog<QLabel>("Import_Info")->text();
    QVERIFY2(info.contains(QStringLiteral("320 \u00D7 240 pixels, 0:02.0, 25 frames a second")), qPrintable(info));
    QCOMPARE(inDialog<QDoubleSpinBox>("Import_Rate")->value(), 14.75);
    QCOMPARE(inDialog<QLineEdit>("Import_Destination")->text(),
             QDir::toNativeSeparators(QDir(clips).filePath(QStringLiteral("clip frames"))));
    QVERIFY(inDialog<QPushButton>("Import_Go")->isEnabled());
    // Closed without importing: nothing is made, nothing changes.
    inDialog<QPushButton>("Import_Cancel")->click();
    QTRY_VERIFY(window->importDialog() == nullptr);
    QCOMPARE(window->vars().LastDir, app);
    QCOMPARE(entries(clips), (QStringList{QStringLiteral("clip.mp4"), QStringLiteral("long.mkv")}));

    // Ctrl+I, the chooser cancelled: the dialog waits for a source.
    QTest::keyClick(window.get(), Qt::Key_I, Qt::ControlModifier);
    QVERIFY(window->importDialog() != nullptr);
    QCOMPARE(inDialog<QLabel>("Import_Source")->text(), QStringLiteral("(none)"));
    QVERIFY(!inDialog<QPushButton>("Import_Go")->isEnabled());
    QVERIFY(messages.empty());
}

void VideoImportWindowTest::importMakesTheNewFolderTheSource()
{
    FilePicker::setNextFiles({longClip});
    window->importVideo();
    inDialog<QDoubleSpinBox>("Import_Rate")->setValue(15.0);
    inDialog<QDoubleSpinBox>("Import_End")->setValue(12.0);
    const QString made = QDir(root->path()).filePath(QStringLiteral("long frames"));
    // Typed, as a user would.
    inDialog<QLineEdit>("Import_Destination")->clear();
    QTest::keyClicks(inDialog<QLineEdit>("Import_Destination"), QDir::toNativeSeparators(made));
    // The window's own events go on while the frames are decoded.
    int ticks = 0;
    QTimer timer;
    connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(1);
    int ticksWhileImporting = 0;
    int progressWhileImporting = 0;
    QSignalSpy ended(window->importDialog(), &VideoImportDialog::importEnded);
    inDialog<QPushButton>("Import_Go")->click();
    QVERIFY(window->importDialog()->importing());
    while (ended.isEmpty()) {
        QTest::qWait(5);
        if (window->importDialog()->importing()) {
            ticksWhileImporting = ticks;
            progressWhileImporting = std::max(progressWhileImporting, inDialog<QProgressBar>("Import_Progress")->value());
        }
    }
    QVERIFY2(ticksWhileImporting > 5, qPrintable(QString::number(ticksWhileImporting)));
    QVERIFY(progressWhileImporting > 0);

    QVERIFY2(status().contains(QStringLiteral("180 frames are in")), qPrintable(status()));
    QVERIFY2(fits().contains(QLatin1String("seconds on the calculator")), qPrintable(fits()));
    QCOMPARE(inDialog<QProgressBar>("Import_Progress")->value(), 1000);
    // The new folder is the source folder, listed, its first frame shown.
    QCOMPARE(window->vars().LastDir, made);
    auto* list = window->findChild<QListWidget*>(QStringLiteral("File_List_Box"));
    QCOMPARE(list->count(), 180);
    QCOMPARE(list->item(0)->text(), QStringLiteral("frame00001.bmp"));
    QCOMPARE(list->currentRow(), 0);
    const QImage first = QImageReader(QDir(made).filePath(QStringLiteral("frame00001.bmp"))).read();
    const QImage shown = window->findChild<WidgetPictureArea*>(QStringLiteral("File_List_Preview"))->toImage();
    QCOMPARE(shown.copy(0, 0, 96, 64), first.convertToFormat(shown.format()));
    // It plays at the rate it was taken at.
    QCOMPARE(window->findChild<QDoubleSpinBox*>(QStringLiteral("CalcRate"))->value(), 15.0);
    QCOMPARE(window->windowLayer().videoTarget().framesPerSecond, 15.0);
    QCOMPARE(inDialog<QPushButton>("Import_Cancel")->text(), QStringLiteral("Close"));
    // Another import goes beside the folder the user typed, numbered.
    QCOMPARE(inDialog<QLineEdit>("Import_Destination")->text(), QDir::toNativeSeparators(made + QStringLiteral(" 2")));
    QVERIFY(messages.empty());
}

void VideoImportWindowTest::cancelAndCloseLeaveNothing()
{
    QTemporaryDir out;
    FilePicker::setNextFiles({longClip});
    window->importVideo();
    inDialog<QLineEdit>("Import_Destination")->setText(QDir(out.path()).filePath(QStringLiteral("frames")));
    QSignalSpy ended(window->importDialog(), &VideoImportDialog::importEnded);
    inDialog<QPushButton>("Import_Go")->click();
    QTRY_VERIFY(inDialog<QProgressBar>("Import_Progress")->value() > 0);
    inDialog<QPushButton>("Import_Cancel")->click();
    QTRY_VERIFY(!ended.isEmpty());
    QCOMPARE(status(), QStringLiteral("Cancelled; nothing was kept."));
    QVERIFY(window->importDialog()->isVisible());
    QCOMPARE(entries(out.path()), QStringList{});
    QCOMPARE(window->vars().LastDir, app);

    // Closing the window in the middle of an import ends it first.
    inDialog<QPushButton>("Import_Go")->click();
    QTRY_VERIFY(inDialog<QProgressBar>("Import_Progress")->value() > 0);
    QVERIFY(!entries(out.path()).isEmpty());  // the temporary folder
    window->close();
    QCOMPARE(programEnds, 1);
    QCOMPARE(entries(out.path()), QStringList{});
}

void VideoImportWindowTest::badInputIsToldInTheDialog()
{
    const QString text = QDir(root->path()).filePath(QStringLiteral("notes.mp4"));
    QFile file(text);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("no video in here\n");
    file.close();
    FilePicker::setNextFiles({text});
    window->importVideo();
    QVERIFY2(status().contains(QLatin1String("is not a video or picture file")), qPrintable(status()));
    QVERIFY(!inDialog<QPushButton>("Import_Go")->isEnabled());

    // Settings that do not fit the clip are refused before anything is made.
    FilePicker::setNextFiles({shortClip});
    inDialog<QPushButton>("Import_File")->click();
    QVERIFY(inDialog<QPushButton>("Import_Go")->isEnabled());
    inDialog<QDoubleSpinBox>("Import_Start")->setValue(1.5);
    inDialog<QDoubleSpinBox>("Import_End")->setValue(1.0);
    inDialog<QPushButton>("Import_Go")->click();
    QVERIFY(!window->importDialog()->importing());
    QCOMPARE(status(), QStringLiteral("The start (0:01.5) does not lie before the end (0:01.0)."));
    QCOMPARE(entries(clips), (QStringList{QStringLiteral("clip.mp4"), QStringLiteral("long.mkv")}));
    QVERIFY(messages.empty());
}

void VideoImportWindowTest::dropsOfFoldersAndFiles()
{
    // A folder becomes the source folder as the picker gives it.
    const QString frames = QDir(root->path()).filePath(QStringLiteral("frames"));
    QVERIFY(QDir().mkpath(frames));
    QImage frame(96, 64, QImage::Format_RGB32);
    frame.fill(Qt::black);
    QVERIFY(frame.save(QDir(frames).filePath(QStringLiteral("a.png"))));
    bool accepted = false;
    drop({QUrl::fromLocalFile(frames + QLatin1Char('/'))}, &accepted);
    QVERIFY(accepted);
    QCOMPARE(window->vars().LastDir, frames);
    auto* list = window->findChild<QListWidget*>(QStringLiteral("File_List_Box"));
    QCOMPARE(list->count(), 1);
    QVERIFY(window->importDialog() == nullptr);

    // A root is refused with the picker's message.
    drop({QUrl::fromLocalFile(QDir::rootPath())});
    QCOMPARE(messages.size(), std::size_t{1});
    QCOMPARE(messages[0].text, FolderPicker::RootRefusedMessage);
    QCOMPARE(window->vars().LastDir, frames);

    // Two things at once are not taken.
    drop({QUrl::fromLocalFile(shortClip), QUrl::fromLocalFile(longClip)}, &accepted);
    QVERIFY(!accepted);

    // A file that is neither video nor picture is refused with the reason.
    const QString notes = QDir(root->path()).filePath(QStringLiteral("notes.txt"));
    QFile text(notes);
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write("words\n");
    text.close();
    drop({QUrl::fromLocalFile(notes)}, &accepted);
    QVERIFY(accepted);
    QVERIFY(window->importDialog() == nullptr);
    QCOMPARE(messages.size(), std::size_t{2});
    QVERIFY2(messages[1].text.startsWith(QStringLiteral("Error: %1 cannot be opened: \u201Cnotes.txt\u201D is not a "
                                                        "video or picture file")
                                             .arg(QDir::toNativeSeparators(notes))),
             qPrintable(messages[1].text));

    // A file opens the import on it.
    drop({QUrl::fromLocalFile(shortClip)}, &accepted);
    QVERIFY(accepted);
    QVERIFY(window->importDialog() != nullptr);
    QCOMPARE(window->importDialog()->source(), shortClip);
    QVERIFY(FilePicker::answeredTitles().isEmpty());
}

void VideoImportWindowTest::foldersOfAnotherSizeAskOnce()
{
    const auto pictures = [&](const QString& name, const QSize& size) {
        const QString path = QDir(root->path()).filePath(name);
        QDir().mkpath(path);
        for (int i : {1, 2}) {
            QImage picture(size, QImage::Format_RGB32);
            picture.fill(qRgb(40 * i, 40 * i, 40 * i));
            if (!picture.save(QDir(path).filePath(QStringLiteral("p%1.png").arg(i)))) {
                qFatal("cannot write a picture");
            }
        }
        return path;
    };
    const QString photos = pictures(QStringLiteral("photos"), {1440, 1080});
    const QString screens = pictures(QStringLiteral("screens"), {96, 64});
    auto* chooseFolder = window->findChild<QPushButton*>(QStringLiteral("Set_Vid_Folder"));

    // The screen's size: taken without a question.
    FolderPicker::setNextFolders({screens});
    QTest::mouseClick(chooseFolder, Qt::LeftButton);
    QCOMPARE(window->vars().LastDir, screens);
    QVERIFY(questions.empty());

    // Another size, the question cancelled: nothing changes.
    FolderPicker::setNextFolders({photos});
    QTest::mouseClick(chooseFolder, Qt::LeftButton);
    QCOMPARE(questions.size(), std::size_t{1});
    QVERIFY2(questions[0].text.contains(QStringLiteral("1440 \u00D7 1080 pixels")), qPrintable(questions[0].text));
    QCOMPARE(questions[0].answers, (QStringList{QStringLiteral("Import Scaled..."), QStringLiteral("Use As They Are")}));
    QCOMPARE(window->vars().LastDir, screens);
    QVERIFY(window->importDialog() == nullptr);

    // As they are, by a drop: the written placement.
    questionAnswer = 1;
    drop({QUrl::fromLocalFile(photos)});
    QCOMPARE(questions.size(), std::size_t{2});
    QCOMPARE(window->vars().LastDir, photos);
    QCOMPARE(window->findChild<QListWidget*>(QStringLiteral("File_List_Box"))->count(), 2);
    QVERIFY(window->importDialog() == nullptr);

    // Scaled: the import, on that folder; the source stays until it is done.
    FolderPicker::setNextFolders({screens, photos});
    QTest::mouseClick(chooseFolder, Qt::LeftButton);
    questionAnswer = 0;
    QTest::mouseClick(chooseFolder, Qt::LeftButton);
    QCOMPARE(questions.size(), std::size_t{3});
    QCOMPARE(window->vars().LastDir, screens);
    QVERIFY(window->importDialog() != nullptr);
    QCOMPARE(window->importDialog()->source(), photos);
    QVERIFY2(inDialog<QLabel>("Import_Info")->text().contains(QStringLiteral("1440 \u00D7 1080")),
             qPrintable(inDialog<QLabel>("Import_Info")->text()));
    QVERIFY(inDialog<QPushButton>("Import_Go")->isEnabled());
    QVERIFY(messages.empty());

    // Restored at start-up: listed without a question.
    window.reset();
    QFile saved(QDir(app).filePath(QStringLiteral("LastDir.cfg")));
    QVERIFY(saved.open(QIODevice::WriteOnly));
    saved.write("\"" + photos.toLocal8Bit() + "\"\r\n");
    saved.close();
    window = open();
    QCOMPARE(window->vars().LastDir, photos);
    QCOMPARE(questions.size(), std::size_t{3});
}

void VideoImportWindowTest::timesTakeMinutesAndSeconds()
{
    const QString minutes = test::makeClip(clips, QStringLiteral("minutes.mkv"),
                                           test::lavfi(QStringLiteral("testsrc=size=64x48:rate=2:duration=100")) +
                                               QStringList{"-c:v", "libx264", "-preset", "ultrafast"});
    QVERIFY(!minutes.isEmpty());
    window->importVideo(minutes);
    const auto type = [&](const char* box, const QString& text) {
        auto* spin = inDialog<QDoubleSpinBox>(box);
        spin->setFocus();
        spin->selectAll();
        QTest::keyClicks(spin, text);
        spin->interpretText();
        return spin->value();
    };
    QCOMPARE(type("Import_End", QStringLiteral("1:30")), 90.0);
    QCOMPARE(type("Import_Start", QStringLiteral("0:05.5")), 5.5);
    QCOMPARE(type("Import_Start", QStringLiteral("12")), 12.0);
    // Seconds after a colon stay below 60; the value before stands.
    QCOMPARE(type("Import_Start", QStringLiteral("1:75")), 12.0);
    QFile::remove(minutes);
}

void VideoImportWindowTest::theDialogDoesNotBlockAndImportsOneAtATime()
{
    QTemporaryDir out;
    window->importVideo(longClip);
    QVERIFY(window->importDialog()->isVisible());
    QCOMPARE(window->importDialog()->windowModality(), Qt::NonModal);
    QVERIFY(QApplication::activeModalWidget() == nullptr);

    inDialog<QLineEdit>("Import_Destination")->setText(QDir(out.path()).filePath(QStringLiteral("frames")));
    QSignalSpy ended(window->importDialog(), &VideoImportDialog::importEnded);
    inDialog<QPushButton>("Import_Go")->click();
    QVERIFY(window->importDialog()->importing());
    // A second import is refused while the first runs, whichever way it comes.
    window->importVideo(shortClip);
    QTest::keyClick(window.get(), Qt::Key_I, Qt::ControlModifier);
    QCOMPARE(messages.size(), std::size_t{2});
    QCOMPARE(messages[0].text, MainFrm::ImportRunningMessage);
    QCOMPARE(window->importDialog()->source(), longClip);
    QVERIFY(window->importDialog()->importing());
    inDialog<QPushButton>("Import_Cancel")->click();
    QTRY_VERIFY(!ended.isEmpty());

    // Once it has ended, the next one is taken.
    window->importVideo(shortClip);
    QCOMPARE(window->importDialog()->source(), shortClip);
    QCOMPARE(messages.size(), std::size_t{2});
}

void VideoImportWindowTest::anImportDuringARunWaitsForItsEnd()
{
    const QString frames = QDir(root->path()).filePath(QStringLiteral("frames"));
    QVERIFY(QDir().mkpath(frames));
    for (int i = 0; i < 4; ++i) {
        QImage frame(96, 64, QImage::Format_RGB32);
        frame.fill(qRgb(60 * i, 60 * i, 60 * i));
        QVERIFY(frame.save(QDir(frames).filePath(QStringLiteral("f%1.png").arg(i))));
    }
    FolderPicker::setNextFolders({frames});
    QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("Set_Vid_Folder")), Qt::LeftButton);
    auto* list = window->findChild<QListWidget*>(QStringLiteral("File_List_Box"));
    const QString made = QDir(root->path()).filePath(QStringLiteral("clip frames"));

    QList<int> rows;
    bool imported = false;
    window->onFrameSelection = [&](int row) {
        rows.append(row);
        if (row != 1 || imported) {
            return;
        }
        imported = true;
        window->importVideo(shortClip);
        inDialog<QLineEdit>("Import_Destination")->setText(made);
        QSignalSpy ended(window->importDialog(), &VideoImportDialog::importEnded);
        inDialog<QPushButton>("Import_Go")->click();
        QTRY_VERIFY_WITH_TIMEOUT(!ended.isEmpty(), 30000);
        // Done, but the run's frames stay the source.
        QVERIFY(QDir(made).exists());
        QCOMPARE(window->vars().LastDir, frames);
        QCOMPARE(list->count(), 4);
    };
    QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("ConvertVideo")), Qt::LeftButton);
    window->onFrameSelection = nullptr;
    QVERIFY(imported);
    // The run's four frames, then the imported folder's first, after it.
    QCOMPARE(rows, (QList<int>{0, 1, 2, 3, 0}));
    QCOMPARE(window->vars().LastDir, made);
    QCOMPARE(list->count(), 30);
}

void VideoImportWindowTest::picturesOfTheClipAndOfTheCalculator()
{
    // The 4:3 clip fitted to 3:2 has white bars at both sides; filled, none.
    window->importVideo(shortClip);
    const auto shown = [&](const char* name) {
        const QPixmap pixmap = inDialog<QLabel>(name)->pixmap();
        return pixmap.toImage().convertToFormat(QImage::Format_RGB32);
    };
    const auto whiteColumn = [](const QImage& image, int x) {
        for (int y = 0; y < image.height(); ++y) {
            if (image.pixel(x, y) != qRgb(255, 255, 255)) {
                return false;
            }
        }
        return true;
    };
    const QImage fitted = shown("Import_Picture");
    QCOMPARE(fitted.size(), QSize(192, 128));
    QVERIFY(whiteColumn(fitted, 0) && whiteColumn(fitted, 191));
    QVERIFY(!whiteColumn(fitted, 96));
    inDialog<QComboBox>("Import_Fit")->setCurrentIndex(1);
    QVERIFY(!whiteColumn(shown("Import_Picture"), 0));

    // The calculator's picture: black and white only, under the window's
    // colour settings of the moment.
    const QImage calculator = shown("Import_Calculator");
    QCOMPARE(calculator.size(), QSize(192, 128));
    for (int y = 0; y < calculator.height(); ++y) {
        for (int x = 0; x < calculator.width(); ++x) {
            const QRgb pixel = calculator.pixel(x, y);
            QVERIFY(pixel == qRgb(0, 0, 0) || pixel == qRgb(255, 255, 255));
        }
    }
    window->findChild<QSlider*>(QStringLiteral("BrightnessThreshold_Set"))->setValue(255);
    window->findChild<QSlider*>(QStringLiteral("BrightnessThreshold2_Set"))->setValue(255);
    const QImage dark = shown("Import_Calculator");
    QVERIFY(dark != calculator);
    QVERIFY(dark.pixel(96, 64) == qRgb(0, 0, 0));
}

// Too large for the RAM: the dialog says what fits before and after the
// import, and what makes it all fit; the run's message leads with that
// advice, "Make It Fit" makes the choice, and the run then passes the limit.
void VideoImportWindowTest::tooLargeAVideoIsToldWithNumbers()
{
    const QString noisy = test::makeClip(root->path(), QStringLiteral("noisy.mp4"),
                                         test::lavfi(QStringLiteral("testsrc=size=160x120:rate=25:duration=6,noise=alls=100:allf=t")) +
                                             QStringList{"-c:v", "libx264", "-preset", "ultrafast"});
    QVERIFY(!noisy.isEmpty());
    window->importVideo(noisy);
    inDialog<QDoubleSpinBox>("Import_Start")->setValue(1.0);
    // Counted from the clip before any import.
    QTRY_VERIFY_WITH_TIMEOUT(fits().contains(QStringLiteral("All of it fits in the archive")), 30000);
    QVERIFY2(fits().startsWith(QStringLiteral("The 24000 bytes hold ")), qPrintable(fits()));
    QSignalSpy ended(window->importDialog(), &VideoImportDialog::importEnded);
    inDialog<QPushButton>("Import_Go")->click();
    QTRY_VERIFY_WITH_TIMEOUT(!ended.isEmpty(), 30000);
    const QStringList told = fits().split(QLatin1Char('\n'));
    QVERIFY2(told.size() >= 2, qPrintable(fits()));
    QVERIFY2(told[0].startsWith(QStringLiteral("The 24000 bytes hold ")), qPrintable(told[0]));
    QVERIFY2(told[1].startsWith(QStringLiteral("The whole video fits in the archive: all 74 frames")), qPrintable(told[1]));
    inDialog<QPushButton>("Import_Cancel")->click();
    QTRY_VERIFY(window->importDialog() == nullptr);

    QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("ConvertVideo")), Qt::LeftButton);
    QCOMPARE(messages.size(), std::size_t{1});
    const QStringList lines = messages[0].text.split(QStringLiteral("\r\n"));
    QVERIFY2(lines.size() == 3, qPrintable(messages[0].text));
    QCOMPARE(lines[0], QStringLiteral("Error: File size is too large! Try turning down the quality a bit..."));
    QVERIFY2(lines[1].startsWith(QStringLiteral("The whole video fits in the archive: all 74 frames")), qPrintable(lines[1]));
    QVERIFY2(lines[1].contains(QStringLiteral("\"Make It Fit\"")), qPrintable(lines[1]));
    QVERIFY2(lines[2].startsWith(QStringLiteral("The 24000 bytes hold ")), qPrintable(lines[2]));

    // The button makes the choice; what fits follows it.
    auto* makeItFit = window->findChild<QPushButton*>(QStringLiteral("CalcMakeItFit"));
    QTRY_VERIFY_WITH_TIMEOUT(makeItFit->isEnabled() && !window->countingFits(), 30000);
    makeItFit->click();
    QVERIFY(window->findChild<QCheckBox*>(QStringLiteral("CalcArchive"))->isChecked());
    QCOMPARE(window->windowLayer().videoTarget().storage, Storage::Archive);
    QCOMPARE(window->windowLayer().videoTarget().model, CalculatorModel::Ti83Plus);
    QTRY_VERIFY_WITH_TIMEOUT(!window->countingFits() &&
                                 window->findChild<QLabel*>(QStringLiteral("CalcFits"))->text().startsWith(
                                     QStringLiteral("All 74 frames fit")),
                             30000);
    QVERIFY(!makeItFit->isEnabled());
    // The same frames pass the limit now (the empty application folder has
    // no tools to build with: whatever ends the run, it is not the limit).
    messages.clear();
    QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("ConvertVideo")), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!messages.empty(), 30000);
    QVERIFY2(!messages[0].text.contains(QStringLiteral("too large")), qPrintable(messages[0].text));
}

// Frames taken at 5 a second play at that rate: what fits is told in the
// seconds they play for, and the window takes the rate for the run.
void VideoImportWindowTest::anImportPlaysAtItsOwnRate()
{
    window->importVideo(shortClip);
    inDialog<QDoubleSpinBox>("Import_Rate")->setValue(5.0);
    inDialog<QLineEdit>("Import_Destination")->setText(QDir(root->path()).filePath(QStringLiteral("slow frames")));
    QSignalSpy ended(window->importDialog(), &VideoImportDialog::importEnded);
    inDialog<QPushButton>("Import_Go")->click();
    QTRY_VERIFY_WITH_TIMEOUT(!ended.isEmpty(), 30000);
    // Ten frames, a frame every 24 ticks of the 118 Hz timer: 2.0 seconds
    // (at the written pace they would take 0.7).
    QVERIFY2(fits().contains(QStringLiteral("All 10 frames fit")), qPrintable(fits()));
    QVERIFY2(fits().contains(QStringLiteral(": 2.0 seconds on the calculator")), qPrintable(fits()));
    QCOMPARE(window->windowLayer().videoTarget().framesPerSecond, 5.0);
}

QTEST_MAIN(VideoImportWindowTest)
#include "VideoImportWindowTest.moc"
