#pragma once

#include "platform/BuildLauncher.h"

namespace zoetra {

// Runs command files: on Windows through cmd.exe with no window; elsewhere
// with the minimal batch runner, which looks every command up in the
// application folder first and then on PATH.
class QtBuildLauncher final : public BuildLauncher {
public:
    explicit QtBuildLauncher(QString appDir);
    std::unique_ptr<BuildProcess> start(const QString& batchFile, const QString& workingFolder) override;

private:
    QString appDir_;
};

}  // namespace zoetra
