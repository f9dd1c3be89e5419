#include "platform/widgets/MessageBoxes.h"

#include <QMessageBox>

namespace zoetra {

namespace {

MessageBoxes::Hook& hook()
{
    static MessageBoxes::Hook instance;
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

}  // namespace zoetra
