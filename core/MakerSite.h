// The maker's web server: one base address for every page and document the
// editor fetches or opens there. Tests point it at a loopback server.
#pragma once

#include <QString>
#include <QUrl>

namespace kestra {

// Base address without a trailing slash, e.g. "https://www.example.com".
QString makerSite();
// Overrides the base address; an empty text restores the built-in one.
void setMakerSite(const QString& base);
// Address of path (starting with "/") on the maker's web server.
QUrl makerPage(const QString& path);

namespace makerpaths {
inline constexpr char VersionDocument[] = "/download/kestra/kestra-version.php";
inline constexpr char WhatsNew[] = "/download/kestra/update/whatsnew.html";
inline constexpr char Support[] = "/contact-us/";
} // namespace makerpaths

} // namespace kestra
