#include "port/SerialPort.h"

#include "core/Clock.h"
#include "core/DebugLog.h"
#include "port/PortAdvice.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <algorithm>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace kestra {

namespace {
bool accessible(const QString& path) {
    return ::access(QFile::encodeName(path).constData(), R_OK | W_OK) == 0;
}

// Unix98 pseudo-terminal slaves (/dev/pts/N) have majors 136 to 143.
bool pseudoTerminal(int descriptor) {
    struct stat status {};
    if (::fstat(descriptor, &status) != 0 || !S_ISCHR(status.st_mode))
        return false;
    const unsigned int number = major(status.st_rdev);
    return number >= 136 && number <= 143;
}
} // namespace

SerialPort::SerialPort(QString path) : path_(std::move(path)) {}

SerialPort::~SerialPort() {
    if (isOpen())
        close();
}

PortResult::Error SerialPort::errorKind(QSerialPort::SerialPortError error, bool accessible) {
    switch (error) {
    case QSerialPort::NoError:
        return PortResult::Error::None;
    case QSerialPort::DeviceNotFoundError:
        return PortResult::Error::NotFound;
    // Also a busy device or one locked by another program.
    case QSerialPort::PermissionError:
        return accessible ? PortResult::Error::InUse : PortResult::Error::NoPermission;
    // The device went away under an open handle: a read or write fails with
    // an I/O error, or a read finds the line hung up.
    case QSerialPort::ResourceError:
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
        return PortResult::Error::Disconnected;
    default:
        return PortResult::Error::Failed;
    }
}

QString SerialPort::backendName() const {
    return path_.isEmpty() ? QStringLiteral("Serial port (kernel driver)")
                           : QStringLiteral("Serial port (%1)").arg(path_);
}

QString SerialPort::advice(PortResult::Error error) const {
    switch (error) {
    case PortResult::Error::NotFound:
        if (!path_.isEmpty())
            return QStringLiteral("There is no device %1.").arg(path_);
        return advice::cable() +
               QStringLiteral(" Plugged in, the pedal shows up as a serial port such as "
                              "/dev/ttyUSB0 through the kernel's ftdi_sio driver (lsusb lists it "
                              "as 0403:6015); if that driver was unloaded for FTDI's D2XX "
                              "library, load it again (sudo modprobe ftdi_sio) or install the "
                              "D2XX library.\n\n") +
               advice::virtualPedal();
    case PortResult::Error::NoPermission:
        return advice::udevRule() +
               QStringLiteral(" Membership of the dialout group, from the next login on, also "
                              "gives access.");
    case PortResult::Error::InUse:
        return QStringLiteral("Another program has the serial port open: a terminal program, or "
                              "a second editor or kestra-cli.");
    default:
        return {};
    }
}

PortResult SerialPort::listDevices(std::vector<PortDevice>& devices) {
    devices.clear();
    if (!path_.isEmpty()) {
        if (QFileInfo::exists(path_)) {
            // A USB serial device given by its path still has its serial
            // number; a pseudo-terminal has nothing but its path.
            const QSerialPortInfo info(path_);
            devices.push_back({info.serialNumber(),
                               info.description().isEmpty() ? path_ : info.description(), path_});
        }
        return PortResult::success();
    }
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        if (info.hasVendorIdentifier() && info.vendorIdentifier() == vendor_ &&
            info.hasProductIdentifier() && info.productIdentifier() == product_)
            devices.push_back({info.serialNumber(), info.description(), info.systemLocation()});
    }
    return PortResult::success();
}

PortResult SerialPort::open(const PortDevice& device) {
    if (isOpen())
        close();
    const QString path = device.location;
    if (path.isEmpty() || !QFileInfo::exists(path))
        return PortResult::failure(PortResult::Error::NotFound,
                                   QStringLiteral("%1: no such serial device")
                                       .arg(path.isEmpty() ? device.serialNumber : path));
    serial_.setPortName(path);
    serial_.setBaudRate(PedalBaudRate);
    serial_.setDataBits(QSerialPort::Data8);
    serial_.setParity(QSerialPort::NoParity);
    serial_.setStopBits(QSerialPort::OneStop);
    serial_.setFlowControl(QSerialPort::NoFlowControl);
    if (!serial_.open(QIODevice::ReadWrite)) {
        const QSerialPort::SerialPortError error = serial_.error();
        const QString detail = path + QStringLiteral(": ") + serial_.errorString();
        serial_.clearError();
        return PortResult::failure(errorKind(error, accessible(path)), detail);
    }
    location_ = path;
    line_ = LineSettings::application();
    notTaken_ = 0;
    lineTime_.forget();
    debugLog(QStringLiteral("serial port: ") + path);
    return PortResult::success();
}

PortResult SerialPort::close() {
    if (isOpen())
        serial_.close();
    serial_.clearError();
    return PortResult::success();
}

PortResult SerialPort::failure(const char* label) {
    const QSerialPort::SerialPortError error = serial_.error();
    const QString detail =
        QStringLiteral("%1 %2: %3").arg(QLatin1String(label), location_, serial_.errorString());
    serial_.clearError();
    return PortResult::failure(errorKind(error, true), detail);
}

