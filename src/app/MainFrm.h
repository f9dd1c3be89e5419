#pragma once

#include "platform/AppFolders.h"
#include "convert/FitAdvice.h"
#include "convert/WhatFits.h"
#include "shared/Vars.h"
#include "shared/VideoTarget.h"

#include <QString>
#include <QWidget>

#ifdef ZOETRA_VIDEO_IMPORT
#include "media/MediaTypes.h"
#endif

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QGroupBox;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QSlider;
class QTabWidget;
class QDragEnterEvent;
class QDropEvent;

namespace zoetra {

class ConversionRun;
class FitCounter;
class FloatProgressBar;
class CalculatorPage;
class PreviewWindow;
class QtBuildLauncher;
class QtFileSystem;
class QtPictureLoader;
class QtWindowLayer;
class UniformRandom;
class VideoImportDialog;
class WidgetPictureArea;
class WindowLayer;
struct Platform;

// The program's one window: three pages behind a tab strip, the preview
// panel beside them, and the start-up and shut-down of the program. Every
// control carries its own name as objectName.
class MainFrm final : public QWidget {
    Q_OBJECT

public:
    // appDir: the application folder, where the saved folders are read and
    // written, the conversion puts its files and finds the player source and
    // the tools. Start-up runs here.
    explicit MainFrm(const QString& appDir, QWidget* parent = nullptr);

    static const QString ImportRunningMessage;
    // The same with the folders of an installed copy or of one whose own
    // folder cannot be written: the working folder takes the application
    // folder's part for everything written.
    explicit MainFrm(const AppFolders& folders, QWidget* parent = nullptr);
    ~MainFrm() override;

    // Shows LastDir and refills the frame list from it; a folder that
    // cannot be listed is replaced by the application folder. The frame
    // rate on "Calculator" becomes the folder's.
    void RenderNewFolder();
    // Takes both thresholds from their sliders and redraws the preview.
    void Fix_New_Colour_Settings();
    // Shows page PageNumber (0..2) and hides the others.
    void Display_Page(std::int16_t PageNumber);

    // Writes both saved-folder files and ends the program.
    void shutDown();

    // What a file manager's "Open with" hands the program, and what is
    // dropped onto the window: a folder becomes the source folder as the
    // picker would make it; a file opens the video import where it is
    // built, else it is refused with a message.
    void openPath(const QString& path);

    Vars& vars() { return vars_; }
    const QString& appDir() const { return appDir_; }
    ConversionRun& conversion() { return *conversion_; }
    // What the conversion run sees of this window.
    WindowLayer& windowLayer();

    // What ends the program after shut-down has written the files: by
    // default the process ends at once, also in the middle of a run. Tests
    // of the window in their own process replace it.
    std::function<void()> endProgram;
    // Called at the start of every frame selection with the entry's row.
    std::function<void(int)> onFrameSelection;
    // Shows a folder in the platform's file manager ("Open Folder").
    std::function<void(const QString&)> openFolder;

    // The import of a video (the "Import Video..." button, Ctrl+I): opens
    // the import dialog, on the given file or folder if one is given, else
    // with the file chooser. The dialog while it is open, else null.
    void importVideo(const QString& source = QString());
    VideoImportDialog* importDialog() const;

    // Whether what fits of the frames in use is being counted (or waits to
    // be, once the choices rest).
    bool countingFits() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    friend class QtWindowLayer;

    void buildWindow();
    void buildPreviewPanel();
    void buildSourcePage(QFrame* page);
    void buildSettingsPage(QFrame* page);
    void buildCreatePage(QFrame* page);
    void connectEvents();
    void startUp();

    // Event handlers.
    void tabHandler();
    void sourceFolderChoice();
    void outputFolderChoice();
    void frameSelection();
    void frameSelection(int row);
    void ditherChange();
    void channelChoice(int index);
    // The pattern, the gamma and the auto exposure: each takes its control's
    // state and redraws the preview. A pattern chosen instead of the
    // checkerboard moves the threshold sliders to 0 and 255; the
    // checkerboard chosen again gets back what they were.
    void pictureChange();
    void autoBalance();
    void convertVideo();
    void previewOnCalculator();

    void redrawPreview();
    void showPath();
    void importedFolder(const QString& folder);
    // What fits of the frames in use is counted again, off the window's
    // thread, after any change of what it depends on.
    void requestFit();
    FitQuestion fitQuestion() const;
    // "Make It Fit": the choices of the advice shown on "Calculator"; a
    // rate or an end imports the video again with them.
    void makeItFit();
    void showOutputFolder();
    // A folder the user chose or dropped: pictures of another size than the
    // screen's are offered to the import first; frames numbered without
    // leading zeros are warned of.
    void takeChosenFolder(const QString& folder);
    void showDelivered(const QString& path);
    void showSliderValues();

