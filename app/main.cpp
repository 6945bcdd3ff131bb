// Program entry: takes --virtual or --port PATH, creates the editor's windows
// and runs the event loop until the main window closes.
#include "app/EditorApplication.h"

#include <QApplication>
#include <QTextStream>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestra Editor"));
    QApplication::setApplicationVersion(QStringLiteral(KESTRA_EDITOR_VERSION));
    // Wayland finds the desktop entry, and with it the icon, by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.quorvane.KestraEditor"));
    QStringList arguments = QApplication::arguments().mid(1);
    QString error;
    const std::optional<kestra::BackendOptions> options =
        kestra::takeBackendOptions(arguments, &error);
    if (!options) {
        QTextStream(stderr) << "kestra-editor: " << error << "\nOptions:\n"
                            << kestra::backendOptionsHelp();
        return 1;
    }
    kestra::EditorApplication editor(true, *options);
    // Closing the main window unlinks; the program ends once the last bytes
    // (Live off, an upload still on its way) have left and the device is
    // closed.
    QApplication::setQuitOnLastWindowClosed(false);
    QObject::connect(&app, &QGuiApplication::lastWindowClosed,
                     [&editor] { editor.connection().whenClosed([] { QApplication::quit(); }); });
    editor.show();
    return QApplication::exec();
}
