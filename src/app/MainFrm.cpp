#include "app/MainFrm.h"

#include "app/AppFonts.h"
#include "app/CalculatorPage.h"
#include "app/FitCounter.h"
#include "app/Placement.h"
#ifdef ZOETRA_HAVE_CALC
#include "app/PreviewWindow.h"
#endif
#include "app/QtWindowLayer.h"
#include "app/SavedFolders.h"
#include "convert/ConversionRun.h"
#include "imaging/AutoBalance.h"
#include "imaging/Conversion.h"
#include "imaging/FrameFolder.h"
#include "imaging/FrameSelection.h"
#include "platform/FileSystem.h"
#include "platform/WindowLayer.h"
#include "platform/Platform.h"
#include "platform/QtBuildLauncher.h"
#include "platform/QtFileSystem.h"
#include "platform/QtPictureLoader.h"
#include "platform/UniformRandom.h"
#include "platform/widgets/FloatProgressBar.h"
#include "platform/widgets/FolderPicker.h"
#include "platform/widgets/MessageBoxes.h"
#include "platform/widgets/WidgetPictureArea.h"
#include "program/ArchiveVideo.h"
#include "shared/Messages.h"

#ifdef ZOETRA_VIDEO_IMPORT
#include "app/VideoImportDialog.h"
#include "convert/WhatFits.h"
#include "media/FrameStream.h"
#include "media/SoundImport.h"
#include "media/VideoImport.h"
#endif

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QMimeData>
#include <QRadioButton>
#include <QShortcut>
#include <QSlider>
#include <QTabBar>
#include <QTabWidget>
#include <QUrl>

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace zoetra {

const QString MainFrm::ImportRunningMessage =
    QStringLiteral("An import is running. Let it finish, or cancel it, before the next one.");

namespace {

// A label with a single-line border that lies around a picture area.
QLabel* pictureFrame(QWidget* parent, const char* name, int x, int y)
{
    auto* widget = place<QLabel>(parent, name, x, y, 113, 81);
    widget->setFrameStyle(QFrame::Box | QFrame::Plain);
    widget->setLineWidth(1);
    return widget;
}

// A frame without caption.
QGroupBox* frame(QWidget* parent, const char* name, int x, int y, int width, int height)
{
    auto* widget = place<QGroupBox>(parent, name, x, y, width, height);
    widget->setFlat(false);
    return widget;
}

QSlider* slider(QWidget* parent, const char* name, int x, int y, int width, int low, int high, int value)
{
    auto* widget = place<QSlider>(parent, name, x, y, width, 17, Qt::Horizontal);
    widget->setRange(low, high);
    widget->setSingleStep(1);
    widget->setPageStep(5);
    widget->setTickPosition(QSlider::NoTicks);
    widget->setValue(value);
    return widget;
}

QCheckBox* checkBox(QWidget* parent, const char* name, int x, int y, int width, int height, const QString& text)
{
    auto* widget = place<QCheckBox>(parent, name, x, y, width, height, text);
    widget->setChecked(true);
    return widget;
}

}  // namespace

MainFrm::MainFrm(const QString& appDir, QWidget* parent) : MainFrm(AppFolders::portable(appDir), parent) {}

MainFrm::MainFrm(const AppFolders& folders, QWidget* parent)
    : QWidget(parent), folders_(folders), appDir_(folders.workDir)
{
    openFolder = [](const QString& folder) { QDesktopServices::openUrl(QUrl::fromLocalFile(folder)); };
    endProgram = [] {
        // Leaves the program without returning into a conversion run that
        // may be in progress below this event.
        std::fflush(nullptr);
        std::_Exit(0);
    };

    files_ = std::make_unique<QtFileSystem>();
    pictures_ = std::make_unique<QtPictureLoader>();
    builds_ = std::make_unique<QtBuildLauncher>(folders_.toolsDir);
    random_ = std::make_unique<UniformRandom>();

    buildWindow();

    window_ = std::make_unique<QtWindowLayer>(*this);
    platform_ = std::make_unique<Platform>(Platform{*window_, *files_, *pictures_, *builds_, *random_, appDir_});
    conversion_ = std::make_unique<ConversionRun>(vars_, *platform_);
    conversion_->buildOptions.playerDir = folders_.playerDir;
#ifdef ZOETRA_VIDEO_IMPORT
    conversion_->soundSource = [this](QString& why) {
        return media::folderSoundSamples(vars_.LastDir, sound::InputRate, why);
    };
#endif
    fits_ = new FitCounter(this);

    connectEvents();
    startUp();
}

MainFrm::~MainFrm() = default;

WindowLayer& MainFrm::windowLayer()
{
    return *window_;
}

void MainFrm::buildWindow()
{
    setObjectName(QStringLiteral("MainFrm"));
    setWindowTitle(QStringLiteral("Zoetra Convertor v2 - by the Zoetra team, 2026"));
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/film16.xpm"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/icons/film32.xpm"), QSize(32, 32));
    setWindowIcon(icon);
    setFont(AppFonts::windowFont());
    // Every control keeps its place: the client area does not change size.
    setFixedSize(609, 297);

    TabStrip = place<QTabWidget>(this, "TabStrip", 8, 8, 593, 281);
    const struct {
        const char* caption;
        const char* toolTip;
    } tabs[] = {
        {"Select video source", "Use this to set the directory of your animation"},
        {"Graphics settings", "Use this to adjust the brightness and contast of your image"},
        {"Create Video", "Looping, shell, name..."},
        {"Calculator", "The calculator model, where the video data is kept and its format"},
    };
    for (const auto& tab : tabs) {
        // The pages lie above the strip, not in it; its own pages stay empty.
        const int index = TabStrip->addTab(new QWidget, QString::fromLatin1(tab.caption));
        TabStrip->setTabToolTip(index, QString::fromLatin1(tab.toolTip));
    }
    TabStrip->setCurrentIndex(0);

    for (std::size_t i = 0; i + 1 < SettingsPage.size(); ++i) {
        const QByteArray name = "SettingsPage_" + QByteArray::number(static_cast<int>(i));
        SettingsPage[i] = place<QFrame>(this, name.constData(), 16, 32, 425, 249);
        SettingsPage[i]->setFrameStyle(QFrame::NoFrame);
    }
    Calculator = new CalculatorPage(this);
    Calculator->setGeometry(16, 32, 425, 249);
    SettingsPage[3] = Calculator;
    buildSourcePage(SettingsPage[0]);
    buildSettingsPage(SettingsPage[1]);
    buildCreatePage(SettingsPage[2]);

    buildPreviewPanel();

    WaitBox = place<QListWidget>(this, "WaitBox", 16, 264, 9, 19);
    WaitBox->hide();
}

