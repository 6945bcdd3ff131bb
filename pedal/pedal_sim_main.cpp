// kestra-pedal-sim: the virtual pedal on a pseudo-terminal, for trying the
// editor (or a terminal program) against it without the stand-in library.
//
// The first line on stdout is the terminal's path. Control commands are read
// from stdin, one a line, in the language of KestraSim_Command; each answer is
// printed followed by a line "ok", or a single line "error: ...".
//
// Wire timing is on from the start: the host's bytes reach the pedal at the
// line rate, and the pedal's come back so. The terminal's kernel buffer is
// the host driver's: the pedal takes bytes from it only as the FT230X's
// 512-byte transmit buffer frees, so a large write stays in the kernel
// (and in the host's own buffer) for as long as the line needs to carry it.
// The application ends a frame where the line has been idle for 1 ms; the
// ROM bootloader reads a byte stream. With `timing off` a host write to the
// application is whatever arrives before the terminal has been idle for
// 5 ms. A pty has no line settings either: the line is taken to be 115200
// 8N1, or 8E1 once the pedal is in its ROM bootloader, as the pedal needs.
#include "pedal/virtual_pedal.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <span>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int kWriteGapMs = 5;

using kestra::sim::Bytes;
using kestra::sim::VirtualPedal;

// The host's line as the pedal wants it: a pty carries no settings to check.
void matchLine(VirtualPedal& pedal) {
    pedal.setBaudRate(115200);
    pedal.setDataCharacteristics(8, 0, pedal.inBootloader() ? 2 : 0);
}

int fail(const char* what) {
    std::fprintf(stderr, "kestra-pedal-sim: %s: %s\n", what, std::strerror(errno));
    return 1;
}

void answer(const kestra::sim::CommandResult& result) {
    if (!result.ok) {
        std::printf("error: %s\n", result.text.c_str());
    } else {
        if (!result.text.empty()) {
            std::fputs(result.text.c_str(), stdout);
            if (result.text.back() != '\n') {
                std::fputc('\n', stdout);
            }
        }
        std::puts("ok");
    }
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 2) {
        std::fprintf(stderr, "usage: kestra-pedal-sim [STATE-FILE]\n");
        return 2;
    }
    VirtualPedal pedal;
    const char* state = argc == 2 ? argv[1] : std::getenv("KESTRA_PEDAL_STATE");
    if (state && *state) {
        std::string error;
        if (!pedal.loadState(state, error)) {
            std::fprintf(stderr, "kestra-pedal-sim: %s\n", error.c_str());
            return 1;
        }
    }

    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        return fail("cannot create a pseudo-terminal");
    }
    const char* path = ptsname(master);
    if (!path) {
        return fail("ptsname");
    }
    // Held open for the whole run: the line settings stay raw and the master
    // never sees a hang-up while the host closes and reopens the terminal.
    const int slave = open(path, O_RDWR | O_NOCTTY);
    if (slave < 0) {
        return fail("cannot open the terminal");
    }
    termios tio{};
    tcgetattr(slave, &tio);
    cfmakeraw(&tio);
    cfsetspeed(&tio, B115200);
    tcsetattr(slave, TCSANOW, &tio);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    std::printf("%s\n", path);
    std::fflush(stdout);

    pedal.command("timing on");

    Bytes incoming; // timing off: host bytes not yet handed over as a write
    Bytes outgoing; // pedal bytes the terminal has not taken yet
    std::string line;
    bool stdinOpen = true;
    while (stdinOpen) {
        // The chip's room; the kernel's buffer is the driver's.
        const std::size_t room = pedal.hostRoom(0);
        pollfd fds[2] = {
            {STDIN_FILENO, POLLIN, 0},
            {master, static_cast<short>((room > 0 ? POLLIN : 0) | (outgoing.empty() ? 0 : POLLOUT)),
             0}};
        int timeout = -1;
        if (!incoming.empty()) {
            timeout = kWriteGapMs;
        } else if (!pedal.output().empty() || pedal.romInputPending() || pedal.hostInputPending()) {
            timeout = 1; // wire timing: bytes still on their way
        }
        const int ready = poll(fds, 2, timeout);
        if (ready < 0 && errno != EINTR) {
            return fail("poll");
        }
        if (ready == 0 && !incoming.empty()) {
            matchLine(pedal);
            pedal.hostWrite(incoming);
            incoming.clear();
        }
        if (fds[1].revents & POLLIN) {
            std::uint8_t buffer[4096];
            if (pedal.output().timing()) {
                const ssize_t n = read(master, buffer, std::min(room, sizeof buffer));
                if (n > 0) {
                    matchLine(pedal);
                    pedal.hostWrite(std::span(buffer, static_cast<std::size_t>(n)));
                }
            }
            for (ssize_t n;
                 !pedal.output().timing() && (n = read(master, buffer, sizeof buffer)) > 0;) {
                incoming.insert(incoming.end(), buffer, buffer + n);
            }
            if (pedal.inBootloader() && !incoming.empty()) {
                matchLine(pedal);
                pedal.hostWrite(incoming);
                incoming.clear();
            }
        }
        if (fds[0].revents & (POLLIN | POLLHUP)) {
            char buffer[4096];
            const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
            if (n <= 0) {
                stdinOpen = false;
            } else {
                line.append(buffer, static_cast<std::size_t>(n));
            }
            for (std::size_t eol; (eol = line.find('\n')) != std::string::npos;) {
                std::string command = line.substr(0, eol);
                line.erase(0, eol + 1);
                if (!command.empty() && command.back() == '\r') {
                    command.pop_back();
                }
                if (!command.empty()) {
                    matchLine(pedal);
                    answer(pedal.command(command));
                }
            }
        }
        for (std::size_t n; (n = pedal.queueStatus()) > 0;) {
            const auto at = outgoing.size();
            outgoing.resize(at + n);
            outgoing.resize(at + pedal.read(outgoing.data() + at, n));
        }
        if (!outgoing.empty()) {
            const ssize_t n = write(master, outgoing.data(), outgoing.size());
            if (n > 0) {
                outgoing.erase(outgoing.begin(), outgoing.begin() + n);
            }
        }
    }
    close(slave);
    close(master);
    return 0;
}
