// The secondary windows' places: each opens beside the main window on its
// screen, never over its menu bar and never larger than the screen, and
// reopens where the player left it, in this run and the next (a settings
// file beside the others keeps the places).
#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QRect>

class QWidget;

namespace kestra {

class WindowPlaces : public QObject {
    Q_OBJECT

public:
    // Reads the places kept by an earlier run.
    explicit WindowPlaces(QWidget* mainWindow);
    // Keeps the places of the windows still open.
    ~WindowPlaces() override;

    // Places window (known by its object name) each time it is shown.
    void keep(QWidget* window);

    // "name x y width height" a line: the frame's top left corner and the
    // window's own size. Lines that do not read so are skipped.
    static QHash<QString, QRect> parse(const QString& text);
    static QString format(const QHash<QString, QRect>& places);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void remember(QWidget* window);
    void save();

    QWidget* main_;
    QList<QPointer<QWidget>> windows_;
    QHash<QString, QRect> places_;
};

} // namespace kestra