void MainFrm::buildPreviewPanel()
{
    CaptionFrame = frame(this, "CaptionFrame", 448, 32, 129, 249);
    Label1 = pictureFrame(CaptionFrame, "Label1", 8, 16);
    File_List_Preview = place<WidgetPictureArea>(CaptionFrame, "File_List_Preview", 16, 24, 96, 65);
    Label2 = pictureFrame(CaptionFrame, "Label2", 8, 104);
    Quick_Prev = place<WidgetPictureArea>(CaptionFrame, "Quick_Prev", 16, 112, 96, 65);
    Label3 = label(CaptionFrame, "Label3", 8, 200, 113, 41, QStringLiteral("Zoetra Convertor v2"), true);
    Label3->setFont(AppFonts::titleFont());
}

void MainFrm::buildSourcePage(QFrame* page)
{
#ifdef ZOETRA_VIDEO_IMPORT
    // The path label gives up room for the import button beside the folder
    // button.
    PathLoc = label(page, "PathLoc", 8, 16, 273, 25, QString());
    Import_Video = place<QPushButton>(page, "Import_Video", 288, 16, 89, 25, QStringLiteral("Import Video..."));
    Import_Video->setToolTip(QStringLiteral("Import a video, an animated picture or pictures of any size (Ctrl+I)"));
#else
    PathLoc = label(page, "PathLoc", 8, 16, 369, 25, QString());
#endif
    Set_Vid_Folder = place<QPushButton>(page, "Set_Vid_Folder", 384, 16, 33, 25);
    Set_Vid_Folder->setIcon(QIcon(QStringLiteral(":/icons/folder16.xpm")));
    Set_Vid_Folder->setIconSize(QSize(16, 16));
    File_List_Box = place<QListWidget>(page, "File_List_Box", 8, 48, 409, 188);
    File_List_Box->setSelectionMode(QAbstractItemView::SingleSelection);
}

