// The framer on the bootloader line: exchanges of every reply shape, each
// answered either by a well-formed reply the input describes (ACK and its
// bytes, ACK N data ACK, a NACK) that must come out whole and unchanged, or
// by any bytes at all, with stray bytes and silences between exchanges.
#include "fuzz/FramerChecks.h"

namespace kestra::fuzz {
namespace {

constexpr std::uint8_t Nack = 0x1F;

QByteArray bytesFrom(FuzzedDataProvider& in, std::size_t length) {
    const std::vector<char> bytes = in.ConsumeBytes<char>(length);
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// The first byte of a reply: mostly ACK, sometimes NACK or anything.
char firstByte(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0:
        return static_cast<char>(Nack);
    case 1:
        return static_cast<char>(in.ConsumeIntegral<std::uint8_t>());
    default:
        return static_cast<char>(BootloaderAck);
    }
}

// A reply of the shape, whole.
QByteArray wellFormed(const ReplyShape& shape, FuzzedDataProvider& in) {
    QByteArray reply(1, firstByte(in));
    if (static_cast<std::uint8_t>(reply[0]) != BootloaderAck)
        return reply;
    switch (shape.kind) {
    case ReplyShape::Kind::BootloaderAckThen: {
        reply += bytesFrom(in, static_cast<std::size_t>(shape.count));
        reply.resize(1 + shape.count, '\0');
        break;
    }
    case ReplyShape::Kind::BootloaderCounted: {
        const auto n = in.ConsumeIntegral<std::uint8_t>();
        reply.append(static_cast<char>(n));
        QByteArray data = bytesFrom(in, n + 1u);
        data.resize(n + 1, '\0');
        reply += data;
        reply.append(static_cast<char>(BootloaderAck));
        break;
    }
    default:
        break;
    }
    return reply;
}

ReplyShape shapeFrom(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange(0, 2)) {
    case 0:
        return ReplyShape::bootloaderAck();
    case 1:
        return ReplyShape::bootloaderAckThen(in.ConsumeIntegralInRange(0, 260));
    default:
        return ReplyShape::bootloaderCounted();
    }
}

// Feeds bytes in reads the input cuts, the pauses between them below
// longestPauseMs, with a silence now and then; returns every message.
std::vector<FramedMessage> feedInReads(FramerHarness& framer, const QByteArray& bytes,
                                       int longestPauseMs, FuzzedDataProvider& in) {
    std::vector<FramedMessage> out;
    const auto collect = [&] {
        out.insert(out.end(), framer.output().begin(), framer.output().end());
    };
    for (qsizetype at = 0; at < bytes.size();) {
        const qsizetype length = in.remaining_bytes() > 0
                                     ? in.ConsumeIntegralInRange<qsizetype>(1, 300)
                                     : bytes.size() - at;
        const int pause = in.ConsumeIntegralInRange(0, longestPauseMs);
        if (in.ConsumeBool()) {
            framer.silence(pause);
            collect();
            framer.feed(bytes.mid(at, length), 0);
        } else {
            framer.feed(bytes.mid(at, length), pause);
        }
        collect();
        at += length;
    }
    return out;
}

} // namespace
} // namespace kestra::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kestra;
    using namespace kestra::fuzz;
    FuzzedDataProvider in(data, size);
    FramerHarness framer(MessageFramer::Line::Bootloader);
    while (in.remaining_bytes() > 0) {
        switch (in.ConsumeIntegralInRange(0, 7)) {
        case 0: // stray bytes, no reply expected
            framer.cancelReply();
            feedInReads(framer, bytesFrom(in, in.ConsumeIntegralInRange<std::size_t>(1, 8)), 250,
                        in);
            break;
        case 1:
            framer.silence(in.ConsumeIntegralInRange(0, 250));
            break;
        case 2:
        case 3: { // any answer
            framer.expectReply(shapeFrom(in));
            feedInReads(framer, bytesFrom(in, in.ConsumeIntegralInRange<std::size_t>(0, 300)), 250,
                        in);
            break;
        }
        default: { // a whole answer, however the reads fall
            const ReplyShape shape = shapeFrom(in);
            const QByteArray reply = wellFormed(shape, in);
            framer.expectReply(shape);
            const std::vector<FramedMessage> out =
                feedInReads(framer, reply, MessageFramer::ReplyQuietMs - 1, in);
            const auto replies = std::count_if(out.begin(), out.end(), [](const FramedMessage& m) {
                return m.kind == FramedMessage::Kind::Reply;
            });
            FUZZ_CHECK(replies == 1);
            const auto got = std::find_if(out.begin(), out.end(), [](const FramedMessage& m) {
                return m.kind == FramedMessage::Kind::Reply;
            });
            FUZZ_CHECK_MSG(got->complete && got->bytes == reply,
                           "got " + shown(got->bytes) + ", want " + shown(reply));
            FUZZ_CHECK(!framer.framer().awaitingReply());
            break;
        }
        }
    }
    framer.settle();
    return 0;
}
