// Paragraphs the backends put together into their advice: what to check
// when the pedal is not found or cannot be opened.
#pragma once

#include <QString>

namespace kestra::advice {

// The cable and the power switch.
QString cable();
// The udev rule that gives the logged-in user the pedal's USB device.
QString udevRule();
// FTDI's D2XX library and the kernel's ftdi_sio driver cannot share the pedal.
QString kernelDriverHoldsThePedal();
// How to try everything without a pedal.
QString virtualPedal();

} // namespace kestra::advice
