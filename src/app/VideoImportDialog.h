#pragma once

#include "convert/FitAdvice.h"
#include "convert/WhatFits.h"
#include "media/MediaTypes.h"

#include <QDialog>
#include <QImage>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QThread;

namespace zoetra {

class FitCounter;
struct Vars;

namespace media {
class FrameStream;
struct ImportResult;
}  // namespace media

// The import of a video, an animated picture or a folder of pictures into a
// new frame folder: the clip's size, length and rate, the settings, the
// destination, a picture of the clip as it will be fitted beside the way the
// calculator will show it, a progress bar and Cancel. The decoding runs in a
// thread of its own; the dialog is not modal, so the window stays usable.
class VideoImportDialog final : public QDialog {
    Q_OBJECT

public:
    // colours: the program's colour settings, read when an import starts,
    // with the encoder's choice, for what fits afterwards.
    VideoImportDialog(const Vars& colours, std::function<EncoderChoice()> encoderChoice, QWidget* parent);
    ~VideoImportDialog() override;

    // Shows a source: its information, or why it cannot be imported.
    void setSource(const QString& path);
    QString source() const { return source_; }
    // Where the frames of the last import were taken from, when the source
    // has times (a video or an animation).
    std::optional<VideoSpan> importedSpan() const { return importedSpan_; }
    // The settings of the last import.
    media::ImportSettings importedSettings() const { return importedSettings_; }
    // Sets the rate, the times and the fit, as an import is to take them.
    void setSettings(const media::ImportSettings& settings);

    // The file and folder choosers of the dialog's buttons.
    void chooseFile();
    void chooseFolder();

    void startImport();
    bool importing() const { return worker_ != nullptr; }
    // Stops a running import, which then leaves nothing, and waits for it.
    void cancelImport();

    // Redraws the calculator's picture under the colour settings of now.
    void showColours();
    // Counts again what fits of the clip, as the settings, the colour
    // settings and the choices on "Calculator" are now; off the window's
    // thread, until the import starts.
    void recount();

signals:
    // A new frame folder exists, with every frame in it.
    void imported(const QString& folder);
    // An import ended, whichever way; the status line tells how.
    void importEnded();

protected:
    void reject() override;

private:
    void chooseDestination();
    void importProgress(int permille, int frames);
    void importDone(const media::ImportResult& result, const std::optional<FitAdvice>& advice);
    void showFits(const FitAdvice& advice, bool imported);
    void destinationEdited();
    void setBusy(bool busy);
    void setStatus(const QString& text, bool problem);
    media::ImportSettings settings() const;
    // Takes the frame at the start with the chosen fit and shows it.
    void showClipPicture();

    const Vars& colours_;
    std::function<EncoderChoice()> encoderChoice_;
    QString source_;
    bool sourceReady_ = false;
    bool timed_ = false;  // start and end mean something for the source
    bool moving_ = false;  // a video or an animation
    std::optional<VideoSpan> importedSpan_;
    std::optional<VideoSpan> runningSpan_;
    media::ImportSettings importedSettings_;
    media::ImportSettings runningSettings_;
    // The new folder as the user typed it, kept over imports and sources.
    QString typedDestination_;

    QLabel* Import_Source = nullptr;
    QLabel* Import_Info = nullptr;
    QPushButton* Import_File = nullptr;
    QPushButton* Import_Folder = nullptr;
    QDoubleSpinBox* Import_Rate = nullptr;
    QDoubleSpinBox* Import_Start = nullptr;
    QDoubleSpinBox* Import_End = nullptr;
    QComboBox* Import_Fit = nullptr;
    QLabel* Import_Picture = nullptr;     // the clip's frame at the start, fitted
    QLabel* Import_Calculator = nullptr;  // that frame as the calculator shows it
    QImage clipFrame_;                    // 96 x 64, or null
    QLineEdit* Import_Destination = nullptr;
    QPushButton* Import_Choose_Destination = nullptr;
    QLabel* Import_Fits = nullptr;  // what fits of the clip, before and after the import
    QProgressBar* Import_Progress = nullptr;
    QLabel* Import_Status = nullptr;
    FitCounter* counter_ = nullptr;
    QPushButton* Import_Go = nullptr;
    QPushButton* Import_Cancel = nullptr;

    QThread* worker_ = nullptr;
    std::atomic<bool> cancel_{false};
    std::atomic<int> postedPermille_{-1};
};

}  // namespace zoetra