    AppFolders folders_;
    QString appDir_;  // folders_.workDir
    Vars vars_;

    // Directly in the window.
    QTabWidget* TabStrip = nullptr;
    std::array<QFrame*, 4> SettingsPage{};
    QGroupBox* CaptionFrame = nullptr;
    QListWidget* WaitBox = nullptr;

    // Preview panel.
    QLabel* Label1 = nullptr;
    WidgetPictureArea* File_List_Preview = nullptr;
    QLabel* Label2 = nullptr;
    WidgetPictureArea* Quick_Prev = nullptr;
    QLabel* Label3 = nullptr;

    // "Select video source".
    QLabel* PathLoc = nullptr;
    QPushButton* Set_Vid_Folder = nullptr;
    QPushButton* Import_Video = nullptr;  // only where the import is built
    QListWidget* File_List_Box = nullptr;

    // "Graphics settings".
    QSlider* BrightnessThreshold_Set = nullptr;
    QSlider* BrightnessThreshold2_Set = nullptr;
    QLabel* BrightnessThreshold_Value = nullptr;
    QLabel* BrightnessThreshold2_Value = nullptr;
    QCheckBox* DitheringOnOff = nullptr;
    QComboBox* PatternChoice = nullptr;
    QDoubleSpinBox* GammaSet = nullptr;
    QCheckBox* AutoExposure = nullptr;
    QPushButton* AutoBalance = nullptr;
    std::array<QRadioButton*, 4> Which_Colour_Val{};
    QButtonGroup* colourGroup_ = nullptr;
    // The two thresholds the checkerboard had while another pattern is
    // chosen: the checkerboard gets them back.
    std::optional<std::pair<int, int>> checkerboardThresholds_;

    // "Create Video".
    QSlider* DetailSlider = nullptr;
    QLabel* DetailSlider_Value = nullptr;
    QCheckBox* SetLooping = nullptr;
    QCheckBox* CompactVideo = nullptr;  // mirrors the stream format: compact or written
    QComboBox* ShellChoice = nullptr;
    QLineEdit* Description = nullptr;
    QLineEdit* FName = nullptr;
    QPushButton* Set_Out = nullptr;
    QPushButton* ConvertVideo = nullptr;
    // The output folder in use, below the buttons.
    QLabel* OutputFolder = nullptr;
    // The delivered program's path after a run, and the button that opens
    // its folder.
    QLabel* Label15 = nullptr;
    QPushButton* OpenFolder = nullptr;
    QGroupBox* ProgressCounters = nullptr;
    FloatProgressBar* TotalProgress = nullptr;
    FloatProgressBar* ByteWriter = nullptr;
    FloatProgressBar* CompressionVal = nullptr;
    QLabel* SizeCounter = nullptr;
    QLabel* SizeLimit = nullptr;

    // "Calculator": the video target.
    CalculatorPage* Calculator = nullptr;
    FitCounter* fits_ = nullptr;

    // Opens the preview of the program delivered last; absent from a build
    // without the emulated calculator.
    QPushButton* PreviewOnCalc = nullptr;
    QString deliveredProgram_;
    VideoTarget deliveredTarget_;  // what it was made for
    PreviewWindow* preview_ = nullptr;

    // Set while a frame selection runs, so that a selection by the run can
    // tell whether the list already raised one.
    bool frameSelected_ = false;
    // Whether the last frame selection could read its file.
    bool frameLoaded_ = false;

    std::unique_ptr<QtFileSystem> files_;
    std::unique_ptr<QtPictureLoader> pictures_;
    std::unique_ptr<QtBuildLauncher> builds_;
    std::unique_ptr<UniformRandom> random_;
    std::unique_ptr<QtWindowLayer> window_;
    std::unique_ptr<Platform> platform_;
    std::unique_ptr<ConversionRun> conversion_;
    VideoImportDialog* importDialog_ = nullptr;
    // A folder imported while a conversion ran: the source once it ends.
    QString pendingImport_;
    // The folder the last import made from a video, and where in the video
    // its frames were taken.
    QString importedFolder_;
    std::optional<VideoSpan> importedSpan_;
#ifdef ZOETRA_VIDEO_IMPORT
    // The video it was made from, and how.
    QString importedSource_;
    media::ImportSettings importedSettings_;
#endif
};

}  // namespace zoetra
