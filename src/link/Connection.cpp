#include "link/Connection.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <utility>

namespace zoetra::link {

namespace {

// The library calls its progress hooks without saying for which handle:
// one variable is sent at a time in the process, and its connection is the
// one they report on.
std::mutex sending;
Connection* active = nullptr;

void quiet() {}

// The TI-83 Plus family's hardware versions, as the link port's version
// reply gives them.
std::optional<CalculatorModel> modelOfHardware(int version)
{
    switch (version) {
    case 0:
        return CalculatorModel::Ti83Plus;
    case 1:
        return CalculatorModel::Ti83PlusSe;
    case 2:
        return CalculatorModel::Ti84Plus;
    case 3:
        return CalculatorModel::Ti84PlusSe;
    default:
        return std::nullopt;
    }
}

void collect(GNode* node, std::vector<RemoteVariable>& variables)
{
    for (GNode* child = node->children; child != nullptr; child = child->next) {
        if (child->children != nullptr) {
            collect(child, variables);
            continue;
        }
        const auto* entry = static_cast<const VarEntry*>(child->data);
        if (entry == nullptr || entry->name[0] == '\0') {
            continue;  // a folder without variables, or a system variable
        }
        RemoteVariable variable;
        variable.name = QByteArray(entry->name, static_cast<qsizetype>(strnlen(entry->name, sizeof(entry->name))));
        variable.type = entry->type;
        variable.archived = entry->attr == ATTRB_ARCHIVED;
        variable.bytes = entry->size;
        variables.push_back(variable);
    }
}

}  // namespace

Connection::Connection(CableChoice choice, CableHandle* cable, CalcHandle* calc)
    : choice_(std::move(choice)), cable_(cable), calc_(calc)
{
    update_.start = quiet;
    update_.stop = quiet;
    update_.refresh = quiet;
    update_.label = quiet;
    update_.pbar = onProgress;
    ticalcs_update_set(calc_, &update_);
}

Connection::~Connection()
{
    if (calc_ != nullptr) {
        ticalcs_cable_detach(calc_);
        ticalcs_handle_del(calc_);
    }
    if (cable_ != nullptr) {
        ticables_handle_del(cable_);
    }
}

std::unique_ptr<Connection> Connection::open(CableSource& source, const CableChoice& choice, int& error,
                                             QString& otherModel)
{
    initLibraries();
    error = 0;
    otherModel.clear();
    CableHandle* cable = source.makeHandle(choice);
    if (cable == nullptr) {
        error = errors::NoCable;
        return nullptr;
    }
    CalcHandle* calc = ticalcs_handle_new(choice.protocol == Protocol::DirectUsb ? CALC_TI84P_USB : CALC_TI83P);
    if (calc == nullptr) {
        ticables_handle_del(cable);
        error = errors::NoCable;
        return nullptr;
    }
    std::unique_ptr<Connection> connection(new Connection(choice, cable, calc));
    ticables_options_set_timeout(cable, source.probeTimeout());
    error = ticalcs_cable_attach(calc, cable);
    if (error == 0) {
        error = ticalcs_calc_isready(calc);
    }
    if (error != 0) {
        return nullptr;
    }
    if (choice.model) {
        connection->model_ = *choice.model;
    } else {
        CalcInfos infos{};
        error = ticalcs_calc_get_version(calc, &infos);
        if (error != 0) {
            return nullptr;
        }
        const std::optional<CalculatorModel> model = modelOfHardware(infos.hw_version);
        if (!model) {
            otherModel = QStringLiteral("a calculator of another family (hardware version %1)").arg(infos.hw_version);
            return nullptr;
        }
        connection->model_ = *model;
    }
    ticables_options_set_timeout(cable, source.transferTimeout());
    return connection;
}

int Connection::freeMemory(std::optional<std::int64_t>& ram, std::optional<std::int64_t>& archive)
{
    ram.reset();
    archive.reset();
    uint32_t freeRam = 0;
    uint32_t freeFlash = 0;
    const int error = ticalcs_calc_get_memfree(calc_, &freeRam, &freeFlash);
    if (error != 0) {
        return error;
    }
    // What a protocol cannot tell comes back as all ones.
    if (freeRam != UINT32_MAX) {
        ram = freeRam;
    }
    if (freeFlash != UINT32_MAX && choice_.protocol == Protocol::DirectUsb) {
        archive = freeFlash;
    }
    return 0;
}

int Connection::directory(std::vector<RemoteVariable>& variables)
{
    variables.clear();
    GNode* vars = nullptr;
    GNode* apps = nullptr;
    const int error = ticalcs_calc_get_dirlist(calc_, &vars, &apps);
    if (error == 0 && vars != nullptr) {
        collect(vars, variables);
    }
    ticalcs_dirlist_destroy(&vars);
    ticalcs_dirlist_destroy(&apps);
    return error;
}

int Connection::remove(const RemoteVariable& variable)
{
    VarEntry request{};
    std::memcpy(request.name, variable.name.constData(),
                std::min<std::size_t>(static_cast<std::size_t>(variable.name.size()), sizeof(request.name) - 1));
    request.type = variable.type;
    request.attr = variable.archived ? ATTRB_ARCHIVED : ATTRB_NONE;
    request.size = variable.bytes;
    return ticalcs_calc_del_var(calc_, &request);
}

int Connection::send(VarEntry& variable, const std::function<void(double)>& progress)
{
    // One variable as a content of its own, so that a failure says which.
    VarEntry* entries[2] = {&variable, nullptr};
    FileContent content{};
    content.model = CALC_TI83P;
    content.num_entries = 1;
    content.entries = entries;
    const std::lock_guard<std::mutex> alone(sending);
    progress_ = progress;
    active = this;
    update_.cnt1 = 0;
    update_.max1 = 0;
    update_.cancel = 0;
    const int error = ticalcs_calc_send_var(calc_, MODE_NORMAL, &content);
    active = nullptr;
    progress_ = nullptr;
    return error;
}

void Connection::onProgress()
{
    Connection* connection = active;
    if (connection == nullptr || !connection->progress_) {
        return;
    }
    const CalcUpdate& update = connection->update_;
    if (update.max1 > 0) {
        connection->progress_(std::clamp(static_cast<double>(update.cnt1) / update.max1, 0.0, 1.0));
    }
}

}  // namespace zoetra::link
