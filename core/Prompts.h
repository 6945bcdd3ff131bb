// Message boxes, confirmations and file dialogs all go through this one
// interface: the windows install the real dialogs, tests answer in advance.
#pragma once

#include <QString>

namespace kestra {

struct FileDialogOptions {
    QString title;
    QString folder;
    QString fileName; // proposed name (save dialog)
    QString filter;   // Qt filter text, e.g. "Preset files (*.txt)"
    QString defaultSuffix;
};

class Prompts {
public:
    virtual ~Prompts() = default;

    // A modal message with one OK button.
    virtual void message(const QString& text) = 0;
    // A modal warning for an operation that failed and ended.
    virtual void error(const QString& text) = 0;
    // A Yes/No question; only No answers false.
    virtual bool confirm(const QString& text) = 0;
    // Empty text when the dialog is cancelled.
    virtual QString openFile(const FileDialogOptions& options) = 0;
    virtual QString saveFile(const FileDialogOptions& options) = 0;

    static Prompts& instance();
    // Installs prompts (not owned); nullptr restores the silent default that
    // is in force before the windows exist.
    static void setInstance(Prompts* prompts);
};

} // namespace kestra
