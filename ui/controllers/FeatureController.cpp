#include "ui/controllers/FeatureController.h"

#include "core/DebugLog.h"
#include "core/Dialogs.h"
#include "core/Settings.h"

#include <QFileInfo>

namespace kestra {

void FeatureController::report(const SessionResult& result) {
    if (result.text.isEmpty() || result.status == SessionResult::Status::Cancelled)
        return;
    if (result.ok())
        emit statusMessage(result.text);
    else
        Dialogs::instance().error(result.text);
}

bool mayEnd(PedalSession& session, std::function<void()> then) {
    QString why;
    if (session.mayEnd(std::move(then), &why))
        return true;
    if (!why.isEmpty())
        Dialogs::instance().error(why);
    return false;
}

void reportSaveError(const QString& path, const QString& error) {
    if (!error.isEmpty())
        Dialogs::instance().error(settings::saveErrorMessage(path, error));
}

std::optional<QString> readSetting(const QString& path) {
    QString error;
    auto text = settings::readText(path, &error);
    if (!text)
        debugLog(QStringLiteral("Cannot read ") + path + QStringLiteral(": ") + error);
    return text;
}

void createSettingIfMissing(const QString& path, const QString& text) {
    if (!QFileInfo::exists(path))
        reportSaveError(path, settings::writeText(path, text));
}

} // namespace kestra
