#include "ui/PresetLibraryWindow.h"

#include "core/Dialogs.h"
#include "operations/Configuration.h"
#include "operations/PresetLibrary.h"
#include "ui/widgets/Accessible.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

namespace kestra {

namespace {
constexpr int PathRole = Qt::UserRole;
const char PresetFilter[] = "Preset files (*.txt)";
} // namespace

PresetLibraryWindow::PresetLibraryWindow(const Catalogue& catalogue, QWidget* parent)
    : QWidget(parent, Qt::Window), catalogue_(catalogue) {
    setObjectName(QStringLiteral("presetLibraryWindow"));
    setWindowTitle(QStringLiteral("Preset Library"));
    setFixedSize(520, 360);

    list_ = named(new QTreeWidget(this), QStringLiteral("Presets"));
    list_->setGeometry(10, 10, 500, 250);
    list_->setHeaderLabels(
        {QStringLiteral("Name"), QStringLiteral("Effect"), QStringLiteral("Date")});
    list_->setRootIsDecorated(false);
    list_->setAllColumnsShowFocus(true);
    list_->header()->setAccessibleName(QStringLiteral("Preset columns"));
    // The effect and the date are shown whole; the name takes what is left.
    list_->header()->setStretchLastSection(false);
    list_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    list_->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    list_->header()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
    // A double-click, or Enter on the chosen row.
    connect(list_, &QTreeWidget::itemActivated, this, [this] { onLoad(); });
    connect(list_, &QTreeWidget::currentItemChanged, this, [this] { showButtons(); });

    const QString only = QStringLiteral("Only the effect stored on the pedal");
    onlyStored_ = named(new QCheckBox(only, this), only);
    onlyStored_->setGeometry(10, 266, 500, 22);
    onlyStored_->setChecked(true);
    connect(onlyStored_, &QCheckBox::toggled, this, [this] { refresh(); });

    const auto makeButton = [this](const QString& text, int x) {
        auto* button = named(new QPushButton(text, this), text);
        button->setGeometry(x, 294, 110, 28);
        return button;
    };
    load_ = makeButton(QStringLiteral("Load"), 10);
    rename_ = makeButton(QStringLiteral("Rename..."), 130);
    delete_ = makeButton(QStringLiteral("Delete..."), 250);
    connect(load_, &QPushButton::clicked, this, &PresetLibraryWindow::onLoad);
    connect(rename_, &QPushButton::clicked, this, &PresetLibraryWindow::onRename);
    connect(delete_, &QPushButton::clicked, this, &PresetLibraryWindow::onDelete);
    // The file manager's keys on the list: F2 renames, Delete deletes.
    const auto listKey = [this](const QKeySequence& key, void (PresetLibraryWindow::*slot)()) {
        auto* action = new QAction(list_);
        action->setShortcut(key);
        action->setShortcutContext(Qt::WidgetShortcut);
        connect(action, &QAction::triggered, this, slot);
        list_->addAction(action);
    };
    listKey(QKeySequence(Qt::Key_F2), &PresetLibraryWindow::onRename);
    listKey(QKeySequence::Delete, &PresetLibraryWindow::onDelete);

    folder_ = new QLabel(this);
    folder_->setGeometry(10, 328, 500, 22);
    showButtons();
}

void PresetLibraryWindow::setStoredEffect(int effectNumber) {
    if (effectNumber == storedEffect_)
        return;
    storedEffect_ = effectNumber;
    if (isVisible())
        refresh();
}

void PresetLibraryWindow::applyEnabledStates(const EnabledStates& enabled) {
    loadEnabled_ = enabled.loadConfiguration;
    showButtons();
}

void PresetLibraryWindow::showEvent(QShowEvent* event) {
    refresh();
    QWidget::showEvent(event);
}

// Files saved meanwhile from the main window show when the player comes back.
void PresetLibraryWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        refresh();
    QWidget::changeEvent(event);
}

