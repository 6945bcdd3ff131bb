// The real message boxes and file dialogs, in front of the main window.
#pragma once

#include "core/Dialogs.h"

class QWidget;

namespace kestra {

class WidgetDialogs final : public Dialogs {
public:
    void setParent(QWidget* parent) { parent_ = parent; }

    void message(const QString& text) override;
    void error(const QString& text) override;
    bool tip(const QString& text) override;
    using Dialogs::confirm;
    bool confirm(const QString& text, Default preselected) override;
    Choice offer(const QString& text, Default preselected) override;
    int choose(const QString& text, const QStringList& options) override;
    QString openFile(const FileDialogOptions& options) override;
    QString saveFile(const FileDialogOptions& options) override;

private:
    QWidget* parent_ = nullptr;
};

} // namespace kestra
