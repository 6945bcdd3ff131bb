#include "app/TformMain.h"

#include "app/widgets/Accessible.h"
#include "app/widgets/ToggleSwitch.h"
#include "console/PrintConsole.h"
#include "core/Clock.h"
#include "core/DebugLog.h"
#include "core/Prompts.h"
#include "core/Settings.h"
#include "editor/TformFXParameters.h"
#include "operations/StoredEffect.h"
#include "port/Communication.h"
#include "protocol/CommandFrames.h"
#include "protocol/Frames.h"
#include "protocol/HexText.h"
#include "protocol/SyncReceive.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>

namespace kestra {

namespace {
const QString LinkedSuffix = QStringLiteral(" linked");

QPushButton* makeButton(QWidget* parent, const QString& text, const QRect& geometry) {
    auto* button = named(new QPushButton(text, parent), text);
    button->setGeometry(geometry);
    return button;
}
} // namespace

TformMain::TformMain(D2XXUnit& transport, QWidget* parent)
    : QMainWindow(parent), transport_(transport), realTime_(transport, *this) {
    setObjectName(QStringLiteral("formMain"));
    setWindowTitle(QStringLiteral("Kestra Editor"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    createControls();
    createMenus();

    Timer_USB_read.setInterval(1);
    connect(&Timer_USB_read, &QTimer::timeout, this, &TformMain::Timer_USB_readTimer);

    // Keys reach FormKeyDown before the focused control, wherever the focus
    // is in this window.
    qApp->installEventFilter(this);

    FormCreate();
}

TformMain::~TformMain() = default;

void TformMain::createControls() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("mainClient"));
    client->setFixedSize(400, 392);
    setCentralWidget(client);

    lblDeviceName =
        named(new QLabel(QStringLiteral("Device Name: "), client), QStringLiteral("Device Name: "));
    lblDeviceName->setObjectName(QStringLiteral("lblDeviceName"));
    lblDeviceName->setGeometry(10, 8, 380, 22);

    lstCategory = named(new QListWidget(client), QStringLiteral("Categories"));
    lstCategory->setGeometry(10, 34, 130, 196);
    lstEffects = named(new QListWidget(client), QStringLiteral("Effects"));
    lstEffects->setGeometry(148, 34, 242, 196);
    connect(lstEffects, &QListWidget::itemClicked, this, &TformMain::effetto_cliccato);

    btnUpload = makeButton(client, QStringLiteral("Upload Selected Effect"), {10, 238, 186, 28});
    connect(btnUpload, &QPushButton::clicked, this, &TformMain::btnUploadClick);
    btnOpenEffect =
        makeButton(client, QStringLiteral("Get FX Stored on Pedal"), {202, 238, 156, 28});
    connect(btnOpenEffect, &QPushButton::clicked, this, &TformMain::btnOpenEffectClick);
    btnGetFXInfo = makeButton(client, QStringLiteral("?"), {364, 238, 26, 28});
    btnGetFXInfo->setAccessibleName(QStringLiteral("Effect info"));
    btnGetFXInfo->setCursor(Qt::WhatsThisCursor);
    btnGetFXInfo->setEnabled(false);
    connect(btnGetFXInfo, &QPushButton::clicked, this, &TformMain::btnGetFXInfoClick);

    btnRequest = makeButton(client, QStringLiteral("Request"), {10, 272, 118, 28});
    connect(btnRequest, &QPushButton::clicked, this, &TformMain::btnRequestClick);
    btnAssign = makeButton(client, QStringLiteral("Assign"), {134, 272, 96, 28});
    connect(btnAssign, &QPushButton::clicked, this, &TformMain::btnAssignClick);
    btnStoreSettingsOnPedal =
        makeButton(client, QStringLiteral("Store Settings On Pedal"), {236, 272, 154, 28});
    connect(btnStoreSettingsOnPedal, &QPushButton::clicked, this,
            &TformMain::btnStoreSettingsOnPedalClick);

    lblBankNum = named(new QGroupBox(QStringLiteral("FX Bank"), client), QStringLiteral("FX Bank"));
    lblBankNum->setGeometry(10, 306, 250, 48);
    rdbtnBank1 =
        named(new QRadioButton(QStringLiteral("Bank I"), lblBankNum), QStringLiteral("Bank I"));
    rdbtnBank2 =
        named(new QRadioButton(QStringLiteral("Bank II"), lblBankNum), QStringLiteral("Bank II"));
    rdbtnBank3 =
        named(new QRadioButton(QStringLiteral("Bank III"), lblBankNum), QStringLiteral("Bank III"));
    rdbtnBank1->setGeometry(10, 20, 70, 22);
    rdbtnBank2->setGeometry(86, 20, 74, 22);
    rdbtnBank3->setGeometry(166, 20, 78, 22);

    // The live switch is a child of its label: disabling the label disables both.
    lblLive = named(new QLabel(QStringLiteral("Live OFF"), client), QStringLiteral("Live OFF"));
    lblLive->setGeometry(270, 318, 120, 24);
    lblLive->setEnabled(false);
    swLive = named(new ToggleSwitch(lblLive), QStringLiteral("Live OFF"));
    swLive->setGeometry(74, 2, 40, 20);
    connect(swLive, &ToggleSwitch::toggled, this, [this](bool on) { setLiveMode(on); });

    lblStatus = named(new QLabel(QStringLiteral("Status: "), client), QStringLiteral("Status: "));
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    lblStatus->setGeometry(10, 362, 380, 22);

    btnUploadFile = makeButton(client, QStringLiteral("Upload File"), {10, 362, 90, 24});
    btnUploadFile->hide();
    connect(btnUploadFile, &QPushButton::clicked, this, &TformMain::btnUploadFileClick);
    chkFirmwareUpgradeMode = named(new QCheckBox(QStringLiteral("Firmware Upgrade Mode"), client),
                                   QStringLiteral("Firmware Upgrade Mode"));
    chkFirmwareUpgradeMode->hide();
    connect(chkFirmwareUpgradeMode, &QCheckBox::toggled, this,
            &TformMain::chkFirmwareUpgradeModeChange);
    lblSerialNumber = new QLabel(client);
    lblSerialNumber->hide();
    lblFirmwareVersion = new QLabel(client);
    lblFirmwareVersion->hide();
}

void TformMain::createMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("File"));
    menuLoadConfiguration = file->addAction(QStringLiteral("Load Configuration"), this,
                                            &TformMain::menuLoadConfigurationClick);
    menuSaveConfiguration = file->addAction(QStringLiteral("Save Configuration"), this,
                                            &TformMain::menuSaveConfigurationClick);
    menuLoadIR = file->addAction(QStringLiteral("Load IR"), this, &TformMain::menuLoadIRClick);
    menuLoadConfiguration->setEnabled(false);
    menuSaveConfiguration->setEnabled(false);
    menuLoadIR->setEnabled(false);

    QMenu* connection = menuBar()->addMenu(QStringLiteral("Connection"));
    menuScan = connection->addAction(QStringLiteral("Scan"), this, &TformMain::scanDevices);
    menuConnect = connection->addAction(QStringLiteral("Link"), this, &TformMain::menuConnectClick);
    menuDisconnect =
        connection->addAction(QStringLiteral("Unlink"), this, &TformMain::menuDisconnectClick);
    menuDisconnect->setEnabled(false);

    QMenu* settings = menuBar()->addMenu(QStringLiteral("Settings"));
    menuLook = settings->addMenu(QStringLiteral("Look"));
    menuMIDI = settings->addMenu(QStringLiteral("MIDI"));
    menuMIDI->setEnabled(false);
    menuMIDIchannel = menuMIDI->addMenu(QStringLiteral("Channel"));
    menuMode = settings->addMenu(QStringLiteral("Mode"));
    menuMode->setEnabled(false);
    menuModePreset = menuMode->addAction(QStringLiteral("Preset Mode"));
    menuModeBank = menuMode->addAction(QStringLiteral("FX Bank Mode"));
    menuModePreset->setCheckable(true);
    menuModeBank->setCheckable(true);
    connect(menuModePreset, &QAction::triggered, this, &TformMain::SetPresetMode);
    connect(menuModeBank, &QAction::triggered, this, &TformMain::SetBankMode);

    QMenu* firmware = menuBar()->addMenu(QStringLiteral("Firmware Upgrade"));
    menuFirmwareUpgradeMode = firmware->addAction(QStringLiteral("Upgrade Mode"));
    menuFirmwareUpgradeMode->setCheckable(true);
    // The handler toggles the check mark itself, so undo the action's own toggle.
    connect(menuFirmwareUpgradeMode, &QAction::triggered, this, [this] {
        menuFirmwareUpgradeMode->toggle();
        menuFirmwareUpgradeModeClick();
    });
    menuStartFirmwareUpgrade = firmware->addAction(QStringLiteral("Start Firmware Upgrade"));
    menuStartFirmwareUpgrade->setEnabled(false);
    connect(menuStartFirmwareUpgrade, &QAction::triggered, this,
            &TformMain::menuStartFirmwareUpgradeClick);
    menuEraseSettings = firmware->addAction(QStringLiteral("Erase Settings"), this,
                                            &TformMain::menuEraseSettingsClick);

    QMenu* info = menuBar()->addMenu(QStringLiteral("Info"));
    menuSupport = info->addAction(QStringLiteral("Support"));
    menuAppVersion = info->addAction(QStringLiteral("Editor Version: "));
    menuAppVersion->setEnabled(false);
    menuFirmwareVersion = info->addAction(QStringLiteral("Firmware Version:"));
    menuFirmwareVersion->setEnabled(false);
    menuNewAppVersion = info->addAction(QStringLiteral("New version available:"));
    menuNewAppVersion->setEnabled(false);
    menuSerialNumber = info->addAction(QStringLiteral("Device Serial: "));
    menuUpdateNow = info->addAction(QStringLiteral("Update Now"));
    menuShowUpdateMsg = info->addAction(QStringLiteral("Show Update Message"));
    menuShowUpdateMsg->setCheckable(true);
    menuShowUpdateMsg->setChecked(true);
}

