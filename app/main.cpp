// Program entry: takes --virtual or --port PATH, creates the editor's windows
// and runs the event loop until the main window closes.
#include "app/EditorApplication.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTextStream>

namespace {
// --help and --version print and end before any window, so they need no
// display. The other options are read once the application exists.
void answerHelpOrVersion(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestra-editor"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KESTRA_EDITOR_VERSION));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Kestra Editor: edits the effects of a Kestra "
                                                    "pedal on USB.\n\nOptions of the link:\n") +
                                     kestra::backendOptionsHelp());
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.parse(QCoreApplication::arguments());
    if (parser.isSet(help))
        parser.showHelp(0);
    if (parser.isSet(version))
        parser.showVersion();
}

// Without a platform named and without a display, Qt would abort (status
// 134) when the windows are created: say so instead.
bool displayMissing(int argc, char* argv[]) {
#if defined(Q_OS_LINUX)
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "-platform") == 0 || qstrncmp(argv[i], "-platform=", 10) == 0)
            return false;
    }
    return qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") &&
           qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
#else
    Q_UNUSED(argc);
    Q_UNUSED(argv);
    return false;
#endif
}
} // namespace

int main(int argc, char* argv[]) {
    answerHelpOrVersion(argc, argv);
    if (displayMissing(argc, argv)) {
        QTextStream(stderr) << "kestra-editor: there is no display to show the editor on "
                               "(neither DISPLAY nor WAYLAND_DISPLAY is set). Start it in a "
                               "desktop session, or use kestra-cli from a terminal.\n";
        return 1;
    }
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
