#include "ui/MainWindow.h"

#include "ui/ConsoleWindow.h"
#include "ui/ParameterWindow.h"
#include "ui/PedalWindow.h"
#include "ui/controllers/CatalogueController.h"
#include "ui/controllers/FilesController.h"
#include "ui/controllers/FirmwareController.h"
#include "ui/controllers/LinkController.h"
#include "ui/controllers/LooksController.h"
#include "ui/controllers/PedalController.h"
#include "ui/controllers/UpdateController.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>

namespace kestra {

namespace {
const QString Title = QStringLiteral("Kestra Editor");
const QString UnsavedTitle = QStringLiteral("Kestra Editor (edits not stored on the pedal)");
} // namespace

MainWindow::MainWindow(PedalSession& session, QWidget* parent)
    : QMainWindow(parent), session_(session) {
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(Title);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("mainClient"));
    client->setFixedSize(400, 392);
    setCentralWidget(client);
    QStatusBar* bar = statusBar();
    bar->setSizeGripEnabled(false);

    // Looks first: it makes the folders the others keep their settings in.
    // Controls are made top to bottom, so Tab follows them in that order.
    QMenuBar* menus = menuBar();
    looks_ = new LooksController(session_, menus, this);
    update_ = new UpdateController(session_, bar, menus, this);
    link_ = new LinkController(session_, client, bar, menus, this);
    catalogue_ = new CatalogueController(session_, client, this, this);
    pedal_ = new PedalController(session_, *catalogue_, client, this, menus, this);
    files_ = new FilesController(session_, *catalogue_, this, menus, this);
    firmware_ = new FirmwareController(session_, *files_, menus, this);
    features_ = {looks_, link_, catalogue_, pedal_, files_, firmware_, update_};
    setTabOrder(pedal_->getStoredEffectButton(), catalogue_->effectInfoButton());
    createMenus();

    for (FeatureController* feature : features_) {
        connect(feature, &FeatureController::situationChanged, this,
                &MainWindow::refreshEnabledStates);
        connect(feature, &FeatureController::statusMessage, pedal_, &PedalController::showStatus);
    }
    connect(&session_, &PedalSession::situationChanged, this, &MainWindow::refreshEnabledStates);
    connect(&session_, &PedalSession::editsChanged, this, &MainWindow::onEditsChanged);
    connect(link_, &LinkController::linkedToStoredEffect, pedal_, &PedalController::focusRequest);

    // Keys reach the main window's shortcuts before the focused control.
    qApp->installEventFilter(this);

    refreshEnabledStates();
}

MainWindow::~MainWindow() {
    qApp->removeEventFilter(this);
}

// The menus, in the order the player finds them, each with its Alt key; each
// feature owns its entries.
void MainWindow::createMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->addActions({files_->loadConfigurationAction(), files_->saveConfigurationAction(),
                      files_->loadImpulseResponseAction()});
    file->addSeparator();
    file->addAction(files_->presetLibraryAction());
    file->addSeparator();
    file->addActions({files_->backUpAction(), files_->restoreAction()});
    file->addSeparator();
    // Quit asks what closing the window asks.
    QAction* quit = file->addAction(QStringLiteral("Quit"), this, &QWidget::close);
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    connectionMenu_ = menuBar()->addMenu(QStringLiteral("&Connection"));
    connectionMenu_->addActions({link_->scanAction(), link_->linkAction(), link_->unlinkAction()});
    connectionMenu_->addSeparator();
    connectionMenu_->addActions({link_->useUsbPortAction(), link_->useVirtualPedalAction()});

    QMenu* settings = menuBar()->addMenu(QStringLiteral("&Settings"));
    settings->addMenu(looks_->lookMenu());
    settings->addMenu(pedal_->midiMenu());
    settings->addMenu(pedal_->modeMenu());
    settings->addActions({pedal_->liveAfterUploadAction(), looks_->valueColumnAction()});

    QMenu* firmware = menuBar()->addMenu(QStringLiteral("F&irmware Upgrade"));
    firmware->addActions({firmware_->upgradeModeAction(), firmware_->startUpgradeAction(),
                          firmware_->eraseSettingsAction()});

    QMenu* info = menuBar()->addMenu(QStringLiteral("I&nfo"));
    info->addActions({update_->supportAction(), update_->editorVersionAction(),
                      link_->firmwareVersionAction(), update_->newVersionAction(),
                      link_->deviceSerialAction(), link_->connectionInfoAction(),
                      update_->updateNowAction(), update_->showUpdateMessageAction()});
}

