#include "catalogue/Catalogue.h"

#include "catalogue/ResourceNames.h"
#include "tests/catalogue/CatalogueFixtures.h"

#include <gtest/gtest.h>

namespace kestra {
namespace {

class CatalogueTest : public testing::Test {
protected:
    test::LogCapture log;
    test::CatalogueFolder folder{{
        {"GAIN", "Grizzle Drive\r\nBig + Small\r\n"},
        {"DYNAMIC", "Squash\nGate"},
        {"GRIZZLE_DRIVE", "00AABB\r\n"},
        {"BIG_PLUS_SMALL", "0011223344"},
        {"FITS", test::imageOfSize(BankImageLimit)},
        {"ONE_TOO_MANY", test::imageOfSize(BankImageLimit + 1)},
        {"EFFECT_LIST", "0:empty\r\n1:Grizzle Drive\r\nA:Time: Warp\r\nno colon\r\n5:Squash\r\n"},
    }};
    ResourceStore store = folder.store();
    Catalogue catalogue{store};
};

TEST_F(CatalogueTest, CategoriesListTheirMembersInOrder) {
    EXPECT_EQ(catalogue.categoryEffects(0), (QStringList{"Grizzle Drive", "Big + Small"}));
    EXPECT_EQ(catalogue.categoryEffects(4), (QStringList{"Squash", "Gate"}));
    QString error;
    EXPECT_EQ(catalogue.categoryEffects(2, &error), std::nullopt) << "no SYNTHESIS here";
    EXPECT_EQ(error, "Error loading resource: " + store.errorFor("synthesis"));
    EXPECT_EQ(catalogue.categoryEffects(7), std::nullopt);
}

TEST_F(CatalogueTest, AnEffectIsFoundInTheFirstCategoryThatHoldsIt) {
    EXPECT_EQ(catalogue.categoryOf("Big + Small"), 0);
    EXPECT_EQ(catalogue.categoryOf("Gate"), 4);
    EXPECT_EQ(catalogue.categoryOf("Time: Warp"), std::nullopt) << "in no category";
}

TEST_F(CatalogueTest, ImagesAndTheirSizesComeByTheEffectsResourceName) {
    EXPECT_EQ(catalogue.image("Grizzle Drive"), "00AABB");
    EXPECT_EQ(catalogue.imageSize("Big + Small"), 5);
    EXPECT_TRUE(log.lines.contains("resource name: Big_plus_Small"));
    EXPECT_EQ(catalogue.imageSize("Fits"), BankImageLimit);
    EXPECT_TRUE(exceedsBankLimit(*catalogue.imageSize("One Too Many")));
    EXPECT_FALSE(exceedsBankLimit(*catalogue.imageSize("Fits")));
}

TEST_F(CatalogueTest, AMissingImageIsMissingWhateverWasReadBefore) {
    ASSERT_EQ(catalogue.imageSize("Big + Small"), 5);
    EXPECT_EQ(catalogue.imageSize("Missing Effect"), std::nullopt);
    QString error;
    EXPECT_EQ(catalogue.image("Missing Effect", &error), std::nullopt);
    EXPECT_TRUE(error.contains("Missing_Effect")) << error.toStdString();
}

TEST_F(CatalogueTest, EffectNumbersNameTheRowsOfTheEffectList) {
    EXPECT_EQ(catalogue.effectName(1), "Grizzle Drive");
    EXPECT_EQ(catalogue.effectName(2), "Time: Warp") << "the id before the colon is not read";
    EXPECT_EQ(catalogue.effectName(3), "no colon");
    for (int unknown : {0, 5 + 1, 1000, -1}) {
        QString error;
        EXPECT_EQ(catalogue.effectName(unknown, &error), std::nullopt) << unknown;
        EXPECT_TRUE(error.contains(QStringLiteral("effect number %1").arg(unknown)))
            << error.toStdString();
    }
}

TEST(Categories, ResourceNameIsTheLowerCaseResourceNameOfTheDisplayName) {
    for (const CategoryEntry& category : Categories) {
        const QString display = QString::fromLatin1(category.displayName);
        EXPECT_EQ(categoryResourceName(display), format_resource_name(display).toLower());
        EXPECT_EQ(categoryResourceName(display), QString::fromLatin1(category.resourceName));
    }
    EXPECT_EQ(categoryResourceName("gain"), std::nullopt);
    EXPECT_EQ(categoryResourceName("Impulse_Response"), std::nullopt);
}

} // namespace
} // namespace kestra
