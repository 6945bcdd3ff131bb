// The built-in virtual pedal's own controls, touched as a player touches the
// box: a knob turned, a switch flipped, a footswitch pressed, the expression
// pedal moved, SAVE held, another effect or bank picked on the pedal. The
// pedal then tells the editor as hardware would, over the link. Only the
// built-in virtual pedal has this; real hardware is touched by hand.
#pragma once

#include <QString>

namespace kestra {

class Backends;

class FrontPanel {
public:
    explicit FrontPanel(Backends& backends) : backends_(backends) {}

    // The built-in virtual pedal is the backend in use.
    bool inUse() const;

    // Each returns why the pedal refused; empty when it took it.
    QString turnKnob(int knob, int level); // knob 0..4 (KI..KV), level 0..1023
    QString moveExpression(int level);
    QString flipSwitch(int toggle, bool on); // 0..2 (B1..B3)
    QString pressFootswitch(int footswitch); // 0..2 (FS, FL, RMT)
    // SAVE (B2) held down or let go: held while the pedal starts, it starts
    // the ROM bootloader.
    QString holdSave(bool held);
    QString pickEffect(int number);
    QString pickBank(int bank); // 0..2

private:
    QString run(const QString& line);

    Backends& backends_;
};

} // namespace kestra