void TformMain::FormCreate() {
    transport_.errorReportEnabled = false;
    probeDevices();
    setPortDefaults(transport_.portSettings, Parity::None);
    state_.firmwareUpgradeMode = false;
    state_.selectedIsStored = false;
    btnRequest->setEnabled(false);
    btnAssign->setEnabled(false);
    btnStoreSettingsOnPedal->setEnabled(false);
    btnUpload->setEnabled(false);
    btnOpenEffect->setEnabled(false);
    btnUploadFile->hide();
    create_categories();
    prepareVersionCheck();
    currentAppVersion = getAppVersion();
    menuAppVersion->setText(menuAppVersion->text() + QLatin1Char(' ') + currentAppVersion);
    createSettingsFolder(QString::fromLatin1(settings::MakerFolder));
    createSettingsSubfolder(QString::fromLatin1(settings::MakerFolder),
                            QString::fromLatin1(settings::ProductFolder));
    loadStartupSettings();
    createLookMenu();
    applySavedStyle();
    createMidiChannelMenu();
}

void TformMain::probeDevices() {
    for (const DeviceEntry& device : enumerateDevices(transport_, false)) {
        menuSerialNumber->setText(menuSerialNumber->text() + device.serialNumber);
        state_.deviceSerialNumber = device.serialNumber;
        lblDeviceName->setText(device.description == QLatin1String(FactoryBridgeDescription)
                                   ? QString::fromLatin1(ProductName)
                                   : device.description);
        state_.deviceDescription = device.description;
    }
}

