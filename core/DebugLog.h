// The diagnostic log shown by the debug console. Lines written before the
// console attaches are kept and handed over when it does.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

namespace kestra {

class DebugLog {
public:
    // Receives lines; scroll is false for the few lines that must not move
    // the view.
    using Sink = std::function<void(const QStringList& lines, bool scroll)>;

    static void setSink(Sink sink);
    static void append(const QString& line, bool scroll = true);
    // Many lines at once, shown in one update (an EEPROM dump has 16,384).
    static void appendBatch(const QStringList& lines);
};

inline void debugLog(const QString& line) {
    DebugLog::append(line, true);
}
inline void debugLogNoScroll(const QString& line) {
    DebugLog::append(line, false);
}

} // namespace kestra
