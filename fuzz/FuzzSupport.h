// What every fuzz target shares: a check that stops the run on a broken
// invariant, the reader that takes structured choices out of the input, and
// a scratch folder. The debug log is silenced for the whole run: with no
// console attached it would keep every line logged.
#pragma once

#include <QByteArray>
#include <QString>
#include <fuzzer/FuzzedDataProvider.h>
#include <string>

namespace kestra::fuzz {

// Prints what broke and where, then aborts: libFuzzer keeps the input.
[[noreturn]] void fail(const char* condition, const char* file, int line,
                       const std::string& detail = {});

// A path in a folder of this process (in memory when the system has
// /dev/shm) that is removed when it ends.
QString scratchPath(const QString& name);

// Bytes or text as the failure message shows them: printable ASCII as it is,
// everything else escaped.
std::string shown(const QByteArray& bytes);
std::string shown(const QString& text);

} // namespace kestra::fuzz

#define FUZZ_CHECK(condition)                                                                      \
    ((condition) ? void() : ::kestra::fuzz::fail(#condition, __FILE__, __LINE__))
#define FUZZ_CHECK_MSG(condition, detail)                                                          \
    ((condition) ? void() : ::kestra::fuzz::fail(#condition, __FILE__, __LINE__, (detail)))
