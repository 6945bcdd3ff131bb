// The main window's frame: its controls and menus, the enabled states, the
// keys, closing, and the link to the pedal (Scan, Link, Unlink, what the
// pedal sends on its own, and a pedal that goes away).
#include "ui/MainWindow.h"

#include "core/DebugLog.h"
#include "core/MakerSite.h"
#include "core/Settings.h"
#include "core/VersionCheck.h"
#include "firmware/Bootloader.h"
#include "ir/IrLoader.h"
#include "port/Backends.h"
#include "ui/ConsoleWindow.h"
#include "ui/FileDrop.h"
#include "ui/FirmwareWindow.h"
#include "ui/ParameterWindow.h"
#include "ui/Updater.h"
#include "ui/widgets/Accessible.h"
#include "ui/widgets/ToggleSwitch.h"

#include <QActionGroup>
#include <QApplication>
#include <QButtonGroup>
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
// The description an FT230X reports while its EEPROM holds the factory
// default; such a bridge is shown under the product name.
const QString FactoryBridgeDescription = QStringLiteral("FT230X Basic UART");
const QString ProductName = QStringLiteral("Kestra");

QPushButton* makeButton(QWidget* parent, const QString& text, const QRect& geometry) {
    auto* button = named(new QPushButton(text, parent), text);
    button->setGeometry(geometry);
    return button;
}
} // namespace

