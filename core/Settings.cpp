#include "core/Settings.h"

#include "core/UserFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringConverter>
#include <filesystem>
#include <system_error>

namespace kestra::settings {

QString folderPath(const QString& folder) {
    return QDir(documentsFolder()).filePath(folder);
}

QString subfolderPath(const QString& folder, const QString& subfolder) {
    return QDir(folderPath(folder)).filePath(subfolder);
}

QString modeFile() {
    return QDir(subfolderPath(MakerFolder, ProductFolder)).filePath(QStringLiteral("Mode.txt"));
}

QString startupMessageFile() {
    return QDir(subfolderPath(MakerFolder, ProductFolder))
        .filePath(QStringLiteral("ShowMessageVersionAtStartup.txt"));
}

QString styleFile() {
    return QDir(folderPath(MakerFolder)).filePath(QStringLiteral("style.txt"));
}

QString liveAfterUploadFile() {
    return QDir(subfolderPath(MakerFolder, ProductFolder))
        .filePath(QStringLiteral("EditAfterUpload.txt"));
}

QString valueColumnFile() {
    return QDir(subfolderPath(MakerFolder, ProductFolder))
        .filePath(QStringLiteral("ShowValues.txt"));
}

bool valueColumnShown() {
    return readYesNo(valueColumnFile(), true);
}

QString impulseResponseTipFile() {
    return QDir(subfolderPath(MakerFolder, ProductFolder))
        .filePath(QStringLiteral("ShowImpulseResponseTip.txt"));
}

QString connectionFile() {
    return QDir(subfolderPath(MakerFolder, ProductFolder))
        .filePath(QStringLiteral("Connection.txt"));
}

QString windowPlacesFile() {
    return QDir(subfolderPath(MakerFolder, ProductFolder))
        .filePath(QStringLiteral("WindowPlaces.txt"));
}

QString makeFolder(const QString& path) {
    if (QFileInfo(path).isDir())
        return {};
    // QDir::mkdir gives no reason; the user needs one to fix the problem.
    // Parents are made too: a new account may have no documents folder yet.
    std::error_code failure;
    if (std::filesystem::create_directories(std::filesystem::path(path.toStdU16String()), failure))
        return {};
    if (!failure) // something that is not a folder already has the name
        failure = std::make_error_code(std::errc::file_exists);
    return QString::fromStdString(failure.message());
}

std::optional<QString> readText(const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return std::nullopt;
    }
    const QByteArray bytes = file.readAll();
    if (const auto marked = QStringConverter::encodingForData(bytes)) {
        QStringDecoder decoder(*marked);
        return QString(decoder(bytes));
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8(bytes);
    if (!utf8.hasError())
        return text;
    QStringDecoder ansi(QStringDecoder::System);
    return QString(ansi(bytes));
}

QString writeText(const QString& path, const QString& text) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    const QByteArray bytes = text.toUtf8();
    if (file.write(bytes) != bytes.size() || !file.commit())
        return file.errorString();
    return {};
}

std::optional<bool> parseYesNo(const QString& text) {
    if (text == QLatin1String(Yes))
        return true;
    if (text == QLatin1String(No))
        return false;
    return std::nullopt;
}

std::optional<bool> parseMode(const QString& text) {
    if (text == QLatin1String(BankMode))
        return true;
    if (text == QLatin1String(PresetMode))
        return false;
    return std::nullopt;
}

std::optional<bool> parseConnection(const QString& text) {
    const QString word = text.trimmed();
    if (word == QLatin1String(VirtualConnection))
        return true;
    if (word == QLatin1String(UsbConnection))
        return false;
    return std::nullopt;
}

std::optional<int> parseStyleNumber(const QString& text) {
    const QString trimmed = text.trimmed();
    bool ok = false;
    const int n = trimmed.toInt(&ok, 10);
    if (!ok || trimmed.startsWith(QLatin1Char('+')))
        return std::nullopt;
    return n;
}

QString styleResourceName(int n) {
    return QStringLiteral("Style_%1").arg(n);
}

QString writeMode(bool bank) {
    return writeText(modeFile(), QLatin1String(bank ? BankMode : PresetMode));
}

QString writeConnection(bool virtualPedal) {
    return writeText(connectionFile(),
                     QLatin1String(virtualPedal ? VirtualConnection : UsbConnection));
}

QString rememberStartupMessageChoice(bool show) {
    if (!QFileInfo::exists(startupMessageFile()))
        return {};
    return writeText(startupMessageFile(), QLatin1String(show ? Yes : No));
}

bool readYesNo(const QString& path, bool fallback) {
    if (!QFileInfo::exists(path))
        return fallback;
    const std::optional<QString> text = readText(path);
    const std::optional<bool> yes = text ? parseYesNo(text->trimmed()) : std::nullopt;
    return yes.value_or(fallback);
}

QString writeYesNo(const QString& path, bool yes) {
    return writeText(path, QLatin1String(yes ? Yes : No));
}

QString saveErrorMessage(const QString& path, const QString& error) {
    return QStringLiteral("Could not save the setting to %1: %2.\nCheck that the folder exists "
                          "and that you may write to it.")
        .arg(QDir::toNativeSeparators(path), error);
}

} // namespace kestra::settings
