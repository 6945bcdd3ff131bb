#include "catalogue/EffectImage.h"

#include <gtest/gtest.h>

namespace kestra {
namespace {

// Byte 0, length 0x0880, then addresses 0x1000 + i for parameter i, then data.
QString sampleImage() {
    QString image = QStringLiteral("000880");
    for (int i = 0; i < ParameterSlots; ++i)
        image += QStringLiteral("%1").arg(0x1000 + i, 4, 16, QLatin1Char('0')).toUpper();
    return image + QStringLiteral("0001A5FFEE");
}

TEST(EffectImage, ParameterAddressesFollowTheLengthField) {
    const QString image = sampleImage();
    for (int i = 0; i < ParameterSlots; ++i) {
        EXPECT_EQ(parameterAddress(image, i).toInt(nullptr, 16), 0x1000 + i) << i;
    }
}

TEST(EffectImage, AddressOutsideTheSlotsOrImageIsEmptyOrShort) {
    const QString image = sampleImage();
    EXPECT_EQ(parameterAddress(image, -1), QString());
    EXPECT_EQ(parameterAddress(image, ParameterSlots), QString());
    EXPECT_EQ(parameterAddress(QStringLiteral("00088010"), 0), QStringLiteral("10"));
    EXPECT_EQ(parameterAddress(QStringLiteral("0008"), 0), QString());
}

TEST(EffectImage, SizeIsTwoCharactersPerByte) {
    EXPECT_EQ(imageByteSize(sampleImage()), sampleImage().size() / 2);
    EXPECT_EQ(imageByteSize(u"ABC"), 1);
    EXPECT_EQ(imageByteSize(u""), 0);
}

TEST(EffectImage, LengthFieldIsBigEndianBytesOneAndTwo) {
    EXPECT_EQ(imageLengthField(sampleImage()), 0x0880);
    EXPECT_EQ(imageLengthField(u"00FFFF"), 0xFFFF);
    EXPECT_EQ(imageLengthField(u"00088"), std::nullopt);
    EXPECT_EQ(imageLengthField(u"0008G0"), std::nullopt);
}

} // namespace
} // namespace kestra
