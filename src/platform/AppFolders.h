#pragma once

#include <QString>

namespace zoetra {

// Where the program finds its own parts and where it writes.
//
// A portable copy (the build folder, a folder unpacked anywhere, the Windows
// layout) keeps everything in the folder of its executable, the application
// folder: the player source, the assembler and the packager, the sample
// frames, and the files a conversion writes. When that folder cannot be
// written, and always for an installed copy (the executables in bin/, the
// player source and the sample under share/zoetra2, the tools under
// libexec/zoetra2), a per-user working folder takes the application folder's
// part as the place of the generated files, the build's intermediates, the
// program file and the saved folders.
struct AppFolders {
    // Generated files, intermediates, the program file, the saved folders,
    // the conversion lock; the default output folder.
    QString workDir;
    // Where the player source VID.z80 is read from.
    QString playerDir;
    // Where TASM and DEVPAC8X are run from.
    QString toolsDir;
    // The bundled sample animation: the source folder of a first start.
    QString sampleDir;
    // Empty when the working folder is there to write into; else what is
    // wrong with it, naming it (a file in its place, a link to nothing).
    QString problem;

    // Everything in one folder, as the written layout has it; nothing is
    // probed.
    static AppFolders portable(const QString& folder);

    // The folders of the program whose executable lies in exeDir: the
    // portable layout when the player source lies beside the executable,
    // else the installed one. The working folder is exeDir when a file can
    // be made there (portable only), else perUserWorkDir(); it is created.
    static AppFolders locate(const QString& exeDir);

    // The per-user working folder (the platform's application data place,
    // ~/.local/share/zoetra2 on Linux).
    static QString perUserWorkDir();

    // True when a file can be created in the folder (a real try: rights,
    // read-only mounts and full disks all count).
    static bool canWriteIn(const QString& folder);

    // Makes the working folder where it is missing; empty when it is a
    // folder then, else the message that names what is in its place.
    static QString makeWorkDir(const QString& folder);

    bool usesWorkingFolder() const { return workDir != playerDir; }
};

}  // namespace zoetra
