#pragma once

#include "platform/BuildLauncher.h"
#include "platform/FileSystem.h"
#include "platform/MemoryWindowLayer.h"
#include "platform/Platform.h"
#include "platform/QtFileSystem.h"
#include "platform/QtPictureLoader.h"
#include "platform/UniformRandom.h"
#include "shared/Vars.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <vector>

namespace zoetra::test {

using Frame = std::array<std::uint8_t, FrameByteCount>;

inline Frame filledFrame(std::uint8_t value)
{
    Frame f;
    f.fill(value);
    return f;
}

// Sets the grid so that packing it gives the frame.
void setGridFromFrame(Vars& vars, const Frame& frame);

// The real file system with switchable faults.
class FaultyFileSystem final : public FileSystem {
public:
    bool writeFile(const QString& path, const QByteArray& bytes, QString* error = nullptr) override
    {
        return !writeFails(error) && real.writeFile(path, bytes, error);
    }
    std::optional<QString> writeTemporaryFile(const QString& place, const QByteArray& bytes,
                                              QString* error = nullptr) override
    {
        if (writeFails(error)) {
            return std::nullopt;
        }
        return real.writeTemporaryFile(place, bytes, error);
    }
    std::optional<QByteArray> readFile(const QString& path, qint64 maxBytes) override
    {
        return real.readFile(path, maxBytes);
    }
    std::optional<QStringList> listFiles(const QString& folder, bool withHidden) override
    {
        return real.listFiles(folder, withHidden);
    }
    bool removeFile(const QString& path, QString* error = nullptr) override { return real.removeFile(path, error); }
    bool renameFile(const QString& from, const QString& to, QString* error = nullptr) override
    {
        if (renamesBeforeFailure >= 0 && renamesBeforeFailure-- == 0) {
            if (error != nullptr) {
                *error = QStringLiteral("Input/output error");
            }
            return false;
        }
        return real.renameFile(from, to, error);
    }
    bool replaceFile(const QString& source, const QString& destination, QString* error = nullptr) override
    {
        return real.replaceFile(source, destination, error);
    }
    QString canonicalPath(const QString& path) override { return real.canonicalPath(path); }
    bool isDirectory(const QString& path) override { return real.isDirectory(path); }

    bool failWrites = false;
    // Writes that succeed before every later one fails; -1: no such limit.
    int writesLeft = -1;
    // Renames that succeed before one fails (the later ones succeed
    // again); -1: none fails.
    int renamesBeforeFailure = -1;
    QtFileSystem real;

private:
    bool writeFails(QString* error)
    {
        const bool fails = failWrites || writesLeft == 0;
        if (writesLeft > 0) {
            --writesLeft;
        }
        if (fails && error != nullptr) {
            *error = QStringLiteral("Disk full");
        }
        return fails;
    }
};

// A build launcher that plays the tools: it runs an action when started and
// ends at once, or never (until terminated).
class FakeBuildLauncher final : public BuildLauncher {
public:
    std::unique_ptr<BuildProcess> start(const QString& batchFile, const QString& workingFolder) override;

    std::function<void()> action;  // what the "tools" do
    QString output = QStringLiteral("tool output\n");
    bool hangs = false;
    bool fails = false;  // a tool exits with a status other than 0

    int starts = 0;
    QString startedBatch;
    QString startedIn;
    bool terminated = false;
};

// A platform whose application folder is a fresh temporary folder, with an
// output folder beside it.
class ConvertFixture : public testing::Test {
protected:
    ConvertFixture();

    QString app(const QString& name) const { return joinPath(platform.appDir, name); }
    QString out(const QString& name) const { return joinPath(vars.OutDir, name); }
    // The frames of the frame list; selecting entry i sets the grid to frames[i].
    void useFrames(const std::vector<Frame>& frames);
    // Makes the fake tools write a program file of this name.
    void toolsWrite(const QString& fileName, const QByteArray& bytes = "program");

    QTemporaryDir root;
    Vars vars;
    MemoryWindowLayer window;
    FaultyFileSystem files;
    QtPictureLoader pictures;
    FakeBuildLauncher builds;
    UniformRandom random;
    Platform platform;
    std::vector<Frame> frameData;
};

}  // namespace zoetra::test
