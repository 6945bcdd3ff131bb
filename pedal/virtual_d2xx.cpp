// The stand-in D2XX library: the FTDI entry points of port/d2xx_abi.h,
// backed by one virtual pedal per process, plus KestraSim_Command for tests.
// The editor may call from a worker thread while a test drives the pedal, so
// every entry point takes one lock.
#include "d2xx/d2xx_abi.h"
#include "pedal/kestra_sim.h"
#include "pedal/usb_bridge.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

using namespace d2xx;
using kestra::sim::UsbBridge;

namespace {

std::mutex& lock() {
    static std::mutex m;
    return m;
}

UsbBridge& bridge() {
    static UsbBridge* instance = [] {
        auto* b = new UsbBridge; // never destroyed: callers may outlive static teardown
        if (const char* path = std::getenv("KESTRA_PEDAL_STATE"); path && *path) {
            std::string error;
            if (!b->pedal().loadState(path, error)) {
                std::fprintf(stderr, "kestra-virtual-d2xx: %s\n", error.c_str());
            }
        }
        return b;
    }();
    return *instance;
}

// Build the pedal as the library loads, so a bad state file shows at once.
[[maybe_unused]] __attribute__((constructor)) void loadPedal() {
    std::lock_guard guard(lock());
    bridge();
}

} // namespace

#define KESTRA_EXPORT extern "C" __attribute__((visibility("default")))

KESTRA_EXPORT FT_STATUS FT_ListDevices(void* pArg1, void* pArg2, DWORD flags) {
    std::lock_guard guard(lock());
    return bridge().listDevices(pArg1, pArg2, flags);
}

KESTRA_EXPORT FT_STATUS FT_OpenEx(void* pArg1, DWORD flags, FT_HANDLE* pHandle) {
    std::lock_guard guard(lock());
    return bridge().open(pArg1, flags, pHandle);
}

KESTRA_EXPORT FT_STATUS FT_Close(FT_HANDLE handle) {
    std::lock_guard guard(lock());
    return bridge().close(handle);
}

KESTRA_EXPORT FT_STATUS FT_GetQueueStatus(FT_HANDLE handle, DWORD* rxBytes) {
    std::lock_guard guard(lock());
    return bridge().queueStatus(handle, rxBytes);
}

KESTRA_EXPORT FT_STATUS FT_Read(FT_HANDLE handle, void* buffer, DWORD bytesToRead,
                                DWORD* bytesReturned) {
    std::lock_guard guard(lock());
    return bridge().read(handle, buffer, bytesToRead, bytesReturned);
}

KESTRA_EXPORT FT_STATUS FT_Write(FT_HANDLE handle, void* buffer, DWORD bytesToWrite,
                                 DWORD* bytesWritten) {
    std::lock_guard guard(lock());
    return bridge().write(handle, buffer, bytesToWrite, bytesWritten);
}

KESTRA_EXPORT FT_STATUS FT_Purge(FT_HANDLE handle, ULONG mask) {
    std::lock_guard guard(lock());
    return bridge().purge(handle, mask);
}

KESTRA_EXPORT FT_STATUS FT_GetStatus(FT_HANDLE handle, DWORD* rxBytes, DWORD* txBytes,
                                     DWORD* eventStatus) {
    std::lock_guard guard(lock());
    return bridge().status(handle, rxBytes, txBytes, eventStatus);
}

KESTRA_EXPORT FT_STATUS FT_SetBaudRate(FT_HANDLE handle, ULONG baudRate) {
    std::lock_guard guard(lock());
    return bridge().setBaudRate(handle, baudRate);
}

KESTRA_EXPORT FT_STATUS FT_SetDataCharacteristics(FT_HANDLE handle, UCHAR wordLength,
                                                  UCHAR stopBits, UCHAR parity) {
    std::lock_guard guard(lock());
    return bridge().setDataCharacteristics(handle, wordLength, stopBits, parity);
}

KESTRA_EXPORT FT_STATUS FT_SetLatencyTimer(FT_HANDLE handle, UCHAR latency) {
    std::lock_guard guard(lock());
    return bridge().setLatencyTimer(handle, latency);
}

int KestraSim_Command(const char* command, char* answer, unsigned answerSize) {
    kestra::sim::CommandResult result;
    {
        std::lock_guard guard(lock());
        result =
            command ? bridge().command(command) : kestra::sim::CommandResult{false, "no command"};
    }
    if (answer && answerSize > 0) {
        const std::size_t n = std::min<std::size_t>(result.text.size(), answerSize - 1);
        std::memcpy(answer, result.text.data(), n);
        answer[n] = '\0';
    }
    return result.ok ? 0 : -1;
}
