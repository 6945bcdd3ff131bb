// Files: preset files of the stored effect's parameter state and the preset
// library, impulse responses loaded into an IR effect's image, and backups
// of the whole pedal (Back Up Pedal, the backup offered before something
// that loses the pedal's settings, Restore from Backup).
#pragma once

#include "core/Dialogs.h"
#include "operations/Backup.h"
#include "ui/controllers/FeatureController.h"

class QAction;
class QWidget;

namespace kestra {

class CatalogueController;
class FileDrop;
class PresetLibraryWindow;

class FilesController : public FeatureController {
    Q_OBJECT

public:
    // The entries belong to menuOwner until the main window puts them in its
    // menus; the preset library is a window of window's.
    FilesController(PedalSession& session, const CatalogueController& catalogue, QWidget* window,
                    QObject* menuOwner, QObject* parent);

    QAction* loadConfigurationAction() const { return loadConfiguration_; }
    QAction* saveConfigurationAction() const { return saveConfiguration_; }
    QAction* loadImpulseResponseAction() const { return loadImpulseResponse_; }
    QAction* presetLibraryAction() const { return presetLibraryEntry_; }
    QAction* backUpAction() const { return backUp_; }
    QAction* restoreAction() const { return restore_; }
    PresetLibraryWindow* presetLibrary() const { return presetLibrary_; }

    // The menus' steps once a file is chosen, for files dropped on the
    // editor too.
    void loadConfigurationFile(const QString& path);
    void loadImpulseResponseFile(const QString& path);
    void restoreBackupFile(const QString& path);
    // Files dropped on window load as from the menus.
    void takeDrops(QWidget* window);

    // Offers a backup before something that loses the pedal's settings;
    // then runs unless the player cancels or the backup fails.
    void offerBackupThen(const QString& before, std::function<void()> then);

    void applyEnabledStates(const EnabledStates& enabled) override;

private:
    // The stored effect is open; tell says when it is not.
    bool showsStoredEffect(bool tell) const;
    void onSaveConfiguration();
    // Asks for the file and writes the state just read.
    void saveConfiguration();
    void onLoadConfiguration();
    void onLoadImpulseResponse();
    void onPresetLibrary();
    // Asks for the file, reads the pedal and writes the backup; then(true)
    // once it is written.
    void backUpThen(std::function<void(bool written)> then);
    void onRestoreFromBackup();
    void applyRestoredConfiguration(const Backup& backup);

    const CatalogueController& catalogue_;
    FileDialogOptions irDialog_;
    PresetLibraryWindow* presetLibrary_ = nullptr;
    FileDrop* fileDrop_ = nullptr;

    QAction* loadConfiguration_ = nullptr;
    QAction* saveConfiguration_ = nullptr;
    QAction* loadImpulseResponse_ = nullptr;
    QAction* presetLibraryEntry_ = nullptr;
    QAction* backUp_ = nullptr;
    QAction* restore_ = nullptr;
};

} // namespace kestra
