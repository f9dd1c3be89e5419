#include "convert/FitAdvice.h"

#include "codec/Codec.h"
#include "program/ArchiveVideo.h"
#include "program/PlayerTarget.h"
#include "shared/Text.h"

#include <QLocale>

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>
#include <vector>

namespace zoetra {

namespace {

// One combination of the choices the search may change.
struct FitChoice {
    StreamFormat format;
    Storage storage;
    double framesPerSecond;

    auto key() const { return std::tuple(static_cast<int>(format), static_cast<int>(storage), framesPerSecond); }
};

// Counts choices once each, over the screens of the rate they ask for.
class ChoiceCounter {
public:
    ChoiceCounter(const FitQuestion& question, const ShownScreens& screens, const std::atomic<bool>* cancel)
        : question_(question), screens_(screens), cancel_(cancel)
    {
    }

    bool cancelled() const { return cancel_ != nullptr && cancel_->load(std::memory_order_relaxed); }

    VideoTarget targetOf(const FitChoice& choice) const
    {
        VideoTarget target = question_.target;
        target.format = choice.format;
        target.storage = choice.storage;
        target.framesPerSecond = choice.framesPerSecond;
        if (choice.storage == Storage::Archive) {
            target.freeArchiveBytes = question_.target.storage == Storage::Archive ? question_.target.freeArchiveBytes
                                                                                    : question_.freeArchiveBytes;
        } else {
            target.freeArchiveBytes.reset();
        }
        return target;
    }

    // What the choice holds; nothing when its screens cannot be had.
    std::optional<WhatFits> count(const FitChoice& choice)
    {
        const auto known = counted_.find(choice.key());
        if (known != counted_.end()) {
            return known->second;
        }
        const ShownScreens* screens = screensAt(choice.framesPerSecond);
        if (screens == nullptr || cancelled()) {
            return std::nullopt;
        }
        const WhatFits fits = fitScreens(*screens, targetOf(choice), cancel_);
        if (cancelled()) {
            return std::nullopt;
        }
        counted_.emplace(choice.key(), fits);
        return fits;
    }

    // Every choice counted at the rate of the choices made.
    std::vector<std::pair<FitChoice, WhatFits>> countedAtRate(double framesPerSecond) const
    {
        std::vector<std::pair<FitChoice, WhatFits>> found;
        for (const auto& [key, fits] : counted_) {
            if (std::get<2>(key) == framesPerSecond) {
                found.push_back({FitChoice{static_cast<StreamFormat>(std::get<0>(key)),
                                           static_cast<Storage>(std::get<1>(key)), std::get<2>(key)},
                                 fits});
            }
        }
        return found;
    }

private:
    const ShownScreens* screensAt(double framesPerSecond)
    {
        if (framesPerSecond == question_.target.framesPerSecond) {
            return &screens_;
        }
        auto found = atRate_.find(framesPerSecond);
        if (found == atRate_.end()) {
            std::optional<ShownScreens> made;
            if (question_.screensAt && !cancelled()) {
                made = question_.screensAt(framesPerSecond);
            }
            found = atRate_.emplace(framesPerSecond, std::move(made)).first;
        }
        return found->second ? &*found->second : nullptr;
    }

