// The real window on a temporary application folder of its own, with the
// folder picker and the message boxes answered by their test hooks.
#include "app/CalculatorPage.h"
#include "app/MainFrm.h"
#include "app/SavedFolders.h"
#include "codec/compact/CompactDecoder.h"
#include "convert/ConversionRun.h"
#include "convert/TargetTexts.h"
#include "imaging/Conversion.h"
#include "platform/ImagePictureArea.h"
#include "platform/widgets/FloatProgressBar.h"
#include "platform/widgets/FolderPicker.h"
#include "platform/widgets/MessageBoxes.h"
#include "platform/widgets/WidgetPictureArea.h"
#include "program/PlayerTarget.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QGroupBox>
#include <QHelpEvent>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

using namespace zoetra;

namespace {

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// A frame whose three channels differ everywhere, so that every setting
// changes its reduction.
QImage gradientFrame(int shift = 0)
{
    QImage image(96, 64, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            image.setPixel(x, y, qRgb((x * 255 / 95 + shift) % 256, y * 4, 255 - x * 2));
        }
    }
    return image;
}

QImage solid(int width, int height, QRgb colour)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

QString twoImageGif()
{
    return QStringLiteral(ZOETRA_SOURCE_DIR "/fuzz/frameloader/corpus/two-frames.gif");
}

// What the monochrome preview must show for a frame picture under settings.
QImage expectedPreview(const QImage& framePicture, int black, int white, bool dither, int channel,
                       const PictureSettings& pictures = {})
{
    Vars vars;
    vars.Pictures = pictures;
    vars.BlackThreshold = static_cast<std::int16_t>(black);
    vars.WhiteThreshold = static_cast<std::int16_t>(white);
    vars.DitherOn = dither;
    vars.ColourChannel = static_cast<std::int16_t>(channel);
    MemoryPictureArea source;
    MemoryPictureArea destination;
    source.setPicture(framePicture);
    ConvertToMono(vars, source, destination);
    return destination.toImage();
}

struct ControlRow {
    const char* name;
    const char* parent;
    const char* kind;
    QRect place;
};

// Every control of the window: its container, kind and place.
const ControlRow controlRows[] = {
    {"TabStrip", "MainFrm", "QTabWidget", {8, 8, 593, 281}},
    {"SettingsPage_0", "MainFrm", "QFrame", {16, 32, 425, 249}},
    {"SettingsPage_1", "MainFrm", "QFrame", {16, 32, 425, 249}},
    {"SettingsPage_2", "MainFrm", "QFrame", {16, 32, 425, 249}},
    {"CaptionFrame", "MainFrm", "QGroupBox", {448, 32, 129, 249}},
    {"WaitBox", "MainFrm", "QListWidget", {16, 264, 9, 19}},
    {"Label1", "CaptionFrame", "QLabel", {8, 16, 113, 81}},
    {"File_List_Preview", "CaptionFrame", "zoetra::WidgetPictureArea", {16, 24, 96, 65}},
    {"Label2", "CaptionFrame", "QLabel", {8, 104, 113, 81}},
    {"Quick_Prev", "CaptionFrame", "zoetra::WidgetPictureArea", {16, 112, 96, 65}},
    {"Label3", "CaptionFrame", "QLabel", {8, 200, 113, 41}},
#ifdef ZOETRA_VIDEO_IMPORT
    // The path label gives up room for the import button.
    {"PathLoc", "SettingsPage_0", "QLabel", {8, 16, 273, 25}},
    {"Import_Video", "SettingsPage_0", "QPushButton", {288, 16, 89, 25}},
#else
    {"PathLoc", "SettingsPage_0", "QLabel", {8, 16, 369, 25}},
#endif
    {"Set_Vid_Folder", "SettingsPage_0", "QPushButton", {384, 16, 33, 25}},
    {"File_List_Box", "SettingsPage_0", "QListWidget", {8, 48, 409, 188}},
    {"Label6", "SettingsPage_1", "QLabel", {32, 32, 361, 57}},
    {"Label4", "SettingsPage_1", "QLabel", {32, 104, 137, 17}},
    {"BrightnessThreshold_Set", "SettingsPage_1", "QSlider", {96, 104, 297, 17}},
    {"Label5", "SettingsPage_1", "QLabel", {32, 120, 137, 17}},
    {"BrightnessThreshold2_Set", "SettingsPage_1", "QSlider", {96, 120, 297, 17}},
    {"DitheringOnOff", "SettingsPage_1", "QCheckBox", {31, 136, 81, 17}},
    {"AutoBalance", "SettingsPage_1", "QPushButton", {352, 144, 41, 25}},
    {"AutoExposure", "SettingsPage_1", "QCheckBox", {120, 136, 121, 17}},
    {"PatternLabel", "SettingsPage_1", "QLabel", {32, 170, 49, 17}},
    {"PatternChoice", "SettingsPage_1", "QComboBox", {88, 166, 129, 21}},
    {"GammaLabel", "SettingsPage_1", "QLabel", {232, 170, 49, 17}},
    {"GammaSet", "SettingsPage_1", "QDoubleSpinBox", {280, 166, 65, 21}},
    {"Which_Colour_Val_0", "SettingsPage_1", "QRadioButton", {32, 200, 81, 25}},
    {"Which_Colour_Val_1", "SettingsPage_1", "QRadioButton", {120, 200, 89, 25}},
    {"Which_Colour_Val_2", "SettingsPage_1", "QRadioButton", {216, 200, 89, 25}},
    {"Which_Colour_Val_3", "SettingsPage_1", "QRadioButton", {312, 200, 81, 25}},
    {"Label12", "SettingsPage_2", "QLabel", {8, 16, 153, 81}},
    {"CompactVideo", "SettingsPage_2", "QCheckBox", {8, 104, 153, 17}},
    {"Label14", "SettingsPage_2", "QLabel", {224, 16, 81, 17}},
    {"DetailSlider", "SettingsPage_2", "QSlider", {304, 16, 105, 17}},
    {"SetLooping", "SettingsPage_2", "QCheckBox", {224, 40, 185, 13}},
    {"Label7", "SettingsPage_2", "QLabel", {224, 61, 81, 17}},
    {"ShellChoice", "SettingsPage_2", "QComboBox", {304, 56, 105, 21}},
    {"Label11", "SettingsPage_2", "QLabel", {224, 80, 81, 25}},
    {"Description", "SettingsPage_2", "QLineEdit", {304, 80, 105, 19}},
    {"Label13", "SettingsPage_2", "QLabel", {224, 104, 81, 25}},
    {"FName", "SettingsPage_2", "QLineEdit", {304, 104, 105, 19}},
    {"Set_Out", "SettingsPage_2", "QPushButton", {8, 128, 185, 25}},
    {"ConvertVideo", "SettingsPage_2", "QPushButton", {216, 128, 201, 25}},
    {"Label15", "SettingsPage_2", "QLabel", {32, 192, 369, 17}},
    {"ProgressCounters", "SettingsPage_2", "QGroupBox", {8, 152, 409, 89}},
    {"Label8", "ProgressCounters", "QLabel", {8, 16, 97, 17}},
    {"TotalProgress", "ProgressCounters", "zoetra::FloatProgressBar", {104, 16, 225, 17}},
    {"Label9", "ProgressCounters", "QLabel", {8, 40, 97, 17}},
    {"ByteWriter", "ProgressCounters", "zoetra::FloatProgressBar", {104, 40, 225, 17}},
    {"Label10", "ProgressCounters", "QLabel", {8, 64, 97, 17}},
    {"CompressionVal", "ProgressCounters", "zoetra::FloatProgressBar", {104, 64, 225, 17}},
    {"Frame1", "ProgressCounters", "QGroupBox", {336, 8, 65, 73}},
    {"SizeCounter", "Frame1", "QLabel", {8, 32, 49, 17}},
};

}  // namespace

class MainFrmTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void startState();
    void controlPlaces_data();
    void controlPlaces();
    void captionFontsAndPictures();
    void pageSwitching();

    void thresholdSlidersRedraw();
    void ditherAndChannelRedraw();
    void autoBalance_data();
    void autoBalance();
    void patternAndToneRedraw();
    void patternDefaultsMoveTheSlidersAndComeBack();
    void runCarriesHistoryAndPreviewStandsAlone();

    void frameListOrderAndFilter();
    void frameSelectionLoadsAndConverts();
    void undecodableFramesKeepThePicture();
    void runSelectionReloadsTheSelectedEntry();
    void folderFallbacks();
    void rootLevelIsRefused();
    void outputFolderChoice();
    void pickersOpenAtTheFolderInUse();
    void aCutOffPathShowsWholeAsToolTip();

    void savedFolderFiles();
    void savedFolderReadRules();
    void shutDownEndsEvenWhenFilesCannotBeWritten();

    void refusedNameTouchesNothing();
    void conversionFromTheWindow();
    void compactVideoReachesTheRun();
    void compactVideoMirrorsTheStreamFormat();
    void windowStaysLiveDuringARun();

    void calculatorPageMakesTheTarget();
    void frameRateFollowsTheFolder();
    void archiveVideoFromTheWindow();
    void calculatorPageLinesFitTheirPlaces();

    void sliderValuesShownInFreeSpace();

private:
    std::unique_ptr<MainFrm> open();
    template <typename T>
    T* child(const char* name) const
    {
        T* found = window->findChild<T*>(QLatin1String(name));
        if (found == nullptr) {
            qFatal("no control %s", name);
        }
        return found;
    }
    QString folder(const QString& name, const QList<QPair<QString, QImage>>& frames = {}) const;
    void select(int row);
    static void clickButton(QAbstractButton* button);
    QImage framePicture() const { return child<WidgetPictureArea>("File_List_Preview")->toImage(); }
    QImage monoPreview() const { return child<WidgetPictureArea>("Quick_Prev")->toImage(); }
    QImage expectedNow() const
    {
        const Vars& v = window->vars();
        return expectedPreview(framePicture(), v.BlackThreshold, v.WhiteThreshold, v.DitherOn, v.ColourChannel,
                               v.Pictures);
    }

    std::unique_ptr<QTemporaryDir> root;
    QString app;
    std::unique_ptr<MainFrm> window;
    std::vector<MessageBoxes::Message> messages;
    std::vector<MessageBoxes::Question> questions;
    int questionAnswer = 1;  // "Use As They Are"
    int programEnds = 0;
};