MainWindow::MainWindow(PedalSession& session, QWidget* parent)
    : QMainWindow(parent), session_(session), connection_(session.connection()),
      parameters_(session.parameters()), catalogue_(session.catalogue()) {
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(QStringLiteral("Kestra Editor"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    createControls();
    createMenus();
    createStatusBar();
    createShortcuts();

    connect(&connection_, &Connection::stateChanged, this, &MainWindow::onConnectionStateChanged);
    connect(&connection_, &Connection::lost, this, &MainWindow::onLinkLost);
    connect(&session_, &PedalSession::situationChanged, this, &MainWindow::onSessionSituation);
    connect(&session_, &PedalSession::effectOpened, this, &MainWindow::onEffectOpened);
    connect(&session_, &PedalSession::storedEffectChanged, this,
            &MainWindow::onStoredEffectChanged);
    connect(&session_, &PedalSession::modeChanged, this, &MainWindow::onModeChanged);
    connect(&session_, &PedalSession::bankChanged, this, &MainWindow::selectBank);
    connect(&session_, &PedalSession::midiChannelChanged, this, &MainWindow::showMidiChannel);
    connect(&session_, &PedalSession::liveChanged, this, &MainWindow::setLiveText);
    connect(&session_, &PedalSession::uploadStatus, status_, &QLabel::setText);
    connect(&session_, &PedalSession::editsChanged, this, &MainWindow::onEditsChanged);
    connect(&session_, &PedalSession::stateApplied, this, [this] {
        if (parameterWindow_)
            parameterWindow_->showAll();
    });
    connect(&session_, &PedalSession::parameterMoved, this, [this](int parameter) {
        if (parameterWindow_)
            parameterWindow_->showParameter(parameter);
    });
    connect(&session_, &PedalSession::eepromDump, this, [this](const QByteArray& bytes) {
        if (console_)
            console_->showEepromDump(bytes);
    });
    assignLockout_ = Clock::instance().createTimer([this] { refreshEnabledStates(); });

    // Keys reach the main window's shortcuts before the focused control.
    qApp->installEventFilter(this);

    probeDevices();
    for (const CategoryEntry& category : Categories)
        categories_->addItem(QString::fromLatin1(category.displayName));
    currentVersion_ = appVersionText(QStringLiteral(KESTRA_EDITOR_VERSION));
    createSettingsFolders();
    loadStartupSettings();
    createLookMenu();
    applySavedStyle();
    createMidiChannelMenu();
    createFeatures();
    irDialog_.title = QStringLiteral("Load IR");
    irDialog_.filter = QStringLiteral("Wave Files (*.wav)");
    irDialog_.defaultSuffix = QStringLiteral("wav");
    refreshEnabledStates();
}

MainWindow::~MainWindow() {
    qApp->removeEventFilter(this);
}

void MainWindow::createControls() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("mainClient"));
    client->setFixedSize(400, 392);
    setCentralWidget(client);

    // Labels keep their own text as their accessible name.
    deviceName_ = new QLabel(QStringLiteral("Device Name: "), client);
    deviceName_->setObjectName(QStringLiteral("deviceName"));
    deviceName_->setGeometry(10, 8, 380, 22);
    deviceLabel_ = deviceName_->text();

    categories_ = named(new QListWidget(client), QStringLiteral("Categories"));
    categories_->setGeometry(10, 34, 130, 196);
    connect(categories_, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { onCategoryActivated(categories_->row(item)); });
    effects_ = named(new QListWidget(client), QStringLiteral("Effects"));
    effects_->setGeometry(148, 34, 242, 196);
    connect(effects_, &QListWidget::itemClicked, this, &MainWindow::onEffectActivated);

    upload_ = makeButton(client, QStringLiteral("Upload Selected Effect"), {10, 238, 186, 28});
    connect(upload_, &QPushButton::clicked, this, &MainWindow::onUpload);
    getStoredEffect_ =
        makeButton(client, QStringLiteral("Get FX Stored on Pedal"), {202, 238, 156, 28});
    connect(getStoredEffect_, &QPushButton::clicked, this, &MainWindow::onGetStoredEffect);
    effectInfoButton_ = makeButton(client, QStringLiteral("?"), {364, 238, 26, 28});
    effectInfoButton_->setAccessibleName(QStringLiteral("Effect info"));
    effectInfoButton_->setCursor(Qt::WhatsThisCursor);
    connect(effectInfoButton_, &QPushButton::clicked, this, &MainWindow::onEffectInfo);

    request_ = makeButton(client, QStringLiteral("Request"), {10, 272, 118, 28});
    connect(request_, &QPushButton::clicked, this, &MainWindow::onRequest);
    assign_ = makeButton(client, QStringLiteral("Assign"), {134, 272, 96, 28});
    connect(assign_, &QPushButton::clicked, this, &MainWindow::onAssign);
    storeSettings_ =
        makeButton(client, QStringLiteral("Store Settings On Pedal"), {236, 272, 154, 28});
    connect(storeSettings_, &QPushButton::clicked, this, &MainWindow::onStoreSettings);

    banks_ = named(new QGroupBox(QStringLiteral("FX Bank"), client), QStringLiteral("FX Bank"));
    banks_->setGeometry(10, 306, 250, 48);
    bankButtons_ = new QButtonGroup(this);
    const QString bankNames[] = {QStringLiteral("Bank I"), QStringLiteral("Bank II"),
                                 QStringLiteral("Bank III")};
    const int bankX[] = {10, 86, 166};
    const int bankWidth[] = {70, 74, 78};
    for (int i = 0; i < 3; ++i) {
        auto* radio = named(new QRadioButton(bankNames[i], banks_), bankNames[i]);
        radio->setGeometry(bankX[i], 20, bankWidth[i], 22);
        bankButtons_->addButton(radio, i);
    }
    connect(bankButtons_, &QButtonGroup::idClicked, &session_, &PedalSession::selectBank);

    // The live switch is a child of its label: disabling the label disables both.
    liveLabel_ = new QLabel(QStringLiteral("Live OFF"), client);
    liveLabel_->setGeometry(270, 318, 120, 24);
    live_ = named(new ToggleSwitch(liveLabel_), QStringLiteral("Live OFF"));
    live_->setGeometry(74, 2, 40, 20);
    connect(live_, &ToggleSwitch::toggled, this, &MainWindow::onLiveToggled);

    status_ = new QLabel(QStringLiteral("Status: "), client);
    status_->setObjectName(QStringLiteral("status"));
    status_->setGeometry(10, 362, 380, 22);

    // A developer's way to send any hex file; never shown.
    auto* uploadFile = makeButton(client, QStringLiteral("Upload File"), {10, 362, 90, 24});
    uploadFile->setObjectName(QStringLiteral("uploadFile"));
    uploadFile->hide();
    connect(uploadFile, &QPushButton::clicked, this, &MainWindow::onUploadFile);
}

