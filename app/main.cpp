// Program entry: binds the D2XX library, creates the windows in their fixed
// order (main window first) and runs the message loop until the main window
// closes.
#include "app/KestraApplication.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestra Editor"));
    QApplication::setApplicationVersion(QStringLiteral(KESTRA_EDITOR_VERSION));
    kestra::KestraApplication editor;
    editor.show();
    return QApplication::exec();
}