void MainFrmTest::initTestCase()
{
    MessageBoxes::setHook([this](const MessageBoxes::Message& message) { messages.push_back(message); });
    MessageBoxes::setQuestionHook([this](const MessageBoxes::Question& question) {
        questions.push_back(question);
        return questionAnswer;
    });
}

void MainFrmTest::init()
{
    root = std::make_unique<QTemporaryDir>();
    QVERIFY(root->isValid());
    QVERIFY(QDir(root->path()).mkdir(QStringLiteral("app")));
    app = QDir(root->path()).filePath(QStringLiteral("app"));
    messages.clear();
    questions.clear();
    questionAnswer = 1;
    programEnds = 0;
    FolderPicker::setNextFolders({});
}

void MainFrmTest::cleanup()
{
    window.reset();
    FolderPicker::clearTestHook();
    root.reset();
}

std::unique_ptr<MainFrm> MainFrmTest::open()
{
    auto frm = std::make_unique<MainFrm>(app);
    frm->endProgram = [this] { ++programEnds; };
    return frm;
}

QString MainFrmTest::folder(const QString& name, const QList<QPair<QString, QImage>>& frames) const
{
    const QString path = QDir(root->path()).filePath(name);
    QDir().mkpath(path);
    for (const auto& [file, image] : frames) {
        if (file.endsWith(QLatin1String(".gif"), Qt::CaseInsensitive)) {
            // Qt writes no GIF: a two-image GIF of the frame loader's corpus.
            if (!QFile::copy(twoImageGif(), QDir(path).filePath(file))) {
                qFatal("cannot write %s", qPrintable(file));
            }
            continue;
        }
        if (!image.save(QDir(path).filePath(file))) {
            qFatal("cannot write %s", qPrintable(file));
        }
    }
    return path;
}

void MainFrmTest::clickButton(QAbstractButton* button)
{
    // Check boxes and option buttons take clicks on their indicator and
    // caption only, not on the rest of their place.
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
}

void MainFrmTest::select(int row)
{
    auto* list = child<QListWidget>("File_List_Box");
    QListWidgetItem* item = list->item(row);
    QVERIFY(item != nullptr);
    list->scrollToItem(item);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
}

void MainFrmTest::startState()
{
    QVERIFY(QImage(solid(96, 64, qRgb(200, 10, 10))).save(QDir(app).filePath(QStringLiteral("frame.bmp"))));
    window = open();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));

    QCOMPARE(window->size(), QSize(609, 297));
    QCOMPARE(window->minimumSize(), window->maximumSize());

    // Exactly the first page, with the preview panel beside it.
    QCOMPARE(child<QTabWidget>("TabStrip")->currentIndex(), 0);
    QVERIFY(child<QFrame>("SettingsPage_0")->isVisible());
    QVERIFY(!child<QFrame>("SettingsPage_1")->isVisible());
    QVERIFY(!child<QFrame>("SettingsPage_2")->isVisible());
    QVERIFY(child<QGroupBox>("CaptionFrame")->isVisible());
    QVERIFY(!child<QWidget>("WaitBox")->isVisibleTo(window.get()));
    QVERIFY(!child<QWidget>("ProgressCounters")->isVisibleTo(window.get()));

    // Controls.
    auto* shell = child<QComboBox>("ShellChoice");
    QCOMPARE(shell->currentText(), QStringLiteral("Ion"));
    QCOMPARE(shell->count(), 3);
    QCOMPARE(shell->itemText(1), QStringLiteral("MirageOS"));
    QCOMPARE(shell->itemText(2), QStringLiteral("No Shell"));
    QVERIFY(!shell->isEditable());
    QCOMPARE(child<QLineEdit>("FName")->text(), QStringLiteral("Video"));
    QCOMPARE(child<QLineEdit>("Description")->text(), QStringLiteral("My First Video"));
    QVERIFY(child<QCheckBox>("DitheringOnOff")->isChecked());
    QVERIFY(child<QCheckBox>("SetLooping")->isChecked());
    QVERIFY(!child<QCheckBox>("CompactVideo")->isChecked());
    QCOMPARE(child<QCheckBox>("CompactVideo")->text(), QStringLiteral("Compact video"));
    QVERIFY(child<QRadioButton>("Which_Colour_Val_0")->isChecked());
    for (const char* name : {"BrightnessThreshold_Set", "BrightnessThreshold2_Set"}) {
        auto* slider = child<QSlider>(name);
        QCOMPARE(slider->minimum(), 0);
        QCOMPARE(slider->maximum(), 255);
        QCOMPARE(slider->singleStep(), 1);
        QCOMPARE(slider->pageStep(), 5);
        QCOMPARE(slider->tickPosition(), QSlider::NoTicks);
    }
    QCOMPARE(child<QSlider>("BrightnessThreshold_Set")->value(), 85);
    QCOMPARE(child<QSlider>("BrightnessThreshold2_Set")->value(), 170);
    auto* detail = child<QSlider>("DetailSlider");
    QCOMPARE(detail->value(), 0);
    QCOMPARE(detail->minimum(), -10);
    QCOMPARE(detail->maximum(), 0);
    QCOMPARE(detail->pageStep(), 5);
    QVERIFY(detail->tickPosition() != QSlider::NoTicks);
    QCOMPARE(detail->tickInterval(), 1);
    QCOMPARE(child<QLabel>("SizeCounter")->text(), QStringLiteral("0b"));
    for (const char* bar : {"TotalProgress", "ByteWriter", "CompressionVal"}) {
        QCOMPARE(child<FloatProgressBar>(bar)->value(), 0.0);
        QCOMPARE(child<FloatProgressBar>(bar)->maximum(), 100.0);
    }

    // Shared settings, folders and the frame list.
    const Vars& vars = window->vars();
    QCOMPARE(vars.BlackThreshold, std::int16_t{85});
    QCOMPARE(vars.WhiteThreshold, std::int16_t{170});
    QVERIFY(vars.DitherOn);
    QCOMPARE(vars.ColourChannel, std::int16_t{1});
    QCOMPARE(vars.LastDir, app);
    QCOMPARE(vars.OutDir, app);
    QCOMPARE(child<QLabel>("PathLoc")->text(), QDir::toNativeSeparators(app));
    auto* list = child<QListWidget>("File_List_Box");
    QCOMPARE(list->count(), 1);
    QVERIFY(list->selectedItems().isEmpty());

    // No frame is loaded; the first preview was drawn before the channel
    // was set, so it is black.
    QCOMPARE(framePicture(), solid(96, 65, qRgb(240, 240, 240)));
    QCOMPARE(monoPreview(), solid(96, 65, qRgb(0, 0, 0)));
    // Start-up reads the saved folders but writes nothing.
    QVERIFY(!QFile::exists(QDir(app).filePath(QStringLiteral("LastDir.cfg"))));
    QVERIFY(messages.empty());
}

void MainFrmTest::controlPlaces_data()
{
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QRect>("place");
    for (const auto& row : controlRows) {
        QTest::newRow(row.name) << QString::fromLatin1(row.parent) << QString::fromLatin1(row.kind) << row.place;
    }
}

void MainFrmTest::controlPlaces()
{
    QFETCH(QString, parent);
    QFETCH(QString, kind);
    QFETCH(QRect, place);
    window = open();
    QWidget* control = child<QWidget>(QTest::currentDataTag());
    QCOMPARE(control->parentWidget()->objectName(), parent);
    QVERIFY2(control->inherits(kind.toLatin1().constData()), control->metaObject()->className());
    QCOMPARE(control->geometry(), place);
    QVERIFY(control->isEnabled());
}

void MainFrmTest::captionFontsAndPictures()
{
    window = open();
    QCOMPARE(window->windowTitle(), QStringLiteral("Zoetra Convertor v2 - by the Zoetra team, 2026"));
    QCOMPARE(window->font().family(), QStringLiteral("Tahoma"));
    QCOMPARE(window->font().pointSizeF(), 8.25);
    // The controls and the tabs inherit the window's font.
    for (const char* name : {"PathLoc", "File_List_Box", "ConvertVideo", "TabStrip", "SizeCounter"}) {
        QCOMPARE(child<QWidget>(name)->font(), window->font());
    }
    const QFont title = child<QLabel>("Label3")->font();
    QCOMPARE(title.family(), QStringLiteral("Tahoma"));
    QCOMPARE(title.pointSizeF(), 11.25);
    QVERIFY(title.bold());
    QVERIFY(child<QLabel>("Label3")->wordWrap());

    const QIcon icon = window->windowIcon();
    QCOMPARE(icon.availableSizes(), (QList<QSize>{{16, 16}, {32, 32}}));
    auto* folderButton = child<QPushButton>("Set_Vid_Folder");
    QVERIFY(!folderButton->icon().isNull());
    QCOMPARE(folderButton->iconSize(), QSize(16, 16));
    // The folder picture carries its green arrow.
    const QImage folderPicture = folderButton->icon().pixmap(16, 16).toImage();
    bool green = false;
    for (int y = 0; y < 16 && !green; ++y) {
        for (int x = 0; x < 16 && !green; ++x) {
            const QColor c = folderPicture.pixelColor(x, y);
            green = c.alpha() > 0 && c.green() > 2 * c.red() && c.green() > 2 * c.blue();
        }
    }
    QVERIFY(green);

    // The written three tabs, then "Calculator".
    auto* tabs = child<QTabWidget>("TabStrip");
    QCOMPARE(tabs->count(), 4);
    const QStringList captions{QStringLiteral("Select video source"), QStringLiteral("Graphics settings"),
                               QStringLiteral("Create Video"), QStringLiteral("Calculator")};
    const QStringList tips{QStringLiteral("Use this to set the directory of your animation"),
                           QStringLiteral("Use this to adjust the brightness and contast of your image"),
                           QStringLiteral("Looping, shell, name..."),
                           QStringLiteral("The calculator model, where the video data is kept and its format")};
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(tabs->tabText(i), captions.at(i));
        QCOMPARE(tabs->tabToolTip(i), tips.at(i));
    }
}

