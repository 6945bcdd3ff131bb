// The inbound framer on any bytes: reads cut where the input says, on both
// lines, replies of every shape expected, cancelled and forgotten at points
// the input picks, and silences of every length. FramerHarness checks every
// message and that each byte fed ends up in exactly one of them.
#include "fuzz/FramerChecks.h"

namespace kestra::fuzz {
namespace {

ReplyShape shapeFrom(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange(0, 4)) {
    case 0:
        return ReplyShape::textLines(in.ConsumeIntegralInRange(0, 110));
    case 4:
        return ReplyShape::textLinesRestIgnored(in.ConsumeIntegralInRange(0, 6));
    case 1:
        return ReplyShape::bootloaderAck();
    case 2:
        return ReplyShape::bootloaderAckThen(in.ConsumeIntegralInRange(0, 300));
    default:
        return ReplyShape::bootloaderCounted();
    }
}

// 0xAB and up to a little more than a dump's worth of bytes, in one or two
// reads: an input of a few kilobytes cannot hold a whole dump itself.
void feedDump(FramerHarness& framer, FuzzedDataProvider& in) {
    const int length = in.ConsumeIntegralInRange(0, EepromSize + 8);
    const auto step = in.ConsumeIntegral<std::uint8_t>();
    QByteArray dump(1, static_cast<char>(EepromDumpType));
    for (int i = 0; i < length; ++i)
        dump.append(static_cast<char>(i * step));
    const int cut = in.ConsumeIntegralInRange(0, length + 1);
    framer.feed(dump.left(cut), in.ConsumeIntegralInRange(0, 40));
    framer.feed(dump.mid(cut), in.ConsumeIntegralInRange(0, 40));
}

} // namespace
} // namespace kestra::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kestra;
    using namespace kestra::fuzz;
    FuzzedDataProvider in(data, size);
    FramerHarness framer(in.ConsumeBool() ? MessageFramer::Line::Bootloader
                                          : MessageFramer::Line::Application);
    if (in.ConsumeBool())
        framer.setKnownEffects([](int number) { return number >= 1 && number <= 60; });
    while (in.remaining_bytes() > 0) {
        switch (in.ConsumeIntegralInRange(0, 15)) {
        case 9:
        case 10:
            framer.silence(in.ConsumeIntegralInRange(0, 250));
            break;
        case 11:
        case 12:
            framer.expectReply(shapeFrom(in));
            break;
        case 13:
            framer.cancelReply();
            break;
        case 14:
            switch (in.ConsumeIntegralInRange(0, 3)) {
            case 0:
                framer.setLine(MessageFramer::Line::Application);
                break;
            case 1:
                framer.setLine(MessageFramer::Line::Bootloader);
                break;
            case 2:
                framer.clear();
                break;
            default:
                feedDump(framer, in);
                break;
            }
            break;
        default: {
            const auto length = in.ConsumeIntegralInRange<std::size_t>(0, 48);
            const std::vector<char> bytes = in.ConsumeBytes<char>(length);
            framer.feed(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())),
                        in.ConsumeIntegralInRange(0, 40));
            break;
        }
        }
    }
    framer.settle();
    return 0;
}
