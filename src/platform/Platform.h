#pragma once

#include <QString>

namespace zoetra {

class WindowLayer;
class FileSystem;
class PictureLoader;
class BuildLauncher;
class UniformRandom;

// Everything the logic needs from the windowing system and the operating
// system, handed to it as one bundle.
struct Platform {
    WindowLayer& window;
    FileSystem& files;
    PictureLoader& pictures;
    BuildLauncher& builds;
    UniformRandom& random;
    // The folder of the program's own executable, without a trailing separator.
    QString appDir;
};

}  // namespace zoetra
