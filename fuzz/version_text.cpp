// The maker's version text against the editor's. Comparing a text with
// itself is never "newer"; the comparison is defined for both orders or for
// neither, never "newer" both ways, and transitive; a version's short text
// is stable.
#include "core/VersionCheck.h"
#include "fuzz/FuzzSupport.h"

#include <QRegularExpression>

namespace kestra::fuzz {
namespace {

void checkShortText(const QString& full) {
    const QString text = appVersionText(full);
    FUZZ_CHECK(text.isEmpty() == full.isEmpty());
    if (text.isEmpty() || text == QLatin1String(VersionNotAvailable))
        return;
    static const QRegularExpression majorMinor(QStringLiteral("^[0-9]+\\.[0-9]+$"));
    FUZZ_CHECK_MSG(majorMinor.match(text).hasMatch(), shown(full) + " -> " + shown(text));
    FUZZ_CHECK(appVersionText(text) == text);
}

} // namespace
} // namespace kestra::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kestra;
    using namespace kestra::fuzz;
    FuzzedDataProvider in(data, size);
    QString texts[3];
    for (QString& text : texts) {
        const std::string bytes = in.ConsumeRandomLengthString(32);
        text = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    }
    for (const QString& a : texts) {
        checkShortText(a);
        // A readable version equals itself and is never newer than itself.
        const std::optional<std::strong_ordering> self = compareVersions(a, a);
        const bool readable = self.has_value();
        FUZZ_CHECK(!readable || *self == std::strong_ordering::equal);
        FUZZ_CHECK(isNewerVersion(a, a) != std::optional<bool>(true));
        FUZZ_CHECK(isNewerVersion(a, a).has_value() == readable);
        for (const QString& b : texts) {
            const std::optional<bool> ab = isNewerVersion(a, b);
            const std::optional<bool> ba = isNewerVersion(b, a);
            FUZZ_CHECK(ab.has_value() == ba.has_value());
            FUZZ_CHECK(ab.has_value() == (readable && compareVersions(b, b).has_value()));
            FUZZ_CHECK(!(ab == true && ba == true));
            for (const QString& c : texts) {
                if (ab == true && isNewerVersion(b, c) == true)
                    FUZZ_CHECK(isNewerVersion(a, c) == true);
            }
        }
    }
    return 0;
}