void MainFrm::buildSettingsPage(QFrame* page)
{
    label(page, "Label6", 32, 32, 361, 57,
          QStringLiteral("Adjust the sliders until you get a satisfactory image in the box on the bottom. "
                         "Alternatively, click the 'Auto' button to make a good guess at a decent setting. "
                         "Try a different colour mode as well, with the buttons at the bottom."),
          true);
    label(page, "Label4", 32, 104, 137, 17, QStringLiteral("Black Range"));
    BrightnessThreshold_Set = slider(page, "BrightnessThreshold_Set", 96, 104, 297, 0, 255, 85);
    label(page, "Label5", 32, 120, 137, 17, QStringLiteral("White Range"));
    BrightnessThreshold2_Set = slider(page, "BrightnessThreshold2_Set", 96, 120, 297, 0, 255, 170);
    // The values, in the room right of the sliders.
    BrightnessThreshold_Value = label(page, "BrightnessThreshold_Value", 396, 104, 25, 17, QString());
    BrightnessThreshold2_Value = label(page, "BrightnessThreshold2_Value", 396, 120, 25, 17, QString());
    DitheringOnOff = checkBox(page, "DitheringOnOff", 31, 136, 81, 17, QStringLiteral("Dither"));
    AutoBalance = place<QPushButton>(page, "AutoBalance", 352, 144, 41, 25, QStringLiteral("Auto"));

    // The pattern and the tone, in the free rows between the dither box and
    // the channels.
    AutoExposure = checkBox(page, "AutoExposure", 120, 136, 121, 17, QStringLiteral("Auto exposure"));
    AutoExposure->setChecked(false);
    AutoExposure->setToolTip(QStringLiteral("Move both ranges with the brightness of each scene while converting"));
    label(page, "PatternLabel", 32, 170, 49, 17, QStringLiteral("Pattern"));
    PatternChoice = place<QComboBox>(page, "PatternChoice", 88, 166, 129, 21);
    PatternChoice->setEditable(false);
    for (const PatternName& name : PatternNames) {
        PatternChoice->addItem(QString::fromUtf8(name.caption), static_cast<int>(name.pattern));
    }
    PatternChoice->setToolTip(QStringLiteral("How the greys between the two ranges are drawn when Dither is on"));
    label(page, "GammaLabel", 232, 170, 49, 17, QStringLiteral("Gamma"));
    GammaSet = place<QDoubleSpinBox>(page, "GammaSet", 280, 166, 65, 21);
    GammaSet->setRange(PictureSettings::MinGamma, PictureSettings::MaxGamma);
    GammaSet->setSingleStep(0.05);
    GammaSet->setDecimals(2);
    GammaSet->setValue(1.0);
    GammaSet->setToolTip(QStringLiteral("Above 1 lightens the middle tones, below 1 darkens them"));

    const struct {
        const char* caption;
        int x;
        int width;
    } channels[] = {{"All", 32, 81}, {"Red", 120, 89}, {"Green", 216, 89}, {"Blue", 312, 81}};
    colourGroup_ = new QButtonGroup(this);
    for (std::size_t i = 0; i < Which_Colour_Val.size(); ++i) {
        const QByteArray name = "Which_Colour_Val_" + QByteArray::number(static_cast<int>(i));
        Which_Colour_Val[i] = place<QRadioButton>(page, name.constData(), channels[i].x, 200, channels[i].width, 25,
                                                  QString::fromLatin1(channels[i].caption));
        colourGroup_->addButton(Which_Colour_Val[i], static_cast<int>(i));
    }
    Which_Colour_Val[0]->setChecked(true);
}

void MainFrm::buildCreatePage(QFrame* page)
{
    label(page, "Label12", 8, 16, 153, 81,
          QStringLiteral("Enter the details for your video in the boxes on the right hand side, then hit the "
                         "Convert Video button. The conversion can take a while... so get ready for a wait!"),
          true);
    // Twice the video in the same memory, for a decoder in the player.
    CompactVideo = checkBox(page, "CompactVideo", 8, 104, 153, 17, QStringLiteral("Compact video"));
    CompactVideo->setChecked(false);
    label(page, "Label14", 224, 16, 81, 17, QStringLiteral("Quality"));
    DetailSlider = slider(page, "DetailSlider", 304, 16, 105, -10, 0, 0);
    DetailSlider->setTickPosition(QSlider::TicksBelow);
    DetailSlider->setTickInterval(1);
    // Between the caption and the slider.
    DetailSlider_Value = label(page, "DetailSlider_Value", 272, 16, 28, 17, QString());
    DetailSlider_Value->setAlignment(Qt::AlignRight | Qt::AlignTop);
    SetLooping = checkBox(page, "SetLooping", 224, 40, 185, 13, QStringLiteral("Looping Video"));
    label(page, "Label7", 224, 61, 81, 17, QStringLiteral("Shell"));
    ShellChoice = place<QComboBox>(page, "ShellChoice", 304, 56, 105, 21);
    ShellChoice->setEditable(false);
    ShellChoice->addItems({QStringLiteral("Ion"), QStringLiteral("MirageOS"), QStringLiteral("No Shell")});
    label(page, "Label11", 224, 80, 81, 25, QStringLiteral("Description"));
    Description = place<QLineEdit>(page, "Description", 304, 80, 105, 19, QStringLiteral("My First Video"));
    label(page, "Label13", 224, 104, 81, 25, QStringLiteral("File Name"));
    FName = place<QLineEdit>(page, "FName", 304, 104, 105, 19, QStringLiteral("Video"));
    Set_Out = place<QPushButton>(page, "Set_Out", 8, 128, 185, 25, QStringLiteral("Set Output Folder"));
    ConvertVideo = place<QPushButton>(page, "ConvertVideo", 216, 128, 201, 25, QStringLiteral("Convert Video!"));
    // Where the program goes, in the free row above Label15; the progress
    // panel covers it during a run.
    OutputFolder = label(page, "OutputFolder", 8, 164, 409, 17, QString());
    Label15 = label(page, "Label15", 32, 192, 369, 17, QStringLiteral("Conversion details will appear here!"));
    // Below Label15, beside the preview button; usable once a program has
    // been delivered.
    OpenFolder = place<QPushButton>(page, "OpenFolder", 8, 216, 201, 25, QStringLiteral("Open Folder"));
    OpenFolder->setEnabled(false);
#ifdef ZOETRA_HAVE_CALC
    // Below Label15, under the progress panel while that is shown; usable
    // once this program run has delivered a program.
    PreviewOnCalc = place<QPushButton>(page, "PreviewOnCalc", 216, 216, 201, 25, QStringLiteral("Preview on Calculator"));
    PreviewOnCalc->setEnabled(false);
#endif

    // The progress panel covers Label15 while it is shown.
    ProgressCounters = frame(page, "ProgressCounters", 8, 152, 409, 89);
    ProgressCounters->setAutoFillBackground(true);
    label(ProgressCounters, "Label8", 8, 16, 97, 17, QStringLiteral("Frames progress"));
    TotalProgress = place<FloatProgressBar>(ProgressCounters, "TotalProgress", 104, 16, 225, 17);
    label(ProgressCounters, "Label9", 8, 40, 97, 17, QStringLiteral("Writing data"));
    ByteWriter = place<FloatProgressBar>(ProgressCounters, "ByteWriter", 104, 40, 225, 17);
    label(ProgressCounters, "Label10", 8, 64, 97, 17, QStringLiteral("Compression"));
    CompressionVal = place<FloatProgressBar>(ProgressCounters, "CompressionVal", 104, 64, 225, 17);
    auto* sizeFrame = place<QGroupBox>(ProgressCounters, "Frame1", 336, 8, 65, 73, QStringLiteral("Size:"));
    SizeCounter = label(sizeFrame, "SizeCounter", 8, 32, 49, 17, QStringLiteral("0b"));
    // The most the size may reach with the choices of the run.
    SizeLimit = label(sizeFrame, "SizeLimit", 4, 50, 59, 17, QString());
    ProgressCounters->hide();
}

