#include "protocol/Inbound.h"

namespace kestra {

QString inboundAsciiText(const std::uint8_t* data, int count) {
    QString text(count, Qt::Uninitialized);
    for (int i = 0; i < count; ++i)
        text[i] = data[i] > 0x7F ? QLatin1Char('?') : QLatin1Char(static_cast<char>(data[i]));
    return text;
}

} // namespace kestra