void MainFrmTest::pageSwitching()
{
    folder(QStringLiteral("unused"));
    QVERIFY(gradientFrame().save(QDir(app).filePath(QStringLiteral("a.bmp"))));
    window = open();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    select(0);
    const QImage picture = framePicture();
    const QImage preview = monoPreview();

    auto* bar = child<QTabWidget>("TabStrip")->tabBar();
    const auto shown = [&] {
        QList<int> pages;
        for (int i = 0; i < 4; ++i) {
            if (child<QFrame>(QByteArray("SettingsPage_" + QByteArray::number(i)).constData())->isVisible()) {
                pages.append(i);
            }
        }
        return pages;
    };
    for (const int tab : {1, 2, 2, 3, 0, 0, 1}) {
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(tab).center());
        QCOMPARE(shown(), QList<int>{tab});
        QVERIFY(child<QGroupBox>("CaptionFrame")->isVisible());
    }
    // The pointer resting on the second tab.
    const QPoint onTab = bar->tabRect(1).center();
    QHelpEvent help(QEvent::ToolTip, onTab, bar->mapToGlobal(onTab));
    QCoreApplication::sendEvent(bar, &help);
    QTRY_COMPARE(QToolTip::text(), QStringLiteral("Use this to adjust the brightness and contast of your image"));

    // Display_Page itself, and the handler after a click on the tab that
    // is already selected.
    window->Display_Page(2);
    QCOMPARE(shown(), QList<int>{2});
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(1).center());
    QCOMPARE(shown(), QList<int>{1});

    // Nothing else changed.
    QCOMPARE(framePicture(), picture);
    QCOMPARE(monoPreview(), preview);
    const Vars& vars = window->vars();
    QCOMPARE(vars.BlackThreshold, std::int16_t{85});
    QCOMPARE(vars.ColourChannel, std::int16_t{1});
    QCOMPARE(vars.LastDir, app);
}

void MainFrmTest::thresholdSlidersRedraw()
{
    QVERIFY(gradientFrame().save(QDir(app).filePath(QStringLiteral("a.bmp"))));
    window = open();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    select(0);
    QCOMPARE(monoPreview(), expectedNow());
    child<QTabWidget>("TabStrip")->setCurrentIndex(1);

    auto* black = child<QSlider>("BrightnessThreshold_Set");
    auto* white = child<QSlider>("BrightnessThreshold2_Set");
    Vars& vars = window->vars();

    QImage before = monoPreview();
    black->setValue(120);
    QCOMPARE(vars.BlackThreshold, std::int16_t{120});
    QCOMPARE(vars.WhiteThreshold, std::int16_t{170});
    QCOMPARE(monoPreview(), expectedNow());
    QVERIFY(monoPreview() != before);

    // Keys on the white slider: one large step up, then ten down. The other
    // threshold is read again too.
    vars.BlackThreshold = 0;
    before = monoPreview();
    white->setFocus();
    QTest::keyClick(white, Qt::Key_PageUp);
    QCOMPARE(white->value(), 175);
    QCOMPARE(vars.WhiteThreshold, std::int16_t{175});
    QCOMPARE(vars.BlackThreshold, std::int16_t{120});
    for (int i = 0; i < 10; ++i) {
        QTest::keyClick(white, Qt::Key_PageDown);
    }
    QCOMPARE(vars.WhiteThreshold, std::int16_t{125});
    QCOMPARE(vars.BlackThreshold, std::int16_t{120});
    QCOMPARE(monoPreview(), expectedNow());
    QVERIFY(monoPreview() != before);

    // A drag of the thumb, ending in its release.
    vars.WhiteThreshold = 0;
    vars.BlackThreshold = 0;
    black->setSliderDown(true);
    black->setSliderPosition(100);
    QCOMPARE(vars.BlackThreshold, std::int16_t{100});
    vars.BlackThreshold = 0;
    black->setSliderDown(false);
    QCOMPARE(vars.BlackThreshold, std::int16_t{100});
    QCOMPARE(vars.WhiteThreshold, std::int16_t{125});
    QCOMPARE(monoPreview(), expectedNow());
}

void MainFrmTest::ditherAndChannelRedraw()
{
    QVERIFY(gradientFrame().save(QDir(app).filePath(QStringLiteral("a.bmp"))));
    window = open();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    select(0);
    child<QTabWidget>("TabStrip")->setCurrentIndex(1);
    Vars& vars = window->vars();

    auto* dither = child<QCheckBox>("DitheringOnOff");
    QImage before = monoPreview();
    clickButton(dither);
    QVERIFY(!vars.DitherOn);
    QCOMPARE(monoPreview(), expectedNow());
    QVERIFY(monoPreview() != before);
    clickButton(dither);
    QVERIFY(vars.DitherOn);
    QCOMPARE(monoPreview(), before);

    for (const int index : {3, 1, 2, 0}) {
        before = monoPreview();
        auto* option = child<QRadioButton>(QByteArray("Which_Colour_Val_" + QByteArray::number(index)).constData());
        clickButton(option);
        QVERIFY(option->isChecked());
        QCOMPARE(vars.ColourChannel, static_cast<std::int16_t>(index + 1));
        QCOMPARE(monoPreview(), expectedNow());
        QVERIFY(monoPreview() != before);
    }
}

void MainFrmTest::patternAndToneRedraw()
{
    QVERIFY(gradientFrame().save(QDir(app).filePath(QStringLiteral("a.bmp"))));
    window = open();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    select(0);
    child<QTabWidget>("TabStrip")->setCurrentIndex(1);
    Vars& vars = window->vars();
    auto* pattern = child<QComboBox>("PatternChoice");
    auto* gamma = child<QDoubleSpinBox>("GammaSet");
    auto* exposure = child<QCheckBox>("AutoExposure");

    // The written reduction until something is chosen.
    QCOMPARE(pattern->currentText(), QStringLiteral("Checkerboard"));
    QCOMPARE(gamma->value(), 1.0);
    QVERIFY(!exposure->isChecked());
    QVERIFY(vars.Pictures.written());
    QCOMPARE(pattern->count(), static_cast<int>(PatternNames.size()));

    QList<QImage> seen{monoPreview()};
    for (int i = 1; i < pattern->count(); ++i) {
        pattern->setCurrentIndex(i);
        QCOMPARE(vars.Pictures.pattern, PatternNames[static_cast<std::size_t>(i)].pattern);
        QCOMPARE(monoPreview(), expectedNow());
        QVERIFY2(!seen.contains(monoPreview()), qPrintable(pattern->currentText()));
        seen.append(monoPreview());
    }

    pattern->setCurrentIndex(2);
    QImage before = monoPreview();
    gamma->setValue(1.8);
    QCOMPARE(vars.Pictures.gamma, 1.8);
    QCOMPARE(monoPreview(), expectedNow());
    QVERIFY(monoPreview() != before);

    before = monoPreview();
    clickButton(exposure);
    QVERIFY(vars.Pictures.autoExposure);
    QCOMPARE(monoPreview(), expectedNow());
    QVERIFY(monoPreview() != before);

    // The gamma and the exposure leave the sliders where the pattern put
    // them; the dither box still rules.
    QCOMPARE(vars.BlackThreshold, std::int16_t{0});
    QCOMPARE(vars.WhiteThreshold, std::int16_t{255});
    clickButton(child<QCheckBox>("DitheringOnOff"));
    QCOMPARE(monoPreview(), expectedNow());
}

void MainFrmTest::patternDefaultsMoveTheSlidersAndComeBack()
{
    const QImage frame = gradientFrame();
    QVERIFY(frame.save(QDir(app).filePath(QStringLiteral("a.bmp"))));
    window = open();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    select(0);
    child<QTabWidget>("TabStrip")->setCurrentIndex(1);
    const Vars& vars = window->vars();
    auto* pattern = child<QComboBox>("PatternChoice");
    auto* black = child<QSlider>("BrightnessThreshold_Set");
    auto* white = child<QSlider>("BrightnessThreshold2_Set");
    const auto thresholdsAre = [&](int b, int w) {
        return black->value() == b && white->value() == w && vars.BlackThreshold == b && vars.WhiteThreshold == w &&
               child<QLabel>("BrightnessThreshold_Value")->text() == QString::number(b) &&
               child<QLabel>("BrightnessThreshold2_Value")->text() == QString::number(w) && monoPreview() == expectedNow();
    };
    black->setValue(60);
    white->setValue(190);

    // A pattern draws every tone between its black and white point: it
    // starts from the full range.
    pattern->setCurrentIndex(1);
    QVERIFY(thresholdsAre(0, 255));
    // What the user sets for the patterns stays from one to the next.
    black->setValue(20);
    pattern->setCurrentIndex(pattern->count() - 1);
    QVERIFY(thresholdsAre(20, 255));
    // The checkerboard gets its own back; a pattern again starts afresh.
    pattern->setCurrentIndex(0);
    QVERIFY(thresholdsAre(60, 190));
    pattern->setCurrentIndex(2);
    QVERIFY(thresholdsAre(0, 255));

    // "Auto" with a pattern proposes a band that holds every tone of the
    // frame and follows it (this frame has neither black nor white).
    int darkest = 255;
    int lightest = 0;
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 96; ++x) {
            const QRgb c = frame.pixel(x, y);
            darkest = std::min(darkest, (qRed(c) + qGreen(c) + qBlue(c)) / 3);
            lightest = std::max(lightest, (qRed(c) + qGreen(c) + qBlue(c) + 2) / 3);
        }
    }
    QTest::mouseClick(child<QPushButton>("AutoBalance"), Qt::LeftButton);
    QVERIFY2(black->value() <= darkest && white->value() >= lightest,
             qPrintable(QStringLiteral("%1-%2 for tones %3-%4").arg(black->value()).arg(white->value()).arg(darkest).arg(lightest)));
    QVERIFY(black->value() > 0 || white->value() < 255);
    QVERIFY(thresholdsAre(black->value(), white->value()));
    pattern->setCurrentIndex(0);
    QVERIFY(thresholdsAre(60, 190));
}

