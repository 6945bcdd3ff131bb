// The editor's start-up beside a bare QMainWindow with a menu bar: each
// program started in turn, timed from just before its exec to its first
// window painted on screen, with its resident memory then. Medians over the
// rounds; the order alternates so neither program always runs warm.
//
//   bench_startup [--rounds N]
//
// Runs on the display the environment names, else offscreen. Each program
// starts with a scratch home folder, so the player's settings are neither
// read nor touched; one warm-up round first fills it as a second start of
// the editor would find it.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

constexpr double GoalRatio = 1.5;

struct Start {
    double ms = 0;
    double residentMiB = 0;
};

long long monotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

// The environment for both programs: the caller's, with a scratch home.
std::vector<std::string> childEnvironment(const QString& home) {
    std::vector<std::string> variables;
    for (char** variable = environ; *variable; ++variable) {
        const std::string text(*variable);
        if (text.rfind("HOME=", 0) == 0 || text.rfind("XDG_CONFIG_HOME=", 0) == 0 ||
            text.rfind("XDG_DATA_HOME=", 0) == 0 || text.rfind("XDG_CACHE_HOME=", 0) == 0 ||
            text.rfind("XDG_DOCUMENTS_DIR=", 0) == 0 || text.rfind("XDG_RUNTIME_DIR=", 0) == 0)
            continue;
        variables.push_back(text);
    }
    variables.push_back("HOME=" + home.toStdString());
    const QString runtime = home + QStringLiteral("/runtime");
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    variables.push_back("XDG_RUNTIME_DIR=" + runtime.toStdString());
    return variables;
}

// What the programs print besides their report goes here, and is shown
// when one fails.
QString errorLog;

Start startOnce(const char* program, std::vector<std::string>& environment) {
    int output[2];
    if (pipe(output) != 0)
        throw std::runtime_error("no pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, output[0]);
    const QByteArray errorPath = errorLog.toLocal8Bit();
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorPath.constData(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<char*> variables;
    for (std::string& variable : environment)
        variables.push_back(variable.data());
    variables.push_back(nullptr);
    char* arguments[] = {const_cast<char*>(program), nullptr};
    pid_t child = 0;
    const long long startNs = monotonicNs();
    const int spawned =
        posix_spawn(&child, program, &actions, nullptr, arguments, variables.data());
    posix_spawn_file_actions_destroy(&actions);
    close(output[1]);
    if (spawned != 0) {
        close(output[0]);
        throw std::runtime_error(std::string("cannot start ") + program);
    }
    std::string line;
    char buffer[256];
    for (ssize_t n; (n = read(output[0], buffer, sizeof buffer)) > 0;)
        line.append(buffer, static_cast<size_t>(n));
    close(output[0]);
    int status = 0;
    waitpid(child, &status, 0);
    long long paintedNs = 0;
    long residentKiB = 0;
    if (std::sscanf(line.c_str(), "first-paint %lld %ld", &paintedNs, &residentKiB) != 2) {
        QFile log(errorLog);
        const QByteArray said = log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
        throw std::runtime_error(std::string(program) + " ended without painting a window:\n" +
                                 said.toStdString());
    }
    return {static_cast<double>(paintedNs - startNs) / 1e6,
            static_cast<double>(residentKiB) / 1024};
}

struct Figures {
    std::vector<double> ms;
    std::vector<double> residentMiB;
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void report(const char* what, const Figures& f) {
    std::printf("  %-22s %7.1f ms median (%.1f to %.1f), %6.1f MiB resident\n", what, median(f.ms),
                *std::min_element(f.ms.begin(), f.ms.end()),
                *std::max_element(f.ms.begin(), f.ms.end()), median(f.residentMiB));
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser options;
    options.setApplicationDescription(
        "The editor's start-up, exec to first paint, beside a bare QMainWindow.");
    options.addHelpOption();
    const QCommandLineOption rounds("rounds", "How many starts of each program.", "N", "15");
    options.addOption(rounds);
    options.process(app);
    const int count = std::max(1, options.value(rounds).toInt());

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    if (!home.isValid()) {
        std::fprintf(stderr, "bench_startup: no scratch folder\n");
        return 1;
    }
    std::vector<std::string> environment = childEnvironment(home.path());
    errorLog = home.filePath(QStringLiteral("stderr.log"));
    const char* bare = KESTRA_STARTUP_BARE;
    const char* editor = KESTRA_STARTUP_EDITOR;
    try {
        startOnce(bare, environment);
        startOnce(editor, environment);
        Figures bareFigures;
        Figures editorFigures;
        for (int round = 0; round < count; ++round) {
            const bool editorFirst = round % 2;
            for (int turn = 0; turn < 2; ++turn) {
                const bool isEditor = (turn == 0) == editorFirst;
                const Start start = startOnce(isEditor ? editor : bare, environment);
                Figures& figures = isEditor ? editorFigures : bareFigures;
                figures.ms.push_back(start.ms);
                figures.residentMiB.push_back(start.residentMiB);
            }
        }
        const QByteArray platform = qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")
                                        ? QByteArray("xcb on ") + qgetenv("DISPLAY")
                                        : qgetenv("QT_QPA_PLATFORM");
        std::printf("Start-up, exec to first window painted, %d starts each, %s\n", count,
                    platform.constData());
        report("bare QMainWindow", bareFigures);
        report("Kestra Editor", editorFigures);
        const double ratio = median(editorFigures.ms) / median(bareFigures.ms);
        std::printf(
            "  ratio %.2f, resident +%.1f MiB; goal: at most %.1f x the bare window: %s\n\n", ratio,
            median(editorFigures.residentMiB) - median(bareFigures.residentMiB), GoalRatio,
            ratio <= GoalRatio ? "met" : "MISSED");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_startup: %s\n", e.what());
        return 1;
    }
    return 0;
}
