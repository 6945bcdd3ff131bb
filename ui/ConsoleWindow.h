// The debug console: the editor's diagnostic log, the tools that erase and
// read back the pedal's settings EEPROM, and a developer's filter
// coefficient calculator (hidden).
#pragma once

#include "connection/Connection.h"
#include "core/Clock.h"
#include "editor/FilterCoefficients.h"

#include <QByteArray>
#include <QWidget>
#include <memory>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace kestra {

class ConsoleWindow : public QWidget {
    Q_OBJECT

public:
    explicit ConsoleWindow(Connection& connection, QWidget* parent = nullptr);
    ~ConsoleWindow() override;

    // Logs the 16,384 bytes of a dump, one line per address, and says
    // "Memory Erased" when every byte is 0xFF.
    void showEepromDump(const QByteArray& bytes);
    void setEepromToolsEnabled(bool enabled);

    // The whole log, for tests and copy-paste.
    QString logText();
    int logLineCount();

    // The most lines the console keeps: four EEPROM dumps' worth. Older
    // lines go, and the first line says how many went.
    static constexpr int HistoryLines = 4 * 16384;

private:
    void appendLines(const QStringList& lines, bool scroll);
    // Shows what was logged since the last time, a slice at a time.
    void flush();
    void dropOldLines();
    void onEraseEeprom();
    void onReadEeprom();
    void onSend();
    void onQEdited();
    void onBoostEdited();
    void onCalculate();

    Connection& connection_;
    bool autoScroll_ = true;
    // Lines wait here for a moment, so a burst of them (a dump, a poll's log
    // lines) costs one repaint and never one long stall.
    QStringList pending_;
    bool pendingScroll_ = false;
    qsizetype dropped_ = 0;
    std::unique_ptr<ClockTimer> flushTimer_;
    filter::Calculator calculator_;

    QPlainTextEdit* log_ = nullptr;
    QComboBox* eepromAddress_ = nullptr;
    QPushButton* eraseEeprom_ = nullptr;
    QPushButton* readEeprom_ = nullptr;
    QLineEdit* sendAddress_ = nullptr;
    QLineEdit* sendData_ = nullptr;
    QComboBox* notePicker_ = nullptr;
    QLineEdit* q_ = nullptr;
    QLineEdit* boost_ = nullptr;
};

} // namespace kestra
