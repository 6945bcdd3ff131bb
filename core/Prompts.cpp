#include "core/Prompts.h"

#include "core/DebugLog.h"

namespace kestra {

namespace {
// Before the main window installs real dialogs nothing can be shown; keep
// the text in the log instead of losing it, and refuse every question.
class LoggingPrompts final : public Prompts {
public:
    void message(const QString& text) override { debugLog(QStringLiteral("message: ") + text); }
    void error(const QString& text) override { debugLog(QStringLiteral("error: ") + text); }
    bool confirm(const QString& text) override {
        debugLog(QStringLiteral("question (answered No): ") + text);
        return false;
    }
    QString openFile(const FileDialogOptions&) override { return {}; }
    QString saveFile(const FileDialogOptions&) override { return {}; }
};

LoggingPrompts loggingPrompts;
Prompts* current = &loggingPrompts;
} // namespace

Prompts& Prompts::instance() {
    return *current;
}

void Prompts::setInstance(Prompts* prompts) {
    current = prompts ? prompts : &loggingPrompts;
}

} // namespace kestra
