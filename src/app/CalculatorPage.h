#pragma once

#include "shared/VideoTarget.h"

#include <QFrame>
#include <QStringList>

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
    // Bytes; the lowest value is "the empty archive".
    QSpinBox* CalcFreeArchive = nullptr;
    QLabel* CalcLimit = nullptr;
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