    const FitQuestion& question_;
    const ShownScreens& screens_;
    const std::atomic<bool>* cancel_;
    std::map<double, std::optional<ShownScreens>> atRate_;
    std::map<std::tuple<int, int, double>, WhatFits> counted_;
};

enum Axis : unsigned { FormatAxis = 1, ArchiveAxis = 2, RateAxis = 4 };

// The sets of axes in the order they are tried: fewer changes first, and
// among as many, the format before the archive before the rate.
constexpr std::array<unsigned, 7> AxisSets{FormatAxis,
                                           ArchiveAxis,
                                           RateAxis,
                                           FormatAxis | ArchiveAxis,
                                           FormatAxis | RateAxis,
                                           ArchiveAxis | RateAxis,
                                           FormatAxis | ArchiveAxis | RateAxis};

FitProposal proposalOf(const FitQuestion& question, const ChoiceCounter& counter, const FitChoice& choice,
                       const WhatFits& fits)
{
    FitProposal proposal;
    proposal.target = counter.targetOf(choice);
    proposal.formatChanged = choice.format != question.target.format;
    proposal.archiveChanged = choice.storage != question.target.storage;
    proposal.rateChanged = choice.framesPerSecond != question.target.framesPerSecond;
    proposal.fits = fits;
    return proposal;
}

// The rates below the one chosen that may hold every frame: a rate far above
// what the frames that fit at the chosen rate suggest is not worth taking
// the video again for.
std::vector<double> ratesToTry(double chosenRate, const WhatFits& atChosenRate)
{
    std::vector<double> rates;
    if (atChosenRate.frames == 0) {
        return rates;
    }
    const double suggested = chosenRate * atChosenRate.fitting / atChosenRate.frames;
    for (const double rate : LowerRates) {
        if (rate < chosenRate - 1e-9 && rate <= 2.0 * suggested + 1e-9) {
            rates.push_back(rate);
        }
    }
    return rates;
}

}  // namespace

FitAdvice adviseFit(const FitQuestion& question, const ShownScreens& screens, const std::atomic<bool>* cancel)
{
    FitAdvice advice;
    ChoiceCounter counter(question, screens, cancel);
    const VideoTarget& chosen = question.target;
    const FitChoice made{chosen.format, chosen.storage, chosen.framesPerSecond};
    if (const std::optional<WhatFits> fits = counter.count(made)) {
        advice.chosen = *fits;
    } else {
        advice.chosen.frames = static_cast<int>(screens.size());
        advice.chosen.target = chosen;
        return advice;
    }
    if (advice.chosen.all()) {
        return advice;
    }

    std::vector<StreamFormat> formats;
    for (const Codec& codec : allCodecs()) {
        if (codec.format != chosen.format) {
            formats.push_back(codec.format);
        }
    }
    const bool archiveOpen = chosen.storage != Storage::Archive;
    const bool ratesOpen = question.video && question.screensAt;

    for (const unsigned axes : AxisSets) {
        if (((axes & FormatAxis) && formats.empty()) || ((axes & ArchiveAxis) && !archiveOpen) ||
            ((axes & RateAxis) && !ratesOpen)) {
            continue;
        }
        const std::vector<StreamFormat> formatsTried =
            (axes & FormatAxis) ? formats : std::vector<StreamFormat>{chosen.format};
        const Storage storage = (axes & ArchiveAxis) ? Storage::Archive : chosen.storage;
        for (const StreamFormat format : formatsTried) {
            const FitChoice atChosenRate{format, storage, chosen.framesPerSecond};
            const std::optional<WhatFits> base = counter.count(atChosenRate);
            if (!base) {
                return advice;  // cancelled
            }
            if (!(axes & RateAxis)) {
                if (base->all()) {
                    advice.proposal = proposalOf(question, counter, atChosenRate, *base);
                    return advice;
                }
                continue;
            }
            for (const double rate : ratesToTry(chosen.framesPerSecond, *base)) {
                const FitChoice lower{format, storage, rate};
                const std::optional<WhatFits> fits = counter.count(lower);
                if (counter.cancelled()) {
                    return advice;
                }
                if (fits && fits->all()) {
                    advice.proposal = proposalOf(question, counter, lower, *fits);
                    return advice;
                }
            }
        }
    }

    // No set holds the whole: the one that holds the most at the chosen
    // rate, the fewest changes first, and for a video the end that keeps it.
    std::optional<FitProposal> most;
    for (const auto& [choice, fits] : counter.countedAtRate(chosen.framesPerSecond)) {
        FitProposal candidate = proposalOf(question, counter, choice, fits);
        if (!most || fits.fitting > most->fits.fitting ||
            (fits.fitting == most->fits.fitting && candidate.changes() < most->changes())) {
            most = candidate;
        }
    }
    if (most && (most->changes() > 0 || question.video)) {
        if (question.video) {
            most->end = endThatFits(*question.video, most->fits.fitting);
        }
        advice.proposal = most;
    }

    // Told only: the model with the smallest archive that would hold it all.
    const std::int64_t chosenArchive = archive::emptyArchiveBytes(chosen.model);
    std::vector<CalculatorModel> larger;
    for (const ModelFacts& facts : Models) {
        if (archive::emptyArchiveBytes(facts.model) > chosenArchive) {
            larger.push_back(facts.model);
        }
    }
    std::stable_sort(larger.begin(), larger.end(), [](CalculatorModel a, CalculatorModel b) {
        return archive::emptyArchiveBytes(a) < archive::emptyArchiveBytes(b);
    });
    for (const CalculatorModel model : larger) {
        for (const Codec& codec : allCodecs()) {
            VideoTarget other = chosen;
            other.model = model;
            other.storage = Storage::Archive;
            other.format = codec.format;
            other.freeArchiveBytes.reset();
            if (fitScreens(screens, other, cancel).all() && !counter.cancelled()) {
                advice.elsewhere = other;
                return advice;
            }
        }
    }
    return advice;
}

QString groupedNumber(std::int64_t value)
{
    return QLocale(QLocale::English, QLocale::UnitedStates).toString(static_cast<qlonglong>(value));
}

QString minutesAndSeconds(double seconds)
{
    const auto tenths = static_cast<long long>(std::llround(seconds * 10.0));
    return QStringLiteral("%1:%2")
        .arg(tenths / 600)
        .arg(static_cast<double>(tenths % 600) / 10.0, 4, 'f', 1, QLatin1Char('0'));
}

namespace {

QString formatName(StreamFormat format)
{
    return toQString(codecFor(format).key);
}

QString rateText(double framesPerSecond)
{
    return QString::number(framesPerSecond, 'g', 4);
}

// "in the archive as dense video, taken at 14.75 frames a second"
QString whereText(const FitProposal& proposal)
{
    QStringList where;
    if (proposal.archiveChanged) {
        where.append(QStringLiteral("in the archive"));
    }
    if (proposal.formatChanged) {
        where.append(QStringLiteral("as %1 video").arg(formatName(proposal.target.format)));
    }
    QString text = where.join(QLatin1Char(' '));
    if (proposal.rateChanged) {
        if (!text.isEmpty()) {
            text += QLatin1String(", ");
        }
        text += QStringLiteral("taken at %1 frames a second").arg(rateText(proposal.target.framesPerSecond));
    }
    return text;
}

QString bytesText(const WhatFits& fits)
{
    return QStringLiteral("%1 of %2 bytes").arg(groupedNumber(fits.bytes), groupedNumber(fits.limit));
}

}  // namespace

QStringList adviceWords(const FitAdvice& advice, const QString& programName)
{
    QStringList lines;
    if (const auto& proposal = advice.proposal) {
        const WhatFits& fits = proposal->fits;
        const QString where = whereText(*proposal);
        const QString at = where.isEmpty() ? QString() : QLatin1Char(' ') + where;
        QString line;
        if (proposal->whole()) {
            line = QStringLiteral("The whole video fits%1: all %2 frames, %3.")
                       .arg(at, groupedNumber(fits.frames), bytesText(fits));
        } else {
            line = QStringLiteral("The most that fits%1: the first %2 of the %3 frames, %4")
                       .arg(at, groupedNumber(fits.fitting), groupedNumber(fits.frames), bytesText(fits));
            if (proposal->end) {
                line += QStringLiteral(", with the video ended at %1 (End in the import)")
                            .arg(minutesAndSeconds(*proposal->end));
            }
            line += QLatin1Char('.');
        }
        // The button on the "Calculator" page makes the choices; a rate or an
        // end is the import's, which it opens.
        const bool choices = proposal->formatChanged || proposal->archiveChanged;
        const bool import = proposal->rateChanged || proposal->end;
        if (choices && import) {
            line += QStringLiteral(" \"Make It Fit\" on the \"Calculator\" page makes these choices and opens the "
                                   "import on the video with them.");
        } else if (choices) {
            line += QStringLiteral(" \"Make It Fit\" on the \"Calculator\" page makes %1.")
                        .arg(proposal->changes() > 1 ? QStringLiteral("these choices") : QStringLiteral("this choice"));
        } else if (import) {
            line += QStringLiteral(" \"Make It Fit\" on the \"Calculator\" page opens the import on the video "
                                   "with %1.")
                        .arg(proposal->rateChanged ? QStringLiteral("that rate") : QStringLiteral("that end"));
        }
        if (proposal->archiveChanged && programName.size() > archive::MaxProgramNameLength) {
            line += QStringLiteral(" A video in the archive needs a File Name of %1 or less characters.")
                        .arg(archive::MaxProgramNameLength);
        }
        lines.append(line);
    }
    if (const QString elsewhere = elsewhereText(advice); !elsewhere.isEmpty()) {
        lines.append(elsewhere);
    }
    return lines;
}

QString fitSummary(const WhatFits& fits)
{
    if (fits.all()) {
        return QStringLiteral("All %1 frames fit, %2.").arg(groupedNumber(fits.frames), bytesText(fits));
    }
    const double played = playedFramesPerSecond(fits.target);
    return QStringLiteral("%1 of the %2 frames fit: %3 of %4 seconds.")
        .arg(groupedNumber(fits.fitting), groupedNumber(fits.frames), QString::number(fits.seconds(), 'f', 1),
             QString::number(fits.frames / played, 'f', 1));
}

QString adviceSummary(const FitAdvice& advice)
{
    if (!advice.proposal) {
        return QString();
    }
    const FitProposal& proposal = *advice.proposal;
    QString where = whereText(proposal);
    if (proposal.end) {
        where += (where.isEmpty() ? QString() : QStringLiteral(", ")) +
                 QStringLiteral("ended at %1").arg(minutesAndSeconds(*proposal.end));
    }
    if (proposal.whole()) {
        return QStringLiteral("All of it fits %1: %2.").arg(where, bytesText(proposal.fits));
    }
    return QStringLiteral("The most, %1 frames, fits %2.").arg(groupedNumber(proposal.fits.fitting), where);
}

QString elsewhereText(const FitAdvice& advice)
{
    if (!advice.elsewhere) {
        return QString();
    }
    return QStringLiteral("A %1 would hold it all in its archive as %2 video.")
        .arg(toQString(advice.elsewhere->facts().name), formatName(advice.elsewhere->format));
}

}  // namespace zoetra
