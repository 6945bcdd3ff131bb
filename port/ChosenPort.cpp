#include "port/ChosenPort.h"

#include <algorithm>

namespace kestra {

BackendDecision decideBackend(const BackendFacts& facts) {
    if (facts.virtualAsked)
        return {Backend::Virtual, QStringLiteral("the virtual pedal was asked for")};
    if (facts.serialPathGiven)
        return {Backend::Serial, QStringLiteral("a serial device was given (--port)")};
    if (facts.virtualRemembered)
        return {Backend::Virtual,
                QStringLiteral("the virtual pedal was chosen in the Connection menu")};
    if (facts.d2xxNamed)
        return {Backend::D2xx, QStringLiteral("KESTRA_D2XX_LIBRARY names the D2XX library")};
    const auto heldByKernel = [&facts](const PortDevice& device) {
        return std::any_of(facts.serialDevices.begin(), facts.serialDevices.end(),
                           [&device](const PortDevice& serial) {
                               return serial.serialNumber == device.serialNumber;
                           });
    };
    if (std::any_of(facts.d2xxDevices.begin(), facts.d2xxDevices.end(),
                    [&](const PortDevice& device) { return !heldByKernel(device); }))
        return {Backend::D2xx, QStringLiteral("the D2XX library lists a pedal")};
    if (!facts.d2xxDevices.empty())
        return {Backend::Serial,
                QStringLiteral("the kernel's serial driver holds the pedal D2XX lists")};
    return {Backend::Serial, QStringLiteral("no D2XX library lists a pedal")};
}

ChosenPort::ChosenPort(Port& d2xx, Port& serial, Port& virtualPedal)
    : d2xx_(d2xx), serial_(serial), virtual_(virtualPedal) {}

Port& ChosenPort::backendPort(Backend backend) const {
    switch (backend) {
    case Backend::D2xx:
        return d2xx_;
    case Backend::Virtual:
        return virtual_;
    case Backend::Serial:
        break;
    }
    return serial_;
}

bool ChosenPort::select(Backend backend) {
    if (backend == backend_)
        return true;
    if (isOpen())
        return false;
    backend_ = backend;
    return true;
}

} // namespace kestra
