// Finding, opening and closing the pedal. The windows decide what to show;
// these functions do the transport work and the logging.
#pragma once

#include "port/D2XXUnit.h"

#include <QString>
#include <vector>

namespace kestra {

// The description an FT230X reports while its EEPROM holds the factory
// default; such a bridge is shown under the product name.
inline constexpr char FactoryBridgeDescription[] = "FT230X Basic UART";
inline constexpr char ProductName[] = "Kestra";
inline constexpr std::uint32_t PedalBaudRate = 115200;

enum class Parity { None, Even };

void setPortDefaults(PortSettings& settings, Parity parity);

struct DeviceEntry {
    QString serialNumber;
    QString description;
};

// Lists the attached devices in enumeration order. A look-up that fails keeps
// the text of the previous one, as the transport leaves deviceString alone.
// With logScan the scan's log lines are written.
std::vector<DeviceEntry> enumerateDevices(D2XXUnit& transport, bool logScan);

// Opens serialNumber and applies the port settings. True when the device
// opened; a refused setting is reported by the transport and the link goes on.
bool openAndConfigure(D2XXUnit& transport, const QString& serialNumber);

// The text the user reads when no D2XX library could be bound.
QString missingDriverMessage(const D2xxLibrary& library);

} // namespace kestra
