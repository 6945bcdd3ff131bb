#include "console/PrintConsole.h"

#include "app/widgets/Accessible.h"
#include "core/DebugLog.h"
#include "core/Prompts.h"
#include "protocol/CommandFrames.h"
#include "protocol/Frames.h"
#include "protocol/Inbound.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

namespace kestra {

TformPrint::TformPrint(D2XXUnit& transport, QWidget* parent)
    : QWidget(parent, Qt::Window), transport_(transport) {
    setObjectName(QStringLiteral("formPrint"));
    setWindowTitle(QStringLiteral("Debug Console"));
    resize(506, 676);
    move(1075, 0);

    Memo1 = named(new QPlainTextEdit(this), QStringLiteral("Debug log"));
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setFont(QFont(QStringLiteral("monospace")));

    btnClear = named(new QPushButton(QStringLiteral("Clear"), this), QStringLiteral("Clear"));
    btnScrollTop = named(new QPushButton(QStringLiteral("UP"), this), QStringLiteral("UP"));
    CheckBox1 = named(new QCheckBox(QStringLiteral("scroll"), this), QStringLiteral("scroll"));
    CheckBox1->setChecked(true);
    btnEraseEeprom = named(new QPushButton(QStringLiteral("Erase EEPROM"), this),
                           QStringLiteral("Erase EEPROM"));
    btnReadEEPROM =
        named(new QPushButton(QStringLiteral("Read EEPROM"), this), QStringLiteral("Read EEPROM"));
    Label1 = named(new QLabel(QStringLiteral("E2P addr"), this), QStringLiteral("E2P addr"));
    cmbI2Caddr = named(new QComboBox(this), QStringLiteral("E2P addr"));
    cmbI2Caddr->addItems({QStringLiteral("50"), QStringLiteral("51")});
    cmbI2Caddr->setCurrentIndex(-1);
    Label1->setBuddy(cmbI2Caddr);

    // A developer's hand-typed Set parameter frame; kept hidden.
    btnSend = named(new QPushButton(QStringLiteral("Send"), this), QStringLiteral("Send"));
    edtAddress = named(new QLineEdit(this), QStringLiteral("addr"));
    edtData = named(new QLineEdit(this), QStringLiteral("data"));
    btnSend->hide();
    edtAddress->hide();
    edtData->hide();

    boxFilterCalculator = named(new QGroupBox(QStringLiteral("Filter coefficients"), this),
                                QStringLiteral("Filter coefficients"));
    cmbNotePicker = named(new QComboBox(boxFilterCalculator), QStringLiteral("Note"));
    cmbNotePicker->addItems(filter::noteNames());
    cmbNotePicker->setCurrentIndex(0);
    edtQ = named(new QLineEdit(QStringLiteral("1.41"), boxFilterCalculator), QStringLiteral("Q"));
    edtBoost = named(new QLineEdit(QStringLiteral("0"), boxFilterCalculator),
                     QStringLiteral("Boost (dB)"));
    btnGetNoteFrequency = named(new QPushButton(QStringLiteral("Calc Coeff."), boxFilterCalculator),
                                QStringLiteral("Calc Coeff."));
    auto* calculatorLayout = new QFormLayout(boxFilterCalculator);
    calculatorLayout->addRow(QStringLiteral("Note"), cmbNotePicker);
    calculatorLayout->addRow(QStringLiteral("Q"), edtQ);
    calculatorLayout->addRow(QStringLiteral("Boost (dB)"), edtBoost);
    calculatorLayout->addRow(btnGetNoteFrequency);
    boxFilterCalculator->hide();

    auto* tools = new QHBoxLayout;
    tools->addWidget(btnClear);
    tools->addWidget(btnScrollTop);
    tools->addWidget(CheckBox1);
    tools->addStretch();
    auto* eeprom = new QHBoxLayout;
    eeprom->addWidget(Label1);
    eeprom->addWidget(cmbI2Caddr);
    eeprom->addWidget(btnEraseEeprom);
    eeprom->addWidget(btnReadEEPROM);
    eeprom->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Memo1, 1);
    layout->addLayout(tools);
    layout->addLayout(eeprom);
    layout->addWidget(boxFilterCalculator);

