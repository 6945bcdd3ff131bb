// The editor's settings files. Any bytes: a readable file always gives a
// text, which is the bytes as UTF-8 when they are valid UTF-8 with no
// byte-order mark (or a UTF-8 mark), and the mode, yes/no and look values
// read from it are what their texts say. Any text written reads back the same.
#include "core/Settings.h"
#include "fuzz/FuzzSupport.h"

#include <QFile>
#include <QRegularExpression>

namespace kestra::fuzz {
namespace {

bool write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

bool validUtf8(const QByteArray& bytes) {
    return QString::fromUtf8(bytes).toUtf8() == bytes;
}

// Starts with a byte-order mark of UTF-8, UTF-16 or UTF-32.
bool marked(const QByteArray& bytes) {
    return bytes.startsWith("\xEF\xBB\xBF") || bytes.startsWith("\xFF\xFE") ||
           bytes.startsWith("\xFE\xFF") || bytes.startsWith(QByteArray("\0\0\xFE\xFF", 4));
}

void checkValues(const QString& text) {
    FUZZ_CHECK(settings::parseYesNo(text) == (text == u"YES"  ? std::optional(true)
                                              : text == u"NO" ? std::optional(false)
                                                              : std::nullopt));
    FUZZ_CHECK(settings::parseMode(text) == (text == u"BANK"     ? std::optional(true)
                                             : text == u"PRESET" ? std::optional(false)
                                                                 : std::nullopt));
    const std::optional<int> style = settings::parseStyleNumber(text);
    if (!style)
        return;
    // A decimal number, perhaps with a minus sign, and blanks around it, in
    // any script: a player's ideographic space is a blank too. Qt's number
    // reading stops at a NUL character, so whatever follows one is not
    // looked at.
    static const QRegularExpression decimal(QStringLiteral("^\\s*-?[0-9]+\\s*$"),
                                            QRegularExpression::UseUnicodePropertiesOption);
    FUZZ_CHECK_MSG(decimal.match(text.left(text.indexOf(QChar::Null))).hasMatch(), shown(text));
    FUZZ_CHECK(settings::parseStyleNumber(QString::number(*style)) == style);
    FUZZ_CHECK(settings::parseStyleNumber(u' ' + text + QStringLiteral("\r\n")) == style);
    FUZZ_CHECK(settings::styleResourceName(*style) ==
               QStringLiteral("Style_") + QString::number(*style));
}

} // namespace
} // namespace kestra::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kestra;
    using namespace kestra::fuzz;
    FuzzedDataProvider in(data, size);
    const bool written = in.ConsumeBool();
    const std::string rest = in.ConsumeRemainingBytesAsString();
    const QByteArray bytes(rest.data(), static_cast<qsizetype>(rest.size()));
    const QString path = scratchPath(QStringLiteral("Mode.txt"));
    QString error;
    if (written) {
        // Any text but one that starts with a byte-order mark, which the
        // reader takes for the file's.
        QString text = QString::fromUtf8(bytes);
        while (text.startsWith(QChar::ByteOrderMark))
            text.remove(0, 1);
        FUZZ_CHECK(settings::writeText(path, text).isEmpty());
        const std::optional<QString> read = settings::readText(path, &error);
        FUZZ_CHECK_MSG(read == text, shown(text) + " read as " + shown(read.value_or(QString())));
        checkValues(text);
        return 0;
    }
    FUZZ_CHECK(write(path, bytes));
    const std::optional<QString> text = settings::readText(path, &error);
    FUZZ_CHECK_MSG(text, shown(error));
    if (!marked(bytes) && validUtf8(bytes))
        FUZZ_CHECK(*text == QString::fromUtf8(bytes));
    if (bytes.startsWith("\xEF\xBB\xBF") && validUtf8(bytes.mid(3)))
        FUZZ_CHECK(*text == QString::fromUtf8(bytes.mid(3)));
    checkValues(*text);
    return 0;
}