void MainFrmTest::runCarriesHistoryAndPreviewStandsAlone()
{
    // A still picture twice, the second with a little noise.
    const QImage still = gradientFrame();
    QImage noisy = still;
    for (int y = 0; y < noisy.height(); ++y) {
        for (int x = 0; x < noisy.width(); ++x) {
            const int d = ((x * 7 + y * 13) % 5) - 2;
            const QRgb c = noisy.pixel(x, y);
            noisy.setPixel(x, y, qRgb(std::clamp(qRed(c) + d, 0, 255), std::clamp(qGreen(c) + d, 0, 255),
                                      std::clamp(qBlue(c) + d, 0, 255)));
        }
    }
    const QString source = folder(QStringLiteral("source"), {{QStringLiteral("a.bmp"), still},
                                                             {QStringLiteral("b.bmp"), noisy}});
    window = open();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    FolderPicker::setNextFolders({source});
    QTest::mouseClick(child<QPushButton>("Set_Vid_Folder"), Qt::LeftButton);
    child<QComboBox>("PatternChoice")->setCurrentIndex(5);  // Floyd-Steinberg
    QCOMPARE(window->vars().Pictures.pattern, Pattern::Diffusion);
    QVERIFY(window->vars().History == nullptr);

    QList<bool> withHistory;
    QList<QImage> reduced;
    window->onFrameSelection = [&](int) {
        withHistory.append(window->vars().History != nullptr);
        reduced.append(monoPreview());  // the frame before, as the run reduced it
    };
    child<QTabWidget>("TabStrip")->setCurrentIndex(2);
    QTest::mouseClick(child<QPushButton>("ConvertVideo"), Qt::LeftButton);
    window->onFrameSelection = nullptr;
    reduced.append(monoPreview());

    QCOMPARE(withHistory, (QList<bool>{true, true}));
    QCOMPARE(reduced.size(), 3);
    QCOMPARE(reduced[2], reduced[1]);  // the noise moved no pixel
    QVERIFY(window->vars().History == nullptr);

    // Clicked afterwards, the noisy frame is reduced on its own.
    select(0);
    select(1);
    QCOMPARE(monoPreview(), expectedNow());
    QVERIFY(monoPreview() != reduced[2]);
}

void MainFrmTest::autoBalance_data()
{
    QTest::addColumn<QImage>("frame");
    QTest::addColumn<int>("channelOption");
    QTest::addColumn<bool>("ditherBefore");
    QTest::addColumn<int>("black");
    QTest::addColumn<int>("white");

    QImage mixed = solid(96, 64, qRgb(127, 127, 127));
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 96; ++x) {
            mixed.setPixel(x, y, qRgb(126, 126, 126));
        }
    }
    QTest::newRow("white") << solid(96, 64, qRgb(255, 255, 255)) << 0 << true << 170 << 255;
    QTest::newRow("black, dither off before") << solid(96, 64, qRgb(0, 0, 0)) << 0 << false << 0 << 0;
    QTest::newRow("grey 128") << solid(96, 64, qRgb(128, 128, 128)) << 0 << true << 85 << 128;
    QTest::newRow("ties go to even") << mixed << 0 << true << 84 << 127;
    // Only the 96 x 64 calculator frame counts, whatever the channel is.
    QImage tall = solid(96, 65, qRgb(255, 255, 255));
    for (int x = 0; x < 96; ++x) {
        tall.setPixel(x, 64, qRgb(0, 0, 0));
    }
    QTest::newRow("red chosen, row 64 left out") << tall << 1 << false << 170 << 255;
}

void MainFrmTest::autoBalance()
{
    QFETCH(QImage, frame);
    QFETCH(int, channelOption);
    QFETCH(bool, ditherBefore);
    QFETCH(int, black);
    QFETCH(int, white);

    QVERIFY(frame.save(QDir(app).filePath(QStringLiteral("a.bmp"))));
    window = open();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    select(0);
    child<QTabWidget>("TabStrip")->setCurrentIndex(1);
    clickButton(child<QRadioButton>(QByteArray("Which_Colour_Val_" + QByteArray::number(channelOption)).constData()));
    child<QCheckBox>("DitheringOnOff")->setChecked(ditherBefore);

    QTest::mouseClick(child<QPushButton>("AutoBalance"), Qt::LeftButton);
    const Vars& vars = window->vars();
    QCOMPARE(child<QSlider>("BrightnessThreshold_Set")->value(), black);
    QCOMPARE(child<QSlider>("BrightnessThreshold2_Set")->value(), white);
    QCOMPARE(int{vars.BlackThreshold}, black);
    QCOMPARE(int{vars.WhiteThreshold}, white);
    QVERIFY(child<QCheckBox>("DitheringOnOff")->isChecked());
    QVERIFY(vars.DitherOn);
    QCOMPARE(int{vars.ColourChannel}, channelOption + 1);
    QCOMPARE(monoPreview(), expectedNow());
}

void MainFrmTest::frameListOrderAndFilter()
{
    const QImage frame = gradientFrame();
    const QString source = folder(QStringLiteral("source"), {{QStringLiteral("b.BMP"), frame},
                                                               {QStringLiteral("A.gif"), frame},
                                                               {QStringLiteral("c.jpeg"), frame},
                                                               {QStringLiteral("frame2.bmp"), frame},
                                                               {QStringLiteral("frame10.bmp"), frame},
                                                               {QStringLiteral("Z.JPG"), frame},
                                                               {QStringLiteral(".hidden.bmp"), frame}});
    QVERIFY(writeAll(QDir(source).filePath(QStringLiteral("notes.txt")), "x"));
    QVERIFY(writeAll(QDir(source).filePath(QStringLiteral("x.bmpx")), "x"));
    QVERIFY(writeAll(QDir(source).filePath(QStringLiteral(".bmp")), "x"));
    QVERIFY(QDir(source).mkdir(QStringLiteral("folder.bmp")));

    QVERIFY(solid(96, 64, qRgb(255, 0, 0)).save(QDir(app).filePath(QStringLiteral("first.bmp"))));
    window = open();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    select(0);
    const QImage picture = framePicture();
    const QImage preview = monoPreview();

    FolderPicker::setNextFolders({source});
    QTest::mouseClick(child<QPushButton>("Set_Vid_Folder"), Qt::LeftButton);
    QCOMPARE(FolderPicker::answeredTitles(), QStringList{QStringLiteral("Select animation source:")});
    QCOMPARE(window->vars().LastDir, source);
    QCOMPARE(child<QLabel>("PathLoc")->text(), QDir::toNativeSeparators(source));
#ifdef ZOETRA_VIDEO_IMPORT
    // The first frame, A.gif, is 1 x 1: used as it is, as asked.
    QCOMPARE(questions.size(), std::size_t{1});
    QVERIFY2(questions[0].text.contains(QStringLiteral("1 \u00D7 1 pixels")), qPrintable(questions[0].text));
#endif
    // frame10 plays before frame2: the headless converter's warning.
    QCOMPARE(messages.size(), std::size_t{1});
    QCOMPARE(messages[0].icon, MessageIcon::Warning);
    QVERIFY2(messages[0].text.startsWith(QStringLiteral("The frames play in name order, letter by letter, so "
                                                        "frame10.bmp plays before frame2.bmp.\n")),
             qPrintable(messages[0].text));
    QVERIFY(messages[0].text.contains(QStringLiteral("An import reads them in number order.")));
    messages.clear();

    auto* list = child<QListWidget>("File_List_Box");
    QStringList names;
    for (int i = 0; i < list->count(); ++i) {
        names.append(list->item(i)->text());
    }
    QCOMPARE(names, (QStringList{QStringLiteral("A.gif"), QStringLiteral("b.BMP"), QStringLiteral("c.jpeg"),
                                 QStringLiteral("frame10.bmp"), QStringLiteral("frame2.bmp"), QStringLiteral("Z.JPG")}));
    // Refilled with nothing selected; the pictures still show the frame of
    // the previous folder.
    QVERIFY(list->selectedItems().isEmpty());
    QCOMPARE(framePicture(), picture);
    QCOMPARE(monoPreview(), preview);

    // A folder without frames gives an empty list and nothing else.
    const QString empty = folder(QStringLiteral("empty"));
    FolderPicker::setNextFolders({empty});
    QTest::mouseClick(child<QPushButton>("Set_Vid_Folder"), Qt::LeftButton);
    QCOMPARE(list->count(), 0);
    QCOMPARE(window->vars().LastDir, empty);

    // A cancelled picker changes nothing.
    FolderPicker::setNextFolders({QString()});
    QTest::mouseClick(child<QPushButton>("Set_Vid_Folder"), Qt::LeftButton);
    QCOMPARE(window->vars().LastDir, empty);
    QVERIFY(messages.empty());
}

void MainFrmTest::frameSelectionLoadsAndConverts()
{
    // One frame larger than the picture area, one smaller.
    QImage large = gradientFrame();
    large = large.scaled(200, 100);
    const QString source = folder(QStringLiteral("source"), {{QStringLiteral("1-large.bmp"), large},
                                                               {QStringLiteral("2-small.bmp"), solid(40, 30, qRgb(0, 0, 255))},
                                                               {QStringLiteral("3-two.gif"), QImage()}});
    QVERIFY(writeAll(QDir(app).filePath(QStringLiteral("LastDir.cfg")), SavedFolders::format(source)));
    window = open();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));

    select(0);
    QCOMPARE(child<QListWidget>("File_List_Box")->currentRow(), 0);
    QCOMPARE(framePicture(), large.copy(0, 0, 96, 65));
    QCOMPARE(monoPreview(), expectedNow());

    select(1);
    QImage expected = solid(96, 65, qRgb(240, 240, 240));
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 40; ++x) {
            expected.setPixel(x, y, qRgb(0, 0, 255));
        }
    }
    QCOMPARE(framePicture(), expected);
    QCOMPARE(monoPreview(), expectedNow());

    // Of a GIF, its first image.
    QImageReader reader(twoImageGif());
    const QImage first = reader.read().convertToFormat(QImage::Format_RGB32);
    QVERIFY(!first.isNull());
    const QImage second = reader.read().convertToFormat(QImage::Format_RGB32);
    QVERIFY(!second.isNull() && second.pixel(0, 0) != first.pixel(0, 0));
    select(2);
    const QImage picture = framePicture();
    QCOMPARE(picture.copy(0, 0, first.width(), first.height()), first);
    QCOMPARE(monoPreview(), expectedNow());
    select(1);

    // The grid holds the reduction of the frame just selected.
    const Vars& vars = window->vars();
    const QImage mono = monoPreview();
    for (int y = 0; y < 65; ++y) {
        for (int x = 0; x < 96; ++x) {
            QCOMPARE(vars.PixelGrid[static_cast<std::size_t>(x)][static_cast<std::size_t>(y)] == 1,
                     mono.pixel(x, y) == qRgb(0, 0, 0));
        }
    }
}

