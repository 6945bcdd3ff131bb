// The filter coefficient calculator of the debug console: a developer's
// tool, hidden from players, that logs a coefficient table.
#include "EditorFixture.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

namespace kestra::test {
namespace {

class FilterCalculator : public EditorFixture {
protected:
    ConsoleWindow& console() { return editor->console(); }
    QComboBox* note() { return control<QComboBox>(&console(), "Note"); }
    QLineEdit* q() { return control<QLineEdit>(&console(), "Q"); }
    QLineEdit* boost() { return control<QLineEdit>(&console(), "Boost (dB)"); }
    QPushButton* calculate() { return control<QPushButton>(&console(), "Calc Coeff."); }
    void edit(QLineEdit* box, const QString& text) {
        box->setText(text);
        emit box->editingFinished();
    }
    QStringList lastLines(int n) const {
        const QStringList lines = log().split('\n');
        return lines.mid(lines.size() - n);
    }
};

TEST_F(FilterCalculator, ShowsItsStartValuesAndStaysHidden) {
    console().show();
    EXPECT_FALSE(control<QGroupBox>(&console(), "Filter coefficients")->isVisible());
    EXPECT_FALSE(note()->isVisible());
    ASSERT_EQ(note()->count(), 48);
    EXPECT_EQ(note()->currentText(), "A1");
    EXPECT_EQ(q()->text(), "1.41");
    EXPECT_EQ(boost()->text(), "0");
    EXPECT_EQ(calculate()->text(), "Calc Coeff.");
}

TEST_F(FilterCalculator, CalcCoeffLogsTheTableOfTheChosenNote) {
    note()->setCurrentText("A2");
    edit(boost(), "-6");
    edit(q(), "1.41");
    calculate()->click();
    const QStringList lines = lastLines(8);
    EXPECT_EQ(lines[0], "boost: -6");
    EXPECT_EQ(lines[1], "Q: 1.41");
    EXPECT_EQ(lines[2], "A2_6db_cut_Q1.41 : array[0..19] of string =");
    EXPECT_TRUE(lines[3].startsWith("('"));
    EXPECT_TRUE(lines[7].endsWith("');"));
    EXPECT_TRUE(dialogs.errors.isEmpty());

    // The note reaches the calculation, not only the table's name.
    note()->setCurrentText("A1");
    calculate()->click();
    const QStringList a1 = lastLines(6);
    EXPECT_EQ(a1[0], "A1_6db_cut_Q1.41 : array[0..19] of string =");
    EXPECT_NE(a1.mid(1), lines.mid(3));
}

TEST_F(FilterCalculator, TextThatIsNotANumberIsReportedAndChangesNothing) {
    edit(q(), "wide");
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].contains("'wide' is not a valid number for Q"));
    calculate()->click();
    EXPECT_EQ(lastLines(6).first(), "A1_0db_boost_Q1.41 : array[0..19] of string =");
}

} // namespace
} // namespace kestra::test