PortResult SerialPort::notOpen(const char* label) const {
    return PortResult::failure(
        PortResult::Error::Disconnected,
        QStringLiteral("%1: the serial port is not open").arg(QLatin1String(label)));
}

PortResult SerialPort::setLine(const LineSettings& line) {
    if (!isOpen())
        return notOpen("set line");
    if (!serial_.setBaudRate(static_cast<qint32>(line.baudRate)) ||
        !serial_.setDataBits(QSerialPort::Data8) || !serial_.setStopBits(QSerialPort::OneStop))
        return failure("set line");
    // Linux refuses parity on a pseudo-terminal, which carries bytes, not
    // bits: the program at its other end (kestra-pedal-sim) takes the line
    // as the pedal needs it.
    if (line.parity == Parity::Even && pseudoTerminal(serial_.handle())) {
        debugLog(location_ + QStringLiteral(" is a pseudo-terminal: it carries no parity"));
        line_ = line; // the program at the other end takes it so
        return PortResult::success();
    }
    if (!serial_.setParity(line.parity == Parity::Even ? QSerialPort::EvenParity
                                                       : QSerialPort::NoParity))
        return failure("set line");
    line_ = line;
    return PortResult::success();
}

PortResult SerialPort::setLatencyTimer(int ms) {
    if (!isOpen())
        return notOpen("latency timer");
    // The kernel's driver keeps the FT230X's latency timer in a usb-serial
    // attribute named after the device (ttyUSB0). Only root may write it
    // unless the udev rule has set it; then the driver's setting stays,
    // which works, only more slowly.
    const QString device = QFileInfo(QFileInfo(location_).canonicalFilePath()).fileName();
    QFile attribute(QDir(attributeFolder_).filePath(device + QStringLiteral("/latency_timer")));
    const QByteArray value = QByteArray::number(std::clamp(ms, 1, 255));
    if (!attribute.open(QIODevice::WriteOnly | QIODevice::ExistingOnly) ||
        attribute.write(value) != value.size() || !attribute.flush()) {
        debugLog(QStringLiteral("latency timer not set, the driver's stays: %1: %2")
                     .arg(attribute.fileName(), attribute.errorString()));
        return PortResult::success();
    }
    debugLog(QStringLiteral("latency timer: %1 ms").arg(QString::fromLatin1(value)));
    return PortResult::success();
}

PortResult SerialPort::read(QByteArray& bytes) {
    if (!isOpen())
        return notOpen("read");
    // Writes the driver could not take at once go on here, and what has
    // arrived is taken, both without the event loop and without waiting.
    flush();
    serial_.waitForReadyRead(0);
    const QSerialPort::SerialPortError error = serial_.error();
    if (error != QSerialPort::NoError && error != QSerialPort::TimeoutError)
        return failure("read");
    serial_.clearError();
    bytes.append(serial_.readAll());
    return PortResult::success();
}

PortResult SerialPort::write(QByteArrayView bytes) {
    if (!isOpen())
        return notOpen("write");
    if (serial_.write(bytes.data(), bytes.size()) != bytes.size())
        return failure("write");
    notTaken_ += bytes.size();
    flush();
    if (serial_.error() != QSerialPort::NoError)
        return failure("write");
    return PortResult::success();
}

void SerialPort::flush() {
    serial_.flush();
    const qint64 left = serial_.bytesToWrite();
    if (left < notTaken_)
        lineTime_.handedOver(notTaken_ - left, line_, Clock::instance().elapsedMs() * 1000);
    notTaken_ = left;
}

// Qt Serial Port's buffer, then the kernel's output queue (TIOCOUTQ, what
// tcdrain waits for), then the line time: the bridge's own buffer, or a
// pseudo-terminal's, shows in neither count.
PortResult SerialPort::drained(bool& done) {
    done = false;
    if (!isOpen())
        return notOpen("drain");
    flush();
    if (serial_.error() != QSerialPort::NoError && serial_.error() != QSerialPort::TimeoutError)
        return failure("drain");
    serial_.clearError();
    if (notTaken_ > 0)
        return PortResult::success();
    int queued = 0;
    if (::ioctl(serial_.handle(), TIOCOUTQ, &queued) != 0)
        queued = 0; // a driver without the count: the line time still holds
    done = queued == 0 && lineTime_.idleAt(Clock::instance().elapsedMs() * 1000);
    return PortResult::success();
}

PortResult SerialPort::purge(Purge what) {
    if (!isOpen())
        return notOpen("purge");
    QSerialPort::Directions directions;
    if (static_cast<int>(what) & static_cast<int>(Purge::Receive))
        directions |= QSerialPort::Input;
    if (static_cast<int>(what) & static_cast<int>(Purge::Transmit)) {
        directions |= QSerialPort::Output;
        notTaken_ = 0;
        lineTime_.forget();
    }
    return serial_.clear(directions) ? PortResult::success() : failure("purge");
}

} // namespace kestra