    connect(btnClear, &QPushButton::clicked, Memo1, &QPlainTextEdit::clear);
    connect(btnScrollTop, &QPushButton::clicked, this,
            [this] { Memo1->verticalScrollBar()->setValue(0); });
    connect(CheckBox1, &QCheckBox::toggled, this, [this](bool on) { autoScroll_ = on; });
    connect(btnEraseEeprom, &QPushButton::clicked, this,
            [this] { EraseEEPROM(cmbI2Caddr->currentText()); });
    connect(btnReadEEPROM, &QPushButton::clicked, this,
            [this] { ReadEEPROM(cmbI2Caddr->currentText()); });
    connect(btnSend, &QPushButton::clicked, this, &TformPrint::btnSendClick);
    connect(cmbNotePicker, &QComboBox::currentIndexChanged, this, &TformPrint::cmbNotePickerChange);
    // Read when the edit is done, not at every keystroke of a half-typed number.
    connect(edtQ, &QLineEdit::editingFinished, this, &TformPrint::edtQChange);
    connect(edtBoost, &QLineEdit::editingFinished, this, &TformPrint::edtBoostChange);
    connect(btnGetNoteFrequency, &QPushButton::clicked, this,
            &TformPrint::btnGetNoteFrequencyClick);

    DebugLog::setSink(
        [this](const QStringList& lines, bool scroll) { appendLines(lines, scroll); });
}

TformPrint::~TformPrint() {
    DebugLog::setSink(nullptr);
}

void TformPrint::appendLines(const QStringList& lines, bool scroll) {
    QScrollBar* bar = Memo1->verticalScrollBar();
    const int kept = bar->value();
    // One insertion for the whole batch: a 16,384-line dump appears at once.
    Memo1->appendPlainText(lines.join(QLatin1Char('\n')));
    if (scroll && autoScroll_)
        bar->setValue(bar->maximum());
    else
        bar->setValue(kept);
}

QString TformPrint::logText() const {
    return Memo1->toPlainText();
}

int TformPrint::logLineCount() const {
    return Memo1->document()->blockCount();
}

void TformPrint::EraseEEPROM(const QString& i2cAddr) {
    const HexFrame frame = frames::eraseEeprom(i2cAddr);
    debugLog(QStringLiteral("erase message: ") + frame.text);
    sendFrame(transport_, frame);
}

void TformPrint::ReadEEPROM(const QString& i2cAddr) {
    const HexFrame frame = frames::readEeprom(i2cAddr);
    debugLog(frame.text);
    sendFrame(transport_, frame);
}

void TformPrint::showEepromDump(const std::uint8_t* bytes) {
    QStringList lines;
    lines.reserve(EepromSize);
    bool erased = true;
    for (int i = 0; i < EepromSize; ++i) {
        lines.append(
            QStringLiteral("%1: %2").arg(i).arg(bytes[i], 2, 16, QLatin1Char('0')).toUpper());
        erased = erased && bytes[i] == 0xFF;
    }
    DebugLog::appendBatch(lines);
    if (erased)
        Prompts::instance().message(QStringLiteral("Memory Erased"));
}

void TformPrint::btnSendClick() {
    const HexFrame frame = frames::setParameterTyped(edtAddress->text(), edtData->text());
    debugLog(frame.text);
    sendFrame(transport_, frame);
}

void TformPrint::cmbNotePickerChange(int index) {
    calculator_.setNoteIndex(index);
}

void TformPrint::edtQChange() {
    QString error;
    if (!calculator_.setQ(edtQ->text(), &error)) {
        Prompts::instance().error(error);
        return;
    }
    debugLog(QStringLiteral("Q: ") + calculator_.numberText(calculator_.q()));
}

void TformPrint::edtBoostChange() {
    QString error;
    if (!calculator_.setBoost(edtBoost->text(), &error)) {
        Prompts::instance().error(error);
        return;
    }
    debugLog(QStringLiteral("boost: ") + calculator_.numberText(calculator_.boost()));
}

void TformPrint::btnGetNoteFrequencyClick() {
    QString error;
    const QStringList lines = calculator_.calculate(cmbNotePicker->currentText(), &error);
    if (lines.isEmpty()) {
        Prompts::instance().error(error);
        return;
    }
    for (const QString& line : lines)
        debugLog(line);
}

} // namespace kestra
