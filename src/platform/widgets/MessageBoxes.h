#pragma once

#include "platform/WindowLayer.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QMessageBox;
class QWidget;

namespace zoetra {

// Every message box of the window goes through here: a modal box with the
// text, the title, an icon and one OK button. Tests and unattended runs set
// a hook that takes the messages instead of showing them.
class MessageBoxes {
public:
    struct Message {
        QString text;
        QString title;
        MessageIcon icon;
    };
    using Hook = std::function<void(const Message&)>;

    // Returns when the box has been dismissed (or the hook has returned).
    static void show(QWidget* owner, const QString& text, const QString& title, MessageIcon icon);

    // The box that show() would run, for showing without blocking.
    static std::unique_ptr<QMessageBox> build(QWidget* owner, const QString& text, const QString& title,
                                              MessageIcon icon);

    // An empty hook shows the boxes again.
    static void setHook(Hook hook);

    // A question with a button for each answer and a Cancel button: the
    // index of the answer chosen, or -1 for Cancel and a box closed.
    struct Question {
        QString text;
        QString title;
        QStringList answers;
    };
    using QuestionHook = std::function<int(const Question&)>;
    static int ask(QWidget* owner, const QString& text, const QString& title, const QStringList& answers);
    static std::unique_ptr<QMessageBox> buildQuestion(QWidget* owner, const QString& text, const QString& title,
                                                      const QStringList& answers);
    static void setQuestionHook(QuestionHook hook);
};

}  // namespace zoetra
