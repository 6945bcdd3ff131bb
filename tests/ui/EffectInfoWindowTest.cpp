// The effect info window: the maker's page of an effect when the site
// answers, the description bundled with the catalogue when it does not.
#include "ui/EffectInfoWindow.h"

#include "EditorFixture.h"
#include "MakerServer.h"

#include <QSignalSpy>
#include <QTextBrowser>
#include <gtest/gtest.h>

namespace kestra::test {
namespace {

TEST(EffectInfoPage, AddressCarriesTheEffectNamePercentEncoded) {
    EXPECT_EQ(
        effectInfoUrl("https://www.example.com", "Sizzle + Stack").toString(QUrl::FullyEncoded),
        "https://www.example.com/download/kestra/fxinfo/Sizzle%20%2B%20Stack-info.html");
    EXPECT_EQ(
        effectInfoUrl("https://www.example.com", "Grizzle Drive").toString(QUrl::FullyEncoded),
        "https://www.example.com/download/kestra/fxinfo/Grizzle%20Drive-info.html");
}

class EffectInfoWindowTest : public ::testing::Test {
protected:
    // Nothing listens on port 1 of the loopback interface.
    void SetUp() override { setMakerSite(QStringLiteral("http://127.0.0.1:1")); }
    void TearDown() override { setMakerSite(QString()); }
    // The page request ends (answered, refused or failed) through the event loop.
    void waitForThePage() { ASSERT_TRUE(settled.wait(5000)) << "the page request never ended"; }
    QString text() const { return window.browser()->toPlainText(); }

    EffectInfoWindow window;
    QSignalSpy settled{&window, &EffectInfoWindow::pageSettled};
};

TEST_F(EffectInfoWindowTest, AnUnreachableSiteLeavesTheBundledDescription) {
    window.showEffect(QStringLiteral("Grizzle Drive"));
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.windowTitle(), "Grizzle Drive");
    EXPECT_EQ(window.source(), "bundled");
    waitForThePage();
    EXPECT_EQ(window.source(), "bundled");
    EXPECT_TRUE(text().contains("Grizzle Drive"));
}

TEST_F(EffectInfoWindowTest, AnEffectWithoutABundledDescriptionSaysSo) {
    window.showEffect(QStringLiteral("Swirlpool"));
    EXPECT_EQ(window.source(), "none");
    EXPECT_TRUE(text().contains("No description"));
    EXPECT_TRUE(text().contains("Swirlpool"));
}

TEST_F(EffectInfoWindowTest, TheMakersPageReplacesTheBundledDescription) {
    MakerServer server;
    server.contentType = "text/html";
    server.body = "<h1>Grizzle Drive online</h1>";
    setMakerSite(server.site());
    window.showEffect(QStringLiteral("Grizzle Drive"));
    waitForThePage();
    EXPECT_EQ(server.paths, QStringList({"/download/kestra/fxinfo/Grizzle%20Drive-info.html"}));
    EXPECT_EQ(window.source(), "page");
    EXPECT_EQ(text(), "Grizzle Drive online");
}

TEST_F(EffectInfoWindowTest, AMissingPageLeavesTheBundledDescription) {
    MakerServer server;
    server.status = "404 Not Found";
    server.body = "missing";
    setMakerSite(server.site());
    window.showEffect(QStringLiteral("Grizzle Drive"));
    waitForThePage();
    EXPECT_EQ(window.source(), "bundled");
    EXPECT_FALSE(text().contains("missing"));
}

// The "?" beside the effect list shows the selected effect, and follows the
// selection while it is open.
class EffectInfoFromTheMainWindow : public EditorFixture {};

TEST_F(EffectInfoFromTheMainWindow, FollowsTheSelection) {
    EffectInfoWindow& info = editor->effectInfoWindow();
    EXPECT_FALSE(button("Effect info")->isEnabled()) << "nothing is selected yet";
    select("Gain", "Grizzle Drive");
    click("Effect info");
    EXPECT_TRUE(info.isVisible());
    EXPECT_EQ(info.windowTitle(), "Grizzle Drive");
    EXPECT_EQ(info.source(), "bundled");

    select("Modulation", "Wobblecat Trem");
    EXPECT_EQ(info.windowTitle(), "Wobblecat Trem");
    EXPECT_EQ(info.source(), "bundled");
    EXPECT_TRUE(info.browser()->toPlainText().contains("tremolo"));
}

} // namespace
} // namespace kestra::test
