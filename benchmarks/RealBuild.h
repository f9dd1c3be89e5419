#pragma once

// A program built for a benchmark by the real assembler and packager, from
// the application folder's tools and player parts (ZOETRA_APP_DIR).
#include "platform/MemoryWindowLayer.h"
#include "platform/Platform.h"
#include "platform/QtBuildLauncher.h"
#include "platform/QtFileSystem.h"
#include "platform/QtPictureLoader.h"
#include "platform/UniformRandom.h"
#include "program/PlayerConfig.h"
#include "program/PlayerTarget.h"
#include "program/ProgramBuild.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

#include <cstdio>
#include <optional>

namespace zoetra::bench {

// The delivered program file's bytes, with the count of files delivered;
// nothing (with a line on standard error from `who`) when it cannot be built.
struct RealProgram {
    QByteArray program;
    long long files = 0;
};

inline std::optional<RealProgram> buildWithRealTools(const QString& name, const VideoTarget& target,
                                                     const BuildOptions& options, const char* who)
{
    QTemporaryDir folder;
    const QString appDir = QStringLiteral(ZOETRA_APP_DIR);
    const auto copyInto = [&](const QString& source) {
        return QFile::copy(source, QDir(folder.path()).filePath(QFileInfo(source).fileName()));
    };
    bool copied = folder.isValid();
    for (const QString& tool : {QStringLiteral("TASM"), QStringLiteral("DEVPAC8X")}) {
        copied = copied && copyInto(QDir(appDir).filePath(tool));
    }
    for (const QString& part : allPlayerParts()) {
        copied = copied && copyInto(QDir(appDir).filePath(part));
    }
    if (!copied) {
        std::fprintf(stderr, "%s: the tools and the player's parts are not in %s\n", who, qPrintable(appDir));
        return std::nullopt;
    }
    QtFileSystem files;
    QtPictureLoader pictures;
    QtBuildLauncher launcher(folder.path());
    UniformRandom random;
    MemoryWindowLayer window;
    Platform platform{window, files, pictures, launcher, random, folder.path()};
    if (WritePlayerConfig(files, folder.path(), QStringLiteral("No Shell"), 0, QStringLiteral("Benchmark"), target)) {
        std::fprintf(stderr, "%s: the player's configuration cannot be written\n", who);
        return std::nullopt;
    }
    const BuildOutcome built = BuildProgram(platform, name, folder.path(), target, options);
    if (built.status != BuildOutcome::Status::Delivered) {
        std::fprintf(stderr, "%s: the program was not built:\n%s\n", who, qPrintable(built.toolOutput));
        return std::nullopt;
    }
    QFile programFile(built.deliveredPath);
    if (!programFile.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "%s: the program built cannot be read\n", who);
        return std::nullopt;
    }
    return RealProgram{programFile.readAll(), static_cast<long long>(built.deliveredPaths.size())};
}

}  // namespace zoetra::bench