void MainFrm::connectEvents()
{
    connect(TabStrip, &QTabWidget::currentChanged, this, [this] { tabHandler(); });
    // A click on the tab that is already selected changes nothing in the
    // strip but still runs the handler.
    connect(TabStrip->tabBar(), &QTabBar::tabBarClicked, this, [this](int index) {
        if (index == TabStrip->currentIndex()) {
            tabHandler();
        }
    });

    // "Compact video" and the stream format on "Calculator" say the same:
    // ticked is compact, unticked written; another format unticks it.
    connect(CompactVideo, &QCheckBox::toggled, this, [this](bool checked) {
        const StreamFormat format = Calculator->target().format;
        if (checked && format != StreamFormat::Compact) {
            Calculator->setFormat(StreamFormat::Compact);
        } else if (!checked && format == StreamFormat::Compact) {
            Calculator->setFormat(StreamFormat::Written);
        }
    });
    connect(Calculator, &CalculatorPage::formatChanged, this, [this](StreamFormat format) {
        CompactVideo->setChecked(format == StreamFormat::Compact);
    });
    // What fits follows every choice it depends on.
    connect(Calculator, &CalculatorPage::targetChanged, this, [this] { requestFit(); });
    connect(DetailSlider, &QSlider::valueChanged, this, [this] { requestFit(); });
    connect(fits_, &FitCounter::started, Calculator, &CalculatorPage::showCounting);
    connect(fits_, &FitCounter::counted, this, [this](const FitAdvice& advice) { Calculator->showFit(advice); });
    connect(Calculator, &CalculatorPage::makeItFit, this, [this] { makeItFit(); });

    connect(Set_Vid_Folder, &QPushButton::clicked, this, [this] { sourceFolderChoice(); });
    connect(Set_Out, &QPushButton::clicked, this, [this] { outputFolderChoice(); });
    if (Import_Video != nullptr) {
        connect(Import_Video, &QPushButton::clicked, this, [this] { importVideo(); });
        auto* shortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_I), this);
        connect(shortcut, &QShortcut::activated, this, [this] { importVideo(); });
    }
    setAcceptDrops(true);
    // The selection, not the current row: keyboard focus alone moves the
    // current row without selecting anything.
    connect(File_List_Box, &QListWidget::itemSelectionChanged, this, [this] { frameSelection(); });

    for (QSlider* shown : {BrightnessThreshold_Set, BrightnessThreshold2_Set, DetailSlider}) {
        connect(shown, &QSlider::valueChanged, this, [this] { showSliderValues(); });
    }
    showSliderValues();
    connect(OpenFolder, &QPushButton::clicked, this, [this] {
        if (openFolder && !deliveredProgram_.isEmpty()) {
            openFolder(QFileInfo(deliveredProgram_).absolutePath());
        }
    });
    // A value change (dragging, keys, clicks, the "Auto" button) and the
    // release of a dragged thumb.
    for (QSlider* threshold : {BrightnessThreshold_Set, BrightnessThreshold2_Set}) {
        connect(threshold, &QSlider::valueChanged, this, [this] { Fix_New_Colour_Settings(); });
        connect(threshold, &QSlider::sliderReleased, this, [this] { Fix_New_Colour_Settings(); });
    }
    connect(DitheringOnOff, &QCheckBox::toggled, this, [this] { ditherChange(); });
    connect(colourGroup_, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked) {
            channelChoice(id);
        }
    });
    connect(AutoBalance, &QPushButton::clicked, this, [this] { autoBalance(); });
    connect(PatternChoice, &QComboBox::currentIndexChanged, this, [this] { pictureChange(); });
    connect(GammaSet, &QDoubleSpinBox::valueChanged, this, [this] { pictureChange(); });
    connect(AutoExposure, &QCheckBox::toggled, this, [this] { pictureChange(); });
    connect(ConvertVideo, &QPushButton::clicked, this, [this] { convertVideo(); });
    if (PreviewOnCalc != nullptr) {
        connect(PreviewOnCalc, &QPushButton::clicked, this, [this] { previewOnCalculator(); });
    }
}

