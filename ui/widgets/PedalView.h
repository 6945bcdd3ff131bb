// A picture of the pedal's top: its knobs, switches, footswitches, jacks and
// LEDs, each a control of its own that a player can focus, name with a screen
// reader, open a menu on and drop a parameter onto. Each shows what it is
// given and repaints only itself when that changes; what it is given (the
// routing, the levels) comes from the window that owns the picture.
#pragma once

#include "editor/Routing.h"

#include <QWidget>
#include <array>
#include <functional>
#include <optional>

class QMimeData;
class QPainter;

namespace kestra {

// The drag that carries a routed item (a row of the parameter window).
inline constexpr char RoutedItemMimeType[] = "application/x-kestra-routed-item";

class PedalControlView : public QWidget {
    Q_OBJECT

public:
    // What the control shows.
    struct Look {
        QString routed;           // the names on it, one a line; empty for none
        std::optional<int> level; // a knob's or EXP's position, 0..1023
        std::optional<bool> on;   // a switch's or footswitch's state
        bool lit = false;         // an LED with a readback on it
        bool operator==(const Look&) const = default;
    };

    PedalControlView(PedalControl control, QWidget* parent = nullptr);

    PedalControl control() const { return control_; }
    const Look& look() const { return look_; }
    // Shows look: the name, the hint and the picture follow, and only this
    // control repaints, only when something changed.
    void showLook(const Look& look);
    // With the front panel on, turning, flipping and pressing the control
    // asks to do so on the pedal (turned, flipped, pressed).
    void setFrontPanel(bool on);
    bool frontPanel() const { return frontPanel_; }
    // Whether a drop of item may land here.
    void setAcceptor(std::function<bool(PedalControl, const RoutedItem&)> accepts) {
        accepts_ = std::move(accepts);
    }
    // The rectangle of the knob, lever, footswitch, jack or LED.
    QRect partRect() const;

signals:
    void menuRequested(PedalControl control, QPoint globalPosition);
    void itemDropped(PedalControl control, const RoutedItem& item);
    // Front panel: a knob or EXP moved to level; a switch flipped; a
    // footswitch pressed.
    void turned(PedalControl control, int level);
    void flipped(PedalControl control, bool on);
    void pressed(PedalControl control);

protected:
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void paintKnob(QPainter& painter, const QRect& part) const;
    void paintToggle(QPainter& painter, const QRect& part) const;
    void paintFootswitch(QPainter& painter, const QRect& part) const;
    void paintJack(QPainter& painter, const QRect& part) const;
    void paintLed(QPainter& painter, const QRect& part) const;
    std::optional<RoutedItem> dropped(const QMimeData* data) const;
    // A knob's turn by steps of the front panel (keys, wheel, drag).
    void turnBy(int steps);
    void turnTo(int level);
    void act();
    void nameAfterLook();

    PedalControl control_;
    Look look_;
    bool frontPanel_ = false;
    int dragStartY_ = 0;
    int dragStartLevel_ = 0;
    std::function<bool(PedalControl, const RoutedItem&)> accepts_;
};

class PedalView : public QWidget {
    Q_OBJECT

public:
    explicit PedalView(QWidget* parent = nullptr);

    PedalControlView* control(PedalControl control) const {
        return controls_[static_cast<std::size_t>(control)];
    }
    const std::array<PedalControlView*, PedalControlCount>& controls() const { return controls_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::array<PedalControlView*, PedalControlCount> controls_{};
};

} // namespace kestra
