#include "convert/ConversionRun.h"

#include "convert/PlayerConfig.h"
#include "convert/VideoEncoder.h"
#include "imaging/Conversion.h"
#include "platform/FileSystem.h"
#include "platform/Platform.h"
#include "platform/WindowLayer.h"
#include "shared/Vars.h"

#include <cmath>

namespace zoetra {

const QString ConversionRun::NameTooLongMessage =
    QStringLiteral("Error: Filename must be 8 or less characters!");
const QString ConversionRun::NameCharactersMessage =
    QStringLiteral("Error: Filename may only contain letters and digits!");
const QString ConversionRun::TooLargeMessage =
    QStringLiteral("Error: File size is too large! Try turning down the quality a bit...");
const QString ConversionRun::NotBuiltMessage =
    QStringLiteral("Error: The calculator program could not be built!");
const QString ConversionRun::NotCopiedMessage =
    QStringLiteral("Error: The calculator program could not be copied to the output folder!");

QString programNameProblem(const QString& name)
{
    if (name.size() > 8) {
        return ConversionRun::NameTooLongMessage;
    }
    for (const QChar c : name) {
        const char16_t u = c.unicode();
        const bool asciiLetterOrDigit = (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z') ||
                                        (u >= u'0' && u <= u'9');
        if (!asciiLetterOrDigit) {
            return ConversionRun::NameCharactersMessage;
        }
    }
    return {};
}

ConversionRun::ConversionRun(Vars& vars, Platform& platform) : vars_(vars), platform_(platform) {}

RunOutcome ConversionRun::RunConversion()
{
    // The run shares the frame buffers with anything that runs during its
    // yields; a second press meanwhile would overwrite them.
    if (inProgress_) {
        return {};
    }
    inProgress_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{inProgress_};
    return run();
}

RunOutcome ConversionRun::run()
{
    WindowLayer& window = platform_.window;
    RunOutcome outcome;

    // The name is taken once, here, for every later step.
    const QString name = window.programName();
    if (const QString problem = programNameProblem(name); !problem.isEmpty()) {
        window.showMessage(problem, QStringLiteral("Error"), MessageIcon::Error);
        outcome.status = RunOutcome::Status::NameRefused;
        return outcome;
    }

    // From here on a failing step is passed over and the run goes on.
    RemoveStaleProgram(platform_.files, platform_.appDir, name);
    WritePlayerConfig(platform_.files, platform_.appDir, window.shellChoice(), window.loopingState(),
                      window.descriptionText());

    window.setProgressValue(ProgressBar::TotalProgress, 0);
    window.setProgressValue(ProgressBar::ByteWriter, 0);
    window.setProgressValue(ProgressBar::CompressionVal, 0);
    window.yieldToEvents();
    window.setProgressPanelVisible(true);

    vars_.ByteCount = 0;
    window.setProgressMaximum(ProgressBar::TotalProgress, window.frameListCount() - 1);

    window.selectFrameListEntry(0);
    PackFrame(vars_);
    StartVideoStream(vars_);

    double ratio = 0.0;
    const int frameCount = window.frameListCount();
    for (int f = 1; f < frameCount; ++f) {
        window.setProgressValue(ProgressBar::TotalProgress, f);
        window.selectFrameListEntry(f);
        PackFrame(vars_);
        const FrameEncoding encoded = EncodeDeltaFrame(vars_, platform_, f);
        ratio = encoded.ratio;
        if (encoded.overLimit) {
            window.showMessage(TooLargeMessage, QStringLiteral("Error!"), MessageIcon::Warning);
            window.setProgressPanelVisible(false);
            outcome.status = RunOutcome::Status::TooLarge;
            outcome.size = vars_.ByteCount;
            return outcome;
        }
    }

    EndVideoStream(vars_);
    WriteVideoData(vars_, platform_);
    outcome.size = vars_.ByteCount;

    const BuildOutcome built = BuildProgram(platform_, name, vars_.OutDir, buildOptions);
    window.setProgressPanelVisible(false);

    switch (built.status) {
    case BuildOutcome::Status::NotBuilt: {
        QString text = NotBuiltMessage + QLatin1String("\r\n") + built.toolOutput;
        window.showMessage(text, QStringLiteral("Error"), MessageIcon::Error);
        outcome.status = RunOutcome::Status::NotBuilt;
        return outcome;
    }
    case BuildOutcome::Status::NotCopied:
        window.showMessage(NotCopiedMessage + QLatin1String("\r\n") + nativePath(vars_.OutDir),
                           QStringLiteral("Error"), MessageIcon::Error);
        outcome.status = RunOutcome::Status::NotCopied;
        return outcome;
    case BuildOutcome::Status::Delivered:
        break;
    }

    const QString report = QStringLiteral("Successfully converted!\r\n"
                                          "Size of converted video data: %1b.\r\n"
                                          "Compression vs Full Frames: %2% of full size.")
                               .arg(vars_.ByteCount)
                               .arg(static_cast<long long>(std::trunc(ratio)));
    window.showMessage(report, QStringLiteral("Zoetra2"), MessageIcon::Information);
    outcome.status = RunOutcome::Status::Delivered;
    outcome.deliveredPath = built.deliveredPath;
    return outcome;
}

}  // namespace zoetra
