#include "pedal/usb_bridge.h"

#include <charconv>
#include <cstring>
#include <sstream>

namespace kestra::sim {

using namespace d2xx;

namespace {
constexpr std::size_t kListBuffer = 64; // D2XX serial/description buffers

} // namespace

UsbBridge::UsbBridge() {
    pedal_.setClock([this] { return manualUs_ ? *manualUs_ : steadyMicroseconds(); });
    reset();
}

void UsbBridge::reset() {
    manualUs_.reset();
    devices_ = {Device{"KS000001", "FT230X Basic UART"}, Device{"KS000002", "FT230X Basic UART"}};
    count_ = 1;
    plugged_ = true;
    open_ = false;
    pedal_.reset();
}

CommandResult UsbBridge::command(std::string_view line) {
    const auto a = splitWords(line);
    if (a.size() == 1 && a[0] == "reset") {
        reset();
        return {};
    }
    if (a.size() == 2 && a[0] == "clock") {
        // A test's clock in milliseconds, or the system's again.
        std::uint64_t ms = 0;
        const auto [end, ec] = std::from_chars(a[1].data(), a[1].data() + a[1].size(), ms);
        if (a[1] == "system") {
            manualUs_.reset();
        } else if (ec == std::errc() && end == a[1].data() + a[1].size()) {
            manualUs_ = ms * 1000;
        } else {
            return {false, "clock takes milliseconds or system"};
        }
        return {};
    }
    if (a.size() == 2 && a[0] == "devices") {
        if (a[1] != "0" && a[1] != "1" && a[1] != "2") {
            return {false, "devices takes 0, 1 or 2"};
        }
        count_ = static_cast<std::size_t>(a[1][0] - '0');
        return {};
    }
    if (a.size() >= 3 && a[0] == "device" && (a[1] == "0" || a[1] == "1")) {
        Device& d = devices_[a[1][0] - '0'];
        d.serial = a[2];
        // The description is the rest of the line, spaces included.
        auto at = line.find(a[0]) + a[0].size();
        at = line.find(a[1], at) + a[1].size();
        at = line.find(a[2], at) + a[2].size();
        const auto rest = line.find_first_not_of(" \t", at);
        d.description = rest == std::string_view::npos ? "" : std::string(line.substr(rest));
        return {};
    }
    if (a.size() == 2 && a[0] == "fault" && a[1] == "unplug") {
        plugged_ = false;
        pedal_.clearOutput();
        return {};
    }
    if (a.size() == 2 && a[0] == "fault" && a[1] == "replug") {
        // The bridge starts again on USB power and any old handle is dead.
        // The pedal runs on its own supply: its application, or its ROM
        // bootloader at whatever step it was, carries on.
        if (!plugged_) {
            plugged_ = true;
            open_ = false;
            pedal_.clearOutput();
            pedal_.resetLine();
        }
        return {};
    }
    auto result = pedal_.command(line);
    if (result.ok && a.size() == 1 && a[0] == "status") {
        result.text += "\ndevices=" + std::to_string(listed()) +
                       "\nplugged=" + (plugged_ ? "yes" : "no") +
                       "\nopen=" + (open_ ? "yes" : "no");
        if (count_ > 0) {
            result.text += "\nserial=" + devices_[count_ - 1].serial;
        }
    }
    return result;
}

FT_STATUS UsbBridge::listDevices(void* arg1, void* arg2, DWORD flags) {
    if (flags & FT_LIST_NUMBER_ONLY) {
        if (!arg1) {
            return FT_INVALID_PARAMETER;
        }
        *static_cast<DWORD*>(arg1) = static_cast<DWORD>(listed());
        return FT_OK;
    }
    if (flags & FT_LIST_BY_INDEX) {
        const auto index = reinterpret_cast<std::uintptr_t>(arg1);
        if (index >= listed()) {
            return FT_DEVICE_NOT_FOUND;
        }
        if (!arg2) {
            return FT_INVALID_PARAMETER;
        }
        const std::string& text =
            (flags & FT_OPEN_BY_DESCRIPTION) ? devices_[index].description : devices_[index].serial;
        const std::size_t n = std::min(text.size(), kListBuffer - 1);
        std::memcpy(arg2, text.data(), n);
        static_cast<char*>(arg2)[n] = '\0';
        return FT_OK;
    }
    return FT_INVALID_PARAMETER;
}

FT_STATUS UsbBridge::open(void* arg1, DWORD flags, FT_HANDLE* handle) {
    if (!handle) {
        return FT_INVALID_PARAMETER;
    }
    *handle = nullptr;
    if (!arg1 || !(flags & (FT_OPEN_BY_SERIAL_NUMBER | FT_OPEN_BY_DESCRIPTION))) {
        return FT_DEVICE_NOT_FOUND;
    }
    const std::string wanted(static_cast<const char*>(arg1));
    std::size_t match = listed();
    for (std::size_t i = 0; i < listed(); ++i) {
        const Device& d = devices_[i];
        if (!wanted.empty() &&
            wanted == ((flags & FT_OPEN_BY_SERIAL_NUMBER) ? d.serial : d.description)) {
            match = i;
            break;
        }
    }
    if (match == listed()) {
        return FT_DEVICE_NOT_FOUND;
    }
    // The other listed device stands for an adapter some other program holds.
    if (match != listed() - 1 || open_) {
        return FT_DEVICE_NOT_OPENED;
    }
    open_ = true;
    // Every open starts from the chip's defaults, whatever the last user set.
    pedal_.resetLine();
    ++handle_;
    *handle = reinterpret_cast<FT_HANDLE>(handle_);
    return FT_OK;
}

FT_STATUS UsbBridge::check(FT_HANDLE handle) const {
    if (!open_ || reinterpret_cast<std::uintptr_t>(handle) != handle_) {
        return FT_INVALID_HANDLE;
    }
    return plugged_ ? FT_OK : FT_IO_ERROR;
}

FT_STATUS UsbBridge::close(FT_HANDLE handle) {
    if (!open_ || reinterpret_cast<std::uintptr_t>(handle) != handle_) {
        return FT_INVALID_HANDLE;
    }
    open_ = false;
    return FT_OK;
}

FT_STATUS UsbBridge::queueStatus(FT_HANDLE handle, DWORD* rxBytes) {
    if (auto s = check(handle); s != FT_OK) {
        return s;
    }
    if (!rxBytes) {
        return FT_INVALID_PARAMETER;
    }
    *rxBytes = static_cast<DWORD>(pedal_.queueStatus());
    return FT_OK;
}

FT_STATUS UsbBridge::read(FT_HANDLE handle, void* buffer, DWORD size, DWORD* returned) {
    if (auto s = check(handle); s != FT_OK) {
        return s;
    }
    if (!returned || (!buffer && size > 0)) {
        return FT_INVALID_PARAMETER;
    }
    *returned = static_cast<DWORD>(pedal_.read(static_cast<std::uint8_t*>(buffer), size));
    return FT_OK;
}

FT_STATUS UsbBridge::write(FT_HANDLE handle, const void* buffer, DWORD size, DWORD* written) {
    if (auto s = check(handle); s != FT_OK) {
        return s;
    }
    if (!written || (!buffer && size > 0)) {
        return FT_INVALID_PARAMETER;
    }
    // With wire timing the driver's buffer is bounded: a write takes what
    // fits, as FT_Write does once its write time-out has passed.
    const std::size_t taken = std::min<std::size_t>(size, pedal_.hostRoom(kDriverBuffer));
    pedal_.hostWrite(std::span(static_cast<const std::uint8_t*>(buffer), taken));
    *written = static_cast<DWORD>(taken);
    return FT_OK;
}

FT_STATUS UsbBridge::status(FT_HANDLE handle, DWORD* rxBytes, DWORD* txBytes, DWORD* eventStatus) {
    if (auto s = check(handle); s != FT_OK) {
        return s;
    }
    if (!rxBytes || !txBytes || !eventStatus) {
        return FT_INVALID_PARAMETER;
    }
    *rxBytes = static_cast<DWORD>(pedal_.queueStatus());
    // The driver's queue only: what the chip holds does not show.
    *txBytes = static_cast<DWORD>(pedal_.hostBytesInDriver());
    *eventStatus = 0;
    return FT_OK;
}

FT_STATUS UsbBridge::purge(FT_HANDLE handle, ULONG mask) {
    if (auto s = check(handle); s != FT_OK) {
        return s;
    }
    if (mask & FT_PURGE_RX) {
        pedal_.purgeOutput();
    }
    if (mask & FT_PURGE_TX) {
        pedal_.purgeInput();
    }
    return FT_OK;
}

FT_STATUS UsbBridge::setBaudRate(FT_HANDLE handle, ULONG baud) {
    if (auto s = check(handle); s != FT_OK) {
        return s;
    }
    if (baud == 0) {
        return FT_INVALID_BAUD_RATE;
    }
    pedal_.setBaudRate(baud);
    return FT_OK;
}

FT_STATUS UsbBridge::setDataCharacteristics(FT_HANDLE handle, UCHAR bits, UCHAR stopBits,
                                            UCHAR parity) {
    if (auto s = check(handle); s != FT_OK) {
        return s;
    }
    if ((bits != FT_BITS_7 && bits != FT_BITS_8) ||
        (stopBits != FT_STOP_BITS_1 && stopBits != FT_STOP_BITS_2) || parity > 4) {
        return FT_INVALID_PARAMETER;
    }
    pedal_.setDataCharacteristics(bits, stopBits, parity);
    return FT_OK;
}

FT_STATUS UsbBridge::setLatencyTimer(FT_HANDLE handle, UCHAR milliseconds) {
    if (auto s = check(handle); s != FT_OK) {
        return s;
    }
    if (milliseconds < kMinLatencyMs) {
        return FT_INVALID_PARAMETER;
    }
    pedal_.setLatency(milliseconds);
    return FT_OK;
}

} // namespace kestra::sim
