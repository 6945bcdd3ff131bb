#include "ui/widgets/RoutingDrag.h"

#include "ui/widgets/PedalView.h"

#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QWidget>

namespace kestra {

namespace {

class DragStarter : public QObject {
public:
    DragStarter(QWidget* source, const RoutedItem& item) : QObject(source), item_(item) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* source = static_cast<QWidget*>(watched);
        if (event->type() == QEvent::MouseButtonPress) {
            auto* press = static_cast<QMouseEvent*>(event);
            if (press->button() == Qt::LeftButton)
                start_ = press->position().toPoint();
        } else if (event->type() == QEvent::MouseMove && start_) {
            auto* move = static_cast<QMouseEvent*>(event);
            if (!(move->buttons() & Qt::LeftButton)) {
                start_.reset();
            } else if ((move->position().toPoint() - *start_).manhattanLength() >=
                       QApplication::startDragDistance()) {
                start_.reset();
                if (source->isEnabled()) {
                    auto* drag = new QDrag(source);
                    auto* data = new QMimeData;
                    data->setData(QString::fromLatin1(RoutedItemMimeType), item_.toText().toUtf8());
                    drag->setMimeData(data);
                    drag->exec(Qt::LinkAction);
                }
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    RoutedItem item_;
    std::optional<QPoint> start_;
};

} // namespace

void carryOnDrag(QWidget* source, const RoutedItem& item) {
    source->installEventFilter(new DragStarter(source, item));
    source->setCursor(Qt::OpenHandCursor);
}

} // namespace kestra
