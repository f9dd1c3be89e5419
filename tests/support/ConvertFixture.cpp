#include "support/ConvertFixture.h"

#include "support/TestSupport.h"

#include <QDir>

namespace zoetra::test {

void setGridFromFrame(Vars& vars, const Frame& frame)
{
    for (std::size_t i = 0; i < FrameByteCount; ++i) {
        const std::size_t y = i / BytesPerRow;
        const std::size_t x0 = 8 * (i % BytesPerRow);
        for (std::size_t k = 0; k < 8; ++k) {
            vars.PixelGrid[x0 + k][y] = static_cast<std::int16_t>((frame[i] >> (7 - k)) & 1);
        }
    }
}

namespace {

class FakeProcess final : public BuildProcess {
public:
    FakeProcess(FakeBuildLauncher& owner) : owner_(owner) {}
    bool waitForEnd(int) override { return !owner_.hangs || owner_.terminated; }
    void terminate() override { owner_.terminated = true; }
    QString output() const override { return owner_.output; }
    bool succeeded() const override { return !owner_.fails && !owner_.terminated; }

private:
    FakeBuildLauncher& owner_;
};

}  // namespace

std::unique_ptr<BuildProcess> FakeBuildLauncher::start(const QString& batchFile, const QString& workingFolder)
{
    ++starts;
    startedBatch = batchFile;
    startedIn = workingFolder;
    if (action) {
        action();
    }
    return std::make_unique<FakeProcess>(*this);
}

ConvertFixture::ConvertFixture()
    : platform{window, files, pictures, builds, random, QString()}
{
    QDir(root.path()).mkdir(QStringLiteral("app"));
    QDir(root.path()).mkdir(QStringLiteral("out"));
    platform.appDir = root.filePath(QStringLiteral("app"));
    vars.OutDir = root.filePath(QStringLiteral("out"));
    vars.LastDir = platform.appDir;
}

void ConvertFixture::useFrames(const std::vector<Frame>& frames)
{
    frameData = frames;
    window.frames.clear();
    for (std::size_t i = 0; i < frames.size(); ++i) {
        window.frames.append(QStringLiteral("frame%1.bmp").arg(i));
    }
    window.onFrameSelected = [this](int index) {
        setGridFromFrame(vars, frameData.at(static_cast<std::size_t>(index)));
        return true;
    };
}

void ConvertFixture::toolsWrite(const QString& fileName, const QByteArray& bytes)
{
    builds.action = [this, fileName, bytes] { writeAll(app(fileName), bytes); };
}

}  // namespace zoetra::test
