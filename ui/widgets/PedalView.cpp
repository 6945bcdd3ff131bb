#include "ui/widgets/PedalView.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStringList>
#include <QStyle>
#include <QWheelEvent>
#include <QtMath>

namespace kestra {

namespace {

constexpr int MaxLevel = 1023;
constexpr int Margin = 16;
constexpr int CellWidth = 108;
constexpr int Columns = 5;
constexpr int CaptionHeight = 16;
constexpr int LineHeight = 15;
constexpr int TextLines = 3;
// Rows of the picture: jacks on the top edge, knobs, switches with the
// SX and DX LEDs, footswitches with the RED and GREEN LEDs.
constexpr int JackRowY = Margin;
constexpr int JackRowHeight = 30 + CaptionHeight + LineHeight * 2;
constexpr int KnobRowY = JackRowY + JackRowHeight + 6;
constexpr int KnobRowHeight = 58 + CaptionHeight + LineHeight * TextLines + 8;
constexpr int SwitchRowY = KnobRowY + KnobRowHeight + 6;
constexpr int SwitchRowHeight = 46 + CaptionHeight + LineHeight * TextLines + 8;
constexpr int FootRowY = SwitchRowY + SwitchRowHeight + 6;
constexpr int FootRowHeight = 56 + CaptionHeight + LineHeight * TextLines + 8;
constexpr int TotalWidth = Margin * 2 + CellWidth * Columns;
constexpr int TotalHeight = FootRowY + FootRowHeight + Margin;
// A knob turns by this much a wheel notch or arrow key, and a page.
constexpr int TurnStep = 16;
constexpr int PageStep = 128;

struct Place {
    int column;
    int y;
    int height;
};

Place placeOf(PedalControl control) {
    using C = PedalControl;
    switch (control) {
    case C::Expression:
        return {3, JackRowY, JackRowHeight};
    case C::Remote:
        return {4, JackRowY, JackRowHeight};
    case C::LedSX:
        return {0, SwitchRowY, SwitchRowHeight};
    case C::SwitchB1:
    case C::SwitchB2:
    case C::SwitchB3:
        return {1 + static_cast<int>(control) - static_cast<int>(C::SwitchB1), SwitchRowY,
                SwitchRowHeight};
    case C::LedDX:
        return {4, SwitchRowY, SwitchRowHeight};
    case C::FootswitchFS:
        return {0, FootRowY, FootRowHeight};
    case C::LedRed:
        return {1, FootRowY, FootRowHeight};
    case C::LedGreen:
        return {3, FootRowY, FootRowHeight};
    case C::FootswitchFL:
        return {4, FootRowY, FootRowHeight};
    default:
        return {static_cast<int>(control), KnobRowY, KnobRowHeight};
    }
}

QSize partSize(PedalControl control) {
    if (isKnob(control))
        return {58, 58};
    if (isToggle(control))
        return {30, 46};
    if (isFootswitch(control) && control != PedalControl::Remote)
        return {56, 56};
    if (isLed(control))
        return {20, 20};
    return {30, 30}; // a jack
}

QColor ledColour(PedalControl control) {
    switch (control) {
    case PedalControl::LedRed:
        return QColor(0xe5, 0x39, 0x35);
    case PedalControl::LedGreen:
        return QColor(0x43, 0xc0, 0x4a);
    default:
        return QColor(0xff, 0xb3, 0x00);
    }
}

} // namespace

PedalControlView::PedalControlView(PedalControl control, QWidget* parent)
    : QWidget(parent), control_(control) {
    setFocusPolicy(Qt::StrongFocus);
    setAcceptDrops(true);
    const Place place = placeOf(control);
    setGeometry(Margin + place.column * CellWidth, place.y, CellWidth, place.height);
    nameAfterLook();
}

QRect PedalControlView::partRect() const {
    const QSize size = partSize(control_);
    return {(width() - size.width()) / 2, CaptionHeight + 4, size.width(), size.height()};
}

void PedalControlView::showLook(const Look& look) {
    if (look == look_)
        return;
    look_ = look;
    nameAfterLook();
    update();
}

void PedalControlView::setFrontPanel(bool on) {
    if (on == frontPanel_)
        return;
    frontPanel_ = on;
    nameAfterLook();
    update();
}

// "Knob II: Depth": the control and what is on it, as the picture shows it.
void PedalControlView::nameAfterLook() {
    const QString routed = look_.routed.isEmpty()
                               ? QStringLiteral("not routed")
                               : look_.routed.split(QLatin1Char('\n')).join(QStringLiteral(", "));
    setAccessibleName(controlName(control_) + QStringLiteral(": ") + routed);
    QString hint = controlName(control_) + QLatin1Char('\n') + routed;
    if (look_.level && isKnob(control_))
        hint += QStringLiteral("\nLevel %1").arg(*look_.level);
    setToolTip(hint);
}

void PedalControlView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette& colours = palette();
    const QRect part = partRect();