void MainWindow::findDevices() {
    link_->probeDevices();
}

void MainWindow::setConsole(ConsoleWindow* console) {
    console_ = console;
    connect(&session_, &PedalSession::eepromDump, console, &ConsoleWindow::showEepromDump);
}

void MainWindow::setParameterWindow(ParameterWindow* window) {
    catalogue_->setParameterWindow(window);
    looks_->setParameterWindow(window);
    files_->takeDrops(window);
    connect(window, &ParameterWindow::editsChanged, this, &MainWindow::onEditsChanged);
}

void MainWindow::setPedalWindow(PedalWindow* window) {
    pedalWindow_ = window;
    window->applyEnabledStates(enabled_);
    // In the Connection menu: a menu of its own would not fit the menu bar.
    connectionMenu_->addSeparator();
    QAction* show = connectionMenu_->addAction(QStringLiteral("Show Pedal"), this,
                                               [this] { pedalWindow_->showBeside(this); });
    show->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+K")));
}

void MainWindow::setEffectInfoWindow(EffectInfoWindow* window) {
    catalogue_->setEffectInfoWindow(window);
}

void MainWindow::setFirmwareWindow(FirmwareWindow* window) {
    firmware_->setFirmwareWindow(window);
}

void MainWindow::setNewVersionDialog(NewVersionDialog* dialog) {
    update_->setNewVersionDialog(dialog);
}

void MainWindow::setBackends(Backends* backends) {
    link_->setBackends(backends);
}

void MainWindow::scheduleUpdateCheck() {
    update_->scheduleUpdateCheck();
}

void MainWindow::checkForNewerVersion() {
    update_->checkForNewerVersion();
}

const QString& MainWindow::selectedEffect() const {
    return catalogue_->selectedEffect();
}

bool MainWindow::showUpdateMessage() const {
    return update_->showUpdateMessage();
}

const PortDevice& MainWindow::device() const {
    return link_->device();
}

const QString& MainWindow::newestVersion() const {
    return update_->newestVersion();
}

const QString& MainWindow::currentVersion() const {
    return update_->currentVersion();
}

bool MainWindow::liveAfterUpload() const {
    return pedal_->liveAfterUpload();
}

PresetLibraryWindow* MainWindow::presetLibrary() const {
    return files_->presetLibrary();
}

EditorSituation MainWindow::situation() const {
    EditorSituation situation;
    for (const FeatureController* feature : features_)
        feature->addSituation(situation);
    return situation;
}

void MainWindow::refreshEnabledStates() {
    enabled_ = enabledStates(situation());
    for (FeatureController* feature : features_)
        feature->applyEnabledStates(enabled_);
    if (console_)
        console_->setEepromToolsEnabled(enabled_.eepromTools);
    if (pedalWindow_)
        pedalWindow_->applyEnabledStates(enabled_);
}

void MainWindow::onEditsChanged() {
    setWindowTitle(unsavedEdits() ? UnsavedTitle : Title);
    refreshEnabledStates();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType() ||
        static_cast<QWidget*>(watched)->window() != this)
        return QMainWindow::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    const auto modifiers = key->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier |
                                               Qt::AltModifier | Qt::MetaModifier);
    // Ctrl+Shift+P shows the debug console wherever the focus is.
    if (key->key() == Qt::Key_P && modifiers == (Qt::ControlModifier | Qt::ShiftModifier) &&
        console_) {
        console_->show();
        console_->raise();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!closingWithEdits_ && !mayEnd(session_, [this] {
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

} // namespace kestra
