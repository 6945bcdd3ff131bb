#include "ui/controllers/LooksController.h"

#include "catalogue/ResourceStore.h"
#include "core/DebugLog.h"
#include "core/Dialogs.h"
#include "core/Settings.h"
#include "ui/ParameterWindow.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QFileInfo>
#include <QMenu>

namespace kestra {

namespace {
constexpr int LookEntries = 8;
// A look's name, from its first line: "/* Kestra Editor skin: Daylight (light) */".
QString lookName(const QByteArray& style, int number) {
    const QString first = QString::fromUtf8(style.left(style.indexOf('\n')));
    const QString marker = QStringLiteral("skin: ");
    const qsizetype start = first.indexOf(marker);
    if (start < 0)
        return QString::number(number);
    QString name = first.mid(start + marker.size());
    for (const QString& end : {QStringLiteral(" ("), QStringLiteral("*/")}) {
        const qsizetype at = name.indexOf(end);
        if (at >= 0)
            name.truncate(at);
    }
    name = name.trimmed();
    return name.isEmpty() ? QString::number(number) : name;
}
} // namespace

LooksController::LooksController(PedalSession& session, QWidget* menuOwner, QObject* parent)
    : FeatureController(session, parent) {
    createSettingsFolders();
    createLookMenu(menuOwner);
    applySavedStyle();
    showsValueColumn_ = settings::valueColumnShown();
    valueColumnAction_ = new QAction(QStringLiteral("Show Track Bar Values"), menuOwner);
    valueColumnAction_->setCheckable(true);
    valueColumnAction_->setChecked(showsValueColumn_);
    connect(valueColumnAction_, &QAction::toggled, this, &LooksController::onValueColumnToggled);
}

void LooksController::setParameterWindow(ParameterWindow* window) {
    parameterWindow_ = window;
    window->setValueColumnShown(showsValueColumn_);
}

void LooksController::createSettingsFolders() {
    const QString maker = QString::fromLatin1(settings::MakerFolder);
    if (const QString error = settings::makeFolder(settings::folderPath(maker)); !error.isEmpty())
        Dialogs::instance().error(QStringLiteral("Error creating folder: ") + error);
    if (const QString error = settings::makeFolder(
            settings::subfolderPath(maker, QString::fromLatin1(settings::ProductFolder)));
        !error.isEmpty())
        Dialogs::instance().error(QStringLiteral("Error creating subfolder: ") + error);
}

void LooksController::createLookMenu(QWidget* menuOwner) {
    look_ = new QMenu(QStringLiteral("Look"), menuOwner);
    auto* group = new QActionGroup(this);
    group->setExclusive(true);
    for (int n = 0; n < LookEntries; ++n) {
        const auto style = ResourceStore::compiled().find(settings::styleResourceName(n));
        if (!style)
            continue;
        QAction* entry = look_->addAction(lookName(*style, n));
        entry->setData(n);
        entry->setCheckable(true);
        group->addAction(entry);
        connect(entry, &QAction::triggered, this, [this, entry] { onLookChosen(entry); });
    }
}

bool LooksController::applyStyle(int number) {
    const auto style = ResourceStore::compiled().find(settings::styleResourceName(number));
    if (!style) {
        debugLog(QStringLiteral("No look number %1; the current look stays").arg(number));
        return false;
    }
    qApp->setStyleSheet(QString::fromUtf8(*style));
    for (QAction* entry : look_->actions())
        entry->setChecked(entry->data().toInt() == number);
    return true;
}

void LooksController::applySavedStyle() {
    const QString path = settings::styleFile();
    if (!QFileInfo::exists(path)) {
        applyStyle(0);
        return;
    }
    const auto text = readSetting(path);
    const auto number = text ? settings::parseStyleNumber(*text) : std::nullopt;
    if (!number) {
        debugLog(QStringLiteral("The look setting in ") + path +
                 QStringLiteral(" is not a number; using look 0"));
        applyStyle(0);
        return;
    }
    applyStyle(*number);
}

void LooksController::onLookChosen(QAction* entry) {
    const int number = entry->data().toInt();
    applyStyle(number);
    const QString path = settings::styleFile();
    reportSaveError(path, settings::writeText(path, QString::number(number)));
}

void LooksController::onValueColumnToggled(bool on) {
    showsValueColumn_ = on;
    if (parameterWindow_)
        parameterWindow_->setValueColumnShown(on);
    reportSaveError(settings::valueColumnFile(),
                    settings::writeYesNo(settings::valueColumnFile(), on));
}

} // namespace kestra
