// The catalogue in the main window: categories, effects, the bank limit, the
// arrow keys, and Upload to the preset slot or a bank.
#include "PedalFixture.h"
#include "core/Settings.h"

#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QScreen>
#include <QTest>

namespace kestra::test {
namespace {

class CatalogueTest : public PedalFixture {
protected:
    void SetUp() override {
        PedalFixture::SetUp();
        link();
        dialogs.clear();
    }
    QListWidgetItem* effectItem(const QString& name) {
        const auto items = list("Effects")->findItems(name, Qt::MatchExactly);
        return items.size() == 1 ? items[0] : nullptr;
    }
};

TEST_F(CatalogueTest, CategoriesAreListedInOrderAndFillTheEffectList) {
    QStringList names;
    for (int i = 0; i < list("Categories")->count(); ++i)
        names << list("Categories")->item(i)->text();
    EXPECT_EQ(names, QStringList({"Gain", "Modulation", "Synthesis", "Filter", "Dynamic",
                                  "Impulse Response", "Other"}));
    chooseCategory("Gain");
    EXPECT_EQ(list("Effects")->count(),
              Catalogue().categoryEffects(0).value_or(QStringList()).size());
    EXPECT_GT(list("Effects")->count(), 0);
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(CatalogueTest, ImpulseResponseCategoryExplainsTheWorkflowAndOnlyItsEffectsTakeAnIr) {
    if (const QString m = missing({"Cabprint 4x12", "Grizzle Drive"}); !m.isEmpty())
        GTEST_SKIP() << m.toStdString() << " is not in the compiled catalogue";
    chooseCategory("Impulse Response");
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_TRUE(dialogs.messages[0].startsWith("How to load an impulse response:\r\n1) Select"));
    EXPECT_FALSE(action("Load IR")->isEnabled()) << "nothing is selected yet";
    chooseEffect("Cabprint 4x12");
    EXPECT_TRUE(action("Load IR")->isEnabled());
    select("Gain", "Grizzle Drive");
    EXPECT_FALSE(action("Load IR")->isEnabled());
}

// The instructions come each time until the player ticks "Don't show this
// again", in this run and the next.
TEST_F(CatalogueTest, ImpulseResponseInstructionsStopOnceThePlayerSaysSo) {
    chooseCategory("Impulse Response");
    chooseCategory("Gain");
    dialogs.tickTips = true;
    chooseCategory("Impulse Response");
    EXPECT_EQ(dialogs.messages.size(), 2);
    chooseCategory("Gain");
    chooseCategory("Impulse Response");
    EXPECT_EQ(dialogs.messages.size(), 2);
    EXPECT_EQ(settings::readText(settings::impulseResponseTipFile()), "NO");
    editor = std::make_unique<EditorApplication>(false);
    main = &editor->mainWindow();
    chooseCategory("Impulse Response");
    EXPECT_EQ(dialogs.messages.size(), 2) << "not shown in the next run either";
}

TEST_F(CatalogueTest, ImpulseResponseUploadWithoutALoadedResponseIsRefused) {
    if (const QString m = missing({"Cabprint 4x12"}); !m.isEmpty())
        GTEST_SKIP() << m.toStdString() << " is not in the compiled catalogue";
    select("Impulse Response", "Cabprint 4x12");
    pedal.clearWrites();
    dialogs.clear();
    click("Upload Selected Effect");
    settle();
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].startsWith("No impulse response has been loaded yet"));
    EXPECT_TRUE(pedal.writes().isEmpty());
    EXPECT_EQ(connection().state(), Connection::State::Linked);
}

TEST_F(CatalogueTest, BankModeListsLargeEffectsButTheyCannotBeSelected) {
    if (const QString m = missing({"Corkspin Rotary", "Glasswave Pad"}); !m.isEmpty())
        GTEST_SKIP() << m.toStdString() << " is not in the compiled catalogue";
    ASSERT_EQ(Catalogue().imageSize("Corkspin Rotary"), BankImageLimit);
    ASSERT_EQ(Catalogue().imageSize("Glasswave Pad"), BankImageLimit + 1);
    trigger("FX Bank Mode");
    chooseCategory("Modulation");
    QListWidgetItem* atLimit = effectItem("Corkspin Rotary");
    ASSERT_NE(atLimit, nullptr);
    EXPECT_TRUE(atLimit->flags() & Qt::ItemIsEnabled);
    chooseCategory("Synthesis");
    QListWidgetItem* over = effectItem("Glasswave Pad");
    ASSERT_NE(over, nullptr);
    EXPECT_FALSE(over->flags() & Qt::ItemIsEnabled);
    EXPECT_TRUE(log().contains("size of Glasswave Pad exceed 5440 bytes"));
    emit list("Effects")->itemClicked(over);
    EXPECT_NE(main->selectedEffect(), "Glasswave Pad");
    EXPECT_FALSE(parameterWindow().isVisible());
    EXPECT_FALSE(button("Upload Selected Effect")->isEnabled());

    trigger("Preset Mode");
    chooseCategory("Synthesis");
    EXPECT_TRUE(effectItem("Glasswave Pad")->flags() & Qt::ItemIsEnabled);
}

TEST_F(CatalogueTest, EnteringBankModeEmptiesTheListsAndTheSelection) {
    if (const QString m = missing({"Grizzle Drive"}); !m.isEmpty())
        GTEST_SKIP() << m.toStdString() << " is not in the compiled catalogue";
    auto* banks = control<QGroupBox>(main, "FX Bank");
    EXPECT_FALSE(banks->isEnabled());
    select("Gain", "Grizzle Drive");
    trigger("FX Bank Mode");
    EXPECT_EQ(list("Effects")->count(), 0);
    EXPECT_EQ(main->selectedEffect(), "");
    EXPECT_FALSE(parameterWindow().isVisible());
    EXPECT_TRUE(banks->isEnabled());
    EXPECT_EQ(checkedBank(), 0);
    trigger("Preset Mode");
    EXPECT_FALSE(banks->isEnabled());
}

TEST_F(CatalogueTest, ArrowKeysMoveTheHighlightWithinTheListWithoutOpening) {
    chooseCategory("Dynamic");
    QListWidget* effects = list("Effects");
    ASSERT_EQ(effects->count(), 2);
    effects->setCurrentRow(0);
    QTest::keyClick(effects, Qt::Key_Up);
    EXPECT_EQ(effects->currentRow(), 0);
    QTest::keyClick(effects, Qt::Key_Down);
    EXPECT_EQ(effects->currentRow(), 1);
    QTest::keyClick(effects, Qt::Key_Down);
    EXPECT_EQ(effects->currentRow(), 1);
    EXPECT_TRUE(log().contains("arrow down pressed"));
    EXPECT_EQ(main->selectedEffect(), "") << "moving does not open the effect";
    EXPECT_FALSE(parameterWindow().isVisible());
}

TEST_F(CatalogueTest, UploadFileSendsAHexFileAsItIs) {
    const QString path = documents.filePath("frame.hex");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("0A0100");
    file.close();
    dialogs.files = {path};
    pedal.clearWrites();
    click("Upload File");
    settle();
    EXPECT_EQ(pedal.writes(), QStringList({"0A0100"}));
    EXPECT_TRUE(log().contains("num of bytes: 3"));

    dialogs.files = {}; // cancelled: nothing is sent and nothing waits
    click("Upload File");
    settle();
    EXPECT_EQ(pedal.writes().size(), 1);
    EXPECT_TRUE(connection().operation().isEmpty());
}

// Upload, to the preset slot or to a bank.

struct UploadCase {
    const char* name;
    int bank;            // -1: preset mode
    const char* command; // the first byte the pedal receives
    const char* slot;    // where the pedal keeps it
    const char* target;  // where the question says it goes
};

void PrintTo(const UploadCase& c, std::ostream* os) {
    *os << c.name;
}

class Upload : public CatalogueTest, public ::testing::WithParamInterface<UploadCase> {};

TEST_P(Upload, SendsBypassThenTheImageWholeAndShowsUploadComplete) {
    // Its length field says 2176 while it holds 2048 bytes: all of them go.
    const QString effect = "Fuzzmoth";
    if (const QString m = missing({effect}); !m.isEmpty())
        GTEST_SKIP() << m.toStdString() << " is not in the compiled catalogue";
    const UploadCase& c = GetParam();
    trigger("Edit After Upload"); // off: the upload's frames alone
    if (c.bank >= 0) {
        trigger("FX Bank Mode");
        checkBank(c.bank);
    }
    select("Gain", effect);
    ASSERT_TRUE(button("Upload Selected Effect")->isEnabled());
    pedal.clearWrites();
    dialogs.clear();
    const QString before = statusLabel();
    click("Upload Selected Effect");
    EXPECT_EQ(dialogs.questions,
              QStringList({"Upload the selected effect?\nFuzzmoth to " + QString(c.target)}));
    ASSERT_TRUE(clock.runUntil([&] { return statusLabel() != before; }));
    EXPECT_EQ(statusLabel(), "Uploading...");
    settle();
    EXPECT_EQ(statusLabel(), "Upload complete");
    const QString image = imageOf(effect);
    ASSERT_EQ(image.size(), 2 * 2048);
    EXPECT_EQ(pedal.writes(), QStringList({"0D01", c.command + image.mid(2)}));
    EXPECT_EQ(pedalStatus("effect.slot"), c.slot);
    EXPECT_EQ(pedalStatus("effect.number").toInt(), effectNumber(effect));
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join('|').toStdString();
}

INSTANTIATE_TEST_SUITE_P(Targets, Upload,
                         ::testing::Values(UploadCase{"PresetSlot", -1, "00", "preset",
                                                      "the preset slot"},
                                           UploadCase{"BankI", 0, "0E", "bank0", "Bank I"},
                                           UploadCase{"BankII", 1, "0F", "bank1", "Bank II"},
                                           UploadCase{"BankIII", 2, "10", "bank2", "Bank III"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CatalogueTest, AnsweringNoSendsNothingAndTheLinkListensOn) {
    if (const QString m = missing({"Grizzle Drive"}); !m.isEmpty())
        GTEST_SKIP() << m.toStdString() << " is not in the compiled catalogue";
    select("Gain", "Grizzle Drive");
    pedal.clearWrites();
    const QString before = statusLabel();
    dialogs.answers = {false};
    click("Upload Selected Effect");
    settle();
    EXPECT_EQ(dialogs.questions,
              QStringList({"Upload the selected effect?\nGrizzle Drive to the preset slot"}));
    EXPECT_TRUE(pedal.writes().isEmpty());
    EXPECT_EQ(statusLabel(), before);
    EXPECT_EQ(connection().state(), Connection::State::Linked);
    pedal.command("send " + hexOf("02"));
    clock.advance(100);
    EXPECT_EQ(checkedBank(), 2) << "what the pedal sends still arrives";
}

TEST_F(CatalogueTest, UploadIsDisabledWithNothingSelectedInEitherMode) {
    if (const QString m = missing({"Grizzle Drive"}); !m.isEmpty())
        GTEST_SKIP() << m.toStdString() << " is not in the compiled catalogue";
    EXPECT_FALSE(button("Upload Selected Effect")->isEnabled());
    chooseCategory("Gain");
    EXPECT_FALSE(button("Upload Selected Effect")->isEnabled()) << "a category is no effect";
    chooseEffect("Grizzle Drive");
    EXPECT_TRUE(button("Upload Selected Effect")->isEnabled());
    // Bank mode starts a new selection.
    trigger("FX Bank Mode");
    EXPECT_FALSE(button("Upload Selected Effect")->isEnabled());
    chooseCategory("Gain");
    EXPECT_FALSE(button("Upload Selected Effect")->isEnabled());
    pedal.clearWrites();
    dialogs.clear();
    click("Upload Selected Effect");
    settle();
    EXPECT_TRUE(dialogs.questions.isEmpty());
    EXPECT_TRUE(pedal.writes().isEmpty());
    chooseEffect("Grizzle Drive");
    EXPECT_TRUE(button("Upload Selected Effect")->isEnabled());
}

TEST_F(CatalogueTest, UploadIsDisabledBeforeLinkAndAfterUnlink) {
    if (const QString m = missing({"Grizzle Drive"}); !m.isEmpty())
        GTEST_SKIP() << m.toStdString() << " is not in the compiled catalogue";
    unlink();
    select("Gain", "Grizzle Drive");
    EXPECT_FALSE(button("Upload Selected Effect")->isEnabled());
    pedal.clearWrites();
    click("Upload Selected Effect");
    EXPECT_TRUE(dialogs.questions.isEmpty());
    EXPECT_TRUE(pedal.writes().isEmpty());
    link();
    EXPECT_TRUE(button("Upload Selected Effect")->isEnabled()) << "the selection stays";
}

// The compiled catalogue without one effect's image, while the test runs.
class MissingImage : public CatalogueTest {
protected:
    void SetUp() override {
        const QDir from(ResourceStore::compiledFolder());
        for (const QString& name : from.entryList(QDir::Files)) {
            if (name == format_resource_name(Lost).toUpper())
                continue;
            ASSERT_TRUE(QFile::copy(from.filePath(name), folder.filePath(name)))
                << name.toStdString();
        }
        saved = ResourceStore::compiled();
        ResourceStore::compiled() = ResourceStore(folder.path());
        CatalogueTest::SetUp();
    }
    void TearDown() override {
        CatalogueTest::TearDown();
        if (saved)
            ResourceStore::compiled() = *saved;
    }
    const QString Lost = "Fuzzmoth";
    QTemporaryDir folder;
    std::optional<ResourceStore> saved;
};

TEST_F(MissingImage, IsDisabledInBankModeAndSaysWhyWhileTheOthersAreMeasured) {
    if (const QString m = missing({"Grizzle Drive"}); !m.isEmpty())
        GTEST_SKIP() << m.toStdString() << " is not in the compiled catalogue";
    ASSERT_FALSE(Catalogue().imageSize(Lost));
    trigger("FX Bank Mode");
    chooseCategory("Gain");
    QListWidgetItem* lost = effectItem(Lost);
    ASSERT_NE(lost, nullptr) << "the category still lists it";
    EXPECT_FALSE(lost->flags() & Qt::ItemIsEnabled);
    EXPECT_EQ(lost->toolTip(), "Its image is missing from the catalogue");
    EXPECT_TRUE(log().contains("image of Fuzzmoth is missing from the catalogue"));
    EXPECT_FALSE(log().contains("size of Fuzzmoth exceed"));
    // Each entry is measured by its own image, none by the one read before.
    for (int row = 0; row < list("Effects")->count(); ++row) {
        QListWidgetItem* item = list("Effects")->item(row);
        const std::optional<int> size = Catalogue().imageSize(item->text());
        EXPECT_EQ(bool(item->flags() & Qt::ItemIsEnabled), size && !exceedsBankLimit(*size))
            << item->text().toStdString();
    }
    emit list("Effects")->itemClicked(lost);
    EXPECT_FALSE(button("Upload Selected Effect")->isEnabled());

    // In preset mode nothing is measured: Upload says what is missing.
    trigger("Preset Mode");
    select("Gain", Lost);
    dialogs.clear();
    pedal.clearWrites();
    click("Upload Selected Effect");
    settle();
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].startsWith("Error loading resource: "))
        << dialogs.errors[0].toStdString();
    EXPECT_TRUE(pedal.writes().isEmpty());
}

// Whatever the screen's size, the windows an effect opens stay on the
// screen that shows the main window.
TEST_F(CatalogueTest, TheParameterAndInfoWindowsOpenOnTheMainWindowsScreen) {
    main->show();
    const QRect screen = main->screen()->availableGeometry();
    main->move(screen.right() - main->frameGeometry().width() - 20, screen.top() + 10);
    select("Gain", "Grizzle Drive");
    ASSERT_TRUE(parameterWindow().isVisible());
    click("Effect info");
    ASSERT_TRUE(editor->effectInfoWindow().isVisible());
    for (QWidget* window : {static_cast<QWidget*>(&parameterWindow()),
                            static_cast<QWidget*>(&editor->effectInfoWindow())}) {
        const QRect frame = window->frameGeometry();
        EXPECT_TRUE(screen.contains(frame.topLeft()) &&
                    (screen.contains(frame.bottomRight()) || frame.width() > screen.width() ||
                     frame.height() > screen.height()))
            << window->objectName().toStdString() << " at " << frame.x() << "," << frame.y() << " "
            << frame.width() << "x" << frame.height() << " on " << screen.width() << "x"
            << screen.height();
    }
}

// The firmware window opens beside the main window, not in the corner over
// its menu bar, and the next run opens it where the player left it.
TEST_F(CatalogueTest, TheFirmwareWindowOpensBesideTheMainWindowAndWhereItWasLeft) {
    main->show();
    main->move(0, 0);
    QWidget& firmware = editor->firmwareWindow();
    firmware.show();
    EXPECT_GE(firmware.frameGeometry().left(), main->frameGeometry().right())
        << firmware.x() << "," << firmware.y();
    firmware.move(firmware.x() + 30, firmware.y() + 40);
    const QPoint left = firmware.frameGeometry().topLeft();
    firmware.hide();

    editor.reset();
    editor = std::make_unique<EditorApplication>(false);
    editor->completeStartup();
    main = &editor->mainWindow();
    main->show();
    editor->firmwareWindow().show();
    EXPECT_EQ(editor->firmwareWindow().frameGeometry().topLeft(), left);
}

} // namespace
} // namespace kestra::test