void MainFrmTest::undecodableFramesKeepThePicture()
{
    const QString source = folder(QStringLiteral("source"), {{QStringLiteral("1-good.bmp"), gradientFrame()}});
    QVERIFY(writeAll(QDir(source).filePath(QStringLiteral("2-damaged.jpg")), "not a picture at all"));
    QVERIFY(QFile::copy(QStringLiteral(ZOETRA_SOURCE_DIR "/fuzz/frameloader/corpus/huge-header.bmp"),
                        QDir(source).filePath(QStringLiteral("3-huge.bmp"))));
    QVERIFY(writeAll(QDir(app).filePath(QStringLiteral("LastDir.cfg")), SavedFolders::format(source)));
    window = open();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));

    select(0);
    const QImage picture = framePicture();
    const QImage preview = monoPreview();
    for (const int row : {1, 2}) {
        select(row);
        QCOMPARE(child<QListWidget>("File_List_Box")->currentRow(), row);
        QCOMPARE(framePicture(), picture);
        QCOMPARE(monoPreview(), preview);
    }
    QVERIFY(messages.empty());
    QCOMPARE(programEnds, 0);
}

void MainFrmTest::runSelectionReloadsTheSelectedEntry()
{
    const QString source = folder(QStringLiteral("source"), {{QStringLiteral("a.bmp"), solid(96, 64, qRgb(255, 255, 255))},
                                                               {QStringLiteral("b.bmp"), solid(96, 64, qRgb(0, 0, 0))}});
    QVERIFY(writeAll(QDir(app).filePath(QStringLiteral("LastDir.cfg")), SavedFolders::format(source)));
    window = open();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    auto* list = child<QListWidget>("File_List_Box");
    int selections = 0;
    window->onFrameSelection = [&](int) { ++selections; };

    // Keyboard focus moves the current row but selects nothing: no frame
    // is loaded.
    list->setFocus(Qt::TabFocusReason);
    QCOMPARE(selections, 0);
    QCOMPARE(framePicture(), solid(96, 65, qRgb(240, 240, 240)));

    select(0);
    QCOMPARE(selections, 1);
    QCOMPARE(framePicture().pixel(0, 0), qRgb(255, 255, 255));

    // The file changes behind the selected entry; selecting that entry
    // again, as the run does, loads it again.
    QVERIFY(solid(96, 64, qRgb(10, 200, 10)).save(QDir(source).filePath(QStringLiteral("a.bmp"))));
    WindowLayer& layer = window->windowLayer();
    QCOMPARE(layer.selectFrameListEntry(0), FrameLoad::Loaded);
    QCOMPARE(selections, 2);
    QCOMPARE(framePicture().pixel(0, 0), qRgb(10, 200, 10));
    QCOMPARE(monoPreview(), expectedNow());

    // Another entry: selected in the list, loaded once.
    QCOMPARE(layer.selectFrameListEntry(1), FrameLoad::Loaded);
    QCOMPARE(selections, 3);
    QCOMPARE(list->currentRow(), 1);
    QCOMPARE(list->selectedItems().size(), 1);
    QCOMPARE(framePicture().pixel(0, 0), qRgb(0, 0, 0));

    // No such entry: refused, nothing loaded.
    QCOMPARE(layer.selectFrameListEntry(2), FrameLoad::NoEntry);
    QCOMPARE(layer.selectFrameListEntry(-1), FrameLoad::NoEntry);
    QCOMPARE(selections, 3);
    QCOMPARE(list->currentRow(), 1);
}

void MainFrmTest::folderFallbacks()
{
    QVERIFY(gradientFrame().save(QDir(app).filePath(QStringLiteral("app.bmp"))));
    const QString gone = folder(QStringLiteral("gone"));
    QVERIFY(writeAll(QDir(app).filePath(QStringLiteral("LastDir.cfg")), SavedFolders::format(gone)));
    QVERIFY(QDir(gone).removeRecursively());
    window = open();
    QCOMPARE(window->vars().LastDir, app);
    QCOMPARE(child<QLabel>("PathLoc")->text(), QDir::toNativeSeparators(app));
    QCOMPARE(child<QListWidget>("File_List_Box")->count(), 1);
    QCOMPARE(window->vars().OutDir, app);

    // A chosen folder that vanishes before it is listed.
    const QString source = folder(QStringLiteral("source"), {{QStringLiteral("x.bmp"), gradientFrame()}});
    window->vars().LastDir = QDir(source).filePath(QStringLiteral("missing"));
    window->RenderNewFolder();
    QCOMPARE(window->vars().LastDir, app);
    QCOMPARE(child<QListWidget>("File_List_Box")->item(0)->text(), QStringLiteral("app.bmp"));

    // On closing, the replaced folder is what is saved.
    window->close();
    QCOMPARE(readAll(QDir(app).filePath(QStringLiteral("LastDir.cfg"))), SavedFolders::format(app));
    QVERIFY(messages.empty());
}

void MainFrmTest::rootLevelIsRefused()
{
    window = open();
    const QString chosen = folder(QStringLiteral("Frames"));
    FolderPicker::setNextFolders({QDir::rootPath(), QStringLiteral("C:\\"), chosen});
    QTest::mouseClick(child<QPushButton>("Set_Vid_Folder"), Qt::LeftButton);
    QCOMPARE(FolderPicker::answeredTitles(), QStringList(3, QStringLiteral("Select animation source:")));
    QCOMPARE(messages.size(), std::size_t{2});
    for (const auto& message : messages) {
        QCOMPARE(message.text,
                 QStringLiteral("You cannot use the root level of a disk as an animation source or output folder!"));
        QCOMPARE(message.title, QStringLiteral("Error"));
        QCOMPARE(message.icon, MessageIcon::Error);
    }
    QCOMPARE(window->vars().LastDir, chosen);
    QVERIFY(!window->vars().LastDir.endsWith(QLatin1Char('/')));

    // A root, then a cancel: the folder stays.
    messages.clear();
    FolderPicker::setNextFolders({QDir::rootPath(), QString()});
    QTest::mouseClick(child<QPushButton>("Set_Out"), Qt::LeftButton);
    QCOMPARE(FolderPicker::answeredTitles().size(), 2);
    QCOMPARE(messages.size(), std::size_t{1});
    QCOMPARE(window->vars().OutDir, app);
}

void MainFrmTest::outputFolderChoice()
{
    QVERIFY(gradientFrame().save(QDir(app).filePath(QStringLiteral("a.bmp"))));
    window = open();
    const QString out = folder(QStringLiteral("out"));
    FolderPicker::setNextFolders({out});
    QTest::mouseClick(child<QPushButton>("Set_Out"), Qt::LeftButton);
    QCOMPARE(FolderPicker::answeredTitles(), QStringList{QStringLiteral("Select output folder:")});
    QCOMPARE(window->vars().OutDir, out);
    // Nothing visible changes.
    QCOMPARE(window->vars().LastDir, app);
    QCOMPARE(child<QLabel>("PathLoc")->text(), QDir::toNativeSeparators(app));
    QCOMPARE(child<QListWidget>("File_List_Box")->count(), 1);
    FolderPicker::setNextFolders({QString()});
    QTest::mouseClick(child<QPushButton>("Set_Out"), Qt::LeftButton);
    QCOMPARE(window->vars().OutDir, out);
}

