// kestra-pedal-sim end to end: the program is started, the pedal is reached
// through the pseudo-terminal it prints, and controlled on its stdin. Every
// wait is a poll() with a deadline.
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;
constexpr auto kDeadline = std::chrono::seconds(5);

int remainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

class PedalSimProgram : public ::testing::Test {
protected:
    pid_t pid = -1;
    int toSim = -1;
    int fromSim = -1;
    int tty = -1;
    std::string pending;

    void SetUp() override {
        int in[2];
        int out[2];
        ASSERT_EQ(pipe(in), 0);
        ASSERT_EQ(pipe(out), 0);
        pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            dup2(in[0], STDIN_FILENO);
            dup2(out[1], STDOUT_FILENO);
            close(in[1]);
            close(out[0]);
            execl(KESTRA_PEDAL_SIM_PATH, KESTRA_PEDAL_SIM_PATH, static_cast<char*>(nullptr));
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        toSim = in[1];
        fromSim = out[0];
        const std::string path = readLine();
        ASSERT_FALSE(path.empty());
        tty = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(tty, 0) << path;
        termios tio{};
        ASSERT_EQ(tcgetattr(tty, &tio), 0);
        cfmakeraw(&tio);
        ASSERT_EQ(tcsetattr(tty, TCSANOW, &tio), 0);
    }

    void TearDown() override {
        if (tty >= 0) {
            close(tty);
        }
        if (toSim >= 0) {
            close(toSim); // end of stdin ends the program
        }
        if (pid > 0) {
            // Its stdout closes as it exits; only then is waiting for it bounded.
            pollfd p{fromSim, POLLIN, 0};
            const auto deadline = Clock::now() + kDeadline;
            char sink[256];
            bool ended = false;
            while (!ended && poll(&p, 1, remainingMs(deadline)) > 0) {
                ended = read(fromSim, sink, sizeof sink) <= 0;
            }
            if (!ended) {
                kill(pid, SIGKILL);
                ADD_FAILURE() << "kestra-pedal-sim did not end at the end of its input";
            }
            int status = 0;
            waitpid(pid, &status, 0);
            EXPECT_TRUE(ended && WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
        if (fromSim >= 0) {
            close(fromSim);
        }
    }

    std::string readLine() {
        const auto deadline = Clock::now() + kDeadline;
        for (;;) {
            if (const auto eol = pending.find('\n'); eol != std::string::npos) {
                std::string line = pending.substr(0, eol);
                pending.erase(0, eol + 1);
                return line;
            }
            pollfd p{fromSim, POLLIN, 0};
            char buffer[512];
            ssize_t n = 0;
            if (poll(&p, 1, remainingMs(deadline)) <= 0 ||
                (n = read(fromSim, buffer, sizeof buffer)) <= 0) {
                ADD_FAILURE() << "no line from kestra-pedal-sim";
                return {};
            }
            pending.append(buffer, static_cast<std::size_t>(n));
        }
    }

    // Answer lines of one command, without the closing "ok".
    std::string run(const std::string& command) {
        const std::string line = command + "\n";
        EXPECT_EQ(write(toSim, line.data(), line.size()), static_cast<ssize_t>(line.size()));
        std::string answer;
        for (std::string l = readLine(); l != "ok"; l = readLine()) {
            if (l.empty() || l.starts_with("error:")) {
                ADD_FAILURE() << command << ": " << l;
                return answer;
            }
            answer += l + "\n";
        }
        return answer;
    }

    void send(const Bytes& bytes) {
        ASSERT_EQ(write(tty, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

    Bytes receive(std::size_t count) {
        Bytes got;
        const auto deadline = Clock::now() + kDeadline;
        while (got.size() < count) {
            pollfd p{tty, POLLIN, 0};
            if (poll(&p, 1, remainingMs(deadline)) <= 0) {
                break;
            }
            std::uint8_t buffer[256];
            const ssize_t n = read(tty, buffer, sizeof buffer);
            if (n > 0) {
                got.insert(got.end(), buffer, buffer + n);
            }
        }
        return got;
    }

    // Until the pedal has taken the last write as a whole (the pty program
    // ends a write after a short idle gap).
    void waitForStatus(const std::string& needle) {
        const auto deadline = Clock::now() + kDeadline;
        while (run("status").find(needle) == std::string::npos) {
            pollfd p{tty, POLLIN, 0};
            if (remainingMs(deadline) == 0) {
                FAIL() << "status never showed " << needle;
            }
            poll(&p, 1, 10);
        }
    }
};

TEST_F(PedalSimProgram, AnswersApplicationFramesOnTheTerminal) {
    send({0x06, 0x00});
    const std::string expected = "255\r\n255\r\n255\r\n3\r\n";
    EXPECT_EQ(receive(expected.size()), Bytes(expected.begin(), expected.end()));
    EXPECT_EQ(run("writes"), "0600\n");
}

TEST_F(PedalSimProgram, BootloaderSyncAndGetOverTheTerminal) {
    EXPECT_EQ(run("save-button down"), "");
    send({0x05, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06});
    waitForStatus("mode=bootloader");
    send({0x7F});
    EXPECT_EQ(receive(1), Bytes{0x79});
    send({0x00, 0xFF});
    EXPECT_EQ(receive(15), (Bytes{0x79, 0x0B, 0x22, 0x00, 0x01, 0x02, 0x11, 0x21, 0x31, 0x43, 0x63,
                                  0x73, 0x82, 0x92, 0x79}));
    send({0x7F, 0x7F}); // already in sync: one NACK for the pair
    EXPECT_EQ(receive(1), Bytes{0x1F});
    // Go: the application answers on the same terminal, now taken as 8N1.
    send({0x21, 0xDE, 0x08, 0x00, 0x00, 0x00, 0x08});
    EXPECT_EQ(receive(2), (Bytes{0x79, 0x79}));
    waitForStatus("mode=app");
    send({0x06, 0x00});
    const std::string expected = "255\r\n255\r\n255\r\n3\r\n";
    EXPECT_EQ(receive(expected.size()), Bytes(expected.begin(), expected.end()));
}

TEST_F(PedalSimProgram, UnsolicitedMessagesAndCommandErrors) {
    EXPECT_EQ(run("reset"), ""); // the line a reset restores is no concern of a pty
    EXPECT_EQ(run("send 414243"), "");
    EXPECT_EQ(receive(3), (Bytes{0x41, 0x42, 0x43}));
    const std::string bad = "knob 9 9\n";
    ASSERT_EQ(write(toSim, bad.data(), bad.size()), static_cast<ssize_t>(bad.size()));
    EXPECT_TRUE(readLine().starts_with("error:"));
}

} // namespace
