// The pedal's operations: Upload (and the hidden Upload File), Get FX Stored
// on Pedal, Request, Assign, Store Settings On Pedal, the FX banks, the live
// switch and the status line, the Mode and MIDI menus and the setting of
// editing after upload.
#pragma once

#include "ui/controllers/FeatureController.h"

#include <memory>
#include <optional>

class QAction;
class QButtonGroup;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;
class QWidget;

namespace kestra {

class CatalogueController;
class ClockTimer;
class ToggleSwitch;

class PedalController : public FeatureController {
    Q_OBJECT

public:
    // The controls go on client, the keys on window; the menus belong to
    // menuOwner until the main window puts them in its own.
    PedalController(PedalSession& session, const CatalogueController& catalogue, QWidget* client,
                    QWidget* window, QWidget* menuOwner, QObject* parent);
    ~PedalController() override;

    QMenu* midiMenu() const { return midi_; }
    QMenu* modeMenu() const { return mode_; }
    QAction* liveAfterUploadAction() const { return liveAfterUploadAction_; }
    QPushButton* getStoredEffectButton() const { return getStoredEffect_; }

    // Whether the editor reads the stored effect and its state by itself
    // once an upload is complete.
    bool liveAfterUpload() const { return liveAfterUpload_; }
    // Request takes the focus: the next step once an effect is open.
    void focusRequest();
    // The status line: what the last action did.
    void showStatus(const QString& text);

    void addSituation(EditorSituation& situation) const override;
    void applyEnabledStates(const EnabledStates& enabled) override;

private:
    void createControls(QWidget* client);
    void createShortcuts(QWidget* window);
    void createMenus(QWidget* menuOwner);
    void readModeSetting();
    void onUpload();
    void onUploadFile();
    void onGetStoredEffect();
    void onAssign();
    void onModeChanged(bool bank);
    void selectBank(int index);
    // Where Upload puts the effect, for its question: "Fuzzmoth to Bank II".
    QString uploadTargetText() const;
    void showMidiChannel(std::optional<int> channel);
    void onLiveToggled(bool on);
    void setLiveText(bool on);
    void onLiveAfterUploadToggled(bool on);

    const CatalogueController& catalogue_;
    bool liveAfterUpload_ = true;
    std::unique_ptr<ClockTimer> assignLockout_;

    QPushButton* upload_ = nullptr;
    QPushButton* getStoredEffect_ = nullptr;
    QPushButton* request_ = nullptr;
    QPushButton* assign_ = nullptr;
    QPushButton* storeSettings_ = nullptr;
    QGroupBox* banks_ = nullptr;
    QButtonGroup* bankButtons_ = nullptr;
    QLabel* liveLabel_ = nullptr;
    ToggleSwitch* live_ = nullptr;
    QLabel* status_ = nullptr;

    QMenu* midi_ = nullptr;
    QMenu* midiChannel_ = nullptr;
    QMenu* mode_ = nullptr;
    QAction* presetMode_ = nullptr;
    QAction* bankModeAction_ = nullptr;
    QAction* liveAfterUploadAction_ = nullptr;
};

} // namespace kestra
