#include "link/Cables.h"

#include "link/CalculatorLink.h"



namespace zoetra::link {

namespace {

void dropLogLine(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}

// The calculator on its own USB port, from what the USB device says.
CableChoice usbChoice(const CableDeviceInfo& info, int port)
{
    CableChoice choice;
    choice.port = static_cast<CablePort>(port);
    if (info.family == CABLE_FAMILY_DBUS) {
        choice.name = QStringLiteral("the SilverLink cable (USB)");
        choice.cable = CABLE_SLV;
        return choice;
    }
    choice.cable = CABLE_USB;
    choice.protocol = Protocol::DirectUsb;
    switch (info.variant) {
    case CABLE_VARIANT_TI84P:
        choice.model = CalculatorModel::Ti84Plus;
        break;
    case CABLE_VARIANT_TI84PSE:
        choice.model = CalculatorModel::Ti84PlusSe;
        break;
    case CABLE_VARIANT_TI84PCSE:
        choice.otherFamily = QStringLiteral("a TI-84 Plus C Silver Edition");
        break;
    case CABLE_VARIANT_TI84PCE:
    case CABLE_VARIANT_TI83PCE:
    case CABLE_VARIANT_TI84PT:
    case CABLE_VARIANT_TI82A:
        choice.otherFamily = QStringLiteral("a TI-84 Plus CE or a later model");
        break;
    case CABLE_VARIANT_TI89TM:
        choice.otherFamily = QStringLiteral("a TI-89 Titanium");
        break;
    case CABLE_VARIANT_NSPIRE:
        choice.otherFamily = QStringLiteral("a TI-Nspire");
        break;
    default:
        choice.otherFamily = QStringLiteral("a calculator of Texas Instruments that is not of the TI-83 Plus family");
        break;
    }
    choice.name = choice.model ? QStringLiteral("the %1's own USB port").arg(modelName(*choice.model))
                               : QStringLiteral("USB");
    return choice;
}

QString serialName(CableModel cable, int port)
{
    switch (cable) {
    case CABLE_GRY:
        return QStringLiteral("the gray serial link cable on port %1").arg(port);
    case CABLE_BLK:
        return QStringLiteral("the black serial link cable on port %1").arg(port);
    default:
        return QStringLiteral("the parallel link cable on port %1").arg(port);
    }
}

// The cables of this computer: what is plugged into USB, then the serial
// and parallel cables that libticables2's probe finds.
class SystemCables final : public CableSource {
public:
    std::vector<CableChoice> choices(QStringList& looked) override
    {
        initLibraries();
        std::vector<CableChoice> direct;
        std::vector<CableChoice> silverLinks;
        if (ticables_is_usb_enabled() == 0) {
            looked.append(QStringLiteral("USB (not available to the link library here)"));
        } else {
            CableDeviceInfo* devices = nullptr;
            int count = 0;
            if (ticables_get_usb_device_info(&devices, &count) == 0 && devices != nullptr) {
                for (int i = 0; i < count; ++i) {
                    CableChoice choice = usbChoice(devices[i], i + 1);
                    (choice.cable == CABLE_SLV ? silverLinks : direct).push_back(choice);
                }
                ticables_free_usb_device_info(devices);
            }
            looked.append(direct.empty() && silverLinks.empty()
                              ? QStringLiteral("USB (no calculator and no SilverLink cable plugged in)")
                              : QStringLiteral("USB"));
        }
        std::vector<CableChoice> found = direct;
        found.insert(found.end(), silverLinks.begin(), silverLinks.end());

        int** probed = nullptr;
        const bool any = ticables_probing_do(&probed, probeTimeout(), PROBE_DBUS) == 0;
        if (probed != nullptr) {
            for (int cable = CABLE_GRY; cable <= CABLE_PAR; ++cable) {
                for (int port = PORT_1; port < PORT_MAX; ++port) {
                    if (probed[cable] != nullptr && probed[cable][port] != 0) {
                        CableChoice choice;
                        choice.cable = static_cast<CableModel>(cable);
                        choice.port = static_cast<CablePort>(port);
                        choice.name = serialName(choice.cable, port);
                        found.push_back(choice);
                    }
                }
            }
            ticables_probing_finish(&probed);
        }
        looked.append(any ? QStringLiteral("the serial and parallel link cables")
                          : QStringLiteral("the serial and parallel link cables (none found)"));
        return found;
    }

    CableHandle* makeHandle(const CableChoice& choice) override
    {
        return ticables_handle_new(choice.cable, choice.port);
    }
};

}  // namespace

void initLibraries()
{
    // Once per process (a static's initialisation is thread-safe).
    static const bool done = [] {
        for (const char* domain : {"ticables", "ticalcs", "tifiles", "ticonv"}) {
            g_log_set_handler(domain, static_cast<GLogLevelFlags>(G_LOG_LEVEL_MASK | G_LOG_FLAG_FATAL | G_LOG_FLAG_RECURSION),
                              dropLogLine, nullptr);
        }
        ticables_library_init();
        tifiles_library_init();
        ticalcs_library_init();
        return true;
    }();
    (void)done;
}

QString libraryErrorText(int error)
{
    char* message = nullptr;
    if (ticalcs_error_get(error, &message) != 0 || message == nullptr) {
        message = nullptr;
        if (ticables_error_get(error, &message) != 0 || message == nullptr) {
            return QStringLiteral("error %1 of the link library").arg(error);
        }
        QString text = QString::fromUtf8(message).simplified();
        ticables_error_free(message);
        return text;
    }
    QString text = QString::fromUtf8(message).simplified();
    ticalcs_error_free(message);
    return text;
}

std::shared_ptr<CableSource> systemCables()
{
    return std::make_shared<SystemCables>();
}

}  // namespace zoetra::link
