// The widget side of the platform: progress bars, picture areas, the
// wrappers around the modal dialogs, and the window layer's yield.
#include "app/MainFrm.h"
#include "platform/WindowLayer.h"
#include "platform/widgets/FloatProgressBar.h"
#include "platform/widgets/FolderPicker.h"
#include "platform/widgets/MessageBoxes.h"
#include "platform/widgets/WidgetPictureArea.h"

#include <QAbstractEventDispatcher>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <limits>
#include <vector>

using namespace zoetra;

namespace {

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            ++paints;
        }
        return QObject::eventFilter(watched, event);
    }
};

}  // namespace

class WidgetsTest : public QObject {
    Q_OBJECT

private slots:
    void progressBarRefusals();
    void pictureAreaPaintsItsBuffer();
    void refreshesBetweenEventPassesCostOnePaint();
    void messageBoxes();
    void rootPaths_data();
    void rootPaths();
    void folderPickerHook();
    void yieldSkipsPassesButStaysResponsive();
};

void WidgetsTest::progressBarRefusals()
{
    FloatProgressBar bar;
    QCOMPARE(bar.maximum(), 100.0);
    QVERIFY(bar.setValue(12.5));
    QCOMPARE(bar.value(), 12.5);
    QCOMPARE(bar.fraction(), 0.125);
    QVERIFY(bar.setValue(100.0));
    QVERIFY(!bar.setValue(100.01));
    QVERIFY(!bar.setValue(-0.5));
    QVERIFY(!bar.setValue(std::numeric_limits<double>::quiet_NaN()));
    QCOMPARE(bar.value(), 100.0);

    // A maximum below 1 is refused; a lower one pulls the value down.
    QVERIFY(!bar.setMaximum(0.0));
    QVERIFY(!bar.setMaximum(0.99));
    QVERIFY(!bar.setMaximum(-1.0));
    QCOMPARE(bar.maximum(), 100.0);
    QVERIFY(bar.setMaximum(2.5));
    QCOMPARE(bar.value(), 2.5);
    QVERIFY(bar.setValue(1.25));
    QCOMPARE(bar.fraction(), 0.5);

    // What the bar shows is the filled share.
    bar.resize(200, 17);
    const QImage half = bar.grab().toImage();
    QVERIFY(bar.setValue(2.5));
    const QImage full = bar.grab().toImage();
    QVERIFY(half != full);
}

void WidgetsTest::pictureAreaPaintsItsBuffer()
{
    WidgetPictureArea area;
    area.resize(96, 65);
    QCOMPARE(area.pixel(0, 0), PictureBackground);
    area.setPixel(3, 4, makeColour(255, 0, 0));
    area.setPixel(95, 64, makeColour(0, 0, 255));
    const QImage shown = area.grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shown.size(), QSize(96, 65));
    QCOMPARE(shown.pixel(3, 4), qRgb(255, 0, 0));
    QCOMPARE(shown.pixel(95, 64), qRgb(0, 0, 255));
    QCOMPARE(shown.pixel(0, 0), qRgb(240, 240, 240));
}

void WidgetsTest::refreshesBetweenEventPassesCostOnePaint()
{
    QWidget top;
    top.resize(120, 90);
    auto* area = new WidgetPictureArea(&top);
    area->setGeometry(10, 10, 96, 65);
    top.show();
    QVERIFY(QTest::qWaitForWindowExposed(&top));
    PaintCounter counter;
    area->installEventFilter(&counter);
    QCoreApplication::processEvents();
    counter.paints = 0;

    for (int i = 0; i < 1000; ++i) {
        area->setPixel(i % 96, 0, makeColour(0, 0, 0));
        area->refresh();
    }
    QCOMPARE(counter.paints, 0);  // nothing is painted inside refresh()
    QTRY_COMPARE(counter.paints, 1);
    QCoreApplication::processEvents();
    QCOMPARE(counter.paints, 1);
    QCOMPARE(area->grab().toImage().convertToFormat(QImage::Format_RGB32).pixel(50, 0), qRgb(0, 0, 0));
}

