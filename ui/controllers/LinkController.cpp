#include "ui/controllers/LinkController.h"

#include "core/DebugLog.h"
#include "core/Dialogs.h"
#include "operations/PedalOperations.h"
#include "port/Backends.h"

#include <QAction>
#include <QActionGroup>
#include <QLabel>
#include <QStatusBar>

namespace kestra {

namespace {
const QString LinkedSuffix = QStringLiteral(" linked");
// The description an FT230X reports while its EEPROM holds the factory
// default; such a bridge is shown under the product name.
const QString FactoryBridgeDescription = QStringLiteral("FT230X Basic UART");
const QString ProductName = QStringLiteral("Kestra");

QString stateText(Connection::State state) {
    switch (state) {
    case Connection::State::Unlinked:
        return QStringLiteral("unlinked");
    case Connection::State::Linking:
        return QStringLiteral("linking");
    case Connection::State::Linked:
    case Connection::State::Busy:
        return QStringLiteral("linked");
    case Connection::State::Bootloader:
    case Connection::State::Upgrading:
        return QStringLiteral("bootloader");
    case Connection::State::Lost:
        return QStringLiteral("lost");
    }
    return {};
}
} // namespace

LinkController::LinkController(PedalSession& session, QWidget* client, QStatusBar* statusBar,
                               QObject* menuOwner, QObject* parent)
    : FeatureController(session, parent), connection_(session.connection()) {
    // Labels keep their own text as their accessible name.
    deviceName_ = new QLabel(QStringLiteral("Device Name: "), client);
    deviceName_->setObjectName(QStringLiteral("deviceName"));
    deviceName_->setGeometry(10, 8, 380, 22);
    // The first thing a glance finds: which pedal, and whether it is linked.
    QFont bold = deviceName_->font();
    bold.setBold(true);
    deviceName_->setFont(bold);
    deviceLabel_ = deviceName_->text();

    scan_ = new QAction(QStringLiteral("Scan"), menuOwner);
    link_ = new QAction(QStringLiteral("Link"), menuOwner);
    link_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    unlink_ = new QAction(QStringLiteral("Unlink"), menuOwner);
    connect(scan_, &QAction::triggered, this, &LinkController::onScan);
    connect(link_, &QAction::triggered, this, &LinkController::onLink);
    connect(unlink_, &QAction::triggered, this, &LinkController::onUnlink);

    auto* backendChoice = new QActionGroup(this);
    useUsbPort_ = new QAction(QStringLiteral("Use USB Port"), menuOwner);
    useVirtualPedal_ = new QAction(QStringLiteral("Use Virtual Pedal"), menuOwner);
    for (QAction* entry : {useUsbPort_, useVirtualPedal_}) {
        entry->setCheckable(true);
        backendChoice->addAction(entry);
    }
    useUsbPort_->setChecked(true);
    connect(useUsbPort_, &QAction::triggered, this, [this] { onBackendPicked(false); });
    connect(useVirtualPedal_, &QAction::triggered, this, [this] { onBackendPicked(true); });

    firmwareVersion_ = new QAction(QStringLiteral("Firmware Version:"), menuOwner);
    firmwareVersion_->setEnabled(false);
    deviceSerial_ = new QAction(QStringLiteral("Device Serial: "), menuOwner);
    connectionInfo_ =
        new QAction(QStringLiteral("Connection: ") + connection_.port().backendName(), menuOwner);
    connectionInfo_->setEnabled(false);

    linkIndicator_ = new QLabel(statusBar);
    linkIndicator_->setObjectName(QStringLiteral("linkIndicator"));
    statusBar->addPermanentWidget(linkIndicator_);

    connect(&connection_, &Connection::stateChanged, this,
            &LinkController::onConnectionStateChanged);
    connect(&connection_, &Connection::lost, this, &LinkController::onLinkLost);
    connect(&session_, &PedalSession::situationChanged, this,
            &LinkController::refreshLinkIndicator);
    connect(&session_, &PedalSession::storedEffectChanged, this,
            &LinkController::onStoredEffectChanged);
    refreshLinkIndicator();
}

void LinkController::addSituation(EditorSituation& situation) const {
    situation.link = connection_.state();
    situation.virtualPedal = backends_ && backends_->backend() == Backend::Virtual;
}

void LinkController::applyEnabledStates(const EnabledStates& e) {
    scan_->setEnabled(e.scan);
    link_->setEnabled(e.link);
    unlink_->setEnabled(e.unlink);
    useUsbPort_->setEnabled(e.chooseBackend);
    useVirtualPedal_->setEnabled(e.chooseBackend);
}

void LinkController::setDeviceLabel(const QString& text) {
    deviceLabel_ = text;
    deviceName_->setText(text);
}

QString LinkController::displayName(const PortDevice& device) {
    return device.description == FactoryBridgeDescription ? ProductName : device.description;
}

void LinkController::probeDevices() {
    device_ = {};
    deviceSerial_->setText(QStringLiteral("Device Serial: "));
    setDeviceLabel(QStringLiteral("Device Name: "));
    std::vector<PortDevice> devices;
    if (!connection_.port().listDevices(devices).ok())
        devices.clear();
    for (const PortDevice& device : devices) {
        deviceSerial_->setText(deviceSerial_->text() + device.serialNumber);
        device_ = device;
        setDeviceLabel(displayName(device));
    }
    refreshLinkIndicator();
}

void LinkController::onScan() {
    // A pedal plugged in since the start may call for another backend; what
    // the last one listed means nothing to it.
    if (backends_ && backends_->chooseAgain()) {
        device_ = {};
        debugLog(QStringLiteral("port: ") + connection_.port().backendName());
        debugLog(QStringLiteral("because ") + backends_->reason());
        showBackend();
    }
    std::vector<PortDevice> devices;
    const PortResult listed = connection_.port().listDevices(devices);
    if (listed.error == PortResult::Error::NoDriver) {
        Dialogs::instance().error(listed.detail);
        return;
    }
    const QString previousLabel = deviceLabel_;
    setDeviceLabel(QStringLiteral("Device Name"));
    if (!listed.ok())
        debugLog(listed.detail);
    debugLog(QStringLiteral("FT device count: %1").arg(devices.size()));
    if (devices.empty()) {
        Dialogs::instance().message(
            noDeviceMessage(connection_.port().advice(PortResult::Error::NotFound)));
        setDeviceLabel(QStringLiteral("No device found"));
        return;
    }
    for (const PortDevice& device : devices)
        debugLog(QStringLiteral("FT_Device_String: ") + device.serialNumber);
    if (devices.size() == 1) {
        device_ = devices.front();
        setDeviceLabel(displayName(device_));
        refreshLinkIndicator();
        emit statusMessage(displayName(device_) + QStringLiteral(" found, click Link"));
        return;
    }
    // Adapters look alike but for their serial numbers: the player picks.
    QStringList options;
    for (const PortDevice& device : devices) {
        QString option =
            QStringLiteral("%1, serial number %2")
                .arg(displayName(device), device.serialNumber.isEmpty() ? QStringLiteral("unknown")
                                                                        : device.serialNumber);
        if (!device.location.isEmpty())
            option += QStringLiteral(" (%1)").arg(device.location);
        options.append(option);
    }
    const int picked = Dialogs::instance().choose(
        QStringLiteral("%1 pedals found. Which one do you want to link?").arg(devices.size()),
        options);
    if (picked < 0 || picked >= static_cast<int>(devices.size())) {
        setDeviceLabel(previousLabel);
        return;
    }
    device_ = devices[static_cast<std::size_t>(picked)];
    setDeviceLabel(displayName(device_));
    refreshLinkIndicator();
    debugLog(QStringLiteral("picked: ") + device_.serialNumber);
}

void LinkController::onLink() {
    const PortResult linked = session_.link(device_, [this](const SessionResult& result) {
        // An empty pedal waits for an effect: the window says what to do.
        if (result.ok() && connection_.state() == Connection::State::Linked &&
            session_.storedEffect().none && !result.text.isEmpty())
            return emit statusMessage(result.text + QStringLiteral(": pick one and click Upload"));
        report(result);
        if (result.ok() && session_.showsStoredEffect())
            emit linkedToStoredEffect();
    });
    if (!linked.ok()) {
        Dialogs::instance().error(
            linkFailureMessage(linked, connection_.port().advice(linked.error)));
        return;
    }
    setDeviceLabel(deviceLabel_ + LinkedSuffix);
}

void LinkController::onUnlink() {
    QString why;
    if (!session_.unlink(&why))
        Dialogs::instance().error(why);
}

void LinkController::setBackends(Backends* backends) {
    backends_ = backends;
    showBackend();
    emit situationChanged();
}

void LinkController::showBackend() {
    const bool virtualPedal = backends_ && backends_->backend() == Backend::Virtual;
    useVirtualPedal_->setChecked(virtualPedal);
    useUsbPort_->setChecked(!virtualPedal);
    connectionInfo_->setText(QStringLiteral("Connection: ") + connection_.port().backendName());
}

void LinkController::onBackendPicked(bool virtualPedal) {
    QString saveError;
    if (!backends_ || !backends_->pick(virtualPedal, &saveError)) {
        showBackend();
        return;
    }
    if (!saveError.isEmpty())
        Dialogs::instance().error(saveError);
    debugLog(QStringLiteral("port: ") + connection_.port().backendName());
    debugLog(QStringLiteral("because ") + backends_->reason());
    showBackend();
    probeDevices();
    emit situationChanged();
}

void LinkController::onConnectionStateChanged() {
    const Connection::State state = connection_.state();
    if (state == Connection::State::Unlinked || state == Connection::State::Lost)
        setDeviceLabel(QString(deviceLabel_).remove(LinkedSuffix));
    refreshLinkIndicator();
}

void LinkController::onLinkLost(const QString& message) {
    // The Firmware Upgrade window says what the loss means for the firmware.
    if (session_.upgrading())
        return;
    Dialogs::instance().error(message);
}

void LinkController::onStoredEffectChanged() {
    // Unknown again after an upgrade, until the new firmware answers.
    firmwareVersion_->setText(
        session_.firmwareKnown()
            ? QStringLiteral("Firmware Version: %1").arg(session_.storedEffect().firmwareVersion)
            : QStringLiteral("Firmware Version:"));
    refreshLinkIndicator();
}

// "Kestra, serial KS000001, firmware 3, linked": labels keep their text as
// their name, so a screen reader reads the whole line.
void LinkController::refreshLinkIndicator() {
    QStringList parts;
    if (device_.serialNumber.isEmpty() && device_.description.isEmpty()) {
        parts << QStringLiteral("No device");
    } else {
        parts << displayName(device_);
        parts << QStringLiteral("serial ") + device_.serialNumber;
    }
    if (session_.firmwareKnown())
        parts << QStringLiteral("firmware %1").arg(session_.storedEffect().firmwareVersion);
    parts << stateText(connection_.state());
    linkIndicator_->setText(parts.join(QStringLiteral(", ")));
}

} // namespace kestra
