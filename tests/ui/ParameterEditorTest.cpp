#include "EditorFixture.h"
#include "editor/TformFXParameters.h"
#include "ui/widgets/ToggleSwitch.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>
#include <QMenu>
#include <QRadioButton>
#include <QSlider>

namespace kestra::test {
namespace {

// A player's day with the pedal: link, upload, read the stored effect back,
// Request, then edit live in both directions.
class ParameterEditor : public EditorFixture {
protected:
    void SetUp() override {
        EditorFixture::SetUp();
        params = editor->formFXParameters.get();
        main->menuConnectClick(); // empty store: "No effect found on pedal"
        select("Modulation", "Wobblecat Trem");
        main->btnUpload->click();
        poll(3);
        ASSERT_EQ(main->lblStatus->text(), "Upload complete");
        prompts.clear();
    }

    void select(const QString& category, const QString& effect) {
        emit main->lstCategory->itemClicked(
            main->lstCategory->findItems(category, Qt::MatchExactly).value(0));
        const auto items = main->lstEffects->findItems(effect, Qt::MatchExactly);
        ASSERT_EQ(items.size(), 1);
        emit main->lstEffects->itemClicked(items[0]);
    }
    QString status(const QString& key) {
        for (const QString& line : pedal.command("status").split('\n'))
            if (line.startsWith(key + '='))
                return line.mid(key.size() + 1);
        return {};
    }
    int pedalValue(int parameter) { return status("values").split(',').value(parameter).toInt(); }

