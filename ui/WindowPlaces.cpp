#include "ui/WindowPlaces.h"

#include "core/DebugLog.h"
#include "core/Settings.h"
#include "ui/widgets/Placement.h"

#include <QEvent>
#include <QWidget>
#include <algorithm>

namespace kestra {

WindowPlaces::WindowPlaces(QWidget* mainWindow) : main_(mainWindow) {
    if (const auto text = settings::readText(settings::windowPlacesFile()))
        places_ = parse(*text);
}

WindowPlaces::~WindowPlaces() {
    bool open = false;
    for (const QPointer<QWidget>& window : std::as_const(windows_)) {
        if (window && window->isVisible()) {
            remember(window);
            open = true;
        }
    }
    if (open)
        save();
}

void WindowPlaces::keep(QWidget* window) {
    if (!window)
        return;
    windows_ << window;
    if (const auto found = places_.constFind(window->objectName()); found != places_.cend())
        rememberPlace(window, *found);
    window->installEventFilter(this);
}

bool WindowPlaces::eventFilter(QObject* watched, QEvent* event) {
    auto* window = qobject_cast<QWidget*>(watched);
    if (!window || !window->isWindow())
        return false;
    if (event->type() == QEvent::Show) {
        // A window the player may size comes back at the size they left.
        const auto place = rememberedPlace(window);
        if (place && window->minimumSize() != window->maximumSize())
            window->resize(place->size().expandedTo(window->minimumSize()));
        moveBeside(window, main_);
    } else if (event->type() == QEvent::Hide) {
        remember(window);
        save();
    }
    return false;
}

void WindowPlaces::remember(QWidget* window) {
    const QRect place(window->frameGeometry().topLeft(), window->size());
    rememberPlace(window, place);
    places_.insert(window->objectName(), place);
}

void WindowPlaces::save() {
    const QString error = settings::writeText(settings::windowPlacesFile(), format(places_));
    // A place not kept is no reason to trouble the player.
    if (!error.isEmpty())
        debugLog(QStringLiteral("window places not kept: ") + error);
}

QHash<QString, QRect> WindowPlaces::parse(const QString& text) {
    QHash<QString, QRect> places;
    for (const QString& line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList fields = line.simplified().split(QLatin1Char(' '));
        if (fields.size() != 5)
            continue;
        int numbers[4] = {};
        bool ok = true;
        for (int k = 0; k < 4 && ok; ++k)
            numbers[k] = fields[k + 1].toInt(&ok);
        if (ok && numbers[2] > 0 && numbers[3] > 0)
            places.insert(fields[0], QRect(numbers[0], numbers[1], numbers[2], numbers[3]));
    }
    return places;
}

QString WindowPlaces::format(const QHash<QString, QRect>& places) {
    QStringList names = places.keys();
    names.sort();
    QString text;
    for (const QString& name : names) {
        const QRect& place = places[name];
        text += QStringLiteral("%1 %2 %3 %4 %5\n")
                    .arg(name)
                    .arg(place.x())
                    .arg(place.y())
                    .arg(place.width())
                    .arg(place.height());
    }
    return text;
}

} // namespace kestra
