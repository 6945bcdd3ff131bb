#include "tests/vm/VirtualMachine.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStandardPaths>
#include <QStringList>
#include <functional>

namespace kestra::test {

namespace {

// What the guest needs beyond the kernel: the host controller and the FTDI
// driver of the converter's path, and virtio's 9p transport for the share.
// Their dependencies come from the modules themselves.
const QStringList GuestModules = {QStringLiteral("xhci_pci"), QStringLiteral("ftdi_sio"),
                                  QStringLiteral("virtio_pci"), QStringLiteral("9pnet_virtio"),
                                  QStringLiteral("9p")};

// Ends each reply of the guest's shell: a byte no command prints.
constexpr char Marker = '\x1e';

// The guest's first program. Kernel messages go to the first serial port
// (the console), commands come and go on the second one. Each command runs
// in a chroot of the host's root, which has the guest's own /proc, /sys,
// /dev and /run over it (the host's /tmp stays visible: a build may be
// there), its scratch folder /run/tmp; its output is followed by the marker and its
// exit code.
const char Init[] = R"(#!/bin/busybox sh
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
for module in $(cat /modules); do
    insmod "/lib/modules/$module" || echo "insmod $module failed"
done
mount -t 9p -o trans=virtio,version=9p2000.L,ro,cache=loose,msize=262144 host /host ||
    echo "the host's root could not be mounted"
mount -t proc proc /host/proc
mount -t sysfs sysfs /host/sys
mount -t devtmpfs devtmpfs /host/dev
mkdir -p /host/dev/shm /host/dev/pts
mount -t tmpfs shm /host/dev/shm
mount -t devpts devpts /host/dev/pts
mount -t tmpfs run /host/run
mkdir -m 1777 /host/run/tmp
mkdir -m 700 /host/run/runtime
# udev as on a desktop: Debian's rules and the test's own, then every device
# that is there already.
udev=@UDEV@
export SYSTEMD_IGNORE_CHROOT=1
mkdir -p /host/run/udev/rules.d
cp /rules/* /host/run/udev/rules.d/
chroot /host /bin/sh -c "cp $udev/lib/udev/rules.d/*.rules /run/udev/rules.d/"
chroot /host /bin/bash -c "exec -a systemd-udevd $udev/bin/udevadm --daemon" ||
    echo "udev did not start"
chroot /host $udev/bin/udevadm trigger --action=add
chroot /host $udev/bin/udevadm settle --timeout=60
stty -F /dev/ttyS1 raw -echo
exec /bin/sh /shell </dev/ttyS1 >/dev/ttyS1 2>&1
)";

const char Shell[] = R"(printf '\036ready\n'
while IFS= read -r line; do
    env -i HOME=/run/tmp TMPDIR=/run/tmp XDG_RUNTIME_DIR=/run/runtime LANG=C.UTF-8 \
        PATH=/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin:@UDEV@/bin \
        QT_QPA_PLATFORM=offscreen SYSTEMD_IGNORE_CHROOT=1 \
        chroot /host /bin/sh -c "cd /run/tmp && $line" </dev/null
    printf '\036%s\n' "$?"
done
poweroff -f
)";

// One member of a cpio archive in the kernel's initramfs format ("newc").
void appendMember(QByteArray& archive, const QByteArray& name, quint32 mode,
                  const QByteArray& data = {}) {
    static quint32 inode = 1;
    auto field = [&archive](quint32 value) {
        archive += QByteArray::number(value, 16).rightJustified(8, '0');
    };
    archive += "070701";
    field(inode++);
    field(mode);
    field(0);                                     // uid
    field(0);                                     // gid
    field(1);                                     // links
    field(0);                                     // mtime
    field(static_cast<quint32>(data.size()));     // size
    field(0);                                     // device major
    field(0);                                     // device minor
    field(0);                                     // rdev major
    field(0);                                     // rdev minor
    field(static_cast<quint32>(name.size() + 1)); // name with its NUL
    field(0);                                     // check
    archive += name;
    archive += '\0';
    archive.append((4 - archive.size() % 4) % 4, '\0');
    archive += data;
    archive.append((4 - archive.size() % 4) % 4, '\0');
}

QString moduleKey(const QString& fileName) {
    QString key = fileName.section(QLatin1Char('.'), 0, 0);
    return key.replace(QLatin1Char('-'), QLatin1Char('_'));
}

// The modules a module needs, from the "depends=" line of its .modinfo.
QStringList dependencies(const QByteArray& module) {
    const qsizetype at = module.indexOf(QByteArrayView("\0depends=", 9));
    if (at < 0)
        return {};
    const qsizetype start = at + 9;
    const QByteArray list = module.mid(start, module.indexOf('\0', start) - start);
    QStringList keys;
    for (const QByteArray& name : list.split(','))
        if (!name.isEmpty())
            keys.append(moduleKey(QString::fromLatin1(name)));
    return keys;
}

} // namespace

VirtualMachine::VirtualMachine(Options options) : options_(std::move(options)) {
    qemu_.setProcessChannelMode(QProcess::MergedChannels);
}

VirtualMachine::~VirtualMachine() {
    if (qemu_.state() == QProcess::NotRunning)
        return;
    if (monitor_.state() == QLocalSocket::ConnectedState)
        qmp(R"({"execute":"quit"})");
    if (!qemu_.waitForFinished(10000)) {
        qemu_.kill();
        qemu_.waitForFinished(10000);
    }
}

bool VirtualMachine::buildInitramfs(const QString& path) {
    const QString busybox = QStringLiteral("/bin/busybox");
    QFile busyboxFile(busybox);
    if (!busyboxFile.open(QIODevice::ReadOnly)) {
        unavailable_ = QStringLiteral("no %1 (busybox-static)").arg(busybox);
        return false;
    }

    QHash<QString, QString> modulePaths;
    QDirIterator files(options_.kernelFolder + QStringLiteral("/lib/modules"),
                       {QStringLiteral("*.ko")}, QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString file = files.next();
        modulePaths.insert(moduleKey(QFileInfo(file).fileName()), file);
    }
    // Every module after those it needs.
    QStringList order;
    QHash<QString, QByteArray> contents;
    std::function<bool(const QString&)> add = [&](const QString& key) {
        if (contents.contains(key))
            return true;
        QFile file(modulePaths.value(key));
        if (!modulePaths.contains(key) || !file.open(QIODevice::ReadOnly)) {
            unavailable_ =
                QStringLiteral("the kernel module %1 is not in %2").arg(key, options_.kernelFolder);
            return false;
        }
        const QByteArray bytes = file.readAll();
        contents.insert(key, bytes);
        for (const QString& needed : dependencies(bytes))
            if (!add(needed))
                return false;
        order.append(key);
        return true;
    };
    for (const QString& module : GuestModules)
        if (!add(module))
            return false;

    QByteArray archive;
    for (const char* folder : {"bin", "dev", "proc", "sys", "host", "lib", "lib/modules"})
        appendMember(archive, folder, 040755);
    appendMember(archive, "bin/busybox", 0100755, busyboxFile.readAll());
    appendMember(archive, "init", 0100755,
                 QByteArray(Init).replace("@UDEV@", options_.udevFolder.toUtf8()));
    appendMember(archive, "shell", 0100644,
                 QByteArray(Shell).replace("@UDEV@", options_.udevFolder.toUtf8()));
    QByteArray list;
    for (const QString& key : order) {
        const QByteArray name = QFileInfo(modulePaths.value(key)).fileName().toLatin1();
        appendMember(archive, "lib/modules/" + name, 0100644, contents.value(key));
        list += name + '\n';
    }
    appendMember(archive, "modules", 0100644, list);
    appendMember(archive, "rules", 040755);
    for (const auto& [name, text] : options_.udevRules)
        appendMember(archive, "rules/" + name.toUtf8(), 0100644, text);
    appendMember(archive, "TRAILER!!!", 0);
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(archive) != archive.size()) {
        failure_ = QStringLiteral("cannot write %1").arg(path);
        return false;
    }
    return true;
}

bool VirtualMachine::start(int timeLimitMs) {
    const QString emulator = QStandardPaths::findExecutable(QStringLiteral("qemu-system-x86_64"));
    if (emulator.isEmpty()) {
        unavailable_ = QStringLiteral("no qemu-system-x86_64 (qemu-system-x86)");
        return false;
    }
    if (!QFileInfo::exists(options_.udevFolder + QStringLiteral("/bin/udevadm"))) {
        unavailable_ =
            QStringLiteral("no udev in %1 (./kestra vm unpacks it)").arg(options_.udevFolder);
        return false;
    }
    const QString kernel = options_.kernelFolder + QStringLiteral("/vmlinux");
    if (!QFileInfo::exists(kernel)) {
        unavailable_ = QStringLiteral("no kernel image %1 (./kestra vm unpacks it)").arg(kernel);
        return false;
    }
    if (!folder_.isValid()) {
        failure_ = QStringLiteral("no temporary folder");
        return false;
    }
    const QString initramfs = folder_.filePath(QStringLiteral("initramfs.cpio"));
    if (!buildInitramfs(initramfs))
        return false;

    const QString monitorPath = folder_.filePath(QStringLiteral("qmp"));
    const QString shellPath = folder_.filePath(QStringLiteral("shell"));
    qemu_.setProgram(emulator);
    // Plain emulation: faster here than KVM nested in this machine's own
    // virtual machine. Only the devices named here: the USB host
    // controller, the converter, the 9p share and two serial ports.
    qemu_.setArguments({
        QStringLiteral("-nodefaults"),
        QStringLiteral("-no-user-config"),
        QStringLiteral("-display"),
        QStringLiteral("none"),
        QStringLiteral("-accel"),
        QStringLiteral("tcg"),
        QStringLiteral("-m"),
        QStringLiteral("1024"),
        QStringLiteral("-no-reboot"),
        QStringLiteral("-kernel"),
        kernel,
        QStringLiteral("-initrd"),
        initramfs,
        QStringLiteral("-append"),
        QStringLiteral("console=ttyS0 quiet panic=-1"),
        QStringLiteral("-serial"),
        QStringLiteral("file:") + folder_.filePath(QStringLiteral("console")),
        QStringLiteral("-chardev"),
        QStringLiteral("socket,id=shell,path=%1,server=on,wait=off").arg(shellPath),
        QStringLiteral("-serial"),
        QStringLiteral("chardev:shell"),
        QStringLiteral("-qmp"),
        QStringLiteral("unix:%1,server=on,wait=off").arg(monitorPath),
        QStringLiteral("-virtfs"),
        QStringLiteral(
            "local,path=/,mount_tag=host,security_model=none,readonly=on,multidevs=remap"),
        QStringLiteral("-device"),
        QStringLiteral("qemu-xhci,id=usb"),
        QStringLiteral("-chardev"),
        QStringLiteral("serial,id=pedal,path=%1").arg(options_.converterBackend),
        QStringLiteral("-device"),
        converterDevice(),
    });
    qemu_.start();
    if (!qemu_.waitForStarted(10000)) {
        unavailable_ = QStringLiteral("%1 did not start: %2").arg(emulator, qemu_.errorString());
        return false;
    }
    QElapsedTimer waited;
    waited.start();
    // The sockets exist once QEMU has taken its options.
    while (monitor_.state() != QLocalSocket::ConnectedState ||
           shell_.state() != QLocalSocket::ConnectedState) {
        if (qemu_.state() == QProcess::NotRunning || waited.elapsed() > 20000) {
            qemu_.waitForFinished(1000);
            unavailable_ = QStringLiteral("QEMU stopped before the guest booted: ") +
                           QString::fromLocal8Bit(qemu_.readAll()).trimmed();
            return false;
        }
        if (monitor_.state() != QLocalSocket::ConnectedState) {
            monitor_.connectToServer(monitorPath);
            monitor_.waitForConnected(100);
        }
        if (shell_.state() != QLocalSocket::ConnectedState) {
            shell_.connectToServer(shellPath);
            shell_.waitForConnected(100);
        }
        qemu_.waitForFinished(100);
    }
    if (qmp(R"({"execute":"qmp_capabilities"})").isEmpty()) {
        unavailable_ = QStringLiteral("QEMU's monitor does not answer");
        return false;
    }
    if (!readShell(timeLimitMs - static_cast<int>(waited.elapsed())) ||
        !shellOutput_.endsWith(QByteArray(1, Marker) + "ready\n")) {
        failure_ = QStringLiteral("the guest did not get ready; its console:\n") + console();
        return false;
    }
    shellOutput_.clear();
    return true;
}

QString VirtualMachine::converterDevice() const {
    // Plugged whatever the character device behind it does, as a real
    // converter is plugged whether or not the pedal is powered.
    return QStringLiteral("usb-serial,id=converter,bus=usb.0,chardev=pedal,serial=%1,"
                          "always-plugged=on")
        .arg(options_.converterSerial);
}

QString VirtualMachine::console() const {
    QFile file(folder_.filePath(QStringLiteral("console")));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// Reads the shell's output until a marker line ends it.
bool VirtualMachine::readShell(int timeLimitMs) {
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        const qsizetype marker = shellOutput_.lastIndexOf(Marker);
        if (marker >= 0 && shellOutput_.indexOf('\n', marker) > marker)
            return true;
        const qint64 left = timeLimitMs - waited.elapsed();
        if (left <= 0 || shell_.state() != QLocalSocket::ConnectedState)
            return false;
        if (shell_.waitForReadyRead(static_cast<int>(std::min<qint64>(left, 1000))))
            shellOutput_ += shell_.readAll();
    }
}

void VirtualMachine::begin(const QString& command) {
    shellOutput_.clear();
    shell_.write(command.toUtf8() + '\n');
    shell_.flush();
}

bool VirtualMachine::waitForOutput(const QString& text, int timeLimitMs) {
    const QByteArray wanted = text.toUtf8();
    QElapsedTimer waited;
    waited.start();
    while (!shellOutput_.contains(wanted)) {
        const qint64 left = timeLimitMs - waited.elapsed();
        if (left <= 0 || shell_.state() != QLocalSocket::ConnectedState)
            return false;
        if (shell_.waitForReadyRead(static_cast<int>(std::min<qint64>(left, 1000))))
            shellOutput_ += shell_.readAll();
    }
    return true;
}

GuestResult VirtualMachine::end(int timeLimitMs) {
    GuestResult result;
    const bool ended = readShell(timeLimitMs);
    const qsizetype marker = shellOutput_.lastIndexOf(Marker);
    result.output = QString::fromUtf8(ended ? shellOutput_.left(marker) : shellOutput_);
    if (ended)
        result.exitCode = shellOutput_.mid(marker + 1).trimmed().toInt();
    shellOutput_.clear();
    return result;
}

GuestResult VirtualMachine::run(const QString& command, int timeLimitMs) {
    begin(command);
    return end(timeLimitMs);
}

// Sends one command to the monitor and returns its answer; with awaitEvent,
// only once that event has come as well.
QByteArray VirtualMachine::qmp(const QByteArray& command, const QByteArray& awaitEvent) {
    monitorLog_.clear();
    monitor_.write(command + '\n');
    monitor_.flush();
    QByteArray answer;
    bool eventSeen = awaitEvent.isEmpty();
    QElapsedTimer waited;
    waited.start();
    while (answer.isEmpty() || !eventSeen) {
        qsizetype end;
        while ((end = monitorInput_.indexOf('\n')) >= 0) {
            const QByteArray line = monitorInput_.left(end);
            monitorInput_.remove(0, end + 1);
            monitorLog_ += line + '\n';
            if (line.contains("\"return\"") || line.contains("\"error\""))
                answer = line;
            else if (!eventSeen && line.contains("\"event\": \"" + awaitEvent + "\""))
                eventSeen = true;
        }
        if (answer.contains("\"error\""))
            return answer;
        if ((!answer.isEmpty() && eventSeen) || waited.elapsed() > 30000 ||
            monitor_.state() != QLocalSocket::ConnectedState)
            break;
        monitor_.waitForReadyRead(1000);
        monitorInput_ += monitor_.readAll();
    }
    return eventSeen ? answer : QByteArray();
}

// How QEMU ended, when it has.
QString VirtualMachine::emulatorEnd() {
    if (qemu_.state() != QProcess::NotRunning && !qemu_.waitForFinished(1000))
        return {};
    return QStringLiteral("QEMU ended (exit status %1): %2")
        .arg(qemu_.exitCode())
        .arg(QString::fromLocal8Bit(qemu_.readAll()));
}

bool VirtualMachine::unplug() {
    const QByteArray answer =
        qmp(R"({"execute":"device_del","arguments":{"id":"converter"}})", "DEVICE_DELETED");
    if (answer.contains("\"return\""))
        return true;
    monitorFailure_ =
        QStringLiteral("device_del: %1\nThe monitor said:\n%2%3")
            .arg(QString::fromUtf8(answer), QString::fromUtf8(monitorLog_), emulatorEnd());
    return false;
}

bool VirtualMachine::replug() {
    QByteArray arguments = R"({"driver":"usb-serial","id":"converter","bus":"usb.0",)"
                           R"("chardev":"pedal","always-plugged":true,"serial":")" +
                           options_.converterSerial.toUtf8() + "\"}";
    const QByteArray answer = qmp(R"({"execute":"device_add","arguments":)" + arguments + "}");
    if (answer.contains("\"return\""))
        return true;
    monitorFailure_ =
        QStringLiteral("device_add: %1\nThe monitor said:\n%2%3")
            .arg(QString::fromUtf8(answer), QString::fromUtf8(monitorLog_), emulatorEnd());
    return false;
}

} // namespace kestra::test
