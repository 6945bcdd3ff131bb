// The main window's catalogue: categories and effects, the selection, the
// parameter window of the selected effect, and Upload.
#include "catalogue/Upload.h"
#include "core/DebugLog.h"
#include "ir/IrLoader.h"
#include "protocol/HexText.h"
#include "ui/EffectInfoWindow.h"
#include "ui/MainWindow.h"
#include "ui/ParameterWindow.h"
#include "ui/widgets/Placement.h"
#include "ui/widgets/ToggleSwitch.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QStringDecoder>

namespace kestra {

namespace {
const QString ImpulseResponseInstructions = QStringLiteral(
    "How to load an impulse response:\r\n1) Select an IR load algorithm in Impulse Response "
    "category\r\n2) Go to File and click Load IR, choose the desired WAV file\r\n3) Click UPLOAD "
    "SELECTED EFFECT button\r\nWorks best with 48kHz sampling rate at a bitrate of 24 or 32 bit");
constexpr int ImpulseResponseCategoryIndex = 5;
} // namespace

void MainWindow::onCategoryActivated(int row) {
    if (row < 0 || row >= CategoryCount)
        return;
    effects_->clear();
    QString error;
    const std::optional<QStringList> members = catalogue_.categoryEffects(row, &error);
    if (!members)
        Dialogs::instance().message(error);
    selectedCategory_ = row;
    fillEffectList(members.value_or(QStringList()));
    if (row == ImpulseResponseCategoryIndex)
        Dialogs::instance().message(ImpulseResponseInstructions);
}

void MainWindow::fillEffectList(const QStringList& names) {
    for (const QString& name : names)
        new QListWidgetItem(name, effects_);
    markUploadableEntries();
}

void MainWindow::markUploadableEntries() {
    for (int row = 0; row < effects_->count(); ++row) {
        QListWidgetItem* item = effects_->item(row);
        const QString name = item->text();
        const bool fits = session_.fitsTarget(name);
        const bool wasEnabled = item->flags() & Qt::ItemIsEnabled;
        if (fits) {
            // In preset mode every effect may be chosen again.
            item->setFlags(item->flags() | Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            if (!wasEnabled)
                item->setToolTip(QString());
            continue;
        }
        item->setFlags(item->flags() & ~(Qt::ItemIsEnabled | Qt::ItemIsSelectable));
        if (!wasEnabled)
            continue;
        const std::optional<int> size = catalogue_.imageSize(name);
        if (!size) {
            // Nothing could be uploaded: the entry says why instead of a size.
            debugLog(QStringLiteral("image of %1 is missing from the catalogue").arg(name));
            item->setToolTip(QStringLiteral("Its image is missing from the catalogue"));
            continue;
        }
        debugLog(QStringLiteral("size of %1 exceed %2 bytes").arg(name).arg(BankImageLimit));
        item->setToolTip(
            QStringLiteral("Larger than an FX bank can hold (%1 bytes)").arg(BankImageLimit));
    }
}

void MainWindow::moveEffectHighlight(int key) {
    const int index = effects_->currentRow();
    if (key == Qt::Key_Up) {
        debugLog(QStringLiteral("arrow up pressed"));
        if (index > 0)
            effects_->setCurrentRow(index - 1);
    } else {
        debugLog(QStringLiteral("arrow down pressed"));
        if (index < effects_->count() - 1)
            effects_->setCurrentRow(index + 1);
    }
}

void MainWindow::onEffectActivated(QListWidgetItem* item) {
    if (!item)
        return;
    if (item->text() == selectedEffect_ || !unsavedEdits())
        return activateEffect(item);
    // Edits of the effect shown are stored or left behind first.
    const QString name = item->text();
    const bool goingOn = session_.confirmLeavingEdits([this, name] {
        const QList<QListWidgetItem*> rows = effects_->findItems(name, Qt::MatchExactly);
        if (!rows.isEmpty())
            activateEffect(rows.first());
    });
    if (goingOn)
        return;
    const QList<QListWidgetItem*> shown = effects_->findItems(selectedEffect_, Qt::MatchExactly);
    effects_->setCurrentItem(shown.isEmpty() ? nullptr : shown.first());
}

void MainWindow::activateEffect(QListWidgetItem* item) {
    if (session_.live() && connection_.canSend())
        session_.setLive(false);
    if (session_.bankMode() && !(item->flags() & Qt::ItemIsEnabled)) {
        closeParameterWindow();
        selectionUploadable_ = false;
        refreshEnabledStates();
        return;
    }
    debugLog(QStringLiteral("efx index :%1").arg(effects_->row(item)));
    selectEffect(item->text());
}

// The player's choice in the lists: its window bears the effect's name alone,
// even for the effect stored on the pedal (the version is the pedal's answer,
// shown after Get FX Stored on Pedal).
void MainWindow::selectEffect(const QString& name) {
    debugLog(QStringLiteral("selected effect name: ") + name);
    const QString error = session_.openEffect(name);
    if (!error.isEmpty())
        Dialogs::instance().message(error);
    onEffectOpened(name, name, false);
}

void MainWindow::onEffectOpened(const QString& effect, const QString& caption, bool fromPedal) {
    selectedEffect_ = effect;
    selectionUploadable_ = !effect.isEmpty();
    if (parameterWindow_) {
        reopening_ = true;
        closeParameterWindow();
        parameterWindow_->showEffect(caption);
        reopening_ = false;
        moveBeside(parameterWindow_, this);
    }
    if (effectInfo_ && effectInfo_->isVisible())
        showEffectInfo();
    if (fromPedal)
        showStoredEffectInLists();
    refreshEnabledStates();
}

void MainWindow::closeParameterWindow() {
    if (parameterWindow_ && parameterWindow_->isVisible())
        parameterWindow_->close();
}

void MainWindow::showStoredEffectInLists() {
    const QString stored = session_.storedEffect().name;
    const std::optional<int> category = catalogue_.categoryOf(stored);
    effects_->clear();
    if (!category) {
        // Some effects belong to no category: the pedal can still hold them.
        selectedCategory_ = -1;
        categories_->setCurrentRow(-1);
        return;
    }
    selectedCategory_ = *category;
    categories_->setCurrentRow(*category);
    fillEffectList(catalogue_.categoryEffects(*category).value_or(QStringList()));
    const QList<QListWidgetItem*> rows = effects_->findItems(stored, Qt::MatchExactly);
    if (!rows.isEmpty())
        effects_->setCurrentItem(rows.first());
}

// Where Upload puts the effect, for its question: "Fuzzmoth to Bank II".
QString MainWindow::uploadTargetText() const {
    return selectedEffect_ + QStringLiteral(" to ") +
           (session_.bankMode() ? bankButtons_->button(session_.bank())->text()
                                : QStringLiteral("the preset slot"));
}

void MainWindow::onUpload() {
    if (!Dialogs::instance().confirm(QStringLiteral("Upload the selected effect?") +
                                     QLatin1Char('\n') + uploadTargetText()))
        return;
    session_.upload(selectedEffect_, liveAfterUpload_, [](const SessionResult& result) {
        // The status line says "Upload complete".
        if (!result.ok())
            report(result);
    });
}

void MainWindow::onUploadFile() {
    const QString path =
        Dialogs::instance().openFile({QStringLiteral("Upload File"), {}, {}, {}, {}});
    if (path.isEmpty())
        return;
    debugLogNoScroll(path);
    debugLogNoScroll(QFileInfo(path).fileName());
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        Dialogs::instance().error(
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
    // Only what converts is sent: nothing made up follows a stray character.
    const QByteArray bytes = hexToByteArray(text);
    debugLogNoScroll(QStringLiteral("num of bytes: %1").arg(bytes.size()));
    session_.uploadBytes(bytes, report);
}

} // namespace kestra
