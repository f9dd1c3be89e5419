// The window's video import on the offscreen platform: the button, Ctrl+I,
// drag and drop, the dialog with a clip made by ffmpeg, and what is left
// after an import, a cancel or a close.
#include "app/MainFrm.h"
#include "app/VideoImportDialog.h"
#include "platform/widgets/FilePicker.h"
#include "platform/widgets/FolderPicker.h"
#include "platform/widgets/MessageBoxes.h"
#include "platform/widgets/WidgetPictureArea.h"
#include "support/FfmpegClips.h"

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
#include <QPushButton>
#include <QSignalSpy>
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
    void drop(const QList<QUrl>& urls, bool* accepted = nullptr);

    std::unique_ptr<QTemporaryDir> root;
    QString app;
    QString clips;
    QString shortClip;  // 2 s at 25 a second, 320 x 240
    QString longClip;   // 20 s, for an import that takes a while
    std::unique_ptr<MainFrm> window;
    std::vector<MessageBoxes::Message> messages;
    int programEnds = 0;
    std::unique_ptr<QTemporaryDir> clipFolder;
};

void VideoImportWindowTest::initTestCase()
{
    MessageBoxes::setHook([this](const MessageBoxes::Message& message) { messages.push_back(message); });
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
    inDialog<QLineEdit>("Import_Destination")->setText(QDir::toNativeSeparators(made));
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
    QVERIFY2(status().contains(QLatin1String("seconds on the calculator")), qPrintable(status()));
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
    QCOMPARE(inDialog<QPushButton>("Import_Cancel")->text(), QStringLiteral("Close"));
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

QTEST_MAIN(VideoImportWindowTest)
#include "VideoImportWindowTest.moc"
