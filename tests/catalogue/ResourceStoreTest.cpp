#include "catalogue/ResourceStore.h"

#include "tests/catalogue/CatalogueFixtures.h"

#include <gtest/gtest.h>

namespace kestra {
namespace {

class ResourceStoreTest : public testing::Test {
protected:
    test::CatalogueFolder folder{{{"GAIN", "Grit\r\n"}, {"ECHO_MULT2_CTRLS", "100\nTime"}}};
    ResourceStore store = folder.store();
};

TEST_F(ResourceStoreTest, FindsNamesRegardlessOfCase) {
    for (const char* name : {"GAIN", "gain", "Gain", "gAiN"})
        EXPECT_EQ(store.find(QString::fromLatin1(name)), QByteArray("Grit\r\n")) << name;
    EXPECT_EQ(store.find("Echo_mult2_ctrls"), QByteArray("100\nTime"));
}

TEST_F(ResourceStoreTest, MissingResourceIsNamedInTheError) {
    EXPECT_FALSE(store.find("gainx"));
    EXPECT_FALSE(store.contains("gainx"));
    const QString error = store.errorFor("gainx");
    EXPECT_TRUE(error.contains("gainx")) << error.toStdString();
    EXPECT_TRUE(error.contains("not found")) << error.toStdString();
}

TEST_F(ResourceStoreTest, ListsUpperCaseNames) {
    EXPECT_EQ(store.names(), (QStringList{"ECHO_MULT2_CTRLS", "GAIN"}));
}

TEST(ResourceStoreFolder, MissingFolderIsAnEmptyStore) {
    const ResourceStore store("/nonexistent/kestra/catalogue");
    EXPECT_TRUE(store.names().isEmpty());
    EXPECT_FALSE(store.find("GAIN"));
}

} // namespace
} // namespace kestra
