// The main window: the link to the pedal, the effect catalogue, the pedal's
// operations, and the menus. It asks the connection for every exchange and
// hears the outcome back; enabled states come from EnabledStates alone.
#pragma once

#include "catalogue/Catalogue.h"
#include "connection/Connection.h"
#include "core/Dialogs.h"
#include "editor/ParameterModel.h"
#include "operations/Backup.h"
#include "operations/Configuration.h"
#include "operations/PedalOperations.h"
#include "ui/EnabledStates.h"

#include <QHash>
#include <QMainWindow>
#include <QNetworkRequest>
#include <memory>
#include <optional>

class QAction;
class QActionGroup;
class QButtonGroup;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QNetworkAccessManager;
class QNetworkReply;
class QPushButton;
class QRadioButton;

namespace kestra {

class Backends;
class ClockTimer;
class ConsoleWindow;
class EffectInfoWindow;
class FirmwareWindow;
class NewVersionDialog;
class ParameterWindow;
class PresetLibraryWindow;
class ToggleSwitch;

// What the pedal said it holds.
struct StoredEffect {
    int number = 0;
    int version = 0;
    int firmwareVersion = 0;
    QString name; // catalogue name; empty when the pedal holds none the catalogue knows
};

class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    MainWindow(Connection& connection, ParameterModel& parameters, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The other windows, created after this one.
    void setConsole(ConsoleWindow* console) { console_ = console; }
    void setParameterWindow(ParameterWindow* window);
    void setEffectInfoWindow(EffectInfoWindow* window) { effectInfo_ = window; }
    void setFirmwareWindow(FirmwareWindow* window);
    void setNewVersionDialog(NewVersionDialog* dialog) { newVersion_ = dialog; }
    // The backends behind the connection's port, for Use Virtual Pedal and
    // Use USB Port; without them those entries do nothing.
    void setBackends(Backends* backends);

    // Asks the maker's site for the newest version about a second from now.
    void scheduleUpdateCheck();
    // The check itself: the Info menu tells the outcome.
    void checkForNewerVersion();

    // What the windows show and the player chose, for the other windows and
    // for tests.
    const EnabledStates& enabled() const { return enabled_; }
    const StoredEffect& storedEffect() const { return stored_; }
    const QString& selectedEffect() const { return selectedEffect_; }
    bool bankMode() const { return bankMode_; }
    bool showUpdateMessage() const { return showUpdateMessage_; }
    const PortDevice& device() const { return device_; }
    const QString& newestVersion() const { return newestVersion_; }
    const QString& currentVersion() const { return currentVersion_; }
    // The impulse-response image loaded for an effect; empty when none.
    QString impulseResponseImage(const QString& effectName) const {
        return irImages_.value(effectName);
    }
    // What the enabled states derive from, as things stand now.
    EditorSituation situation() const;
    // Recomputes every enabled state (after anything another window changed).
    void refreshEnabledStates();

    // Whether the editor reads the stored effect and its state by itself
    // once an upload is complete.
    bool liveAfterUpload() const { return liveAfterUpload_; }
    // The pedal runs edits of the parameter window that it has not stored.
    bool unsavedEdits() const;
    PresetLibraryWindow* presetLibrary() const { return presetLibrary_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Building.
    void createControls();
    void createMenus();
    void createLookMenu();
    void createMidiChannelMenu();
    void createSettingsFolders();
    void loadStartupSettings();
    void applySavedStyle();
    bool applyStyle(int number);

    // Connection menu.
    void probeDevices();
    void onScan();
    void onLink();
    void onUnlink();
    void onConnectionStateChanged(Connection::State state);
    void onPedalMessage(const FramedMessage& message);
    void onLinkLost(const QString& message);
    void setDeviceLabel(const QString& text);
    void onBackendPicked(bool virtualPedal);
    // The menu's check marks, the Info entry and the log say which backend
    // is in use.
    void showBackend();
    static QString displayName(const PortDevice& device);

    // Status bar.
    void createStatusBar();
    void createShortcuts();
    bool listKey(QListWidget* list, int key);
    void refreshLinkIndicator();
    void showUpdateNote(const QString& reason);

    // Catalogue and selection.
    void onCategoryActivated(int row);
    void fillEffectList(const QStringList& effects);
    void onEffectActivated(QListWidgetItem* item);
    void activateEffect(QListWidgetItem* item);
    void selectEffect(const QString& name, bool fromList);
    void openParameterWindow(const QString& caption);
    void closeParameterWindow();
    void showStoredEffectInLists();
    void moveEffectHighlight(int key);

    // Pedal operations.
    void onUpload();
    void onUploadFile();
    void readStoredEffectThen(std::function<void()> then);
    void onGetStoredEffect();
    void takeStoredEffect(const Outcome<StoredEffectReply>& outcome);
    void openReportedEffect(int effectNumber);
    void onRequest();
    void requestStateThen(std::function<void(bool read)> then);
    void applyPedalMode(const ParameterState& state);
    void showMidiChannel(std::optional<int> channel);
    void onAssign();
    void onStoreSettings();
    void onEraseSettings();
    void onEffectInfo();
    void showEffectInfo();

    // Modes, MIDI, live.
    void setBankMode(bool bank, bool fromPedal);
    void selectBank(int index);
    QString bankUploadCommand() const;
    QString uploadTargetText() const;
    void onMidiChannelChosen(QAction* entry);
    void onLiveToggled(bool on);
    void setLiveText(bool on);
    void switchLiveOff();

    // Files.
    void onSaveConfiguration();
    void onLoadConfiguration();
    bool showsStoredEffect(bool tell) const;
    void onLoadImpulseResponse();
    // Loads a preset file into the stored effect's window, with every check.
    void loadConfigurationFile(const QString& path);
    // Puts a configuration into the model and sends what changed.
    void sendConfiguration(const Configuration& configuration);

    // Features beyond the menus' first set (MainWindowFeatures.cpp): the
    // search field, the settings of editing after upload and of the value
    // column, the unsaved marker, undo's enabled state and the preset
    // library.
    void createFeatures();
    void createSearchField();
    void addFeatureSituation(EditorSituation& situation) const;
    void applyFeatureStates(const EnabledStates& enabled);
    void onSearchEdited(const QString& text);
    void onSearchEntered();
    void onLiveAfterUploadToggled(bool on);
    void onValueColumnToggled(bool on);
    void onEditsChanged();
    void onPresetLibrary();
    // Asks whether to store unsaved edits before they are left behind: Yes
    // stores them first, No leaves them, Cancel stays. proceed runs unless
    // the player stays (or storing fails).
    // False when the player stays.
    bool confirmLeavingEdits(std::function<void()> proceed);
    // Closing the editor with unsaved edits: true when it may close now.
    bool mayCloseWithEdits();

    // One step from upload to live editing.
    void expectUploadComplete(std::function<void()> then);
    void onUploadWritten(const ExchangeResult& result);
    void onUploadConfirmed();
    void goLive(std::function<void()> then);
    // Uploads effect; with live, the editor reads it back and requests its
    // state once the pedal has stored it, then runs then.
    void startUpload(const QString& effect, bool live, std::function<void()> then);
    void storeSettingsThen(std::function<void(bool stored)> then);

    // Backups (MainWindowBackup.cpp).
    void onBackUpPedal();
    // Asks for the file, reads the pedal and writes the backup; then(true)
    // once it is written.
    void backUpThen(std::function<void(bool written)> then);
    // Offers a backup before something that loses the pedal's settings;
    // then runs unless the player cancels or the backup fails.
    void offerBackupThen(const QString& before, std::function<void()> then);
    void onRestoreFromBackup();
    void applyRestoredConfiguration(const Backup& backup);
    void startErase();

    // Firmware upgrade.
    void onUpgradeModeTriggered();
    void enterBootloader();
    void leaveBootloader();
    // The outcome of Link's handshake while Upgrade Mode is checked.
    void onArmedHandshake(const ExchangeResult& result, bool firstSync);
    // A firmware upgrade runs and will say itself that the pedal was lost.
    bool upgradeTakesLoss() const;
    void onUpgradeFinished(const ExchangeResult& result);

    // Settings and the update check.
    void onLookChosen(QAction* entry);
    void onShowUpdateMessageToggled(bool checked);
    void onVersionReply(QNetworkReply* reply);
    void onUpdateNow();
    void writeModeFile();

    Connection& connection_;
    ParameterModel& parameters_;
    Catalogue catalogue_;
    EnabledStates enabled_;

    ConsoleWindow* console_ = nullptr;
    ParameterWindow* parameterWindow_ = nullptr;
    Backends* backends_ = nullptr;
    EffectInfoWindow* effectInfo_ = nullptr;
    FirmwareWindow* firmwareWindow_ = nullptr;
    NewVersionDialog* newVersion_ = nullptr;

    // The link.
    PortDevice device_;
    QString deviceLabel_;
    StoredEffect stored_;
    bool upgradeArmed_ = false;
    bool firmwareKnown_ = false;
    bool bootloaderListened_ = false; // in the last state the connection reported

    // The selection.
    int selectedCategory_ = -1;
    QString selectedEffect_;
    bool selectionUploadable_ = false;
    QHash<QString, QString> irImages_;
    FileDialogOptions irDialog_;

    // The upload that goes live once written and confirmed by the pedal.
    struct PendingUpload {
        bool active = false;
        bool written = false;
        bool confirmed = false;
        std::function<void()> then;
    };
    PendingUpload pendingUpload_;
    bool closingWithEdits_ = false;

    // Settings.
    bool bankMode_ = false;
    bool showUpdateMessage_ = true;
    bool liveAfterUpload_ = true;
    bool showsValueColumn_ = false;
    QString currentVersion_;
    QString newestVersion_;
    QNetworkAccessManager* network_ = nullptr;
    std::unique_ptr<ClockTimer> updateCheckTimer_;
    std::unique_ptr<ClockTimer> assignLockout_;

    // Controls.
    QLabel* deviceName_ = nullptr;
    QListWidget* categories_ = nullptr;
    QListWidget* effects_ = nullptr;
    QPushButton* upload_ = nullptr;
    QPushButton* getStoredEffect_ = nullptr;
    QPushButton* effectInfoButton_ = nullptr;
    QPushButton* request_ = nullptr;
    QPushButton* assign_ = nullptr;
    QPushButton* storeSettings_ = nullptr;
    QGroupBox* banks_ = nullptr;
    QButtonGroup* bankButtons_ = nullptr;
    QLabel* liveLabel_ = nullptr;
    ToggleSwitch* live_ = nullptr;
    QLabel* status_ = nullptr;
    QLabel* updateNote_ = nullptr;
    QLabel* linkIndicator_ = nullptr;
    QLineEdit* search_ = nullptr;
    PresetLibraryWindow* presetLibrary_ = nullptr;

    QAction* loadConfiguration_ = nullptr;
    QAction* saveConfiguration_ = nullptr;
    QAction* loadImpulseResponse_ = nullptr;
    QAction* scan_ = nullptr;
    QAction* link_ = nullptr;
    QAction* unlink_ = nullptr;
    QAction* useUsbPort_ = nullptr;
    QAction* useVirtualPedal_ = nullptr;
    QAction* connectionInfo_ = nullptr;
    QMenu* look_ = nullptr;
    QMenu* midi_ = nullptr;
    QMenu* midiChannel_ = nullptr;
    QMenu* mode_ = nullptr;
    QAction* presetMode_ = nullptr;
    QAction* bankModeAction_ = nullptr;
    QAction* upgradeMode_ = nullptr;
    QAction* startUpgrade_ = nullptr;
    QAction* eraseSettings_ = nullptr;
    QAction* firmwareVersion_ = nullptr;
    QAction* newVersionAvailable_ = nullptr;
    QAction* deviceSerial_ = nullptr;
    QAction* updateNow_ = nullptr;
    QAction* showUpdateMessageAction_ = nullptr;
    QAction* backUp_ = nullptr;
    QAction* restore_ = nullptr;
    QAction* liveAfterUploadAction_ = nullptr;
    QAction* valueColumnAction_ = nullptr;
};

} // namespace kestra