void MainFrm::startUp()
{
    // The application folder holds the sample; an installed copy keeps it
    // with its other data.
    vars_.LastDir = folders_.sampleDir;
    if (const auto saved = SavedFolders::read(joinPath(appDir_, QLatin1String(SavedFolders::LastDirFile)))) {
        vars_.LastDir = *saved;
    }
    const auto savedOut = SavedFolders::read(joinPath(appDir_, QLatin1String(SavedFolders::OutDirFile)));
    vars_.OutDir = savedOut ? *savedOut : appDir_;
    showOutputFolder();

    ShellChoice->setCurrentIndex(0);
    RenderNewFolder();
    // No frame is loaded and no channel is set yet: this first preview is
    // black.
    Fix_New_Colour_Settings();
    vars_.DitherOn = DitheringOnOff->checkState() != Qt::Unchecked;
    vars_.ColourChannel = 1;
    tabHandler();
}

void MainFrm::shutDown()
{
    // A run cut short leaves the user's old program where it was.
    conversion_->abandon();
#ifdef ZOETRA_VIDEO_IMPORT
    // An import cut short leaves no folder behind.
    if (importDialog_ != nullptr) {
        importDialog_->cancelImport();
    }
#endif
    // The program ends whether or not the files could be written.
    files_->writeFile(joinPath(appDir_, QLatin1String(SavedFolders::LastDirFile)),
                      SavedFolders::format(vars_.LastDir));
    files_->writeFile(joinPath(appDir_, QLatin1String(SavedFolders::OutDirFile)),
                      SavedFolders::format(vars_.OutDir));
    endProgram();
}

void MainFrm::closeEvent(QCloseEvent* event)
{
    if (preview_ != nullptr) {
        preview_->close();
    }
    shutDown();
    event->accept();
}

void MainFrm::showPath()
{
    const QString path = nativePath(vars_.LastDir);
    PathLoc->setText(path);
    // The label cuts a long path off at its edge; the tool tip holds it whole.
    const bool cut = PathLoc->fontMetrics().horizontalAdvance(path) > PathLoc->contentsRect().width();
    PathLoc->setToolTip(cut ? path : QString());
}

void MainFrm::RenderNewFolder()
{
    showPath();
    std::optional<QStringList> frames = listFrameFolder(*files_, vars_.LastDir);
    if (!frames) {
        vars_.LastDir = folders_.sampleDir;
        showPath();
        frames = listFrameFolder(*files_, vars_.LastDir);
    }
    File_List_Box->clear();
    if (frames) {
        File_List_Box->addItems(*frames);
    }
    // The frames play at the rate they were imported at, else at the
    // written pace.
    Calculator->setFramesPerSecond(folderRate(*files_, vars_.LastDir).value_or(WrittenFramesPerSecond));
    requestFit();
}

void MainFrm::Fix_New_Colour_Settings()
{
    vars_.BlackThreshold = static_cast<std::int16_t>(BrightnessThreshold_Set->value());
    vars_.WhiteThreshold = static_cast<std::int16_t>(BrightnessThreshold2_Set->value());
    redrawPreview();
}

void MainFrm::Display_Page(std::int16_t PageNumber)
{
    for (QFrame* page : SettingsPage) {
        page->setVisible(false);
    }
    SettingsPage.at(static_cast<std::size_t>(PageNumber))->setVisible(true);
}

void MainFrm::tabHandler()
{
    const int tab = TabStrip->currentIndex() + 1;
    Display_Page(static_cast<std::int16_t>(tab - 1));
}

void MainFrm::openPath(const QString& path)
{
    const QFileInfo info(path);
    if (info.isDir()) {
        const QString folder = QDir::cleanPath(info.absoluteFilePath());
        if (FolderPicker::isRootPath(folder)) {
            window_->showMessage(FolderPicker::RootRefusedMessage, QStringLiteral("Error"), MessageIcon::Error);
            return;
        }
        takeChosenFolder(folder);
        return;
    }
#ifdef ZOETRA_VIDEO_IMPORT
    // A video or picture file: the import; anything else says why not.
    if (info.isFile()) {
        QString why;
        if (media::FrameStream::open(info.absoluteFilePath(), why)) {
            importVideo(info.absoluteFilePath());
            return;
        }
        window_->showMessage(QStringLiteral("Error: %1 cannot be opened: %2")
                                 .arg(nativePath(info.absoluteFilePath()), why),
                             QStringLiteral("Error"), MessageIcon::Error);
        return;
    }
#endif
    window_->showMessage(QStringLiteral("Error: %1 cannot be opened: it is not a folder of frames.")
                             .arg(nativePath(info.absoluteFilePath())),
                         QStringLiteral("Error"), MessageIcon::Error);
}

