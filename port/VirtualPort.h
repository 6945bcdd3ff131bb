// The virtual pedal as a backend of its own: the pedal and its FT230X, linked
// into the program, so the editor and kestra-cli can be tried without
// hardware and without any library path. It behaves as the stand-in D2XX
// library does (pedal/README.md).
#pragma once

#include "port/Port.h"

#include <memory>
#include <optional>

namespace kestra {

namespace sim {
class UsbBridge;
}

class VirtualPort final : public Port {
public:
    // The pedal starts from the state file KESTRA_PEDAL_STATE names, if any.
    VirtualPort();
    ~VirtualPort() override;

    // Runs a command of the pedal's control language (pedal/README.md):
    // its answer, or nothing and why when the pedal refuses it.
    std::optional<QString> command(const QString& line, QString* error = nullptr);

    // Keeps the pedal between runs in the state file at path: the pedal
    // starts from it (unless fresh, or KESTRA_PEDAL_STATE named a start of
    // its own) and it is written each time the device closes. Why the kept
    // state could not be read, or empty.
    QString keepStateIn(const QString& path, bool fresh);
    // Why the state could not be kept at the last close; empty when it was.
    const QString& keepError() const { return keepError_; }

    QString backendName() const override;
    PortResult listDevices(std::vector<PortDevice>& devices) override;
    PortResult open(const PortDevice& device) override;
    PortResult close() override;
    bool isOpen() const override { return handle_ != nullptr; }
    PortResult setLine(const LineSettings& line) override;
    PortResult setLatencyTimer(int ms) override;
    PortResult read(QByteArray& bytes) override;
    PortResult write(QByteArrayView bytes) override;
    PortResult drained(bool& done) override;
    PortResult purge(Purge what) override;

private:
    PortResult writeUnsent();
    void saveKeptState();

    std::unique_ptr<sim::UsbBridge> bridge_;
    void* handle_ = nullptr;
    LineSettings line_;
    QByteArray unsent_;
    LineTime lineTime_;
    QString keptState_;
    QString keepError_;
};

} // namespace kestra
