#include "link/SendCheck.h"

#include "program/ArchiveVideo.h"
#include "shared/Text.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>

#include <algorithm>
#include <functional>

namespace zoetra::link {

namespace {

bool isProgram(std::uint8_t type)
{
    return type == ProgramType || type == ProtectedProgramType;
}

QString kindOf(std::uint8_t type, bool plural)
{
    if (isProgram(type)) {
        return plural ? QStringLiteral("programs") : QStringLiteral("program");
    }
    if (type == AppVarType) {
        return plural ? QStringLiteral("AppVars") : QStringLiteral("AppVar");
    }
    return plural ? QStringLiteral("variables") : QStringLiteral("variable");
}

QString nameOf(const VariableInfo& variable)
{
    return QString::fromLatin1(variable.name);
}

QString bytesText(std::int64_t bytes)
{
    return QLocale(QLocale::English).toString(static_cast<qlonglong>(bytes));
}

QString suffixOf(const QString& path)
{
    return QFileInfo(path).suffix().toLower();
}

// The files of the folder that the test accepts, in the order of the
// number `numberOf` finds in their names.
QStringList numberedBeside(const QFileInfo& file, const std::function<bool(const QString&)>& accepts,
                           const std::function<int(const QString&)>& numberOf)
{
    QStringList names;
    for (const QString& name : file.absoluteDir().entryList(QDir::Files | QDir::Hidden)) {
        if (accepts(name)) {
            names.append(name);
        }
    }
    std::sort(names.begin(), names.end(),
              [&](const QString& a, const QString& b) { return numberOf(a) < numberOf(b); });
    QStringList paths;
    for (const QString& name : names) {
        paths.append(file.absoluteDir().filePath(name));
    }
    return paths;
}

}  // namespace

QString describe(const VariableInfo& variable)
{
    return QStringLiteral("%1 (%2)").arg(nameOf(variable), kindOf(variable.type, false));
}

QString describeAll(const std::vector<VariableInfo>& variables)
{
    QStringList parts;
    std::size_t i = 0;
    while (i < variables.size()) {
        const bool program = isProgram(variables[i].type);
        std::size_t end = i + 1;
        while (end < variables.size() && isProgram(variables[end].type) == program &&
               (program || variables[end].type == variables[i].type)) {
            ++end;
        }
        const std::size_t count = end - i;
        const QString kind = kindOf(variables[i].type, count > 1);
        if (count == 1) {
            parts.append(describe(variables[i]));
        } else if (count == 2) {
            parts.append(QStringLiteral("%1 and %2 (%3)").arg(nameOf(variables[i]), nameOf(variables[i + 1]), kind));
        } else {
            parts.append(QStringLiteral("%1 to %2 (%3 %4)")
                             .arg(nameOf(variables[i]), nameOf(variables[end - 1]))
                             .arg(count)
                             .arg(kind));
        }
        i = end;
    }
    return parts.join(QStringLiteral(", "));
}

bool sameSlot(const VariableInfo& a, const VariableInfo& b)
{
    if (a.name != b.name) {
        return false;
    }
    return (isProgram(a.type) && isProgram(b.type)) || a.type == b.type;
}

std::vector<VariableInfo> sameNames(const std::vector<VariableInfo>& ours, const std::vector<VariableInfo>& theirs)
{
    std::vector<VariableInfo> found;
    for (const VariableInfo& mine : ours) {
        for (const VariableInfo& other : theirs) {
            if (sameSlot(mine, other)) {
                found.push_back(other);
            }
        }
    }
    return found;
}

QStringList filesToSend(const QStringList& delivered)
{
    const bool single = std::any_of(delivered.begin(), delivered.end(), [](const QString& path) {
        const QString suffix = suffixOf(path);
        return suffix == QLatin1String("8xp") || suffix == QLatin1String("8xv");
    });
    QStringList files;
    for (const QString& path : delivered) {
        const QString suffix = suffixOf(path);
        if (suffix == QLatin1String("8xp") || suffix == QLatin1String("8xv") ||
            (!single && suffix == QLatin1String("8xg"))) {
            files.append(path);
        }
    }
    return files;
}

std::optional<QStringList> filesOfProgram(const QString& path, QString& error)
{
    const QFileInfo file(path);
    if (!file.isFile()) {
        error = QStringLiteral("'%1' is not a file.").arg(QDir::toNativeSeparators(path));
        return std::nullopt;
    }
    const QString suffix = suffixOf(path);
    const QString name = file.completeBaseName();
    const QString self = file.absoluteFilePath();
    if (suffix == QLatin1String("8xp")) {
        const QStringList appVars = numberedBeside(
            file, [&](const QString& other) { return archive::isAppVarFileName(name, other); },
            [&](const QString& other) { return other.mid(name.size(), 2).toInt(); });
        return QStringList{self} + appVars;
    }
    if (suffix == QLatin1String("8xg")) {
        // The first of a video's multi-variable files brings the others.
        const QStringList bundles = numberedBeside(
            file,
            [&](const QString& other) {
                return other.compare(file.fileName(), Qt::CaseInsensitive) != 0 &&
                       archive::isBundleFileName(name, other);
            },
            [&](const QString& other) { return QFileInfo(other).completeBaseName().mid(name.size() + 1).toInt(); });
        return QStringList{self} + bundles;
    }
    if (suffix == QLatin1String("8xv")) {
        return QStringList{self};
    }
    error = QStringLiteral("'%1' is not a calculator program (.8xp), multi-variable file (.8xg) or AppVar file (.8xv).")
                .arg(QDir::toNativeSeparators(path));
    return std::nullopt;
}

std::int64_t Footprint::archiveBytes() const
{
    std::int64_t sum = 0;
    for (const std::int64_t entry : archiveEntries) {
        sum += entry;
    }
    return sum;
}

Footprint footprint(const std::vector<VariableInfo>& variables)
{
    // A symbol-table entry: type, two reserved bytes, the data's address and
    // page, the name's length and the name.
    constexpr int SymbolEntry = 7;
    Footprint needs;
    for (const VariableInfo& variable : variables) {
        const std::int64_t nameLength = variable.name.size();
        needs.ramBytes += SymbolEntry + nameLength;
        if (variable.archived) {
            needs.archiveEntries.push_back(12 + nameLength + std::max<std::int64_t>(0, variable.bytes - 2));
        } else {
            needs.ramBytes += variable.bytes;
        }
    }
    return needs;
}

bool archiveHolds(const std::vector<std::int64_t>& entries, std::int64_t freeBytes)
{
    // First fit, largest first, into whole sectors and the rest of one.
    std::vector<std::int64_t> room(static_cast<std::size_t>(std::max<std::int64_t>(0, freeBytes) / archive::SectorBytes),
                                   archive::SectorBytes - 1);
    const std::int64_t rest = std::max<std::int64_t>(0, freeBytes) % archive::SectorBytes;
    if (rest > 1) {
        room.push_back(rest - 1);
    }
    std::vector<std::int64_t> sorted = entries;
    std::sort(sorted.rbegin(), sorted.rend());
    for (const std::int64_t entry : sorted) {
        const auto place = std::find_if(room.begin(), room.end(), [entry](std::int64_t left) { return left >= entry; });
        if (place == room.end()) {
            return false;
        }
        *place -= entry;
    }
    return true;
}

ModelCheck checkModel(const std::optional<VideoTarget>& madeFor, CalculatorModel connected, const Footprint& needs)
{
    ModelCheck check;
    const ModelFacts& there = modelFacts(connected);
    const QString thereName = toQString(there.name);
    const std::int64_t empty = archive::emptyArchiveBytes(connected);
    if (!needs.archiveEntries.empty() && !archiveHolds(needs.archiveEntries, empty)) {
        check.refusal = QStringLiteral("The video takes %1 bytes of archive in %2 AppVars; the %3's archive holds "
                                       "at most %4 bytes even when empty. Convert it for this calculator (\"%3\" as "
                                       "the model) or shorter.")
                            .arg(bytesText(needs.archiveBytes()))
                            .arg(needs.archiveEntries.size())
                            .arg(thereName, bytesText(empty));
        return check;
    }
    if (!madeFor || madeFor->model == connected) {
        return check;
    }
    const ModelFacts& made = madeFor->facts();
    const QString madeName = toQString(made.name);
    if (madeFor->format == StreamFormat::Dense && made.fastCpuHz != 0 && there.fastCpuHz == 0) {
        check.refusal = QStringLiteral("The video was made for the %1: its dense stream is paced for the %1's 15 MHz, "
                                       "and the %2 runs at 6 MHz, so it would fall behind. Convert it with \"%2\" as "
                                       "the model.")
                            .arg(madeName, thereName);
        return check;
    }
    if (pacedByDeadlines(*madeFor)) {
        check.note = QStringLiteral("The video was made for the %1; the %2 plays it at the same %3 frames a second.")
                         .arg(madeName, thereName, QString::number(madeFor->framesPerSecond, 'g', 4));
    } else {
        // The written pace counts timer ticks, which run at another rate
        // on the other models.
        const double rate = there.timerHz / ticksPerFrame(*madeFor);
        check.note = QStringLiteral("The video was made for the %1; on the %2 it plays at %3 frames a second instead "
                                    "of %4, as its timer runs at %5 ticks a second.")
                         .arg(madeName, thereName, QString::number(rate, 'f', 2),
                              QString::number(playedFramesPerSecond(*madeFor), 'f', 2),
                              QString::number(there.timerHz, 'f', 1));
    }
    return check;
}

QString memoryShortage(const Footprint& needs, std::optional<std::int64_t> freeRam,
                       std::optional<std::int64_t> freeArchive, const std::vector<VariableInfo>& replaced)
{
    const Footprint freed = footprint(replaced);
    QStringList lines;
    if (freeRam && needs.ramBytes > *freeRam + freed.ramBytes) {
        lines.append(QStringLiteral("Not enough free RAM on the calculator: the files need %1 bytes of it, %2 are free.")
                         .arg(bytesText(needs.ramBytes), bytesText(*freeRam + freed.ramBytes)));
    }
    if (freeArchive && !needs.archiveEntries.empty()) {
        if (!archiveHolds(needs.archiveEntries, *freeArchive + freed.archiveBytes())) {
            lines.append(QStringLiteral("Not enough free archive on the calculator: the AppVars need %1 bytes of it "
                                        "(in whole 64 KB sectors), %2 are free.")
                             .arg(bytesText(needs.archiveBytes()), bytesText(*freeArchive + freed.archiveBytes())));
        }
    }
    if (!lines.isEmpty()) {
        lines.append(QStringLiteral("Nothing was sent. Make room on the calculator (2nd +, 2:Mem Mgmt/Del...) or send "
                                    "a shorter video."));
    }
    return lines.join(QLatin1Char('\n'));
}

QString startText(const QString& programName)
{
    return QStringLiteral("Start it from the home screen with Asm(prgm%1) (2nd 0 for the catalog, Asm(, then PRGM and "
                          "%1), or from Ion or MirageOS.")
        .arg(programName);
}

}  // namespace zoetra::link
