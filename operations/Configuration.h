// Preset files: the values, sources, reverse flags and readback LEDs of the
// effect stored on the pedal, as upper-case hex lines each ended by CR, in a
// UTF-8 file with a byte-order mark. The reader takes every field at a fixed
// character position of the lines joined again with CR LF, so files edited
// into CR LF read the same.
#pragma once

#include "protocol/Frames.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <optional>
#include <vector>

namespace kestra {

inline constexpr int ConfigurationMaxParameters = 16;
inline constexpr int ConfigurationMaxReadbacks = 4;

struct Configuration {
    int effectNumber = 0;
    int effectVersion = 0;
    int numOfParameters = 0;
    int numOfReadbacks = 0; // LED lines are written and read only when > 0
    // Levels 0..1024, written shifted left by 13 bits.
    std::array<int, ConfigurationMaxParameters> values{};
    // Source codes, 0xFF for none.
    std::array<int, ConfigurationMaxParameters> assignments{};
    // 1 on, 0 off; when reading, nothing for a flag the file leaves as it is.
    std::array<std::optional<int>, ConfigurationMaxParameters> reverse{};
    // LED codes, 0xFF for none.
    std::array<int, ConfigurationMaxReadbacks> leds{};
};

// The folder both preset dialogs start in (below the documents folder).
QString presetFolder();

// The file text: one line per field, each followed by a single CR.
QString composeConfiguration(const Configuration& configuration);

// UTF-8 with a byte-order mark.
QByteArray presetFileBytes(const QString& text);
// The lines of a file (CR, LF or CR LF; byte-order mark skipped) joined
// again with CR LF after each, as the field positions expect.
QString presetFileText(const QByteArray& bytes);

// Writes through a temporary file, so an existing file survives a failure.
bool writePresetFile(const QString& path, const QString& text, QString* error);
// The joined text of the file at path; nothing (and *error) when it cannot
// be read or is empty.
std::optional<QString> readPresetFile(const QString& path, QString* error);

// A header number: spaces and control characters around it are ignored, a
// "$" or "0x" prefix is optional, the digits are hexadecimal. Nothing for
// anything else.
std::optional<int> HexToInt(const QString& text);

// What the file must match to be applied.
struct ConfigurationTarget {
    int effectNumber = 0;
    int effectVersion = 0;
    int numOfParameters = 0;
    int numOfReadbacks = 0;
};

struct ConfigurationReading {
    std::optional<Configuration> configuration; // nothing when refused
    QString error;                              // why it was refused
};

// Checks the effect, then the version, then the parameter count, then every
// field of the body, and returns all of it or nothing: a file of another
// effect, a short body or a field that is not hexadecimal is refused.
// Logs the fields as it reads them.
ConfigurationReading readConfiguration(const QString& joinedText,
                                       const ConfigurationTarget& target);

class ParameterModel;

// The configuration of the effect the model shows, for a preset file. Codes
// no pick box can show are saved as "none".
Configuration configurationOf(const ParameterModel& model, int effectNumber, int effectVersion);

// Puts a configuration read from a file into the model: levels, routing,
// reverse flags and LEDs. Returns the frames that tell the pedal what
// changed, in the order the controls change.
std::vector<HexFrame> applyConfiguration(ParameterModel& model, const Configuration& configuration);

} // namespace kestra