void MainWindow::createMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("File"));
    loadConfiguration_ = file->addAction(QStringLiteral("Load Configuration"), this,
                                         &MainWindow::onLoadConfiguration);
    saveConfiguration_ = file->addAction(QStringLiteral("Save Configuration"), this,
                                         &MainWindow::onSaveConfiguration);
    loadImpulseResponse_ =
        file->addAction(QStringLiteral("Load IR"), this, &MainWindow::onLoadImpulseResponse);

    QMenu* connectionMenu = menuBar()->addMenu(QStringLiteral("Connection"));
    scan_ = connectionMenu->addAction(QStringLiteral("Scan"), this, &MainWindow::onScan);
    link_ = connectionMenu->addAction(QStringLiteral("Link"), this, &MainWindow::onLink);
    unlink_ = connectionMenu->addAction(QStringLiteral("Unlink"), this, &MainWindow::onUnlink);
    connectionMenu->addSeparator();
    auto* backendChoice = new QActionGroup(connectionMenu);
    useUsbPort_ = connectionMenu->addAction(QStringLiteral("Use USB Port"));
    useVirtualPedal_ = connectionMenu->addAction(QStringLiteral("Use Virtual Pedal"));
    for (QAction* entry : {useUsbPort_, useVirtualPedal_}) {
        entry->setCheckable(true);
        backendChoice->addAction(entry);
    }
    useUsbPort_->setChecked(true);
    connect(useUsbPort_, &QAction::triggered, this, [this] { onBackendPicked(false); });
    connect(useVirtualPedal_, &QAction::triggered, this, [this] { onBackendPicked(true); });

    QMenu* settingsMenu = menuBar()->addMenu(QStringLiteral("Settings"));
    look_ = settingsMenu->addMenu(QStringLiteral("Look"));
    midi_ = settingsMenu->addMenu(QStringLiteral("MIDI"));
    midiChannel_ = midi_->addMenu(QStringLiteral("Channel"));
    mode_ = settingsMenu->addMenu(QStringLiteral("Mode"));
    presetMode_ = mode_->addAction(QStringLiteral("Preset Mode"));
    bankModeAction_ = mode_->addAction(QStringLiteral("FX Bank Mode"));
    presetMode_->setCheckable(true);
    bankModeAction_->setCheckable(true);
    // The check marks show the mode, whatever the click did to them.
    connect(presetMode_, &QAction::triggered, this, [this] { session_.chooseMode(false); });
    connect(bankModeAction_, &QAction::triggered, this, [this] { session_.chooseMode(true); });

    QMenu* firmware = menuBar()->addMenu(QStringLiteral("Firmware Upgrade"));
    upgradeMode_ = firmware->addAction(QStringLiteral("Upgrade Mode"));
    upgradeMode_->setCheckable(true);
    connect(upgradeMode_, &QAction::triggered, this, &MainWindow::onUpgradeModeTriggered);
    startUpgrade_ = firmware->addAction(QStringLiteral("Start Firmware Upgrade"));
    connect(startUpgrade_, &QAction::triggered, this, [this] {
        if (!firmwareWindow_)
            return;
        firmwareWindow_->show();
        firmwareWindow_->raise();
    });
    eraseSettings_ =
        firmware->addAction(QStringLiteral("Erase Settings"), this, &MainWindow::onEraseSettings);

    QMenu* info = menuBar()->addMenu(QStringLiteral("Info"));
    QAction* support = info->addAction(QStringLiteral("Support"));
    connect(support, &QAction::triggered, this,
            [] { openInBrowser(makerPage(QString::fromLatin1(makerpaths::Support))); });
    QAction* editorVersion = info->addAction(QStringLiteral("Editor Version: ") + QLatin1Char(' ') +
                                             appVersionText(QStringLiteral(KESTRA_EDITOR_VERSION)));
    editorVersion->setEnabled(false);
    firmwareVersion_ = info->addAction(QStringLiteral("Firmware Version:"));
    firmwareVersion_->setEnabled(false);
    newVersionAvailable_ = info->addAction(QStringLiteral("New version available:"));
    newVersionAvailable_->setEnabled(false);
    deviceSerial_ = info->addAction(QStringLiteral("Device Serial: "));
    connectionInfo_ =
        info->addAction(QStringLiteral("Connection: ") + connection_.port().backendName());
    connectionInfo_->setEnabled(false);
    updateNow_ = info->addAction(QStringLiteral("Update Now"), this, &MainWindow::onUpdateNow);
    showUpdateMessageAction_ = info->addAction(QStringLiteral("Show Update Message"));
    showUpdateMessageAction_->setCheckable(true);
    showUpdateMessageAction_->setChecked(true);
    connect(showUpdateMessageAction_, &QAction::toggled, this,
            &MainWindow::onShowUpdateMessageToggled);
}

