// The main window's effect catalogue: category and effect lists, selection,
// and the upload of the selected effect.
#include "app/TformMain.h"
#include "app/widgets/ToggleSwitch.h"
#include "catalogue/Upload.h"
#include "core/Clock.h"
#include "core/DebugLog.h"
#include "core/Prompts.h"
#include "operations/FXInfo.h"
#include "protocol/CommandFrames.h"
#include "protocol/HexText.h"
#include "protocol/SyncReceive.h"

#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStringDecoder>

namespace kestra {

namespace {
const QString IRInstructions = QStringLiteral(
    "How to load an impulse response:\r\n1) Select an IR load algorithm in Impulse Response "
    "category\r\n2) Go to File and click Load IR, choose the desired WAV file\r\n3) Click UPLOAD "
    "SELECTED EFFECT button\r\nWorks best with 48kHz sampling rate at a bitrate of 24 or 32 bit");
constexpr int ImpulseResponseIndex = 5;
constexpr int BypassSettleMs = 40;
constexpr int UploadLogLimit = 257;
} // namespace

void TformMain::create_categories() {
    using Handler = void (TformMain::*)();
    static constexpr Handler handlers[] = {
        &TformMain::lstGainClick,   &TformMain::lstModulationClick, &TformMain::lstSynthesisClick,
        &TformMain::lstFilterClick, &TformMain::lstDynamicClick,    &TformMain::lstIRClick,
        &TformMain::lstOtherClick};
    for (const CategoryEntry& category : Categories)
        lstCategory->addItem(QString::fromLatin1(category.displayName));
    connect(lstCategory, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        const int row = lstCategory->row(item);
        if (row >= 0 && row < static_cast<int>(std::size(handlers)))
            (this->*handlers[row])();
    });
}

void TformMain::showCategory(int index) {
    const CategoryEntry& category = Categories[static_cast<std::size_t>(index)];
    lstEffects->clear();
    lists_.read_file_from_stream(QString::fromLatin1(category.resourceName));
    get_effects_name();
    state_.selectedCategory = QString::fromLatin1(category.displayName);
}

void TformMain::lstGainClick() {
    showCategory(0);
    btnOpenEffect->setEnabled(true);
}

void TformMain::lstModulationClick() {
    showCategory(1);
    btnOpenEffect->setEnabled(true);
}

void TformMain::lstSynthesisClick() {
    showCategory(2);
    btnOpenEffect->setEnabled(true);
}

void TformMain::lstFilterClick() {
    showCategory(3);
    btnOpenEffect->setEnabled(true);
}

void TformMain::lstDynamicClick() {
    showCategory(4);
    btnOpenEffect->setEnabled(true);
}

void TformMain::lstIRClick() {
    showCategory(ImpulseResponseIndex);
    Prompts::instance().message(IRInstructions);
}

void TformMain::lstOtherClick() {
    showCategory(6);
    btnOpenEffect->setEnabled(true);
}

void TformMain::get_effects_name() {
    const QStringList rows = lists_.categoryList;
    std::vector<bool> tooLarge(static_cast<std::size_t>(rows.size()), false);
    // In preset mode nothing is measured.
    if (state_.bankMode)
        tooLarge = lists_.rowsExceedingBankLimit(rows);
    for (qsizetype i = 0; i < rows.size(); ++i) {
        auto* item = new QListWidgetItem(rows[i], lstEffects);
        if (tooLarge[static_cast<std::size_t>(i)]) {
            item->setFlags(item->flags() & ~(Qt::ItemIsEnabled | Qt::ItemIsSelectable));
            item->setToolTip(
                QStringLiteral("Larger than an FX bank can hold (%1 bytes)").arg(BankImageLimit));
        }
    }
}

bool TformMain::search_effect_name(int categoryIndex) {
    const qsizetype row = lists_.categoryList.indexOf(state_.storedEffectName);
    if (row < 0)
        return false;
    lstCategory->setCurrentRow(categoryIndex);
    lstEffects->setCurrentRow(static_cast<int>(row));
    return true;
}

void TformMain::move_up_or_down(int key) {
    const int index = lstEffects->currentRow();
    if (key == Qt::Key_Up) {
        debugLog(QStringLiteral("arrow up pressed"));
        if (index > 0)
            lstEffects->setCurrentRow(index - 1);
    } else if (key == Qt::Key_Down) {
        debugLog(QStringLiteral("arrow down pressed"));
        if (index < lstEffects->count() - 1)
            lstEffects->setCurrentRow(index + 1);
    }
}

