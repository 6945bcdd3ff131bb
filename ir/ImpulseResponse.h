// The impulse response window: never shown, it holds the open dialog the IR
// load uses.
#pragma once

#include "core/Prompts.h"

#include <QWidget>

namespace kestra {

class TformImpulseResponse : public QWidget {
    Q_OBJECT

public:
    explicit TformImpulseResponse(QWidget* parent = nullptr);

    // The WAV file the player chose; empty when the dialog was cancelled.
    QString chooseWaveFile();

    FileDialogOptions OpenDialog1;
};

} // namespace kestra