void MainWindow::setParameterWindow(ParameterWindow* window) {
    parameterWindow_ = window;
    connect(window, &ParameterWindow::closed, this, [this] {
        if (!reopening_)
            session_.closeEffect();
        refreshEnabledStates();
    });
    connect(window, &ParameterWindow::editsChanged, this, &MainWindow::onEditsChanged);
    window->setValueColumnShown(showsValueColumn_);
    fileDrop_->watch(window);
}

EditorSituation MainWindow::situation() const {
    EditorSituation situation;
    situation.link = connection_.state();
    situation.effectSelected = !selectedEffect_.isEmpty();
    situation.selectionUploadable = selectionUploadable_;
    situation.impulseResponseEffect = irRuleFor(selectedEffect_).has_value();
    situation.showsStoredEffect = showsStoredEffect(false);
    situation.stateRead = situation.showsStoredEffect && session_.stateRead();
    situation.bankMode = session_.bankMode();
    situation.firmwareChosen = firmwareWindow_ && firmwareWindow_->imageChosen();
    situation.upgrading = session_.upgrading();
    situation.newerVersion = newerVersionKnown_;
    situation.assignResting = assignLockout_ && assignLockout_->isActive();
    situation.upgradeArmed = session_.upgradeArmed();
    addFeatureSituation(situation);
    return situation;
}

void MainWindow::refreshEnabledStates() {
    enabled_ = enabledStates(situation());
    const EnabledStates& e = enabled_;

    scan_->setEnabled(e.scan);
    link_->setEnabled(e.link);
    unlink_->setEnabled(e.unlink);
    useUsbPort_->setEnabled(e.chooseBackend);
    useVirtualPedal_->setEnabled(e.chooseBackend);
    upload_->setEnabled(e.upload);
    getStoredEffect_->setEnabled(e.getStoredEffect);
    request_->setEnabled(e.request);
    assign_->setEnabled(e.assign);
    storeSettings_->setEnabled(e.storeSettings);
    effectInfoButton_->setEnabled(e.effectInfo);
    banks_->setEnabled(e.banks);
    liveLabel_->setEnabled(e.live);
    loadConfiguration_->setEnabled(e.loadConfiguration);
    saveConfiguration_->setEnabled(e.saveConfiguration);
    loadImpulseResponse_->setEnabled(e.loadImpulseResponse);
    midi_->setEnabled(e.midi);
    midi_->menuAction()->setEnabled(e.midi);
    mode_->setEnabled(e.mode);
    mode_->menuAction()->setEnabled(e.mode);
    upgradeMode_->setEnabled(e.upgradeMode);
    upgradeMode_->setChecked(e.upgradeModeChecked);
    startUpgrade_->setEnabled(e.startUpgrade);
    updateNow_->setEnabled(e.updateNow);
    eraseSettings_->setEnabled(e.eraseSettings);
    if (console_)
        console_->setEepromToolsEnabled(e.eepromTools);
    if (firmwareWindow_)
        firmwareWindow_->applyEnabledStates(e);
    if (parameterWindow_)
        parameterWindow_->applyEnabledStates(e);
    applyFeatureStates(e);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType() ||
        static_cast<QWidget*>(watched)->window() != this)
        return QMainWindow::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    const auto modifiers = key->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier |
                                               Qt::AltModifier | Qt::MetaModifier);
    // Ctrl+Shift+P shows the debug console wherever the focus is.
    if (key->key() == Qt::Key_P && modifiers == (Qt::ControlModifier | Qt::ShiftModifier)) {
        if (console_) {
            console_->show();
            console_->raise();
        }
        return true;
    }
    if ((watched == effects_ || watched == categories_) && modifiers == Qt::NoModifier &&
        listKey(static_cast<QListWidget*>(watched), key->key()))
        return true;
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!closingWithEdits_ && !mayEnd([this] {
            // Stored: the window closes now, without asking again.
            closingWithEdits_ = true;
            close();
            closingWithEdits_ = false;
        })) {
        event->ignore();
        return;
    }
    session_.unlink();
    event->accept();
}

