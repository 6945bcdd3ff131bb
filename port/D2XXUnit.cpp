#include "port/D2XXUnit.h"

#include "core/Prompts.h"

#include <algorithm>
#include <cstring>

namespace kestra {

using namespace d2xx;

namespace {
constexpr int LookupBufferSize = 64;
// Without a bound library every handle is as good as closed.
constexpr FT_STATUS NoLibraryStatus = FT_INVALID_HANDLE;
} // namespace

QString D2XXUnit::statusText(FT_STATUS status) {
    switch (status) {
    case 1:
        return QStringLiteral(" - Invalid handle...");
    case 2:
        return QStringLiteral(" - Device not found...");
    case 3:
        return QStringLiteral(" - Device not opened...");
    case 4:
        return QStringLiteral(" - General IO error...");
    case 5:
        return QStringLiteral(" - Insufficient resources...");
    case 6:
        return QStringLiteral(" - Invalid parameter...");
    case 7:
        return QStringLiteral(" - Invalid baud rate...");
    case 8:
        return QStringLiteral(" Device not opened for erase...");
    case 9:
        return QStringLiteral(" Device not opened for write...");
    case 10:
        return QStringLiteral(" - Failed to write...");
    case 11:
        return QStringLiteral(" - EEPROM read failed...");
    case 12:
        return QStringLiteral(" - EEPROM write failed...");
    case 13:
        return QStringLiteral(" - EEPROM erase failed...");
    case 14:
        return QStringLiteral(" - EEPROM not present...");
    case 15:
        return QStringLiteral(" - EEPROM not programmed...");
    case 16:
        return QStringLiteral(" - Invalid arguments...");
    case 17:
        return QStringLiteral(" - Other error ...");
    default:
        // FTDI defines codes beyond 17; an empty box would tell the user nothing.
        return QStringLiteral(" - D2XX error %1...").arg(status);
    }
}

void D2XXUnit::ReportFTError(const QString& label, FT_STATUS status) const {
    if (!errorReportEnabled || status == FT_OK)
        return;
    Prompts::instance().message(label + statusText(status));
}

FT_STATUS D2XXUnit::finish(const char* label, FT_STATUS status) const {
    ReportFTError(QString::fromLatin1(label), status);
    return status;
}

FT_STATUS D2XXUnit::GetFTDeviceCount() {
    if (!library_.isLoaded())
        return finish("GetFTDeviceCount", FT_DEVICE_NOT_FOUND);
    DWORD count = 0;
    const FT_STATUS status = library_.FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY);
    if (status == FT_OK)
        deviceCount = count;
    return finish("GetFTDeviceCount", status);
}

FT_STATUS D2XXUnit::listByIndex(std::uint32_t index, DWORD what, const char* label) {
    if (!library_.isLoaded())
        return finish(label, FT_DEVICE_NOT_FOUND);
    char buffer[LookupBufferSize] = {};
    const FT_STATUS status =
        library_.FT_ListDevices(reinterpret_cast<void*>(static_cast<std::uintptr_t>(index)), buffer,
                                FT_LIST_BY_INDEX | what);
    if (status == FT_OK)
        deviceString = QByteArray(buffer, static_cast<int>(strnlen(buffer, sizeof buffer)));
    return finish(label, status);
}

FT_STATUS D2XXUnit::GetFTDeviceSerialNo(std::uint32_t index) {
    return listByIndex(index, FT_OPEN_BY_SERIAL_NUMBER, "GetFTDeviceSerialNo");
}

FT_STATUS D2XXUnit::GetFTDeviceDescription(std::uint32_t index) {
    return listByIndex(index, FT_OPEN_BY_DESCRIPTION, "GetFTDeviceDescription");
}

FT_STATUS D2XXUnit::Open_USB_Device_By_Serial_Number(const QString& serial) {
    constexpr const char* label = "Open_USB_Device_By_Serial_Number";
    if (!library_.isLoaded())
        return finish(label, FT_DEVICE_NOT_FOUND);
    char serialBuffer[SerialNumberLimit + 1] = {};
    const QByteArray text = serial.toLocal8Bit().left(SerialNumberLimit);
    std::memcpy(serialBuffer, text.constData(), static_cast<std::size_t>(text.size()));
    return finish(label, library_.FT_OpenEx(serialBuffer, FT_OPEN_BY_SERIAL_NUMBER, &ftHandle));
}

FT_STATUS D2XXUnit::CloseFTDevice() {
    if (!library_.isLoaded())
        return finish("FT_Close", NoLibraryStatus);
    return finish("FT_Close", library_.FT_Close(ftHandle));
}

std::uint32_t D2XXUnit::ReadFTDevice() {
    if (!library_.isLoaded()) {
        ioStatus = finish("FT_Read", NoLibraryStatus);
        return 0;
    }
    DWORD queued = 0;
    if (library_.FT_GetQueueStatus(ftHandle, &queued) != FT_OK)
        queued = 0;
    const DWORD wanted = std::min<DWORD>(queued, BufferSize);
    DWORD received = 0;
    ioStatus = library_.FT_Read(ftHandle, receiveBuffer.data(), wanted, &received);
    finish("FT_Read", ioStatus);
    return std::min<DWORD>(received, BufferSize);
}

std::uint32_t D2XXUnit::WriteFTDevice(std::uint32_t count) {
    if (!library_.isLoaded()) {
        ioStatus = finish("FT_Write", NoLibraryStatus);
        return 0;
    }
    DWORD written = 0;
    ioStatus = library_.FT_Write(ftHandle, transmitBuffer.data(),
                                 std::min<std::uint32_t>(count, BufferSize), &written);
    finish("FT_Write", ioStatus);
    return written;
}

FT_STATUS D2XXUnit::SetFTBaudRate() {
    if (!library_.isLoaded())
        return finish("FT_SetBaudRate", NoLibraryStatus);
    return finish("FT_SetBaudRate", library_.FT_SetBaudRate(ftHandle, portSettings.baudRate));
}

FT_STATUS D2XXUnit::SetFTDataCharacteristics() {
    if (!library_.isLoaded())
        return finish("FT_SetDataCharacteristics", NoLibraryStatus);
    return finish("FT_SetDataCharacteristics",
                  library_.FT_SetDataCharacteristics(ftHandle, portSettings.dataBits,
                                                     portSettings.stopBits, portSettings.parity));
}

FT_STATUS D2XXUnit::PurgeFTReceive() {
    if (!library_.isLoaded())
        return finish("FT_Purge RX", NoLibraryStatus);
    return finish("FT_Purge RX", library_.FT_Purge(ftHandle, FT_PURGE_RX));
}

FT_STATUS D2XXUnit::PurgeFTTransmit() {
    if (!library_.isLoaded())
        return finish("FT_Purge TX", NoLibraryStatus);
    return finish("FT_Purge TX", library_.FT_Purge(ftHandle, FT_PURGE_TX));
}

FT_STATUS D2XXUnit::GetFTQueueStatus() {
    if (!library_.isLoaded())
        return finish("FT_GetQueueStatus", NoLibraryStatus);
    DWORD queued = 0;
    const FT_STATUS status = library_.FT_GetQueueStatus(ftHandle, &queued);
    if (status == FT_OK)
        queueByteCount = queued;
    return finish("FT_GetQueueStatus", status);
}

} // namespace kestra
