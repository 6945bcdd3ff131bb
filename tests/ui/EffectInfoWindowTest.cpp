#include "core/MakerSite.h"
#include "operations/FXInfo.h"

#include <QSignalSpy>
#include <QTextBrowser>
#include <gtest/gtest.h>

namespace kestra {
namespace {

TEST(FXInfo, PageAddressCarriesTheEffectNamePercentEncoded) {
    EXPECT_EQ(
        effectInfoUrl("https://www.example.com", "Sizzle + Stack").toString(QUrl::FullyEncoded),
        "https://www.example.com/download/kestra/fxinfo/Sizzle%20%2B%20Stack-info.html");
    EXPECT_EQ(
        effectInfoUrl("https://www.example.com", "Grizzle Drive").toString(QUrl::FullyEncoded),
        "https://www.example.com/download/kestra/fxinfo/Grizzle%20Drive-info.html");
}

// Nothing listens on port 1 of the loopback interface.
class UnreachableSite : public ::testing::Test {
protected:
    void SetUp() override { setMakerSite(QStringLiteral("http://127.0.0.1:1")); }
    void TearDown() override { setMakerSite(QString()); }
};

TEST_F(UnreachableSite, PageLeavesTheBundledDescription) {
    tformFXInfo window;
    QSignalSpy settled(&window, &tformFXInfo::pageSettled);
    window.showEffect(QStringLiteral("Grizzle Drive"));
    EXPECT_EQ(window.windowTitle(), "Grizzle Drive");
    EXPECT_EQ(window.source(), "bundled");
    ASSERT_TRUE(settled.wait(5000));
    EXPECT_EQ(window.source(), "bundled");
    EXPECT_TRUE(window.WebBrowser1->toPlainText().contains("Grizzle Drive"));
}

TEST_F(UnreachableSite, EffectWithoutBundledDescriptionSaysSo) {
    tformFXInfo window;
    window.showEffect(QStringLiteral("Swirlpool"));
    EXPECT_EQ(window.source(), "none");
    EXPECT_TRUE(window.WebBrowser1->toPlainText().contains("No description"));
}

} // namespace
} // namespace kestra
