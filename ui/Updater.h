// Handing over to the updater program, and opening the maker's web pages in
// the user's browser.
#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>

namespace kestra {

inline constexpr char UpdaterProgram[] = "KESTRA_Win_Updater.exe";
inline constexpr char UpdateDownload[] = "KESTRA_Editor_Update.exe";

// Opens address in the user's web browser; says so when that fails.
bool openInBrowser(const QUrl& address);

// Starts the updater with administrator rights, passing the download target
// and the editor's path, each as one argument. False when it could not be
// started.
bool runUpdaterElevated(const QString& updaterPath, const QString& downloadTarget,
                        const QString& editorPath);

// Whether the updater program lies beside the editor.
bool updaterAvailable();
// Where the updater is looked for; empty for the editor's own folder. Tests
// use a folder of their own, so that tests running side by side never see
// each other's updater.
void setUpdaterFolder(const QString& folder);
// How to update where no updater comes with the editor.
QString updateAdvice(const QString& newestVersion);

// "Update Now": asks, starts the updater and ends the editor (also when the
// updater could not be started, after saying so).
void launchUpdater();

// Tests replace how programs are started and how the editor ends; an empty
// function restores the real one.
using ProgramStarter = std::function<bool(const QString& program, const QStringList& arguments)>;
void setProgramStarter(ProgramStarter starter);
void setEditorTerminator(std::function<void()> terminator);

} // namespace kestra
