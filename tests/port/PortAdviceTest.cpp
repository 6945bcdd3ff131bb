// What each backend tells the player to check when the pedal is not found or
// cannot be opened: the cable, the udev rule, ftdi_sio against D2XX.
#include "port/ChosenPort.h"
#include "port/D2xxPort.h"
#include "port/SerialPort.h"
#include "port/VirtualPort.h"

#include <QStringList>
#include <gtest/gtest.h>

namespace kestra {
namespace {

using Error = PortResult::Error;

struct AdviceCase {
    const char* name;
    Backend backend;
    Error error;
    QStringList mentions; // empty: no advice at all
};
void PrintTo(const AdviceCase& c, std::ostream* os) {
    *os << c.name;
}

class BackendAdvice : public ::testing::TestWithParam<AdviceCase> {
protected:
    D2xxLibrary library; // not loaded: advice needs no driver
    D2xxPort d2xx{library};
    SerialPort serial;
    VirtualPort virtualPedal;
};

TEST_P(BackendAdvice, NamesWhatToCheck) {
    const AdviceCase& c = GetParam();
    Port& port = c.backend == Backend::D2xx     ? static_cast<Port&>(d2xx)
                 : c.backend == Backend::Serial ? static_cast<Port&>(serial)
                                                : static_cast<Port&>(virtualPedal);
    const QString advice = port.advice(c.error);
    if (c.mentions.isEmpty()) {
        EXPECT_TRUE(advice.isEmpty()) << advice.toStdString();
    }
    for (const QString& mention : c.mentions)
        EXPECT_TRUE(advice.contains(mention))
            << mention.toStdString() << " in " << advice.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BackendAdvice,
    ::testing::Values(
        AdviceCase{"SerialNotFound",
                   Backend::Serial,
                   Error::NotFound,
                   {"cable", "ftdi_sio", "0403:6015", "Use Virtual Pedal"}},
        AdviceCase{"SerialNoPermission",
                   Backend::Serial,
                   Error::NoPermission,
                   {"70-kestra.rules", "/etc/udev/rules.d/", "dialout"}},
        AdviceCase{"SerialInUse", Backend::Serial, Error::InUse, {"Another program"}},
        AdviceCase{"SerialDisconnected", Backend::Serial, Error::Disconnected, {}},
        AdviceCase{"D2xxNotFound",
                   Backend::D2xx,
                   Error::NotFound,
                   {"cable", "70-kestra.rules", "Use Virtual Pedal"}},
        // FT_DEVICE_NOT_OPENED: the kernel's driver holds the pedal as often
        // as another program does.
        AdviceCase{"D2xxInUse", Backend::D2xx, Error::InUse, {"ftdi_sio", "KESTRA_D2XX_LIBRARY"}},
        AdviceCase{"D2xxNoPermission", Backend::D2xx, Error::NoPermission, {"70-kestra.rules"}},
        AdviceCase{"VirtualNotFound", Backend::Virtual, Error::NotFound, {}}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace kestra
