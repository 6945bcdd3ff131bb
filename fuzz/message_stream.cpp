// Whole messages in, the same messages out: a stream of well-formed real-time
// frames, status texts, EEPROM dumps and replies, made from the input, is cut
// into reads of every length with pauses too short to end anything. The
// framer must hand over exactly those messages, in order, each whole.
#include "fuzz/FramerChecks.h"

namespace kestra::fuzz {
namespace {

using Kind = FramedMessage::Kind;

struct Item {
    FramedMessage message;
    std::optional<ReplyShape> reply; // expected just before the item's first byte
};

FramedMessage message(Kind kind, const QByteArray& bytes, int number = 0) {
    FramedMessage m;
    m.kind = kind;
    m.bytes = bytes;
    m.number = number;
    return m;
}

Item itemFrom(FuzzedDataProvider& in, int& dumps) {
    switch (in.ConsumeIntegralInRange(0, 5)) {
    case 0: {
        const RealtimeFrame frame{in.ConsumeIntegralInRange(0, 11),
                                  in.ConsumeIntegralInRange(0, 15),
                                  in.ConsumeIntegralInRange(0, 1024)};
        QByteArray bytes(1, static_cast<char>(RealtimeFrameType));
        for (int byte : {frame.source, frame.parameter, frame.value >> 8, frame.value & 0xFF})
            bytes.append(static_cast<char>(byte));
        Item item{message(Kind::Realtime, bytes), {}};
        item.message.frame = frame;
        return item;
    }
    case 1: {
        const int digit = in.ConsumeIntegralInRange(0, 9);
        return {message(Kind::BankStatus, "0" + QByteArray::number(digit), digit), {}};
    }
    case 2: {
        const int digits = in.ConsumeIntegralInRange(1, 4);
        const int number = in.ConsumeIntegralInRange(0, (1 << (4 * digits)) - 1);
        QByteArray text = QByteArray::number(number, 16).rightJustified(digits, '0');
        if (in.ConsumeBool())
            text = text.toUpper();
        return {message(Kind::EffectStatus, "1" + text, number), {}};
    }
    case 3:
        if (dumps < 2) {
            ++dumps;
            const auto step = in.ConsumeIntegral<std::uint8_t>();
            QByteArray dump(1, static_cast<char>(EepromDumpType));
            for (int i = 0; i < EepromSize; ++i)
                dump.append(static_cast<char>(i * step + (i >> 8)));
            return {message(Kind::EepromDump, dump), {}};
        }
        [[fallthrough]];
    case 4:
        return {message(Kind::UploadComplete, UploadCompleteText), {}};
    default: {
        // Lines of any bytes but CR, each ended by CR LF; a reply starts with
        // anything but the first byte of a frame, a dump or "Upload complete".
        const int lines = in.ConsumeIntegralInRange(1, 8);
        QByteArray bytes;
        for (int i = 0; i < lines; ++i) {
            const std::vector<char> line =
                in.ConsumeBytes<char>(in.ConsumeIntegralInRange<std::size_t>(0, 6));
            for (char c : line)
                bytes.append(c == '\r' ? '.' : c);
            bytes.append("\r\n");
        }
        const auto first = static_cast<std::uint8_t>(bytes[0]);
        if (first == RealtimeFrameType || first == EepromDumpType || first == 'U')
            bytes[0] = '\n';
        return {message(Kind::Reply, bytes), ReplyShape::textLines(lines)};
    }
    }
}

void checkSame(const FramedMessage& got, const FramedMessage& want) {
    const auto detail = [&] { return "got " + shown(got.bytes) + ", want " + shown(want.bytes); };
    FUZZ_CHECK_MSG(got.kind == want.kind && got.bytes == want.bytes, detail());
    FUZZ_CHECK_MSG(got.number == want.number && got.complete, detail());
    FUZZ_CHECK_MSG(got.frame.source == want.frame.source &&
                       got.frame.parameter == want.frame.parameter &&
                       got.frame.value == want.frame.value,
                   detail());
}

} // namespace
} // namespace kestra::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kestra;
    using namespace kestra::fuzz;
    FuzzedDataProvider in(data, size);
    std::vector<Item> items;
    int dumps = 0;
    const int count = in.ConsumeIntegralInRange(1, 24);
    for (int i = 0; i < count && in.remaining_bytes() > 0; ++i)
        items.push_back(itemFrom(in, dumps));

    FramerHarness framer;
    std::vector<FramedMessage> got;
    const auto collect = [&] {
        got.insert(got.end(), framer.output().begin(), framer.output().end());
    };
    for (std::size_t i = 0; i < items.size(); ++i) {
        const Item& item = items[i];
        if (item.reply)
            framer.expectReply(*item.reply);
        // Reads of any length, with pauses below every time limit between them.
        const QByteArray& bytes = item.message.bytes;
        for (qsizetype at = 0; at < bytes.size();) {
            const qsizetype length = in.remaining_bytes() > 0
                                         ? in.ConsumeIntegralInRange<qsizetype>(1, 64)
                                         : bytes.size() - at;
            const int pause = in.ConsumeIntegralInRange(0, MessageFramer::StatusQuietMs - 1);
            if (in.ConsumeBool()) {
                const int before = in.ConsumeIntegralInRange(0, pause);
                framer.silence(before);
                collect();
                framer.feed(bytes.mid(at, length), pause - before);
            } else {
                framer.feed(bytes.mid(at, length), pause);
            }
            collect();
            at += length;
        }
        // An effect status of fewer than four digits ends at the next byte
        // that is no hex digit, or after a pause the next read finds.
        const bool shortStatus =
            item.message.kind == FramedMessage::Kind::EffectStatus && bytes.size() < 5;
        if (shortStatus && i + 1 < items.size() && isHexDigit(items[i + 1].message.bytes.front())) {
            framer.silence(in.ConsumeIntegralInRange(MessageFramer::StatusQuietMs, 300));
            collect();
        }
    }
    framer.settle();
    collect();

    FUZZ_CHECK_MSG(got.size() == items.size(),
                   std::to_string(got.size()) + " messages out of " + std::to_string(items.size()));
    for (std::size_t i = 0; i < items.size(); ++i)
        checkSame(got[i], items[i].message);
    return 0;
}
