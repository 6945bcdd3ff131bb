#include "protocol/StoredEffectReply.h"

#include <gtest/gtest.h>

namespace kestra {
namespace {

TEST(StoredEffectReply, ReadsTheFourNumbers) {
    QString error;
    const auto reply = parseStoredEffectReply("0\r\n12\r\n2\r\n5\r\n", &error);
    ASSERT_TRUE(reply) << error.toStdString();
    EXPECT_FALSE(reply->empty);
    EXPECT_EQ(reply->effectNumber, 12);
    EXPECT_EQ(reply->effectVersion, 2);
    EXPECT_EQ(reply->firmwareVersion, 5);
}

TEST(StoredEffectReply, EmptyStoreIsAnEqualPairOf255Or0) {
    const auto none = parseStoredEffectReply("255\r\n255\r\n1\r\n7\r\n", nullptr);
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->empty);
    // The numbers are kept all the same.
    EXPECT_EQ(none->effectNumber, 255);
    EXPECT_EQ(none->effectVersion, 1);
    EXPECT_EQ(none->firmwareVersion, 7);
    EXPECT_TRUE(parseStoredEffectReply("0\r\n0\r\n1\r\n7\r\n", nullptr)->empty);
    EXPECT_FALSE(parseStoredEffectReply("255\r\n0\r\n1\r\n7\r\n", nullptr)->empty);
}

TEST(StoredEffectReply, FourthLineMayEndTheTextAndMoreIsIgnored) {
    EXPECT_EQ(parseStoredEffectReply("0\r\n3\r\n1\r\n9", nullptr)->firmwareVersion, 9);
    EXPECT_EQ(parseStoredEffectReply("0\r\n3\r\n1\r\n9\r\nextra\r\n", nullptr)->firmwareVersion, 9);
}

TEST(StoredEffectReply, RefusesWhatIsNotFourNumbers) {
    for (const char* text : {"", "0\r\n12\r\n", "0\r\nabc\r\n1\r\n2\r\n", "0\r\n-1\r\n1\r\n2\r\n",
                             "0\r\n12\r\n2\r\n\r\n"}) {
        QString error;
        EXPECT_FALSE(parseStoredEffectReply(QString::fromLatin1(text), &error)) << text;
        EXPECT_FALSE(error.isEmpty()) << text;
    }
}

} // namespace
} // namespace kestra
