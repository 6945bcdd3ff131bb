#include "core/VersionCheck.h"

#include "core/MakerSite.h"

#include <gtest/gtest.h>

namespace kestra {
namespace {

TEST(VersionCheck, ServerVersionIsNewerWhenItsDotlessNumberIsGreater) {
    const struct {
        QString server, current;
        std::optional<bool> newer;
    } cases[] = {
        {"1.5", "1.4", true},
        {"1.4", "1.4", false},
        {"1.40", "1.4", true}, // 140 > 14
        {"1.3", "1.4", false},
        {"1.5.1", "1.4", true},
        {"1.5\n", "1.4", true},
        {"", "1.4", std::nullopt},
        {"<html>busy</html>", "1.4", std::nullopt},
        {"1.-5", "1.4", std::nullopt},
        {"1.5", "Version info not available", std::nullopt},
        {"1.5", "", std::nullopt},
        {"99999999999999999999", "1.4", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(isNewerVersion(c.server, c.current), c.newer)
            << c.server.toStdString() << " vs " << c.current.toStdString();
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
