#include "EditorFixture.h"
#include "console/PrintConsole.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

namespace kestra::test {
namespace {

class FilterCalculator : public EditorFixture {
protected:
    void SetUp() override {
        EditorFixture::SetUp();
        console = editor->formPrint.get();
    }
    void edit(QLineEdit* box, const QString& text) {
        box->setText(text);
        emit box->editingFinished();
    }
    QStringList lastLines(int n) const {
        const QStringList lines = log().split('\n');
        return lines.mid(lines.size() - n);
    }
    TformPrint* console = nullptr;
};

TEST_F(FilterCalculator, ShowsItsStartValuesAndStaysHidden) {
    console->show();
    EXPECT_FALSE(console->cmbNotePicker->isVisible());
    ASSERT_EQ(console->cmbNotePicker->count(), 48);
    EXPECT_EQ(console->cmbNotePicker->currentText(), "A1");
    EXPECT_EQ(console->edtQ->text(), "1.41");
    EXPECT_EQ(console->edtBoost->text(), "0");
    EXPECT_EQ(console->btnGetNoteFrequency->text(), "Calc Coeff.");
}

TEST_F(FilterCalculator, CalcCoeffLogsTheTable) {
    console->cmbNotePicker->setCurrentText("A2");
    edit(console->edtBoost, "-6");
    edit(console->edtQ, "1.41");
    console->btnGetNoteFrequency->click();
    const QStringList lines = lastLines(8);
    EXPECT_EQ(lines[0], "boost: -6");
    EXPECT_EQ(lines[1], "Q: 1.41");
    EXPECT_EQ(lines[2], "A2_6db_cut_Q1.41 : array[0..19] of string =");
    EXPECT_TRUE(lines[3].startsWith("('"));
    EXPECT_TRUE(lines[7].endsWith("');"));
    EXPECT_DOUBLE_EQ(console->calculator().frequency(), 110.0);
    EXPECT_TRUE(prompts.errors.isEmpty());
}

TEST_F(FilterCalculator, TextThatIsNotANumberIsReportedAndChangesNothing) {
    edit(console->edtQ, "wide");
    ASSERT_EQ(prompts.errors.size(), 1);
    EXPECT_TRUE(prompts.errors[0].contains("'wide' is not a valid number for Q"));
    console->btnGetNoteFrequency->click();
    EXPECT_EQ(lastLines(6).first(), "A1_0db_boost_Q1.41 : array[0..19] of string =");
}

} // namespace
} // namespace kestra::test
