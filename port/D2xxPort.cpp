#include "port/D2xxPort.h"

#include "core/Clock.h"
#include "core/DebugLog.h"
#include "port/PortAdvice.h"

#include <algorithm>
#include <cstring>

namespace kestra {

using namespace d2xx;

namespace {
constexpr int LookupBufferSize = 64;

PortResult::Error errorOnDevice(FT_STATUS status) {
    switch (status) {
    case FT_OK:
        return PortResult::Error::None;
    // The handle no longer reaches a device: it was unplugged or reset.
    case FT_INVALID_HANDLE:
    case FT_DEVICE_NOT_FOUND:
    case FT_DEVICE_NOT_OPENED:
    case FT_IO_ERROR:
        return PortResult::Error::Disconnected;
    default:
        return PortResult::Error::Failed;
    }
}

QString labelled(const char* label, FT_STATUS status) {
    return QString::fromLatin1(label) + D2xxPort::statusText(status);
}

qint64 nowUs() {
    return Clock::instance().elapsedMs() * 1000;
}
} // namespace

D2xxPort::~D2xxPort() {
    if (isOpen())
        close();
}

QString D2xxPort::statusText(FT_STATUS status) {
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
        // FTDI defines codes beyond 17; a bare label would tell nothing.
        return QStringLiteral(" - D2XX error %1...").arg(status);
    }
}

QString D2xxPort::missingDriverMessage() {
    return QStringLiteral(
               "The FTDI D2XX driver is not installed, so the editor cannot talk to the pedal.\n\n"
               "Install FTDI's D2XX driver (%1) for this computer and start the editor again. "
               "To use another copy of the library, set the environment variable "
               "KESTRA_D2XX_LIBRARY to its full path.")
        .arg(D2xxLibrary::standardName());
}

QString D2xxPort::backendName() const {
    return library_.isLoaded() ? QStringLiteral("D2XX (%1)").arg(library_.fileName())
                               : QStringLiteral("D2XX (not installed)");
}

PortResult D2xxPort::noDriver() const {
    // The loader's own words are for the debug log, not the player.
    debugLog(QStringLiteral("D2XX library not loaded: ") + library_.errorString());
    return PortResult::failure(PortResult::Error::NoDriver, missingDriverMessage());
}

PortResult D2xxPort::onDevice(const char* label, FT_STATUS status) {
    if (status == FT_OK)
        return PortResult::success();
    return PortResult::failure(errorOnDevice(status), labelled(label, status));
}

PortResult D2xxPort::openFailure(FT_STATUS status) {
    const auto error = status == FT_DEVICE_NOT_FOUND    ? PortResult::Error::NotFound
                       : status == FT_DEVICE_NOT_OPENED ? PortResult::Error::InUse
                                                        : PortResult::Error::Failed;
    return PortResult::failure(error, labelled("Open_USB_Device_By_Serial_Number", status));
}

QString D2xxPort::advice(PortResult::Error error) const {
    switch (error) {
    case PortResult::Error::NotFound:
        return advice::cable() + QLatin1Char(' ') + advice::udevRule() + QStringLiteral("\n\n") +
               advice::virtualPedal();
    // FT_DEVICE_NOT_OPENED: another program, or the kernel's driver.
    case PortResult::Error::InUse:
        return advice::kernelDriverHoldsThePedal();
    case PortResult::Error::NoPermission:
        return advice::udevRule();
    default:
        return {};
    }
}

void D2xxPort::appendListed(DWORD count, const ListDevicesCall& list,
                            std::vector<PortDevice>& devices) {
    const auto lookUp = [&list](DWORD index, DWORD what) {
        char buffer[LookupBufferSize] = {};
        if (list(reinterpret_cast<void*>(static_cast<std::uintptr_t>(index)), buffer,
                 FT_LIST_BY_INDEX | what) != FT_OK)
            return QString();
        return QString::fromLocal8Bit(buffer,
                                      static_cast<qsizetype>(strnlen(buffer, sizeof buffer)));
    };
    for (DWORD i = 0; i < count; ++i)
        devices.push_back(
            {lookUp(i, FT_OPEN_BY_SERIAL_NUMBER), lookUp(i, FT_OPEN_BY_DESCRIPTION), QString()});
}

PortResult D2xxPort::listDevices(std::vector<PortDevice>& devices) {
    devices.clear();
    if (!library_.isLoaded())
        return noDriver();
    DWORD count = 0;
    const FT_STATUS status = library_.FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY);
    if (status != FT_OK)
        return PortResult::failure(PortResult::Error::Failed, labelled("GetFTDeviceCount", status));
    appendListed(
        count,
        [this](void* arg1, void* arg2, DWORD flags) {
            return library_.FT_ListDevices(arg1, arg2, flags);
        },
        devices);
    return PortResult::success();
}