void MainFrm::sourceFolderChoice()
{
    const QString folder = FolderPicker::BrowseFolder(this, QStringLiteral("Select animation source:"), vars_.LastDir);
    if (!folder.isEmpty()) {
        takeChosenFolder(folder);
    }
}

void MainFrm::takeChosenFolder(const QString& folder)
{
#ifdef ZOETRA_VIDEO_IMPORT
    const QStringList frames = listFrameFolder(*files_, folder).value_or(QStringList{});
    if (firstFrameNeedsScaling(folder, frames)) {
        const QSize size = firstFrameSize(folder, frames).value_or(QSize());
        const int answer = MessageBoxes::ask(
            this,
            QStringLiteral("The pictures in %1 are %2 \u00D7 %3 pixels; the calculator shows 96 \u00D7 64.\n\n"
                           "Import them scaled to the screen, or use them as they are: the top left of larger "
                           "pictures, smaller ones on a grey ground?")
                .arg(nativePath(folder))
                .arg(size.width())
                .arg(size.height()),
            QStringLiteral("Pictures of another size"),
            {QStringLiteral("Import Scaled..."), QStringLiteral("Use As They Are")});
        if (answer == 0) {
            importVideo(folder);
            return;
        }
        if (answer != 1) {
            return;
        }
    }
#endif
    vars_.LastDir = folder;
    RenderNewFolder();
    QStringList listed;
    for (int row = 0; row < File_List_Box->count(); ++row) {
        listed.append(File_List_Box->item(row)->text());
    }
    if (const auto pair = numbersOutOfOrder(listed)) {
        window_->showMessage(nameOrderWarning(*pair), QStringLiteral("Zoetra2"), MessageIcon::Warning);
    }
}

void MainFrm::showSliderValues()
{
    BrightnessThreshold_Value->setText(QString::number(BrightnessThreshold_Set->value()));
    BrightnessThreshold2_Value->setText(QString::number(BrightnessThreshold2_Set->value()));
    DetailSlider_Value->setText(QString::number(DetailSlider->value()));
}

void MainFrm::showDelivered(const QString& path)
{
    deliveredProgram_ = path;
    const QString shown = nativePath(path);
    Label15->setText(Label15->fontMetrics().elidedText(shown, Qt::ElideMiddle, Label15->contentsRect().width()));
    QString tip = shown;
    if (folders_.usesWorkingFolder()) {
        tip += QStringLiteral("\nWorking folder: ") + nativePath(appDir_);
    }
    Label15->setToolTip(tip);
    OpenFolder->setEnabled(true);
}

void MainFrm::outputFolderChoice()
{
    const QString folder = FolderPicker::BrowseFolder(this, QStringLiteral("Select output folder:"), vars_.OutDir);
    if (!folder.isEmpty()) {
        vars_.OutDir = folder;
        showOutputFolder();
    }
}

void MainFrm::showOutputFolder()
{
    const QString shown = nativePath(vars_.OutDir);
    const QString text = QStringLiteral("Output folder: ") + shown;
    OutputFolder->setText(OutputFolder->fontMetrics().elidedText(text, Qt::ElideMiddle, OutputFolder->contentsRect().width()));
    OutputFolder->setToolTip(shown);
}

void MainFrm::frameSelection()
{
    const QList<QListWidgetItem*> selected = File_List_Box->selectedItems();
    if (selected.size() == 1) {
        frameSelection(File_List_Box->row(selected.front()));
    }
}

void MainFrm::frameSelection(int row)
{
    frameSelected_ = true;
    frameLoaded_ = false;
    if (onFrameSelection) {
        onFrameSelection(row);
    }
    const QListWidgetItem* item = File_List_Box->item(row);
    if (item == nullptr) {
        return;
    }
    // A file that cannot be decoded leaves both pictures as they were.
    frameLoaded_ = loadAndConvertFrame(vars_, *pictures_, joinPath(vars_.LastDir, item->text()), *File_List_Preview,
                                       *Quick_Prev);
}

void MainFrm::ditherChange()
{
    vars_.DitherOn = DitheringOnOff->checkState() != Qt::Unchecked;
    redrawPreview();
}

void MainFrm::channelChoice(int index)
{
    vars_.ColourChannel = static_cast<std::int16_t>(index + 1);
    redrawPreview();
}

