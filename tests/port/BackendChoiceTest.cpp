// Which backend the programs talk through: the rule on stand-in device lists,
// the port that switches only while nothing is open, the command line's
// options, and the choice the Connection menu remembers.
#include "core/Settings.h"
#include "core/UserFolders.h"
#include "port/Backends.h"
#include "tests/support/FakePort.h"
#include "tests/support/VirtualPedalControl.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace kestra {
namespace {

using test::FakePort;

const PortDevice First{QStringLiteral("KS000001"), QStringLiteral("FT230X Basic UART"), QString()};
const PortDevice Second{QStringLiteral("KS000002"), QStringLiteral("FT230X Basic UART"), QString()};
const PortDevice FirstOnTty{QStringLiteral("KS000001"), QStringLiteral("FT230X Basic UART"),
                            QStringLiteral("/dev/ttyUSB0")};

struct DecisionCase {
    const char* name;
    BackendFacts facts;
    Backend backend;
};
void PrintTo(const DecisionCase& c, std::ostream* os) {
    *os << c.name;
}

class BackendDecision : public ::testing::TestWithParam<DecisionCase> {};

TEST_P(BackendDecision, FollowsTheStrongestFact) {
    const kestra::BackendDecision decision = decideBackend(GetParam().facts);
    EXPECT_EQ(decision.backend, GetParam().backend);
    EXPECT_FALSE(decision.reason.isEmpty()) << "the log says why";
}

BackendFacts facts(bool virtualAsked, bool pathGiven, bool remembered, bool named,
                   std::vector<PortDevice> d2xx, std::vector<PortDevice> serial) {
    return {virtualAsked, pathGiven, remembered, named, std::move(d2xx), std::move(serial)};
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BackendDecision,
    ::testing::Values(DecisionCase{"VirtualAskedBeatsEverything",
                                   facts(true, true, false, true, {First}, {}), Backend::Virtual},
                      DecisionCase{"PortGivenBeatsTheRememberedVirtualPedal",
                                   facts(false, true, true, true, {First}, {}), Backend::Serial},
                      DecisionCase{"RememberedVirtualPedalBeatsANamedLibrary",
                                   facts(false, false, true, true, {First}, {}), Backend::Virtual},
                      DecisionCase{"NamedLibraryWithNothingListed",
                                   facts(false, false, false, true, {}, {}), Backend::D2xx},
                      DecisionCase{"D2xxListsAPedalTheKernelDoesNotHold",
                                   facts(false, false, false, false, {First}, {}), Backend::D2xx},
                      // ftdi_sio holds it: D2XX lists it but cannot open it.
                      DecisionCase{"TheKernelHoldsThePedalD2xxLists",
                                   facts(false, false, false, false, {First}, {FirstOnTty}),
                                   Backend::Serial},
                      DecisionCase{"OneOfTwoPedalsIsFreeForD2xx",
                                   facts(false, false, false, false, {First, Second}, {FirstOnTty}),
                                   Backend::D2xx},
                      DecisionCase{"OnlyTheKernelSeesThePedal",
                                   facts(false, false, false, false, {}, {FirstOnTty}),
                                   Backend::Serial},
                      DecisionCase{"NothingInstalledNothingAttached",
                                   facts(false, false, false, false, {}, {}), Backend::Serial}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ChosenPortTest, SwitchesOnlyWhileNothingIsOpen) {
    FakePort d2xx;
    FakePort serial;
    FakePort virtualPedal;
    ChosenPort port(d2xx, serial, virtualPedal);
    EXPECT_EQ(port.backend(), Backend::Serial);

    ASSERT_TRUE(port.select(Backend::D2xx));
    ASSERT_TRUE(port.open(First).ok());
    EXPECT_TRUE(d2xx.opened);
    EXPECT_FALSE(port.select(Backend::Virtual)) << "the connection holds a D2XX handle";
    EXPECT_EQ(port.backend(), Backend::D2xx);
    ASSERT_TRUE(port.write("\x06").ok());
    EXPECT_EQ(d2xx.writes.size(), 1) << "calls still reach the device that is open";
    EXPECT_TRUE(virtualPedal.writes.isEmpty());

    ASSERT_TRUE(port.close().ok());
    EXPECT_TRUE(port.select(Backend::Virtual));
    EXPECT_FALSE(port.isOpen()) << "the new backend has nothing open";
    ASSERT_TRUE(port.open(First).ok());
    EXPECT_TRUE(virtualPedal.opened);
}

struct OptionsCase {
    const char* name;
    QStringList arguments;
    bool ok;
    bool virtualPedal;
    QString path;
    QStringList rest;
};
void PrintTo(const OptionsCase& c, std::ostream* os) {
    *os << c.name;
}

class BackendOptionsParsing : public ::testing::TestWithParam<OptionsCase> {};

TEST_P(BackendOptionsParsing, TakesTheOptionsAndLeavesTheCommand) {
    const OptionsCase& c = GetParam();
    QStringList arguments = c.arguments;
    QString error;
    const std::optional<BackendOptions> options = takeBackendOptions(arguments, &error);
    ASSERT_EQ(options.has_value(), c.ok) << error.toStdString();
    if (!c.ok) {
        EXPECT_FALSE(error.isEmpty());
        return;
    }
    EXPECT_EQ(options->virtualPedal, c.virtualPedal);
    EXPECT_EQ(options->serialPath, c.path);
    EXPECT_EQ(arguments, c.rest);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BackendOptionsParsing,
    ::testing::Values(
        OptionsCase{"None", {"stored"}, true, false, "", {"stored"}},
        OptionsCase{"VirtualBeforeTheCommand", {"--virtual", "stored"}, true, true, "", {"stored"}},
        OptionsCase{"PortAfterTheCommand",
                    {"upload", "Fx", "--port", "/dev/pts/3"},
                    true,
                    false,
                    "/dev/pts/3",
                    {"upload", "Fx"}},
        OptionsCase{"PortWithEquals",
                    {"--port=/dev/ttyUSB1", "request"},
                    true,
                    false,
                    "/dev/ttyUSB1",
                    {"request"}},
        OptionsCase{"PortWithoutPath", {"stored", "--port"}, false, false, "", {}},
        OptionsCase{"PortWithEmptyPath", {"--port=", "stored"}, false, false, "", {}},
        OptionsCase{"VirtualAndPort", {"--virtual", "--port", "/dev/pts/3"}, false, false, "", {}}),
    [](const auto& info) { return std::string(info.param.name); });

// The editor remembers the player's pick; kestra-cli neither reads nor
// writes it. The stand-in library named by KESTRA_D2XX_LIBRARY makes the
// automatic choice D2XX whatever this machine has attached.
class RememberedChoice : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(documents.isValid());
        setDocumentsFolder(documents.path());
        ASSERT_EQ(settings::makeFolder(
                      settings::subfolderPath(settings::MakerFolder, settings::ProductFolder)),
                  "");
        qputenv("KESTRA_D2XX_LIBRARY", test::virtualD2xxPath().toUtf8());
        pedal.command("reset");
    }
    void TearDown() override {
        qunsetenv("KESTRA_D2XX_LIBRARY");
        setDocumentsFolder(QString());
    }
    QByteArray file() {
        QFile f(settings::connectionFile());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    QTemporaryDir documents;
    test::VirtualPedalControl pedal;
};

TEST_F(RememberedChoice, APickHoldsForTheNextStartAndTheCommandLineStillWins) {
    {
        Backends editor({}, true);
        EXPECT_EQ(editor.backend(), Backend::D2xx);
        EXPECT_EQ(file(), "<missing>") << "nothing picked, nothing written";
        ASSERT_TRUE(editor.pick(true));
        EXPECT_EQ(editor.backend(), Backend::Virtual);
        EXPECT_EQ(file(), "VIRTUAL");
    }
    EXPECT_EQ(Backends({}, true).backend(), Backend::Virtual);
    EXPECT_EQ(Backends({false, QStringLiteral("/dev/pts/77")}, true).backend(), Backend::Serial);
    EXPECT_EQ(Backends({}, false).backend(), Backend::D2xx) << "kestra-cli follows no menu";

    Backends editor({}, true);
    ASSERT_TRUE(editor.pick(false));
    EXPECT_EQ(editor.backend(), Backend::D2xx);
    EXPECT_EQ(file(), "USB");
}

TEST_F(RememberedChoice, AWordSavedByATextEditorCountsAndAnythingElseIsIgnored) {
    QFile f(settings::connectionFile());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("VIRTUAL\r\n");
    f.close();
    EXPECT_EQ(Backends({}, true).backend(), Backend::Virtual);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("virtual");
    f.close();
    EXPECT_EQ(Backends({}, true).backend(), Backend::D2xx);
}

TEST_F(RememberedChoice, NoPickWhileADeviceIsOpen) {
    Backends editor({}, true);
    std::vector<PortDevice> devices;
    ASSERT_TRUE(editor.port().listDevices(devices).ok());
    ASSERT_FALSE(devices.empty());
    ASSERT_TRUE(editor.port().open(devices.back()).ok());
    EXPECT_FALSE(editor.pick(true));
    EXPECT_FALSE(editor.chooseAgain());
    EXPECT_EQ(editor.backend(), Backend::D2xx);
    EXPECT_EQ(file(), "<missing>") << "a refused pick is not remembered";
    editor.port().close();
    EXPECT_TRUE(editor.pick(true));
    EXPECT_EQ(editor.backend(), Backend::Virtual);
}

} // namespace
} // namespace kestra
