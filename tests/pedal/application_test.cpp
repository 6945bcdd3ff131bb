// The pedal's application protocol, checked from the host's side: frames in,
// messages out, as the protocol describes them.
#include "pedal_test_support.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace kestra::sim::test {
namespace {

constexpr unsigned kFirmware = 3;

class Application : public ::testing::Test {
protected:
    VirtualPedal pedal;

    Application() { connect(pedal); }

    std::vector<long> requestState(unsigned count) {
        write(pedal, {0x02, static_cast<std::uint8_t>(count)});
        return numbersOf(readOnce(pedal));
    }
    std::string storedEffect() {
        write(pedal, {0x06, 0x00});
        return textOf(readOnce(pedal));
    }
    void upload(const ImageSpec& spec) {
        write(pedal, uploadFrame(spec));
        ASSERT_EQ(textOf(readOnce(pedal)), "Upload complete");
    }
};

TEST_F(Application, EmptyStoreAnswersWithFirmwareVersion) {
    EXPECT_EQ(storedEffect(), "255\r\n255\r\n255\r\n3\r\n");
}

struct UploadCase {
    std::uint8_t command;
    long mode; // as the parameter state reports it
    long bankOrPreset;
};

void PrintTo(const UploadCase& c, std::ostream* os) {
    *os << "command " << int{c.command};
}

class UploadSlots : public Application, public ::testing::WithParamInterface<UploadCase> {};

TEST_P(UploadSlots, StoredEffectIsReportedAndSlotBecomesActive) {
    const auto& c = GetParam();
    upload(spec(c.command, 0x11A, 9));
    EXPECT_EQ(storedEffect(), "0\r\n282\r\n9\r\n3\r\n");
    const auto numbers = requestState(0);
    ASSERT_EQ(numbers.size(), 41u);
    EXPECT_EQ(numbers[38], c.mode);
    EXPECT_EQ(numbers[39], c.bankOrPreset);
}

INSTANTIATE_TEST_SUITE_P(Slots, UploadSlots,
                         ::testing::Values(UploadCase{0x00, 0, 0}, UploadCase{0x0E, 1, 0},
                                           UploadCase{0x0F, 1, 1}, UploadCase{0x10, 1, 2}));

TEST_F(Application, PresetAndBankSlotsKeepTheirOwnEffects) {
    upload(spec(0x00, 0x0042, 1));
    upload(spec(0x0F, 0x0107, 2));
    EXPECT_EQ(storedEffect(), "0\r\n263\r\n2\r\n3\r\n");
    command(pedal, "mode preset");
    EXPECT_EQ(textOf(readOnce(pedal)), "142"); // effect changed on the pedal
    EXPECT_EQ(storedEffect(), "0\r\n66\r\n1\r\n3\r\n");
}

TEST_F(Application, ImageLongerDeclaredThanSentIsStoredWholeAtOnce) {
    // A catalogue image declares 2176 bytes but holds 2048: the pedal must
    // answer on the write it got, not wait for the rest.
    auto image = spec(0x00);
    image.imageSize = 2048;
    image.declaredLength = 2176;
    const auto frame = uploadFrame(image);
    write(pedal, frame);
    EXPECT_EQ(textOf(readOnce(pedal)), "Upload complete");
    EXPECT_EQ(pedal.image(0), Bytes(frame.begin() + 1, frame.end()));
    EXPECT_EQ(pedal.queueStatus(), 0u);
}

TEST_F(Application, UploadTooShortToHoldAnEffectIsIgnored) {
    auto frame = uploadFrame(spec(0x00));
    frame.resize(37); // ends before the effect version
    write(pedal, frame);
    EXPECT_EQ(pedal.queueStatus(), 0u);
    EXPECT_EQ(storedEffect(), "255\r\n255\r\n255\r\n3\r\n");
    EXPECT_EQ(pedal.writeLog().front(), frame);
}

TEST_F(Application, ParameterStateLayout) {
    upload(withAddresses(spec(0x10)));
    write(pedal, setParameterFrame(0x0110, 512)); // parameter 1
    write(pedal, setParameterFrame(0x0100, 1024));
    // Assign: 16 sources, then LEDs, bypass source, preset-change source.
    Bytes assign{0x04};
    for (int i = 0; i < 16; ++i) {
        assign.push_back(i < 12 ? static_cast<std::uint8_t>(i) : 0xFF);
    }
    assign.insert(assign.end(), {3, 2, 1, 0, 9, 10});
    write(pedal, assign);
    write(pedal, {0x08, 0x01, 0x03});
    write(pedal, {0x08, 0x01, 0x04});
    write(pedal, {0x08, 0xFF, 0x04}); // reverse off again
    write(pedal, {0x07, 0x0B});

    const unsigned p = 2;
    const auto n = requestState(p);
    ASSERT_EQ(n.size(), 4 * p + 41);
    const std::vector<long> values(n.begin(), n.begin() + 8);
    EXPECT_EQ(values, (std::vector<long>{0, 128, 0, 0, 0, 64, 0, 0}));
    const std::size_t b = 4 * p;
    for (std::size_t i = 0; i < 16; ++i) {
        EXPECT_EQ(n[b + i], i < 12 ? static_cast<long>(i) : 255) << "source " << i;
    }
    // Routing comes back as bypass, preset change, then the LEDs.
    EXPECT_EQ(n[b + 16], 9);
    EXPECT_EQ(n[b + 17], 10);
    EXPECT_EQ(std::vector<long>(n.begin() + b + 18, n.begin() + b + 22),
              (std::vector<long>{3, 2, 1, 0}));
    for (std::size_t i = 0; i < 16; ++i) {
        EXPECT_EQ(n[b + 22 + i], i == 3 ? 1 : 255) << "reverse " << i;
    }
    EXPECT_EQ(n[b + 38], 1); // bank mode after a bank upload
    EXPECT_EQ(n[b + 39], 2); // bank III
    EXPECT_EQ(n[b + 40], 11);
}

TEST_F(Application, ParameterFramesOfOddShapes) {
    upload(withAddresses(spec(0x00)));
    write(pedal, {0x01, 0x01, 0x20, 0x00}); // typed by hand, too short
    auto longer = setParameterFrame(0x0120, 100);
    longer.insert(longer.end(), {0xEE, 0xEE});
    write(pedal, longer);
    write(pedal, setParameterFrame(0x7777, 5)); // not in the table
    const auto n = requestState(3);
    EXPECT_EQ(std::vector<long>(n.begin() + 8, n.begin() + 12), (std::vector<long>{0, 12, 128, 0}));
    EXPECT_NE(pedal.command("status").text.find("values.by-address=7777:5"), std::string::npos);
    EXPECT_EQ(pedal.writeLog().size(),
              5u); // the short frame is logged like the others
}

TEST_F(Application, RequestCountAboveSixteenIsClamped) {
    EXPECT_EQ(requestState(40).size(), 4u * 16 + 41);
}

TEST_F(Application, EraseThenReadEeprom) {
    write(pedal, {0x0C, 0x51, 0, 0, 0, 0});
    const auto before = readOnce(pedal);
    ASSERT_EQ(before.size(), 1u + kEepromSize);
    EXPECT_NE(std::count(before.begin() + 1, before.end(), 0xFF), static_cast<long>(kEepromSize));
    const auto other = pedal.eeprom(0x50);

    write(pedal, {0x0B, 0x00, 0x00, 0x00}); // no device: ignored
    write(pedal, {0x0B, 0x51, 0x00, 0x00, 0x00});
    write(pedal, {0x0C, 0x51, 0, 0, 0, 0});
    const auto after = readOnce(pedal);
    ASSERT_EQ(after.size(), 1u + kEepromSize);
    EXPECT_EQ(after[0], 0xAB);
    EXPECT_TRUE(std::all_of(after.begin() + 1, after.end(), [](auto b) { return b == 0xFF; }));
    EXPECT_EQ(pedal.eeprom(0x50), other);
}

TEST_F(Application, ErasingTheSettingsDeviceForgetsEffectsAndSettings) {
    upload(spec(0x00, 0x11A, 9));
    write(pedal, {0x04, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                  0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x08, 0xFF});
    write(pedal, {0x03, 0x01});
    write(pedal, {0x0B, 0x50, 0x00, 0x00, 0x00});
    EXPECT_EQ(storedEffect(), "255\r\n255\r\n255\r\n3\r\n");
    const auto numbers = requestState(1);
    ASSERT_EQ(numbers.size(), 45u);
    EXPECT_EQ(numbers[4], 255) << "parameter 0 has no source any more";
    EXPECT_EQ(numbers[4 + 16], 255) << "nor has the bypass toggle";
    EXPECT_EQ(pedal.storedSettings(), Settings{});
}

struct StoreCase {
    bool store;
    long expectedByte; // second byte of parameter 0 after a restart
};

void PrintTo(const StoreCase& c, std::ostream* os) {
    *os << (c.store ? "stored" : "not stored");
}

class StoreSettings : public Application, public ::testing::WithParamInterface<StoreCase> {};

TEST_P(StoreSettings, OnlyStoredSettingsSurviveStateReload) {
    upload(withAddresses(spec(0x00)));
    write(pedal, setParameterFrame(0x0100, 512));
    write(pedal, {0x07, 5});
    if (GetParam().store) {
        write(pedal, {0x03, 16});
    }
    // Tests run in parallel processes: each needs a file of its own.
    const auto path = (std::filesystem::path(::testing::TempDir()) /
                       ("pedal-store-" + std::to_string(getpid()) + ".state"))
                          .string();
    std::string error;
    ASSERT_TRUE(pedal.saveState(path, error)) << error;
    VirtualPedal restarted;
    connect(restarted);
    ASSERT_TRUE(restarted.loadState(path, error)) << error;
    std::filesystem::remove(path);
    write(restarted, {0x02, 1});
    const auto n = numbersOf(readOnce(restarted));
    EXPECT_EQ(n[1], GetParam().expectedByte);
    EXPECT_EQ(n[4 + 40], GetParam().store ? 5 : 0);
    EXPECT_EQ(restarted.image(0),
              pedal.image(0)); // the effect store is flash, always kept
}

INSTANTIATE_TEST_SUITE_P(Store, StoreSettings,
                         ::testing::Values(StoreCase{true, 64}, StoreCase{false, 0}));

TEST_F(Application, HandWrittenStateNamesOnlyWhatItChanges) {
    std::string error;
    ASSERT_TRUE(pedal.loadStateText("# scenario\nfirmware=7\nmode=bank\nbank=1\nmidi=16\n"
                                    "sources=1,255,255,255,255,255,255,255,255,255,255,255,255,"
                                    "255,255,255\n",
                                    error))
        << error;
    EXPECT_EQ(storedEffect(), "255\r\n255\r\n255\r\n7\r\n");
    const auto n = requestState(0);
    EXPECT_EQ(n[0], 1);
    EXPECT_EQ(n[38], 1);
    EXPECT_EQ(n[39], 1);
    EXPECT_EQ(n[40], 16);
    EXPECT_FALSE(pedal.loadStateText("bank=7\n", error));
    EXPECT_FALSE(pedal.loadStateText("nonsense\n", error));
}

TEST_F(Application, StateTextRoundTrips) {
    upload(withAddresses(spec(0x0E)));
    write(pedal, setParameterFrame(0x0130, 700));
    write(pedal, setParameterFrame(0x4444, 3));
    write(pedal, {0x08, 0x01, 0x02});
    write(pedal, {0x0B, 0x50, 0, 0, 0});
    write(pedal, {0x03, 16});
    VirtualPedal copy;
    std::string error;
    ASSERT_TRUE(copy.loadStateText(pedal.stateText(), error)) << error;
    EXPECT_EQ(copy.storedSettings(), pedal.storedSettings());
    EXPECT_EQ(copy.eeprom(0x50), pedal.eeprom(0x50));
    EXPECT_EQ(copy.eeprom(0x51), pedal.eeprom(0x51));
    EXPECT_EQ(copy.bootloader().flash(), pedal.bootloader().flash());
    EXPECT_EQ(copy.image(1), pedal.image(1));
    EXPECT_EQ(copy.stateText(), pedal.stateText());
}

// Whatever a state file holds, saving what it loaded and loading that again
// ends in the same pedal.
class StateFiles : public ::testing::TestWithParam<const char*> {};

TEST_P(StateFiles, LoadSaveLoadGivesTheSameState) {
    VirtualPedal pedal;
    std::string error;
    ASSERT_TRUE(pedal.loadStateText(GetParam(), error)) << error;
    const std::string saved = pedal.stateText();
    const auto flash = pedal.bootloader().flash();
    ASSERT_TRUE(pedal.loadStateText(saved, error)) << error;
    EXPECT_EQ(pedal.stateText(), saved);
    EXPECT_EQ(pedal.bootloader().flash(), flash);
}

INSTANTIATE_TEST_SUITE_P(
    States, StateFiles,
    ::testing::Values("", "flash.0=\n", "firmware=255\nflash.0=\n", "flash.127=00\n",
                      "firmware=9\n", "eeprom.50=\neeprom.51=\n",
                      "image.bank1="
                      "00300000000000000000000000000000000000000000000000000000000000"
                      "0000000000000000000000000000000000000000\nmode=bank\nbank=1\n",
                      "values=0,1024,0,0,0,0,0,0,0,0,0,0,0,0,0,7\nvalue.0x1234=9\n"
                      "reverse=1,0,0,0,0,0,0,0,0,0,0,0,0,0,0,1\nmidi=16\n"));

TEST(StateFiles, ErasedFlashLoadsErased) {
    VirtualPedal pedal;
    std::string error;
    ASSERT_TRUE(pedal.loadStateText("flash.0=\n", error)) << error;
    const auto& flash = pedal.bootloader().flash();
    EXPECT_TRUE(std::all_of(flash.begin(), flash.end(), [](auto b) { return b == 0xFF; }));
    EXPECT_EQ(pedal.firmwareVersion(), 255);
}

TEST_F(Application, KnobSendsOneFramePerRoutedParameterWithReverse) {
    upload(withAddresses(spec(0x00)));
    Bytes assign(23, 0xFF);
    assign[0] = 0x04;
    assign[1 + 2] = 1; // parameters 2 and 5 on knob II
    assign[1 + 5] = 1;
    assign[1 + 7] = 0; // parameter 7 on knob I
    write(pedal, assign);
    write(pedal, {0x08, 0x01, 0x05});

    command(pedal, "knob 2 300");
    // Two frames, one read: 300 and its reverse 1023 - 300.
    EXPECT_EQ(readOnce(pedal), (Bytes{0xAA, 1, 2, 0x01, 0x2C, 0xAA, 1, 5, 0x02, 0xD3}));
    const auto n = requestState(6);
    EXPECT_EQ(n[2 * 4 + 1], 300 << 13 >> 16 & 0xFF);
    EXPECT_EQ(n[5 * 4 + 1], 723 << 13 >> 16 & 0xFF);

    command(pedal, "knob 3 10"); // nothing routed to knob III
    EXPECT_EQ(pedal.queueStatus(), 0u);
}

struct SwitchCase {
    const char* command;
    std::uint8_t source;
    bool reversed;
    std::uint16_t expected;
};

void PrintTo(const SwitchCase& c, std::ostream* os) {
    *os << c.command << (c.reversed ? " reversed" : "");
}

class Switches : public Application, public ::testing::WithParamInterface<SwitchCase> {};

TEST_P(Switches, SendTheSwitchLevel) {
    const auto& c = GetParam();
    Bytes assign(23, 0xFF);
    assign[0] = 0x04;
    assign[1 + 9] = c.source;
    write(pedal, assign);
    if (c.reversed) {
        write(pedal, {0x08, 0x01, 9});
    }
    command(pedal, c.command);
    EXPECT_EQ(readOnce(pedal), (Bytes{0xAA, c.source, 9, static_cast<std::uint8_t>(c.expected >> 8),
                                      static_cast<std::uint8_t>(c.expected & 0xFF)}));
}

INSTANTIATE_TEST_SUITE_P(Levels, Switches,
                         ::testing::Values(SwitchCase{"switch B1 on", 5, false, 1024},
                                           SwitchCase{"switch B3 on", 7, true, 0},
                                           SwitchCase{"switch B2 off", 6, true, 1024},
                                           SwitchCase{"footswitch FL", 9, false, 1024},
                                           SwitchCase{"exp 1023", 11, false, 1023},
                                           SwitchCase{"exp 0", 11, true, 1023},
                                           SwitchCase{"knob 5 17", 4, false, 17}));

TEST_F(Application, FootswitchStepsBanksInBankModeAndReportsEffectChanges) {
    upload(spec(0x0F, 0x022));
    upload(spec(0x0E, 0x11A)); // now at bank I
    // Bank and effect messages come back to back: the host reads them joined.
    command(pedal, "footswitch FS");
    EXPECT_EQ(textOf(readOnce(pedal)), "01122"); // bank II, then effect 0x22
    command(pedal, "footswitch FS");             // bank III is empty: no effect message
    EXPECT_EQ(textOf(readOnce(pedal)), "02");
    command(pedal, "footswitch FS");
    EXPECT_EQ(textOf(readOnce(pedal)), "00111A"); // bank I, then effect 0x11A
}

TEST_F(Application, FootswitchInPresetModeOrAsBypassDoesNotStepBanks) {
    command(pedal, "footswitch FS");
    EXPECT_EQ(pedal.queueStatus(), 0u);

    upload(spec(0x0E));
    Bytes assign(23, 0xFF);
    assign[0] = 0x04;
    assign[21] = 8; // FS is the bypass source
    write(pedal, assign);
    command(pedal, "footswitch FS");
    EXPECT_EQ(pedal.queueStatus(), 0u);
    EXPECT_NE(pedal.command("status").text.find("bypass=1"), std::string::npos);
}

TEST_F(Application, PedalSideEffectChangeIsReportedInHex) {
    command(pedal, "effect 0x2B");
    EXPECT_EQ(textOf(readOnce(pedal)), "12B");
    EXPECT_EQ(storedEffect(), "0\r\n43\r\n0\r\n3\r\n");
}

TEST_F(Application, BootloaderNeedsTheSaveButtonAndTheKey) {
    const Bytes enter{0x05, 0, 1, 2, 3, 4, 5, 6};
    write(pedal, enter);
    EXPECT_FALSE(pedal.inBootloader());
    command(pedal, "save-button down");
    write(pedal, {0x05, 0, 1, 2, 3, 4, 5, 7});
    EXPECT_FALSE(pedal.inBootloader());
    write(pedal, enter);
    EXPECT_TRUE(pedal.inBootloader());
}

TEST_F(Application, EveryWriteIsLoggedAsHex) {
    write(pedal, {0x06, 0x00});
    write(pedal, {0xDE, 0xAD});
    write(pedal, {0x0d, 0x01});
    EXPECT_EQ(pedal.command("writes").text, "0600\nDEAD\n0D01\n");
    command(pedal, "clear-writes");
    EXPECT_EQ(pedal.command("writes").text, "");
}

TEST_F(Application, MalformedCommandsAreRejected) {
    for (const char* line : {"", "knob 6 10", "knob 1 1024", "switch B4 on", "bank 3", "send 0",
                             "fault split", "eeprom 52", "devices 1", "frobnicate"}) {
        EXPECT_FALSE(pedal.command(line).ok) << line;
    }
}

} // namespace
} // namespace kestra::sim::test