void MainFrmTest::pickersOpenAtTheFolderInUse()
{
    window = open();
    const QString source = folder(QStringLiteral("frames"));
    const QString out = folder(QStringLiteral("out"));
    FolderPicker::setNextFolders({source, QString(), out, QString()});
    QTest::mouseClick(child<QPushButton>("Set_Vid_Folder"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>("Set_Vid_Folder"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>("Set_Out"), Qt::LeftButton);
    // An output folder that has gone: the picker starts at the top level.
    QVERIFY(QDir(out).removeRecursively());
    QTest::mouseClick(child<QPushButton>("Set_Out"), Qt::LeftButton);
    QCOMPARE(FolderPicker::answeredStartFolders(), (QStringList{app, source, app, QDir::rootPath()}));
}

void MainFrmTest::aCutOffPathShowsWholeAsToolTip()
{
    window = open();
    auto* path = child<QLabel>("PathLoc");
    QCOMPARE(path->toolTip(), QString());  // the short path fits
    const QString deep = folder(QStringLiteral("a folder with a rather long name/") + QString(60, QLatin1Char('x')) +
                                QStringLiteral("/and one more level of frames"));
    FolderPicker::setNextFolders({deep});
    QTest::mouseClick(child<QPushButton>("Set_Vid_Folder"), Qt::LeftButton);
    QCOMPARE(path->text(), QDir::toNativeSeparators(deep));
    QCOMPARE(path->toolTip(), QDir::toNativeSeparators(deep));
}

void MainFrmTest::savedFolderFiles()
{
    const QString source = folder(QStringLiteral("my frames, take 2"));
    const QString out = folder(QStringLiteral("out"));
    window = open();
    FolderPicker::setNextFolders({source, out});
    QTest::mouseClick(child<QPushButton>("Set_Vid_Folder"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>("Set_Out"), Qt::LeftButton);
    window->close();
    QCOMPARE(programEnds, 1);
    QCOMPARE(readAll(QDir(app).filePath(QStringLiteral("LastDir.cfg"))),
             "\"" + QDir::toNativeSeparators(source).toLocal8Bit() + "\"\r\n");
    QCOMPARE(readAll(QDir(app).filePath(QStringLiteral("OutDir.cfg"))),
             "\"" + QDir::toNativeSeparators(out).toLocal8Bit() + "\"\r\n");

    // The next start restores both.
    window = open();
    QCOMPARE(window->vars().LastDir, source);
    QCOMPARE(window->vars().OutDir, out);
    QCOMPARE(child<QLabel>("PathLoc")->text(), QDir::toNativeSeparators(source));
}

void MainFrmTest::savedFolderReadRules()
{
    const QString frames = folder(QStringLiteral("frames"), {{QStringLiteral("f.bmp"), gradientFrame()}});
    const QString out = folder(QStringLiteral("out"));
    const QString lastDir = QDir(app).filePath(QStringLiteral("LastDir.cfg"));
    const QString outDir = QDir(app).filePath(QStringLiteral("OutDir.cfg"));

    // Unquoted, written by hand: whole without a comma, cut at one.
    QVERIFY(writeAll(lastDir, "  " + QDir::toNativeSeparators(frames).toLocal8Bit() + "\r\n"));
    QVERIFY(writeAll(outDir, QDir::toNativeSeparators(out).toLocal8Bit() + ",ignored\r\n"));
    window = open();
    QCOMPARE(window->vars().LastDir, frames);
    QCOMPARE(window->vars().OutDir, out);
    QCOMPARE(child<QListWidget>("File_List_Box")->count(), 1);

    // A LastDir.cfg of zero bytes: the application folder; OutDir.cfg keeps
    // what it held, and start-up rewrites neither file.
    window.reset();
    QVERIFY(writeAll(lastDir, QByteArray()));
    window = open();
    QCOMPARE(window->vars().LastDir, app);
    QCOMPARE(window->vars().OutDir, out);
    QCOMPARE(readAll(lastDir), QByteArray());
    QCOMPARE(readAll(outDir), QDir::toNativeSeparators(out).toLocal8Bit() + ",ignored\r\n");

    // An empty OutDir.cfg and a LastDir.cfg that is a folder.
    window.reset();
    QVERIFY(QFile::remove(lastDir));
    QVERIFY(QDir(app).mkdir(QStringLiteral("LastDir.cfg")));
    QVERIFY(writeAll(outDir, "   \r\n"));
    window = open();
    QCOMPARE(window->vars().LastDir, app);
    QCOMPARE(window->vars().OutDir, app);
    QVERIFY(messages.empty());
}

void MainFrmTest::shutDownEndsEvenWhenFilesCannotBeWritten()
{
    window = open();
    // A folder where the file should be: it cannot be written.
    QVERIFY(QDir(app).mkdir(QStringLiteral("LastDir.cfg")));
    window->close();
    QCOMPARE(programEnds, 1);
    QCOMPARE(readAll(QDir(app).filePath(QStringLiteral("OutDir.cfg"))), SavedFolders::format(app));
    QVERIFY(messages.empty());
}

void MainFrmTest::refusedNameTouchesNothing()
{
    window = open();
    child<QLineEdit>("FName")->setText(QStringLiteral("LongerThan8"));
    QTest::mouseClick(child<QPushButton>("ConvertVideo"), Qt::LeftButton);
    QCOMPARE(messages.size(), std::size_t{1});
    QCOMPARE(messages.front().text, QStringLiteral("Error: Filename must be 8 or less characters!"));
    QCOMPARE(messages.front().title, QStringLiteral("Error"));
    QCOMPARE(messages.front().icon, MessageIcon::Error);
    QVERIFY(!QFile::exists(QDir(app).filePath(QStringLiteral("VarFile.var"))));
    QVERIFY(!child<QWidget>("ProgressCounters")->isVisibleTo(window.get()));
}

void MainFrmTest::conversionFromTheWindow()
{
    // Three frames of the bundled sample, and the build tools when the
    // build has them.
    const QDir bundled(QStringLiteral(ZOETRA_APP_DIR));
    const QString source = folder(QStringLiteral("source"));
    for (const char* name : {"sample00.bmp", "sample01.jpg", "sample02.bmp"}) {
        QVERIFY(QFile::copy(bundled.filePath(QLatin1String(name)), QDir(source).filePath(QLatin1String(name))));
    }
    bool tools = true;
    QStringList components{QStringLiteral("TASM" ZOETRA_EXE_SUFFIX), QStringLiteral("DEVPAC8X" ZOETRA_EXE_SUFFIX)};
    components += allPlayerParts();
    for (const QString& name : components) {
        if (bundled.exists(name)) {
            QVERIFY(QFile::copy(bundled.filePath(name), QDir(app).filePath(name)));
        } else {
            tools = false;
        }
    }
    // Too long a path for Label15.
    const QString out = folder(QStringLiteral("out/") + QString(90, QLatin1Char('o')));

    window = open();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QStringList opened;
    window->openFolder = [&](const QString& folder) { opened.append(folder); };
    FolderPicker::setNextFolders({source, out});
    QTest::mouseClick(child<QPushButton>("Set_Vid_Folder"), Qt::LeftButton);
    child<QTabWidget>("TabStrip")->setCurrentIndex(2);
    QTest::mouseClick(child<QPushButton>("Set_Out"), Qt::LeftButton);
    child<QComboBox>("ShellChoice")->setCurrentIndex(2);
    clickButton(child<QCheckBox>("SetLooping"));

    QList<int> selected;
    bool panelShown = false;
    window->onFrameSelection = [&](int row) {
        selected.append(row);
        panelShown = panelShown || child<QWidget>("ProgressCounters")->isVisible();
    };
    QTest::mouseClick(child<QPushButton>("ConvertVideo"), Qt::LeftButton);

    QCOMPARE(selected, (QList<int>{0, 1, 2}));
    QVERIFY(panelShown);
    QVERIFY(!child<QWidget>("ProgressCounters")->isVisible());
    QCOMPARE(child<QListWidget>("File_List_Box")->currentRow(), 2);
    QCOMPARE(child<FloatProgressBar>("TotalProgress")->maximum(), 2.0);
    QCOMPARE(child<FloatProgressBar>("TotalProgress")->value(), 2.0);
    const int size = window->vars().ByteCount;
    QCOMPARE(child<QLabel>("SizeCounter")->text(), QString::number(size) + QLatin1Char('b'));
    QCOMPARE(readAll(QDir(app).filePath(QStringLiteral("VarFile.var"))), QByteArray("\r\n#define NOSHELL\r\n"));
    QVERIFY(readAll(QDir(app).filePath(QStringLiteral("Video.dat"))).endsWith("\r\n.db  254\r\n"));

    QCOMPARE(messages.size(), std::size_t{1});
    const MessageBoxes::Message& report = messages.front();
    if (tools) {
        QCOMPARE(report.title, QStringLiteral("Zoetra2"));
        QCOMPARE(report.icon, MessageIcon::Information);
        QVERIFY2(report.text.startsWith(QStringLiteral("Successfully converted!\r\nSize of converted video data: ") +
                                        QString::number(size) + QStringLiteral("b.\r\nCompression vs Full Frames: ")),
                 qPrintable(report.text));
        QVERIFY(QFile::exists(QDir(out).filePath(QStringLiteral("video.8xp"))));
    } else {
        QCOMPARE(report.title, QStringLiteral("Error"));
        QCOMPARE(report.icon, MessageIcon::Error);
        QVERIFY2(report.text.startsWith(ConversionRun::NotBuiltMessage + QStringLiteral("\r\n")), qPrintable(report.text));
        QVERIFY2(report.text.contains(QStringLiteral("TASM")), qPrintable(report.text));
        QVERIFY(QDir(out).entryList(QDir::Files).isEmpty());
    }

    // Label15 names the delivered file, cut in the middle, whole in the tool
    // tip; the button opens its folder. Without a delivery both stay.
    auto* details = child<QLabel>("Label15");
    auto* openButton = child<QPushButton>("OpenFolder");
    QCOMPARE(openButton->text(), QStringLiteral("Open Folder"));
    if (report.icon != MessageIcon::Information) {
        QCOMPARE(details->text(), QStringLiteral("Conversion details will appear here!"));
        QVERIFY(!openButton->isEnabled());
        return;
    }
    const QString whole = QDir::toNativeSeparators(QDir(out).filePath(QStringLiteral("video.8xp")));
    QVERIFY2(details->text().contains(QChar(0x2026)), qPrintable(details->text()));
    QVERIFY(details->text().startsWith(whole.left(4)));
    QVERIFY(details->text().endsWith(QStringLiteral("video.8xp")));
    QVERIFY(details->fontMetrics().horizontalAdvance(details->text()) <= details->contentsRect().width());
    QCOMPARE(details->toolTip(), whole);
    QVERIFY(openButton->isEnabled());
    QTest::mouseClick(openButton, Qt::LeftButton);
    QCOMPARE(opened, QStringList{out});
}

void MainFrmTest::windowStaysLiveDuringARun()
{
    const QDir bundled(QStringLiteral(ZOETRA_APP_DIR));
    for (const QString& name : bundled.entryList({QStringLiteral("sample*")}, QDir::Files)) {
        QVERIFY(QFile::copy(bundled.filePath(name), QDir(app).filePath(name)));
    }
    window = open();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    child<QTabWidget>("TabStrip")->setCurrentIndex(2);

    auto* tabs = child<QTabWidget>("TabStrip");
    auto* convert = child<QPushButton>("ConvertVideo");
    auto* black = child<QSlider>("BrightnessThreshold_Set");
    bool checked = false;
    window->onFrameSelection = [&](int frame) {
        if (frame != 5 || checked) {
            return;
        }
        checked = true;
        // Everything is enabled, the tabs switch, the settings react, and a
        // second press is ignored.
        for (const ControlRow& row : controlRows) {
            QVERIFY2(child<QWidget>(row.name)->isEnabled(), row.name);
        }
        QVERIFY(window->conversion().inProgress());
        QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, {}, tabs->tabBar()->tabRect(1).center());
        QVERIFY(child<QFrame>("SettingsPage_1")->isVisible());
        black->setValue(30);
        QCOMPARE(window->vars().BlackThreshold, std::int16_t{30});
        convert->click();
    };
    QTest::mouseClick(convert, Qt::LeftButton);
    QVERIFY(checked);
    // One run, one closing message.
    QCOMPARE(messages.size(), std::size_t{1});
    QVERIFY(!window->conversion().inProgress());
}

// The box ticked: the run writes the compact stream and tells the player.
void MainFrmTest::compactVideoReachesTheRun()
{
    const QDir bundled(QStringLiteral(ZOETRA_APP_DIR));
    const QString source = folder(QStringLiteral("source"));
    for (const char* name : {"sample00.bmp", "sample01.jpg"}) {
        QVERIFY(QFile::copy(bundled.filePath(QLatin1String(name)), QDir(source).filePath(QLatin1String(name))));
    }
    window = open();
    FolderPicker::setNextFolders({source});
    QTest::mouseClick(child<QPushButton>("Set_Vid_Folder"), Qt::LeftButton);
    child<QTabWidget>("TabStrip")->setCurrentIndex(2);
    clickButton(child<QCheckBox>("CompactVideo"));
    QTest::mouseClick(child<QPushButton>("ConvertVideo"), Qt::LeftButton);

    QCOMPARE(readAll(QDir(app).filePath(QStringLiteral("VarFile.var"))),
             QByteArray("\r\n#define ION\r\n#define LOOPING\r\n#define COMPACT\r\n"));
    // Far less than the written key frame's 768 bytes and a frame end.
    const int size = window->vars().ByteCount;
    QVERIFY2(size > 0 && size < 400, qPrintable(QString::number(size)));
    QCOMPARE(child<QLabel>("SizeCounter")->text(), QString::number(size) + QLatin1Char('b'));
    const std::vector<std::uint8_t>& bytes = window->vars().VideoBytes;
    const auto video = compact::decodeCompactVideo(std::span(bytes.data(), static_cast<std::size_t>(size) + 1));
    QVERIFY(video.has_value());
    QCOMPARE(video->frames.size(), std::size_t{2});
}

// "Compact video" and the stream format on "Calculator" are one choice; the
// format chosen there is what the run makes.
void MainFrmTest::compactVideoMirrorsTheStreamFormat()
{
    window = open();
    auto* compactBox = child<QCheckBox>("CompactVideo");
    auto* format = child<QComboBox>("CalcFormat");
    QCOMPARE(format->currentText(), QStringLiteral("Written"));
    QVERIFY(!compactBox->isChecked());
    QCOMPARE(window->windowLayer().videoTarget(), VideoTarget{});

    clickButton(compactBox);
    QCOMPARE(format->currentText(), QStringLiteral("Compact"));
    QCOMPARE(window->windowLayer().videoTarget().format, StreamFormat::Compact);
    format->setCurrentIndex(format->findText(QStringLiteral("Written")));
    QVERIFY(!compactBox->isChecked());
    format->setCurrentIndex(format->findText(QStringLiteral("Compact")));
    QVERIFY(compactBox->isChecked());
    clickButton(compactBox);
    QCOMPARE(window->windowLayer().videoTarget().format, StreamFormat::Written);
    // The dense stream: "Compact video" unticked; ticking it chooses compact.
    QCOMPARE(format->count(), 3);
    format->setCurrentIndex(format->findText(QStringLiteral("Dense")));
    QCOMPARE(window->windowLayer().videoTarget().format, StreamFormat::Dense);
    QVERIFY(!compactBox->isChecked());
    // The limit line follows the format: the dense player takes more RAM.
    auto* limit = child<QLabel>("CalcLimit");
    VideoTarget dense;
    dense.format = StreamFormat::Dense;
    QCOMPARE(limit->text(), videoLimitText(dense));
    QVERIFY(limit->text() != QStringLiteral("The video data may take 24,000 bytes in RAM."));
    clickButton(compactBox);
    QCOMPARE(format->currentText(), QStringLiteral("Compact"));
    QCOMPARE(limit->text(), QStringLiteral("The video data may take 24,000 bytes in RAM."));
    clickButton(compactBox);

    // The model and the storage offer what the player is proven on.
    auto* model = child<QComboBox>("CalcModel");
    QCOMPARE(model->count(), 4);
    QCOMPARE(model->currentText(), QStringLiteral("TI-83 Plus"));
    QCOMPARE(model->itemText(2), QStringLiteral("TI-84 Plus"));
    auto* storage = child<QComboBox>("CalcStorage");
    QCOMPARE(storage->count(), 2);
    QCOMPARE(storage->currentData().toInt(), static_cast<int>(Storage::Ram));
    QVERIFY(child<QLabel>("CalcPace")->text().contains(QStringLiteral("14.75")));
}

// Each control of "Calculator" reaches the target, and the lines below them
// follow: archive or RAM from the box or the list, the free archive only
// for the archive and never past the model's empty archive, the rate.
void MainFrmTest::calculatorPageMakesTheTarget()
{
    window = open();
    const auto target = [this] { return window->windowLayer().videoTarget(); };
    auto* model = child<QComboBox>("CalcModel");
    auto* storage = child<QComboBox>("CalcStorage");
    auto* archive = child<QCheckBox>("CalcArchive");
    auto* freeArchive = child<QSpinBox>("CalcFreeArchive");
    auto* rate = child<QDoubleSpinBox>("CalcRate");
    auto* pace = child<QLabel>("CalcPace");
    auto* limit = child<QLabel>("CalcLimit");

    // As written: RAM at the written pace, the free archive not given.
    QVERIFY(!archive->isChecked());
    QCOMPARE(archive->text(), QStringLiteral("Store video in archive"));
    QVERIFY(!freeArchive->isEnabled());
    QCOMPARE(freeArchive->text(), QStringLiteral("empty archive"));
    QCOMPARE(rate->value(), 14.75);
    QCOMPARE(rate->minimum(), 0.5);
    QCOMPARE(rate->maximum(), 30.0);
    QCOMPARE(rate->decimals(), 2);
    QCOMPARE(target(), VideoTarget{});
    QCOMPARE(limit->text(), QStringLiteral("The video data may take 24,000 bytes in RAM."));
    QCOMPARE(pace->text(), QStringLiteral("Plays at 14.75 frames a second: a frame every 8 timer ticks."));
    QVERIFY(child<QLabel>("CalcDelivered")->text().isEmpty());

    // A free archive typed while the video is in RAM says nothing yet.
    freeArchive->setValue(100000);
    QCOMPARE(target(), VideoTarget{});

    clickButton(archive);
    QCOMPARE(target().storage, Storage::Archive);
    QCOMPARE(storage->currentData().toInt(), static_cast<int>(Storage::Archive));
    QVERIFY(freeArchive->isEnabled());
    QCOMPARE(target().freeArchiveBytes, std::optional<std::int64_t>(100000));
    QCOMPARE(limit->text(), QStringLiteral("100,000 bytes of free archive hold 98,111 bytes of video data."));
    freeArchive->setValue(freeArchive->minimum());
    QCOMPARE(target().freeArchiveBytes, std::nullopt);
    QCOMPARE(limit->text(), QStringLiteral("The model's empty archive holds 163,519 bytes of video data."));

    // Another model: its archive, its timer.
    model->setCurrentIndex(model->findText(QStringLiteral("TI-84 Plus")));
    QCOMPARE(target().model, CalculatorModel::Ti84Plus);
    QCOMPARE(limit->text(), QStringLiteral("The model's empty archive holds 490,559 bytes of video data."));
    QCOMPARE(pace->text(), QStringLiteral("Plays at 14.75 frames a second: a frame every 7.308 timer ticks."));
    // The sound, off until ticked, on a model with crystal timers; the
    // TI-83 Plus has none: the box is off for it and says why.
    auto* sound = child<QCheckBox>("CalcSound");
    QVERIFY(sound->isEnabled());
    QVERIFY(!target().sound);
    clickButton(sound);
    QVERIFY(target().sound);
    QCOMPARE(limit->text(), QStringLiteral("The model's empty archive holds 490,559 bytes of video data and sound."));
    model->setCurrentIndex(model->findText(QStringLiteral("TI-83 Plus")));
    QVERIFY(!sound->isEnabled());
    QVERIFY(!target().sound);
    QVERIFY(sound->toolTip().contains(QStringLiteral("no crystal timers")));
    model->setCurrentIndex(model->findText(QStringLiteral("TI-84 Plus")));
    QVERIFY(target().sound);
    clickButton(sound);
    QVERIFY(!target().sound);
    // More than the TI-83 Plus's archive holds, taken down to it with the
    // model.
    freeArchive->setValue(400000);
    QCOMPARE(target().freeArchiveBytes, std::optional<std::int64_t>(400000));
    model->setCurrentIndex(model->findText(QStringLiteral("TI-83 Plus")));
    QCOMPARE(target().freeArchiveBytes, std::optional<std::int64_t>(163840));
    QCOMPARE(limit->text(), QStringLiteral("163,840 bytes of free archive hold 163,519 bytes of video data."));

    // The rate the user sets.
    rate->setValue(10.0);
    QCOMPARE(target().framesPerSecond, 10.0);
    QCOMPARE(pace->text(), QStringLiteral("Plays at 10 frames a second: a frame every 11.8 timer ticks."));

    // RAM from the list unticks the box and leaves the free archive out.
    storage->setCurrentIndex(storage->findData(static_cast<int>(Storage::Ram)));
    QVERIFY(!archive->isChecked());
    QVERIFY(!freeArchive->isEnabled());
    QCOMPARE(target().storage, Storage::Ram);
    QCOMPARE(target().freeArchiveBytes, std::nullopt);
    QCOMPARE(limit->text(), QStringLiteral("The video data may take 24,000 bytes in RAM."));
    storage->setCurrentIndex(storage->findData(static_cast<int>(Storage::Archive)));
    QVERIFY(archive->isChecked());
    clickButton(archive);
    QCOMPARE(target().storage, Storage::Ram);
}

// The rate shown is that of the frames in use: kept beside them by an
// import, else the written pace; at start-up, on a folder chosen, and the
// user's own until the next folder.
void MainFrmTest::frameRateFollowsTheFolder()
{
    const QList<QPair<QString, QImage>> frames{{QStringLiteral("f1.bmp"), gradientFrame()}};
    QVERIFY(gradientFrame().save(QDir(app).filePath(QStringLiteral("a.bmp"))));
    QVERIFY(writeAll(QDir(app).filePath(QStringLiteral("Frame rate.txt")), "20\n"));
    const QString imported = folder(QStringLiteral("imported"), frames);
    QVERIFY(writeAll(QDir(imported).filePath(QStringLiteral("Frame rate.txt")), "8.5\n"));
    const QString plain = folder(QStringLiteral("plain"), frames);
    // A rate no video plays at is no rate.
    const QString tooFast = folder(QStringLiteral("too fast"), frames);
    QVERIFY(writeAll(QDir(tooFast).filePath(QStringLiteral("Frame rate.txt")), "60\n"));

    window = open();
    auto* rate = child<QDoubleSpinBox>("CalcRate");
    const auto played = [this] { return window->windowLayer().videoTarget().framesPerSecond; };
    QCOMPARE(rate->value(), 20.0);
    QCOMPARE(played(), 20.0);
    QVERIFY(child<QLabel>("CalcPace")->text().startsWith(QStringLiteral("Plays at 20 frames a second")));

    FolderPicker::setNextFolders({imported, plain, tooFast, imported});
    QTest::mouseClick(child<QPushButton>("Set_Vid_Folder"), Qt::LeftButton);
    QCOMPARE(played(), 8.5);
    rate->setValue(12.0);
    QCOMPARE(played(), 12.0);
    QTest::mouseClick(child<QPushButton>("Set_Vid_Folder"), Qt::LeftButton);
    QCOMPARE(played(), 14.75);
    QTest::mouseClick(child<QPushButton>("Set_Vid_Folder"), Qt::LeftButton);
    QCOMPARE(played(), 14.75);
    QTest::mouseClick(child<QPushButton>("Set_Vid_Folder"), Qt::LeftButton);
    QCOMPARE(played(), 8.5);
    QVERIFY(messages.empty());
}

// The box ticked: the run delivers the program, its AppVars and the file to
// send them with, and "Calculator" names them.
void MainFrmTest::archiveVideoFromTheWindow()
{
    const QDir bundled(QStringLiteral(ZOETRA_APP_DIR));
    QStringList components{QStringLiteral("TASM" ZOETRA_EXE_SUFFIX), QStringLiteral("DEVPAC8X" ZOETRA_EXE_SUFFIX)};
    components += allPlayerParts();
    for (const QString& name : components) {
        if (!bundled.exists(name)) {
            QSKIP("The build tools or the player are not in this build.");
        }
        QVERIFY(QFile::copy(bundled.filePath(name), QDir(app).filePath(name)));
    }
    const QString source = folder(QStringLiteral("source"));
    for (const char* name : {"sample00.bmp", "sample01.jpg"}) {
        QVERIFY(QFile::copy(bundled.filePath(QLatin1String(name)), QDir(source).filePath(QLatin1String(name))));
    }
    const QString out = folder(QStringLiteral("out"));
    window = open();
    FolderPicker::setNextFolders({source, out});
    QTest::mouseClick(child<QPushButton>("Set_Vid_Folder"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>("Set_Out"), Qt::LeftButton);
    clickButton(child<QCheckBox>("CalcArchive"));
    QTest::mouseClick(child<QPushButton>("ConvertVideo"), Qt::LeftButton);

    QCOMPARE(messages.size(), std::size_t{1});
    QCOMPARE(messages.front().icon, MessageIcon::Information);
    QCOMPARE(QDir(out).entryList(QDir::Files, QDir::Name),
             (QStringList{QStringLiteral("video.8xg"), QStringLiteral("video.8xp"), QStringLiteral("video00.8xv")}));
    auto* delivered = child<QLabel>("CalcDelivered");
    QCOMPARE(delivered->text(), QStringLiteral("Delivered: video.8xp, video00.8xv, video.8xg"));
    QCOMPARE(delivered->toolTip(), QDir::toNativeSeparators(out));

    // A name too long for the AppVars is refused; the files stay.
    child<QLineEdit>("FName")->setText(QStringLiteral("Video12"));
    QTest::mouseClick(child<QPushButton>("ConvertVideo"), Qt::LeftButton);
    QCOMPARE(messages.size(), std::size_t{2});
    QCOMPARE(messages.back().text, ConversionRun::ArchiveNameMessage);
    QCOMPARE(delivered->text(), QStringLiteral("Delivered: video.8xp, video00.8xv, video.8xg"));
}

// The new controls of "Calculator" lie on the page, none over another, and
// the lines keep their longest texts whole.
void MainFrmTest::calculatorPageLinesFitTheirPlaces()
{
    window = open();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    child<QTabWidget>("TabStrip")->setCurrentIndex(3);
    auto* page = child<QFrame>("SettingsPage_3");
    QVERIFY(page->isVisible());

    // The longest lines: the largest archive given, the slowest pace.
    child<QComboBox>("CalcModel")->setCurrentIndex(3);
    clickButton(child<QCheckBox>("CalcArchive"));
    child<QSpinBox>("CalcFreeArchive")->setValue(1234567);
    child<QDoubleSpinBox>("CalcRate")->setValue(0.5);
    for (const char* name : {"CalcLimit", "CalcPace"}) {
        auto* line = child<QLabel>(name);
        QVERIFY2(line->fontMetrics().horizontalAdvance(line->text()) <= line->contentsRect().width(),
                 qPrintable(line->text()));
    }
    // Two lines hold the delivery of the most AppVars.
    QStringList paths{QStringLiteral("/out/videos.8xp")};
    for (int i = 0; i < 100; ++i) {
        paths.append(QStringLiteral("/out/videos%1.8xv").arg(i, 2, 10, QLatin1Char('0')));
    }
    paths += {QStringLiteral("/out/videos.8xg"), QStringLiteral("/out/videos-26.8xg")};
    qobject_cast<CalculatorPage*>(page)->showDelivered(paths);
    auto* delivered = child<QLabel>("CalcDelivered");
    QVERIFY(delivered->text().contains(QStringLiteral("videos99.8xv")));
    QVERIFY2(delivered->heightForWidth(delivered->width()) <= delivered->height(), qPrintable(delivered->text()));

    // Each control, and of a one-line label the part its text takes, apart
    // from every other and inside the page.
    QList<QPair<QString, QRect>> taken;
    for (QWidget* control : page->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        QRect place = control->geometry();
        if (const auto* text = qobject_cast<QLabel*>(control); text != nullptr && !text->wordWrap()) {
            place.setWidth(std::min(place.width(), text->fontMetrics().horizontalAdvance(text->text())));
        }
        // Check boxes and lists show their longest captions whole.
        if (control->inherits("QCheckBox") || control->inherits("QComboBox")) {
            QVERIFY2(control->sizeHint().width() <= place.width(),
                     qPrintable(control->objectName() + QLatin1Char(' ') + QString::number(control->sizeHint().width())));
        }
        QVERIFY2(QRect(QPoint(0, 0), page->size()).contains(control->geometry()), qPrintable(control->objectName()));
        for (const auto& [other, otherPlace] : taken) {
            // The progress of a talk with a calculator takes the limit's
            // line while it runs, as the conversion's panel covers Label15.
            const QStringList pair{other, control->objectName()};
            const bool progressOverLimit =
                pair.contains(QStringLiteral("CalcLimit")) && pair.contains(QStringLiteral("CalcSendProgress"));
            QVERIFY2(progressOverLimit || !otherPlace.intersects(place),
                     qPrintable(other + QLatin1Char(' ') + control->objectName()));
        }
        taken.append({control->objectName(), place});
    }
    QVERIFY(taken.size() >= 15);
}

// Each value beside its slider, where no other control lies, following the
// slider.
void MainFrmTest::sliderValuesShownInFreeSpace()
{
    window = open();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    const struct {
        const char* slider;
        const char* value;
        int page;
        int set;
    } rows[] = {{"BrightnessThreshold_Set", "BrightnessThreshold_Value", 1, 255},
                {"BrightnessThreshold2_Set", "BrightnessThreshold2_Value", 1, 7},
                {"DetailSlider", "DetailSlider_Value", 2, -10}};
    for (const auto& row : rows) {
        auto* slider = child<QSlider>(row.slider);
        auto* value = child<QLabel>(row.value);
        QCOMPARE(value->text(), QString::number(slider->value()));
        slider->setValue(row.set);
        QCOMPARE(value->text(), QString::number(row.set));
        child<QTabWidget>("TabStrip")->setCurrentIndex(row.page);
        QVERIFY(value->isVisible());
        QVERIFY2(value->fontMetrics().horizontalAdvance(value->text()) <= value->contentsRect().width(), row.value);
        QVERIFY(QRect(QPoint(0, 0), value->parentWidget()->size()).contains(value->geometry()));
        const int gap = value->geometry().center().y() - slider->geometry().center().y();
        QVERIFY2(std::abs(gap) <= 4, row.value);
        // Free space: it covers no written control of its page, and of a
        // one-line label only the part its text takes.
        for (const ControlRow& control : controlRows) {
            if (QLatin1String(control.parent) != value->parentWidget()->objectName()) {
                continue;
            }
            QRect taken = control.place;
            const auto* text = child<QWidget>(control.name)->inherits("QLabel") ? child<QLabel>(control.name) : nullptr;
            if (text != nullptr && !text->wordWrap()) {
                taken.setWidth(std::min(taken.width(), text->fontMetrics().horizontalAdvance(text->text())));
            }
            QVERIFY2(!taken.intersects(value->geometry()), control.name);
        }
    }
}

QTEST_MAIN(MainFrmTest)
#include "MainFrmTest.moc"