void TformMain::scanDevices() {
    if (!transport_.libraryLoaded()) {
        Prompts::instance().error(missingDriverMessage(transport_.library()));
        return;
    }
    lblDeviceName->setText(QStringLiteral("Device Name"));
    const std::vector<DeviceEntry> devices = enumerateDevices(transport_, true);
    if (devices.empty()) {
        Prompts::instance().message(QStringLiteral("No device found"));
        lblDeviceName->setText(QStringLiteral("No device found"));
        return;
    }
    for (const DeviceEntry& device : devices) {
        state_.deviceSerialNumber = device.serialNumber;
        lblDeviceName->setText(device.description);
        state_.deviceDescription = device.description;
        Prompts::instance().message(device.description + QStringLiteral(" found, click Link"));
    }
}

bool TformMain::linkDevice() {
    if (!openAndConfigure(transport_, state_.deviceSerialNumber)) {
        // Reports the failure when the editor was armed for the bootloader.
        if (state_.firmwareUpgradeMode)
            bootloaderHandshakeAtLink();
        return false;
    }
    lblDeviceName->setText(lblDeviceName->text() + LinkedSuffix);
    btnUpload->setEnabled(true);
    btnRequest->setEnabled(true);
    chkFirmwareUpgradeMode->setEnabled(false);
    menuScan->setEnabled(false);
    menuConnect->setEnabled(false);
    menuDisconnect->setEnabled(true);
    if (state_.firmwareUpgradeMode)
        bootloaderHandshakeAtLink();
    return true;
}

