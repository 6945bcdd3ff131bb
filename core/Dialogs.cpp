#include "core/Dialogs.h"

#include "core/DebugLog.h"

namespace kestra {

namespace {
// Before the main window installs real dialogs nothing can be shown; keep
// the text in the log instead of losing it, and refuse every question.
class LoggingDialogs final : public Dialogs {
public:
    void message(const QString& text) override { debugLog(QStringLiteral("message: ") + text); }
    void error(const QString& text) override { debugLog(QStringLiteral("error: ") + text); }
    using Dialogs::confirm;
    bool confirm(const QString& text, Default) override {
        debugLog(QStringLiteral("question (answered No): ") + text);
        return false;
    }
    Choice offer(const QString& text, Default) override {
        debugLog(QStringLiteral("question (cancelled): ") + text);
        return Choice::Cancel;
    }
    int choose(const QString& text, const QStringList&) override {
        debugLog(QStringLiteral("choice (cancelled): ") + text);
        return -1;
    }
    QString openFile(const FileDialogOptions&) override { return {}; }
    QString saveFile(const FileDialogOptions&) override { return {}; }
};

LoggingDialogs loggingDialogs;
Dialogs* current = &loggingDialogs;
} // namespace

Dialogs& Dialogs::instance() {
    return *current;
}

void Dialogs::setInstance(Dialogs* dialogs) {
    current = dialogs ? dialogs : &loggingDialogs;
}

} // namespace kestra
