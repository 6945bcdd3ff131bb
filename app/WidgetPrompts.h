// The real message boxes and file dialogs.
#pragma once

#include "core/Prompts.h"

class QWidget;

namespace kestra {

class WidgetPrompts final : public Prompts {
public:
    void setParent(QWidget* parent) { parent_ = parent; }

    void message(const QString& text) override;
    void error(const QString& text) override;
    bool confirm(const QString& text) override;
    QString openFile(const FileDialogOptions& options) override;
    QString saveFile(const FileDialogOptions& options) override;

private:
    QWidget* parent_ = nullptr;
};

} // namespace kestra
