#include "link/CalculatorLink.h"

#include "link/Cables.h"
#include "link/Connection.h"
#include "link/SendCheck.h"
#include "link/SendFiles.h"
#include "shared/Text.h"

#include <QLocale>

namespace zoetra::link {

namespace {

QString bytesText(std::int64_t bytes)
{
    return QLocale(QLocale::English).toString(static_cast<qlonglong>(bytes));
}

QString busyText(const QString& where)
{
    return QStringLiteral("The calculator on %1 is busy. Leave what it shows (2nd MODE for QUIT, or CLEAR) so "
                          "that it waits on the home screen, then try again.")
        .arg(where);
}

// A connection to the first calculator that answers, or why there is none.
struct Search {
    std::unique_ptr<Connection> connection;
    QString failure;
};

Search findCalculator(CableSource& cables)
{
    initLibraries();
    Search search;
    QStringList looked;
    const std::vector<CableChoice> choices = cables.choices(looked);
    QStringList problems;
    bool usbPermission = false;
    for (const CableChoice& choice : choices) {
        if (!choice.otherFamily.isEmpty()) {
            problems.append(QStringLiteral("On USB: %1, which this program makes no videos for.").arg(choice.otherFamily));
            continue;
        }
        int error = 0;
        QString otherModel;
        search.connection = Connection::open(cables, choice, error, otherModel);
        if (search.connection) {
            return search;
        }
        if (!otherModel.isEmpty()) {
            problems.append(QStringLiteral("On %1: %2, which this program makes no videos for.").arg(choice.name, otherModel));
        } else if (error == errors::NotReady || error == errors::UsbBusy) {
            search.failure = busyText(choice.name);
            return search;
        } else if (errors::isPermission(error)) {
            if (choice.cable == CABLE_USB || choice.cable == CABLE_SLV) {
                usbPermission = true;
                problems.append(QStringLiteral("%1 could not be opened: no permission to use the USB device.")
                                    .arg(choice.name.left(1).toUpper() + choice.name.mid(1)));
            } else {
                problems.append(QStringLiteral("%1 could not be opened: no permission to use the port (the "
                                               "serial ports belong to the group dialout).")
                                    .arg(choice.name.left(1).toUpper() + choice.name.mid(1)));
            }
        } else if (errors::isSilence(error)) {
            problems.append(QStringLiteral("No calculator answered on %1.").arg(choice.name));
        } else {
            problems.append(QStringLiteral("On %1: %2").arg(choice.name, libraryErrorText(error)));
        }
    }
    QStringList lines{QStringLiteral("No calculator was found. Looked at: %1.").arg(looked.join(QStringLiteral("; ")))};
    lines += problems;
    if (usbPermission) {
        lines.append(QStringLiteral("The udev rule 69-libticables2-8.rules, which Debian's package libticables2-8 "
                                    "installs, gives the user at the computer access to the calculator and the "
                                    "SilverLink cable: install that package, then unplug the cable and plug it in "
                                    "again."));
    }
    lines.append(QStringLiteral("Connect a TI-84 Plus or TI-84 Plus Silver Edition by its USB cable, or any calculator "
                                "of the TI-83 Plus family by a SilverLink cable; turn it on and leave it on the home "
                                "screen."));
    search.failure = lines.join(QLatin1Char('\n'));
    return search;
}

// The message for an error of the libraries while talking to a calculator
// that had answered.
QString talkFailure(int error, const QString& what, const QString& where)
{
    if (error == errors::NotReady || error == errors::UsbBusy) {
        return busyText(where);
    }
    if (error == errors::OutOfMemory || error == errors::UsbOutOfMemory ||
        error == errors::LinkCalculatorError + 3) {
        return QStringLiteral("The calculator's memory is full: %1 did not fit.").arg(what);
    }
    if (errors::isSilence(error)) {
        return QStringLiteral("The calculator stopped answering during %1: the cable pulled, or the calculator "
                              "turned off.")
            .arg(what);
    }
    if (error == errors::Nack || error == errors::Checksum) {
        return QStringLiteral("The calculator refused %1 (it reported a transmission error).").arg(what);
    }
    if (error == errors::UsbVariableLocked) {
        return QStringLiteral("The calculator refused %1: a variable of that name is locked.").arg(what);
    }
    return QStringLiteral("The calculator refused %1: %2").arg(what, libraryErrorText(error));
}

}  // namespace

QString modelName(CalculatorModel model)
{
    return toQString(modelFacts(model).name);
}

FreeArchiveReading readFreeArchive(CableSource& cables)
{
    FreeArchiveReading reading;
    Search search = findCalculator(cables);
    if (!search.connection) {
        reading.message = search.failure;
        return reading;
    }
    Connection& connection = *search.connection;
    reading.model = connection.model();
    const QString name = modelName(connection.model());
    std::optional<std::int64_t> ram;
    std::optional<std::int64_t> archive;
    if (const int error = connection.freeMemory(ram, archive); error != 0) {
        reading.message = talkFailure(error, QStringLiteral("the question for its free memory"), connection.choice().name);
        return reading;
    }
    if (connection.choice().protocol == Protocol::DirectUsb && archive) {
        reading.status = FreeArchiveReading::Status::Read;
        reading.bytes = *archive;
        reading.message = QStringLiteral("The %1 on %2 has %3 bytes of archive free.")
                              .arg(name, connection.choice().name, bytesText(*archive));
        return reading;
    }
    reading.status = FreeArchiveReading::Status::LinkCable;
    reading.message =
        QStringLiteral("The %1 is connected by %2: over a link cable a calculator tells its free RAM (%3) but not its "
                       "free archive. Read it on the calculator: 2nd + (MEM), 2:Mem Mgmt/Del... shows ARC FREE; "
                       "enter that number as the free archive.")
            .arg(name, connection.choice().name,
                 ram ? QStringLiteral("%1 bytes").arg(bytesText(*ram)) : QStringLiteral("not told either"));
    return reading;
}

struct Sender::State {
    SendFiles files;
    std::unique_ptr<Connection> connection;
    std::vector<RemoteVariable> remote;  // the calculator's variables of our names
    bool ready = false;
};

Sender::Sender(CableSource& cables) : cables_(cables) {}

Sender::~Sender() = default;

Preparation Sender::prepare(const SendJob& job)
{
    state_ = std::make_unique<State>();
    Preparation preparation;
    if (job.files.isEmpty()) {
        preparation.message = QStringLiteral("There is nothing to send: no files were delivered.");
        return preparation;
    }
    if (const std::optional<QString> failure = state_->files.read(job.files)) {
        preparation.message = *failure + QStringLiteral(" Nothing was sent.");
        return preparation;
    }
    const std::vector<VariableInfo> ours = state_->files.infos();
    if (ours.empty()) {
        preparation.message = QStringLiteral("The files hold no variables. Nothing was sent.");
        return preparation;
    }

    Search search = findCalculator(cables_);
    if (!search.connection) {
        preparation.message = search.failure;
        return preparation;
    }
    Connection& connection = *search.connection;
    preparation.model = connection.model();
    const Footprint needs = footprint(ours);
    const ModelCheck check = checkModel(job.madeFor, connection.model(), needs);
    if (!check.refusal.isEmpty()) {
        preparation.message = check.refusal + QStringLiteral(" Nothing was sent.");
        return preparation;
    }

    std::vector<RemoteVariable> listed;
    if (const int error = connection.directory(listed); error != 0) {
        preparation.message = talkFailure(error, QStringLiteral("the listing of its variables"), connection.choice().name);
        return preparation;
    }
    std::vector<VariableInfo> theirs;
    for (const RemoteVariable& variable : listed) {
        theirs.push_back({variable.name, variable.type, variable.archived, variable.bytes});
    }
    const std::vector<VariableInfo> replaced = sameNames(ours, theirs);
    for (const VariableInfo& variable : replaced) {
        preparation.sameNames.append(describe(variable));
        for (const RemoteVariable& remote : listed) {
            if (remote.name == variable.name && remote.type == variable.type) {
                state_->remote.push_back(remote);
            }
        }
    }

    std::optional<std::int64_t> ram;
    std::optional<std::int64_t> archive;
    if (const int error = connection.freeMemory(ram, archive); error != 0) {
        preparation.message = talkFailure(error, QStringLiteral("the question for its free memory"), connection.choice().name);
        return preparation;
    }
    if (const QString shortage = memoryShortage(needs, ram, archive, replaced); !shortage.isEmpty()) {
        preparation.message = shortage;
        return preparation;
    }

    preparation.ready = true;
    preparation.message = QStringLiteral("%1 go to the %2 on %3.")
                              .arg(describeAll(ours), modelName(connection.model()), connection.choice().name);
    preparation.note = check.note;
    state_->connection = std::move(search.connection);
    state_->ready = true;
    return preparation;
}

SendOutcome Sender::send(bool replace, const Progress& progress)
{
    SendOutcome outcome;
    if (!state_ || !state_->ready) {
        outcome.message = QStringLiteral("Nothing was sent: the calculator was not ready.");
        return outcome;
    }
    const std::vector<SendFiles::Variable>& variables = state_->files.variables();
    if (!state_->remote.empty() && !replace) {
        std::vector<VariableInfo> theirs;
        for (const RemoteVariable& remote : state_->remote) {
            theirs.push_back({remote.name, remote.type, remote.archived, remote.bytes});
        }
        outcome.message = QStringLiteral("Not sent: the calculator already has %1. Nothing was changed on it.")
                              .arg(describeAll(theirs));
        return outcome;
    }
    Connection& connection = *state_->connection;
    std::int64_t total = 0;
    for (const SendFiles::Variable& variable : variables) {
        total += variable.info.bytes;
    }
    std::int64_t done = 0;
    std::vector<VariableInfo> arrived;
    QString failure;
    std::size_t next = 0;
    for (; next < variables.size(); ++next) {
        const SendFiles::Variable& variable = variables[next];
        const QString name = QString::fromLatin1(variable.info.name);
        if (progress) {
            progress(done, total, name);
        }
        for (const RemoteVariable& remote : state_->remote) {
            if (sameSlot(variable.info, {remote.name, remote.type, remote.archived, remote.bytes})) {
                if (const int error = connection.remove(remote); error != 0) {
                    failure = talkFailure(error, QStringLiteral("the removal of the old %1").arg(name),
                                          connection.choice().name);
                }
            }
        }
        if (!failure.isEmpty()) {
            break;
        }
        const std::int64_t before = done;
        const std::int64_t bytes = variable.info.bytes;
        const int error = connection.send(*variable.entry, [&](double part) {
            if (progress) {
                progress(before + static_cast<std::int64_t>(part * static_cast<double>(bytes)), total, name);
            }
        });
        if (error != 0) {
            failure = talkFailure(error, name, connection.choice().name);
            break;
        }
        done += bytes;
        arrived.push_back(variable.info);
        outcome.arrived.append(name);
    }
    std::vector<VariableInfo> missing;
    for (std::size_t i = next; i < variables.size(); ++i) {
        missing.push_back(variables[i].info);
        outcome.notArrived.append(QString::fromLatin1(variables[i].info.name));
    }
    state_->ready = false;

    if (!failure.isEmpty()) {
        QStringList lines{failure};
        if (!arrived.empty()) {
            lines.append(QStringLiteral("Arrived: %1.").arg(describeAll(arrived)));
        }
        lines.append(QStringLiteral("Not arrived: %1.").arg(describeAll(missing)));
        lines.append(arrived.empty() ? QStringLiteral("Send again once the cause is mended.")
                                     : QStringLiteral("Sending again, and replacing those that arrived, finishes the "
                                                      "job."));
        outcome.message = lines.join(QLatin1Char('\n'));
        return outcome;
    }
    if (progress) {
        progress(total, total, QString());
    }
    outcome.sent = true;
    std::vector<VariableInfo> inRam;
    std::vector<VariableInfo> inArchive;
    QString programName;
    for (const VariableInfo& variable : arrived) {
        (variable.archived ? inArchive : inRam).push_back(variable);
        if (programName.isEmpty() && (variable.type == ProgramType || variable.type == ProtectedProgramType)) {
            programName = QString::fromLatin1(variable.name);
        }
    }
    QStringList places;
    if (!inRam.empty()) {
        places.append(QStringLiteral("%1 in RAM").arg(describeAll(inRam)));
    }
    if (!inArchive.empty()) {
        places.append(QStringLiteral("%1 in the archive").arg(describeAll(inArchive)));
    }
    outcome.message = QStringLiteral("Sent to the %1: %2.")
                          .arg(modelName(connection.model()), places.join(QStringLiteral(" and ")));
    if (!programName.isEmpty()) {
        outcome.message += QLatin1Char('\n') + startText(programName);
    }
    return outcome;
}

}  // namespace zoetra::link
