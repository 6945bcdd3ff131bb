// The built stand-in library, loaded the way the editor loads FTDI's: dlopen
// and dlsym on the D2XX names, with the pedal reached through
// KestraSim_Command on the same handle.
#include "d2xx/d2xx_abi.h"

#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace d2xx;
using Command_t = int (*)(const char*, char*, unsigned);

struct Library {
    void* handle = nullptr;
    FT_ListDevices_t listDevices = nullptr;
    FT_OpenEx_t openEx = nullptr;
    FT_Close_t close = nullptr;
    FT_GetQueueStatus_t queueStatus = nullptr;
    FT_Read_t read = nullptr;
    FT_Write_t write = nullptr;
    FT_Purge_t purge = nullptr;
    FT_SetBaudRate_t setBaudRate = nullptr;
    FT_SetDataCharacteristics_t setDataCharacteristics = nullptr;
    FT_SetLatencyTimer_t setLatencyTimer = nullptr;
    Command_t command = nullptr;

    bool load(const char* path = KESTRA_VIRTUAL_D2XX_PATH) {
        handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            return false;
        }
        auto bind = [&](auto& fn, const char* name) {
            fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(dlsym(handle, name));
            return fn != nullptr;
        };
        return bind(listDevices, "FT_ListDevices") && bind(openEx, "FT_OpenEx") &&
               bind(close, "FT_Close") && bind(queueStatus, "FT_GetQueueStatus") &&
               bind(read, "FT_Read") && bind(write, "FT_Write") && bind(purge, "FT_Purge") &&
               bind(setBaudRate, "FT_SetBaudRate") &&
               bind(setDataCharacteristics, "FT_SetDataCharacteristics") &&
               bind(setLatencyTimer, "FT_SetLatencyTimer") && bind(command, "KestraSim_Command");
    }

    std::string run(const char* line, int expected = 0) {
        char answer[4096];
        EXPECT_EQ(command(line, answer, sizeof answer), expected) << line;
        return answer;
    }

    // Opened and set to the pedal's 115200 8N1, as the editor does.
    FT_HANDLE openPedal() {
        FT_HANDLE h = nullptr;
        char serial[] = "KS000001";
        EXPECT_EQ(openEx(serial, FT_OPEN_BY_SERIAL_NUMBER, &h), FT_OK);
        EXPECT_EQ(setBaudRate(h, 115200), FT_OK);
        EXPECT_EQ(setDataCharacteristics(h, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE), FT_OK);
        return h;
    }

    std::string exchange(FT_HANDLE h, std::string frame) {
        DWORD n = 0;
        EXPECT_EQ(write(h, frame.data(), static_cast<DWORD>(frame.size()), &n), FT_OK);
        EXPECT_EQ(n, frame.size());
        EXPECT_EQ(queueStatus(h, &n), FT_OK);
        std::string reply(n, '\0');
        EXPECT_EQ(read(h, reply.data(), n, &n), FT_OK);
        reply.resize(n);
        return reply;
    }
};

class VirtualD2xx : public ::testing::Test {
protected:
    static Library lib;
    static void SetUpTestSuite() { ASSERT_TRUE(lib.load()) << dlerror(); }
    void SetUp() override { lib.run("reset"); }
};
Library VirtualD2xx::lib;

TEST_F(VirtualD2xx, OnlyTheD2xxNamesAndTheControlEntryAreExported) {
    EXPECT_EQ(dlsym(lib.handle, "_ZN6kestra3sim12VirtualPedal5resetEv"), nullptr);
}

TEST_F(VirtualD2xx, EditorSessionThroughExportedFunctions) {
    DWORD count = 0;
    ASSERT_EQ(lib.listDevices(&count, nullptr, FT_LIST_NUMBER_ONLY), FT_OK);
    ASSERT_EQ(count, 1u);
    char serial[64] = {};
    ASSERT_EQ(lib.listDevices(reinterpret_cast<void*>(std::uintptr_t{0}), serial,
                              FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER),
              FT_OK);
    FT_HANDLE h = nullptr;
    ASSERT_EQ(lib.openEx(serial, FT_OPEN_BY_SERIAL_NUMBER, &h), FT_OK);
    EXPECT_EQ(lib.setBaudRate(h, 115200), FT_OK);
    EXPECT_EQ(lib.setDataCharacteristics(h, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE), FT_OK);
    EXPECT_EQ(lib.setLatencyTimer(h, 1), FT_INVALID_PARAMETER);
    EXPECT_EQ(lib.setLatencyTimer(h, 2), FT_OK);
    EXPECT_NE(lib.run("status").find("latency=2\n"), std::string::npos);
    EXPECT_EQ(lib.purge(h, FT_PURGE_RX | FT_PURGE_TX), FT_OK);

    EXPECT_EQ(lib.exchange(h, std::string("\x06\x00", 2)), "255\r\n255\r\n255\r\n3\r\n");
    EXPECT_EQ(lib.run("writes"), "0600\n");

    lib.run("knob 1 5"); // nothing routed: no message
    lib.run("send 4142");
    DWORD n = 0;
    ASSERT_EQ(lib.queueStatus(h, &n), FT_OK);
    EXPECT_EQ(n, 2u);

    lib.run("fault unplug");
    EXPECT_EQ(lib.queueStatus(h, &n), FT_IO_ERROR);
    EXPECT_EQ(lib.close(h), FT_OK);
    EXPECT_EQ(lib.close(h), FT_INVALID_HANDLE);
}

TEST_F(VirtualD2xx, CommandAnswersAreCutAndErrorsReported) {
    char small[8];
    EXPECT_EQ(lib.command("status", small, sizeof small), 0);
    EXPECT_EQ(std::string(small), "mode=ap");
    EXPECT_EQ(lib.command("no-such-command", small, sizeof small), -1);
    EXPECT_EQ(lib.command("status", nullptr, 0), 0);
    EXPECT_NE(lib.run("status").find("firmware=3"), std::string::npos);
}

// The state file is read when the library loads, so this runs in a child
// process that loads a copy of the library: the original may still be loaded
// from earlier tests (sanitizers keep libraries mapped after dlclose).
TEST(VirtualD2xxStartup, StartsFromTheStateFileNamedInTheEnvironment) {
    const auto path = (std::filesystem::path(::testing::TempDir()) /
                       ("kestra-startup-" + std::to_string(getpid()) + ".state"))
                          .string();
    std::ofstream(path) << "firmware=9\nmidi=4\n";
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        setenv("KESTRA_PEDAL_STATE", path.c_str(), 1);
        const std::string copy = path + ".so";
        std::filesystem::copy_file(KESTRA_VIRTUAL_D2XX_PATH, copy,
                                   std::filesystem::copy_options::overwrite_existing);
        Library lib;
        const bool loaded = lib.load(copy.c_str());
        std::filesystem::remove(copy);
        if (!loaded) {
            _exit(2);
        }
        FT_HANDLE h = lib.openPedal();
        const bool ok =
            h && lib.exchange(h, std::string("\x06\x00", 2)) == "255\r\n255\r\n255\r\n9\r\n";
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    std::filesystem::remove(path);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

} // namespace
