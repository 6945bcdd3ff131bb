// Everything that lives from start to end of the program: the backends and
// the port chosen among them, the one connection to the pedal, the parameter
// model, the dialogs and the windows, created in order with the main window
// first.
#pragma once

#include "connection/Connection.h"
#include "port/Backends.h"
#include "port/FrontPanel.h"
#include "session/PedalSession.h"
#include "ui/ConsoleWindow.h"
#include "ui/EffectInfoWindow.h"
#include "ui/FirmwareWindow.h"
#include "ui/MainWindow.h"
#include "ui/NewVersionDialog.h"
#include "ui/ParameterWindow.h"
#include "ui/PedalWindow.h"
#include "ui/WidgetDialogs.h"
#include "ui/WindowPlaces.h"

#include <memory>

namespace kestra {

class EditorApplication {
public:
    // With installDialogs false the caller keeps its own dialogs (tests);
    // options are the command line's --virtual and --port.
    explicit EditorApplication(bool installDialogs = true, BackendOptions options = {});
    ~EditorApplication();

    // Shows the main window; the other windows are made, and the attached
    // pedals listed, once it has been painted, so the player sees it first.
    void show();
    // What show() leaves until the first paint; tests and benchmarks, which
    // show no window, call it themselves. Each window's accessor makes them.
    void completeStartup();

    MainWindow& mainWindow() { return *mainWindow_; }
    ParameterWindow& parameterWindow() { return made(parameterWindow_); }
    PedalWindow& pedalWindow() { return made(pedalWindow_); }
    ConsoleWindow& console() { return made(console_); }
    FirmwareWindow& firmwareWindow() { return made(firmwareWindow_); }
    EffectInfoWindow& effectInfoWindow() { return made(effectInfoWindow_); }
    NewVersionDialog& newVersionDialog() { return made(newVersionDialog_); }
    Connection& connection() { return connection_; }
    Backends& backends() { return backends_; }
    PedalSession& session() { return session_; }
    ParameterModel& parameters() { return session_.parameters(); }

private:
    template <typename Window>
    Window& made(const std::unique_ptr<Window>& window) {
        completeStartup();
        return *window;
    }

    Backends backends_;
    Connection connection_{backends_.port()};
    PedalSession session_{connection_};
    WidgetDialogs dialogs_;
    bool ownsDialogs_;
    bool started_ = false;
    std::unique_ptr<MainWindow> mainWindow_;
    std::unique_ptr<FirmwareWindow> firmwareWindow_;
    std::unique_ptr<ConsoleWindow> console_;
    std::unique_ptr<ParameterWindow> parameterWindow_;
    FrontPanel frontPanel_{backends_};
    std::unique_ptr<PedalWindow> pedalWindow_;
    std::unique_ptr<EffectInfoWindow> effectInfoWindow_;
    std::unique_ptr<NewVersionDialog> newVersionDialog_;
    std::unique_ptr<WindowPlaces> windowPlaces_;
};

} // namespace kestra
