#include "ui/controllers/CatalogueController.h"

#include "catalogue/EffectSearch.h"
#include "catalogue/Upload.h"
#include "core/DebugLog.h"
#include "core/Dialogs.h"
#include "core/Settings.h"
#include "ir/IrLoader.h"
#include "ui/EffectInfoWindow.h"
#include "ui/ParameterWindow.h"
#include "ui/widgets/Accessible.h"
#include "ui/widgets/Placement.h"

#include <QAction>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>

namespace kestra {

namespace {
const QString ImpulseResponseInstructions = QStringLiteral(
    "How to load an impulse response:\r\n1) Select an IR load algorithm in Impulse Response "
    "category\r\n2) Go to File and click Load IR, choose the desired WAV file\r\n3) Click UPLOAD "
    "SELECTED EFFECT button\r\nWorks best with 48kHz sampling rate at a bitrate of 24 or 32 bit");
constexpr int ImpulseResponseCategoryIndex = 5;
} // namespace

CatalogueController::CatalogueController(PedalSession& session, QWidget* client, QWidget* window,
                                         QObject* parent)
    : FeatureController(session, parent), window_(window), catalogue_(session.catalogue()) {
    const QString searchName = QStringLiteral("Search effects");
    search_ = named(new QLineEdit(client), searchName);
    search_->setPlaceholderText(searchName);
    // The clear button's icon is looked up in the desktop's icon theme, which
    // takes longer than the rest of the window: it is made once there is
    // something to clear (it only shows then).
    connect(
        search_, &QLineEdit::textChanged, this,
        [this] {
            search_->setClearButtonEnabled(true);
            for (QToolButton* clear : search_->findChildren<QToolButton*>())
                clear->setAccessibleName(QStringLiteral("Clear search"));
        },
        Qt::SingleShotConnection);
    search_->setToolTip(QStringLiteral("Type part of an effect's name; Enter opens the first one"));
    search_->setGeometry(10, 34, 380, 24);
    connect(search_, &QLineEdit::textChanged, this, &CatalogueController::onSearchEdited);
    connect(search_, &QLineEdit::returnPressed, this, &CatalogueController::onSearchEntered);
    // Ctrl+F (the system's Find keys) reaches the field from anywhere.
    auto* find = new QAction(QStringLiteral("Find Effect"), window);
    find->setShortcut(QKeySequence::Find);
    find->setShortcutContext(Qt::WindowShortcut);
    window->addAction(find);
    connect(find, &QAction::triggered, this, [this] {
        search_->setFocus(Qt::ShortcutFocusReason);
        search_->selectAll();
    });

    categories_ = named(new QListWidget(client), QStringLiteral("Categories"));
    categories_->setObjectName(QStringLiteral("categories"));
    // Every look shows the seven categories whole, without scrolling.
    categories_->setGeometry(10, 64, 140, 166);
    categories_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    categories_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    connect(categories_, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { onCategoryActivated(categories_->row(item)); });
    for (const CategoryEntry& category : Categories)
        categories_->addItem(QString::fromLatin1(category.displayName));
    effects_ = named(new QListWidget(client), QStringLiteral("Effects"));
    effects_->setGeometry(158, 64, 232, 166);
    connect(effects_, &QListWidget::itemClicked, this, &CatalogueController::onEffectActivated);
    // The lists answer to their keys before they move on their own.
    categories_->installEventFilter(this);
    effects_->installEventFilter(this);

    effectInfoButton_ =
        named(new QPushButton(QStringLiteral("?"), client), QStringLiteral("Effect info"));
    effectInfoButton_->setGeometry(364, 238, 26, 28);
    effectInfoButton_->setCursor(Qt::WhatsThisCursor);
    connect(effectInfoButton_, &QPushButton::clicked, this, &CatalogueController::showEffectInfo);

    connect(&session_, &PedalSession::effectOpened, this, &CatalogueController::onEffectOpened);
    connect(&session_, &PedalSession::modeChanged, this, &CatalogueController::onModeChanged);
}

void CatalogueController::setParameterWindow(ParameterWindow* window) {
    parameterWindow_ = window;
    connect(window, &ParameterWindow::closed, this, [this] {
        if (!reopening_)
            session_.closeEffect();
        emit situationChanged();
    });
    connect(&session_, &PedalSession::stateApplied, window, &ParameterWindow::showAll);
    connect(&session_, &PedalSession::parameterMoved, window, &ParameterWindow::showParameter);
}

void CatalogueController::addSituation(EditorSituation& situation) const {
    situation.effectSelected = !selectedEffect_.isEmpty();
    situation.selectionUploadable = selectionUploadable_;
    situation.impulseResponseEffect = irRuleFor(selectedEffect_).has_value();
}

void CatalogueController::applyEnabledStates(const EnabledStates& enabled) {
    effectInfoButton_->setEnabled(enabled.effectInfo);
    if (parameterWindow_)
        parameterWindow_->applyEnabledStates(enabled);
}

void CatalogueController::onCategoryActivated(int row) {
    if (row < 0 || row >= CategoryCount)
        return;
    effects_->clear();
    QString error;
    const std::optional<QStringList> members = catalogue_.categoryEffects(row, &error);
    if (!members)
        Dialogs::instance().message(error);
    selectedCategory_ = row;
    fillEffectList(members.value_or(QStringList()));
    if (row == ImpulseResponseCategoryIndex &&
        settings::readYesNo(settings::impulseResponseTipFile(), true) &&
        Dialogs::instance().tip(ImpulseResponseInstructions))
        reportSaveError(settings::impulseResponseTipFile(),
                        settings::writeYesNo(settings::impulseResponseTipFile(), false));
}

void CatalogueController::fillEffectList(const QStringList& names) {
    for (const QString& name : names)
        new QListWidgetItem(name, effects_);
    markUploadableEntries();
}

void CatalogueController::markUploadableEntries() {
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

// The keyboard's place in the effect list moves apart from the pick: the
// picked effect stays selected (what Upload and the parameter window act
// on) while the focus frame shows where Enter would pick.
void CatalogueController::moveEffectHighlight(int key) {
    const int last = effects_->count() - 1;
    const int index = effects_->currentRow();
    const int page = std::max(1, effects_->height() / std::max(1, effects_->sizeHintForRow(0)));
    int row = index;
    switch (key) {
    case Qt::Key_Up:
        debugLog(QStringLiteral("arrow up pressed"));
        row = index > 0 ? index - 1 : index;
        break;
    case Qt::Key_Down:
        debugLog(QStringLiteral("arrow down pressed"));
        row = index < last ? index + 1 : index;
        break;
    case Qt::Key_PageUp:
        row = std::max(0, index - page);
        break;
    case Qt::Key_PageDown:
        row = std::min(last, index + page);
        break;
    case Qt::Key_Home:
        row = 0;
        break;
    case Qt::Key_End:
        row = last;
        break;
    default:
        return;
    }
    if (row < 0 || row == index)
        return;
    effects_->selectionModel()->setCurrentIndex(effects_->model()->index(row, 0),
                                                QItemSelectionModel::NoUpdate);
}

void CatalogueController::onEffectActivated(QListWidgetItem* item) {
    if (!item)
        return;
    if (item->text() == selectedEffect_ || !session_.unsavedEdits())
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

void CatalogueController::activateEffect(QListWidgetItem* item) {
    if (session_.live() && session_.connection().canSend())
        session_.setLive(false);
    if (session_.bankMode() && !(item->flags() & Qt::ItemIsEnabled)) {
        closeParameterWindow();
        selectionUploadable_ = false;
        emit situationChanged();
        return;
    }
    debugLog(QStringLiteral("efx index :%1").arg(effects_->row(item)));
    selectEffect(item->text());
}

// The player's choice in the lists: its window bears the effect's name alone,
// even for the effect stored on the pedal (the version is the pedal's answer,
// shown after Get FX Stored on Pedal).
void CatalogueController::selectEffect(const QString& name) {
    debugLog(QStringLiteral("selected effect name: ") + name);
    const QString error = session_.openEffect(name);
    if (!error.isEmpty())
        Dialogs::instance().message(error);
    onEffectOpened(name, name, false);
}

void CatalogueController::onEffectOpened(const QString& effect, const QString& caption,
                                         bool fromPedal) {
    selectedEffect_ = effect;
    selectionUploadable_ = !effect.isEmpty();
    if (parameterWindow_) {
        reopening_ = true;
        closeParameterWindow();
        parameterWindow_->showEffect(caption);
        reopening_ = false;
        moveBeside(parameterWindow_, window_);
    }
    if (effectInfo_ && effectInfo_->isVisible())
        showEffectInfo();
    if (fromPedal)
        showStoredEffectInLists();
    emit situationChanged();
}

void CatalogueController::onModeChanged(bool bank, bool byPlayer) {
    // A mode chosen by the player for FX banks starts a new selection; the
    // pedal's own mode, read by Request, leaves the window as it is.
    if (bank && byPlayer) {
        closeParameterWindow();
        categories_->clearSelection();
        categories_->setCurrentRow(-1);
        effects_->clear();
        selectedEffect_.clear();
        selectionUploadable_ = false;
    }
    markUploadableEntries();
    emit situationChanged();
}

void CatalogueController::closeParameterWindow() {
    if (parameterWindow_ && parameterWindow_->isVisible())
        parameterWindow_->close();
}

void CatalogueController::showStoredEffectInLists() {
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

void CatalogueController::showEffectInfo() {
    if (!effectInfo_)
        return;
    effectInfo_->showEffect(selectedEffect_);
    if (parameterWindow_ && parameterWindow_->isVisible())
        moveBeside(effectInfo_, parameterWindow_);
    else
        moveBeside(effectInfo_, window_);
}

bool CatalogueController::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && (watched == effects_ || watched == categories_)) {
        auto* key = static_cast<QKeyEvent*>(event);
        const auto modifiers = key->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier |
                                                   Qt::AltModifier | Qt::MetaModifier);
        if (modifiers == Qt::NoModifier && listKey(static_cast<QListWidget*>(watched), key->key()))
            return true;
    }
    return FeatureController::eventFilter(watched, event);
}

// Arrows in the category list load the category they reach; in the effect
// list they only move the keyboard's place, since picking an effect opens
// its window and switches Live off. Enter and Space act as a click in both.
bool CatalogueController::listKey(QListWidget* list, int key) {
    const bool pick = key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space;
    if (list == effects_) {
        switch (key) {
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_Home:
        case Qt::Key_End:
            moveEffectHighlight(key);
            return true;
        default:
            break;
        }
        if (pick && effects_->currentItem()) {
            onEffectActivated(effects_->currentItem());
            return true;
        }
        return false;
    }
    int row = categories_->currentRow();
    switch (key) {
    case Qt::Key_Up:
        row = std::max(row - 1, 0);
        break;
    case Qt::Key_Down:
        row = std::min(row + 1, categories_->count() - 1);
        break;
    case Qt::Key_Home:
        row = 0;
        break;
    case Qt::Key_End:
        row = categories_->count() - 1;
        break;
    default:
        if (!pick)
            return false;
        break;
    }
    if (row < 0)
        return true;
    categories_->setCurrentRow(row);
    if (pick || row != selectedCategory_)
        onCategoryActivated(row);
    return true;
}

void CatalogueController::onSearchEdited(const QString& text) {
    effects_->clear();
    if (text.trimmed().isEmpty()) {
        // Back to the category chosen before the search.
        categories_->setCurrentRow(selectedCategory_);
        if (selectedCategory_ >= 0)
            fillEffectList(catalogue_.categoryEffects(selectedCategory_).value_or(QStringList()));
        const QList<QListWidgetItem*> rows = effects_->findItems(selectedEffect_, Qt::MatchExactly);
        if (!rows.isEmpty())
            effects_->setCurrentItem(rows.first());
        return;
    }
    // The list holds the matches of every category meanwhile.
    categories_->setCurrentRow(-1);
    QStringList names;
    QList<int> categories;
    for (const EffectMatch& match : searchEffects(catalogue_, text)) {
        names << match.name;
        categories << match.category;
    }
    fillEffectList(names);
    for (int row = 0; row < effects_->count(); ++row) {
        QListWidgetItem* item = effects_->item(row);
        if (item->toolTip().isEmpty())
            item->setToolTip(QString::fromLatin1(
                Categories[static_cast<std::size_t>(categories.value(row))].displayName));
    }
    debugLog(QStringLiteral("search \"%1\": %2 effects").arg(text).arg(names.size()));
}

// Enter opens the first match in its category, as a click there would; edits
// not stored on the pedal are offered to be stored first.
void CatalogueController::onSearchEntered() {
    const std::vector<EffectMatch> matches = searchEffects(catalogue_, search_->text());
    if (matches.empty())
        return;
    const EffectMatch first = matches.front();
    const auto open = [this, first] {
        {
            const QSignalBlocker quiet(search_);
            search_->clear();
        }
        selectedCategory_ = first.category;
        categories_->setCurrentRow(first.category);
        effects_->clear();
        fillEffectList(catalogue_.categoryEffects(first.category).value_or(QStringList()));
        const QList<QListWidgetItem*> rows = effects_->findItems(first.name, Qt::MatchExactly);
        if (rows.isEmpty())
            return;
        effects_->setCurrentItem(rows.first());
        activateEffect(rows.first());
    };
    if (first.name == selectedEffect_ || !session_.unsavedEdits())
        return open();
    // Cancel keeps the search and the matches for another try.
    session_.confirmLeavingEdits(open);
}

} // namespace kestra
