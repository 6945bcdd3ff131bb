// The one interface between the editor and a serial line to the pedal,
// whatever drives it: FTDI's D2XX library, the kernel's serial driver or the
// virtual pedal. Calls never wait for the pedal: a read takes what has
// arrived, a write hands bytes to the driver, and drained() tells whether
// they have left.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <algorithm>
#include <vector>

namespace kestra {

inline constexpr quint32 PedalBaudRate = 115200;

enum class Parity { None, Even };

// 8 data bits and 1 stop bit always; the application runs without parity,
// the ROM bootloader with even parity.
struct LineSettings {
    quint32 baudRate = PedalBaudRate;
    Parity parity = Parity::None;

    static LineSettings application() { return {PedalBaudRate, Parity::None}; }
    static LineSettings bootloader() { return {PedalBaudRate, Parity::Even}; }
    bool operator==(const LineSettings&) const = default;

    // Start, 8 data bits, the parity bit if any, one stop bit.
    int bitsPerByte() const { return parity == Parity::None ? 10 : 11; }
    // How long the line takes to carry bytes, rounded up.
    qint64 microseconds(qint64 bytes) const {
        const qint64 baud = baudRate > 0 ? baudRate : 1;
        return (bytes * bitsPerByte() * 1000000 + baud - 1) / baud;
    }
};

// When the line will have carried what was handed to the driver: bytes leave
// no faster than the line rate, whatever the driver's queues say. Every
// queue between the host and the pedal's UART (the bridge's own 512-byte
// transmit buffer, a pseudo-terminal's kernel buffer) drains no sooner than
// this, and neither shows in the driver's count.
class LineTime {
public:
    // bytes went to the driver at nowUs.
    void handedOver(qint64 bytes, const LineSettings& line, qint64 nowUs) {
        freeAtUs_ = std::max(freeAtUs_, nowUs) + line.microseconds(bytes);
    }
    bool idleAt(qint64 nowUs) const { return nowUs >= freeAtUs_; }
    // After a purge or close nothing of it is on its way any more.
    void forget() { freeAtUs_ = 0; }

private:
    qint64 freeAtUs_ = 0;
};

struct PortDevice {
    QString serialNumber;
    QString description;
    // Where the device is reached when that is not by its serial number
    // (a serial device's path); empty otherwise.
    QString location;
};

struct PortResult {
    enum class Error {
        None,
        NoDriver,     // the backend's driver or library is missing
        NotFound,     // no such device attached
        InUse,        // another program holds the device
        NoPermission, // the user may not open the device
        Disconnected, // the device went away while open (I/O error, stale handle)
        Failed,       // any other refusal
    };
    Error error = Error::None;
    // What the driver said, for the log (e.g. "FT_Write - Invalid handle...").
    QString detail;

    bool ok() const { return error == Error::None; }
    static PortResult success() { return {}; }
    static PortResult failure(Error error, QString detail) { return {error, std::move(detail)}; }
};

enum class Purge { Receive = 1, Transmit = 2, Both = 3 };

class Port {
public:
    virtual ~Port() = default;

    // What drives this port, for the log and the Info menu.
    virtual QString backendName() const = 0;
    // What the player can check when no device is found or one cannot be
    // opened through this backend: a paragraph, empty when there is nothing
    // to add.
    virtual QString advice(PortResult::Error error) const {
        Q_UNUSED(error);
        return {};
    }
    // The devices attached now, in enumeration order.
    virtual PortResult listDevices(std::vector<PortDevice>& devices) = 0;
    virtual PortResult open(const PortDevice& device) = 0;
    // Closes the device. The port is closed afterwards even when the driver
    // reports a failure: there is nothing more to do with that handle.
    virtual PortResult close() = 0;
    virtual bool isOpen() const = 0;
    virtual PortResult setLine(const LineSettings& line) = 0;
    // How long the bridge holds a short tail of received bytes before it
    // hands them over.
    virtual PortResult setLatencyTimer(int ms) = 0;
    // Appends everything received and not read yet; never waits. An idle
    // read costs one cheap call.
    virtual PortResult read(QByteArray& bytes) = 0;
    // Hands bytes on; what the driver cannot take yet the port keeps and
    // hands on from drained().
    virtual PortResult write(QByteArrayView bytes) = 0;
    // Whether every byte written has left for the pedal: nothing waits in
    // the port or the driver, and the line has had the time to carry it.
    // Never waits.
    virtual PortResult drained(bool& done) = 0;
    virtual PortResult purge(Purge what) = 0;
};

} // namespace kestra
