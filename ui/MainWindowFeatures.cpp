// The main window's helps for the player beyond the pedal's operations: the
// effect search, the setting of editing after upload,
// the value column's setting, the unsaved marker, and the preset library.
#include "catalogue/EffectSearch.h"
#include "catalogue/Upload.h"
#include "core/DebugLog.h"
#include "core/Settings.h"
#include "ir/IrLoader.h"
#include "port/Backends.h"
#include "ui/FileDrop.h"
#include "ui/MainWindow.h"
#include "ui/ParameterWindow.h"
#include "ui/PedalWindow.h"
#include "ui/PresetLibraryWindow.h"
#include "ui/widgets/Accessible.h"

#include <QAction>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>
#include <memory>
#include <utility>

namespace kestra {

namespace {
const QString Title = QStringLiteral("Kestra Editor");
const QString UnsavedTitle = QStringLiteral("Kestra Editor (edits not stored on the pedal)");

void reportSaveError(const QString& path, const QString& error) {
    if (!error.isEmpty())
        Dialogs::instance().error(settings::saveErrorMessage(path, error));
}
} // namespace

void MainWindow::createFeatures() {
    createSearchField();

    auto* file = qobject_cast<QMenu*>(loadConfiguration_->parent());
    auto* settingsMenu = qobject_cast<QMenu*>(look_->parent());
    if (file) {
        file->addSeparator();
        file->addAction(QStringLiteral("Preset Library…"), this, &MainWindow::onPresetLibrary);
        file->addSeparator();
        backUp_ =
            file->addAction(QStringLiteral("Back Up Pedal…"), this, &MainWindow::onBackUpPedal);
        restore_ = file->addAction(QStringLiteral("Restore from Backup…"), this,
                                   &MainWindow::onRestoreFromBackup);
    }

    liveAfterUpload_ = settings::readYesNo(settings::liveAfterUploadFile(), true);
    showsValueColumn_ = settings::readYesNo(settings::valueColumnFile(), false);
    if (settingsMenu) {
        liveAfterUploadAction_ = settingsMenu->addAction(QStringLiteral("Edit After Upload"));
        liveAfterUploadAction_->setCheckable(true);
        liveAfterUploadAction_->setChecked(liveAfterUpload_);
        connect(liveAfterUploadAction_, &QAction::toggled, this,
                &MainWindow::onLiveAfterUploadToggled);
        valueColumnAction_ = settingsMenu->addAction(QStringLiteral("Show Track Bar Values"));
        valueColumnAction_->setCheckable(true);
        valueColumnAction_->setChecked(showsValueColumn_);
        connect(valueColumnAction_, &QAction::toggled, this, &MainWindow::onValueColumnToggled);
    }

    // Files dropped on the window take the menus' paths.
    fileDrop_ = new FileDrop({[this](const QString& path) { loadImpulseResponseFile(path); },
                              [this](const QString& path) { loadConfigurationFile(path); },
                              [this](const QString& path) { restoreBackupFile(path); }},
                             this);
    fileDrop_->watch(this);

    presetLibrary_ = new PresetLibraryWindow(catalogue_, this);
    connect(presetLibrary_, &PresetLibraryWindow::loadRequested, this,
            &MainWindow::loadConfigurationFile);
}

// ---------------------------------------------------------------------------
// The pedal picture

void MainWindow::setPedalWindow(PedalWindow* window) {
    pedalWindow_ = window;
    window->applyEnabledStates(enabled_);
    // In the Connection menu: a menu of its own would not fit the menu bar.
    auto* connectionMenu = qobject_cast<QMenu*>(unlink_->parent());
    if (!connectionMenu)
        return;
    connectionMenu->addSeparator();
    QAction* show = connectionMenu->addAction(QStringLiteral("Show Pedal"), this,
                                              [this] { pedalWindow_->showBeside(this); });
    show->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+K")));
}

// ---------------------------------------------------------------------------
// Effect search

void MainWindow::createSearchField() {
    QWidget* client = centralWidget();
    const QString name = QStringLiteral("Search effects");
    search_ = named(new QLineEdit(client), name);
    search_->setPlaceholderText(name);
    search_->setClearButtonEnabled(true);
    for (QToolButton* clear : search_->findChildren<QToolButton*>())
        clear->setAccessibleName(QStringLiteral("Clear search"));
    search_->setToolTip(QStringLiteral("Type part of an effect's name; Enter opens the first one"));
    // The field takes the lists' top; they keep their place otherwise.
    search_->setGeometry(10, 34, 380, 24);
    categories_->setGeometry(10, 64, 130, 166);
    effects_->setGeometry(148, 64, 242, 166);
    setTabOrder(search_, categories_);
    setTabOrder(categories_, effects_);
    setTabOrder(effects_, upload_);
    // Ctrl+F (the system's Find keys) reaches the field from anywhere.
    auto* find = new QAction(QStringLiteral("Find Effect"), this);
    find->setShortcut(QKeySequence::Find);
    find->setShortcutContext(Qt::WindowShortcut);
    addAction(find);
    connect(find, &QAction::triggered, this, [this] {
        search_->setFocus(Qt::ShortcutFocusReason);
        search_->selectAll();
    });
    connect(search_, &QLineEdit::textChanged, this, &MainWindow::onSearchEdited);
    connect(search_, &QLineEdit::returnPressed, this, &MainWindow::onSearchEntered);
}

void MainWindow::onSearchEdited(const QString& text) {
    effects_->clear();
    if (text.trimmed().isEmpty()) {
        // Back to the category chosen before the search.
        categories_->setCurrentRow(selectedCategory_);
        if (selectedCategory_ >= 0)
            fillEffectList(catalogue_.categoryEffects(selectedCategory_).value_or(QStringList()));
        const QList<QListWidgetItem*> rows = effects_->findItems(selectedEffect_, Qt::MatchExactly);
        if (!rows.isEmpty())
            effects_->setCurrentItem(rows.first());
        return;
    }
    // The list holds the matches of every category meanwhile.
    categories_->setCurrentRow(-1);
    QStringList names;
    QList<int> categories;
    for (const EffectMatch& match : searchEffects(catalogue_, text)) {
        names << match.name;
        categories << match.category;
    }
    fillEffectList(names);
    for (int row = 0; row < effects_->count(); ++row) {
        QListWidgetItem* item = effects_->item(row);
        if (item->toolTip().isEmpty())
            item->setToolTip(QString::fromLatin1(
                Categories[static_cast<std::size_t>(categories.value(row))].displayName));
    }
    debugLog(QStringLiteral("search \"%1\": %2 effects").arg(text).arg(names.size()));
}

// Enter opens the first match in its category, as a click there would; edits
// not stored on the pedal are offered to be stored first.
void MainWindow::onSearchEntered() {
    const std::vector<EffectMatch> matches = searchEffects(catalogue_, search_->text());
    if (matches.empty())
        return;
    const EffectMatch first = matches.front();
    const auto open = [this, first] {
        {
            const QSignalBlocker quiet(search_);
            search_->clear();
        }
        selectedCategory_ = first.category;
        categories_->setCurrentRow(first.category);
        effects_->clear();
        fillEffectList(catalogue_.categoryEffects(first.category).value_or(QStringList()));
        const QList<QListWidgetItem*> rows = effects_->findItems(first.name, Qt::MatchExactly);
        if (rows.isEmpty())
            return;
        effects_->setCurrentItem(rows.first());
        activateEffect(rows.first());
    };
    if (first.name == selectedEffect_ || !unsavedEdits())
        return open();
    // Cancel keeps the search and the matches for another try.
    session_.confirmLeavingEdits(open);
}

// ---------------------------------------------------------------------------
// Settings

void MainWindow::onLiveAfterUploadToggled(bool on) {
    liveAfterUpload_ = on;
    reportSaveError(settings::liveAfterUploadFile(),
                    settings::writeYesNo(settings::liveAfterUploadFile(), on));
}

void MainWindow::onValueColumnToggled(bool on) {
    showsValueColumn_ = on;
    if (parameterWindow_)
        parameterWindow_->setValueColumnShown(on);
    reportSaveError(settings::valueColumnFile(),
                    settings::writeYesNo(settings::valueColumnFile(), on));
}

// ---------------------------------------------------------------------------
// Enabled states

void MainWindow::addFeatureSituation(EditorSituation& situation) const {
    situation.canUndo = session_.history().canUndo();
    situation.canRedo = session_.history().canRedo();
    situation.virtualPedal = backends_ && backends_->backend() == Backend::Virtual;
}

void MainWindow::applyFeatureStates(const EnabledStates& enabled) {
    if (backUp_)
        backUp_->setEnabled(enabled.backup);
    if (restore_)
        restore_->setEnabled(enabled.restore);
    if (presetLibrary_)
        presetLibrary_->applyEnabledStates(enabled);
    if (pedalWindow_)
        pedalWindow_->applyEnabledStates(enabled);
}

// ---------------------------------------------------------------------------
// Unsaved edits

void MainWindow::onEditsChanged() {
    setWindowTitle(unsavedEdits() ? UnsavedTitle : Title);
    refreshEnabledStates();
}

// ---------------------------------------------------------------------------
// Preset library

void MainWindow::onPresetLibrary() {
    presetLibrary_->move(frameGeometry().left(), frameGeometry().bottom() + 1);
    presetLibrary_->show();
    presetLibrary_->raise();
    presetLibrary_->activateWindow();
}

} // namespace kestra