void TformMain::menuConnectClick() {
    if (!transport_.libraryLoaded()) {
        Prompts::instance().error(missingDriverMessage(transport_.library()));
        return;
    }
    if (!linkDevice())
        return;
    if (state_.firmwareUpgradeMode) {
        menuFirmwareUpgradeMode->setEnabled(true);
        return;
    }
    state_.linked = true;
    menuFirmwareUpgradeMode->setEnabled(true);
    btnOpenEffect->setEnabled(true);
    getStoredEffect();
    menuMIDI->setEnabled(true);
    menuMode->setEnabled(true);
    Timer_USB_read.start();
}

void TformMain::menuDisconnectClick() {
    // A listening bootloader must not be fed an application frame.
    if (menuStartFirmwareUpgrade->isEnabled())
        lblLive->setText(QStringLiteral("Live OFF"));
    else
        setLiveMode(false);
    // The frame above already switched live mode off; moving the switch must
    // not send it twice.
    {
        const QSignalBlocker quiet(swLive);
        swLive->setChecked(false);
    }
    if (transport_.CloseFTDevice() != d2xx::FT_OK)
        return;
    state_.linked = false;
    if (state_.firmwareUpgradeMode)
        leaveFirmwareUpgradeMode(false);
    lblDeviceName->setText(lblDeviceName->text().remove(LinkedSuffix));
    menuScan->setEnabled(true);
    menuConnect->setEnabled(true);
    menuDisconnect->setEnabled(false);
    btnUpload->setEnabled(false);
    btnOpenEffect->setEnabled(false);
    btnRequest->setEnabled(false);
    btnAssign->setEnabled(false);
    menuMIDI->setEnabled(false);
    menuMode->setEnabled(false);
    btnStoreSettingsOnPedal->setEnabled(false);
    lblLive->setEnabled(false);
    Timer_USB_read.stop();
    if (formFXParameters_ && formFXParameters_->isVisible())
        formFXParameters_->EnableDisableControls(false);
}

