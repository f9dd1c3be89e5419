#pragma once

#include "convert/FitAdvice.h"
#include "shared/VideoTarget.h"

#include <QFrame>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QThread;

namespace zoetra {

namespace link {
class CableSource;
class Sender;
struct Preparation;
}  // namespace link

// The "Calculator" page: what the video is made for. Each choice is a list
// of the target's options; the page hands out the target they make and
// tells what it holds and how fast it plays.
class CalculatorPage : public QFrame {
    Q_OBJECT

public:
    explicit CalculatorPage(QWidget* parent = nullptr);
    ~CalculatorPage() override;

    VideoTarget target() const;
    void setFormat(StreamFormat format);
    void setStorage(Storage storage);
    // The free archive given, whether or not the archive is chosen: what a
    // choice of the archive would have.
    std::optional<std::int64_t> freeArchiveBytes() const;

    // What fits of the frames in use with the choices made, and what makes
    // them all fit: while it is counted, and once it is. "Make It Fit"
    // follows the advice shown.
    void showCounting();
    void showFit(const std::optional<FitAdvice>& advice);
    const std::optional<FitAdvice>& shownAdvice() const { return advice_; }
    // The rate of the frames in use, which the user may change after.
    void setFramesPerSecond(double framesPerSecond);
    // The files a run delivered, by name, and what they were made for:
    // what "Send to Calculator" sends.
    void showDelivered(const QStringList& paths, const std::optional<VideoTarget>& madeFor = std::nullopt);

    // Where the page looks for a calculator: this computer's cables, unless
    // a test gives others.
    void setCables(std::shared_ptr<link::CableSource> cables);
    // Whether the page is talking to a calculator, off the window's thread.
    bool talking() const { return worker_ != nullptr; }

signals:
    void formatChanged(zoetra::StreamFormat format);
    // Any choice of the target changed.
    void targetChanged();
    // "Make It Fit" was pressed: the window makes the shown advice's choices.
    void makeItFit();

private:
    // The archive's controls, the pace and the limit after any change.
    void showTarget();

    QComboBox* CalcModel = nullptr;
    QComboBox* CalcFormat = nullptr;
    QDoubleSpinBox* CalcRate = nullptr;
    QLabel* CalcPace = nullptr;
    // The storage as a list, and the archive box that says the same: ticked
    // is the archive, unticked RAM.
    QComboBox* CalcStorage = nullptr;
    QCheckBox* CalcArchive = nullptr;
    QCheckBox* CalcSound = nullptr;
    // Bytes; the lowest value is "the empty archive".
    QSpinBox* CalcFreeArchive = nullptr;
    QLabel* CalcLimit = nullptr;
    QPushButton* CalcMakeItFit = nullptr;
    QLabel* CalcFits = nullptr;
    std::optional<FitAdvice> advice_;
    QLabel* CalcDelivered = nullptr;

    // Talking to a connected calculator, where the link libraries are
    // built: the free archive read from it, the delivery sent to it, and
    // the progress of either over the limit's line while it runs.
    void buildLinkControls();
    void readFromCalculator();
    void sendToCalculator();
    void sendPrepared(const std::shared_ptr<link::Sender>& sender, const link::Preparation& preparation);
    void startTalking(const QString& caption);
    void stopTalking();
    void runOffThread(std::function<void()> work, std::function<void()> done);
    void enableLinkButtons();

    QPushButton* CalcReadArchive = nullptr;
    QPushButton* CalcSend = nullptr;
    QProgressBar* CalcSendProgress = nullptr;
    QStringList delivered_;
    std::optional<VideoTarget> deliveredFor_;
    std::shared_ptr<link::CableSource> cables_;
    QThread* worker_ = nullptr;
};

}  // namespace zoetra
