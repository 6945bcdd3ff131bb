#include "port/VirtualPort.h"

#include "core/Clock.h"
#include "core/DebugLog.h"
#include "pedal/usb_bridge.h"
#include "port/D2xxPort.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>

namespace kestra {

using namespace d2xx;

namespace {
qint64 nowUs() {
    return Clock::instance().elapsedMs() * 1000;
}
} // namespace

VirtualPort::VirtualPort() : bridge_(std::make_unique<sim::UsbBridge>()) {
    const QString state = qEnvironmentVariable("KESTRA_PEDAL_STATE");
    if (state.isEmpty())
        return;
    std::string error;
    if (!bridge_->pedal().loadState(state.toStdString(), error))
        debugLog(QStringLiteral("virtual pedal: ") + QString::fromStdString(error));
}

VirtualPort::~VirtualPort() {
    if (isOpen())
        close();
}

std::optional<QString> VirtualPort::command(const QString& line, QString* error) {
    const sim::CommandResult result = bridge_->command(line.toStdString());
    if (!result.ok) {
        if (error)
            *error = QString::fromStdString(result.text);
        return std::nullopt;
    }
    return QString::fromStdString(result.text);
}

QString VirtualPort::keepStateIn(const QString& path, bool fresh) {
    keptState_ = path;
    if (fresh || !qEnvironmentVariable("KESTRA_PEDAL_STATE").isEmpty() || !QFileInfo::exists(path))
        return {};
    std::string error;
    if (!bridge_->pedal().loadState(path.toStdString(), error))
        return QString::fromStdString(error);
    return {};
}

void VirtualPort::saveKeptState() {
    if (keptState_.isEmpty())
        return;
    keepError_.clear();
    const QString folder = QFileInfo(keptState_).absolutePath();
    QSaveFile file(keptState_);
    const QByteArray text = QByteArray::fromStdString(bridge_->pedal().stateText());
    if (!QDir().mkpath(folder) || !file.open(QIODevice::WriteOnly) ||
        file.write(text) != text.size() || !file.commit())
        keepError_ = file.errorString().isEmpty() ? QStringLiteral("cannot create ") + folder
                                                  : file.errorString();
}

QString VirtualPort::backendName() const {
    return QStringLiteral("Virtual pedal (built in)");
}

PortResult VirtualPort::listDevices(std::vector<PortDevice>& devices) {
    devices.clear();
    DWORD count = 0;
    if (const FT_STATUS status = bridge_->listDevices(&count, nullptr, FT_LIST_NUMBER_ONLY);
        status != FT_OK)
        return D2xxPort::onDevice("GetFTDeviceCount", status);
    D2xxPort::appendListed(
        count,
        [this](void* arg1, void* arg2, DWORD flags) {
            return bridge_->listDevices(arg1, arg2, flags);
        },
        devices);
    return PortResult::success();
}

PortResult VirtualPort::open(const PortDevice& device) {
    if (isOpen())
        close();
    QByteArray serial = device.serialNumber.toLocal8Bit().left(D2xxPort::SerialNumberLimit);
    FT_HANDLE handle = nullptr;
    if (const FT_STATUS status = bridge_->open(serial.data(), FT_OPEN_BY_SERIAL_NUMBER, &handle);
        status != FT_OK)
        return D2xxPort::openFailure(status);
    handle_ = handle;
    return PortResult::success();
}

PortResult VirtualPort::close() {
    if (!isOpen())
        return PortResult::success();
    const FT_STATUS status = bridge_->close(handle_);
    handle_ = nullptr;
    unsent_.clear();
    lineTime_.forget();
    saveKeptState();
    return D2xxPort::onDevice("FT_Close", status);
}

PortResult VirtualPort::setLine(const LineSettings& line) {
    if (PortResult r =
            D2xxPort::onDevice("FT_SetBaudRate", bridge_->setBaudRate(handle_, line.baudRate));
        !r.ok())
        return r;
    PortResult set =
        D2xxPort::onDevice("FT_SetDataCharacteristics",
                           bridge_->setDataCharacteristics(
                               handle_, FT_BITS_8, FT_STOP_BITS_1,
                               line.parity == Parity::Even ? FT_PARITY_EVEN : FT_PARITY_NONE));
    if (set.ok())
        line_ = line;
    return set;
}

PortResult VirtualPort::setLatencyTimer(int ms) {
    return D2xxPort::onDevice(
        "FT_SetLatencyTimer",
        bridge_->setLatencyTimer(handle_, static_cast<UCHAR>(std::clamp(ms, 0, 255))));
}

PortResult VirtualPort::read(QByteArray& bytes) {
    DWORD queued = 0;
    if (PortResult r =
            D2xxPort::onDevice("FT_GetQueueStatus", bridge_->queueStatus(handle_, &queued));
        !r.ok() || queued == 0)
        return r;
    const qsizetype start = bytes.size();
    bytes.resize(start + static_cast<qsizetype>(queued));
    DWORD received = 0;
    const FT_STATUS status = bridge_->read(handle_, bytes.data() + start, queued, &received);
    bytes.resize(start + static_cast<qsizetype>(std::min(received, queued)));
    return D2xxPort::onDevice("FT_Read", status);
}

PortResult VirtualPort::write(QByteArrayView bytes) {
    if (!isOpen())
        return D2xxPort::onDevice("FT_Write", FT_INVALID_HANDLE);
    unsent_.append(bytes.data(), bytes.size());
    return writeUnsent();
}

PortResult VirtualPort::writeUnsent() {
    if (unsent_.isEmpty())
        return PortResult::success();
    DWORD written = 0;
    const FT_STATUS status =
        bridge_->write(handle_, unsent_.data(), static_cast<DWORD>(unsent_.size()), &written);
    const qsizetype taken = std::min<qsizetype>(written, unsent_.size());
    lineTime_.handedOver(taken, line_, nowUs());
    unsent_.remove(0, taken);
    return D2xxPort::onDevice("FT_Write", status);
}

PortResult VirtualPort::drained(bool& done) {
    done = false;
    if (PortResult r = writeUnsent(); !r.ok() || !unsent_.isEmpty())
        return r;
    DWORD received = 0;
    DWORD queued = 0;
    DWORD events = 0;
    if (PortResult r = D2xxPort::onDevice("FT_GetStatus",
                                          bridge_->status(handle_, &received, &queued, &events));
        !r.ok())
        return r;
    done = queued == 0 && lineTime_.idleAt(nowUs());
    return PortResult::success();
}

PortResult VirtualPort::purge(Purge what) {
    ULONG mask = 0;
    if (static_cast<int>(what) & static_cast<int>(Purge::Receive))
        mask |= FT_PURGE_RX;
    if (static_cast<int>(what) & static_cast<int>(Purge::Transmit)) {
        mask |= FT_PURGE_TX;
        unsent_.clear();
        lineTime_.forget();
    }
    return D2xxPort::onDevice("FT_Purge", bridge_->purge(handle_, mask));
}

} // namespace kestra
