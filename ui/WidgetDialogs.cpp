#include "ui/WidgetDialogs.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QInputDialog>
#include <QMessageBox>
#include <QScreen>
#include <QTreeView>

namespace kestra {

namespace {
const QString Title = QStringLiteral("Kestra Editor");
}

void WidgetDialogs::message(const QString& text) {
    QMessageBox::information(parent_, Title, text);
}

void WidgetDialogs::error(const QString& text) {
    QMessageBox::warning(parent_, Title, text);
}

bool WidgetDialogs::tip(const QString& text) {
    QMessageBox box(QMessageBox::Information, Title, text, QMessageBox::Ok, parent_);
    auto* never = new QCheckBox(QStringLiteral("Don't show this again"), &box);
    box.setCheckBox(never);
    box.exec();
    return never->isChecked();
}

bool WidgetDialogs::confirm(const QString& text, Default preselected) {
    return QMessageBox::question(parent_, Title, text, QMessageBox::Yes | QMessageBox::No,
                                 preselected == Default::No ? QMessageBox::No : QMessageBox::Yes) !=
           QMessageBox::No;
}

Dialogs::Choice WidgetDialogs::offer(const QString& text, Default preselected) {
    const QMessageBox::StandardButton answer = QMessageBox::question(
        parent_, Title, text, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
        preselected == Default::No ? QMessageBox::No : QMessageBox::Yes);
    if (answer == QMessageBox::Yes)
        return Choice::Yes;
    return answer == QMessageBox::No ? Choice::No : Choice::Cancel;
}

int WidgetDialogs::choose(const QString& text, const QStringList& options) {
    bool ok = false;
    const QString picked = QInputDialog::getItem(parent_, Title, text, options, 0, false, &ok);
    return ok ? static_cast<int>(options.indexOf(picked)) : -1;
}

namespace {
// Qt's own file dialog (where the desktop offers none) opens too narrow for
// its columns: names, sizes and dates are shown whole.
void showColumnsWhole(QFileDialog& dialog) {
    auto* details = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
    if (!details)
        return;
    QHeaderView* header = details->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int column = 1; column < header->count(); ++column)
        header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    dialog.resize(
        dialog.sizeHint().expandedTo(QSize(760, 460)).boundedTo(dialog.screen()->availableSize()));
}
} // namespace

QString WidgetDialogs::openFile(const FileDialogOptions& options) {
    QFileDialog dialog(parent_, options.title, options.folder, options.filter);
    showColumnsWhole(dialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (!options.defaultSuffix.isEmpty())
        dialog.setDefaultSuffix(options.defaultSuffix);
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
}

QString WidgetDialogs::saveFile(const FileDialogOptions& options) {
    QFileDialog dialog(parent_, options.title, options.folder, options.filter);
    showColumnsWhole(dialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    if (!options.defaultSuffix.isEmpty())
        dialog.setDefaultSuffix(options.defaultSuffix);
    if (!options.fileName.isEmpty())
        dialog.selectFile(options.fileName);
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
}

} // namespace kestra
