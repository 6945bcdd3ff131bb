#include "core/VersionCheck.h"

#include "core/MakerSite.h"

#include <gtest/gtest.h>

namespace kestra {
namespace {

TEST(VersionCheck, VersionsCompareNumberByNumber) {
    using std::strong_ordering;
    const struct {
        QString left, right;
        std::optional<strong_ordering> order;
    } cases[] = {
        {"1.5", "1.4", strong_ordering::greater},
        {"1.4", "1.4", strong_ordering::equal},
        {"1.3", "1.4", strong_ordering::less},
        {"2.0", "1.15", strong_ordering::greater}, // not 20 > 115
        {"1.15", "1.9", strong_ordering::greater},
        {"1.40", "1.4", strong_ordering::greater},
        {"1.4", "1.4.0", strong_ordering::equal},
        {"1.4.0.0", "1.4", strong_ordering::equal},
        {"1.4.0.1", "1.4", strong_ordering::greater},
        {"1.5.1", "1.5.10", strong_ordering::less},
        {"01.05", "1.5", strong_ordering::equal},
        {"99999999999999999999.0", "99999999999999999998.9", strong_ordering::greater},
        {"1.5\n", "1.4", strong_ordering::greater},
        {" 1.5\r\n", "1.5", strong_ordering::equal},
        {"", "1.4", std::nullopt},
        {"1.5", "", std::nullopt},
        {"<html>busy</html>", "1.4", std::nullopt},
        {"1.-5", "1.4", std::nullopt},
        {"+1.5", "1.4", std::nullopt},
        {"1..5", "1.4", std::nullopt},
        {"1.5.", "1.4", std::nullopt},
        {".5", "1.4", std::nullopt},
        {"1.5 beta", "1.4", std::nullopt},
        {"1 .5", "1.4", std::nullopt},
        {"1.5", "Version info not available", std::nullopt},
    };
    for (const auto& c : cases) {
        const auto name = c.left.toStdString() + " vs " + c.right.toStdString();
        EXPECT_EQ(compareVersions(c.left, c.right), c.order) << name;
        const auto mirrored = compareVersions(c.right, c.left);
        EXPECT_EQ(mirrored, c.order ? std::optional(0 <=> *c.order) : std::nullopt) << name;
        const auto newer = isNewerVersion(c.left, c.right);
        EXPECT_EQ(newer, c.order ? std::optional(*c.order > 0) : std::nullopt) << name;
    }
}

TEST(VersionCheck, AppVersionIsMajorDotMinor) {
    const struct {
        QString full, shown;
    } cases[] = {
        {"1.4.0.0", "1.4"},
        {"1.0", "1.0"},
        {"2.13.7", "2.13"},
        {"3", "3.0"},
        {"", ""},
        {"x.y", VersionNotAvailable},
        {"1.", VersionNotAvailable},
    };
    for (const auto& c : cases)
        EXPECT_EQ(appVersionText(c.full), c.shown) << c.full.toStdString();
}

TEST(VersionCheck, UpdaterParametersQuoteEachPathWhole) {
    EXPECT_EQ(updaterParameters("C:\\Users\\A B\\Temp\\KESTRA_Editor_Update.exe",
                                "C:\\Program Files\\Kestra\\Kestra Editor.exe"),
              "\"C:\\Users\\A B\\Temp\\KESTRA_Editor_Update.exe\" \"C:\\Program "
              "Files\\Kestra\\Kestra Editor.exe\"");
}

TEST(MakerSite, PagesHangOffOneOverridableBase) {
    EXPECT_TRUE(makerSite().startsWith("https://"));
    setMakerSite("http://127.0.0.1:8080/");
    EXPECT_EQ(makerPage(makerpaths::VersionDocument).toString(),
              "http://127.0.0.1:8080/download/kestra/kestra-version.php");
    EXPECT_EQ(makerPage(makerpaths::Support).toString(), "http://127.0.0.1:8080/contact-us/");
    setMakerSite(QString());
    EXPECT_EQ(makerPage(makerpaths::WhatsNew).toString(),
              makerSite() + "/download/kestra/update/whatsnew.html");
}

} // namespace
} // namespace kestra
