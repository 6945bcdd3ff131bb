#include "port/FrontPanel.h"

#include "port/Backends.h"

namespace kestra {

bool FrontPanel::inUse() const {
    return backends_.backend() == Backend::Virtual;
}

QString FrontPanel::run(const QString& line) {
    if (!inUse())
        return QStringLiteral("Only the virtual pedal can be touched from the editor.");
    QString error;
    if (!backends_.virtualPedal().command(line, &error))
        return error.isEmpty() ? QStringLiteral("The virtual pedal refused: ") + line : error;
    return {};
}

QString FrontPanel::turnKnob(int knob, int level) {
    return run(QStringLiteral("knob %1 %2").arg(knob + 1).arg(level));
}

QString FrontPanel::moveExpression(int level) {
    return run(QStringLiteral("exp %1").arg(level));
}

QString FrontPanel::flipSwitch(int toggle, bool on) {
    return run(QStringLiteral("switch B%1 %2")
                   .arg(toggle + 1)
                   .arg(on ? QStringLiteral("on") : QStringLiteral("off")));
}

QString FrontPanel::pressFootswitch(int footswitch) {
    static const char* const names[] = {"FS", "FL", "RMT"};
    if (footswitch < 0 || footswitch > 2)
        return QStringLiteral("No such footswitch.");
    return run(QStringLiteral("footswitch ") + QLatin1String(names[footswitch]));
}

QString FrontPanel::holdSave(bool held) {
    return run(held ? QStringLiteral("save-button down") : QStringLiteral("save-button up"));
}

QString FrontPanel::pickEffect(int number) {
    return run(QStringLiteral("effect %1").arg(number));
}

QString FrontPanel::pickBank(int bank) {
    return run(QStringLiteral("bank %1").arg(bank));
}

} // namespace kestra
