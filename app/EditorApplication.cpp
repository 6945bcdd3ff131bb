#include "app/EditorApplication.h"

#include "catalogue/Catalogue.h"
#include "core/DebugLog.h"

#include <QEvent>
#include <QTimer>

namespace kestra {

namespace {
// Calls then once window has painted for the first time and the picture is
// on screen (a zero timer fires after the backing store is flushed).
class AfterFirstPaint final : public QObject {
public:
    AfterFirstPaint(QWidget* window, std::function<void()> then)
        : QObject(window), then_(std::move(then)) {
        window->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            QTimer::singleShot(0, parent(), std::move(then_));
            deleteLater();
        }
        return false;
    }

private:
    std::function<void()> then_;
};
} // namespace

EditorApplication::EditorApplication(bool installDialogs, BackendOptions options)
    : backends_(std::move(options), true), ownsDialogs_(installDialogs) {
    if (ownsDialogs_)
        Dialogs::setInstance(&dialogs_);
    connection_.setKnownEffects(Catalogue().knownEffects());
    mainWindow_ = std::make_unique<MainWindow>(session_);
    dialogs_.setParent(mainWindow_.get());
    mainWindow_->setBackends(&backends_);
    mainWindow_->refreshEnabledStates();
    debugLog(QStringLiteral("port: ") + backends_.port().backendName());
    debugLog(QStringLiteral("because ") + backends_.reason());
    // Closing the main window ends the program, whatever else is open.
    mainWindow_->setAttribute(Qt::WA_QuitOnClose, true);
    windowPlaces_ = std::make_unique<WindowPlaces>(mainWindow_.get());
}

void EditorApplication::completeStartup() {
    if (started_)
        return;
    started_ = true;
    firmwareWindow_ = std::make_unique<FirmwareWindow>(session_);
    console_ = std::make_unique<ConsoleWindow>(connection_);
    parameterWindow_ = std::make_unique<ParameterWindow>(session_);
    pedalWindow_ = std::make_unique<PedalWindow>(session_);
    pedalWindow_->setFrontPanel(&frontPanel_);
    effectInfoWindow_ = std::make_unique<EffectInfoWindow>();
    newVersionDialog_ = std::make_unique<NewVersionDialog>();
    mainWindow_->setFirmwareWindow(firmwareWindow_.get());
    mainWindow_->setConsole(console_.get());
    mainWindow_->setParameterWindow(parameterWindow_.get());
    mainWindow_->setPedalWindow(pedalWindow_.get());
    mainWindow_->setEffectInfoWindow(effectInfoWindow_.get());
    mainWindow_->setNewVersionDialog(newVersionDialog_.get());
    for (QWidget* window :
         {static_cast<QWidget*>(firmwareWindow_.get()), static_cast<QWidget*>(console_.get()),
          static_cast<QWidget*>(parameterWindow_.get()), static_cast<QWidget*>(pedalWindow_.get()),
          static_cast<QWidget*>(effectInfoWindow_.get()),
          static_cast<QWidget*>(newVersionDialog_.get())})
        window->setAttribute(Qt::WA_QuitOnClose, false);
    // Each window opens beside the main window, or where the player left it.
    for (QWidget* window :
         {static_cast<QWidget*>(firmwareWindow_.get()), static_cast<QWidget*>(console_.get()),
          static_cast<QWidget*>(parameterWindow_.get()),
          static_cast<QWidget*>(effectInfoWindow_.get()),
          static_cast<QWidget*>(newVersionDialog_.get()),
          mainWindow_->findChild<QWidget*>(QStringLiteral("presetLibraryWindow"))})
        windowPlaces_->keep(window);
    mainWindow_->findDevices();
    mainWindow_->refreshEnabledStates();
}

EditorApplication::~EditorApplication() {
    windowPlaces_.reset();
    newVersionDialog_.reset();
    effectInfoWindow_.reset();
    pedalWindow_.reset();
    parameterWindow_.reset();
    console_.reset();
    firmwareWindow_.reset();
    mainWindow_.reset();
    if (ownsDialogs_)
        Dialogs::setInstance(nullptr);
}

void EditorApplication::show() {
    mainWindow_->show();
    new AfterFirstPaint(mainWindow_.get(), [this] { completeStartup(); });
    mainWindow_->scheduleUpdateCheck();
}

} // namespace kestra
