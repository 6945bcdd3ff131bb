// The answer to Get stored effect. Any text: an accepted answer holds
// numbers the lines spell, and "empty" only for the two empty codes. Four
// numbers the input picks, written the pedal's way: read back exactly.
#include "fuzz/FuzzSupport.h"
#include "protocol/StoredEffectReply.h"

#include <QStringList>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kestra;
    using namespace kestra::fuzz;
    FuzzedDataProvider in(data, size);
    QString error;
    if (in.ConsumeBool()) {
        int numbers[4];
        QString text;
        for (int& n : numbers) {
            n = in.ConsumeIntegralInRange(0, 999'999'999);
            text += QString::number(n) + QStringLiteral("\r\n");
        }
        // The last line may end the text, and anything may follow the fourth.
        if (in.ConsumeBool())
            text.chop(2);
        else
            text += QString::fromUtf8(in.ConsumeRemainingBytesAsString().c_str()).remove(u'\r');
        const auto reply = parseStoredEffectReply(text, &error);
        FUZZ_CHECK_MSG(reply, shown(text) + ": " + shown(error));
        FUZZ_CHECK(reply->effectNumber == numbers[1] && reply->effectVersion == numbers[2] &&
                   reply->firmwareVersion == numbers[3]);
        FUZZ_CHECK(reply->empty == ((numbers[0] == 255 && numbers[1] == 255) ||
                                    (numbers[0] == 0 && numbers[1] == 0)));
        return 0;
    }
    const std::string bytes = in.ConsumeRemainingBytesAsString();
    const QString text = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    const auto reply = parseStoredEffectReply(text, &error);
    FUZZ_CHECK(reply.has_value() == error.isEmpty());
    if (!reply)
        return 0;
    // Three line ends at least, and numbers that the text spells.
    FUZZ_CHECK(text.count(u'\r') >= 3);
    for (int n : {reply->effectNumber, reply->effectVersion, reply->firmwareVersion}) {
        FUZZ_CHECK(n >= 0 && n <= 999'999'999);
        FUZZ_CHECK(text.contains(QString::number(n)));
    }
    if (reply->empty)
        FUZZ_CHECK(reply->effectNumber == 0 || reply->effectNumber == 255);
    return 0;
}