void MainFrm::pictureChange()
{
    const Pattern before = vars_.Pictures.pattern;
    vars_.Pictures.pattern = static_cast<Pattern>(PatternChoice->currentData().toInt());
    vars_.Pictures.gamma = GammaSet->value();
    vars_.Pictures.autoExposure = AutoExposure->isChecked();
    const Pattern now = vars_.Pictures.pattern;
    // A pattern takes the thresholds as its black and white point: from the
    // checkerboard it starts at the full range, which draws every tone, and
    // the checkerboard gets back the thresholds it had.
    if (before == Pattern::Checkerboard && now != Pattern::Checkerboard) {
        checkerboardThresholds_ = {BrightnessThreshold_Set->value(), BrightnessThreshold2_Set->value()};
        BrightnessThreshold_Set->setValue(0);
        BrightnessThreshold2_Set->setValue(255);
    } else if (before != Pattern::Checkerboard && now == Pattern::Checkerboard && checkerboardThresholds_) {
        BrightnessThreshold_Set->setValue(checkerboardThresholds_->first);
        BrightnessThreshold2_Set->setValue(checkerboardThresholds_->second);
        checkerboardThresholds_.reset();
    }
    redrawPreview();
}

void MainFrm::autoBalance()
{
    DitheringOnOff->setChecked(true);
    const AutoBalanceProposal proposal = proposeAutoBalance(vars_, *File_List_Preview);
    BrightnessThreshold_Set->setValue(proposal.black);
    BrightnessThreshold2_Set->setValue(proposal.white);
    Fix_New_Colour_Settings();
}

void MainFrm::convertVideo()
{
    // A press during a run is ignored by the run itself.
    if (!conversion_->inProgress()) {
        const FitQuestion question = fitQuestion();
        conversion_->videoSource = question.video;
        conversion_->freeArchiveBytes = question.freeArchiveBytes;
        // The advice counted for the choices of now, when there is one;
        // otherwise the run searches without taking the video again, which
        // would keep the window waiting.
        conversion_->knownAdvice.reset();
        if (!fits_->counting() && Calculator->shownAdvice()) {
            conversion_->knownAdvice = Calculator->shownAdvice();
        }
        fits_->stop();
        // The limit the run keeps: with the sound, less its room.
        const int limit = question.target.sound
            ? videoLimitWithSound(question.target, static_cast<int>(windowLayer().programName().size()),
                                  windowLayer().frameListCount())
            : videoSizeLimit(question.target);
        SizeLimit->setText(QStringLiteral("of %1b").arg(limit));
    }
    const RunOutcome outcome = conversion_->RunConversion();
    if (outcome.status == RunOutcome::Status::AlreadyRunning) {
        return;
    }
    if (outcome.advice) {
        Calculator->showFit(outcome.advice);
    } else {
        requestFit();
    }
    if (outcome.status == RunOutcome::Status::Delivered) {
        showDelivered(outcome.deliveredPath);
        deliveredTarget_ = window_->videoTarget();
        Calculator->showDelivered(outcome.deliveredPaths, deliveredTarget_);
        if (PreviewOnCalc != nullptr) {
            PreviewOnCalc->setEnabled(true);
        }
    }
    if (const QString warning = unreadableFramesWarning(outcome.unreadableFrames); !warning.isEmpty()) {
        window_->showMessage(warning, QStringLiteral("Zoetra2"), MessageIcon::Warning);
    }
    // An import that ended during the run takes its turn now.
    if (!pendingImport_.isEmpty()) {
        importedFolder(std::exchange(pendingImport_, QString()));
    }
}

void MainFrm::previewOnCalculator()
{
#ifdef ZOETRA_HAVE_CALC
    if (preview_ == nullptr) {
        preview_ = new PreviewWindow(this);
        preview_->resize(preview_->sizeHint());
    }
    preview_->play(deliveredProgram_, calc::CalculatorSetup{deliveredTarget_.model, {}});
    preview_->show();
    preview_->raise();
    preview_->activateWindow();
#endif
}

void MainFrm::redrawPreview()
{
    ConvertToMono(vars_, *File_List_Preview, *Quick_Prev);
    requestFit();
#ifdef ZOETRA_VIDEO_IMPORT
    // The import's calculator picture follows the colour settings.
    if (importDialog_ != nullptr) {
        importDialog_->showColours();
    }
#endif
}

bool MainFrm::countingFits() const
{
    return fits_->counting();
}

VideoImportDialog* MainFrm::importDialog() const
{
    return importDialog_;
}

