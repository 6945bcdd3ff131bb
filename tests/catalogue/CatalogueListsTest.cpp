#include "catalogue/CatalogueLists.h"

#include "catalogue/ResourceNames.h"
#include "tests/catalogue/CatalogueFixtures.h"
#include "tests/support/TestPrompts.h"

#include <gtest/gtest.h>

namespace kestra {
namespace {

class CatalogueListsTest : public testing::Test {
protected:
    test::TestPrompts prompts;
    test::LogCapture log;
    test::CatalogueFolder folder{{
        {"GAIN", "Grizzle Drive\r\nBig + Small\r\n"},
        {"DYNAMIC", "Squash\nGate"},
        {"EMPTY", ""},
        {"GRIZZLE_DRIVE", "00AABB\r\n"},
        {"BIG_PLUS_SMALL", "0011223344"},
        {"FITS", test::imageOfSize(BankImageLimit)},
        {"ONE_TOO_MANY", test::imageOfSize(BankImageLimit + 1)},
        {"EFFECT_LIST", "0:empty\r\n1:Grizzle Drive\r\nA:Time: Warp\r\nno colon\r\n"},
    }};
    ResourceStore store = folder.store();
    CatalogueLists lists{store};
};

TEST_F(CatalogueListsTest, EachLoadReplacesTheList) {
    ASSERT_TRUE(lists.read_file_from_stream("gain"));
    EXPECT_EQ(lists.categoryList, (QStringList{"Grizzle Drive", "Big + Small"}));
    ASSERT_TRUE(lists.read_file_from_stream("dynamic"));
    EXPECT_EQ(lists.categoryList, (QStringList{"Squash", "Gate"}));
    ASSERT_TRUE(lists.read_file_from_stream("empty"));
    EXPECT_TRUE(lists.categoryList.isEmpty());
    EXPECT_TRUE(prompts.messages.isEmpty());
}

TEST_F(CatalogueListsTest, FailedLoadKeepsThePreviousListAndSaysWhichResource) {
    ASSERT_TRUE(lists.read_file_from_stream("gain"));
    ASSERT_TRUE(lists.read_file_from_stream2("grizzle_drive"));
    const QStringList categories = lists.categoryList;
    const QStringList image = lists.imageList;

    EXPECT_FALSE(lists.read_file_from_stream("synthesis"));
    EXPECT_FALSE(lists.read_file_from_stream2("No_Such_Effect"));

    EXPECT_EQ(lists.categoryList, categories);
    EXPECT_EQ(lists.imageList, image);
    ASSERT_EQ(prompts.messages.size(), 2);
    EXPECT_EQ(prompts.messages[0], "Error loading resource: " + store.errorFor("synthesis"));
    EXPECT_TRUE(prompts.messages[0].contains("synthesis"));
    EXPECT_TRUE(prompts.messages[0].contains("not found"));
    EXPECT_TRUE(prompts.messages[1].contains("No_Such_Effect"));
}

TEST_F(CatalogueListsTest, ImageAndCategoryListsAreIndependent) {
    ASSERT_TRUE(lists.read_file_from_stream("gain"));
    ASSERT_TRUE(lists.read_file_from_stream2("big_plus_small"));
    EXPECT_EQ(lists.categoryList.size(), 2);
    EXPECT_EQ(lists.imageList, QStringList{"0011223344"});
}

TEST_F(CatalogueListsTest, EffectSizeUsesTheResourceNameOfTheEffect) {
    EXPECT_EQ(lists.getEffectSize("Grizzle Drive"), 3);
    EXPECT_EQ(lists.getEffectSize("Big + Small"), 5);
    EXPECT_EQ(log.lines,
              (QStringList{"resource name: Grizzle_Drive", "resource name: Big_plus_Small"}));
}

TEST_F(CatalogueListsTest, EffectSizeOfAMissingImageMeasuresThePreviousImage) {
    ASSERT_EQ(lists.getEffectSize("Big + Small"), 5);
    EXPECT_EQ(lists.getEffectSize("Missing Effect"), 5);
    EXPECT_EQ(prompts.messages.size(), 1);
}

TEST_F(CatalogueListsTest, EffectSizeWithNothingLoadedIsZero) {
    EXPECT_EQ(lists.getEffectSize("Missing Effect"), 0);
}

TEST_F(CatalogueListsTest, BankLimitAllows5440BytesButNot5441) {
    EXPECT_EQ(lists.getEffectSize("Fits"), BankImageLimit);
    EXPECT_EQ(lists.getEffectSize("One Too Many"), BankImageLimit + 1);
    log.lines.clear();

    const std::vector<bool> tooLarge =
        lists.rowsExceedingBankLimit({"Fits", "One Too Many", "Grizzle Drive"});

    EXPECT_EQ(tooLarge, (std::vector<bool>{false, true, false}));
    EXPECT_TRUE(log.lines.contains("size of One Too Many exceed 5440 bytes"));
    EXPECT_EQ(log.lines.filter("exceed").size(), 1);
}

TEST_F(CatalogueListsTest, EffectNamesComeAfterTheFirstColon) {
    ASSERT_TRUE(lists.read_file_from_stream(EffectListResource));
    const QStringList& rows = lists.categoryList;
    EXPECT_EQ(effectNameOfRow(rows, 0), "empty");
    EXPECT_EQ(effectNameOfRow(rows, 1), "Grizzle Drive");
    EXPECT_EQ(effectNameOfRow(rows, 2), "Time: Warp");
    EXPECT_EQ(effectNameOfRow(rows, 3), "no colon");
    for (int outside : {-1, 4, 1000})
        EXPECT_EQ(effectNameOfRow(rows, outside), std::nullopt) << outside;
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
