#include "cli/Sending.h"

#include "cli/TerminalWindowLayer.h"
#include "shared/Text.h"

#ifdef ZOETRA_HAVE_LINK
#include "link/CalculatorLink.h"
#include "link/SendCheck.h"
#endif

#include <QFileInfo>

#include <cstdio>

namespace zoetra::cli {

namespace {

void say(std::FILE* stream, const QString& text)
{
    std::fprintf(stream, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stream);
}

}  // namespace

bool sendingAvailable()
{
#ifdef ZOETRA_HAVE_LINK
    return true;
#else
    return false;
#endif
}

#ifdef ZOETRA_HAVE_LINK

int sendToCalculator(const QStringList& files, const std::optional<VideoTarget>& madeFor, bool replace)
{
    const std::shared_ptr<link::CableSource> cables = link::systemCables();
    link::Sender sender(*cables);
    const link::Preparation preparation = sender.prepare(link::SendJob{link::filesToSend(files), madeFor});
    if (!preparation.ready) {
        say(stderr, preparation.message);
        return 1;
    }
    say(stderr, preparation.message);
    if (!preparation.note.isEmpty()) {
        say(stderr, preparation.note);
    }
    if (!preparation.sameNames.isEmpty() && !replace) {
        say(stderr, QStringLiteral("Not sent: the calculator already has %1. Nothing was changed on it; --replace "
                                   "replaces them.")
                        .arg(preparation.sameNames.join(QStringLiteral(", "))));
        return 1;
    }
    TerminalWindowLayer bar;
    const link::SendOutcome outcome =
        sender.send(replace, [&bar](std::int64_t done, std::int64_t total, const QString& variable) {
            bar.drawBar(total > 0 ? static_cast<double>(done) / static_cast<double>(total) : 1.0, variable);
        });
    bar.clearProgress();
    if (!outcome.sent) {
        say(stderr, outcome.message);
        return 1;
    }
    say(stdout, outcome.message);
    return 0;
}

int sendFileGiven(const Settings& settings)
{
    QString error;
    const std::optional<QStringList> files = link::filesOfProgram(settings.sendFile, error);
    if (!files) {
        say(stderr, error);
        return 1;
    }
    // What the options say the video was made for; the files tell where
    // its data lies.
    std::optional<VideoTarget> madeFor;
    const bool told = settings.given.contains(QStringLiteral("model")) || settings.given.contains(QStringLiteral("format")) ||
                      settings.given.contains(QStringLiteral("rate"));
    if (told) {
        madeFor = settings.target;
        madeFor->framesPerSecond = settings.rate.value_or(WrittenFramesPerSecond);
        const bool programAlone = files->size() == 1 && QFileInfo(settings.sendFile).suffix().toLower() == QLatin1String("8xp");
        madeFor->storage = programAlone ? Storage::Ram : Storage::Archive;
    }
    return sendToCalculator(*files, madeFor, settings.replace);
}

int takeFreeArchiveFromCalculator(Settings& settings)
{
    const std::shared_ptr<link::CableSource> cables = link::systemCables();
    const link::FreeArchiveReading reading = link::readFreeArchive(*cables);
    if (reading.status != link::FreeArchiveReading::Status::Read) {
        say(stderr, reading.message);
        return 1;
    }
    if (settings.given.contains(QStringLiteral("model")) && settings.target.model != reading.model) {
        say(stderr, QStringLiteral("--model %1 names another calculator than the %2 connected, whose free archive "
                                   "this is: leave --model out, or give --free-archive in bytes.")
                        .arg(toQString(settings.target.facts().key), link::modelName(reading.model)));
        return 1;
    }
    settings.target.model = reading.model;
    settings.target.freeArchiveBytes = reading.bytes;
    say(stderr, QStringLiteral("%1 The video is made for it (--model %2 --free-archive %3).")
                    .arg(reading.message, toQString(settings.target.facts().key))
                    .arg(reading.bytes));
    return 0;
}

#else

int sendToCalculator(const QStringList&, const std::optional<VideoTarget>&, bool)
{
    say(stderr, QStringLiteral("This build cannot send to a calculator."));
    return 1;
}

int sendFileGiven(const Settings&)
{
    return sendToCalculator({}, std::nullopt, false);
}

int takeFreeArchiveFromCalculator(Settings&)
{
    return sendToCalculator({}, std::nullopt, false);
}

#endif

}  // namespace zoetra::cli
