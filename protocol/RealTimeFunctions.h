// The background receive: every tick of the 1 ms polling timer reads what the
// pedal sent and hands it, as one message, to the window that acts on it.
#pragma once

#include "port/D2XXUnit.h"
#include "protocol/Inbound.h"

#include <QByteArray>
#include <cstdint>

namespace kestra {

class InboundHandler {
public:
    virtual ~InboundHandler() = default;
    virtual void selectBankRadio(int bankIndex) = 0;
    virtual void openReportedEffect(std::uint16_t effectNumber) = 0;
    virtual void showUploadComplete(const QString& text) = 0;
    virtual void applyRealtimeFrame(const RealtimeFrame& frame) = 0;
    // bytes holds the 16,384 EEPROM bytes, address 0 first.
    virtual void showEepromDump(const std::uint8_t* bytes) = 0;
    // A message that cannot be understood ends the tick with this report.
    virtual void reportInboundError(const QString& message) = 0;
};

class RealTimeFunctions {
public:
    // A binary frame cut over several reads is completed from the following
    // reads as long as its pieces arrive within this gap of each other.
    static constexpr int ReassemblyGapMs = 100;

    RealTimeFunctions(D2XXUnit& transport, InboundHandler& handler)
        : transport_(transport), handler_(handler) {}

    // One tick of the background receive.
    void processIncomingData();

private:
    // True when message starts a binary frame that is not complete yet.
    static bool incompleteFrame(const QByteArray& message);
    // False when the message could not be converted.
    bool dispatch(const QByteArray& message);

    D2XXUnit& transport_;
    InboundHandler& handler_;
    QByteArray partial_;
    qint64 partialAtMs_ = 0;
};

} // namespace kestra
