// The catalogue: the search field, the category and effect lists with their
// keys, the selection, the parameter window of the selected effect and the
// effect info window. In FX bank mode entries too large for a bank are
// disabled and say why.
#pragma once

#include "ui/controllers/FeatureController.h"

class QListWidget;
class QListWidgetItem;
class QLineEdit;
class QPushButton;
class QWidget;

namespace kestra {

class EffectInfoWindow;
class ParameterWindow;

class CatalogueController : public FeatureController {
    Q_OBJECT

public:
    // The lists go on client; window is the main window, which the other
    // windows open beside and whose Find keys reach the search field.
    CatalogueController(PedalSession& session, QWidget* client, QWidget* window, QObject* parent);

    void setParameterWindow(ParameterWindow* window);
    void setEffectInfoWindow(EffectInfoWindow* window) { effectInfo_ = window; }

    // The effect picked in the lists (or identified on the pedal).
    const QString& selectedEffect() const { return selectedEffect_; }
    QPushButton* effectInfoButton() const { return effectInfoButton_; }

    void addSituation(EditorSituation& situation) const override;
    void applyEnabledStates(const EnabledStates& enabled) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void onCategoryActivated(int row);
    void fillEffectList(const QStringList& names);
    // Entries that cannot go where Upload puts them now are disabled.
    void markUploadableEntries();
    void onEffectActivated(QListWidgetItem* item);
    void activateEffect(QListWidgetItem* item);
    void selectEffect(const QString& name);
    void onEffectOpened(const QString& effect, const QString& caption, bool fromPedal);
    void onModeChanged(bool bank, bool byPlayer);
    void closeParameterWindow();
    void showStoredEffectInLists();
    void moveEffectHighlight(int key);
    bool listKey(QListWidget* list, int key);
    void showEffectInfo();
    void onSearchEdited(const QString& text);
    void onSearchEntered();

    QWidget* window_;
    const Catalogue& catalogue_;
    ParameterWindow* parameterWindow_ = nullptr;
    EffectInfoWindow* effectInfo_ = nullptr;

    int selectedCategory_ = -1;
    QString selectedEffect_;
    bool selectionUploadable_ = false;
    // The parameter window is being rebuilt for the effect just opened: its
    // closing puts nothing away.
    bool reopening_ = false;

    QLineEdit* search_ = nullptr;
    QListWidget* categories_ = nullptr;
    QListWidget* effects_ = nullptr;
    QPushButton* effectInfoButton_ = nullptr;
};

} // namespace kestra
