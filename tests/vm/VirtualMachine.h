// A small virtual machine that runs this machine's programs on the kernel's
// own USB serial path: QEMU with Debian's stock kernel, its ftdi_sio driver
// bound to QEMU's emulated FTDI converter (usb-serial, 0403:6001), whose
// other end is a character device on the host (kestra-pedal-sim's
// terminal). The guest boots a busybox initramfs built here, mounts the
// host's root filesystem read-only over 9p and runs each command in a chroot
// of it, so the build's programs run there with the very libraries they run
// with here, nothing copied. udev runs there as on a desktop, so devices
// carry their USB identity and rules act on them. The test holds the QEMU
// monitor (QMP), to pull the converter out and plug it in again.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace kestra::test {

struct GuestResult {
    // Nothing when the command did not end within its time limit.
    std::optional<int> exitCode;
    QString output; // stdout and stderr together
    bool ok() const { return exitCode == 0; }
};

class VirtualMachine {
public:
    struct Options {
        // Holds vmlinux and lib/modules/VERSION/kernel/...
        QString kernelFolder;
        // The host's character device behind the converter.
        QString converterBackend;
        // The converter's USB serial number.
        QString converterSerial;
        // Debian's udev package unpacked (bin/udevadm, lib/udev/rules.d).
        QString udevFolder;
        // Rules of the test's own, by file name.
        std::vector<std::pair<QString, QByteArray>> udevRules;
    };

    explicit VirtualMachine(Options options);
    ~VirtualMachine();
    VirtualMachine(const VirtualMachine&) = delete;
    VirtualMachine& operator=(const VirtualMachine&) = delete;

    // Boots the guest and waits until it takes commands. Where QEMU, the
    // kernel or busybox is missing, or QEMU refuses to start, unavailable()
    // says why and this returns false; a guest that starts but never gets
    // ready is a failure (failure() says what the console showed).
    bool start(int timeLimitMs);
    const QString& unavailable() const { return unavailable_; }
    const QString& failure() const { return failure_; }

    // Runs a command line of the host's /bin/sh in the guest (as root, in
    // the scratch folder $TMPDIR, standard input /dev/null) to its end.
    GuestResult run(const QString& command, int timeLimitMs = 120000);
    // The same in steps: start it, wait for a line of its output, collect
    // the rest when it ends.
    void begin(const QString& command);
    bool waitForOutput(const QString& text, int timeLimitMs);
    GuestResult end(int timeLimitMs);

    // Pulls the converter out of the machine's USB port / plugs it in again,
    // as a cable would be; false with what the monitor said in
    // monitorFailure().
    bool unplug();
    bool replug();
    const QString& monitorFailure() const { return monitorFailure_; }

    // The guest's kernel messages so far.
    QString console() const;

private:
    bool buildInitramfs(const QString& path);
    QByteArray qmp(const QByteArray& command, const QByteArray& awaitEvent = {});
    bool readShell(int timeLimitMs);
    QString converterDevice() const;
    QString emulatorEnd();

    Options options_;
    QTemporaryDir folder_;
    QProcess qemu_;
    QLocalSocket monitor_;
    QLocalSocket shell_;
    QByteArray shellOutput_; // output of the running command so far
    QByteArray monitorInput_;
    QByteArray monitorLog_; // the lines of the last exchange with the monitor
    QString unavailable_;
    QString failure_;
    QString monitorFailure_;
};

} // namespace kestra::test
