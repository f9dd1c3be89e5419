#pragma once

#include "convert/FitAdvice.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>

namespace zoetra {

struct Vars;

// Counts what fits of the frames in use, and searches for the changes that
// make them fit, off the window's thread: asked again at every change of a
// choice, it counts once the choices have rested a moment, and drops a
// count the next change makes stale. The screens of a folder under given
// colour settings and quality are kept, so a change of the target alone
// only codes them again.
class FitCounter final : public QObject {
    Q_OBJECT

public:
    struct Request {
        // Makes the shown screens off the window's thread (fewer when the
        // cancel flag is set), and what they are made of: screens made of
        // the same are made once.
        std::function<ShownScreens(const std::atomic<bool>* cancel)> screens;
        QString screensKey;
        FitQuestion question;
    };
    // The screens of the frame files of a folder under the colour settings
    // and the quality.
    static Request ofFolder(const QString& folder, const QStringList& frames, const Vars& colours,
                            int detailSliderValue);
    // A copy of the colour settings that a thread may keep.
    static std::shared_ptr<const Vars> coloursOf(const Vars& vars);
    // The colour settings and the quality as part of a screens key.
    static QString settingsKey(const Vars& colours, int detailSliderValue);

    explicit FitCounter(QObject* parent = nullptr);
    ~FitCounter() override;

    // Counts the request after a rest, in place of any earlier one.
    void count(Request request);
    // Drops what is asked and stops a count under way.
    void stop();
    bool counting() const { return worker_ != nullptr || rest_.isActive(); }

    // How long the choices rest before a count, in milliseconds.
    void setRest(int milliseconds) { rest_.setInterval(milliseconds); }

signals:
    void started();
    void counted(const zoetra::FitAdvice& advice);

private:
    void startNext();

    QTimer rest_;
    std::unique_ptr<Request> pending_;
    QThread* worker_ = nullptr;
    std::atomic<bool> cancel_{false};
    // The screens last made, and what they were made of.
    QString screensKey_;
    std::shared_ptr<const ShownScreens> screens_;
};

}  // namespace zoetra