    TformFXParameters* params = nullptr;
};

TEST_F(ParameterEditor, StoredEffectOpensDisabledAndRequestMakesItLive) {
    main->btnOpenEffect->click();
    ASSERT_TRUE(params->isVisible());
    EXPECT_TRUE(params->windowTitle().startsWith("Wobblecat Trem v"))
        << (prompts.errors + prompts.messages).join("|").toStdString()
        << log().right(1500).toStdString() << main->btnOpenEffect->isEnabled();
    EXPECT_EQ(main->state().storedEffectName, "Wobblecat Trem");
    EXPECT_TRUE(main->state().selectedIsStored);
    EXPECT_EQ(main->lstCategory->currentItem()->text(), "Modulation");
    EXPECT_EQ(main->lstEffects->currentItem()->text(), "Wobblecat Trem");
    EXPECT_FALSE(params->potParameter[0]->isEnabled());
    EXPECT_TRUE(main->btnRequest->isEnabled());
    EXPECT_FALSE(main->btnAssign->isEnabled());
    EXPECT_TRUE(main->Timer_USB_read.isActive());

    main->btnRequest->click();
    EXPECT_TRUE(prompts.errors.isEmpty()) << prompts.errors.join('\n').toStdString();
    EXPECT_TRUE(params->potParameter[0]->isEnabled());
    EXPECT_TRUE(main->btnAssign->isEnabled());
    EXPECT_TRUE(main->btnStoreSettingsOnPedal->isEnabled());
    EXPECT_TRUE(main->lblLive->isEnabled());
    EXPECT_TRUE(main->menuSaveConfiguration->isEnabled());
    EXPECT_TRUE(main->Timer_USB_read.isActive());
    EXPECT_FALSE(main->state().requestInProgress);
}

TEST_F(ParameterEditor, ValuesTravelBothWays) {
    main->btnOpenEffect->click();
    main->btnRequest->click();

    // Editor to pedal: the track bar's value lands at that parameter.
    params->potParameter[1]->setValue(512);
    EXPECT_EQ(pedalValue(1), 512);

    // Route Rate to the first knob and send the routing.
    params->boxAssign[0]->setCurrentIndex(0);
    main->btnAssign->click();
    EXPECT_EQ(prompts.questions.last(), "Assign parameters?");
    EXPECT_EQ(status("sources").split(',').value(0), "0");

    // Pedal to editor: turning the knob moves the track bar, sending nothing back.
    pedal.clearWrites();
    pedal.command("knob 1 700");
    poll(3);
    EXPECT_EQ(params->potParameter[0]->value(), 700);
    EXPECT_TRUE(pedal.writes().isEmpty());

    // A fresh window starts neutral; Request reads the pedal's values.
    main->btnOpenEffect->click();
    EXPECT_EQ(params->potParameter[0]->value(), 0);
    main->btnRequest->click();
    EXPECT_EQ(params->potParameter[0]->value(), 700);
    EXPECT_EQ(params->potParameter[1]->value(), 512);
    EXPECT_EQ(params->boxAssign[0]->currentText(), "KI");
}

TEST_F(ParameterEditor, SelectorMovedByThePedalSendsItsValueBack) {
    main->btnOpenEffect->click();
    main->btnRequest->click();
    params->boxAssign[4]->setCurrentIndex(1); // Shape on KII
    main->btnAssign->click();
    pedal.clearWrites();
    pedal.command("knob 2 1023");
    poll(3);
    EXPECT_EQ(params->multiSwitch[4]->currentIndex(), 3);
    EXPECT_EQ(pedal.writes(), QStringList({"01" + params->parameterAddresses[4] + "00600000"}));
}

TEST_F(ParameterEditor, StoreSettingsSendsTheParameterCount) {
    main->btnOpenEffect->click();
    main->btnRequest->click();
    pedal.clearWrites();
    main->btnStoreSettingsOnPedal->click();
    EXPECT_EQ(pedal.writes(), QStringList({"0305"}));
    EXPECT_TRUE(log().contains("Store settings message (HEX): 0305"));
    EXPECT_EQ(status("stored-settings"), "same");
}

TEST_F(ParameterEditor, ReverseFlagsReachThePedal) {
    main->btnOpenEffect->click();
    main->btnRequest->click();
    params->boxAssign[2]->setCurrentIndex(11); // Level on EXP
    ASSERT_TRUE(params->reverseCheckBox[2]->isEnabled());
    pedal.clearWrites();
    params->reverseCheckBox[2]->click();
    EXPECT_EQ(pedal.writes(), QStringList({"080102"}));
    EXPECT_EQ(status("reverse").split(',').value(2), "1");
}

TEST_F(ParameterEditor, AnotherEffectDisablesTheStoredEffectsButtons) {
    main->btnOpenEffect->click();
    main->btnRequest->click();
    select("Gain", "Grizzle Drive");
    EXPECT_FALSE(main->state().selectedIsStored);
    EXPECT_FALSE(main->btnRequest->isEnabled());
    EXPECT_FALSE(main->btnAssign->isEnabled());
    EXPECT_FALSE(main->btnStoreSettingsOnPedal->isEnabled());
    EXPECT_EQ(params->windowTitle(), "Grizzle Drive");
    EXPECT_FALSE(params->potParameter[0]->isEnabled());
    select("Modulation", "Wobblecat Trem");
    EXPECT_TRUE(main->btnRequest->isEnabled());
}

TEST_F(ParameterEditor, SilentPedalDuringRequestLeavesTheEditorUsable) {
    main->btnOpenEffect->click();
    pedal.command("fault silent on");
    main->btnRequest->click();
    ASSERT_EQ(prompts.errors.size(), 1);
    EXPECT_FALSE(main->state().requestInProgress);
    EXPECT_TRUE(main->Timer_USB_read.isActive());
    EXPECT_TRUE(main->btnRequest->isEnabled());
    EXPECT_FALSE(main->btnAssign->isEnabled());
}

TEST_F(ParameterEditor, EffectReportedByThePedalOpensItsWindow) {
    pedal.command("send 313133"); // "113": effect 0x13
    poll(2);
    EXPECT_EQ(main->state().storedEffectNumber, 0x13);
    EXPECT_TRUE(params->isVisible());
    EXPECT_TRUE(params->windowTitle().startsWith(main->state().storedEffectName + " v"));
    EXPECT_EQ(main->state().selectedEffectName, main->state().storedEffectName);
}

TEST_F(ParameterEditor, UnknownEffectNumberOpensNothing) {
    pedal.command("send 313939"); // "199": effect 0x99 has no catalogue row
    poll(2);
    ASSERT_EQ(prompts.errors.size(), 1);
    EXPECT_TRUE(prompts.errors[0].contains("effect number 153"));
    EXPECT_TRUE(main->Timer_USB_read.isActive());
}

TEST_F(ParameterEditor, UnlinkDisablesTheWindowButKeepsIt) {
    main->btnOpenEffect->click();
    main->btnRequest->click();
    main->menuDisconnectClick();
    EXPECT_TRUE(params->isVisible());
    EXPECT_FALSE(params->potParameter[0]->isEnabled());
    EXPECT_EQ(main->lstEffects->currentItem()->text(), "Wobblecat Trem");
}

TEST_F(ParameterEditor, RequestBringsThePedalsModeBankAndMidiChannel) {
    main->menuModeBank->trigger();
    main->rdbtnBank3->setChecked(true);
    select("Modulation", "Wobblecat Trem");
    main->btnUpload->click(); // the pedal now plays bank III
    poll(3);
    main->menuMIDIchannel->actions()[5]->trigger();
    EXPECT_EQ(pedal.writes().last(), "0705");
    main->menuModePreset->trigger();
    main->rdbtnBank1->setChecked(true);

    main->btnOpenEffect->click();
    main->btnRequest->click();
    EXPECT_TRUE(main->state().bankMode);
    EXPECT_TRUE(main->rdbtnBank3->isChecked());
    EXPECT_TRUE(params->isVisible()) << "a Request keeps the window open";
    EXPECT_EQ(params->boxAssignBypass->currentText(), "FS");
    EXPECT_EQ(params->boxAssignPreset->currentText(), "FL");
    EXPECT_FALSE(params->boxAssignBypass->isEnabled());
    const QList<QAction*> channels = main->menuMIDIchannel->actions();
    ASSERT_EQ(channels.size(), 17);
    for (int i = 0; i < channels.size(); ++i)
        EXPECT_EQ(channels[i]->isChecked(), i == 5) << i;
}

TEST_F(ParameterEditor, InfoWindowFollowsTheSelection) {
    select("Gain", "Grizzle Drive");
    ASSERT_TRUE(main->btnGetFXInfo->isEnabled());
    main->btnGetFXInfo->click();
    EXPECT_TRUE(editor->formFXInfo->isVisible());
    EXPECT_EQ(editor->formFXInfo->windowTitle(), "Grizzle Drive");
    select("Gain", "Scorchwire");
    EXPECT_EQ(editor->formFXInfo->windowTitle(), "Scorchwire");
}

} // namespace
} // namespace kestra::test
