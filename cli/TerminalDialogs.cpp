#include "cli/TerminalDialogs.h"

namespace kestra {

TerminalDialogs::TerminalDialogs(QTextStream& err, LineReader readLine)
    : err_(err), readLine_(std::move(readLine)) {
    Dialogs::setInstance(this);
}

TerminalDialogs::~TerminalDialogs() {
    Dialogs::setInstance(nullptr);
}

void TerminalDialogs::message(const QString& text) {
    err_ << text << Qt::endl;
}

void TerminalDialogs::error(const QString& text) {
    err_ << text << Qt::endl;
}

bool TerminalDialogs::confirm(const QString& text, Default) {
    err_ << text << Qt::endl << "Press Enter for yes (end the input for no)." << Qt::endl;
    return readLine_ && readLine_().has_value();
}

// A script cannot be asked three ways: the offer is declined and the
// command goes on without it.
Dialogs::Choice TerminalDialogs::offer(const QString&, Default) {
    return Choice::No;
}

int TerminalDialogs::choose(const QString& text, const QStringList& options) {
    err_ << text << Qt::endl;
    for (int i = 0; i < options.size(); ++i)
        err_ << "  " << i + 1 << ". " << options[i] << Qt::endl;
    err_ << "Type its number and press Enter (end the input to cancel)." << Qt::endl;
    const std::optional<QString> line = readLine_ ? readLine_() : std::nullopt;
    bool ok = false;
    const int picked = line ? line->trimmed().toInt(&ok) : 0;
    return ok && picked >= 1 && picked <= options.size() ? picked - 1 : -1;
}

QString TerminalDialogs::openFile(const FileDialogOptions&) {
    return {};
}

QString TerminalDialogs::saveFile(const FileDialogOptions&) {
    return {};
}

} // namespace kestra