void MainFrm::importVideo(const QString& source)
{
#ifdef ZOETRA_VIDEO_IMPORT
    if (importDialog_ != nullptr) {
        // One import at a time; a new source only while it is idle.
        importDialog_->raise();
        if (importDialog_->importing()) {
            window_->showMessage(ImportRunningMessage, QStringLiteral("Zoetra2"), MessageIcon::Warning);
        } else if (!source.isEmpty()) {
            importDialog_->setSource(source);
        }
        return;
    }
    importDialog_ = new VideoImportDialog(
        vars_, [this] { return EncoderChoice{DetailSlider->value(), Calculator->target()}; }, this);
    connect(importDialog_, &VideoImportDialog::imported, this, [this](const QString& folder) {
        importedFolder_ = folder;
        importedSpan_ = importDialog_->importedSpan();
        importedSource_ = importDialog_->source();
        importedSettings_ = importDialog_->importedSettings();
        importedFolder(folder);
    });
    connect(importDialog_, &QDialog::finished, this, [this] {
        importDialog_->deleteLater();
        importDialog_ = nullptr;
    });
    // Not modal: the window stays usable while the dialog is open.
    importDialog_->show();
    if (source.isEmpty()) {
        importDialog_->chooseFile();
    } else {
        importDialog_->setSource(source);
    }
#else
    Q_UNUSED(source);
#endif
}

void MainFrm::importedFolder(const QString& folder)
{
    if (conversion_->inProgress()) {
        pendingImport_ = folder;
        return;
    }
    vars_.LastDir = folder;
    RenderNewFolder();
    if (File_List_Box->count() > 0) {
        // The first frame in the preview.
        File_List_Box->setCurrentRow(0);
    }
}

FitQuestion MainFrm::fitQuestion() const
{
    FitQuestion question;
    question.target = Calculator->target();
    question.freeArchiveBytes = Calculator->freeArchiveBytes();
#ifdef ZOETRA_VIDEO_IMPORT
    if (!importedFolder_.isEmpty() && vars_.LastDir == importedFolder_ && importedSpan_) {
        question.video = importedSpan_;
        // The video taken again at another rate, as the import would take it.
        question.screensAt = [source = importedSource_, settings = importedSettings_, colours = FitCounter::coloursOf(vars_),
                              quality = DetailSlider->value()](double framesPerSecond) -> std::optional<ShownScreens> {
            media::ImportSettings taken = settings;
            taken.framesPerSecond = framesPerSecond;
            ScreenMaker maker(*colours, quality);
            QString message;
            if (!media::readFrames(source, taken, [&maker](const QImage& frame) { maker.add(frame); }, nullptr,
                                   message)) {
                return std::nullopt;
            }
            return maker.take();
        };
    }
#endif
    return question;
}

void MainFrm::requestFit()
{
    if (fits_ == nullptr || Calculator == nullptr || File_List_Box == nullptr) {
        return;  // start-up has not built everything yet
    }
#ifdef ZOETRA_VIDEO_IMPORT
    // The import's own count follows the same choices.
    if (importDialog_ != nullptr) {
        importDialog_->recount();
    }
#endif
    // Counted after the run, whose yields would otherwise start it.
    if (conversion_->inProgress()) {
        return;
    }
    QStringList frames;
    for (int row = 0; row < File_List_Box->count(); ++row) {
        frames.append(File_List_Box->item(row)->text());
    }
    FitCounter::Request request = FitCounter::ofFolder(vars_.LastDir, frames, vars_, DetailSlider->value());
    request.question = fitQuestion();
    fits_->count(std::move(request));
}

void MainFrm::makeItFit()
{
    const std::optional<FitAdvice>& advice = Calculator->shownAdvice();
    if (!advice || !advice->proposal) {
        return;
    }
    const FitProposal proposal = *advice->proposal;
    if (proposal.formatChanged) {
        Calculator->setFormat(proposal.target.format);
    }
    if (proposal.archiveChanged) {
        Calculator->setStorage(Storage::Archive);
        // The AppVars' names take two digits after the program's.
        if (FName->text().size() > archive::MaxProgramNameLength) {
            FName->setText(FName->text().left(archive::MaxProgramNameLength));
        }
    }
#ifdef ZOETRA_VIDEO_IMPORT
    // A rate or an end is the import's: the video again, with them.
    if ((proposal.rateChanged || proposal.end) && !importedSource_.isEmpty()) {
        media::ImportSettings settings = importedSettings_;
        if (proposal.rateChanged) {
            settings.framesPerSecond = proposal.target.framesPerSecond;
        }
        if (proposal.end) {
            settings.end = *proposal.end;
        }
        importVideo(importedSource_);
        if (importDialog_ != nullptr && !importDialog_->importing()) {
            importDialog_->setSettings(settings);
            importDialog_->startImport();
        }
    }
#endif
}

void MainFrm::dragEnterEvent(QDragEnterEvent* event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.size() == 1 && urls.front().isLocalFile()) {
        const QFileInfo info(urls.front().toLocalFile());
        const bool importable = Import_Video != nullptr && info.isFile();
        if (info.isDir() || importable) {
            event->acceptProposedAction();
        }
    }
}

void MainFrm::dropEvent(QDropEvent* event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.size() != 1 || !urls.front().isLocalFile()) {
        return;
    }
    event->acceptProposedAction();
    // After the drop has ended: the import dialog must not open inside the
    // drag-and-drop loop of the platform.
    const QString path = urls.front().toLocalFile();
    QMetaObject::invokeMethod(this, [this, path] { openPath(path); }, Qt::QueuedConnection);
}

}  // namespace zoetra
