// The FT230X side of the stand-in D2XX library: the device list, the one
// open handle and the D2XX status codes, in front of a virtual pedal. Kept
// apart from the exported C functions so it can be tested without dlopen.
#pragma once

#include "d2xx/d2xx_abi.h"
#include "pedal/virtual_pedal.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace kestra::sim {

class UsbBridge {
public:
    struct Device {
        std::string serial;
        std::string description;
    };

    UsbBridge();

    VirtualPedal& pedal() { return pedal_; }
    // Factory device list, closed handle, pedal in its factory state.
    void reset();
    CommandResult command(std::string_view line);

    d2xx::FT_STATUS listDevices(void* arg1, void* arg2, d2xx::DWORD flags);
    d2xx::FT_STATUS open(void* arg1, d2xx::DWORD flags, d2xx::FT_HANDLE* handle);
    d2xx::FT_STATUS close(d2xx::FT_HANDLE handle);
    d2xx::FT_STATUS queueStatus(d2xx::FT_HANDLE handle, d2xx::DWORD* rxBytes);
    d2xx::FT_STATUS read(d2xx::FT_HANDLE handle, void* buffer, d2xx::DWORD size,
                         d2xx::DWORD* returned);
    d2xx::FT_STATUS write(d2xx::FT_HANDLE handle, const void* buffer, d2xx::DWORD size,
                          d2xx::DWORD* written);
    d2xx::FT_STATUS purge(d2xx::FT_HANDLE handle, d2xx::ULONG mask);
    d2xx::FT_STATUS status(d2xx::FT_HANDLE handle, d2xx::DWORD* rxBytes, d2xx::DWORD* txBytes,
                           d2xx::DWORD* eventStatus);
    d2xx::FT_STATUS setBaudRate(d2xx::FT_HANDLE handle, d2xx::ULONG baud);
    d2xx::FT_STATUS setDataCharacteristics(d2xx::FT_HANDLE handle, d2xx::UCHAR bits,
                                           d2xx::UCHAR stopBits, d2xx::UCHAR parity);
    d2xx::FT_STATUS setLatencyTimer(d2xx::FT_HANDLE handle, d2xx::UCHAR milliseconds);

private:
    static constexpr std::uintptr_t kHandleBase = 0x4B530000; // "KS"
    // The host driver's transmit buffer in front of the chip's 512 bytes,
    // the size of the kernel's usb-serial write buffer (one page).
    static constexpr std::size_t kDriverBuffer = 4096;

    // OK when the handle is the open one and the device is plugged in.
    d2xx::FT_STATUS check(d2xx::FT_HANDLE handle) const;
    std::size_t listed() const { return plugged_ ? count_ : 0; }

    VirtualPedal pedal_;
    // Set by `clock MS`: the pedal's time follows a test's clock.
    std::optional<std::uint64_t> manualUs_;
    std::array<Device, 2> devices_;
    std::size_t count_ = 1;
    bool plugged_ = true;
    bool open_ = false;
    // Each open gets a new handle value, so a stale handle never comes back to life.
    std::uintptr_t handle_ = kHandleBase;
};

} // namespace kestra::sim
