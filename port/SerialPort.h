// The pedal's line through the kernel's serial driver, on Qt Serial Port. On
// a stock Linux desktop the ftdi_sio driver claims the FT230X as
// /dev/ttyUSBn, where FTDI's D2XX library cannot reach it; this backend talks
// to that device. A path given on the command line (a pseudo-terminal, for
// one) is used as it is, whatever device it is.
#pragma once

#include "port/Port.h"

#include <QSerialPort>

namespace kestra {

// The FT230X's USB identity.
inline constexpr quint16 KestraUsbVendor = 0x0403;
inline constexpr quint16 KestraUsbProduct = 0x6015;

class SerialPort final : public Port {
public:
    // With a path, that device alone; otherwise every FT230X attached.
    explicit SerialPort(QString path = {});
    ~SerialPort() override;

    // Where the usb-serial devices' attributes are (tests use a folder of
    // their own).
    void setAttributeFolder(const QString& folder) { attributeFolder_ = folder; }
    // The USB identity the search looks for: the FT230X's, unless a test's
    // converter has another one.
    void setUsbIdentity(quint16 vendor, quint16 product) {
        vendor_ = vendor;
        product_ = product;
    }
    // How a failure of Qt Serial Port reads as a port result. Qt reports a
    // device that another program holds and one this user may not open
    // alike; accessible tells them apart.
    static PortResult::Error errorKind(QSerialPort::SerialPortError error, bool accessible);

    QString backendName() const override;
    QString advice(PortResult::Error error) const override;
    PortResult listDevices(std::vector<PortDevice>& devices) override;
    PortResult open(const PortDevice& device) override;
    PortResult close() override;
    bool isOpen() const override { return serial_.isOpen(); }
    PortResult setLine(const LineSettings& line) override;
    PortResult setLatencyTimer(int ms) override;
    PortResult read(QByteArray& bytes) override;
    PortResult write(QByteArrayView bytes) override;
    PortResult drained(bool& done) override;
    PortResult purge(Purge what) override;

private:
    // Lets Qt Serial Port hand its buffer on without waiting, and counts
    // what the kernel took.
    void flush();
    // The result of the last call on serial_, labelled for the log.
    PortResult failure(const char* label);
    PortResult notOpen(const char* label) const;

    QString path_;
    // The device open now, or last.
    QString location_;
    QString attributeFolder_ = QStringLiteral("/sys/bus/usb-serial/devices");
    quint16 vendor_ = KestraUsbVendor;
    quint16 product_ = KestraUsbProduct;
    QSerialPort serial_;
    LineSettings line_;
    // Bytes given to Qt Serial Port since the last purge or open that the
    // kernel has not taken yet, as last counted.
    qint64 notTaken_ = 0;
    LineTime lineTime_;
};

} // namespace kestra