void PresetLibraryWindow::refresh() {
    const QString current = currentPath();
    const QString folder = presetFolder();
    folder_->setText(QStringLiteral("Folder: ") + QDir::toNativeSeparators(folder));
    onlyStored_->setEnabled(storedEffect_ != 0);
    const bool filtered = onlyStored_->isChecked() && storedEffect_ != 0;
    list_->clear();
    for (const PresetEntry& entry : listPresets(folder, catalogue_)) {
        if (filtered && entry.effectNumber != storedEffect_)
            continue;
        QString effect = entry.effectName;
        if (effect.isEmpty())
            effect = entry.effectNumber < 0
                         ? QStringLiteral("(not a preset file)")
                         : QStringLiteral("(effect number %1)").arg(entry.effectNumber);
        else
            effect += QStringLiteral(" v%1").arg(entry.effectVersion);
        auto* item = new QTreeWidgetItem(
            list_, {entry.name, effect, QLocale().toString(entry.modified, QLocale::ShortFormat)});
        item->setData(0, PathRole, entry.path);
        item->setToolTip(0, QDir::toNativeSeparators(entry.path));
        if (entry.path == current)
            list_->setCurrentItem(item);
    }
    if (!list_->currentItem() && list_->topLevelItemCount() > 0)
        list_->setCurrentItem(list_->topLevelItem(0));
    showButtons();
}

QStringList PresetLibraryWindow::rows() const {
    QStringList all;
    for (int i = 0; i < list_->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = list_->topLevelItem(i);
        all << item->text(0) + QStringLiteral(" | ") + item->text(1) + QStringLiteral(" | ") +
                   item->text(2);
    }
    return all;
}

QString PresetLibraryWindow::currentPath() const {
    const QTreeWidgetItem* item = list_->currentItem();
    return item ? item->data(0, PathRole).toString() : QString();
}

void PresetLibraryWindow::showButtons() {
    const bool chosen = list_->currentItem() != nullptr;
    load_->setEnabled(chosen && loadEnabled_);
    rename_->setEnabled(chosen);
    delete_->setEnabled(chosen);
}

void PresetLibraryWindow::onLoad() {
    const QString path = currentPath();
    if (path.isEmpty())
        return;
    if (!loadEnabled_) {
        Dialogs::instance().error(
            QStringLiteral("A preset can be loaded once the parameter window shows the effect "
                           "stored on the pedal and Request has read its state.\n\nClick \"Get "
                           "FX Stored on Pedal\" and \"Request\", then try again."));
        return;
    }
    // The main window checks the file against the stored effect.
    emit loadRequested(path);
}

void PresetLibraryWindow::onRename() {
    const QString path = currentPath();
    if (path.isEmpty())
        return;
    const QString name = QFileInfo(path).completeBaseName();
    const QString chosen = Dialogs::instance().saveFile(
        {QStringLiteral("Rename Preset"), QFileInfo(path).absolutePath(), name,
         QString::fromLatin1(PresetFilter), QStringLiteral("txt")});
    if (chosen.isEmpty())
        return;
    const QString newName = QFileInfo(chosen).completeBaseName();
    if (newName == name)
        return;
    if (!Dialogs::instance().confirm(
            QStringLiteral("Rename the preset \"%1\" to \"%2\"?").arg(name, newName)))
        return;
    QString error;
    const QString renamed = renamePreset(path, newName, &error);
    if (renamed.isEmpty()) {
        Dialogs::instance().error(QStringLiteral("The preset was not renamed: ") + error);
        return;
    }
    refresh();
    for (int i = 0; i < list_->topLevelItemCount(); ++i) {
        if (list_->topLevelItem(i)->data(0, PathRole).toString() == renamed)
            list_->setCurrentItem(list_->topLevelItem(i));
    }
}

void PresetLibraryWindow::onDelete() {
    const QString path = currentPath();
    if (path.isEmpty())
        return;
    if (!Dialogs::instance().confirm(
            QStringLiteral("Delete the preset \"%1\"?\n\nThe file is deleted for good.")
                .arg(QFileInfo(path).completeBaseName()),
            Dialogs::Default::No))
        return;
    QString error;
    if (!deletePreset(path, &error)) {
        Dialogs::instance().error(QStringLiteral("The preset was not deleted: ") + error);
        return;
    }
    refresh();
}

} // namespace kestra
