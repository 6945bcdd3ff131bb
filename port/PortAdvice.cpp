#include "port/PortAdvice.h"

namespace kestra::advice {

QString cable() {
    return QStringLiteral("Check that the pedal is switched on and try another USB cable: some "
                          "cables carry power only.");
}

QString udevRule() {
    return QStringLiteral(
        "On Linux the udev rule 70-kestra.rules gives the logged-in user access to the pedal. "
        "The editor's package installs it; otherwise copy packaging/70-kestra.rules to "
        "/etc/udev/rules.d/, run \"sudo udevadm control --reload\" and plug the pedal in again.");
}

QString kernelDriverHoldsThePedal() {
    return QStringLiteral(
        "FTDI's D2XX library cannot open the pedal while the kernel's ftdi_sio driver holds it "
        "as a serial port (/dev/ttyUSB0 or similar): start the editor without "
        "KESTRA_D2XX_LIBRARY to use that serial port, or unload the driver first (sudo rmmod "
        "ftdi_sio).");
}

QString virtualPedal() {
    return QStringLiteral("To try the editor without a pedal, choose Connection > Use Virtual "
                          "Pedal (kestra-cli: --virtual).");
}

} // namespace kestra::advice
