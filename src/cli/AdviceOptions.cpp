#include "cli/AdviceOptions.h"

#include "codec/Codec.h"
#include "program/ArchiveVideo.h"
#include "shared/Text.h"

namespace zoetra::cli {

namespace {

// The options of a proposal, each with the options given that it replaces.
struct Change {
    QString option;
    QStringList replaces;
};

}  // namespace

QStringList adviceOptions(const FitAdvice& advice, const Settings& settings)
{
    QStringList lines;
    if (const auto& proposal = advice.proposal) {
        const auto given = [&settings](const char* setting) {
            return settings.givenAs.value(QString::fromLatin1(setting));
        };
        std::vector<Change> changes;
        if (proposal->archiveChanged) {
            changes.push_back({QStringLiteral("--archive"), {}});
            if (settings.name.size() > archive::MaxProgramNameLength) {
                changes.push_back({QStringLiteral("--name ") + settings.name.left(archive::MaxProgramNameLength),
                                   given("name")});
            }
        }
        if (proposal->formatChanged) {
            changes.push_back({QStringLiteral("--format ") + toQString(codecFor(proposal->target.format).key),
                               given("format")});
        }
        if (proposal->rateChanged) {
            // The video is taken at the rate it plays at, unless --fps says
            // otherwise: that one then changes too.
            const QString rate = QString::number(proposal->target.framesPerSecond, 'g', 4);
            if (!given("fps").isEmpty()) {
                changes.push_back({QStringLiteral("--fps ") + rate, given("fps")});
            }
            if (!given("rate").isEmpty() || given("fps").isEmpty()) {
                changes.push_back({QStringLiteral("--rate ") + rate, given("rate")});
            }
        }
        if (proposal->end) {
            changes.push_back({QStringLiteral("--end ") + minutesAndSeconds(*proposal->end), given("end")});
        }
        QStringList options;
        QStringList replaced;
        for (const Change& change : changes) {
            options.append(change.option);
            replaced.append(change.replaces);
        }
        QString what = options.join(QLatin1Char(' '));
        if (!replaced.isEmpty()) {
            what += QStringLiteral(" (in place of %1)").arg(replaced.join(QLatin1Char(' ')));
        }
        const WhatFits& fits = proposal->fits;
        const QString bytes = QStringLiteral("%1 of %2 bytes").arg(groupedNumber(fits.bytes), groupedNumber(fits.limit));
        if (proposal->whole()) {
            lines.append(QStringLiteral("Add %1: all %2 frames fit, %3.").arg(what, groupedNumber(fits.frames), bytes));
        } else if (proposal->end) {
            lines.append(QStringLiteral("Add %1: the first %2 of the %3 frames fit, %4.")
                             .arg(what, groupedNumber(fits.fitting), groupedNumber(fits.frames), bytes));
        } else {
            lines.append(QStringLiteral("With %1 the most fits: the first %2 of the %3 frames, %4.")
                             .arg(what, groupedNumber(fits.fitting), groupedNumber(fits.frames), bytes));
        }
    }
    if (const QString elsewhere = elsewhereText(advice); !elsewhere.isEmpty()) {
        lines.append(elsewhere);
    }
    return lines;
}

}  // namespace zoetra::cli