void TformMain::getStoredEffect() {
    Timer_USB_read.stop();
    btnOpenEffect->setEnabled(false);
    sendFrame(transport_, frames::getStoredEffect());
    btnOpenEffect->setEnabled(true);

    // Whatever the outcome, the background receive runs again afterwards so
    // that a failed exchange never leaves the editor deaf.
    const auto resumePolling = [this] {
        if (state_.linked && !state_.firmwareUpgradeMode)
            Timer_USB_read.start();
    };
    const Reply reply = receiveReply(transport_, state_.firmwareUpgradeMode);
    if (!reply.received()) {
        Prompts::instance().error(
            noAnswerMessage(QStringLiteral("the request for its stored effect")));
        resumePolling();
        return;
    }
    QString error;
    const auto parsed = parseStoredEffectReply(reply.text, &error);
    if (!parsed) {
        Prompts::instance().error(QStringLiteral("The pedal's answer about its stored effect could "
                                                 "not be read: ") +
                                  error);
        resumePolling();
        return;
    }
    state_.storedEffectNumber = parsed->effectNumber;
    state_.storedEffectVersion = parsed->effectVersion;
    state_.firmwareVersion = parsed->firmwareVersion;
    debugLog(QStringLiteral("effect number DEC: %1").arg(parsed->effectNumber));
    debugLog(QStringLiteral("effect number HEX: ") +
             hex8(static_cast<std::uint32_t>(parsed->effectNumber)));
    debugLog(QStringLiteral("effect version: %1").arg(parsed->effectVersion));
    debugLog(QStringLiteral("firmware version: %1").arg(parsed->firmwareVersion));
    const QString firmwareText =
        QStringLiteral("Firmware Version: %1").arg(parsed->firmwareVersion);
    menuFirmwareVersion->setText(firmwareText);
    lblFirmwareVersion->setText(firmwareText);
    if (parsed->empty) {
        Prompts::instance().message(QStringLiteral("No effect found on pedal"));
        btnRequest->setEnabled(false);
        btnOpenEffect->setEnabled(false);
        resumePolling();
        return;
    }
    if (!identifyStoredEffect()) {
        resumePolling();
        return;
    }
    openParameterWindow(state_.storedEffectName +
                        QStringLiteral(" v%1").arg(state_.storedEffectVersion));
    if (formFXParameters_)
        formFXParameters_->EnableDisableControls(false);
    btnRequest->setEnabled(true);
    findStoredEffectCategory();
    resumePolling();
}

void TformMain::SetBankMode() {
    state_.bankMode = true;
    writeModeFile();
    menuModePreset->setChecked(false);
    menuModeBank->setChecked(true);
    lblBankNum->setEnabled(true);
    rdbtnBank1->setChecked(true);
    if (state_.requestInProgress)
        return;
    closeParameterWindow();
    lstCategory->clearSelection();
    lstCategory->setCurrentRow(-1);
    lstEffects->clear();
    state_.selectedEffectName.clear();
}

void TformMain::SetPresetMode() {
    state_.bankMode = false;
    writeModeFile();
    menuModePreset->setChecked(true);
    menuModeBank->setChecked(false);
    lblBankNum->setEnabled(false);
}

void TformMain::createMidiChannelMenu() {
    QStringList names{QStringLiteral("OMNI")};
    for (int channel = 1; channel <= 16; ++channel)
        names.append(QString::number(channel));
    for (const QString& name : names) {
        QAction* entry = menuMIDIchannel->addAction(name);
        entry->setCheckable(true);
        connect(entry, &QAction::triggered, this, [this, entry] {
            // The check marks show what the pedal reported, not the click.
            entry->setChecked(!entry->isChecked());
            menuMIDIchannelsClickItem(entry);
        });
    }
}

void TformMain::menuMIDIchannelsClickItem(QAction* entry) {
    const QString text = entry->text();
    debugLogNoScroll(QStringLiteral("Midi channel: ") + text);
    sendFrame(transport_, frames::midiChannel(text == QLatin1String("OMNI") ? 0 : text.toInt()));
}

