// What a screen reader hears: every control a player can operate in every
// window of the editor has a name of its own (its caption or the text of
// the label beside it), and labels are read as the text they show.
#include "EditorFixture.h"
#include "ui/PedalWindow.h"
#include "ui/PresetLibraryWindow.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScrollBar>
#include <QTextEdit>

namespace kestra::test {
namespace {

bool interactive(const QWidget* w) {
    return (qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QComboBox*>(w) ||
            qobject_cast<const QAbstractSlider*>(w) || qobject_cast<const QLineEdit*>(w) ||
            qobject_cast<const QAbstractSpinBox*>(w) || qobject_cast<const QAbstractItemView*>(w) ||
            qobject_cast<const QTextEdit*>(w) || qobject_cast<const QPlainTextEdit*>(w) ||
            qobject_cast<const QProgressBar*>(w) || qobject_cast<const PedalControlView*>(w)) &&
           !qobject_cast<const QScrollBar*>(w);
}

// Parts of composite widgets (a combo box's line edit and list, Qt's own
// "qt_" helpers such as the menu bar's overflow button) are named through
// their owner.
bool part(const QWidget* w) {
    if (w->objectName().startsWith(QLatin1String("qt_")))
        return true;
    for (const QWidget* p = w->parentWidget(); p; p = p->parentWidget()) {
        if (qobject_cast<const QComboBox*>(p))
            return true;
    }
    return false;
}

QString describe(const QWidget* w) {
    const auto* button = qobject_cast<const QAbstractButton*>(w);
    return QString::fromLatin1(w->metaObject()->className()) + " '" +
           (w->accessibleName().isEmpty() && button ? button->text() : w->accessibleName()) +
           "' in " + w->window()->windowTitle();
}

class Accessibility : public EditorFixture {
protected:
    // Every window of the editor, built as a player would find them.
    QList<QWidget*> windows() {
        return {main,
                &editor->parameterWindow(),
                &editor->pedalWindow(),
                &editor->console(),
                &editor->firmwareWindow(),
                &editor->effectInfoWindow(),
                &editor->newVersionDialog(),
                static_cast<QWidget*>(main->presetLibrary())};
    }
    // Controls without a name, names two controls share in one window, and
    // labels read as something other than their text.
    QStringList problems() {
        QStringList found;
        for (QWidget* window : windows()) {
            QStringList names;
            for (QWidget* w : window->findChildren<QWidget*>()) {
                if (auto* label = qobject_cast<QLabel*>(w); label && !label->text().isEmpty()) {
                    QAccessibleInterface* read = QAccessible::queryAccessibleInterface(label);
                    if (!read || read->text(QAccessible::Name) != label->text())
                        found << "label '" + label->text() + "' in " + window->windowTitle() +
                                     " is read as '" +
                                     (read ? read->text(QAccessible::Name) : QString()) + "'";
                }
                if (!interactive(w) || part(w))
                    continue;
                if (w->accessibleName().isEmpty())
                    found << "no name: " + describe(w);
                else if (names.contains(w->accessibleName()))
                    found << "two controls named: " + describe(w);
                names << w->accessibleName();
            }
        }
        return found;
    }
};

TEST_F(Accessibility, EveryControlOfEveryWindowHasANameOfItsOwn) {
    link();
    // The parameter window of effects with every kind of row: knobs and a
    // switch, then a button, a selector and a readback LED.
    select("Gain", "Grizzle Drive");
    ASSERT_TRUE(editor->parameterWindow().isVisible());
    editor->effectInfoWindow().showEffect("Grizzle Drive");
    EXPECT_TRUE(problems().isEmpty()) << problems().join('\n').toStdString();

    select("Modulation", "Wobblecat Trem");
    EXPECT_TRUE(problems().isEmpty()) << problems().join('\n').toStdString();
}

// A pick box is read out by its entry ("KI"): what it routes, and what the
// entry means, is in the description a screen reader hears after it.
TEST_F(Accessibility, EveryPickBoxIsHeardWithWhatItRoutes) {
    link();
    select("Modulation", "Wobblecat Trem");
    // Each pick box and the parameter or footswitch function it routes.
    QList<std::pair<QComboBox*, QString>> boxes;
    for (QComboBox* box : editor->parameterWindow().findChildren<QComboBox*>()) {
        const QString name = box->accessibleName();
        if (name.endsWith(" source") || name.endsWith(" LED"))
            boxes.append({box, name.section(' ', 0, -2)});
        else if (name == "Bypass Toggle" || name == "Preset Change")
            boxes.append({box, name});
    }
    ASSERT_EQ(boxes.size(), 8) << "five parameters, bypass, preset change and the LFO's LED";
    for (const auto& [box, routed] : boxes) {
        QAccessibleInterface* read = QAccessible::queryAccessibleInterface(box);
        ASSERT_TRUE(read);
        EXPECT_TRUE(read->text(QAccessible::Description).contains(routed))
            << describe(box).toStdString() << " is heard as '"
            << read->text(QAccessible::Description).toStdString() << "'";
        EXPECT_FALSE(box->toolTip().isEmpty()) << describe(box).toStdString();
    }
}

// Tab goes through the main window as it reads, top to bottom and, within
// a row, left to right, starting at the search field.
TEST_F(Accessibility, TabFollowsTheMainWindowFromTopToBottom) {
    main->show();
    struct Stop {
        QString name;
        QRect place;
    };
    QList<Stop> stops;
    QWidget* first = control<QWidget>(main, "Search effects");
    for (QWidget* w = first; stops.isEmpty() || w != first; w = w->nextInFocusChain()) {
        if (w->window() == main && w->isVisible() && (w->focusPolicy() & Qt::TabFocus) && !part(w))
            stops.append({w->accessibleName(), QRect(w->mapTo(main, QPoint()), w->size())});
    }
    QStringList names;
    for (const Stop& stop : stops)
        names << stop.name;
    EXPECT_GE(stops.size(), 10) << names.join(", ").toStdString();
    for (int i = 1; i < stops.size(); ++i) {
        const QRect& before = stops[i - 1].place;
        const QRect& after = stops[i].place;
        const bool sameRow = after.top() < before.bottom() && before.top() < after.bottom();
        EXPECT_TRUE(sameRow ? after.left() > before.left() : after.top() >= before.bottom())
            << stops[i].name.toStdString() << " after " << stops[i - 1].name.toStdString() << " in "
            << names.join(", ").toStdString();
    }
}

// The switch is read as the label that says whether live mode is on.
TEST_F(Accessibility, TheLiveSwitchIsReadAsItsLabelSays) {
    link();
    auto* live = control<QAbstractButton>(main, "Live OFF");
    ASSERT_TRUE(live);
    live->parentWidget()->setEnabled(true);
    live->setEnabled(true);
    live->click();
    QAccessibleInterface* read = QAccessible::queryAccessibleInterface(live);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->text(QAccessible::Name), "Live ON");
    EXPECT_EQ(qobject_cast<QLabel*>(live->parentWidget())->text(), "Live ON");
}

// Each control of the pedal picture is reached by Tab and read as what it
// is and what is on it.
TEST_F(Accessibility, ThePedalPictureIsReadControlByControl) {
    link();
    select("Modulation", "Wobblecat Trem");
    PedalWindow& picture = editor->pedalWindow();
    QStringList read;
    for (PedalControlView* control : picture.view().controls()) {
        EXPECT_TRUE(control->focusPolicy() & Qt::TabFocus) << describe(control).toStdString();
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(control);
        ASSERT_TRUE(face);
        read << face->text(QAccessible::Name);
    }
    EXPECT_EQ(read.size(), 16);
    for (const char* name : {"Knob I: not routed", "Knob V: not routed", "Switch B2: not routed",
                             "Footswitch FL: not routed", "Remote footswitch RMT: not routed",
                             "Expression input EXP: not routed", "LED GREEN: not routed"})
        EXPECT_TRUE(read.contains(name)) << name;
}

} // namespace
} // namespace kestra::test
