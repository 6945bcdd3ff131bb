#include "ui/FileDrop.h"

#include "core/Dialogs.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

namespace kestra {

namespace {

const char WhatCanBeDropped[] =
    "Drop one file: a WAV file to load as the impulse response (as Load IR does), a preset file "
    "(.txt) to load as Load Configuration does, or a backup (.kbackup) to restore it.";

QStringList localFiles(const QMimeData* data) {
    QStringList paths;
    if (!data || !data->hasUrls())
        return paths;
    for (const QUrl& url : data->urls())
        paths << (url.isLocalFile() ? url.toLocalFile() : url.toString());
    return paths;
}

} // namespace

FileDrop::FileDrop(Actions actions, QObject* parent)
    : QObject(parent), actions_(std::move(actions)) {}

void FileDrop::watch(QWidget* window) {
    window->setAcceptDrops(true);
    window->installEventFilter(this);
}

FileDrop::Kind FileDrop::kindOf(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("wav"))
        return Kind::ImpulseResponse;
    if (suffix == QLatin1String("txt"))
        return Kind::Configuration;
    if (suffix == QLatin1String("kbackup"))
        return Kind::Backup;
    return Kind::Other;
}

void FileDrop::take(const QStringList& paths) {
    if (paths.size() != 1) {
        Dialogs::instance().error(QStringLiteral("%1 files were dropped.\n\n").arg(paths.size()) +
                                  QString::fromLatin1(WhatCanBeDropped));
        return;
    }
    const QString& path = paths.front();
    switch (kindOf(path)) {
    case Kind::ImpulseResponse:
        return actions_.loadImpulseResponse(path);
    case Kind::Configuration:
        return actions_.loadConfiguration(path);
    case Kind::Backup:
        return actions_.restoreBackup(path);
    case Kind::Other:
        break;
    }
    Dialogs::instance().error(
        QStringLiteral("The editor cannot take \"%1\".\n\n").arg(QFileInfo(path).fileName()) +
        QString::fromLatin1(WhatCanBeDropped));
}

bool FileDrop::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (!drag->mimeData()->hasUrls())
            return QObject::eventFilter(watched, event);
        // Every file is taken in, so that a refused one hears why.
        drag->acceptProposedAction();
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        if (!drop->mimeData()->hasUrls())
            return QObject::eventFilter(watched, event);
        drop->acceptProposedAction();
        take(localFiles(drop->mimeData()));
        return true;
    }
    default:
        return QObject::eventFilter(watched, event);
    }
}

} // namespace kestra
