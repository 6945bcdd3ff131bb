#include "ui/ConsoleWindow.h"

#include "core/DebugLog.h"
#include "core/Dialogs.h"
#include "operations/PedalOperations.h"
#include "protocol/Inbound.h"
#include "ui/widgets/Accessible.h"

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
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>

namespace kestra {

namespace {
// Lines logged within this long are shown together.
constexpr int FlushDelayMs = 30;
// The most lines added in one go: a dump of 16,384 lines takes four turns
// of the event loop, none of them long.
constexpr qsizetype FlushSliceLines = 4096;
} // namespace

ConsoleWindow::ConsoleWindow(Connection& connection, QWidget* parent)
    : QWidget(parent, Qt::Window), connection_(connection) {
    setObjectName(QStringLiteral("consoleWindow"));
    setWindowTitle(QStringLiteral("Debug Console"));
    resize(506, 676);
    move(1075, 0);

    log_ = named(new QPlainTextEdit(this), QStringLiteral("Debug log"));
    log_->setReadOnly(true);
    log_->setLineWrapMode(QPlainTextEdit::NoWrap);
    log_->setFont(QFont(QStringLiteral("monospace")));

    auto* clear = named(new QPushButton(QStringLiteral("Clear"), this), QStringLiteral("Clear"));
    auto* top = named(new QPushButton(QStringLiteral("UP"), this), QStringLiteral("UP"));
    auto* scroll = named(new QCheckBox(QStringLiteral("scroll"), this), QStringLiteral("scroll"));
    scroll->setChecked(true);
    eraseEeprom_ = named(new QPushButton(QStringLiteral("Erase EEPROM"), this),
                         QStringLiteral("Erase EEPROM"));
    readEeprom_ =
        named(new QPushButton(QStringLiteral("Read EEPROM"), this), QStringLiteral("Read EEPROM"));
    auto* addressLabel = new QLabel(QStringLiteral("E2P addr"), this);
    eepromAddress_ = named(new QComboBox(this), QStringLiteral("E2P addr"));
    eepromAddress_->addItems({QStringLiteral("50"), QStringLiteral("51")});
    eepromAddress_->setCurrentIndex(-1);
    addressLabel->setBuddy(eepromAddress_);

    // A developer's hand-typed Set parameter frame; kept hidden.
    auto* send = named(new QPushButton(QStringLiteral("Send"), this), QStringLiteral("Send"));
    sendAddress_ = named(new QLineEdit(this), QStringLiteral("addr"));
    sendData_ = named(new QLineEdit(this), QStringLiteral("data"));
    send->hide();
    sendAddress_->hide();
    sendData_->hide();

    auto* calculator = named(new QGroupBox(QStringLiteral("Filter coefficients"), this),
                             QStringLiteral("Filter coefficients"));
    notePicker_ = named(new QComboBox(calculator), QStringLiteral("Note"));
    notePicker_->addItems(filter::noteNames());
    notePicker_->setCurrentIndex(0);
    q_ = named(new QLineEdit(QStringLiteral("1.41"), calculator), QStringLiteral("Q"));
    boost_ = named(new QLineEdit(QStringLiteral("0"), calculator), QStringLiteral("Boost (dB)"));
    auto* calculate = named(new QPushButton(QStringLiteral("Calc Coeff."), calculator),
                            QStringLiteral("Calc Coeff."));
    auto* calculatorLayout = new QFormLayout(calculator);
    calculatorLayout->addRow(QStringLiteral("Note"), notePicker_);
    calculatorLayout->addRow(QStringLiteral("Q"), q_);
    calculatorLayout->addRow(QStringLiteral("Boost (dB)"), boost_);
    calculatorLayout->addRow(calculate);
    calculator->hide();

    auto* tools = new QHBoxLayout;
    tools->addWidget(clear);
    tools->addWidget(top);
    tools->addWidget(scroll);
    tools->addStretch();
    auto* eeprom = new QHBoxLayout;
    eeprom->addWidget(addressLabel);
    eeprom->addWidget(eepromAddress_);
    eeprom->addWidget(eraseEeprom_);
    eeprom->addWidget(readEeprom_);
    eeprom->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(log_, 1);
    layout->addLayout(tools);
    layout->addLayout(eeprom);
    layout->addWidget(calculator);

    connect(clear, &QPushButton::clicked, this, [this] {
        pending_.clear();
        dropped_ = 0;
        log_->clear();
    });
    connect(top, &QPushButton::clicked, this, [this] { log_->verticalScrollBar()->setValue(0); });
    connect(scroll, &QCheckBox::toggled, this, [this](bool on) { autoScroll_ = on; });
    connect(eraseEeprom_, &QPushButton::clicked, this, &ConsoleWindow::onEraseEeprom);
    connect(readEeprom_, &QPushButton::clicked, this, &ConsoleWindow::onReadEeprom);
    connect(send, &QPushButton::clicked, this, &ConsoleWindow::onSend);
    connect(notePicker_, &QComboBox::currentIndexChanged, this,
            [this](int index) { calculator_.setNoteIndex(index); });
    // Read when the edit is done, not at every keystroke of a half-typed number.
    connect(q_, &QLineEdit::editingFinished, this, &ConsoleWindow::onQEdited);
    connect(boost_, &QLineEdit::editingFinished, this, &ConsoleWindow::onBoostEdited);
    connect(calculate, &QPushButton::clicked, this, &ConsoleWindow::onCalculate);

    flushTimer_ = Clock::instance().createTimer([this] { flush(); });
    DebugLog::setSink(
        [this](const QStringList& lines, bool scroll) { appendLines(lines, scroll); });
}

ConsoleWindow::~ConsoleWindow() {
    flushTimer_ = Clock::instance().createTimer([this] { flush(); });
    DebugLog::setSink(nullptr);
}

void ConsoleWindow::appendLines(const QStringList& lines, bool scroll) {
    pending_.append(lines);
    pendingScroll_ = pendingScroll_ || scroll;
    if (!flushTimer_->isActive())
        flushTimer_->start(FlushDelayMs);
}

void ConsoleWindow::flush() {
    if (pending_.isEmpty())
        return;
    QScrollBar* bar = log_->verticalScrollBar();
    const int kept = bar->value();
    const qsizetype count = std::min<qsizetype>(pending_.size(), FlushSliceLines);
    log_->appendPlainText(QStringList(pending_.mid(0, count)).join(QLatin1Char('\n')));
    pending_.remove(0, count);
    dropOldLines();
    if (pendingScroll_ && autoScroll_)
        bar->setValue(bar->maximum());
    else
        bar->setValue(kept);
    if (!pending_.isEmpty()) {
        flushTimer_->start(0);
        return;
    }
    pendingScroll_ = false;
    flushTimer_->stop();
}

void ConsoleWindow::dropOldLines() {
    QTextDocument* document = log_->document();
    const int excess = document->blockCount() - HistoryLines;
    if (excess <= 0)
        return;
    // The note takes the first line: when it is new, one more old line goes.
    const bool noted = dropped_ > 0;
    const int first = noted ? 1 : 0;
    const int count = noted ? excess : excess + 1;
    QTextCursor cursor(document->findBlockByNumber(first));
    cursor.setPosition(document->findBlockByNumber(first + count).position(),
                       QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    dropped_ += count;
    const QString note = QStringLiteral("[%1 older lines were dropped]").arg(dropped_);
    QTextCursor head(document->firstBlock());
    if (noted) {
        head.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        head.insertText(note);
    } else {
        head.insertText(note + QLatin1Char('\n'));
    }
}

QString ConsoleWindow::logText() {
    while (!pending_.isEmpty())
        flush();
    return log_->toPlainText();
}

int ConsoleWindow::logLineCount() {
    while (!pending_.isEmpty())
        flush();
    return log_->document()->blockCount();
}

void ConsoleWindow::setEepromToolsEnabled(bool enabled) {
    eraseEeprom_->setEnabled(enabled);
    readEeprom_->setEnabled(enabled);
}

void ConsoleWindow::onEraseEeprom() {
    const HexFrame frame = frames::eraseEeprom(eepromAddress_->currentText());
    debugLog(QStringLiteral("erase message: ") + frame.text);
    QString why;
    if (!connection_.run(frameExchange(QStringLiteral("Erase EEPROM"), frame,
                                       [](const ExchangeResult& result) {
                                           if (const QString m = failureMessage(result);
                                               !m.isEmpty())
                                               Dialogs::instance().error(m);
                                       }),
                         &why))
        Dialogs::instance().error(why);
}

void ConsoleWindow::onReadEeprom() {
    QString why;
    if (!connection_.run(readEeprom(eepromAddress_->currentText(),
                                    [this](const Outcome<QByteArray>& outcome) {
                                        if (outcome.ok())
                                            showEepromDump(*outcome.value);
                                        else if (!outcome.error.isEmpty())
                                            Dialogs::instance().error(outcome.error);
                                    }),
                         &why))
        Dialogs::instance().error(why);
}

void ConsoleWindow::showEepromDump(const QByteArray& bytes) {
    QStringList lines;
    lines.reserve(EepromSize);
    bool erased = true;
    for (int i = 0; i < EepromSize && i < bytes.size(); ++i) {
        const auto byte = static_cast<std::uint8_t>(bytes[i]);
        lines.append(QStringLiteral("%1: %2").arg(i).arg(byte, 2, 16, QLatin1Char('0')).toUpper());
        erased = erased && byte == 0xFF;
    }
    DebugLog::appendBatch(lines);
    if (erased && bytes.size() >= EepromSize)
        Dialogs::instance().message(QStringLiteral("Memory Erased"));
}

void ConsoleWindow::onSend() {
    const HexFrame frame = frames::setParameterTyped(sendAddress_->text(), sendData_->text());
    debugLog(frame.text);
    connection_.send(frame);
}

void ConsoleWindow::onQEdited() {
    QString error;
    if (!calculator_.setQ(q_->text(), &error)) {
        Dialogs::instance().error(error);
        return;
    }
    debugLog(QStringLiteral("Q: ") + calculator_.numberText(calculator_.q()));
}

void ConsoleWindow::onBoostEdited() {
    QString error;
    if (!calculator_.setBoost(boost_->text(), &error)) {
        Dialogs::instance().error(error);
        return;
    }
    debugLog(QStringLiteral("boost: ") + calculator_.numberText(calculator_.boost()));
}

void ConsoleWindow::onCalculate() {
    QString error;
    const QStringList lines = calculator_.calculate(notePicker_->currentText(), &error);
    if (lines.isEmpty()) {
        Dialogs::instance().error(error);
        return;
    }
    for (const QString& line : lines)
        debugLog(line);
}

} // namespace kestra
