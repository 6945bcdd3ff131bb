// The main window: device link, effect lists, the pedal operations' buttons,
// and the editor state every other window reads.
#pragma once

#include "catalogue/CatalogueLists.h"
#include "core/EditorState.h"
#include "editor/ParameterState.h"
#include "port/D2XXUnit.h"
#include "protocol/RealTimeFunctions.h"

#include <QMainWindow>
#include <QNetworkRequest>
#include <QTimer>

class QAction;
class QGroupBox;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QPushButton;
class QRadioButton;
class QCheckBox;
class QKeyEvent;
class QNetworkAccessManager;
class QNetworkReply;

namespace kestra {

class ToggleSwitch;
class TformFXParameters;
class TformPrint;
class tformFXInfo;
class TformImpulseResponse;
class TformNewVersionMsg;
class TformFirmwareUpgrade;

class TformMain : public QMainWindow, public InboundHandler {
    Q_OBJECT

public:
    explicit TformMain(D2XXUnit& transport, QWidget* parent = nullptr);
    ~TformMain() override;

    // The windows created after this one.
    void setConsole(TformPrint* console) { formPrint_ = console; }
    void setParameterWindow(TformFXParameters* window);
    void setInfoWindow(tformFXInfo* window) { formFXInfo_ = window; }

    EditorState& state() { return state_; }
    D2XXUnit& transport() { return transport_; }

    // Connection menu.
    void probeDevices();
    void scanDevices();
    bool linkDevice();
    void menuConnectClick();
    void menuDisconnectClick();

    // Effect catalogue.
    void create_categories();
    void lstGainClick();
    void lstModulationClick();
    void lstSynthesisClick();
    void lstFilterClick();
    void lstDynamicClick();
    void lstIRClick();
    void lstOtherClick();
    void get_effects_name();
    bool search_effect_name(int categoryIndex);
    void move_up_or_down(int key);
    void effetto_cliccato(QListWidgetItem* item);

    // Upload.
    void btnUploadClick();
    void btnUploadFileClick();

    // Stored effect and its parameter window.
    void btnOpenEffectClick();
    void getStoredEffect();
    bool identifyStoredEffect();
    void btnGetFXInfoClick();
    void showDescription();

    // Parameter state and routing.
    void btnRequestClick();
    bool requestParameterState();
    void btnAssignClick();

    // Modes and MIDI channel.
    void SetBankMode();
    void SetPresetMode();
    void createMidiChannelMenu();
    void menuMIDIchannelsClickItem(QAction* entry);

    // Live mode, store and erase.
    void setLiveMode(bool on);
    void btnStoreSettingsOnPedalClick();
    void menuEraseSettingsClick();

    // Local settings, appearance and the update check.
    void setNewVersionWindow(TformNewVersionMsg* window) { formNewVersionMsg_ = window; }
    // Make a folder (or a subfolder of it) below the documents folder.
    void createSettingsFolder(const QString& folder);
    void createSettingsSubfolder(const QString& folder, const QString& subfolder);
    // Reads the start-up message choice and the mode, creating missing files.
    void loadStartupSettings();
    void createLookMenu();
    void applySavedStyle();
    void menuLookClickItem(QAction* entry);
    void menuShowUpdateMsgClick();
    // Applies the style resource of number n; false when there is none.
    bool applyStyle(int n);
    // Writes the mode file after bankMode changed.
    void writeModeFile();
    // Prepares the version request and starts its one-shot timer.
    void prepareVersionCheck();
    void checkmostrecentversiononwebsite();
    // Takes the version text from a finished reply; false when there is none.
    bool WebRequestCompleted(QNetworkReply* AResponse);
    QString getAppVersion() const;
    void menuSupportClick();
    QString currentAppVersion;
    QString newAppVersion;
    QTimer TimerCheckWebVersion;
    QNetworkAccessManager* NetHTTPClient1 = nullptr;
    QNetworkRequest NetHTTPRequest1;
    TformNewVersionMsg* formNewVersionMsg_ = nullptr;

    // Configuration files and impulse responses.
    void setImpulseResponseWindow(TformImpulseResponse* window) { formImpulseResponse = window; }
    void menuSaveConfigurationClick();
    void menuLoadConfigurationClick();
    // The save dialog and the write: fileName is the proposed name and
    // receives the chosen path. False when cancelled or not written.
    bool SaveTextWithDialog(const QString& text, QString& fileName);
    // The open dialog and the read; empty when cancelled or unreadable.
    QString loadTextWithDialog();
    void menuLoadIRClick();
    TformImpulseResponse* formImpulseResponse = nullptr;

