// A label that a player drags onto the pedal picture to route what it names.
#pragma once

#include "editor/Routing.h"

class QWidget;

namespace kestra {

// From now on, a drag that starts on source carries item.
void carryOnDrag(QWidget* source, const RoutedItem& item);

} // namespace kestra
