// The soak's checks must be able to fail: each is shown a state that breaks
// it and one that does not.
#include "soak/SoakChecks.h"

#include "tests/support/QtPrinters.h"

#include <gtest/gtest.h>

namespace kestra::soak {
namespace {

EnabledStates linkedWithNothingSelected() {
    EditorSituation situation;
    situation.link = Connection::State::Linked;
    return enabledStates(situation);
}

TEST(SoakChecks, ControlsThatDisagreeWithTheirStateAreNamed) {
    const EnabledStates implied = linkedWithNothingSelected();
    EXPECT_TRUE(enabledStateBreaks(implied, {{"Link", false},
                                             {"Unlink", true},
                                             {"Get FX Stored on Pedal", true},
                                             {"Upload Selected Effect", false},
                                             {"Assign", false},
                                             {"MIDI", true},
                                             {"Erase EEPROM", true}})
                    .isEmpty());

    EXPECT_EQ(enabledStateBreaks(implied, {{"Upload Selected Effect", true}}),
              QStringList({"Upload Selected Effect is enabled but should be disabled"}));
    EXPECT_EQ(enabledStateBreaks(implied, {{"Read EEPROM", false}, {"Link", true}}),
              QStringList({"Link is enabled but should be disabled",
                           "Read EEPROM is disabled but should be enabled"}));
    EXPECT_EQ(enabledStateBreaks(implied, {{"Assign", true}}),
              QStringList({"Assign is enabled but should be disabled"}));
}

TEST(SoakChecks, AssignMayStayDisabledAMomentAfterAClick) {
    EditorSituation situation;
    situation.link = Connection::State::Linked;
    situation.effectSelected = situation.showsStoredEffect = situation.stateRead = true;
    EXPECT_TRUE(enabledStateBreaks(enabledStates(situation), {{"Assign", false}}).isEmpty());
}

TEST(SoakChecks, OnlyBootloaderCommandsMayReachTheBootloader) {
    const QStringList commands = {
        "7F",             // sync
        "00FF",           // Get
        "02FD",           // Get ID
        "31CE",           // Write Memory
        "0800000008",     // an address and its checksum
        "03DEADBEEF21",   // four data bytes: count, data, checksum
        "FF00",           // global erase
        "0FF0",           // a count and its complement
        "11EE0800000008", // units joined in one write
    };
    EXPECT_TRUE(bootloaderWriteBreaks(commands).isEmpty());

    EXPECT_EQ(bootloaderWriteBreaks({"00FF", "0A0000", "7F"}),
              QStringList({"the bootloader got 0A0000, which is no bootloader command"}));
    EXPECT_EQ(bootloaderWriteBreaks({"7F7F7F"}).size(), 1) << "three syncs are out of step";
    EXPECT_EQ(bootloaderWriteBreaks({"01081600578000"}).size(), 1) << "a knob's frame";
}

TEST(SoakChecks, ValuesReadBelongToTheStoredEffect) {
    EXPECT_TRUE(parameterWindowBreaks(true, "Fuzzmoth", "Fuzzmoth").isEmpty());
    EXPECT_TRUE(parameterWindowBreaks(false, "Fuzzmoth", "Grizzle Drive").isEmpty())
        << "nothing read yet: any effect may be shown";
    EXPECT_EQ(parameterWindowBreaks(true, "Fuzzmoth", "Grizzle Drive"),
              QStringList({"the parameter window shows Fuzzmoth with values read from the "
                           "pedal, which holds Grizzle Drive"}));
}

TEST(SoakChecks, RawDriverTextIsNeverShown) {
    EXPECT_TRUE(
        dialogBreaks({"The pedal was disconnected. Reconnect it and choose Link."}).isEmpty());
    EXPECT_EQ(dialogBreaks({"FT_Purge TX - Invalid handle"}).size(), 1);
}

} // namespace
} // namespace kestra::soak
