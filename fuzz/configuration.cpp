// Preset files. Any bytes, read for a target the input picks or for the one
// the file's own header names (so the body gets read too): an accepted file
// composes back to a text that reads to the same configuration. A
// configuration the input picks, written to a file with any of the line ends
// a text editor leaves, reads back unchanged.
//
// Targets have 0..16 parameters, as every effect does: the header of a
// composed file holds the clamped count, so a file for 17 parameters would
// compose to one for 16.
#include "operations/Configuration.h"

#include "fuzz/FuzzSupport.h"

#include <algorithm>

namespace kestra::fuzz {
namespace {

constexpr int LevelMax = static_cast<int>(0xFFFFFFFFu >> 13);

// A flag the file left as it was is written as off.
Configuration normalised(Configuration c) {
    for (int i = 0; i < c.numOfParameters; ++i)
        c.reverse[static_cast<std::size_t>(i)] = c.reverse[static_cast<std::size_t>(i)].value_or(0);
    return c;
}

bool same(const Configuration& a, const Configuration& b) {
    return a.effectNumber == b.effectNumber && a.effectVersion == b.effectVersion &&
           a.numOfParameters == b.numOfParameters && a.numOfReadbacks == b.numOfReadbacks &&
           a.values == b.values && a.assignments == b.assignments && a.reverse == b.reverse &&
           a.leds == b.leds;
}

// The joined text of composed, with its line ends turned into lineEnd.
QString asFile(const QString& composed, const QString& lineEnd) {
    QString text = composed;
    text.replace(u'\r', lineEnd);
    return presetFileText(presetFileBytes(text));
}

void checkJoined(const QString& joined) {
    for (qsizetype i = 0; i < joined.size(); ++i) {
        if (joined[i] == u'\r')
            FUZZ_CHECK(i + 1 < joined.size() && joined[i + 1] == u'\n');
        if (joined[i] == u'\n')
            FUZZ_CHECK(i > 0 && joined[i - 1] == u'\r');
    }
    // Written again, the text reads the same; but Qt's UTF-8 decoding skips a
    // byte-order mark of its own, so a text that starts with U+FEFF loses it.
    if (!joined.startsWith(QChar::ByteOrderMark))
        FUZZ_CHECK(presetFileText(presetFileBytes(joined)) == joined);
}

void checkAccepted(const Configuration& c, const ConfigurationTarget& target) {
    const int n = std::clamp(target.numOfParameters, 0, ConfigurationMaxParameters);
    const int r = std::clamp(target.numOfReadbacks, 0, ConfigurationMaxReadbacks);
    FUZZ_CHECK(c.effectNumber == target.effectNumber && c.effectVersion == target.effectVersion);
    FUZZ_CHECK(c.numOfParameters == n && c.numOfReadbacks == r);
    for (std::size_t i = 0; i < ConfigurationMaxParameters; ++i) {
        FUZZ_CHECK(c.values[i] >= 0 && c.values[i] <= LevelMax);
        FUZZ_CHECK(c.assignments[i] >= 0 && c.assignments[i] <= 0xFF);
        FUZZ_CHECK(!c.reverse[i] || *c.reverse[i] == 0 || *c.reverse[i] == 1);
    }
    for (int led : c.leds)
        FUZZ_CHECK(led >= 0 && led <= 0xFF);

    const QString composed = composeConfiguration(c);
    const ConfigurationReading again =
        readConfiguration(asFile(composed, QStringLiteral("\r")), target);
    FUZZ_CHECK_MSG(again.configuration && same(*again.configuration, normalised(c)),
                   shown(composed) + ": " + shown(again.error));
}

Configuration configurationFrom(FuzzedDataProvider& in) {
    Configuration c;
    c.effectNumber = in.ConsumeIntegralInRange(0, 0xFFFF);
    c.effectVersion = in.ConsumeIntegralInRange(0, 0xFF);
    c.numOfParameters = in.ConsumeIntegralInRange(0, ConfigurationMaxParameters);
    c.numOfReadbacks = in.ConsumeIntegralInRange(0, ConfigurationMaxReadbacks);
    for (int i = 0; i < c.numOfParameters; ++i) {
        const auto slot = static_cast<std::size_t>(i);
        c.values[slot] = in.ConsumeIntegralInRange(0, LevelMax);
        c.assignments[slot] = in.ConsumeIntegralInRange(0, 0xFF);
        c.reverse[slot] = in.ConsumeIntegralInRange(0, 1);
    }
    for (int k = 0; k < c.numOfReadbacks; ++k)
        c.leds[static_cast<std::size_t>(k)] = in.ConsumeIntegralInRange(0, 0xFF);
    return c;
}

void roundTrip(FuzzedDataProvider& in) {
    const Configuration c = configurationFrom(in);
    const ConfigurationTarget target{c.effectNumber, c.effectVersion, c.numOfParameters,
                                     c.numOfReadbacks};
    const QString composed = composeConfiguration(c);
    static const QString lineEnds[] = {QStringLiteral("\r"), QStringLiteral("\r\n"),
                                       QStringLiteral("\n")};
    const QString joined = asFile(composed, lineEnds[in.ConsumeIntegralInRange(0, 2)]);
    const ConfigurationReading reading = readConfiguration(joined, target);
    FUZZ_CHECK_MSG(reading.configuration && same(*reading.configuration, c),
                   shown(joined) + ": " + shown(reading.error));
}

// The header's own fields where they read as numbers, so the body is read.
ConfigurationTarget headerTarget(const QString& joined, const ConfigurationTarget& otherwise) {
    ConfigurationTarget target = otherwise;
    target.effectNumber = HexToInt(joined.mid(0, 4)).value_or(otherwise.effectNumber);
    target.effectVersion = HexToInt(joined.mid(6, 2)).value_or(otherwise.effectVersion);
    const std::optional<int> count = HexToInt(joined.mid(10, 2));
    if (count && *count <= ConfigurationMaxParameters)
        target.numOfParameters = *count;
    return target;
}

} // namespace
} // namespace kestra::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kestra;
    using namespace kestra::fuzz;
    FuzzedDataProvider in(data, size);
    switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0:
        roundTrip(in);
        return 0;
    default: {
        const bool ownHeader = in.ConsumeBool();
        ConfigurationTarget target;
        target.effectNumber = in.ConsumeIntegralInRange(0, 0xFFFF);
        target.effectVersion = in.ConsumeIntegralInRange(0, 0xFF);
        target.numOfParameters = in.ConsumeIntegralInRange(0, ConfigurationMaxParameters);
        target.numOfReadbacks = in.ConsumeIntegralInRange(-1, ConfigurationMaxReadbacks + 1);
        const std::string bytes = in.ConsumeRemainingBytesAsString();
        const QString joined =
            presetFileText(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
        checkJoined(joined);
        if (ownHeader)
            target = headerTarget(joined, target);
        const ConfigurationReading reading = readConfiguration(joined, target);
        FUZZ_CHECK(reading.configuration.has_value() == reading.error.isEmpty());
        if (reading.configuration)
            checkAccepted(*reading.configuration, target);
        return 0;
    }
    }
}
