// Walks the catalogue compiled into this executable. The generic checks hold
// for any catalogue; the counts only for the default one (resources/).
#include "catalogue/Catalogue.h"
#include "catalogue/ControlDescriptor.h"
#include "catalogue/EffectImage.h"
#include "catalogue/ResourceNames.h"
#include "core/DebugLog.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <gtest/gtest.h>
#include <map>

namespace kestra {
namespace {

constexpr bool DefaultCatalogue = KESTRA_DEFAULT_CATALOGUE;
constexpr int MinImageBytes = 1216;
constexpr int MaxCatalogueImageBytes = 9472;
// The one image whose length field is known to disagree with its size.
constexpr int BadLengthField = 2176;
constexpr int BadLengthHeld = 2048;

bool isCleanHex(const QString& text) {
    if (text.isEmpty() || text.size() % 2 != 0)
        return false;
    for (const QChar c : text) {
        if (hexDigitValue(QStringView(&c, 1)) < 0)
            return false;
    }
    return true;
}

class CompiledCatalogue : public testing::Test {
protected:
    void SetUp() override {
        DebugLog::setSink([](const QStringList&, bool) {});
        effectList =
            catalogue.list(QString::fromLatin1(EffectListResource)).value_or(QStringList());
        ASSERT_FALSE(effectList.isEmpty());
    }
    void TearDown() override { DebugLog::setSink({}); }

    QStringList effectNames() const {
        QStringList names;
        for (int row = 1; row < effectList.size(); ++row)
            names.append(*effectNameOfRow(effectList, row));
        return names;
    }

    const ResourceStore& store = ResourceStore::compiled();
    Catalogue catalogue{store};
    QStringList effectList;
};

TEST_F(CompiledCatalogue, HoldsExactlyTheConfiguredFolder) {
    const QDir folder(QStringLiteral(KESTRA_TEST_CATALOGUE_DIR));
    const QStringList files = folder.entryList(QDir::Files, QDir::Name);
    QStringList upper;
    for (const QString& file : files) {
        upper.append(file.toUpper());
        QFile f(folder.filePath(file));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << file.toStdString();
        EXPECT_EQ(store.find(file), f.readAll()) << file.toStdString();
    }
    upper.sort();
    EXPECT_EQ(store.names(), upper);
}

TEST_F(CompiledCatalogue, EffectListStartsWithTheEmptySlot) {
    EXPECT_EQ(effectList.first(), "0:empty");
    const QStringList names = effectNames();
    EXPECT_EQ(QSet<QString>(names.begin(), names.end()).size(), names.size());
}

TEST_F(CompiledCatalogue, EveryImageIsCleanHexOfAPlausibleSize) {
    int lengthMismatches = 0;
    const QStringList names = effectNames();
    for (int row = 1; row <= names.size(); ++row) {
        const QString& name = names[row - 1];
        SCOPED_TRACE(name.toStdString());
        const auto lines = catalogue.list(format_resource_name(name));
        ASSERT_TRUE(lines);
        ASSERT_EQ(lines->size(), 1);
        const QString image = lines->first();
        ASSERT_TRUE(isCleanHex(image));

        const int bytes = int(imageByteSize(image));
        EXPECT_GE(bytes, MinImageBytes);
        EXPECT_LE(bytes, MaxCatalogueImageBytes);
        EXPECT_LE(bytes, MaxImageBytes);
        EXPECT_EQ(catalogue.imageSize(name), bytes);

        const std::optional<int> length = imageLengthField(image);
        ASSERT_TRUE(length);
        if (*length != bytes) {
            ++lengthMismatches;
            EXPECT_EQ(*length, BadLengthField);
            EXPECT_EQ(bytes, BadLengthHeld);
        }
        EXPECT_EQ(image.mid(70, 4).toInt(nullptr, 16), row) << "effect number field";
    }
    if (DefaultCatalogue) {
        EXPECT_EQ(lengthMismatches, 1);
    }
}

TEST_F(CompiledCatalogue, EveryDescriptorLoadsAndMatchesItsImage) {
    int refused = 0;
    for (const QString& name : effectNames()) {
        SCOPED_TRACE(name.toStdString());
        QString error;
        const std::optional<ControlDescriptor> loaded = loadControlDescriptor(name, &error, store);
        if (!loaded) {
            // Only the known broken descriptor may be refused.
            ++refused;
            EXPECT_TRUE(error.contains("declares 24 parameters")) << error.toStdString();
            continue;
        }
        const ControlDescriptor& d = *loaded;
        const QString image = catalogue.image(name).value_or(QString());
        for (int i = 0; i < ParameterSlots; ++i) {
            const bool used = i < d.numOfParameters;
            EXPECT_EQ(parameterAddress(image, i) != "0000", used) << "parameter " << i;
            if (d.kindOf(i) == ControlKind::Selector) {
                EXPECT_FALSE(
                    splitSelectorLine(d.parameterNames[std::size_t(i)]).positions.isEmpty());
            }
        }
    }
    if (DefaultCatalogue) {
        EXPECT_EQ(refused, 1);
    }
}

TEST_F(CompiledCatalogue, EveryCategoryMemberIsACompleteEffect) {
    const QStringList allEffects = effectNames();
    for (const CategoryEntry& category : Categories) {
        SCOPED_TRACE(category.displayName);
        const auto members = catalogue.list(QString::fromLatin1(category.resourceName));
        ASSERT_TRUE(members);
        EXPECT_FALSE(members->isEmpty());
        for (const QString& member : *members) {
            EXPECT_TRUE(allEffects.contains(member)) << member.toStdString();
            const QString resource = format_resource_name(member);
            EXPECT_TRUE(store.contains(resource)) << member.toStdString();
            EXPECT_TRUE(store.contains(resource + "_ctrls")) << member.toStdString();
        }
    }
}

TEST_F(CompiledCatalogue, DefaultCatalogueCounts) {
    if (!DefaultCatalogue)
        GTEST_SKIP() << "counts are those of the default catalogue";
    EXPECT_EQ(effectList.size(), 62);

    const std::map<QString, int> expected = {
        {"Gain", 16},   {"Modulation", 15},      {"Synthesis", 6}, {"Filter", 4},
        {"Dynamic", 2}, {"Impulse Response", 4}, {"Other", 7}};
    QSet<QString> members;
    for (const CategoryEntry& category : Categories) {
        const QString display = QString::fromLatin1(category.displayName);
        const auto list = catalogue.list(*categoryResourceName(display));
        ASSERT_TRUE(list);
        EXPECT_EQ(list->size(), expected.at(display)) << category.displayName;
        for (const QString& member : *list)
            members.insert(member);
    }
    EXPECT_EQ(members.size(), 54);
}

} // namespace
} // namespace kestra
