// kestra-cli's answers to the session's questions: each one is printed on
// the error stream and answered by a line of input (Enter: yes; the input's
// end: no). Files are never chosen from the terminal.
#pragma once

#include "core/Dialogs.h"

#include <QTextStream>
#include <functional>
#include <optional>

namespace kestra {

class TerminalDialogs final : public Dialogs {
public:
    using LineReader = std::function<std::optional<QString>()>;

    TerminalDialogs(QTextStream& err, LineReader readLine);
    ~TerminalDialogs() override;
    TerminalDialogs(const TerminalDialogs&) = delete;
    TerminalDialogs& operator=(const TerminalDialogs&) = delete;

    void message(const QString& text) override;
    void error(const QString& text) override;
    using Dialogs::confirm;
    bool confirm(const QString& text, Default preselected) override;
    Choice offer(const QString& text, Default preselected) override;
    int choose(const QString& text, const QStringList& options) override;
    QString openFile(const FileDialogOptions& options) override;
    QString saveFile(const FileDialogOptions& options) override;

private:
    QTextStream& err_;
    LineReader readLine_;
};

} // namespace kestra
