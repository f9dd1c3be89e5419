#pragma once

#include "cli/Options.h"

#include <QStringList>

#include <optional>

namespace zoetra::cli {

// Whether this build can talk to a calculator (it needs libticalcs2,
// libticables2 and libtifiles2).
bool sendingAvailable();

// Sends the files to the connected calculator (of a delivery, the program
// and its AppVar files): what goes where and any note
// on standard error, a progress bar there when it is a terminal, and what is
// on the calculator with how to start it on standard output. Variables of
// the same names already there are replaced only with `replace`; without
// it the sending is refused, naming them. 0, or 1 with the reason.
int sendToCalculator(const QStringList& files, const std::optional<VideoTarget>& madeFor, bool replace);

// --send-file: the program file given with the files of its video beside
// it; what it was made for as far as --model, --format and --rate say.
int sendFileGiven(const Settings& settings);

// --free-archive calculator: asks the connected calculator for its free
// archive and puts it, with the calculator's model where --model did not
// name one, into the target. 0, or 1 with the reason (over a link cable,
// how to read it by hand).
int takeFreeArchiveFromCalculator(Settings& settings);

}  // namespace zoetra::cli
