#include "fuzz/FuzzSupport.h"

#include "core/DebugLog.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

namespace kestra::fuzz {

void fail(const char* condition, const char* file, int line, const std::string& detail) {
    std::fprintf(stderr, "\n*** Invariant broken at %s:%d: %s\n", file, line, condition);
    if (!detail.empty())
        std::fprintf(stderr, "*** %s\n", detail.c_str());
    std::fflush(stderr);
    std::abort();
}

QString scratchPath(const QString& name) {
    // In memory where there is such a folder: targets write a file every run.
    static const QString below = QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                                     ? QStringLiteral("/dev/shm")
                                     : QDir::tempPath();
    static QTemporaryDir folder(below + QStringLiteral("/kestra-fuzz-XXXXXX"));
    if (!folder.isValid())
        fail("folder.isValid()", __FILE__, __LINE__, "no scratch folder below TMPDIR");
    return folder.filePath(name);
}

std::string shown(const QByteArray& bytes) {
    std::string text;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
            text += c;
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            text += escaped;
        }
    }
    return text;
}

std::string shown(const QString& text) {
    return shown(text.toUtf8());
}

} // namespace kestra::fuzz

// Lines are dropped as they are logged, so a long run does not collect them.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    kestra::DebugLog::setSink([](const QStringList&, bool) {});
    return 0;
}
