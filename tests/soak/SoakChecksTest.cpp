// The soak's checks must be able to fail: each is shown a state that breaks
// it and one that does not.
#include "soak/SoakChecks.h"

#include "catalogue/Catalogue.h"
#include "protocol/Frames.h"
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

TEST(SoakChecks, NoApplicationFrameMayReachTheBootloader) {
    // The bootloader's units, split and joined as a host may write them.
    const QStringList bootloaderTraffic = {"7F",
                                           "00FF",
                                           "02FD",
                                           "31",
                                           "CE",
                                           "0800000008",
                                           "03DEADBEEF21",
                                           "43",
                                           "BC",
                                           "FF00",
                                           "11EE0800000008",
                                           "0FF0",
                                           "21DE",
                                           "0600F9",
                                           "02"};
    EXPECT_TRUE(bootloaderWriteBreaks(bootloaderTraffic).isEmpty());

    EXPECT_EQ(bootloaderWriteBreaks({"00FF", "0A0000", "7F"}),
              QStringList({"the bootloader got 0A0000, an application frame"}));
    const QString knob = frames::setParameter("0816", 700 << 13, true).bytes().toHex().toUpper();
    const QString request = frames::requestParameterState(5).bytes().toHex().toUpper();
    EXPECT_EQ(bootloaderWriteBreaks({knob, request}).size(), 2) << knob.toStdString();
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

TEST(SoakChecks, TheSessionKeepsItsRules) {
    SessionFacts sound;
    sound.bankImageBytes = {{"bank1", BankImageLimit - 1}, {"bank2", 0}};
    sound.idle = true;
    sound.versionKnown = true;
    sound.storedNumber = sound.pedalNumber = 7;
    sound.storedVersion = sound.pedalVersion = 3;
    EXPECT_TRUE(sessionBreaks(sound).isEmpty());

    SessionFacts f = sound;
    f.bankImageBytes["bank1"] = BankImageLimit;
    EXPECT_EQ(sessionBreaks(f), QStringList({"bank1 holds 5440 bytes, more than a bank takes"}));
    f = sound;
    f.pedalVersion = 4;
    EXPECT_EQ(sessionBreaks(f).size(), 1) << "a version that is not the pedal's";
    f.pedalNumber = 8;
    EXPECT_TRUE(sessionBreaks(f).isEmpty()) << "another effect: nothing read yet";
    f = sound;
    f.framesWaiting = 1;
    EXPECT_EQ(sessionBreaks(f).size(), 1) << "nothing runs, yet a frame waits";
    f.idle = false;
    EXPECT_TRUE(sessionBreaks(f).isEmpty()) << "it waits for the exchange that runs";
    f.closed = true;
    f.uploadPending = true;
    EXPECT_EQ(sessionBreaks(f).size(), 2) << "both outlived the link";
}

} // namespace
} // namespace kestra::soak
