#pragma once

#include <QLabel>
#include <QString>
#include <QWidget>

#include <utility>

namespace zoetra {

// A control at a fixed place in its parent, named for the tests; the
// window's pages are laid out this way.
template <typename Widget, typename... Args>
Widget* place(QWidget* parent, const char* name, int x, int y, int width, int height, Args&&... args)
{
    auto* widget = new Widget(std::forward<Args>(args)..., parent);
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(x, y, width, height);
    return widget;
}

// A label with its text at the top left, wrapped or not.
inline QLabel* label(QWidget* parent, const char* name, int x, int y, int width, int height, const QString& text,
                     bool wraps = false)
{
    auto* widget = place<QLabel>(parent, name, x, y, width, height, text);
    widget->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    widget->setWordWrap(wraps);
    return widget;
}

}  // namespace zoetra
