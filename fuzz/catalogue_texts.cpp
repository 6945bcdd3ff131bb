// Catalogue texts: a control descriptor and a list resource, the same text
// read as both. An accepted descriptor has at most 16 parameters and 4
// readbacks, counts that add up, at least one knob, a position for every
// selector, and writes back to a text that parses to the same descriptor.
// A list's lines hold no line break and join back to the same lines.
#include "catalogue/Catalogue.h"
#include "catalogue/ControlDescriptor.h"
#include "catalogue/ResourceNames.h"
#include "fuzz/FuzzSupport.h"

namespace kestra::fuzz {
namespace {

const QString EffectName = QStringLiteral("Fuzzed Effect");

bool hasLineBreak(const QString& line) {
    return line.contains(u'\r') || line.contains(u'\n');
}

// The descriptor as a text: a four-digit header, then every line with CR LF
// (a CR left at a line's end survives, as the reader drops only one).
QString written(const ControlDescriptor& d) {
    static const QString digits = QStringLiteral("0123456789ABCDEF");
    QString text;
    for (int count : {d.numOfPots, d.numOfSwitches, d.numOfMultiSwitches, d.numOfReadbacks})
        text += digits[count];
    text += QStringLiteral("\r\n");
    for (int i = 0; i < d.numOfParameters; ++i)
        text += d.parameterNames[static_cast<std::size_t>(i)] + QStringLiteral("\r\n");
    for (int k = 0; k < d.numOfReadbacks; ++k)
        text += d.readbackNames[static_cast<std::size_t>(k)] + QStringLiteral("\r\n");
    return text;
}

void checkDescriptor(const QString& text) {
    QString error;
    const std::optional<ControlDescriptor> d = parseControlDescriptor(EffectName, text, &error);
    if (!d) {
        FUZZ_CHECK_MSG(error.contains(EffectName), shown(error));
        return;
    }
    FUZZ_CHECK(error.isEmpty());
    FUZZ_CHECK(d->numOfPots >= 1 && d->numOfSwitches >= 0 && d->numOfMultiSwitches >= 0);
    FUZZ_CHECK(d->numOfParameters == d->numOfPots + d->numOfSwitches + d->numOfMultiSwitches);
    FUZZ_CHECK(d->numOfParameters <= MaxParameters);
    FUZZ_CHECK(d->numOfReadbacks >= 0 && d->numOfReadbacks <= MaxReadbacks);
    FUZZ_CHECK(d->kindOf(-1) == ControlKind::None &&
               d->kindOf(d->numOfParameters) == ControlKind::None);
    for (int i = 0; i < MaxParameters; ++i) {
        const QString& line = d->parameterNames[static_cast<std::size_t>(i)];
        const ControlKind kind = d->kindOf(i);
        FUZZ_CHECK(!line.contains(u'\n'));
        if (i >= d->numOfParameters) {
            FUZZ_CHECK(line.isEmpty() && kind == ControlKind::None);
        } else if (i < d->numOfPots) {
            FUZZ_CHECK(kind == ControlKind::Pot);
        } else if (i < d->numOfPots + d->numOfSwitches) {
            FUZZ_CHECK(kind == (isButtonLine(line) ? ControlKind::Button : ControlKind::Switch));
            const SwitchText parts = splitSwitchLine(line);
            if (line.count(u':') >= 2)
                FUZZ_CHECK(parts.label + u':' + parts.offText + u':' + parts.onText == line);
            FUZZ_CHECK(line.startsWith(buttonLabel(line)));
        } else {
            FUZZ_CHECK(kind == ControlKind::Selector);
            const SelectorText selector = splitSelectorLine(line);
            FUZZ_CHECK_MSG(!selector.positions.isEmpty(), shown(line));
            FUZZ_CHECK(selector.label + u';' + selector.positions.join(u';') == line);
        }
    }
    for (int k = 0; k < MaxReadbacks; ++k) {
        const QString& line = d->readbackNames[static_cast<std::size_t>(k)];
        FUZZ_CHECK(!line.contains(u'\n') && (k < d->numOfReadbacks || line.isEmpty()));
    }
    const QString again = written(*d);
    const std::optional<ControlDescriptor> reread =
        parseControlDescriptor(EffectName, again, &error);
    FUZZ_CHECK_MSG(reread && *reread == *d, shown(again));
}

void checkList(const QString& text) {
    const QStringList lines = splitLines(text);
    qsizetype breaks = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\n' ||
            (text[i] == u'\r' && (i + 1 == text.size() || text[i + 1] != u'\n')))
            ++breaks;
    }
    const bool tail = !text.isEmpty() && text.back() != u'\r' && text.back() != u'\n';
    FUZZ_CHECK(lines.size() == breaks + (tail ? 1 : 0));
    for (const QString& line : lines)
        FUZZ_CHECK(!hasLineBreak(line));
    if (!lines.isEmpty()) {
        for (const char* end : {"\n", "\r", "\r\n"}) {
            const QString separator = QString::fromLatin1(end);
            FUZZ_CHECK(splitLines(lines.join(separator) + separator) == lines);
        }
    }
    FUZZ_CHECK(!effectNameOfRow(lines, -1) &&
               !effectNameOfRow(lines, static_cast<int>(lines.size())));
    for (int row = 0; row < lines.size() && row < 64; ++row) {
        const std::optional<QString> name = effectNameOfRow(lines, row);
        const QString& line = lines[row];
        FUZZ_CHECK(name && line.endsWith(*name));
        const qsizetype colon = line.indexOf(u':');
        FUZZ_CHECK(*name == (colon < 0 ? line : line.mid(colon + 1)));
    }
}

} // namespace
} // namespace kestra::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    kestra::fuzz::checkDescriptor(text);
    kestra::fuzz::checkList(text);
    return 0;
}
