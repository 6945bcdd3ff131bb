#include "catalogue/Upload.h"

#include "catalogue/EffectImage.h"
#include "core/DebugLog.h"
#include "protocol/HexText.h"

namespace kestra {

std::optional<QString> composeUploadImage(const UploadRequest& request, const Catalogue& catalogue,
                                          QString* error) {
    QString image;
    if (!request.impulseResponse) {
        const std::optional<QString> stored = catalogue.image(request.effectName, error);
        if (!stored)
            return std::nullopt;
        image = *stored;
    } else {
        image = request.irImage;
        debugLog(QStringLiteral("file content size: %1").arg(imageByteSize(image)));
        if (image.isEmpty()) {
            *error = QStringLiteral("No impulse response has been loaded yet, so there is nothing "
                                    "to upload.\n\nSelect an IR effect, choose File > Load IR "
                                    "and a WAV file, then upload again.");
            return std::nullopt;
        }
    }
    if (image.size() % 2 != 0 || !isHexText(image)) {
        *error = QStringLiteral("The image of \"%1\" is damaged (it is not hexadecimal text), so "
                                "it was not uploaded. Reinstall the editor to repair its "
                                "catalogue.")
                     .arg(request.effectName);
        return std::nullopt;
    }
    if (imageByteSize(image) > MaxImageBytes) {
        *error = QStringLiteral("The image of \"%1\" is %2 bytes, more than the %3 bytes one "
                                "upload can carry, so it was not uploaded.")
                     .arg(request.effectName)
                     .arg(imageByteSize(image))
                     .arg(MaxImageBytes);
        return std::nullopt;
    }
    if (!request.bankCommand.isEmpty())
        image = request.bankCommand + image.mid(2);
    return image;
}

} // namespace kestra
