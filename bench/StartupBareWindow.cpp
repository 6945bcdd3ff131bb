// The reference for the editor's start-up: a bare QMainWindow with a menu
// bar of the editor's menus, nothing in them.
#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QMainWindow window;
    for (const char* menu : {"&File", "&Connection", "&Settings", "F&irmware Upgrade", "I&nfo"})
        window.menuBar()->addMenu(QString::fromLatin1(menu));
    window.resize(400, 420);
    window.show();
    return QApplication::exec();
}
