// The keyboard: the lists answer to their keys as to a click, and the
// operations a player repeats have shortcuts.
#include "core/DebugLog.h"
#include "ui/MainWindow.h"

#include <QAction>
#include <QKeyEvent>
#include <QListWidget>
#include <QPushButton>

namespace kestra {

void MainWindow::createShortcuts() {
    link_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    loadConfiguration_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    saveConfiguration_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    // A button's own shortcut releases it on a timer of its own: an action
    // clicks it at once, and not at all while it is disabled.
    const struct {
        QPushButton* button;
        QKeySequence keys;
    } buttons[] = {{upload_, QKeySequence(Qt::CTRL | Qt::Key_U)},
                   {request_, QKeySequence(Qt::CTRL | Qt::Key_R)}};
    for (const auto& [button, keys] : buttons) {
        auto* key = new QAction(button->text(), this);
        key->setShortcut(keys);
        connect(key, &QAction::triggered, button, &QPushButton::click);
        addAction(key);
        button->setToolTip(button->text() + QStringLiteral(" (") +
                           keys.toString(QKeySequence::NativeText) + QLatin1Char(')'));
    }
}

// Arrows in the category list load the category they reach; in the effect
// list they only move the highlight, since picking an effect opens its
// window and switches Live off. Enter and Space act as a click in both.
bool MainWindow::listKey(QListWidget* list, int key) {
    const bool pick = key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space;
    if (list == effects_) {
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            moveEffectHighlight(key);
            return true;
        }
        if (pick && effects_->currentItem()) {
            onEffectActivated(effects_->currentItem());
            return true;
        }
        return false;
    }
    int row = categories_->currentRow();
    switch (key) {
    case Qt::Key_Up:
        row = std::max(row - 1, 0);
        break;
    case Qt::Key_Down:
        row = std::min(row + 1, categories_->count() - 1);
        break;
    case Qt::Key_Home:
        row = 0;
        break;
    case Qt::Key_End:
        row = categories_->count() - 1;
        break;
    default:
        if (!pick)
            return false;
        break;
    }
    if (row < 0)
        return true;
    categories_->setCurrentRow(row);
    if (pick || row != selectedCategory_)
        onCategoryActivated(row);
    return true;
}

} // namespace kestra
