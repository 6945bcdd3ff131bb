#include "EditorFixture.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollBar>

namespace kestra::test {
namespace {

// Every control a player can operate carries a name for screen readers:
// its caption or the text of the label beside it.
TEST_F(EditorFixture, EveryInteractiveControlHasAnAccessibleName) {
    main->menuConnectClick();
    const auto categories = main->lstCategory->findItems("Modulation", Qt::MatchExactly);
    ASSERT_EQ(categories.size(), 1);
    emit main->lstCategory->itemClicked(categories[0]);
    const auto effects = main->lstEffects->findItems("Wobblecat Trem", Qt::MatchExactly);
    ASSERT_EQ(effects.size(), 1);
    emit main->lstEffects->itemClicked(effects[0]); // builds the parameter window

    QStringList unnamed;
    for (QWidget* w : QApplication::allWidgets()) {
        const bool interactive =
            (qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) ||
             qobject_cast<QAbstractSlider*>(w) || qobject_cast<QLineEdit*>(w) ||
             qobject_cast<QAbstractSpinBox*>(w) || qobject_cast<QListWidget*>(w)) &&
            !qobject_cast<QScrollBar*>(w);
        // Parts of composite widgets (a combo box's own line edit, Qt's own
        // "qt_" helpers such as the menu bar's overflow button) are named
        // through their owner.
        const bool part = (w->parentWidget() && qobject_cast<QComboBox*>(w->parentWidget())) ||
                          w->objectName().startsWith(QLatin1String("qt_"));
        if (interactive && !part && w->accessibleName().isEmpty())
            unnamed << QString::fromLatin1(w->metaObject()->className()) + " in " +
                           w->window()->windowTitle() + " '" + w->objectName() + "'";
    }
    EXPECT_TRUE(unnamed.isEmpty()) << unnamed.join('\n').toStdString();
}

} // namespace
} // namespace kestra::test
