#include "app/FitCounter.h"

#include "app/JobThread.h"
#include "platform/QtPictureLoader.h"
#include "shared/Vars.h"

#include <QMetaObject>

namespace zoetra {

std::shared_ptr<const Vars> FitCounter::coloursOf(const Vars& vars)
{
    auto colours = std::make_shared<Vars>();
    colours->BlackThreshold = vars.BlackThreshold;
    colours->WhiteThreshold = vars.WhiteThreshold;
    colours->DitherOn = vars.DitherOn;
    colours->ColourChannel = vars.ColourChannel;
    colours->Pictures = vars.Pictures;
    return colours;
}

QString FitCounter::settingsKey(const Vars& c, int detailSliderValue)
{
    return QStringList{QString::number(c.BlackThreshold), QString::number(c.WhiteThreshold),
                       QString::number(c.DitherOn), QString::number(c.ColourChannel),
                       QString::number(static_cast<int>(c.Pictures.pattern)), QString::number(c.Pictures.gamma, 'g', 17),
                       QString::number(c.Pictures.autoExposure), QString::number(detailSliderValue)}
        .join(QLatin1Char(' '));
}

FitCounter::Request FitCounter::ofFolder(const QString& folder, const QStringList& frames, const Vars& colours,
                                         int detailSliderValue)
{
    Request request;
    request.screensKey = QStringList{folder, frames.join(QLatin1Char('/')), settingsKey(colours, detailSliderValue)}
                             .join(QLatin1Char('\n'));
    request.screens = [folder, frames, kept = coloursOf(colours), detailSliderValue](const std::atomic<bool>* cancel) {
        QtPictureLoader loader;
        return shownScreens(*kept, detailSliderValue, loader, folder, frames, cancel);
    };
    return request;
}

FitCounter::FitCounter(QObject* parent) : QObject(parent)
{
    rest_.setSingleShot(true);
    rest_.setInterval(300);
    connect(&rest_, &QTimer::timeout, this, [this] { startNext(); });
}

FitCounter::~FitCounter()
{
    stop();
    if (worker_ != nullptr) {
        worker_->wait();
        delete worker_;
    }
}

void FitCounter::count(Request request)
{
    pending_ = std::make_unique<Request>(std::move(request));
    // A count under way is stale now.
    cancel_ = true;
    rest_.start();
}

void FitCounter::stop()
{
    pending_.reset();
    rest_.stop();
    cancel_ = true;
}

void FitCounter::startNext()
{
    if (!pending_ || worker_ != nullptr) {
        return;  // the count under way starts the next when it ends
    }
    const std::shared_ptr<const Request> request(pending_.release());
    const QString key = request->screensKey;
    std::shared_ptr<const ShownScreens> known = key == screensKey_ ? screens_ : nullptr;
    cancel_ = false;
    emit started();
    worker_ = new JobThread([this, request, key, known] {
        std::shared_ptr<const ShownScreens> screens = known;
        if (!screens) {
            screens = std::make_shared<const ShownScreens>(request->screens(&cancel_));
        }
        const FitAdvice advice = adviseFit(request->question, *screens, &cancel_);
        const bool whole = !cancel_.load();
        QMetaObject::invokeMethod(
            this,
            [this, advice, screens, key, whole] {
                worker_->wait();
                delete worker_;
                worker_ = nullptr;
                if (whole) {
                    screensKey_ = key;
                    screens_ = screens;
                    if (!pending_) {
                        emit counted(advice);
                    }
                }
                if (pending_ && !rest_.isActive()) {
                    startNext();
                }
            },
            Qt::QueuedConnection);
    });
    worker_->setObjectName(QStringLiteral("FitCounter"));
    worker_->start();
}

}  // namespace zoetra
