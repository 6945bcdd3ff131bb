#include "ui/widgets/ToggleSwitch.h"

#include <QPainter>
#include <QPainterPath>

namespace kestra {

ToggleSwitch::ToggleSwitch(QWidget* parent) : QAbstractButton(parent) {
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
}

QSize ToggleSwitch::sizeHint() const {
    return {40, 20};
}

void ToggleSwitch::setTrackOnColor(const QColor& c) {
    trackOn_ = c;
    update();
}

void ToggleSwitch::setTrackOffColor(const QColor& c) {
    trackOff_ = c;
    update();
}

void ToggleSwitch::setThumbColor(const QColor& c) {
    thumb_ = c;
    update();
}

void ToggleSwitch::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF track = QRectF(rect()).adjusted(1, 3, -1, -3);
    const qreal radius = track.height() / 2;
    QColor trackColour = isChecked() ? trackOn_ : trackOff_;
    QColor thumbColour = thumb_;
    if (!isEnabled()) {
        trackColour.setAlphaF(0.35);
        thumbColour.setAlphaF(0.6);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(trackColour);
    p.drawRoundedRect(track, radius, radius);

    const qreal d = rect().height() - 2;
    const qreal x = isChecked() ? rect().width() - d - 1 : 1;
    // An outline keeps a light thumb visible on a light window.
    QColor outline = trackOff_.darker(160);
    if (!isEnabled())
        outline.setAlphaF(0.6);
    p.setPen(QPen(outline, 1));
    p.setBrush(thumbColour);
    p.drawEllipse(QRectF(x + 0.5, 1.5, d - 1, d - 1));
    if (hasFocus()) {
        p.setPen(QPen(trackOn_.lighter(130), 1.2));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), radius + 2, radius + 2);
    }
}

} // namespace kestra
