// The control descriptor of an effect: which knobs, switches, buttons and
// selectors the parameter window shows, and which values the pedal reads
// back. Resource "<effect resource name>_ctrls":
//   header  three hex digits (pots, switches incl. buttons, selectors) and a
//           fourth for readbacks; a header of any other length has none
//   then    one line per parameter (pots, switches/buttons, selectors) and
//           one line per readback; later lines are ignored.
#pragma once

#include "catalogue/ResourceStore.h"
#include "protocol/Frames.h"

#include <QString>
#include <QStringList>
#include <array>
#include <optional>

namespace kestra {

using frames::MaxParameters;
using frames::MaxReadbacks;

enum class ControlKind { Pot, Switch, Button, Selector, None };

struct ControlDescriptor {
    int numOfPots = 0;
    int numOfSwitches = 0; // buttons included
    int numOfMultiSwitches = 0;
    int numOfParameters = 0;
    int numOfReadbacks = 0;
    std::array<QString, MaxParameters> parameterNames;
    std::array<QString, MaxReadbacks> readbackNames;

    // What parameter index is; None outside 0..numOfParameters-1.
    ControlKind kindOf(int index) const;

    bool operator==(const ControlDescriptor&) const = default;
};

// 0..15 for exactly one of "0".."9", "A".."F"; -1 for anything else
// (lower case included: the headers are written in upper case).
int hexDigitValue(QStringView digit);

// Parses a descriptor text. A descriptor the editor cannot show safely is
// refused: nothing is returned and error explains why, naming effectName.
std::optional<ControlDescriptor> parseControlDescriptor(const QString& effectName,
                                                        const QString& text, QString* error);

// The descriptor of effectName from the catalogue; nothing (and why in
// error) when it is missing or refused.
std::optional<ControlDescriptor>
loadControlDescriptor(const QString& effectName, QString* error,
                      const ResourceStore& store = ResourceStore::compiled());

// "Label:off:on" switch lines.
struct SwitchText {
    QString label;
    QString offText;
    QString onText;
};
SwitchText splitSwitchLine(const QString& line);

// A switch-range line with "@" anywhere is a momentary button.
bool isButtonLine(const QString& line);
QString buttonLabel(const QString& line);

// "Label;pos1;pos2;..." selector lines: one position per ";".
struct SelectorText {
    QString label;
    QStringList positions;
};
SelectorText splitSelectorLine(const QString& line);

} // namespace kestra