PortResult D2xxPort::open(const PortDevice& device) {
    if (!library_.isLoaded())
        return noDriver();
    if (isOpen())
        close();
    char serial[SerialNumberLimit + 1] = {};
    const QByteArray text = device.serialNumber.toLocal8Bit().left(SerialNumberLimit);
    std::memcpy(serial, text.constData(), static_cast<std::size_t>(text.size()));
    FT_HANDLE handle = nullptr;
    const FT_STATUS status = library_.FT_OpenEx(serial, FT_OPEN_BY_SERIAL_NUMBER, &handle);
    if (status != FT_OK)
        return openFailure(status);
    handle_ = handle;
    const auto value = static_cast<quint32>(reinterpret_cast<std::uintptr_t>(handle_));
    debugLog(QStringLiteral("FT_HANDLE: 0x") +
             QStringLiteral("%1").arg(value, 8, 16, QLatin1Char('0')).toUpper());
    return PortResult::success();
}

PortResult D2xxPort::close() {
    if (!isOpen())
        return PortResult::success();
    const FT_STATUS status = library_.FT_Close(handle_);
    handle_ = nullptr;
    unsent_.clear();
    lineTime_.forget();
    return onDevice("FT_Close", status);
}

PortResult D2xxPort::setLine(const LineSettings& line) {
    if (!isOpen())
        return onDevice("FT_SetBaudRate", FT_INVALID_HANDLE);
    if (PortResult r = onDevice("FT_SetBaudRate", library_.FT_SetBaudRate(handle_, line.baudRate));
        !r.ok())
        return r;
    const UCHAR parity = line.parity == Parity::Even ? FT_PARITY_EVEN : FT_PARITY_NONE;
    PortResult set =
        onDevice("FT_SetDataCharacteristics",
                 library_.FT_SetDataCharacteristics(handle_, FT_BITS_8, FT_STOP_BITS_1, parity));
    if (set.ok())
        line_ = line;
    return set;
}

PortResult D2xxPort::setLatencyTimer(int ms) {
    if (!isOpen())
        return onDevice("FT_SetLatencyTimer", FT_INVALID_HANDLE);
    return onDevice("FT_SetLatencyTimer", library_.FT_SetLatencyTimer(
                                              handle_, static_cast<UCHAR>(std::clamp(ms, 0, 255))));
}

PortResult D2xxPort::read(QByteArray& bytes) {
    if (!isOpen())
        return onDevice("FT_GetQueueStatus", FT_INVALID_HANDLE);
    DWORD queued = 0;
    if (PortResult r = onDevice("FT_GetQueueStatus", library_.FT_GetQueueStatus(handle_, &queued));
        !r.ok() || queued == 0)
        return r;
    const DWORD wanted = std::min<DWORD>(queued, ReadLimit);
    const qsizetype start = bytes.size();
    bytes.resize(start + static_cast<qsizetype>(wanted));
    DWORD received = 0;
    const FT_STATUS status = library_.FT_Read(handle_, bytes.data() + start, wanted, &received);
    bytes.resize(start + static_cast<qsizetype>(std::min(received, wanted)));
    return onDevice("FT_Read", status);
}

PortResult D2xxPort::write(QByteArrayView bytes) {
    if (!isOpen())
        return onDevice("FT_Write", FT_INVALID_HANDLE);
    unsent_.append(bytes.data(), bytes.size());
    return writeUnsent();
}

PortResult D2xxPort::writeUnsent() {
    if (unsent_.isEmpty())
        return PortResult::success();
    DWORD written = 0;
    const FT_STATUS status =
        library_.FT_Write(handle_, unsent_.data(), static_cast<DWORD>(unsent_.size()), &written);
    const qsizetype taken = std::min<qsizetype>(written, unsent_.size());
    lineTime_.handedOver(taken, line_, nowUs());
    unsent_.remove(0, taken);
    return onDevice("FT_Write", status);
}

// FT_GetStatus counts the driver's transmit queue; the FT230X's own 512
// bytes do not show there, and the line time covers them.
PortResult D2xxPort::drained(bool& done) {
    done = false;
    if (!isOpen())
        return onDevice("FT_GetStatus", FT_INVALID_HANDLE);
    if (PortResult r = writeUnsent(); !r.ok() || !unsent_.isEmpty())
        return r;
    DWORD received = 0;
    DWORD queued = 0;
    DWORD events = 0;
    if (PortResult r =
            onDevice("FT_GetStatus", library_.FT_GetStatus(handle_, &received, &queued, &events));
        !r.ok())
        return r;
    done = queued == 0 && lineTime_.idleAt(nowUs());
    return PortResult::success();
}

PortResult D2xxPort::purge(Purge what) {
    if (!isOpen())
        return onDevice("FT_Purge", FT_INVALID_HANDLE);
    ULONG mask = 0;
    if (static_cast<int>(what) & static_cast<int>(Purge::Receive))
        mask |= FT_PURGE_RX;
    if (static_cast<int>(what) & static_cast<int>(Purge::Transmit)) {
        mask |= FT_PURGE_TX;
        unsent_.clear();
        lineTime_.forget();
    }
    return onDevice(mask == FT_PURGE_RX   ? "FT_Purge RX"
                    : mask == FT_PURGE_TX ? "FT_Purge TX"
                                          : "FT_Purge",
                    library_.FT_Purge(handle_, mask));
}

} // namespace kestra
