#include "port/Communication.h"

#include "core/DebugLog.h"

namespace kestra {

void setPortDefaults(PortSettings& settings, Parity parity) {
    settings.baudRate = PedalBaudRate;
    settings.dataBits = d2xx::FT_BITS_8;
    settings.stopBits = d2xx::FT_STOP_BITS_1;
    settings.parity = parity == Parity::Even ? d2xx::FT_PARITY_EVEN : d2xx::FT_PARITY_NONE;
}

std::vector<DeviceEntry> enumerateDevices(D2XXUnit& transport, bool logScan) {
    std::vector<DeviceEntry> devices;
    transport.GetFTDeviceCount();
    if (logScan)
        debugLog(QStringLiteral("FT device count: %1").arg(transport.deviceCount));
    for (std::uint32_t i = 0; i < transport.deviceCount; ++i) {
        DeviceEntry entry;
        transport.GetFTDeviceSerialNo(i);
        entry.serialNumber = QString::fromLocal8Bit(transport.deviceString);
        if (logScan)
            debugLog(QStringLiteral("FT_Device_String: ") + entry.serialNumber);
        transport.GetFTDeviceDescription(i);
        entry.description = QString::fromLocal8Bit(transport.deviceString);
        devices.push_back(entry);
    }
    return devices;
}

bool openAndConfigure(D2XXUnit& transport, const QString& serialNumber) {
    debugLog(QStringLiteral("serial number: ") + serialNumber);
    if (transport.Open_USB_Device_By_Serial_Number(serialNumber) != d2xx::FT_OK)
        return false;
    transport.SetFTBaudRate();
    transport.SetFTDataCharacteristics();
    const auto handle = static_cast<quint32>(reinterpret_cast<std::uintptr_t>(transport.ftHandle));
    debugLog(QStringLiteral("FT_HANDLE: 0x") +
             QStringLiteral("%1").arg(handle, 8, 16, QLatin1Char('0')).toUpper());
    debugLogNoScroll(QStringLiteral("baud rate = %1").arg(transport.portSettings.baudRate));
    return true;
}

QString missingDriverMessage(const D2xxLibrary& library) {
    return QStringLiteral(
               "The FTDI D2XX driver is not installed, so the editor cannot talk to the pedal.\n\n"
               "Install FTDI's D2XX driver (%1) for this computer and start the editor again. "
               "To use another copy of the library, set the environment variable "
               "KESTRA_D2XX_LIBRARY to its full path.\n\nDetails: %2")
        .arg(D2xxLibrary::standardName(), library.errorString());
}

} // namespace kestra