void TformMain::setLiveMode(bool on) {
    lblLive->setText(on ? QStringLiteral("Live ON") : QStringLiteral("Live OFF"));
    lblLive->setAccessibleName(lblLive->text());
    swLive->setAccessibleName(lblLive->text());
    sendFrame(transport_, frames::liveMode(on));
}

void TformMain::btnStoreSettingsOnPedalClick() {
    const int count = formFXParameters_ ? formFXParameters_->numOfParameters() : 0;
    const HexFrame frame = frames::storeSettings(count);
    debugLog(QStringLiteral("Store settings message (HEX): ") + frame.text);
    sendFrame(transport_, frame);
}

void TformMain::menuEraseSettingsClick() {
    if (!Prompts::instance().confirm(QStringLiteral(
            "Are you sure you want to delete all settings?\r\nThis action will delete the current "
            "stored algorithm and any other settings like presets and assignments\r\nErase "
            "settings is suggested in the following cases:\r\n- the pedal is "
            "unresponsive/freezed after updates\r\n- unexpected behaviour or bugs which "
            "afflicts the pedal functionalities\r\n- you want to switch to the Brantwell "
            "pedal")))
        return;
    if (!formPrint_)
        return;
    for (const char* device : {"50", "51"}) {
        formPrint_->EraseEEPROM(QString::fromLatin1(device));
        formPrint_->ReadEEPROM(QString::fromLatin1(device));
    }
}

void TformMain::Timer_USB_readTimer() {
    realTime_.processIncomingData();
}

void TformMain::selectBankRadio(int bankIndex) {
    QRadioButton* radios[] = {rdbtnBank1, rdbtnBank2, rdbtnBank3};
    if (bankIndex >= 0 && bankIndex < 3)
        radios[bankIndex]->setChecked(true);
}

void TformMain::openReportedEffect(std::uint16_t effectNumber) {
    const int previous = state_.storedEffectNumber;
    state_.storedEffectNumber = effectNumber;
    if (!identifyStoredEffect()) {
        state_.storedEffectNumber = previous;
        return;
    }
    // The status text carries no version: the last one known stays.
    openParameterWindow(state_.storedEffectName +
                        QStringLiteral(" v%1").arg(state_.storedEffectVersion));
    if (formFXParameters_)
        formFXParameters_->EnableDisableControls(false);
    findStoredEffectCategory();
}

void TformMain::showUploadComplete(const QString& text) {
    lblStatus->setText(text);
}

void TformMain::applyRealtimeFrame(const RealtimeFrame& frame) {
    debugLog(QStringLiteral("realtime frame: source %1 parameter %2 value %3")
                 .arg(frame.source)
                 .arg(frame.parameter)
                 .arg(frame.value));
    if (formFXParameters_ && formFXParameters_->isVisible())
        formFXParameters_->applyRealtimeFrame(frame);
}

void TformMain::showEepromDump(const std::uint8_t* bytes) {
    if (formPrint_)
        formPrint_->showEepromDump(bytes);
}

void TformMain::reportInboundError(const QString& message) {
    Prompts::instance().error(message);
}

bool TformMain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType() ||
        static_cast<QWidget*>(watched)->window() != this)
        return QMainWindow::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    if (FormKeyDown(key))
        return true;
    // Arrows move the highlight of the effect list without opening the effect.
    if (watched == lstEffects && (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down) &&
        key->modifiers() == Qt::NoModifier) {
        move_up_or_down(key->key());
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

bool TformMain::FormKeyDown(QKeyEvent* event) {
    const auto modifiers = event->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier |
                                                 Qt::AltModifier | Qt::MetaModifier);
    if (event->key() != Qt::Key_P || modifiers != (Qt::ControlModifier | Qt::ShiftModifier))
        return false;
    if (formPrint_) {
        formPrint_->show();
        formPrint_->raise();
    }
    return true;
}

void TformMain::closeEvent(QCloseEvent* event) {
    setLiveMode(false);
    event->accept();
}

} // namespace kestra
