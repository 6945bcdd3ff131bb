#include "ui/controllers/PedalController.h"

#include "core/Clock.h"
#include "core/DebugLog.h"
#include "core/Dialogs.h"
#include "core/Settings.h"
#include "protocol/HexText.h"
#include "ui/controllers/CatalogueController.h"
#include "ui/widgets/Accessible.h"
#include "ui/widgets/ToggleSwitch.h"

#include <QAbstractButton>
#include <QAction>
#include <QButtonGroup>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QStringDecoder>

namespace kestra {

namespace {
// Assign stays disabled this long after each use.
constexpr int AssignLockoutMs = 100;

QPushButton* makeButton(QWidget* parent, const QString& text, const QRect& geometry) {
    auto* button = named(new QPushButton(text, parent), text);
    button->setGeometry(geometry);
    return button;
}
} // namespace

PedalController::PedalController(PedalSession& session, const CatalogueController& catalogue,
                                 QWidget* client, QWidget* window, QWidget* menuOwner,
                                 QObject* parent)
    : FeatureController(session, parent), catalogue_(catalogue) {
    createControls(client);
    createShortcuts(window);
    createMenus(menuOwner);
    assignLockout_ = Clock::instance().createTimer([this] { emit situationChanged(); });

    connect(&session_, &PedalSession::modeChanged, this,
            [this](bool bank) { onModeChanged(bank); });
    connect(&session_, &PedalSession::bankChanged, this, &PedalController::selectBank);
    connect(&session_, &PedalSession::midiChannelChanged, this, &PedalController::showMidiChannel);
    connect(&session_, &PedalSession::liveChanged, this, &PedalController::setLiveText);
    connect(&session_, &PedalSession::uploadStatus, this, &PedalController::showStatus);
    // After the connections: the mode read selects its bank.
    readModeSetting();
}

PedalController::~PedalController() = default;

void PedalController::createControls(QWidget* client) {
    upload_ = makeButton(client, QStringLiteral("Upload Selected Effect"), {10, 238, 186, 28});
    connect(upload_, &QPushButton::clicked, this, &PedalController::onUpload);
    getStoredEffect_ =
        makeButton(client, QStringLiteral("Get FX Stored on Pedal"), {202, 238, 156, 28});
    connect(getStoredEffect_, &QPushButton::clicked, this, &PedalController::onGetStoredEffect);

    request_ = makeButton(client, QStringLiteral("Request"), {10, 272, 118, 28});
    connect(request_, &QPushButton::clicked, this, [this] {
        session_.requestState([this](const SessionResult& result) {
            if (!result.ok())
                return report(result);
            emit statusMessage(QStringLiteral("%1 parameters read from the pedal")
                                   .arg(session_.parameters().parameterCount()));
        });
    });
    assign_ = makeButton(client, QStringLiteral("Assign"), {134, 272, 96, 28});
    connect(assign_, &QPushButton::clicked, this, &PedalController::onAssign);
    storeSettings_ =
        makeButton(client, QStringLiteral("Store Settings On Pedal"), {236, 272, 154, 28});
    connect(storeSettings_, &QPushButton::clicked, this, [this] {
        session_.storeSettings([this](const SessionResult& result) {
            if (!result.ok())
                return report(result);
            emit statusMessage(QStringLiteral("Settings stored on the pedal"));
        });
    });

    banks_ = named(new QGroupBox(QStringLiteral("FX Bank"), client), QStringLiteral("FX Bank"));
    banks_->setGeometry(10, 306, 250, 48);
    bankButtons_ = new QButtonGroup(this);
    const QString bankNames[] = {QStringLiteral("Bank I"), QStringLiteral("Bank II"),
                                 QStringLiteral("Bank III")};
    const int bankX[] = {10, 86, 166};
    const int bankWidth[] = {70, 74, 78};
    for (int i = 0; i < 3; ++i) {
        auto* radio = named(new QRadioButton(bankNames[i], banks_), bankNames[i]);
        radio->setGeometry(bankX[i], 20, bankWidth[i], 22);
        bankButtons_->addButton(radio, i);
    }
    connect(bankButtons_, &QButtonGroup::idClicked, &session_, &PedalSession::selectBank);

    // The live switch is a child of its label: disabling the label disables both.
    liveLabel_ = new QLabel(QStringLiteral("Live OFF"), client);
    liveLabel_->setGeometry(270, 318, 120, 24);
    live_ = named(new ToggleSwitch(liveLabel_), QStringLiteral("Live OFF"));
    live_->setGeometry(74, 2, 40, 20);
    connect(live_, &ToggleSwitch::toggled, this, &PedalController::onLiveToggled);

    status_ = new QLabel(QStringLiteral("Status: "), client);
    status_->setObjectName(QStringLiteral("status"));
    status_->setGeometry(10, 362, 380, 22);

    // A developer's way to send any hex file; never shown.
    auto* uploadFile = makeButton(client, QStringLiteral("Upload File"), {10, 362, 90, 24});
    uploadFile->setObjectName(QStringLiteral("uploadFile"));
    uploadFile->hide();
    connect(uploadFile, &QPushButton::clicked, this, &PedalController::onUploadFile);
}

void PedalController::createShortcuts(QWidget* window) {
    // A button's own shortcut releases it on a timer of its own: an action
    // clicks it at once, and not at all while it is disabled.
    const struct {
        QPushButton* button;
        QKeySequence keys;
    } buttons[] = {{upload_, QKeySequence(Qt::CTRL | Qt::Key_U)},
                   {request_, QKeySequence(Qt::CTRL | Qt::Key_R)}};
    for (const auto& [button, keys] : buttons) {
        auto* key = new QAction(button->text(), window);
        key->setShortcut(keys);
        connect(key, &QAction::triggered, button, &QPushButton::click);
        window->addAction(key);
        button->setToolTip(button->text() + QStringLiteral(" (") +
                           keys.toString(QKeySequence::NativeText) + QLatin1Char(')'));
    }
}

void PedalController::createMenus(QWidget* menuOwner) {
    midi_ = new QMenu(QStringLiteral("MIDI"), menuOwner);
    midiChannel_ = midi_->addMenu(QStringLiteral("Channel"));
    QStringList names{QStringLiteral("OMNI")};
    for (int channel = 1; channel <= 16; ++channel)
        names.append(QString::number(channel));
    for (const QString& name : names) {
        QAction* entry = midiChannel_->addAction(name);
        entry->setCheckable(true);
        connect(entry, &QAction::triggered, this, [this, entry] {
            // The check marks show what the pedal reported, not the click.
            entry->setChecked(!entry->isChecked());
            const QString text = entry->text();
            session_.setMidiChannel(text == QLatin1String("OMNI") ? 0 : text.toInt());
        });
    }

    mode_ = new QMenu(QStringLiteral("Mode"), menuOwner);
    presetMode_ = mode_->addAction(QStringLiteral("Preset Mode"));
    bankModeAction_ = mode_->addAction(QStringLiteral("FX Bank Mode"));
    presetMode_->setCheckable(true);
    bankModeAction_->setCheckable(true);
    // The check marks show the mode, whatever the click did to them.
    connect(presetMode_, &QAction::triggered, this, [this] { session_.chooseMode(false); });
    connect(bankModeAction_, &QAction::triggered, this, [this] { session_.chooseMode(true); });

    liveAfterUpload_ = settings::readYesNo(settings::liveAfterUploadFile(), true);
    liveAfterUploadAction_ = new QAction(QStringLiteral("Edit After Upload"), menuOwner);
    liveAfterUploadAction_->setCheckable(true);
    liveAfterUploadAction_->setChecked(liveAfterUpload_);
    connect(liveAfterUploadAction_, &QAction::toggled, this,
            &PedalController::onLiveAfterUploadToggled);
}

// The mode the player chose in an earlier run.
void PedalController::readModeSetting() {
    const QString modeFile = settings::modeFile();
    createSettingIfMissing(modeFile, QLatin1String(settings::PresetMode));
    const auto text = QFileInfo::exists(modeFile) ? readSetting(modeFile) : std::nullopt;
    const auto bank = text ? settings::parseMode(*text) : std::nullopt;
    if (!bank)
        return;
    session_.restoreMode(*bank);
    presetMode_->setChecked(!*bank);
    bankModeAction_->setChecked(*bank);
}

void PedalController::addSituation(EditorSituation& situation) const {
    situation.showsStoredEffect = session_.showsStoredEffect();
    situation.stateRead = session_.stateRead();
    situation.bankMode = session_.bankMode();
    situation.assignResting = assignLockout_->isActive();
    situation.canUndo = session_.history().canUndo();
    situation.canRedo = session_.history().canRedo();
}

void PedalController::applyEnabledStates(const EnabledStates& e) {
    upload_->setEnabled(e.upload);
    getStoredEffect_->setEnabled(e.getStoredEffect);
    request_->setEnabled(e.request);
    assign_->setEnabled(e.assign);
    storeSettings_->setEnabled(e.storeSettings);
    banks_->setEnabled(e.banks);
    liveLabel_->setEnabled(e.live);
    midi_->setEnabled(e.midi);
    midi_->menuAction()->setEnabled(e.midi);
    mode_->setEnabled(e.mode);
    mode_->menuAction()->setEnabled(e.mode);
}

void PedalController::showStatus(const QString& text) {
    // A long line (a file's path) is cut in the middle; the whole of it is
    // in the tooltip and for screen readers.
    status_->setText(status_->fontMetrics().elidedText(text, Qt::ElideMiddle, status_->width()));
    status_->setToolTip(text);
    status_->setAccessibleDescription(text);
}

void PedalController::focusRequest() {
    request_->setFocus();
}

QString PedalController::uploadTargetText() const {
    return catalogue_.selectedEffect() + QStringLiteral(" to ") +
           (session_.bankMode() ? bankButtons_->button(session_.bank())->text()
                                : QStringLiteral("the preset slot"));
}

void PedalController::onUpload() {
    if (!Dialogs::instance().confirm(QStringLiteral("Upload the selected effect?") +
                                     QLatin1Char('\n') + uploadTargetText()))
        return;
    session_.upload(catalogue_.selectedEffect(), liveAfterUpload_,
                    [this](const SessionResult& result) {
                        // The status line says "Upload complete".
                        if (!result.ok())
                            report(result);
                    });
}

void PedalController::onUploadFile() {
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
    session_.uploadBytes(bytes, reporter());
}

// With Edit After Upload the state is read too, as after an upload, so the
// window opens live rather than grey.
void PedalController::onGetStoredEffect() {
    const SessionDone done = [this](const SessionResult& result) {
        report(result);
        if (!result.ok() || !session_.showsStoredEffect())
            return;
        if (session_.stateRead())
            emit statusMessage(QStringLiteral("%1 parameters read from the pedal")
                                   .arg(session_.parameters().parameterCount()));
        focusRequest();
    };
    if (liveAfterUpload_)
        session_.readStoredEffectAndState(done);
    else
        session_.readStoredEffect(done);
}

void PedalController::onAssign() {
    session_.assign([this](const SessionResult& result) {
        report(result);
        if (!result.ok())
            return;
        if (result.text.isEmpty())
            emit statusMessage(QStringLiteral("Assign sent to the pedal"));
        assignLockout_->start(AssignLockoutMs);
        emit situationChanged();
    });
}

void PedalController::onModeChanged(bool bank) {
    if (const QString error = settings::writeMode(bank); !error.isEmpty())
        Dialogs::instance().error(settings::saveErrorMessage(settings::modeFile(), error));
    presetMode_->setChecked(!bank);
    bankModeAction_->setChecked(bank);
}

void PedalController::selectBank(int index) {
    if (QAbstractButton* radio = bankButtons_->button(index))
        radio->setChecked(true);
}

void PedalController::showMidiChannel(std::optional<int> channel) {
    const QList<QAction*> entries = midiChannel_->actions();
    for (QAction* entry : entries)
        entry->setChecked(false);
    if (channel && *channel >= 0 && *channel < entries.size())
        entries[*channel]->setChecked(true);
}

void PedalController::setLiveText(bool on) {
    liveLabel_->setText(on ? QStringLiteral("Live ON") : QStringLiteral("Live OFF"));
    live_->setAccessibleName(liveLabel_->text());
    if (live_->isChecked() != on) {
        const QSignalBlocker quiet(live_);
        live_->setChecked(on);
    }
}

void PedalController::onLiveToggled(bool on) {
    setLiveText(on);
    session_.setLive(on);
}

void PedalController::onLiveAfterUploadToggled(bool on) {
    liveAfterUpload_ = on;
    reportSaveError(settings::liveAfterUploadFile(),
                    settings::writeYesNo(settings::liveAfterUploadFile(), on));
}

} // namespace kestra
