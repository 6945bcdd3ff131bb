// The part of FTDI's published D2XX programming interface that the editor
// uses: types, constants and C signatures as the vendor's library exports them
// on Linux (DWORD and ULONG are 32 bits there). Shared by the run-time binding
// and by the stand-in library, so that both agree on every argument.
#pragma once

#include <cstdint>

namespace d2xx {

using DWORD = std::uint32_t;
using ULONG = std::uint32_t;
using UCHAR = std::uint8_t;
using FT_HANDLE = void*;
using FT_STATUS = ULONG;

enum Status : FT_STATUS {
    FT_OK = 0,
    FT_INVALID_HANDLE = 1,
    FT_DEVICE_NOT_FOUND = 2,
    FT_DEVICE_NOT_OPENED = 3,
    FT_IO_ERROR = 4,
    FT_INSUFFICIENT_RESOURCES = 5,
    FT_INVALID_PARAMETER = 6,
    FT_INVALID_BAUD_RATE = 7,
    FT_DEVICE_NOT_OPENED_FOR_ERASE = 8,
    FT_DEVICE_NOT_OPENED_FOR_WRITE = 9,
    FT_FAILED_TO_WRITE_DEVICE = 10,
    FT_EEPROM_READ_FAILED = 11,
    FT_EEPROM_WRITE_FAILED = 12,
    FT_EEPROM_ERASE_FAILED = 13,
    FT_EEPROM_NOT_PRESENT = 14,
    FT_EEPROM_NOT_PROGRAMMED = 15,
    FT_INVALID_ARGS = 16,
    FT_NOT_SUPPORTED = 17,
    FT_OTHER_ERROR = 18,
    FT_DEVICE_LIST_NOT_READY = 19,
};

// FT_OpenEx and FT_ListDevices flags.
constexpr DWORD FT_OPEN_BY_SERIAL_NUMBER = 1;
constexpr DWORD FT_OPEN_BY_DESCRIPTION = 2;
constexpr DWORD FT_LIST_NUMBER_ONLY = 0x80000000;
constexpr DWORD FT_LIST_BY_INDEX = 0x40000000;
constexpr DWORD FT_LIST_ALL = 0x20000000;

// FT_Purge masks.
constexpr ULONG FT_PURGE_RX = 1;
constexpr ULONG FT_PURGE_TX = 2;

// FT_SetDataCharacteristics codes.
constexpr UCHAR FT_BITS_8 = 8;
constexpr UCHAR FT_BITS_7 = 7;
constexpr UCHAR FT_STOP_BITS_1 = 0;
constexpr UCHAR FT_STOP_BITS_2 = 2;
constexpr UCHAR FT_PARITY_NONE = 0;
constexpr UCHAR FT_PARITY_ODD = 1;
constexpr UCHAR FT_PARITY_EVEN = 2;

// Signatures of the exported functions (names without the namespace).
using FT_ListDevices_t = FT_STATUS (*)(void* pArg1, void* pArg2, DWORD flags);
using FT_OpenEx_t = FT_STATUS (*)(void* pArg1, DWORD flags, FT_HANDLE* pHandle);
using FT_Close_t = FT_STATUS (*)(FT_HANDLE handle);
using FT_GetQueueStatus_t = FT_STATUS (*)(FT_HANDLE handle, DWORD* rxBytes);
using FT_Read_t = FT_STATUS (*)(FT_HANDLE handle, void* buffer, DWORD bytesToRead,
                                DWORD* bytesReturned);
using FT_Write_t = FT_STATUS (*)(FT_HANDLE handle, void* buffer, DWORD bytesToWrite,
                                 DWORD* bytesWritten);
using FT_Purge_t = FT_STATUS (*)(FT_HANDLE handle, ULONG mask);
// Bytes in the driver's receive and transmit queues (the chip's own buffers
// not included) and the pending events.
using FT_GetStatus_t = FT_STATUS (*)(FT_HANDLE handle, DWORD* rxBytes, DWORD* txBytes,
                                     DWORD* eventStatus);
using FT_SetBaudRate_t = FT_STATUS (*)(FT_HANDLE handle, ULONG baudRate);
using FT_SetDataCharacteristics_t = FT_STATUS (*)(FT_HANDLE handle, UCHAR wordLength,
                                                  UCHAR stopBits, UCHAR parity);
// Milliseconds the bridge holds a short tail before sending it: 2..255,
// 16 after FT_OpenEx.
using FT_SetLatencyTimer_t = FT_STATUS (*)(FT_HANDLE handle, UCHAR latency);

} // namespace d2xx
