// The port the program talks through: it forwards every call to one of the
// backends, the one chosen at start or later, and switches only while no
// device is open, so the connection above never loses a handle it holds.
#pragma once

#include "port/Port.h"

#include <vector>

namespace kestra {

enum class Backend { D2xx, Serial, Virtual };

// What the backend is chosen from, strongest first.
struct BackendFacts {
    bool virtualAsked = false;      // --virtual, or Use Virtual Pedal this run
    bool serialPathGiven = false;   // --port PATH
    bool virtualRemembered = false; // Use Virtual Pedal, picked in an earlier run
    bool d2xxNamed = false;         // KESTRA_D2XX_LIBRARY names a library
    // What each hardware backend lists now (nothing for a D2XX library that
    // is not installed).
    std::vector<PortDevice> d2xxDevices;
    std::vector<PortDevice> serialDevices;
};

struct BackendDecision {
    Backend backend = Backend::Serial;
    QString reason; // for the log
};

// The virtual pedal when asked for; the serial device given; D2XX when the
// library was named, or when it lists a pedal that the kernel's serial
// driver does not hold (the driver's device cannot be opened through D2XX);
// otherwise the kernel's serial driver.
BackendDecision decideBackend(const BackendFacts& facts);

class ChosenPort final : public Port {
public:
    ChosenPort(Port& d2xx, Port& serial, Port& virtualPedal);

    Backend backend() const { return backend_; }
    Port& backendPort(Backend backend) const;
    // Switches to backend; false while a device is open.
    bool select(Backend backend);

    QString backendName() const override { return current().backendName(); }
    QString advice(PortResult::Error error) const override { return current().advice(error); }
    PortResult listDevices(std::vector<PortDevice>& devices) override {
        return current().listDevices(devices);
    }
    PortResult open(const PortDevice& device) override { return current().open(device); }
    PortResult close() override { return current().close(); }
    bool isOpen() const override { return current().isOpen(); }
    PortResult setLine(const LineSettings& line) override { return current().setLine(line); }
    PortResult setLatencyTimer(int ms) override { return current().setLatencyTimer(ms); }
    PortResult read(QByteArray& bytes) override { return current().read(bytes); }
    PortResult write(QByteArrayView bytes) override { return current().write(bytes); }
    PortResult drained(bool& done) override { return current().drained(done); }
    PortResult purge(Purge what) override { return current().purge(what); }

private:
    Port& current() const { return backendPort(backend_); }

    Port& d2xx_;
    Port& serial_;
    Port& virtual_;
    Backend backend_ = Backend::Serial;
};

} // namespace kestra
