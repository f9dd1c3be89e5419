#pragma once

#include "cli/Options.h"
#include "convert/FitAdvice.h"

#include <QStringList>

namespace zoetra::cli {

// The advice as the options to give the same command: "Add --archive
// --format dense: all 3,227 frames fit, 161,454 of 163,519 bytes.", with
// the options given that they replace, then the line of a model that would
// hold it all. Empty when there is nothing to advise.
QStringList adviceOptions(const FitAdvice& advice, const Settings& settings);

}  // namespace zoetra::cli
