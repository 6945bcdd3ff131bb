#include "core/DebugLog.h"

namespace kestra {

namespace {
DebugLog::Sink sink;
QStringList pending;
} // namespace

void DebugLog::setSink(Sink newSink) {
    sink = std::move(newSink);
    if (sink && !pending.isEmpty()) {
        sink(pending, true);
        pending.clear();
    }
}

void DebugLog::append(const QString& line, bool scroll) {
    if (sink)
        sink(QStringList{line}, scroll);
    else
        pending.append(line);
}

void DebugLog::appendBatch(const QStringList& lines) {
    if (sink)
        sink(lines, true);
    else
        pending.append(lines);
}

} // namespace kestra
