#include "convert/ArchiveVideo.h"

#include <algorithm>

namespace zoetra::archive {

std::uint32_t videoIdentity(std::span<const std::uint8_t> stream)
{
    std::uint32_t hash = 2166136261u;
    for (const std::uint8_t byte : stream) {
        hash = (hash ^ byte) * 16777619u;
    }
    return hash;
}

QString appVarName(const QString& programName, int index)
{
    if (programName.isEmpty() || programName.size() > MaxProgramNameLength || index < 0 || index >= MaxAppVars) {
        return {};
    }
    return programName.toUpper() + QStringLiteral("%1").arg(index, 2, 10, QLatin1Char('0'));
}

std::vector<std::vector<std::uint8_t>> splitIntoAppVars(std::span<const std::uint8_t> stream)
{
    const std::uint32_t identity = videoIdentity(stream);
    const std::size_t count =
        std::max<std::size_t>(1, (stream.size() + StreamBytesPerAppVar - 1) / StreamBytesPerAppVar);
    std::vector<std::vector<std::uint8_t>> appVars;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t from = i * StreamBytesPerAppVar;
        const std::size_t to = std::min(stream.size(), from + StreamBytesPerAppVar);
        std::vector<std::uint8_t> data{'Z',
                                       'V',
                                       static_cast<std::uint8_t>(identity),
                                       static_cast<std::uint8_t>(identity >> 8),
                                       static_cast<std::uint8_t>(identity >> 16),
                                       static_cast<std::uint8_t>(identity >> 24),
                                       static_cast<std::uint8_t>(i),
                                       static_cast<std::uint8_t>(count)};
        data.insert(data.end(), stream.begin() + static_cast<std::ptrdiff_t>(from),
                    stream.begin() + static_cast<std::ptrdiff_t>(to));
        appVars.push_back(std::move(data));
    }
    return appVars;
}

int appVarsInArchive(std::int64_t freeBytes, int nameLength)
{
    const std::int64_t entry = 12 + nameLength + AppVarDataBytes;
    // A sector starts with its status byte; an entry never crosses its end.
    const std::int64_t perSector = (SectorBytes - 1) / entry;
    const std::int64_t sectors = freeBytes / SectorBytes;
    const std::int64_t rest = freeBytes % SectorBytes;
    const std::int64_t inRest = rest > 1 ? (rest - 1) / entry : 0;
    return static_cast<int>(std::min<std::int64_t>(MaxAppVars, sectors * perSector + inRest));
}

std::int64_t emptyArchiveBytes(CalculatorModel model)
{
    const ModelFacts& facts = modelFacts(model);
    const std::int64_t pages = facts.appsTopPage - facts.archiveFirstPage + 1;
    return pages * PageBytes - SectorBytes;
}

std::int64_t streamLimit(CalculatorModel model, const QString& programName, std::optional<std::int64_t> freeBytes)
{
    const int nameLength = static_cast<int>(std::min<qsizetype>(programName.size(), MaxProgramNameLength)) + 2;
    return static_cast<std::int64_t>(appVarsInArchive(freeBytes.value_or(emptyArchiveBytes(model)), nameLength)) *
           StreamBytesPerAppVar;
}

}  // namespace zoetra::archive
