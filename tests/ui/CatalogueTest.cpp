#include "EditorFixture.h"
#include "catalogue/CatalogueLists.h"
#include "catalogue/ResourceNames.h"

#include <QFile>
#include <QGroupBox>
#include <QListWidget>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

namespace kestra::test {
namespace {

class Catalogue : public EditorFixture {
protected:
    void SetUp() override {
        EditorFixture::SetUp();
        main->menuConnectClick();
        prompts.clear();
    }

    void clickCategory(const QString& name) {
        const auto items = main->lstCategory->findItems(name, Qt::MatchExactly);
        ASSERT_EQ(items.size(), 1) << name.toStdString();
        emit main->lstCategory->itemClicked(items[0]);
    }
    QListWidgetItem* effectItem(const QString& name) {
        const auto items = main->lstEffects->findItems(name, Qt::MatchExactly);
        return items.size() == 1 ? items[0] : nullptr;
    }
    void clickEffect(const QString& name) {
        QListWidgetItem* item = effectItem(name);
        ASSERT_NE(item, nullptr) << name.toStdString();
        emit main->lstEffects->itemClicked(item);
    }
    QString imageOf(const QString& name) {
        CatalogueLists lists;
        lists.read_file_from_stream(format_resource_name(name));
        return lists.categoryList.value(0);
    }
    // The effect number of name: its row in the effect list.
    int rowOf(const QString& name) {
        CatalogueLists lists;
        lists.read_file_from_stream(EffectListResource);
        for (int row = 0; row < lists.categoryList.size(); ++row)
            if (effectNameOfRow(lists.categoryList, row) == name)
                return row;
        return -1;
    }
    QString statusValue(const QString& key) {
        for (const QString& line : pedal.command("status").split('\n'))
            if (line.startsWith(key + '='))
                return line.mid(key.size() + 1);
        return {};
    }
};

TEST_F(Catalogue, CategoriesAreListedInOrderAndFillTheEffectList) {
    QStringList names;
    for (int i = 0; i < main->lstCategory->count(); ++i)
        names << main->lstCategory->item(i)->text();
    EXPECT_EQ(names, QStringList({"Gain", "Modulation", "Synthesis", "Filter", "Dynamic",
                                  "Impulse Response", "Other"}));
    clickCategory("Gain");
    EXPECT_EQ(main->state().selectedCategory, "Gain");
    CatalogueLists lists;
    lists.read_file_from_stream("gain");
    EXPECT_EQ(main->lstEffects->count(), lists.categoryList.size());
    EXPECT_TRUE(main->btnOpenEffect->isEnabled());
}

TEST_F(Catalogue, ImpulseResponseCategoryExplainsTheWorkflow) {
    main->btnOpenEffect->setEnabled(false);
    clickCategory("Impulse Response");
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_TRUE(prompts.messages[0].startsWith("How to load an impulse response:\r\n1) Select"));
    EXPECT_FALSE(main->btnOpenEffect->isEnabled());
    clickEffect("Cabprint 4x12");
    EXPECT_TRUE(main->menuLoadIR->isEnabled());
    clickCategory("Gain");
    clickEffect("Grizzle Drive");
    EXPECT_FALSE(main->menuLoadIR->isEnabled());
}

TEST_F(Catalogue, UploadToThePresetSlotSendsBypassThenTheImageWhole) {
    clickCategory("Gain");
    clickEffect("Fuzzmoth"); // its length field says 2176 while it holds 2048 bytes
    ASSERT_TRUE(main->btnUpload->isEnabled());
    pedal.clearWrites();
    main->btnUpload->click();
    EXPECT_EQ(prompts.questions, QStringList({"Upload the selected effect?"}));
    const QString image = imageOf("Fuzzmoth");
    ASSERT_EQ(image.size(), 2 * 2048);
    EXPECT_EQ(pedal.writes(), QStringList({"0D01", image}));
    EXPECT_EQ(main->lblStatus->text(), "Uploading...");
    poll(3);
    EXPECT_EQ(main->lblStatus->text(), "Upload complete");
    EXPECT_EQ(statusValue("effect.slot"), "preset");
    EXPECT_EQ(statusValue("effect.number").toInt(), rowOf("Fuzzmoth"));
}

TEST_F(Catalogue, UploadInBankModeTargetsTheCheckedBank) {
    main->menuModeBank->trigger();
    EXPECT_TRUE(main->state().bankMode);
    EXPECT_TRUE(main->rdbtnBank1->isChecked());
    main->rdbtnBank2->setChecked(true);
    clickCategory("Gain");
    clickEffect("Grizzle Drive");
    pedal.clearWrites();
    main->btnUpload->click();
    const QString image = imageOf("Grizzle Drive");
    ASSERT_EQ(pedal.writes().size(), 2);
    EXPECT_EQ(pedal.writes()[1], "0F" + image.mid(2));
    poll(3);
    EXPECT_EQ(main->lblStatus->text(), "Upload complete");
    EXPECT_EQ(statusValue("effect.slot"), "bank1");
}

TEST_F(Catalogue, AnsweringNoSendsNothingAndKeepsPolling) {
    clickCategory("Gain");
    clickEffect("Grizzle Drive");
    pedal.clearWrites();
    prompts.answers = {false};
    main->btnUpload->click();
    EXPECT_TRUE(pedal.writes().isEmpty());
    EXPECT_TRUE(main->Timer_USB_read.isActive());
}

TEST_F(Catalogue, ImpulseResponseUploadWithoutALoadedResponseIsRefused) {
    clickCategory("Impulse Response");
    clickEffect("Cabprint 4x12");
    pedal.clearWrites();
    main->btnUpload->click();
    ASSERT_EQ(prompts.errors.size(), 1);
    EXPECT_TRUE(prompts.errors[0].startsWith("No impulse response has been loaded yet"));
    EXPECT_TRUE(pedal.writes().isEmpty());
    EXPECT_TRUE(main->Timer_USB_read.isActive());
}

TEST_F(Catalogue, BankModeListsLargeEffectsButTheyCannotBeSelected) {
    main->menuModeBank->trigger();
    clickCategory("Modulation");
    QListWidgetItem* atLimit = effectItem("Corkspin Rotary"); // 5440 bytes
    ASSERT_NE(atLimit, nullptr);
    EXPECT_TRUE(atLimit->flags() & Qt::ItemIsEnabled);
    clickCategory("Synthesis");
    QListWidgetItem* over = effectItem("Glasswave Pad"); // 5441 bytes
    ASSERT_NE(over, nullptr);
    EXPECT_FALSE(over->flags() & Qt::ItemIsEnabled);
    EXPECT_TRUE(log().contains("size of Glasswave Pad exceed 5440 bytes"));
    emit main->lstEffects->itemClicked(over);
    EXPECT_NE(main->state().selectedEffectName, "Glasswave Pad");
    EXPECT_FALSE(main->btnUpload->isEnabled());

    main->menuModePreset->trigger();
    clickCategory("Synthesis");
    EXPECT_TRUE(effectItem("Glasswave Pad")->flags() & Qt::ItemIsEnabled);
}

TEST_F(Catalogue, EnteringBankModeEmptiesTheLists) {
    clickCategory("Gain");
    clickEffect("Grizzle Drive");
    main->menuModeBank->trigger();
    EXPECT_EQ(main->lstEffects->count(), 0);
    EXPECT_EQ(main->state().selectedEffectName, "");
    main->menuModePreset->trigger();
    EXPECT_FALSE(main->lblBankNum->isEnabled());
}

TEST_F(Catalogue, ArrowKeysMoveTheHighlightWithinTheList) {
    clickCategory("Dynamic");
    ASSERT_EQ(main->lstEffects->count(), 2);
    main->lstEffects->setCurrentRow(0);
    QTest::keyClick(main->lstEffects, Qt::Key_Up);
    EXPECT_EQ(main->lstEffects->currentRow(), 0);
    QTest::keyClick(main->lstEffects, Qt::Key_Down);
    EXPECT_EQ(main->lstEffects->currentRow(), 1);
    QTest::keyClick(main->lstEffects, Qt::Key_Down);
    EXPECT_EQ(main->lstEffects->currentRow(), 1);
    EXPECT_TRUE(log().contains("arrow down pressed"));
    EXPECT_EQ(main->state().selectedEffectName, "") << "moving does not open the effect";
}

TEST_F(Catalogue, UploadFileSendsAHexFileAsItIs) {
    QTemporaryDir dir;
    const QString path = dir.filePath("frame.hex");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("0A0100");
    file.close();
    prompts.files = {path};
    pedal.clearWrites();
    main->btnUploadFile->click();
    EXPECT_EQ(pedal.writes(), QStringList({"0A0100"}));
    EXPECT_TRUE(log().contains("num of bytes: 3"));

    prompts.files = {}; // cancelled: nothing is sent and nothing waits
    main->btnUploadFile->click();
    EXPECT_EQ(pedal.writes().size(), 1);
}

TEST_F(Catalogue, UploadBeforeLinkingIsRefusedWithAMessage) {
    main->menuDisconnectClick();
    clickCategory("Gain");
    clickEffect("Grizzle Drive");
    pedal.clearWrites();
    main->btnUpload->click();
    ASSERT_EQ(prompts.errors.size(), 1);
    EXPECT_TRUE(prompts.errors[0].contains("not linked"));
    EXPECT_TRUE(pedal.writes().isEmpty());
}

} // namespace
} // namespace kestra::test
