// The D2XX face of the virtual pedal: device list, handles, status codes,
// line settings, the latency timer and the unplug fault, without dlopen.
#include "pedal/usb_bridge.h"

#include <cstring>
#include <functional>
#include <gtest/gtest.h>

namespace kestra::sim::test {
namespace {

using namespace d2xx;

class Bridge : public ::testing::Test {
protected:
    UsbBridge bridge;

    DWORD count() {
        DWORD n = 99;
        EXPECT_EQ(bridge.listDevices(&n, nullptr, FT_LIST_NUMBER_ONLY), FT_OK);
        return n;
    }
    std::string listed(std::uintptr_t index, DWORD what, FT_STATUS expected = FT_OK) {
        char buffer[64] = "untouched";
        EXPECT_EQ(
            bridge.listDevices(reinterpret_cast<void*>(index), buffer, FT_LIST_BY_INDEX | what),
            expected);
        return buffer;
    }
    FT_STATUS open(const char* serial, FT_HANDLE* handle) {
        return bridge.open(const_cast<char*>(serial), FT_OPEN_BY_SERIAL_NUMBER, handle);
    }
    FT_HANDLE openPedal() {
        FT_HANDLE h = nullptr;
        EXPECT_EQ(open("KS000001", &h), FT_OK);
        return h;
    }
    void run(const char* line) { ASSERT_TRUE(bridge.command(line).ok) << line; }
    void setLine(FT_HANDLE h, ULONG baud, UCHAR bits = FT_BITS_8, UCHAR stopBits = FT_STOP_BITS_1,
                 UCHAR parity = FT_PARITY_NONE) {
        ASSERT_EQ(bridge.setBaudRate(h, baud), FT_OK);
        ASSERT_EQ(bridge.setDataCharacteristics(h, bits, stopBits, parity), FT_OK);
    }
    bool statusShows(const std::string& needle) {
        return bridge.command("status").text.find(needle) != std::string::npos;
    }
    // Writes "Get stored effect" and reads whatever one read returns.
    std::string exchange(FT_HANDLE h) {
        std::uint8_t frame[] = {0x06, 0x00};
        DWORD n = 0;
        EXPECT_EQ(bridge.write(h, frame, sizeof frame, &n), FT_OK);
        return readAll(h);
    }
    std::string readAll(FT_HANDLE h) {
        DWORD n = 0;
        EXPECT_EQ(bridge.queueStatus(h, &n), FT_OK);
        std::string text(n, '\0');
        EXPECT_EQ(bridge.read(h, text.data(), n, &n), FT_OK);
        text.resize(n);
        return text;
    }
};

constexpr char kStoredEffect[] = "255\r\n255\r\n255\r\n3\r\n";

TEST_F(Bridge, DefaultListShowsOneAdapter) {
    EXPECT_EQ(count(), 1u);
    EXPECT_EQ(listed(0, FT_OPEN_BY_SERIAL_NUMBER), "KS000001");
    EXPECT_EQ(listed(0, FT_OPEN_BY_DESCRIPTION), "FT230X Basic UART");
    EXPECT_EQ(listed(1, FT_OPEN_BY_SERIAL_NUMBER, FT_DEVICE_NOT_FOUND), "untouched");
}

TEST_F(Bridge, ConfiguredListBacksOnlyTheLastDevice) {
    run("devices 2");
    run("device 0 AB12 Some Other Cable");
    run("device 1 KS777 FT230X Basic UART");
    EXPECT_EQ(count(), 2u);
    EXPECT_EQ(listed(0, FT_OPEN_BY_DESCRIPTION), "Some Other Cable");
    EXPECT_EQ(listed(1, FT_OPEN_BY_SERIAL_NUMBER), "KS777");
    FT_HANDLE h = nullptr;
    EXPECT_EQ(open("AB12", &h), FT_DEVICE_NOT_OPENED);
    EXPECT_EQ(open("KS777", &h), FT_OK);

    run("devices 0");
    EXPECT_EQ(count(), 0u);
}

TEST_F(Bridge, LongSerialIsCutToTheListBuffer) {
    const std::string line = "device 0 " + std::string(80, 'S') + " cable";
    run(line.c_str());
    const auto serial = listed(0, FT_OPEN_BY_SERIAL_NUMBER);
    EXPECT_EQ(serial, std::string(63, 'S'));
}

TEST_F(Bridge, OpenFailures) {
    FT_HANDLE h = nullptr;
    EXPECT_EQ(open("", &h), FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(open("KS000002", &h), FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(open("ks000001", &h), FT_DEVICE_NOT_FOUND);
    h = openPedal();
    EXPECT_NE(h, nullptr);
    EXPECT_LE(reinterpret_cast<std::uintptr_t>(h), 0xFFFFFFFFu);
    FT_HANDLE second = nullptr;
    EXPECT_EQ(open("KS000001", &second), FT_DEVICE_NOT_OPENED);
}

TEST_F(Bridge, StaleHandlesAreInvalid) {
    FT_HANDLE first = openPedal();
    EXPECT_EQ(bridge.close(first), FT_OK);
    EXPECT_EQ(bridge.close(first), FT_INVALID_HANDLE);
    DWORD n = 0;
    EXPECT_EQ(bridge.queueStatus(first, &n), FT_INVALID_HANDLE);
    FT_HANDLE second = openPedal();
    EXPECT_NE(second, first);
    EXPECT_EQ(bridge.queueStatus(first, &n), FT_INVALID_HANDLE);
    EXPECT_EQ(bridge.queueStatus(second, &n), FT_OK);
}

// Every call that talks to the device, so the unplug test can try them all.
std::vector<std::pair<const char*, std::function<FT_STATUS(UsbBridge&, FT_HANDLE)>>> deviceCalls() {
    return {
        {"queue",
         [](UsbBridge& b, FT_HANDLE h) {
             DWORD n;
             return b.queueStatus(h, &n);
         }},
        {"read",
         [](UsbBridge& b, FT_HANDLE h) {
             std::uint8_t buf[4];
             DWORD n;
             return b.read(h, buf, 4, &n);
         }},
        {"write",
         [](UsbBridge& b, FT_HANDLE h) {
             std::uint8_t buf[2] = {6, 0};
             DWORD n;
             return b.write(h, buf, 2, &n);
         }},
        {"purge", [](UsbBridge& b, FT_HANDLE h) { return b.purge(h, FT_PURGE_RX | FT_PURGE_TX); }},
        {"baud", [](UsbBridge& b, FT_HANDLE h) { return b.setBaudRate(h, 115200); }},
        {"line",
         [](UsbBridge& b, FT_HANDLE h) {
             return b.setDataCharacteristics(h, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_EVEN);
         }},
        {"latency", [](UsbBridge& b, FT_HANDLE h) { return b.setLatencyTimer(h, 2); }},
    };
}

TEST_F(Bridge, UnplugFailsEveryDeviceCallUntilReplug) {
    FT_HANDLE h = openPedal();
    for (auto& [name, call] : deviceCalls()) {
        EXPECT_EQ(call(bridge, h), FT_OK) << name;
    }
    run("fault unplug");
    EXPECT_EQ(count(), 0u);
    FT_HANDLE other = nullptr;
    EXPECT_EQ(open("KS000001", &other), FT_DEVICE_NOT_FOUND);
    for (auto& [name, call] : deviceCalls()) {
        EXPECT_EQ(call(bridge, h), FT_IO_ERROR) << name;
    }
    EXPECT_EQ(bridge.close(h), FT_OK);

    h = nullptr;
    run("fault replug");
    EXPECT_EQ(count(), 1u);
    h = openPedal();
    EXPECT_EQ(deviceCalls().front().second(bridge, h), FT_OK);
}

// Only the bridge restarts: the ROM bootloader carries on at its step.
TEST_F(Bridge, ReplugLeavesTheBootloaderWhereItWas) {
    run("bootloader");
    FT_HANDLE h = openPedal();
    setLine(h, 115200, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_EVEN);
    std::uint8_t sync[] = {0x7F};
    std::uint8_t writeMemory[] = {0x31, 0xCE};
    DWORD n = 0;
    ASSERT_EQ(bridge.write(h, sync, 1, &n), FT_OK);
    ASSERT_EQ(bridge.write(h, writeMemory, 2, &n), FT_OK);
    ASSERT_EQ(readAll(h), "\x79\x79");
    run("fault unplug");
    run("fault replug");
    h = openPedal();
    setLine(h, 115200, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_EVEN);
    std::uint8_t address[] = {0x08, 0x00, 0x00, 0x00, 0x08};
    ASSERT_EQ(bridge.write(h, address, 5, &n), FT_OK);
    EXPECT_EQ(readAll(h), "\x79") << "the address of the Write Memory begun before";
    EXPECT_TRUE(statusShows("mode=bootloader\n"));
}

// A test's clock drives the wire timing.
TEST_F(Bridge, TheClockCommandSetsThePedalsTime) {
    FT_HANDLE h = openPedal();
    setLine(h, 115200);
    run("clock 5000");
    run("timing on");
    run("send 41");
    EXPECT_EQ(readAll(h), "");
    run("clock 5020");
    EXPECT_EQ(readAll(h), "A");
    EXPECT_FALSE(bridge.command("clock soon").ok);
}

TEST_F(Bridge, ReplugClosesTheHandleLeftOpen) {
    FT_HANDLE h = openPedal();
    run("fault unplug");
    run("fault replug");
    EXPECT_EQ(bridge.purge(h, FT_PURGE_RX), FT_INVALID_HANDLE);
    EXPECT_NE(openPedal(), nullptr);
}

TEST_F(Bridge, OneReadJoinsMessagesAndPartialReadsContinue) {
    FT_HANDLE h = openPedal();
    setLine(h, 115200);
    run("send 0102");
    run("send 030405");
    DWORD n = 0;
    ASSERT_EQ(bridge.queueStatus(h, &n), FT_OK);
    EXPECT_EQ(n, 5u);
    std::uint8_t buf[16];
    DWORD got = 0;
    ASSERT_EQ(bridge.read(h, buf, 3, &got), FT_OK);
    EXPECT_EQ(got, 3u);
    ASSERT_EQ(bridge.read(h, buf + 3, sizeof buf - 3, &got), FT_OK);
    EXPECT_EQ(got, 2u);
    EXPECT_EQ(std::vector<std::uint8_t>(buf, buf + 5), (std::vector<std::uint8_t>{1, 2, 3, 4, 5}));
}

TEST_F(Bridge, WriteIsOneHostWriteAndPurgeDropsAnswers) {
    FT_HANDLE h = openPedal();
    setLine(h, 115200);
    std::uint8_t frame[] = {0x06, 0x00};
    DWORD written = 0;
    ASSERT_EQ(bridge.write(h, frame, sizeof frame, &written), FT_OK);
    EXPECT_EQ(written, 2u);
    EXPECT_EQ(bridge.command("writes").text, "0600\n");
    DWORD n = 0;
    ASSERT_EQ(bridge.queueStatus(h, &n), FT_OK);
    EXPECT_GT(n, 0u);
    ASSERT_EQ(bridge.purge(h, FT_PURGE_RX), FT_OK);
    ASSERT_EQ(bridge.queueStatus(h, &n), FT_OK);
    EXPECT_EQ(n, 0u);
}

struct LineCase {
    ULONG baud;
    UCHAR bits;
    UCHAR stopBits;
    UCHAR parity;
    const char* shown;
    bool answered;
};

void PrintTo(const LineCase& c, std::ostream* os) {
    *os << c.shown;
}

class LineSettings : public Bridge, public ::testing::WithParamInterface<LineCase> {};

// The application's UART runs at 115200 8N1; at any other setting a frame is
// garbage to it, and its answer would be garbage to the bridge.
TEST_P(LineSettings, ApplicationHearsAndAnswersOnlyAtItsOwnSettings) {
    const auto& c = GetParam();
    FT_HANDLE h = openPedal();
    setLine(h, c.baud, c.bits, c.stopBits, c.parity);
    EXPECT_TRUE(statusShows(std::string("line=") + c.shown + "\n"));
    std::uint8_t midiChannel[] = {0x07, 0x05};
    DWORD n = 0;
    ASSERT_EQ(bridge.write(h, midiChannel, sizeof midiChannel, &n), FT_OK);
    EXPECT_EQ(statusShows("midi=5\n"), c.answered);
    EXPECT_EQ(exchange(h), c.answered ? kStoredEffect : "");
    EXPECT_EQ(bridge.command("writes").text, "0705\n0600\n"); // logged either way
}

INSTANTIATE_TEST_SUITE_P(
    Lines, LineSettings,
    ::testing::Values(
        LineCase{115200, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE, "115200 8N1", true},
        LineCase{9600, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE, "9600 8N1", false},
        LineCase{57600, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE, "57600 8N1", false},
        LineCase{115200, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_EVEN, "115200 8E1", false},
        LineCase{115200, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_ODD, "115200 8O1", false},
        LineCase{115200, FT_BITS_7, FT_STOP_BITS_1, FT_PARITY_NONE, "115200 7N1", false},
        LineCase{115200, FT_BITS_8, FT_STOP_BITS_2, FT_PARITY_NONE, "115200 8N2", false}));

TEST_F(Bridge, BadLineSettingsAreRefused) {
    FT_HANDLE h = openPedal();
    EXPECT_EQ(bridge.setBaudRate(h, 0), FT_INVALID_BAUD_RATE);
    EXPECT_EQ(bridge.setDataCharacteristics(h, 5, FT_STOP_BITS_1, FT_PARITY_NONE),
              FT_INVALID_PARAMETER);
    EXPECT_EQ(bridge.setDataCharacteristics(h, FT_BITS_8, 1, FT_PARITY_NONE), FT_INVALID_PARAMETER);
    EXPECT_TRUE(statusShows("line=9600 8N1\n"));
}

// A message the pedal sends while the host's line is elsewhere is lost; the
// pending fault waits for one that gets through.
TEST_F(Bridge, MessageSentBeforeTheLineIsSetIsLost) {
    FT_HANDLE h = openPedal();
    run("fault truncate 1");
    run("send 0102");
    setLine(h, 115200);
    EXPECT_EQ(readAll(h), "");
    run("send 0304");
    EXPECT_EQ(readAll(h), "\x03");
}

// An open starts at the defaults whatever the last user left; a replug or a
// reset brings them back at once, a close alone does not.
TEST_F(Bridge, EveryOpenStartsAtTheDefaults) {
    const std::pair<std::vector<const char*>, const char*> cases[] = {
        {{}, "line=115200 8N1\n"},
        {{"fault unplug", "fault replug"}, "line=9600 8N1\n"},
        {{"reset"}, "line=9600 8N1\n"},
    };
    for (const auto& [between, lineAfter] : cases) {
        SCOPED_TRACE(between.empty() ? "close" : between.front());
        FT_HANDLE h = openPedal();
        setLine(h, 115200);
        ASSERT_EQ(bridge.setLatencyTimer(h, 2), FT_OK);
        ASSERT_EQ(exchange(h), kStoredEffect);
        for (const char* line : between) {
            run(line);
        }
        bridge.close(h); // refused for a handle the replug or reset already closed
        EXPECT_TRUE(statusShows(lineAfter));
        h = openPedal();
        EXPECT_TRUE(statusShows("line=9600 8N1\n"));
        EXPECT_TRUE(statusShows("latency=16\n"));
        EXPECT_EQ(exchange(h), "");
        bridge.close(h);
    }
}

struct LatencyCase {
    UCHAR ms;
    FT_STATUS status;
    const char* shown;
};

void PrintTo(const LatencyCase& c, std::ostream* os) {
    *os << int{c.ms} << " ms";
}

class LatencyTimer : public Bridge, public ::testing::WithParamInterface<LatencyCase> {};

TEST_P(LatencyTimer, TakesTwoTo255Milliseconds) {
    FT_HANDLE h = openPedal();
    EXPECT_EQ(bridge.setLatencyTimer(h, GetParam().ms), GetParam().status);
    EXPECT_TRUE(statusShows(GetParam().shown));
}

INSTANTIATE_TEST_SUITE_P(Values, LatencyTimer,
                         ::testing::Values(LatencyCase{0, FT_INVALID_PARAMETER, "latency=16\n"},
                                           LatencyCase{1, FT_INVALID_PARAMETER, "latency=16\n"},
                                           LatencyCase{2, FT_OK, "latency=2\n"},
                                           LatencyCase{255, FT_OK, "latency=255\n"}));

} // namespace
} // namespace kestra::sim::test
