#include "app/WidgetPrompts.h"

#include <QFileDialog>
#include <QMessageBox>

namespace kestra {

namespace {
const QString Title = QStringLiteral("Kestra Editor");
}

void WidgetPrompts::message(const QString& text) {
    QMessageBox::information(parent_, Title, text);
}

void WidgetPrompts::error(const QString& text) {
    QMessageBox::warning(parent_, Title, text);
}

bool WidgetPrompts::confirm(const QString& text) {
    return QMessageBox::question(parent_, Title, text, QMessageBox::Yes | QMessageBox::No) !=
           QMessageBox::No;
}

QString WidgetPrompts::openFile(const FileDialogOptions& options) {
    QFileDialog dialog(parent_, options.title, options.folder, options.filter);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (!options.defaultSuffix.isEmpty())
        dialog.setDefaultSuffix(options.defaultSuffix);
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
}

QString WidgetPrompts::saveFile(const FileDialogOptions& options) {
    QFileDialog dialog(parent_, options.title, options.folder, options.filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    if (!options.defaultSuffix.isEmpty())
        dialog.setDefaultSuffix(options.defaultSuffix);
    if (!options.fileName.isEmpty())
        dialog.selectFile(options.fileName);
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
}

} // namespace kestra
