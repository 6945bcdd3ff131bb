// What "Upload Selected Effect" sends: the selected effect's image, or the
// image built from an impulse response, with the command byte of the target.
#pragma once

#include "catalogue/Catalogue.h"

#include <QString>
#include <optional>

namespace kestra {

inline constexpr char ImpulseResponseCategory[] = "Impulse Response";

struct UploadRequest {
    QString effectName;
    // The effect takes an impulse response: irImage is sent, not the
    // catalogue's image.
    bool impulseResponse = false;
    QString irImage;
    QString bankCommand; // "0E", "0F", "10"; empty for the preset slot
};

// The hex text of the Upload effect frame, or nothing with *error set.
// Nothing is sent for an image that is missing, damaged or too large: a stray
// byte would leave the pedal waiting for an effect that never comes.
std::optional<QString> composeUploadImage(const UploadRequest& request, const Catalogue& catalogue,
                                          QString* error);

} // namespace kestra
