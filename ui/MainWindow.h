// The main window: the link to the pedal, the effect catalogue, the pedal's
// operations, and the menus. Every operation is a call of the pedal session,
// whose signals the window shows; enabled states come from EnabledStates
// alone.
#pragma once

#include "core/Dialogs.h"
#include "operations/Backup.h"
#include "session/PedalSession.h"
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
class PedalWindow;
class FileDrop;
class PresetLibraryWindow;
class ToggleSwitch;

class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(PedalSession& session, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The other windows, created after this one.
    void setConsole(ConsoleWindow* console) { console_ = console; }
    void setParameterWindow(ParameterWindow* window);
    // The pedal picture: a menu entry shows it; it hears the enabled states.
    void setPedalWindow(PedalWindow* window);
    void setEffectInfoWindow(EffectInfoWindow* window) { effectInfo_ = window; }
    void setFirmwareWindow(FirmwareWindow* window);
    void setNewVersionDialog(NewVersionDialog* dialog);
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
    const StoredEffect& storedEffect() const { return session_.storedEffect(); }
    const QString& selectedEffect() const { return selectedEffect_; }
    bool bankMode() const { return session_.bankMode(); }
    bool showUpdateMessage() const { return showUpdateMessage_; }
    const PortDevice& device() const { return device_; }
    const QString& newestVersion() const { return newestVersion_; }
    const QString& currentVersion() const { return currentVersion_; }
    // The impulse-response image loaded for an effect; empty when none.
    QString impulseResponseImage(const QString& effectName) const {
        return session_.impulseResponseImage(effectName);
    }
    // What the enabled states derive from, as things stand now.
    EditorSituation situation() const;
    // Recomputes every enabled state (after anything another window changed).
    void refreshEnabledStates();

    // Whether the editor reads the stored effect and its state by itself
    // once an upload is complete.
    bool liveAfterUpload() const { return liveAfterUpload_; }
    // The pedal runs edits of the parameter window that it has not stored.
    bool unsavedEdits() const { return session_.unsavedEdits(); }
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
    void onLinkLost(const QString& message);
    void onSessionSituation();
    void onEffectOpened(const QString& effect, const QString& caption, bool fromPedal);
    void onStoredEffectChanged();
    void onModeChanged(bool bank, bool byPlayer);
    // Shows a session's outcome: failures as errors, notes as messages.
    static void report(const SessionResult& result);
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
    // Entries that cannot go where Upload puts them now are disabled.
    void markUploadableEntries();
    void onEffectActivated(QListWidgetItem* item);
    void activateEffect(QListWidgetItem* item);
    void selectEffect(const QString& name);
    void closeParameterWindow();
    void showStoredEffectInLists();
    void moveEffectHighlight(int key);

    // Pedal operations.
    void onUpload();
    void onUploadFile();
    void onGetStoredEffect();
    void onRequest();
    void showMidiChannel(std::optional<int> channel);
    void onAssign();
    void onStoreSettings();
    void onEraseSettings();
    void onEffectInfo();
    void showEffectInfo();

    // Modes, MIDI, live.
    void selectBank(int index);
    QString uploadTargetText() const;
    void onMidiChannelChosen(QAction* entry);
    void onLiveToggled(bool on);
    void setLiveText(bool on);

    // Files.
    void onSaveConfiguration();
    void onLoadConfiguration();
    // The stored effect is open; tell says when it is not.
    bool showsStoredEffect(bool tell) const;
    void onLoadImpulseResponse();
    // Loads a preset file into the stored effect's window, with every check.
    void loadConfigurationFile(const QString& path);
    void loadImpulseResponseFile(const QString& path);
    void restoreBackupFile(const QString& path);

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
    // Whether the editor may end now, as closing it asks; then runs once
    // edits the player chose to store are stored.
    bool mayEnd(std::function<void()> then);

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
    // A firmware upgrade runs and will say itself that the pedal was lost.
    bool upgradeTakesLoss() const;
    void onUpgradeFinished(const ExchangeResult& result);

    // Settings and the update check.
    void onLookChosen(QAction* entry);
    void onShowUpdateMessageToggled(bool checked);
    void onVersionReply(QNetworkReply* reply);
    void onUpdateNow();

    PedalSession& session_;
    Connection& connection_;
    ParameterModel& parameters_;
    const Catalogue& catalogue_;
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

    // The selection.
    int selectedCategory_ = -1;
    QString selectedEffect_;
    bool selectionUploadable_ = false;
    FileDialogOptions irDialog_;
    bool closingWithEdits_ = false;
    // The parameter window is being rebuilt for the effect just opened: its
    // closing puts nothing away.
    bool reopening_ = false;

    // Settings.
    bool showUpdateMessage_ = true;
    bool liveAfterUpload_ = true;
    bool showsValueColumn_ = false;
    QString currentVersion_;
    QString newestVersion_;
    bool newerVersionKnown_ = false;
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
    PedalWindow* pedalWindow_ = nullptr;
    FileDrop* fileDrop_ = nullptr;

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