// ---------------------------------------------------------------------------
// The link

void MainWindow::setDeviceLabel(const QString& text) {
    deviceLabel_ = text;
    deviceName_->setText(text);
}

QString MainWindow::displayName(const PortDevice& device) {
    return device.description == FactoryBridgeDescription ? ProductName : device.description;
}

void MainWindow::probeDevices() {
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

void MainWindow::onScan() {
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
        setDeviceLabel(device_.description);
        refreshLinkIndicator();
        Dialogs::instance().message(device_.description + QStringLiteral(" found, click Link"));
        return;
    }
    // Adapters look alike but for their serial numbers: the player picks.
    QStringList options;
    for (const PortDevice& device : devices) {
        QString option =
            QStringLiteral("%1, serial number %2")
                .arg(device.description, device.serialNumber.isEmpty() ? QStringLiteral("unknown")
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
    setDeviceLabel(device_.description);
    refreshLinkIndicator();
    debugLog(QStringLiteral("picked: ") + device_.serialNumber);
}

bool MainWindow::mayEnd(std::function<void()> then) {
    QString why;
    if (session_.mayEnd(std::move(then), &why))
        return true;
    if (!why.isEmpty())
        Dialogs::instance().error(why);
    return false;
}

void MainWindow::report(const SessionResult& result) {
    if (result.text.isEmpty() || result.status == SessionResult::Status::Cancelled)
        return;
    if (result.ok())
        Dialogs::instance().message(result.text);
    else
        Dialogs::instance().error(result.text);
}

void MainWindow::onLink() {
    const PortResult linked = session_.link(device_, [this](const SessionResult& result) {
        report(result);
        if (result.ok() && session_.showsStoredEffect())
            request_->setFocus();
    });
    if (!linked.ok()) {
        Dialogs::instance().error(
            linkFailureMessage(linked, connection_.port().advice(linked.error)));
        return;
    }
    setDeviceLabel(deviceLabel_ + LinkedSuffix);
}

void MainWindow::setBackends(Backends* backends) {
    backends_ = backends;
    showBackend();
}

void MainWindow::showBackend() {
    const bool virtualPedal = backends_ && backends_->backend() == Backend::Virtual;
    useVirtualPedal_->setChecked(virtualPedal);
    useUsbPort_->setChecked(!virtualPedal);
    connectionInfo_->setText(QStringLiteral("Connection: ") + connection_.port().backendName());
}

void MainWindow::onBackendPicked(bool virtualPedal) {
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
}

void MainWindow::onUnlink() {
    QString why;
    if (!session_.unlink(&why))
        Dialogs::instance().error(why);
}

void MainWindow::onConnectionStateChanged(Connection::State state) {
    if (state == Connection::State::Unlinked || state == Connection::State::Lost)
        setDeviceLabel(QString(deviceLabel_).remove(LinkedSuffix));
    refreshLinkIndicator();
}

void MainWindow::onSessionSituation() {
    refreshLinkIndicator();
    refreshEnabledStates();
}

void MainWindow::onLinkLost(const QString& message) {
    if (upgradeTakesLoss())
        return;
    Dialogs::instance().error(message);
}

} // namespace kestra
