// The editor's only contact with the D2XX library: one device handle, one
// receive and one transmit buffer shared by every subsystem, the port
// settings, and one operation per library function. A failing status is shown
// through ReportFTError while errorReportEnabled is set; nothing is retried.
#pragma once

#include "port/D2xxLibrary.h"
#include "port/d2xx_abi.h"

#include <QString>
#include <array>
#include <cstdint>

namespace kestra {

struct PortSettings {
    std::uint32_t baudRate = 0;
    std::uint8_t dataBits = 0; // D2XX word-length code
    std::uint8_t stopBits = 0; // D2XX stop-bits code (0 = one)
    std::uint8_t parity = 0;   // D2XX parity code (0 none, 2 even)
};

class D2XXUnit {
public:
    static constexpr int BufferSize = 65536;
    static constexpr int SerialNumberLimit = 49;

    explicit D2XXUnit(D2xxLibrary& library) : library_(library) {}

    // True when a D2XX library is bound; without one every operation fails
    // like one on a closed device.
    bool libraryLoaded() const { return library_.isLoaded(); }
    const D2xxLibrary& library() const { return library_; }

    d2xx::FT_STATUS GetFTDeviceCount();
    d2xx::FT_STATUS GetFTDeviceSerialNo(std::uint32_t index);
    d2xx::FT_STATUS GetFTDeviceDescription(std::uint32_t index);
    d2xx::FT_STATUS Open_USB_Device_By_Serial_Number(const QString& serial);
    d2xx::FT_STATUS CloseFTDevice();
    // Takes what the driver holds now, never waits; returns the byte count.
    std::uint32_t ReadFTDevice();
    // Writes count bytes of transmitBuffer; returns the count written.
    std::uint32_t WriteFTDevice(std::uint32_t count);
    d2xx::FT_STATUS SetFTBaudRate();
    d2xx::FT_STATUS SetFTDataCharacteristics();
    d2xx::FT_STATUS PurgeFTReceive();
    d2xx::FT_STATUS PurgeFTTransmit();
    d2xx::FT_STATUS GetFTQueueStatus();

    // Shows label + the status's text when reporting is on and status != 0.
    void ReportFTError(const QString& label, d2xx::FT_STATUS status) const;
    // The text appended to an operation's label for a status.
    static QString statusText(d2xx::FT_STATUS status);

    d2xx::FT_HANDLE ftHandle = nullptr;
    std::array<std::uint8_t, BufferSize> receiveBuffer{};
    std::array<std::uint8_t, BufferSize> transmitBuffer{};
    std::uint32_t deviceCount = 0;
    std::uint32_t queueByteCount = 0;
    d2xx::FT_STATUS ioStatus = d2xx::FT_OK;
    QByteArray deviceString;
    PortSettings portSettings;
    bool errorReportEnabled = true;

private:
    d2xx::FT_STATUS listByIndex(std::uint32_t index, d2xx::DWORD what, const char* label);
    d2xx::FT_STATUS finish(const char* label, d2xx::FT_STATUS status) const;

    D2xxLibrary& library_;
};

} // namespace kestra
