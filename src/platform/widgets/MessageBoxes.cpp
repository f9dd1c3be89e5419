#include "platform/widgets/MessageBoxes.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>

namespace zoetra {

namespace {

MessageBoxes::Hook& hook()
{
    static MessageBoxes::Hook instance;
    return instance;
}

MessageBoxes::QuestionHook& questionHook()
{
    static MessageBoxes::QuestionHook instance;
    return instance;
}

QMessageBox::Icon boxIcon(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Error:
        return QMessageBox::Critical;
    case MessageIcon::Warning:
        return QMessageBox::Warning;
    case MessageIcon::Information:
        break;
    }
    return QMessageBox::Information;
}

}  // namespace

void MessageBoxes::show(QWidget* owner, const QString& text, const QString& title, MessageIcon icon)
{
    if (hook()) {
        hook()({text, title, icon});
        return;
    }
    build(owner, text, title, icon)->exec();
}

std::unique_ptr<QMessageBox> MessageBoxes::build(QWidget* owner, const QString& text, const QString& title,
                                                 MessageIcon icon)
{
    // Messages break their lines with CR LF; a label wants LF alone.
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    auto box = std::make_unique<QMessageBox>(boxIcon(icon), title, shown, QMessageBox::Ok, owner);
    box->setTextFormat(Qt::PlainText);
    return box;
}

void MessageBoxes::setHook(Hook newHook)
{
    hook() = std::move(newHook);
}

int MessageBoxes::ask(QWidget* owner, const QString& text, const QString& title, const QStringList& answers)
{
    if (questionHook()) {
        return questionHook()({text, title, answers});
    }
    const auto box = buildQuestion(owner, text, title, answers);
    box->exec();
    for (qsizetype i = 0; i < answers.size(); ++i) {
        if (box->clickedButton() != nullptr && box->clickedButton()->text() == answers.at(i)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

std::unique_ptr<QMessageBox> MessageBoxes::buildQuestion(QWidget* owner, const QString& text, const QString& title,
                                                         const QStringList& answers)
{
    auto box = std::make_unique<QMessageBox>(QMessageBox::Question, title, text, QMessageBox::NoButton, owner);
    box->setTextFormat(Qt::PlainText);
    for (qsizetype i = 0; i < answers.size(); ++i) {
        QPushButton* button = box->addButton(answers.at(i), QMessageBox::AcceptRole);
        if (i == 0) {
            box->setDefaultButton(button);
        }
    }
    box->setEscapeButton(box->addButton(QMessageBox::Cancel));
    return box;
}

void MessageBoxes::setQuestionHook(QuestionHook newHook)
{
    questionHook() = std::move(newHook);
}

}  // namespace zoetra
