#include "ui/Updater.h"

#include "core/Dialogs.h"
#include "core/VersionCheck.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#ifdef Q_OS_WIN
#include <shellapi.h>
#include <windows.h>
#endif

namespace kestra {

namespace {
ProgramStarter customStarter;
std::function<void()> customTerminator;

bool startDetached(const QString& program, const QStringList& arguments) {
    if (customStarter)
        return customStarter(program, arguments);
    return QProcess::startDetached(program, arguments);
}

void terminateEditor() {
    if (customTerminator)
        customTerminator();
    else
        QCoreApplication::exit(0);
}

// The temporary folder in its long form (no 8.3 names, no symbolic links).
QString temporaryFolder() {
    const QString temp = QDir::tempPath();
    const QString canonical = QFileInfo(temp).canonicalFilePath();
    return canonical.isEmpty() ? temp : canonical;
}
} // namespace

void setProgramStarter(ProgramStarter starter) {
    customStarter = std::move(starter);
}

void setEditorTerminator(std::function<void()> terminator) {
    customTerminator = std::move(terminator);
}

bool openInBrowser(const QUrl& address) {
    if (QDesktopServices::openUrl(address))
        return true;
    Dialogs::instance().error(QStringLiteral("Could not open %1 in a web browser.\nOpen the "
                                             "address in your browser by hand.")
                                  .arg(address.toString()));
    return false;
}

bool runUpdaterElevated(const QString& updaterPath, const QString& downloadTarget,
                        const QString& editorPath) {
    // Each path whole, whatever characters it holds.
    const QStringList arguments{downloadTarget, editorPath};
#ifdef Q_OS_WIN
    if (customStarter)
        return customStarter(updaterPath, arguments);
    // The shell takes one parameter text; Windows paths hold no quotes.
    const std::wstring file = QDir::toNativeSeparators(updaterPath).toStdWString();
    const std::wstring params = updaterParameters(downloadTarget, editorPath).toStdWString();
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, L"runas", file.c_str(), params.c_str(), nullptr, SW_SHOWNORMAL));
    return result > 32;
#else
    // Without a shell that asks for administrator rights, pkexec does; the
    // updater's own checks decide when it is missing.
    if (!QFileInfo(updaterPath).isFile())
        return false;
    const QString pkexec = QStandardPaths::findExecutable(QStringLiteral("pkexec"));
    if (!pkexec.isEmpty())
        return startDetached(pkexec, QStringList{updaterPath} + arguments);
    return startDetached(updaterPath, arguments);
#endif
}

namespace {
QString& updaterFolderOverride() {
    static QString folder;
    return folder;
}

QString updaterPath() {
    const QString& folder = updaterFolderOverride();
    return QDir::toNativeSeparators(
        QDir(folder.isEmpty() ? QCoreApplication::applicationDirPath() : folder)
            .filePath(QString::fromLatin1(UpdaterProgram)));
}
} // namespace

void setUpdaterFolder(const QString& folder) {
    updaterFolderOverride() = folder;
}

bool updaterAvailable() {
    return QFileInfo(updaterPath()).isFile();
}

QString updateAdvice(const QString& newestVersion) {
    return QStringLiteral("Kestra Editor %1 is available. No updater program comes with the "
                          "editor here: update it the way it was installed (on Debian, install "
                          "the newer kestra-editor package with sudo apt install), then start "
                          "it again.")
        .arg(newestVersion);
}

void launchUpdater() {
    if (!Dialogs::instance().confirm(
            QStringLiteral("This action will update the KESTRA Editor to "
                           "the latest version. Do you want to continue?")))
        return;
    const QString downloadTarget = QDir::toNativeSeparators(
        QDir(temporaryFolder()).filePath(QString::fromLatin1(UpdateDownload)));
    const QString editorPath = QDir::toNativeSeparators(QCoreApplication::applicationFilePath());
    if (!runUpdaterElevated(updaterPath(), downloadTarget, editorPath))
        Dialogs::instance().error(
            QStringLiteral("Failed to launch updater. Please run as administrator."));
    terminateEditor();
}

} // namespace kestra
