// Every enabled state comes from one function: a table of situations and
// what each must enable, rather than a test per window.
#include "ui/EnabledStates.h"

#include <gtest/gtest.h>

namespace kestra {
namespace {

using State = Connection::State;

struct Case {
    const char* name;
    EditorSituation situation;
    // The states that must be on; every other one must be off.
    std::vector<bool EnabledStates::*> on;
};
void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

EditorSituation situation(State link, bool selected = false, bool stored = false, bool read = false,
                          bool bank = false, bool history = false) {
    EditorSituation s;
    s.canUndo = history;
    s.canRedo = history;
    s.link = link;
    s.effectSelected = selected;
    s.selectionUploadable = selected;
    s.showsStoredEffect = stored;
    s.stateRead = read;
    s.bankMode = bank;
    return s;
}

const std::vector<bool EnabledStates::*> AllStates = {
    &EnabledStates::scan,
    &EnabledStates::link,
    &EnabledStates::unlink,
    &EnabledStates::chooseBackend,
    &EnabledStates::upload,
    &EnabledStates::getStoredEffect,
    &EnabledStates::request,
    &EnabledStates::assign,
    &EnabledStates::storeSettings,
    &EnabledStates::effectInfo,
    &EnabledStates::banks,
    &EnabledStates::live,
    &EnabledStates::loadConfiguration,
    &EnabledStates::saveConfiguration,
    &EnabledStates::loadImpulseResponse,
    &EnabledStates::midi,
    &EnabledStates::mode,
    &EnabledStates::upgradeMode,
    &EnabledStates::upgradeModeChecked,
    &EnabledStates::startUpgrade,
    &EnabledStates::eraseSettings,
    &EnabledStates::eepromTools,
    &EnabledStates::upgradeChoice,
    &EnabledStates::upgradeFirmware,
    &EnabledStates::parameters,
    &EnabledStates::footswitchRouting,
    &EnabledStates::undo,
    &EnabledStates::redo,
    &EnabledStates::updateNow,
    &EnabledStates::backup,
    &EnabledStates::restore,
    &EnabledStates::frontPanel,
    &EnabledStates::pedalEffectChoice,
};

// A situation of the table with one more thing true.
EditorSituation plus(EditorSituation s, bool EditorSituation::*also) {
    s.*also = true;
    return s;
}

using E = EnabledStates;
bool E::*const linkedBasics[] = {
    &E::unlink,        &E::getStoredEffect, &E::midi,          &E::mode,   &E::upgradeMode,
    &E::eraseSettings, &E::eepromTools,     &E::upgradeChoice, &E::backup, &E::restore};

std::vector<bool E::*> with(std::initializer_list<bool E::*> extra) {
    std::vector<bool E::*> all(std::begin(linkedBasics), std::end(linkedBasics));
    all.insert(all.end(), extra);
    return all;
}

const Case Cases[] = {
    {"StartUp",
     situation(State::Unlinked),
     {&E::scan, &E::link, &E::chooseBackend, &E::upgradeMode, &E::upgradeChoice}},
    {"Lost",
     situation(State::Lost, true, true, true),
     {&E::scan, &E::link, &E::chooseBackend, &E::upgradeMode, &E::upgradeChoice, &E::effectInfo}},
    {"LinkingWaitsForTheStoredEffect",
     situation(State::Linking, true),
     {&E::unlink, &E::effectInfo, &E::upgradeChoice}},
    {"LinkedNothingSelected", situation(State::Linked), with({})},
    {"LinkedAnotherEffect", situation(State::Linked, true), with({&E::upload, &E::effectInfo})},
    {"StoredEffectBeforeRequest", situation(State::Linked, true, true),
     with({&E::upload, &E::effectInfo, &E::request})},
    {"StoredEffectRead", situation(State::Linked, true, true, true),
     with({&E::upload, &E::effectInfo, &E::request, &E::assign, &E::storeSettings, &E::live,
           &E::loadConfiguration, &E::saveConfiguration, &E::parameters, &E::footswitchRouting})},
    {"BankModeFixesTheFootswitches", situation(State::Linked, true, true, true, true),
     with({&E::upload, &E::effectInfo, &E::request, &E::assign, &E::storeSettings, &E::live,
           &E::loadConfiguration, &E::saveConfiguration, &E::parameters, &E::banks})},
    // While an operation runs, only Unlink (to end a hanging wait) is left.
    {"Busy",
     situation(State::Busy, true, true, true),
     {&E::unlink, &E::effectInfo, &E::upgradeChoice}},
    {"BootloaderListens",
     situation(State::Bootloader, true, true, true),
     {&E::unlink, &E::upgradeMode, &E::upgradeModeChecked, &E::startUpgrade, &E::effectInfo,
      &E::upgradeChoice}},
    // Nothing may cut a firmware write, not even Unlink.
    {"Upgrading",
     situation(State::Upgrading, true, true, true),
     {&E::effectInfo, &E::upgradeModeChecked}},
    {"UpgradeModeArmsTheNextLink",
     plus(situation(State::Unlinked), &EditorSituation::upgradeArmed),
     {&E::scan, &E::link, &E::chooseBackend, &E::upgradeMode, &E::upgradeModeChecked,
      &E::upgradeChoice}},
    // From the click on Upgrade Firmware, its question included, the choice
    // and the button rest, and nothing ends the editor.
    {"UpgradeAsked",
     plus(plus(situation(State::Bootloader), &EditorSituation::upgrading),
          &EditorSituation::newerVersion),
     {&E::unlink, &E::upgradeMode, &E::upgradeModeChecked, &E::startUpgrade}},
    {"NewerVersionFound",
     plus(situation(State::Unlinked), &EditorSituation::newerVersion),
     {&E::scan, &E::link, &E::chooseBackend, &E::upgradeMode, &E::upgradeChoice, &E::updateNow}},
    {"NoUpdateWhileFirmwareIsWritten",
     plus(situation(State::Upgrading), &EditorSituation::newerVersion),
     {&E::upgradeModeChecked}},
    {"AssignRestsAMomentAfterAClick",
     plus(situation(State::Linked, true, true, true), &EditorSituation::assignResting),
     with({&E::upload, &E::effectInfo, &E::request, &E::storeSettings, &E::live,
           &E::loadConfiguration, &E::saveConfiguration, &E::parameters, &E::footswitchRouting})},
    {"UndoAndRedoOnALiveWindow", situation(State::Linked, true, true, true, false, true),
     with({&E::upload, &E::effectInfo, &E::request, &E::assign, &E::storeSettings, &E::live,
           &E::loadConfiguration, &E::saveConfiguration, &E::parameters, &E::footswitchRouting,
           &E::undo, &E::redo})},
    // Undo sends frames: not before Request, not while an operation runs.
    {"NoUndoBeforeRequest", situation(State::Linked, true, true, false, false, true),
     with({&E::upload, &E::effectInfo, &E::request})},
    {"NoUndoWhileBusy",
     situation(State::Busy, true, true, true, false, true),
     {&E::unlink, &E::effectInfo, &E::upgradeChoice}},
    {"NoUndoOnceUnlinked",
     situation(State::Unlinked, true, true, true, false, true),
     {&E::scan, &E::link, &E::chooseBackend, &E::upgradeMode, &E::upgradeChoice, &E::effectInfo}},
    // The virtual pedal's front panel: touched before Link (SAVE held for the
    // bootloader), while it listens, and during a write, when only its
    // effect and bank stay as they are.
    {"VirtualPedalBeforeLink",
     plus(situation(State::Unlinked), &EditorSituation::virtualPedal),
     {&E::scan, &E::link, &E::chooseBackend, &E::upgradeMode, &E::upgradeChoice, &E::frontPanel,
      &E::pedalEffectChoice}},
    {"VirtualPedalLive",
     plus(situation(State::Linked, true, true, true), &EditorSituation::virtualPedal),
     with({&E::upload, &E::effectInfo, &E::request, &E::assign, &E::storeSettings, &E::live,
           &E::loadConfiguration, &E::saveConfiguration, &E::parameters, &E::footswitchRouting,
           &E::frontPanel, &E::pedalEffectChoice})},
    {"VirtualPedalBootloaderListens",
     plus(situation(State::Bootloader), &EditorSituation::virtualPedal),
     {&E::unlink, &E::upgradeMode, &E::upgradeModeChecked, &E::startUpgrade, &E::upgradeChoice,
      &E::frontPanel, &E::pedalEffectChoice}},
    {"VirtualPedalWhileFirmwareIsWritten",
     plus(situation(State::Upgrading), &EditorSituation::virtualPedal),
     {&E::upgradeModeChecked, &E::frontPanel}},
};

class EnabledStatesTable : public ::testing::TestWithParam<Case> {};

TEST_P(EnabledStatesTable, FollowTheLinkAndTheSelection) {
    const Case& c = GetParam();
    const EnabledStates e = enabledStates(c.situation);
    for (bool E::*state : AllStates) {
        const bool expected = std::find(c.on.begin(), c.on.end(), state) != c.on.end();
        EXPECT_EQ(e.*state, expected)
            << "state #"
            << (std::find(AllStates.begin(), AllStates.end(), state) - AllStates.begin());
    }
}

INSTANTIATE_TEST_SUITE_P(Situations, EnabledStatesTable, ::testing::ValuesIn(Cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(EnabledStates, UploadNeedsASelectionThatFits) {
    EditorSituation s = situation(State::Linked, true);
    s.selectionUploadable = false;
    EXPECT_FALSE(enabledStates(s).upload) << "too large for the bank";
    s = situation(State::Linked);
    EXPECT_FALSE(enabledStates(s).upload) << "nothing selected";
}

TEST(EnabledStates, UndoAndRedoFollowTheirOwnSideOfTheHistory) {
    EditorSituation s = situation(State::Linked, true, true, true);
    s.canUndo = true;
    EXPECT_TRUE(enabledStates(s).undo);
    EXPECT_FALSE(enabledStates(s).redo);
    s.canUndo = false;
    s.canRedo = true;
    EXPECT_FALSE(enabledStates(s).undo);
    EXPECT_TRUE(enabledStates(s).redo);
}

TEST(EnabledStates, ImpulseResponsesAndFirmwareFollowTheirOwnChoice) {
    EditorSituation s = situation(State::Unlinked, true);
    s.impulseResponseEffect = true;
    EXPECT_TRUE(enabledStates(s).loadImpulseResponse) << "loading needs no pedal";
    s = situation(State::Bootloader);
    EXPECT_FALSE(enabledStates(s).upgradeFirmware) << "no image chosen";
    s.firmwareChosen = true;
    EXPECT_TRUE(enabledStates(s).upgradeFirmware);
}

} // namespace
} // namespace kestra
