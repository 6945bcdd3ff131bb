// The pedal's line through FTDI's D2XX library, bound at run time. Every
// status the library returns is turned into a PortResult: a stale handle or
// an I/O error means the device went away.
#pragma once

#include "port/D2xxLibrary.h"
#include "port/Port.h"

#include <functional>

namespace kestra {

class D2xxPort final : public Port {
public:
    explicit D2xxPort(D2xxLibrary& library) : library_(library) {}
    ~D2xxPort() override;

    // The text D2XX's status codes append to an operation's name in the log.
    static QString statusText(d2xx::FT_STATUS status);
    // What the player reads when no D2XX library could be bound.
    static QString missingDriverMessage();
    // The result of an operation on an open device, labelled for the log.
    static PortResult onDevice(const char* label, d2xx::FT_STATUS status);
    // The result of an open that failed with status.
    static PortResult openFailure(d2xx::FT_STATUS status);
    // Appends the serial number and description of each of count devices,
    // looked up with an FT_ListDevices-shaped call (a lookup that fails
    // gives an empty text).
    using ListDevicesCall = std::function<d2xx::FT_STATUS(void*, void*, d2xx::DWORD)>;
    static void appendListed(d2xx::DWORD count, const ListDevicesCall& list,
                             std::vector<PortDevice>& devices);

    QString backendName() const override;
    QString advice(PortResult::Error error) const override;
    PortResult listDevices(std::vector<PortDevice>& devices) override;
    PortResult open(const PortDevice& device) override;
    PortResult close() override;
    bool isOpen() const override { return handle_ != nullptr; }
    PortResult setLine(const LineSettings& line) override;
    PortResult setLatencyTimer(int ms) override;
    PortResult read(QByteArray& bytes) override;
    PortResult write(QByteArrayView bytes) override;
    PortResult drained(bool& done) override;
    PortResult purge(Purge what) override;

    // The open call takes at most this many characters of a serial number.
    static constexpr int SerialNumberLimit = 49;
    // The most one read takes; the rest waits for the next.
    static constexpr int ReadLimit = 65536;

private:
    PortResult noDriver() const;
    // Hands on what FT_Write did not take yet.
    PortResult writeUnsent();

    D2xxLibrary& library_;
    d2xx::FT_HANDLE handle_ = nullptr;
    LineSettings line_;
    QByteArray unsent_;
    LineTime lineTime_;
};

} // namespace kestra
