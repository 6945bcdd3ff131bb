// "Test Rig": an effect with one parameter of every kind at addresses that
// can be read in a test, in a throw-away catalogue folder.
#pragma once

#include "tests/catalogue/CatalogueFixtures.h"

namespace kestra::test {

// Five parameters at addresses 0A00..0A04: knobs Drive and Level, switch
// Bright, button Tap, selector Shape of four positions; readback LFO.
inline const QString TestRig = QStringLiteral("Test Rig");
enum RigParameter { Drive, Level, Bright, Tap, Shape };

class RigCatalogue : public CatalogueFolder {
public:
    RigCatalogue()
        : CatalogueFolder({
              {QStringLiteral("TEST_RIG"), "000032"
                                           "0A000A010A020A030A04" +
                                               QByteArray("0000").repeated(11) +
                                               QByteArray("00").repeated(13)},
              {QStringLiteral("TEST_RIG_CTRLS"), "2211\nDrive\nLevel\nBright:OFF:ON\nTap:TAP:TAP@\n"
                                                 "Shape;Sine;Triangle;Square;Ramp\nLFO"},
          }) {}
};

// "Set parameter" at address with value, as the pedal receives it.
inline QString setAt(const char* address, const char* value) {
    return QStringLiteral("01") + QLatin1String(address) + QLatin1String(value);
}

} // namespace kestra::test
