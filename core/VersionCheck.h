// Pure parts of the update check: the editor's version text, comparing it
// with the maker's newest version, and the updater's parameter text for the
// Windows shell.
#pragma once

#include <QString>
#include <compare>
#include <optional>

namespace kestra {

inline constexpr char VersionNotAvailable[] = "Version info not available";

// "major.minor" of a dotted version ("1.4.0.0" gives "1.4", "2" gives
// "2.0"); empty for an empty text; VersionNotAvailable when the leading
// numbers cannot be read.
QString appVersionText(const QString& fullVersion);

// Two dotted versions compared number by number, a missing number counting
// as 0 ("2.0" > "1.15", "1.40" > "1.4", "1.4" == "1.4.0"). Spaces and line
// ends around a version are ignored; nothing when either is not a dotted
// row of decimal numbers.
std::optional<std::strong_ordering> compareVersions(const QString& left, const QString& right);

// Whether the server's version is newer than the current one. Nothing when
// either cannot be read as a version.
std::optional<bool> isNewerVersion(const QString& serverVersion, const QString& currentVersion);

// The updater's parameter text for the Windows shell: the download target,
// then the editor's path, each in double quotes, one space between.
QString updaterParameters(const QString& downloadTarget, const QString& editorPath);

} // namespace kestra
