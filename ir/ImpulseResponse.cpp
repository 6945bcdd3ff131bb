#include "ir/ImpulseResponse.h"

#include "core/UserFolders.h"

#include <QFileInfo>

namespace kestra {

TformImpulseResponse::TformImpulseResponse(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle(QStringLiteral("IR"));
    setObjectName(QStringLiteral("FormImpulseResponse"));
    OpenDialog1.title = QStringLiteral("Load IR");
    OpenDialog1.filter = QStringLiteral("Wave Files (*.wav)");
    OpenDialog1.defaultSuffix = QStringLiteral("wav");
}

QString TformImpulseResponse::chooseWaveFile() {
    // The documents folder unless the player has chosen a file before.
    if (OpenDialog1.folder.isEmpty())
        OpenDialog1.folder = documentsFolder();
    const QString path = Prompts::instance().openFile(OpenDialog1);
    if (!path.isEmpty())
        OpenDialog1.folder = QFileInfo(path).absolutePath();
    return path;
}

} // namespace kestra
