#include "editor/Routing.h"

#include <QStringList>

namespace kestra {

namespace {

constexpr int FirstLed = static_cast<int>(PedalControl::LedSX);

bool validItem(const ParameterModel& model, const RoutedItem& item) {
    switch (item.kind) {
    case RoutedItem::Kind::Parameter:
        return item.index >= 0 && item.index < model.parameterCount();
    case RoutedItem::Kind::Readback:
        return item.index >= 0 && item.index < model.readbackCount();
    case RoutedItem::Kind::Bypass:
    case RoutedItem::Kind::Preset:
        return item.index == 0;
    }
    return false;
}

const char* const KindWords[] = {"parameter", "readback", "bypass", "preset"};

} // namespace

std::array<PedalControl, PedalControlCount> allPedalControls() {
    std::array<PedalControl, PedalControlCount> all{};
    for (int i = 0; i < PedalControlCount; ++i)
        all[static_cast<std::size_t>(i)] = static_cast<PedalControl>(i);
    return all;
}

bool isKnob(PedalControl control) {
    return control <= PedalControl::KnobV;
}

bool isToggle(PedalControl control) {
    return control >= PedalControl::SwitchB1 && control <= PedalControl::SwitchB3;
}

bool isFootswitch(PedalControl control) {
    return control >= PedalControl::FootswitchFS && control <= PedalControl::Remote;
}

bool isLed(PedalControl control) {
    return static_cast<int>(control) >= FirstLed;
}

int routingCode(PedalControl control) {
    const int n = static_cast<int>(control);
    return isLed(control) ? n - FirstLed : n;
}

std::optional<PedalControl> sourceControl(int code) {
    if (code < 0 || code >= FirstLed)
        return std::nullopt;
    return static_cast<PedalControl>(code);
}

std::optional<PedalControl> ledControl(int code) {
    if (code < 0 || code >= PedalControlCount - FirstLed)
        return std::nullopt;
    return static_cast<PedalControl>(FirstLed + code);
}

QString controlCode(PedalControl control) {
    const int code = routingCode(control);
    return isLed(control) ? readbackLedNames().at(code) : assignSourceNames().at(code);
}

QString controlName(PedalControl control) {
    static const QStringList knobs = {QStringLiteral("I"), QStringLiteral("II"),
                                      QStringLiteral("III"), QStringLiteral("IV"),
                                      QStringLiteral("V")};
    if (isKnob(control))
        return QStringLiteral("Knob ") + knobs.at(routingCode(control));
    if (isToggle(control))
        return QStringLiteral("Switch ") + controlCode(control);
    if (control == PedalControl::Remote)
        return QStringLiteral("Remote footswitch RMT");
    if (isFootswitch(control))
        return QStringLiteral("Footswitch ") + controlCode(control);
    if (control == PedalControl::Expression)
        return QStringLiteral("Expression input EXP");
    return QStringLiteral("LED ") + controlCode(control);
}

QString RoutedItem::toText() const {
    return QString::fromLatin1(KindWords[static_cast<int>(kind)]) + QLatin1Char(' ') +
           QString::number(index);
}

std::optional<RoutedItem> RoutedItem::fromText(const QString& text) {
    const QStringList words = text.split(QLatin1Char(' '));
    if (words.size() != 2)
        return std::nullopt;
    bool number = false;
    const int index = words[1].toInt(&number);
    for (int kind = 0; kind < 4; ++kind) {
        if (number && words[0] == QLatin1String(KindWords[kind]))
            return RoutedItem{static_cast<Kind>(kind), index};
    }
    return std::nullopt;
}

QString routedItemName(const ParameterModel& model, const RoutedItem& item) {
    switch (item.kind) {
    case RoutedItem::Kind::Parameter:
        return model.name(item.index);
    case RoutedItem::Kind::Readback:
        return model.readbackName(item.index);
    case RoutedItem::Kind::Bypass:
        return QStringLiteral("Bypass Toggle");
    case RoutedItem::Kind::Preset:
        return QStringLiteral("Preset Change");
    }
    return {};
}

std::optional<PedalControl> routedControl(const ParameterModel& model, const RoutedItem& item) {
    switch (item.kind) {
    case RoutedItem::Kind::Parameter:
        return sourceControl(model.source(item.index));
    case RoutedItem::Kind::Readback:
        return ledControl(model.led(item.index));
    case RoutedItem::Kind::Bypass:
        return sourceControl(model.bypassSource());
    case RoutedItem::Kind::Preset:
        return sourceControl(model.presetSource());
    }
    return std::nullopt;
}

std::vector<RoutedItem> routedTo(const ParameterModel& model, PedalControl control) {
    std::vector<RoutedItem> items;
    const auto add = [&](const RoutedItem& item) {
        if (routedControl(model, item) == control)
            items.push_back(item);
    };
    for (int i = 0; i < model.parameterCount(); ++i)
        add(RoutedItem::parameter(i));
    for (int k = 0; k < model.readbackCount(); ++k)
        add(RoutedItem::readback(k));
    add(RoutedItem::bypass());
    add(RoutedItem::preset());
    return items;
}

bool mayRoute(const ParameterModel& model, const RoutedItem& item,
              std::optional<PedalControl> control, bool bankMode) {
    if (!model.isLoaded() || !validItem(model, item))
        return false;
    switch (item.kind) {
    case RoutedItem::Kind::Parameter:
        return !control || !isLed(*control);
    case RoutedItem::Kind::Readback:
        return !control || isLed(*control);
    case RoutedItem::Kind::Bypass:
    case RoutedItem::Kind::Preset:
        // In FX bank mode the pedal toggles bypass with FS and steps banks
        // with FL, whatever the routing says.
        return !bankMode && (!control || isFootswitch(*control));
    }
    return false;
}

std::vector<Edit> routingEdits(const ParameterModel& model, const RoutedItem& item,
                               std::optional<PedalControl> control, bool bankMode) {
    if (!mayRoute(model, item, control, bankMode) || routedControl(model, item) == control)
        return {};
    const int code = control ? routingCode(*control) : NoAssignment;
    switch (item.kind) {
    case RoutedItem::Kind::Parameter:
        return {{EditTarget::Source, item.index, code}};
    case RoutedItem::Kind::Readback: {
        // An LED shows one readback: the one it showed before goes off it.
        std::vector<Edit> edits;
        if (control) {
            for (int k = 0; k < model.readbackCount(); ++k) {
                if (k != item.index && model.led(k) == code)
                    edits.push_back({EditTarget::Led, k, NoAssignment});
            }
        }
        edits.push_back({EditTarget::Led, item.index, code});
        return edits;
    }
    case RoutedItem::Kind::Bypass:
        return {{EditTarget::BypassSource, 0, code}};
    case RoutedItem::Kind::Preset:
        return {{EditTarget::PresetSource, 0, code}};
    }
    return {};
}

} // namespace kestra