    // Firmware upgrade.
    void setFirmwareUpgradeWindow(TformFirmwareUpgrade* window);
    void menuFirmwareUpgradeModeClick();
    void menuStartFirmwareUpgradeClick();
    void chkFirmwareUpgradeModeChange();
    // The handshake Link runs while firmwareUpgradeMode is set.
    void bootloaderHandshakeAtLink();
    // After a No, a failed handshake or a finished upgrade: bypass off (when
    // it was switched on), flag and check mark cleared, parity none, polling
    // on when linked.
    void leaveFirmwareUpgradeMode(bool undoBypass);
    void firmwareUpgradeCompleted();
    void firmwareUpgradeRunning(bool running);
    TformFirmwareUpgrade* formFirmwareUpgrade = nullptr;

    // Background receive, one tick.
    void Timer_USB_readTimer();

    // InboundHandler.
    void selectBankRadio(int bankIndex) override;
    void openReportedEffect(std::uint16_t effectNumber) override;
    void showUploadComplete(const QString& text) override;
    void applyRealtimeFrame(const RealtimeFrame& frame) override;
    void showEepromDump(const std::uint8_t* bytes) override;
    void reportInboundError(const QString& message) override;

    // Controls, named as the rest of the editor refers to them.
    QLabel* lblDeviceName = nullptr;
    QListWidget* lstCategory = nullptr;
    QListWidget* lstEffects = nullptr;
    QPushButton* btnUpload = nullptr;
    QLabel* lblStatus = nullptr;
    QPushButton* btnOpenEffect = nullptr;
    QPushButton* btnRequest = nullptr;
    QPushButton* btnAssign = nullptr;
    QPushButton* btnStoreSettingsOnPedal = nullptr;
    QPushButton* btnGetFXInfo = nullptr;
    QGroupBox* lblBankNum = nullptr;
    QRadioButton* rdbtnBank1 = nullptr;
    QRadioButton* rdbtnBank2 = nullptr;
    QRadioButton* rdbtnBank3 = nullptr;
    QLabel* lblLive = nullptr;
    ToggleSwitch* swLive = nullptr;
    QPushButton* btnUploadFile = nullptr;
    QCheckBox* chkFirmwareUpgradeMode = nullptr;
    QLabel* lblSerialNumber = nullptr;
    QLabel* lblFirmwareVersion = nullptr;

    QAction* menuLoadConfiguration = nullptr;
    QAction* menuSaveConfiguration = nullptr;
    QAction* menuLoadIR = nullptr;
    QAction* menuScan = nullptr;
    QAction* menuConnect = nullptr;
    QAction* menuDisconnect = nullptr;
    QMenu* menuLook = nullptr;
    QMenu* menuMIDI = nullptr;
    QMenu* menuMIDIchannel = nullptr;
    QMenu* menuMode = nullptr;
    QAction* menuModePreset = nullptr;
    QAction* menuModeBank = nullptr;
    QAction* menuFirmwareUpgradeMode = nullptr;
    QAction* menuStartFirmwareUpgrade = nullptr;
    QAction* menuEraseSettings = nullptr;
    QAction* menuSupport = nullptr;
    QAction* menuAppVersion = nullptr;
    QAction* menuFirmwareVersion = nullptr;
    QAction* menuNewAppVersion = nullptr;
    QAction* menuSerialNumber = nullptr;
    QAction* menuUpdateNow = nullptr;
    QAction* menuShowUpdateMsg = nullptr;

    QTimer Timer_USB_read;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Ctrl+Shift+P shows the debug console; true when the key was used.
    bool FormKeyDown(QKeyEvent* event);
    // Closes the parameter window if it is open, then opens it beside this
    // window for the selected effect with caption.
    void openParameterWindow(const QString& caption);
    void closeParameterWindow();
    // Selects the stored effect in the first category that holds it.
    void findStoredEffectCategory();
    void receive_mode(const ParameterState& received);
    void receiveMidiChannel(int channel);
    // Fills the effect list with the category at index of the category table.
    void showCategory(int index);
    void createControls();
    void createMenus();
    void FormCreate();

    D2XXUnit& transport_;
    EditorState state_;
    CatalogueLists lists_;
    QString bankUploadCommand;
    RealTimeFunctions realTime_;
    TformPrint* formPrint_ = nullptr;
    TformFXParameters* formFXParameters_ = nullptr;
    tformFXInfo* formFXInfo_ = nullptr;
};

} // namespace kestra