void TformMain::effetto_cliccato(QListWidgetItem* item) {
    if (swLive->isChecked() && state_.linked) {
        setLiveMode(false);
        const QSignalBlocker quiet(swLive);
        swLive->setChecked(false);
    }
    lblLive->setEnabled(false);
    if (state_.bankMode && !(item->flags() & Qt::ItemIsEnabled)) {
        closeParameterWindow();
        btnUpload->setEnabled(false);
        btnStoreSettingsOnPedal->setEnabled(false);
        return;
    }
    debugLog(QStringLiteral("efx index :%1").arg(lstEffects->row(item)));
    state_.selectedEffectName = item->text();
    debugLog(QStringLiteral("selected effect name: ") + state_.selectedEffectName);
    if (!state_.selectedEffectName.isEmpty())
        btnGetFXInfo->setEnabled(true);
    closeParameterWindow();
    if (state_.selectedEffectName == state_.storedEffectName) {
        state_.selectedIsStored = true;
        btnRequest->setEnabled(true);
    } else {
        state_.selectedIsStored = false;
        btnRequest->setEnabled(false);
        btnAssign->setEnabled(false);
        btnStoreSettingsOnPedal->setEnabled(false);
    }
    openParameterWindow(state_.selectedEffectName);
    menuLoadIR->setEnabled(state_.selectedCategory == QLatin1String(ImpulseResponseCategory));
    btnOpenEffect->setEnabled(true);
    btnUpload->setEnabled(true);
    if (formFXInfo_ && formFXInfo_->isVisible())
        showDescription();
}

void TformMain::btnUploadClick() {
    if (!state_.linked) {
        Prompts::instance().error(QStringLiteral(
            "The pedal is not linked. Choose Connection > Link first, then upload."));
        return;
    }
    Timer_USB_read.stop();
    transport_.PurgeFTReceive();
    if (!Prompts::instance().confirm(QStringLiteral("Upload the selected effect?"))) {
        Timer_USB_read.start();
        return;
    }
    QString error;
    const QRadioButton* banks[] = {rdbtnBank1, rdbtnBank2, rdbtnBank3};
    const char* commands[] = {frames::BankI, frames::BankII, frames::BankIII};
    if (state_.bankMode) {
        for (int i = 0; i < 3; ++i)
            if (banks[i]->isChecked()) {
                bankUploadCommand = QString::fromLatin1(commands[i]);
                break;
            }
    }
    const auto image =
        composeUploadImage({state_.selectedEffectName, state_.selectedCategory,
                            state_.irEffectImage, state_.bankMode ? bankUploadCommand : QString()},
                           lists_, &error);
    if (!image) {
        if (!error.isEmpty())
            Prompts::instance().error(error);
        Timer_USB_read.start();
        return;
    }
    sendFrame(transport_, frames::bypass(true));
    Clock::instance().pause(BypassSettleMs);
    transport_.errorReportEnabled = true;
    const HexFrame frame = frames::uploadEffect(*image);
    debugLog(image->left(UploadLogLimit));
    debugLog(QStringLiteral("size: %1").arg(frame.byteCount));
    debugLog(QStringLiteral("num of bytes: %1").arg(frame.byteCount));
    sendFrame(transport_, frame);
    debugLog(QStringLiteral("write to device"));
    lblStatus->setText(QStringLiteral("Uploading..."));
    Timer_USB_read.start();
}

void TformMain::btnUploadFileClick() {
    const QString path =
        Prompts::instance().openFile({QStringLiteral("Upload File"), {}, {}, {}, {}});
    if (path.isEmpty())
        return;
    transport_.errorReportEnabled = true;
    debugLogNoScroll(path);
    debugLogNoScroll(QFileInfo(path).fileName());
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        Prompts::instance().error(
            QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
        return;
    }
    const QByteArray raw = file.readAll();
    auto decode =
        QStringDecoder(QStringDecoder::encodingForData(raw).value_or(QStringConverter::Utf8));
    QString text = decode(raw);
    if (decode.hasError())
        text = QString::fromLocal8Bit(raw);
    debugLogNoScroll(text);
    debugLogNoScroll(QString::number(text.size()));
    const int count = static_cast<int>(std::min<qsizetype>(text.size() / 2, D2XXUnit::BufferSize));
    debugLogNoScroll(QStringLiteral("num of bytes: %1")
                         .arg(hexToBytes(text, transport_.transmitBuffer.data(), count)));
    transport_.WriteFTDevice(static_cast<std::uint32_t>(count));
    debugLogNoScroll(QStringLiteral("write to device"));

    const Reply reply = receiveReply(transport_, state_.firmwareUpgradeMode);
    if (reply.received())
        debugLogNoScroll(QStringLiteral("received: ") + QString::fromLatin1(reply.bytes));
}

} // namespace kestra
