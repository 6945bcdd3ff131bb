#include "editor/ParameterModel.h"

#include "catalogue/EffectImage.h"
#include "catalogue/ResourceNames.h"
#include "core/DebugLog.h"
#include "protocol/HexText.h"

#include <algorithm>

namespace kestra {

namespace {
constexpr int MaxPotentiometerLevel = 1023;
constexpr int LastKnobSource = 4;
constexpr int LastSwitchSource = 10;
constexpr int ExpressionSource = 11;
} // namespace

ParameterModel::ParameterModel() {
    clear();
}

void ParameterModel::clear() {
    descriptor_ = ControlDescriptor{};
    effectName_.clear();
    loaded_ = false;
    stateRead_ = false;
    addresses_.fill(QString());
    levels_.fill(0);
    buttons_.fill(false);
    sources_.fill(NoAssignment);
    reverse_.fill(false);
    leds_.fill(NoAssignment);
    bypassSource_ = NoAssignment;
    presetSource_ = NoAssignment;
}

bool ParameterModel::load(const QString& effectName, QString* error, const ResourceStore& store) {
    clear();
    ++generation_;
    std::optional<ControlDescriptor> descriptor = loadControlDescriptor(effectName, error, store);
    if (!descriptor)
        return false;
    const QString resourceName = format_resource_name(effectName);
    debugLog(QStringLiteral("resource name: ") + resourceName);
    const std::optional<QByteArray> data = store.find(resourceName);
    if (!data) {
        if (error)
            *error = QStringLiteral("Error loading resource: ") + store.errorFor(resourceName);
        return false;
    }
    const QString image = splitLines(QString::fromLatin1(*data)).value(0);
    debugLog(QStringLiteral("content: ") + image);
    debugLog(QStringLiteral("file content size: %1").arg(imageByteSize(image)));
    for (int i = 0; i < ParameterSlots; ++i) {
        addresses_[static_cast<std::size_t>(i)] = parameterAddress(image, i);
        debugLog(QStringLiteral("parameter address: ") + addresses_[static_cast<std::size_t>(i)]);
    }
    descriptor_ = std::move(*descriptor);
    effectName_ = effectName;
    loaded_ = true;
    return true;
}

QString ParameterModel::name(int parameter) const {
    if (!valid(parameter))
        return {};
    const QString& line = descriptor_.parameterNames[static_cast<std::size_t>(parameter)];
    switch (kind(parameter)) {
    case ControlKind::Switch:
        return splitSwitchLine(line).label;
    case ControlKind::Button:
        return buttonLabel(line);
    case ControlKind::Selector:
        return splitSelectorLine(line).label;
    default:
        return line;
    }
}

SwitchText ParameterModel::switchText(int parameter) const {
    if (kind(parameter) != ControlKind::Switch)
        return {};
    return splitSwitchLine(descriptor_.parameterNames[static_cast<std::size_t>(parameter)]);
}

QStringList ParameterModel::selectorPositions(int parameter) const {
    if (kind(parameter) != ControlKind::Selector)
        return {};
    return splitSelectorLine(descriptor_.parameterNames[static_cast<std::size_t>(parameter)])
        .positions;
}

QString ParameterModel::readbackName(int readback) const {
    if (readback < 0 || readback >= readbackCount())
        return {};
    return descriptor_.readbackNames[static_cast<std::size_t>(readback)];
}

QString ParameterModel::address(int parameter) const {
    return valid(parameter) ? addresses_[static_cast<std::size_t>(parameter)] : QString();
}

int ParameterModel::level(int parameter) const {
    return valid(parameter) ? levels_[static_cast<std::size_t>(parameter)] : 0;
}

int ParameterModel::selectorPosition(int parameter) const {
    if (kind(parameter) != ControlKind::Selector)
        return -1;
    return selectorPositionForLevel(level(parameter),
                                    static_cast<int>(selectorPositions(parameter).size()));
}

bool ParameterModel::buttonOn(int parameter) const {
    return valid(parameter) && buttons_[static_cast<std::size_t>(parameter)];
}

std::optional<HexFrame> ParameterModel::setLevel(int parameter, int level, std::uint32_t value,
                                                 bool potentiometer) {
    levels_[static_cast<std::size_t>(parameter)] = level;
    return frames::setParameter(address(parameter), value, potentiometer);
}

std::optional<HexFrame> ParameterModel::setPotentiometer(int parameter, int level) {
    if (kind(parameter) != ControlKind::Pot)
        return std::nullopt;
    const int clamped = std::clamp(level, 0, MaxPotentiometerLevel);
    const auto frame = setLevel(parameter, clamped, frames::potentiometerValue(clamped), true);
    debugLog(QStringLiteral("data sent pot %1: %2").arg(parameter).arg(frame->text));
    return frame;
}

std::optional<HexFrame> ParameterModel::setSwitch(int parameter, bool on) {
    if (kind(parameter) != ControlKind::Switch)
        return std::nullopt;
    const auto frame =
        setLevel(parameter, on ? frames::FullScale : 0, frames::switchValue(on), false);
    debugLog(QStringLiteral("data sent switch %1: %2").arg(parameter).arg(frame->text));
    return frame;
}

std::optional<HexFrame> ParameterModel::toggleButton(int parameter) {
    if (kind(parameter) != ControlKind::Button)
        return std::nullopt;
    // Momentary on the pedal, latched here: each click flips the parameter.
    bool& on = buttons_[static_cast<std::size_t>(parameter)];
    on = !on;
    const auto frame =
        setLevel(parameter, on ? frames::FullScale : 0, frames::switchValue(on), false);
    debugLog(QStringLiteral("data sent button %1: %2").arg(parameter).arg(frame->text));
    return frame;
}

std::optional<HexFrame> ParameterModel::setSelector(int parameter, int position) {
    const int positions = static_cast<int>(selectorPositions(parameter).size());
    if (kind(parameter) != ControlKind::Selector || position < 0 || position >= positions)
        return std::nullopt;
    const std::uint32_t value = frames::selectorValue(position, positions);
    const auto frame =
        setLevel(parameter, static_cast<int>(value >> frames::ValueShift), value, false);
    debugLog(QStringLiteral("data sent multiswitch %1: %2").arg(parameter).arg(frame->text));
    return frame;
}

int ParameterModel::source(int parameter) const {
    return valid(parameter) ? sources_[static_cast<std::size_t>(parameter)] : NoAssignment;
}

std::optional<HexFrame> ParameterModel::setSource(int parameter, int code) {
    if (!valid(parameter))
        return std::nullopt;
    const auto slot = static_cast<std::size_t>(parameter);
    const bool unassigning = code == NoAssignment && sources_[slot] != NoAssignment;
    sources_[slot] = code;
    if (!unassigning || !reverse_[slot])
        return std::nullopt;
    // Unassigned, the direction is cleared: the pedal forgets it too. A
    // parameter already without a source keeps the flag a file gave it.
    reverse_[slot] = false;
    const HexFrame frame = frames::reverse(false, parameter);
    debugLog(frame.text);
    return frame;
}

bool ParameterModel::reversed(int parameter) const {
    return valid(parameter) && reverse_[static_cast<std::size_t>(parameter)];
}

std::optional<HexFrame> ParameterModel::setReversed(int parameter, bool on) {
    if (!valid(parameter) || source(parameter) == NoAssignment)
        return std::nullopt;
    return loadReversed(parameter, on);
}

std::optional<HexFrame> ParameterModel::loadReversed(int parameter, bool on) {
    if (!valid(parameter))
        return std::nullopt;
    reverse_[static_cast<std::size_t>(parameter)] = on;
    const HexFrame frame = frames::reverse(on, parameter);
    debugLog(frame.text);
    return frame;
}

int ParameterModel::led(int readback) const {
    if (readback < 0 || readback >= readbackCount())
        return NoAssignment;
    return leds_[static_cast<std::size_t>(readback)];
}

void ParameterModel::setLed(int readback, int code) {
    if (readback < 0 || readback >= readbackCount())
        return;
    leds_[static_cast<std::size_t>(readback)] = code;
    debugLog(hex2(static_cast<std::uint32_t>(ledPositionForCode(code))));
}

void ParameterModel::fixFootswitchesForBank() {
    bypassSource_ = FootswitchCodeOffset;
    presetSource_ = FootswitchCodeOffset + 1;
}

HexFrame ParameterModel::assignFrame() const {
    std::array<int, frames::MaxParameters> sources{};
    std::array<int, frames::MaxReadbacks> leds{};
    for (std::size_t i = 0; i < sources.size(); ++i)
        sources[i] = sourcePositionForCode(sources_[i]);
    for (std::size_t k = 0; k < leds.size(); ++k)
        leds[k] = ledPositionForCode(leds_[k]);
    return assignContent(sources, parameterCount(), leds, readbackCount(),
                         footswitchCodeForPosition(footswitchPositionForCode(bypassSource_)),
                         footswitchCodeForPosition(footswitchPositionForCode(presetSource_)))
        .frame();
}

void ParameterModel::apply(const ParameterState& state) {
    for (int i = 0; i < parameterCount(); ++i) {
        const auto slot = static_cast<std::size_t>(i);
        // Buttons are momentary on the pedal: their level says nothing. A
        // word past full scale (the reply carries 32 bits) is no level any
        // control can show.
        if (kind(i) != ControlKind::Button)
            levels_[slot] =
                std::clamp(state.parameterValues[slot], 0,
                           kind(i) == ControlKind::Pot ? MaxPotentiometerLevel : frames::FullScale);
        sources_[slot] = state.sources[slot];
        if (state.reverse[slot])
            reverse_[slot] = *state.reverse[slot];
    }
    bypassSource_ = state.bypassSource;
    presetSource_ = state.presetSource;
    for (int k = 0; k < readbackCount(); ++k)
        leds_[static_cast<std::size_t>(k)] = state.leds[static_cast<std::size_t>(k)];
    stateRead_ = true;
}

std::optional<ParameterModel::RealtimeChange>
ParameterModel::applyRealtime(const RealtimeFrame& frame) {
    const int p = frame.parameter;
    const int source = frame.source;
    if (!valid(p) || source < 0 || source > ExpressionSource)
        return std::nullopt;
    const auto slot = static_cast<std::size_t>(p);
    const int value = frame.value;
    const bool knob = source <= LastKnobSource || source == ExpressionSource;
    if (knob && kind(p) == ControlKind::Pot) {
        levels_[slot] = std::clamp(value, 0, MaxPotentiometerLevel);
        if (source <= LastKnobSource)
            debugLog(hex8(static_cast<std::uint32_t>(value)));
        return RealtimeChange{p, std::nullopt};
    }
    if (knob && kind(p) == ControlKind::Selector) {
        const int positions = static_cast<int>(selectorPositions(p).size());
        const int position = selectorPositionForLevel(value, positions);
        if (position == selectorPosition(p))
            return std::nullopt;
        return RealtimeChange{p, setSelector(p, position)};
    }
    if (knob || source > LastSwitchSource)
        return std::nullopt;
    const bool on = value != 0;
    if (kind(p) == ControlKind::Switch) {
        if (on == switchOn(p))
            return std::nullopt;
        return RealtimeChange{p, setSwitch(p, on)};
    }
    if (kind(p) == ControlKind::Button) {
        // The look follows the pedal; the next click flips from there.
        buttons_[slot] = on;
        return RealtimeChange{p, std::nullopt};
    }
    return std::nullopt;
}

} // namespace kestra
