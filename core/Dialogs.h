// Message boxes, confirmations and file dialogs all go through this one
// interface: the windows install the real dialogs, tests answer in advance.
#pragma once

#include <QString>
#include <QStringList>

namespace kestra {

struct FileDialogOptions {
    QString title;
    QString folder;
    QString fileName; // proposed name (save dialog)
    QString filter;   // Qt filter text, e.g. "Preset files (*.txt)"
    QString defaultSuffix;
};

class Dialogs {
public:
    virtual ~Dialogs() = default;

    // A modal message with one OK button.
    virtual void message(const QString& text) = 0;
    // A modal warning for an operation that failed and ended.
    virtual void error(const QString& text) = 0;
    // A note the player may turn off: true when the player asked not to see
    // it again. Where there is nothing to tick it is a message.
    virtual bool tip(const QString& text) {
        message(text);
        return false;
    }
    // Which button a question offers first (Enter and Escape aside).
    enum class Default { Yes, No };
    // A Yes/No question; only No answers false. Questions before something
    // that cannot be undone default to No.
    virtual bool confirm(const QString& text, Default preselected) = 0;
    bool confirm(const QString& text) { return confirm(text, Default::Yes); }
    // A Yes/No/Cancel question, for an offer made on the way to something
    // else: Yes takes the offer, No goes on without it, Cancel (and Escape)
    // stops both.
    enum class Choice { Yes, No, Cancel };
    virtual Choice offer(const QString& text, Default preselected) = 0;
    // One of several options (e.g. of two pedals attached): the index of
    // the one picked, -1 when the dialog is cancelled.
    virtual int choose(const QString& text, const QStringList& options) = 0;
    // Empty text when the dialog is cancelled.
    virtual QString openFile(const FileDialogOptions& options) = 0;
    virtual QString saveFile(const FileDialogOptions& options) = 0;

    static Dialogs& instance();
    // Installs dialogs (not owned); nullptr restores the silent default that
    // is in force before the windows exist.
    static void setInstance(Dialogs* dialogs);
};

} // namespace kestra
