// A port with a scripted pedal behind it: it records every call, hands out
// what the script put in its inbox, and can fail any call the way a real
// driver does (an unplug, a refused open, a failing close).
#pragma once

#include "port/Port.h"

#include <QList>
#include <functional>

namespace kestra::test {

class FakePort final : public Port {
public:
    std::vector<PortDevice> devices{
        {QStringLiteral("KS000001"), QStringLiteral("FT230X Basic UART"), QString()}};
    PortResult openResult;
    PortResult closeResult;
    // Every call on the open device fails as after an unplug.
    bool unplugged = false;

    bool opened = false;
    LineSettings line;
    int lineChanges = 0;
    int latencyMs = -1;
    QList<QByteArray> writes;
    QByteArray inbox;
    int reads = 0;
    int purges = 0;
    // Called with each write: the scripted pedal answers by appending to inbox.
    std::function<void(const QByteArray& written)> pedal;

    QString backendName() const override { return QStringLiteral("fake"); }
    PortResult listDevices(std::vector<PortDevice>& out) override {
        out = devices;
        return {};
    }
    PortResult open(const PortDevice&) override {
        if (!openResult.ok())
            return openResult;
        opened = true;
        unplugged = false;
        line = LineSettings{9600, Parity::None};
        return {};
    }
    PortResult close() override {
        opened = false;
        return closeResult;
    }
    bool isOpen() const override { return opened; }
    PortResult setLine(const LineSettings& settings) override {
        if (const PortResult r = check(); !r.ok())
            return r;
        line = settings;
        ++lineChanges;
        return {};
    }
    PortResult setLatencyTimer(int ms) override {
        if (const PortResult r = check(); !r.ok())
            return r;
        latencyMs = ms;
        return {};
    }
    PortResult read(QByteArray& bytes) override {
        if (const PortResult r = check(); !r.ok())
            return r;
        ++reads;
        bytes.append(inbox);
        inbox.clear();
        return {};
    }
    PortResult write(QByteArrayView bytes) override {
        if (const PortResult r = check(); !r.ok())
            return r;
        writes.append(bytes.toByteArray());
        if (pedal)
            pedal(bytes.toByteArray());
        return {};
    }
    // Written bytes leave at once.
    PortResult drained(bool& done) override {
        if (const PortResult r = check(); !r.ok())
            return r;
        done = true;
        return {};
    }
    PortResult purge(Purge what) override {
        if (const PortResult r = check(); !r.ok())
            return r;
        ++purges;
        if (static_cast<int>(what) & static_cast<int>(Purge::Receive))
            inbox.clear();
        return {};
    }

    // The writes as upper-case hex, one text each.
    QStringList writtenHex() const {
        QStringList texts;
        for (const QByteArray& w : writes)
            texts.append(QString::fromLatin1(w.toHex().toUpper()));
        return texts;
    }

private:
    PortResult check() const {
        if (!opened)
            return PortResult::failure(PortResult::Error::Disconnected,
                                       QStringLiteral("fake - Invalid handle..."));
        if (unplugged)
            return PortResult::failure(PortResult::Error::Disconnected,
                                       QStringLiteral("fake - General IO error..."));
        return {};
    }
};

} // namespace kestra::test
