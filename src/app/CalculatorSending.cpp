// The "Calculator" page's talk with a connected calculator: "From Calculator"
// beside the free archive reads it from a TI-84 Plus on USB, "Send to
// Calculator" beside the delivered files sends them. The calculator is
// asked off the window's thread; the window asks the user only between the
// look at the calculator and the sending.
#include "app/CalculatorPage.h"

#include "app/JobThread.h"
#include "app/Placement.h"
#include "link/CalculatorLink.h"
#include "link/SendCheck.h"
#include "platform/widgets/MessageBoxes.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>

#include <algorithm>

namespace zoetra {

namespace {

const QString SendTitle = QStringLiteral("Send to Calculator");
const QString ReadTitle = QStringLiteral("Free Archive");

}  // namespace

CalculatorPage::~CalculatorPage()
{
    // The calculator's answer would come to a page that is gone.
    if (worker_ != nullptr) {
        worker_->wait();
    }
}

void CalculatorPage::setCables(std::shared_ptr<link::CableSource> cables)
{
    cables_ = std::move(cables);
}

void CalculatorPage::buildLinkControls()
{
    cables_ = link::systemCables();

    CalcReadArchive = place<QPushButton>(this, "CalcReadArchive", 304, 119, 113, 23, QStringLiteral("From Calculator"));
    CalcReadArchive->setToolTip(QStringLiteral("Read the free archive from a TI-84 Plus or TI-84 Plus Silver Edition "
                                               "connected by its USB cable"));
    // The delivered files give room to the button that sends them.
    CalcDelivered->setGeometry(8, 214, 289, 30);
    CalcSend = place<QPushButton>(this, "CalcSend", 304, 214, 113, 25, QStringLiteral("Send to Calculator"));
    CalcSend->setToolTip(QStringLiteral("Send the delivered program and its AppVars to the calculator connected by USB "
                                        "or a link cable"));
    // Over the limit's line while the calculator is talked to.
    CalcSendProgress = place<QProgressBar>(this, "CalcSendProgress", 8, 146, 409, 17);
    CalcSendProgress->setTextVisible(true);
    CalcSendProgress->hide();

    connect(CalcReadArchive, &QPushButton::clicked, this, [this] { readFromCalculator(); });
    connect(CalcSend, &QPushButton::clicked, this, [this] { sendToCalculator(); });
    enableLinkButtons();
}

void CalculatorPage::enableLinkButtons()
{
    CalcReadArchive->setEnabled(worker_ == nullptr);
    CalcSend->setEnabled(worker_ == nullptr && !delivered_.isEmpty());
}

void CalculatorPage::startTalking(const QString& caption)
{
    CalcLimit->hide();
    // Empty until the files go: a busy bar would hide its caption.
    CalcSendProgress->setRange(0, 1000);
    CalcSendProgress->setValue(0);
    CalcSendProgress->setFormat(caption);
    CalcSendProgress->show();
    CalcReadArchive->setEnabled(false);
    CalcSend->setEnabled(false);
}

void CalculatorPage::stopTalking()
{
    CalcSendProgress->hide();
    CalcLimit->show();
    enableLinkButtons();
}

void CalculatorPage::runOffThread(std::function<void()> work, std::function<void()> done)
{
    worker_ = new JobThread(std::move(work));
    connect(worker_, &QThread::finished, this, [this, done = std::move(done)] {
        worker_->deleteLater();
        worker_ = nullptr;
        done();
    });
    worker_->start();
}

void CalculatorPage::readFromCalculator()
{
    if (worker_ != nullptr) {
        return;
    }
    startTalking(QStringLiteral("Asking the calculator for its free archive..."));
    auto reading = std::make_shared<link::FreeArchiveReading>();
    const std::shared_ptr<link::CableSource> cables = cables_;
    runOffThread([cables, reading] { *reading = link::readFreeArchive(*cables); },
                 [this, reading] {
                     stopTalking();
                     if (reading->status != link::FreeArchiveReading::Status::Read) {
                         MessageBoxes::show(this, reading->message, ReadTitle,
                                            reading->status == link::FreeArchiveReading::Status::LinkCable
                                                ? MessageIcon::Information
                                                : MessageIcon::Warning);
                         return;
                     }
                     // The figure is this calculator's: its model, the archive.
                     CalcModel->setCurrentIndex(CalcModel->findData(static_cast<int>(reading->model)));
                     CalcArchive->setChecked(true);
                     const qint64 shown = std::clamp<qint64>(reading->bytes, 1, CalcFreeArchive->maximum());
                     CalcFreeArchive->setValue(static_cast<int>(shown));
                     MessageBoxes::show(this,
                                        reading->message +
                                            QStringLiteral("\nIt is the free archive here now, for the %1, with the "
                                                           "video in the archive.")
                                                .arg(link::modelName(reading->model)),
                                        ReadTitle, MessageIcon::Information);
                 });
}

void CalculatorPage::sendToCalculator()
{
    if (worker_ != nullptr || delivered_.isEmpty()) {
        return;
    }
    startTalking(QStringLiteral("Looking for the calculator..."));
    auto sender = std::make_shared<link::Sender>(*cables_);
    auto preparation = std::make_shared<link::Preparation>();
    const link::SendJob job{link::filesToSend(delivered_), deliveredFor_};
    // The cables stay while the sender uses them.
    const std::shared_ptr<link::CableSource> cables = cables_;
    runOffThread([sender, preparation, job, cables] { *preparation = sender->prepare(job); },
                 [this, sender, preparation] { sendPrepared(sender, *preparation); });
}

void CalculatorPage::sendPrepared(const std::shared_ptr<link::Sender>& sender, const link::Preparation& preparation)
{
    if (!preparation.ready) {
        stopTalking();
        MessageBoxes::show(this, preparation.message, SendTitle, MessageIcon::Warning);
        return;
    }
    bool replace = false;
    if (!preparation.sameNames.isEmpty()) {
        const int answer = MessageBoxes::ask(
            this,
            QStringLiteral("The calculator already has %1.\n\nReplace them with the new ones? Otherwise nothing is "
                           "sent and nothing changes on the calculator.\n\n%2")
                .arg(preparation.sameNames.join(QStringLiteral(", ")), preparation.message),
            SendTitle, {QStringLiteral("Replace")});
        if (answer != 0) {
            stopTalking();
            return;
        }
        replace = true;
    }
    startTalking(QStringLiteral("Sending... %p%"));
    auto outcome = std::make_shared<link::SendOutcome>();
    const std::shared_ptr<link::CableSource> cables = cables_;
    runOffThread(
        [this, sender, outcome, replace, cables] {
            *outcome = sender->send(replace, [this](std::int64_t done, std::int64_t total, const QString& variable) {
                QMetaObject::invokeMethod(
                    this,
                    [this, done, total, variable] {
                        CalcSendProgress->setValue(total > 0 ? static_cast<int>(done * 1000 / total) : 1000);
                        CalcSendProgress->setFormat(variable.isEmpty() ? QStringLiteral("Sent %p%")
                                                                       : QStringLiteral("Sending %1... %p%").arg(variable));
                    },
                    Qt::QueuedConnection);
            });
        },
        [this, outcome, note = preparation.note] {
            stopTalking();
            QString text = outcome->message;
            if (outcome->sent && !note.isEmpty()) {
                text += QLatin1Char('\n') + note;
            }
            MessageBoxes::show(this, text, SendTitle, outcome->sent ? MessageIcon::Information : MessageIcon::Error);
        });
}

}  // namespace zoetra