void WidgetsTest::messageBoxes()
{
    std::vector<MessageBoxes::Message> seen;
    MessageBoxes::setHook([&](const MessageBoxes::Message& m) { seen.push_back(m); });
    MessageBoxes::show(nullptr, QStringLiteral("a\r\nb"), QStringLiteral("Zoetra2"), MessageIcon::Information);
    MessageBoxes::setHook({});
    QCOMPARE(seen.size(), std::size_t{1});
    QCOMPARE(seen.front().text, QStringLiteral("a\r\nb"));  // the hook sees the text as given

    const struct {
        MessageIcon icon;
        QMessageBox::Icon shown;
    } icons[] = {{MessageIcon::Error, QMessageBox::Critical},
                 {MessageIcon::Warning, QMessageBox::Warning},
                 {MessageIcon::Information, QMessageBox::Information}};
    for (const auto& [icon, shown] : icons) {
        const auto box = MessageBoxes::build(nullptr, QStringLiteral("Line one\r\nLine two"), QStringLiteral("Title"), icon);
        QCOMPARE(box->icon(), shown);
        QCOMPARE(box->windowTitle(), QStringLiteral("Title"));
        QCOMPARE(box->text(), QStringLiteral("Line one\nLine two"));
        QCOMPARE(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(box->textFormat(), Qt::PlainText);
    }
}

void WidgetsTest::rootPaths_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("root");
    QTest::newRow("slash") << QStringLiteral("/") << true;
    QTest::newRow("drive") << QStringLiteral("C:\\") << true;
    QTest::newRow("drive, Qt form") << QStringLiteral("C:/") << true;
    QTest::newRow("folder") << QStringLiteral("/home/ann") << false;
    QTest::newRow("drive folder") << QStringLiteral("C:\\Frames") << false;
    QTest::newRow("drive letter alone") << QStringLiteral("C:") << false;
}

void WidgetsTest::rootPaths()
{
    QFETCH(QString, path);
    QFETCH(bool, root);
    QCOMPARE(FolderPicker::isRootPath(path), root);
}

void WidgetsTest::folderPickerHook()
{
    std::vector<MessageBoxes::Message> seen;
    MessageBoxes::setHook([&](const MessageBoxes::Message& m) { seen.push_back(m); });
    FolderPicker::setNextFolders({QStringLiteral("/"), QStringLiteral("/srv/frames")});
    QCOMPARE(FolderPicker::BrowseFolder(nullptr, QStringLiteral("Pick:")), QStringLiteral("/srv/frames"));
    QCOMPARE(seen.size(), std::size_t{1});
    QCOMPARE(seen.front().text, FolderPicker::RootRefusedMessage);
    // Used up: every further picker is a cancel.
    QCOMPARE(FolderPicker::BrowseFolder(nullptr, QStringLiteral("Again:")), QString());
    QCOMPARE(FolderPicker::answeredTitles(),
             (QStringList{QStringLiteral("Pick:"), QStringLiteral("Pick:"), QStringLiteral("Again:")}));
    FolderPicker::clearTestHook();
    MessageBoxes::setHook({});
    QVERIFY(FolderPicker::answeredTitles().isEmpty());
}

void WidgetsTest::yieldSkipsPassesButStaysResponsive()
{
    QTemporaryDir app;
    QVERIFY(app.isValid());
    MainFrm window(app.path());
    window.endProgram = [] {};
    WindowLayer& layer = window.windowLayer();

    // A posted event is handled by the first yield; once the interval has
    // passed, by the next one.
    int handled = 0;
    QMetaObject::invokeMethod(&window, [&] { ++handled; }, Qt::QueuedConnection);
    layer.yieldToEvents();
    QCOMPARE(handled, 1);
    QThread::msleep(5);
    QMetaObject::invokeMethod(&window, [&] { ++handled; }, Qt::QueuedConnection);
    layer.yieldToEvents();
    QCOMPARE(handled, 2);

    // A tight loop of yields makes at most one event pass per interval.
    int passes = 0;
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::awake, &window, [&] { ++passes; });
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 200000; ++i) {
        layer.yieldToEvents();
    }
    const qint64 elapsedNs = clock.nsecsElapsed();
    QVERIFY(passes >= 1);
    QVERIFY2(passes <= elapsedNs / 2'000'000 + 2,
             qPrintable(QStringLiteral("%1 passes in %2 ms").arg(passes).arg(elapsedNs / 1e6)));
}

QTEST_MAIN(WidgetsTest)
#include "WidgetsTest.moc"
