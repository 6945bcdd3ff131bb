// The editor linked to the virtual pedal, with the steps most scenarios
// start from: an effect uploaded, read back with Get FX Stored on Pedal and
// made live with Request, all through the windows. Effects are named as the
// compiled catalogue names them; the names used here are in the default and
// in the small test catalogue, and a test skips when another catalogue lacks
// one.
#pragma once

#include "EditorFixture.h"
#include "catalogue/Catalogue.h"
#include "catalogue/EffectImage.h"
#include "catalogue/ResourceNames.h"

#include <QComboBox>
#include <QRadioButton>
#include <QSlider>
#include <initializer_list>
#include <utility>

namespace kestra::test {

inline bool inCatalogue(const QString& effect) {
    return ResourceStore::compiled().contains(format_resource_name(effect));
}

// The effect number the pedal reports for effect: its row in the effect list.
inline int effectNumber(const QString& effect) {
    const QStringList rows = Catalogue().list(EffectListResource).value_or(QStringList());
    for (int row = 1; row < rows.size(); ++row)
        if (effectNameOfRow(rows, row) == effect)
            return row;
    return -1;
}

// The catalogue's image of effect as hex text.
inline QString imageOf(const QString& effect) {
    return Catalogue().image(effect).value_or(QString());
}

// The bytes the pedal sends as a status text, for its send command.
inline QString hexOf(const QByteArray& text) {
    return QString::fromLatin1(text.toHex().toUpper());
}

class PedalFixture : public EditorFixture {
protected:
    // The first of effects the compiled catalogue lacks; empty when it has all.
    static QString missing(std::initializer_list<QString> effects) {
        for (const QString& effect : effects)
            if (!inCatalogue(effect))
                return effect;
        return {};
    }

    ParameterWindow& parameterWindow() { return editor->parameterWindow(); }
    // A control of the parameter window by its accessible name.
    template <typename W = QWidget>
    W* parameter(const QString& name) {
        return control<W>(&parameterWindow(), name);
    }
    int slider(const QString& name) {
        auto* s = parameter<QSlider>(name);
        return s ? s->value() : -1;
    }
    void setSlider(const QString& name, int value) {
        if (auto* s = parameter<QSlider>(name))
            s->setValue(value);
    }
    // Picks an entry of a pick box of the parameter window as the player does.
    void pick(const QString& box, const QString& entry) {
        auto* b = parameter<QComboBox>(box);
        ASSERT_NE(b, nullptr);
        const int index = b->findText(entry);
        ASSERT_GE(index, 0) << entry.toStdString();
        b->setCurrentIndex(index);
    }
    QString picked(const QString& box) {
        auto* b = parameter<QComboBox>(box);
        return b ? b->currentText() : QString();
    }
    // Every control the parameter window shows, as "name=value" by name:
    // what the player sees of values and routing.
    QStringList shown() {
        QStringList all;
        for (QWidget* w : parameterWindow().findChildren<QWidget*>()) {
            if (w->accessibleName().isEmpty())
                continue;
            QString value;
            if (auto* s = qobject_cast<QSlider*>(w))
                value = QString::number(s->value());
            else if (auto* b = qobject_cast<QComboBox*>(w))
                value = b->currentText();
            else if (auto* a = qobject_cast<QAbstractButton*>(w))
                value = a->isChecked() ? QStringLiteral("on") : QStringLiteral("off");
            else
                continue;
            all << w->accessibleName() + '=' + value;
        }
        all.sort();
        return all;
    }

    // Which bank radio is checked; -1 for none.
    int checkedBank() {
        const QString banks[] = {"Bank I", "Bank II", "Bank III"};
        for (int i = 0; i < 3; ++i)
            if (auto* radio = control<QRadioButton>(main, banks[i]); radio && radio->isChecked())
                return i;
        return -1;
    }
    void checkBank(int index) {
        const QString banks[] = {"Bank I", "Bank II", "Bank III"};
        if (auto* radio = control<QRadioButton>(main, banks[index]))
            radio->click();
    }

    // An entry of Settings > MIDI > Channel ("OMNI", "1".."16").
    QList<QAction*> midiChannels() {
        for (QMenu* menu : main->menuBar()->findChildren<QMenu*>())
            if (menu->title() == "Channel")
                return menu->actions();
        ADD_FAILURE() << "no Channel menu";
        return {};
    }

    void upload(const QString& category, const QString& effect) {
        select(category, effect);
        click("Upload Selected Effect");
        settle();
    }
    void getStored() {
        click("Get FX Stored on Pedal");
        settle();
    }
    void request() {
        click("Request");
        settle();
    }
    // Uploads effect, reads it back and requests its state: the parameter
    // window is live on the effect the pedal holds.
    void putOnPedal(const QString& category, const QString& effect) {
        upload(category, effect);
        getStored();
        request();
        ASSERT_TRUE(button("Assign")->isEnabled())
            << (dialogs.errors + dialogs.messages).join('|').toStdString();
        dialogs.clear();
    }

    // A comma-separated list of the pedal's status.
    QStringList pedalList(const QString& key) { return pedalStatus(key).split(','); }
    // The level the pedal holds for parameter.
    int pedalValue(int parameter) { return pedalList("values").value(parameter).toInt(); }
    // The Set parameter frame for parameter of effect, its address read from
    // the catalogue's image.
    static QString setFrame(const QString& effect, int parameter, const QString& data) {
        return "01" + parameterAddress(imageOf(effect), parameter) + data;
    }
    int logCount(const QString& text) { return static_cast<int>(log().count(text)); }
};

} // namespace kestra::test
