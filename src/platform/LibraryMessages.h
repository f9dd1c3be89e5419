#pragma once

namespace zoetra {

// Keeps what the picture libraries under Qt print (libpng's and libjpeg's
// warnings, which Qt passes on in its image category) off standard error:
// the program's own message says what went wrong with a picture. The
// QT_LOGGING_RULES variable can bring them back for debugging.
void quietLibraryMessages();

}  // namespace zoetra
