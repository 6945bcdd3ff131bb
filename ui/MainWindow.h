// The main window assembles the editor's features: each controller owns its
// controls, actions and menus and talks to the pedal session; the window
// puts their entries into its menus, asks every feature for its part of the
// situation and hands each the enabled states derived from it (from
// EnabledStates alone), and decides whether it may close.
#pragma once

#include "session/PedalSession.h"
#include "ui/EnabledStates.h"

#include <QMainWindow>
#include <vector>

namespace kestra {

class Backends;
class CatalogueController;
class ConsoleWindow;
class EffectInfoWindow;
class FeatureController;
class FilesController;
class FirmwareController;
class FirmwareWindow;
class LinkController;
class LooksController;
class NewVersionDialog;
class ParameterWindow;
class PedalController;
class PedalWindow;
class PresetLibraryWindow;
class UpdateController;

class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(PedalSession& session, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Lists the pedals attached: once the window is on screen, as the
    // device label shows them.
    void findDevices();
    // The other windows, created once this one is on screen.
    void setConsole(ConsoleWindow* console);
    void setParameterWindow(ParameterWindow* window);
    // The pedal picture: Connection > Show Pedal shows it; it hears the
    // enabled states.
    void setPedalWindow(PedalWindow* window);
    void setEffectInfoWindow(EffectInfoWindow* window);
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
    const QString& selectedEffect() const;
    bool bankMode() const { return session_.bankMode(); }
    bool showUpdateMessage() const;
    const PortDevice& device() const;
    const QString& newestVersion() const;
    const QString& currentVersion() const;
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
    bool liveAfterUpload() const;
    // The pedal runs edits of the parameter window that it has not stored.
    bool unsavedEdits() const { return session_.unsavedEdits(); }
    PresetLibraryWindow* presetLibrary() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createMenus();
    void onEditsChanged();

    PedalSession& session_;
    EnabledStates enabled_;
    ConsoleWindow* console_ = nullptr;
    PedalWindow* pedalWindow_ = nullptr;
    QMenu* connectionMenu_ = nullptr;
    bool closingWithEdits_ = false;

    LooksController* looks_ = nullptr;
    LinkController* link_ = nullptr;
    CatalogueController* catalogue_ = nullptr;
    PedalController* pedal_ = nullptr;
    FilesController* files_ = nullptr;
    FirmwareController* firmware_ = nullptr;
    UpdateController* update_ = nullptr;
    std::vector<FeatureController*> features_;
};

} // namespace kestra
