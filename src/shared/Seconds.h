#pragma once

#include <QString>
#include <QStringList>

#include <cmath>
#include <optional>

namespace zoetra {

// Seconds as "12.5", "1:30" or "1:02:03.5": minutes and hours whole, the
// parts after a colon below 60. Nothing when the text is none of these.
inline std::optional<double> parseSeconds(const QString& text)
{
    const QStringList parts = text.trimmed().split(QLatin1Char(':'));
    if (parts.isEmpty() || parts.size() > 3) {
        return std::nullopt;
    }
    double seconds = 0.0;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        bool ok = false;
        const double value = parts[i].toDouble(&ok);
        const bool last = i + 1 == parts.size();
        if (!ok || !(value >= 0.0) || (!last && value != std::floor(value)) || (i > 0 && value >= 60.0)) {
            return std::nullopt;
        }
        seconds = seconds * 60.0 + value;
    }
    return seconds;
}

}  // namespace zoetra
