#include "catalogue/EffectImage.h"

namespace kestra {

std::optional<int> imageLengthField(QStringView image) {
    if (image.size() < 6)
        return std::nullopt;
    bool ok = false;
    const int value = image.mid(2, 4).toInt(&ok, 16);
    return ok ? std::optional<int>(value) : std::nullopt;
}

QString parameterAddress(const QString& image, int index) {
    if (index < 0 || index >= ParameterSlots)
        return {};
    return image.mid(6 + 4 * index, 4);
}

} // namespace kestra