    QFont caption = font();
    caption.setBold(true);
    painter.setFont(caption);
    painter.setPen(colours.color(QPalette::WindowText));
    painter.drawText(QRect(0, 0, width(), CaptionHeight), Qt::AlignCenter,
                     control_ == PedalControl::SwitchB2 ? QStringLiteral("B2 SAVE")
                                                        : controlCode(control_));

    if (isKnob(control_))
        paintKnob(painter, part);
    else if (isToggle(control_))
        paintToggle(painter, part);
    else if (isLed(control_))
        paintLed(painter, part);
    else if (control_ == PedalControl::Remote || control_ == PedalControl::Expression)
        paintJack(painter, part);
    else
        paintFootswitch(painter, part);

    // What is routed here, a line each, cut to the cell.
    painter.setFont(font());
    const QStringList lines = look_.routed.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const int maxLines = (height() - part.bottom() - 6) / LineHeight;
    int y = part.bottom() + 6;
    if (lines.isEmpty()) {
        painter.setPen(colours.color(QPalette::Disabled, QPalette::WindowText));
        painter.drawText(QRect(2, y, width() - 4, LineHeight), Qt::AlignCenter,
                         QStringLiteral("—"));
    }
    painter.setPen(colours.color(QPalette::WindowText));
    for (int i = 0; i < lines.size() && i < maxLines; ++i, y += LineHeight) {
        QString line = lines[i];
        if (i == maxLines - 1 && lines.size() > maxLines)
            line = QStringLiteral("+%1 more").arg(lines.size() - i);
        painter.drawText(QRect(2, y, width() - 4, LineHeight), Qt::AlignCenter,
                         fontMetrics().elidedText(line, Qt::ElideRight, width() - 4));
    }

    if (hasFocus()) {
        QPen focus(colours.color(QPalette::Highlight), 2, Qt::DashLine);
        painter.setPen(focus);
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 6, 6);
    }
}

