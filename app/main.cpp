// Program entry: creates the editor's windows and runs the event loop until
// the main window closes.
#include "app/EditorApplication.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestra Editor"));
    QApplication::setApplicationVersion(QStringLiteral(KESTRA_EDITOR_VERSION));
    kestra::EditorApplication editor;
    editor.show();
    return QApplication::exec();
}
