#pragma once

#include <QFont>

namespace zoetra::AppFonts {

// Tahoma 8.25 pt for every text of the window. Wine's Tahoma is added to
// the application's fonts when it is installed; without it Qt quietly picks
// a substitute.
QFont windowFont();
// Tahoma 11.25 pt bold, for the title in the preview panel.
QFont titleFont();

}  // namespace zoetra::AppFonts