void PedalControlView::paintKnob(QPainter& painter, const QRect& part) const {
    const QPalette& colours = palette();
    const QRectF face = QRectF(part).adjusted(6, 6, -6, -6);
    // The track around the knob, and the share of it the level takes.
    painter.setPen(QPen(colours.color(QPalette::Mid), 3, Qt::SolidLine, Qt::RoundCap));
    painter.setBrush(Qt::NoBrush);
    const QRectF track = QRectF(part).adjusted(2, 2, -2, -2);
    painter.drawArc(track, 225 * 16, -270 * 16);
    if (look_.level) {
        painter.setPen(QPen(colours.color(QPalette::Highlight), 3, Qt::SolidLine, Qt::RoundCap));
        painter.drawArc(track, 225 * 16, -270 * 16 * *look_.level / MaxLevel);
    }
    QRadialGradient shine(face.center() - QPointF(6, 8), face.width());
    shine.setColorAt(0, colours.color(QPalette::Light));
    shine.setColorAt(1, colours.color(QPalette::Dark));
    painter.setPen(QPen(colours.color(QPalette::Shadow), 1));
    painter.setBrush(shine);
    painter.drawEllipse(face);
    if (!look_.level)
        return;
    const double angle = qDegreesToRadians(225.0 - 270.0 * *look_.level / MaxLevel);
    const QPointF centre = face.center();
    const double radius = face.width() / 2 - 3;
    const QPointF tip(centre.x() + radius * std::cos(angle), centre.y() - radius * std::sin(angle));
    // The face is light in every look: a dark pointer reads on it.
    painter.setPen(QPen(colours.color(QPalette::Shadow), 3, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(centre + (tip - centre) * 0.35, tip);
}

void PedalControlView::paintToggle(QPainter& painter, const QRect& part) const {
    const QPalette& colours = palette();
    painter.setPen(QPen(colours.color(QPalette::Shadow), 1));
    painter.setBrush(colours.color(QPalette::Dark));
    painter.drawRoundedRect(QRectF(part).adjusted(6, 0, -6, 0), 5, 5);
    // The lever: up for on, down for off, level when the state is unknown.
    const double y =
        !look_.on ? part.center().y() : (*look_.on ? part.top() + 10 : part.bottom() - 10);
    painter.setBrush(look_.on.value_or(false) ? colours.color(QPalette::Highlight)
                                              : colours.color(QPalette::Light));
    painter.drawEllipse(QPointF(part.center().x() + 0.5, y), 9, 9);
}

void PedalControlView::paintFootswitch(QPainter& painter, const QRect& part) const {
    const QPalette& colours = palette();
    QRadialGradient metal(QRectF(part).center() - QPointF(8, 10), part.width());
    metal.setColorAt(0, colours.color(QPalette::Light));
    metal.setColorAt(1, colours.color(QPalette::Mid));
    painter.setPen(QPen(look_.on.value_or(false) ? colours.color(QPalette::Highlight)
                                                 : colours.color(QPalette::Shadow),
                        look_.on.value_or(false) ? 3 : 1));
    painter.setBrush(metal);
    painter.drawEllipse(QRectF(part).adjusted(1, 1, -1, -1));
    painter.setPen(QPen(colours.color(QPalette::Dark), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QRectF(part).adjusted(12, 12, -12, -12));
}

void PedalControlView::paintJack(QPainter& painter, const QRect& part) const {
    const QPalette& colours = palette();
    painter.setPen(QPen(colours.color(QPalette::Shadow), 1));
    painter.setBrush(colours.color(QPalette::Mid));
    painter.drawEllipse(QRectF(part).adjusted(1, 1, -1, -1));
    painter.setBrush(colours.color(QPalette::Shadow));
    painter.drawEllipse(QRectF(part).adjusted(9, 9, -9, -9));
    if (control_ == PedalControl::Expression && look_.level) {
        // How far the expression pedal is down.
        const QRectF bar(part.right() + 6, part.top(), 6, part.height());
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(colours.color(QPalette::Mid), 1));
        painter.drawRect(bar);
        const double share = static_cast<double>(*look_.level) / MaxLevel;
        painter.fillRect(QRectF(bar.left(), bar.bottom() - bar.height() * share, bar.width(),
                                bar.height() * share),
                         colours.color(QPalette::Highlight));
    }
}

void PedalControlView::paintLed(QPainter& painter, const QRect& part) const {
    const QColor colour = ledColour(control_);
    const QRectF lens = QRectF(part).adjusted(2, 2, -2, -2);
    if (look_.lit) {
        QRadialGradient glow(lens.center(), part.width());
        glow.setColorAt(0, colour.lighter(140));
        glow.setColorAt(0.5, colour);
        glow.setColorAt(1, Qt::transparent);
        painter.setPen(Qt::NoPen);
        painter.setBrush(glow);
        painter.drawEllipse(QRectF(part).adjusted(-6, -6, 6, 6));
    }
    painter.setPen(QPen(palette().color(QPalette::Shadow), 1));
    painter.setBrush(look_.lit ? colour : colour.darker(260));
    painter.drawEllipse(lens);
}

void PedalControlView::contextMenuEvent(QContextMenuEvent* event) {
    emit menuRequested(control_, event->globalPos());
}

void PedalControlView::keyPressEvent(QKeyEvent* event) {
    const bool plain =
        event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier;
    switch (event->key()) {
    case Qt::Key_Menu:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        emit menuRequested(control_, mapToGlobal(partRect().center()));
        return;
    case Qt::Key_F10:
        if (event->modifiers() == Qt::ShiftModifier) {
            emit menuRequested(control_, mapToGlobal(partRect().center()));
            return;
        }
        break;
    default:
        break;
    }
    if (frontPanel_ && plain) {
        const bool turns = isKnob(control_) || control_ == PedalControl::Expression;
        switch (event->key()) {
        case Qt::Key_Space:
            act();
            return;
        case Qt::Key_Up:
        case Qt::Key_Right:
            if (turns)
                return turnBy(TurnStep);
            break;
        case Qt::Key_Down:
        case Qt::Key_Left:
            if (turns)
                return turnBy(-TurnStep);
            break;
        case Qt::Key_PageUp:
            if (turns)
                return turnBy(PageStep);
            break;
        case Qt::Key_PageDown:
            if (turns)
                return turnBy(-PageStep);
            break;
        case Qt::Key_Home:
            if (turns)
                return turnTo(0);
            break;
        case Qt::Key_End:
            if (turns)
                return turnTo(MaxLevel);
            break;
        default:
            break;
        }
    }
    QWidget::keyPressEvent(event);
}

// Space or a click: a switch flips, a footswitch is pressed.
void PedalControlView::act() {
    if (isToggle(control_))
        emit flipped(control_, !look_.on.value_or(false));
    else if (isFootswitch(control_) && control_ != PedalControl::Remote)
        emit pressed(control_);
}

void PedalControlView::turnBy(int steps) {
    turnTo(look_.level.value_or(0) + steps);
}

void PedalControlView::turnTo(int level) {
    const int clamped = std::clamp(level, 0, MaxLevel);
    if (look_.level == clamped)
        return;
    emit turned(control_, clamped);
}

void PedalControlView::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    if (!frontPanel_ || event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    dragStartY_ = qRound(event->position().y());
    dragStartLevel_ = look_.level.value_or(0);
    if (partRect().contains(event->position().toPoint()))
        act();
}

// Dragging up turns a knob up, four levels a pixel.
void PedalControlView::mouseMoveEvent(QMouseEvent* event) {
    if (!frontPanel_ || !(event->buttons() & Qt::LeftButton) ||
        !(isKnob(control_) || control_ == PedalControl::Expression))
        return QWidget::mouseMoveEvent(event);
    turnTo(dragStartLevel_ + (dragStartY_ - qRound(event->position().y())) * 4);
}

void PedalControlView::wheelEvent(QWheelEvent* event) {
    if (!frontPanel_ || !(isKnob(control_) || control_ == PedalControl::Expression))
        return QWidget::wheelEvent(event);
    const int notches = event->angleDelta().y() / 120;
    if (notches != 0)
        turnBy(notches * TurnStep);
    event->accept();
}

std::optional<RoutedItem> PedalControlView::dropped(const QMimeData* data) const {
    if (!data || !data->hasFormat(QString::fromLatin1(RoutedItemMimeType)))
        return std::nullopt;
    const auto item = RoutedItem::fromText(
        QString::fromUtf8(data->data(QString::fromLatin1(RoutedItemMimeType))));
    if (!item || !accepts_ || !accepts_(control_, *item))
        return std::nullopt;
    return item;
}

void PedalControlView::dragEnterEvent(QDragEnterEvent* event) {
    if (dropped(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void PedalControlView::dragMoveEvent(QDragMoveEvent* event) {
    if (dropped(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void PedalControlView::dropEvent(QDropEvent* event) {
    const auto item = dropped(event->mimeData());
    if (!item)
        return event->ignore();
    event->acceptProposedAction();
    emit itemDropped(control_, *item);
}

void PedalControlView::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    update();
}

void PedalControlView::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
}

void PedalControlView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::FontChange)
        update();
}

PedalView::PedalView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("pedalView"));
    for (PedalControl control : allPedalControls())
        controls_[static_cast<std::size_t>(control)] = new PedalControlView(control, this);
    // Tab goes row by row, as the eye reads the pedal.
    const PedalControl order[] = {
        PedalControl::Expression,   PedalControl::Remote,   PedalControl::KnobI,
        PedalControl::KnobII,       PedalControl::KnobIII,  PedalControl::KnobIV,
        PedalControl::KnobV,        PedalControl::LedSX,    PedalControl::SwitchB1,
        PedalControl::SwitchB2,     PedalControl::SwitchB3, PedalControl::LedDX,
        PedalControl::FootswitchFS, PedalControl::LedRed,   PedalControl::LedGreen,
        PedalControl::FootswitchFL};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(control(order[i - 1]), control(order[i]));
    setFixedSize(sizeHint());
}

QSize PedalView::sizeHint() const {
    return {TotalWidth, TotalHeight};
}

// The pedal's case; the controls paint themselves over it.
void PedalView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette& colours = palette();
    const QRectF body = QRectF(rect()).adjusted(4, JackRowY + JackRowHeight / 2, -4, -4);
    painter.setPen(QPen(colours.color(QPalette::Shadow), 1.5));
    painter.setBrush(colours.color(QPalette::Window).darker(112));
    painter.drawRoundedRect(body, 14, 14);
    // The footswitch deck is set apart from the controls.
    painter.setPen(QPen(colours.color(QPalette::Mid), 1, Qt::SolidLine));
    painter.drawLine(QPointF(body.left() + 12, FootRowY - 3),
                     QPointF(body.right() - 12, FootRowY - 3));
}

} // namespace kestra
