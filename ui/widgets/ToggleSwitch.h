// An on/off switch drawn as a sliding thumb on a track, readable at a glance.
// Styles colour it through the three colour properties.
#pragma once

#include <QAbstractButton>
#include <QColor>

namespace kestra {

class ToggleSwitch : public QAbstractButton {
    Q_OBJECT
    Q_PROPERTY(QColor trackOnColor READ trackOnColor WRITE setTrackOnColor)
    Q_PROPERTY(QColor trackOffColor READ trackOffColor WRITE setTrackOffColor)
    Q_PROPERTY(QColor thumbColor READ thumbColor WRITE setThumbColor)

public:
    explicit ToggleSwitch(QWidget* parent = nullptr);

    QSize sizeHint() const override;

    QColor trackOnColor() const { return trackOn_; }
    void setTrackOnColor(const QColor& c);
    QColor trackOffColor() const { return trackOff_; }
    void setTrackOffColor(const QColor& c);
    QColor thumbColor() const { return thumb_; }
    void setThumbColor(const QColor& c);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor trackOn_{0xE0, 0x9B, 0x2D};
    QColor trackOff_{0x5A, 0x5F, 0x66};
    QColor thumb_{0xF4, 0xF4, 0xF4};
};

} // namespace kestra
