// The debug console: the editor's diagnostic log, the tools that erase and
// read back the pedal's settings EEPROM, and a developer's filter
// coefficient calculator (hidden).
#pragma once

#include "console/FilterCoefficients.h"
#include "port/D2XXUnit.h"

#include <QWidget>
#include <cstdint>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace kestra {

class TformPrint : public QWidget {
    Q_OBJECT

public:
    explicit TformPrint(D2XXUnit& transport, QWidget* parent = nullptr);
    ~TformPrint() override;

    // Public EEPROM tools, also used by Erase Settings. i2cAddr is the
    // device address as two hex digits, or empty.
    void EraseEEPROM(const QString& i2cAddr);
    void ReadEEPROM(const QString& i2cAddr);
    // Logs the 16,384 bytes of a dump, one line per address, and says
    // "Memory Erased" when every byte is 0xFF.
    void showEepromDump(const std::uint8_t* bytes);

    // The whole log, for tests and copy-paste.
    QString logText() const;
    int logLineCount() const;

    QPlainTextEdit* Memo1 = nullptr;
    QPushButton* btnClear = nullptr;
    QPushButton* btnScrollTop = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QPushButton* btnEraseEeprom = nullptr;
    QPushButton* btnReadEEPROM = nullptr;
    QComboBox* cmbI2Caddr = nullptr;
    QLabel* Label1 = nullptr;
    QPushButton* btnSend = nullptr;
    QLineEdit* edtAddress = nullptr;
    QLineEdit* edtData = nullptr;

    // Filter coefficient calculator: hidden in the shipped layout.
    QGroupBox* boxFilterCalculator = nullptr;
    QComboBox* cmbNotePicker = nullptr;
    QLineEdit* edtQ = nullptr;
    QLineEdit* edtBoost = nullptr;
    QPushButton* btnGetNoteFrequency = nullptr;
    void cmbNotePickerChange(int index);
    void edtQChange();
    void edtBoostChange();
    void btnGetNoteFrequencyClick();
    const filter::Calculator& calculator() const { return calculator_; }

private:
    void appendLines(const QStringList& lines, bool scroll);
    void btnSendClick();

    D2XXUnit& transport_;
    bool autoScroll_ = true;
    filter::Calculator calculator_;
};

} // namespace kestra
