// Collects the debug log lines written while it lives.
#pragma once

#include "core/DebugLog.h"

#include <QStringList>

namespace kestra::test {

class LogCapture {
public:
    LogCapture() {
        DebugLog::setSink([this](const QStringList& lines, bool) { this->lines.append(lines); });
        lines.clear(); // what earlier code logged before any sink
    }
    // Later lines are dropped rather than kept for a sink that never comes.
    ~LogCapture() {
        DebugLog::setSink([](const QStringList&, bool) {});
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    QStringList lines;
};

// A recognisable image of size bytes.
inline QByteArray sampleImage(int size) {
    QByteArray image(size, '\0');
    for (int i = 0; i < size; ++i)
        image[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
    return image;
}

} // namespace kestra::test
