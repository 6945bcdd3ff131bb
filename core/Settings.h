// The editor's small settings files below the user's documents folder: the
// mode, whether the new-version window may open, the visual style, and the
// connection the player chose. Each holds one word or number, UTF-8 without
// a byte-order mark or line end.
#pragma once

#include <QString>
#include <optional>

namespace kestra::settings {

inline constexpr char MakerFolder[] = "Quorvane";
inline constexpr char ProductFolder[] = "Kestra";

inline constexpr char Yes[] = "YES";
inline constexpr char No[] = "NO";
inline constexpr char PresetMode[] = "PRESET";
inline constexpr char BankMode[] = "BANK";
inline constexpr char VirtualConnection[] = "VIRTUAL";
inline constexpr char UsbConnection[] = "USB";

// Full paths, below documentsFolder() as it is when called.
QString folderPath(const QString& folder);
QString subfolderPath(const QString& folder, const QString& subfolder);
QString modeFile();           // Quorvane/Kestra/Mode.txt
QString startupMessageFile(); // Quorvane/Kestra/ShowMessageVersionAtStartup.txt
QString styleFile();          // Quorvane/style.txt
// "YES" or "NO": whether the editor reads the stored effect and its state by
// itself once an upload is complete.
QString liveAfterUploadFile(); // Quorvane/Kestra/EditAfterUpload.txt
// "YES" or "NO": whether the parameter window shows each track bar's value.
QString valueColumnFile(); // Quorvane/Kestra/ShowValues.txt
// Whether the values are shown: yes unless the player said no.
bool valueColumnShown();
QString connectionFile(); // Quorvane/Kestra/Connection.txt
// "YES" or "NO": whether the Impulse Response category shows how to load one.
QString impulseResponseTipFile(); // Quorvane/Kestra/ShowImpulseResponseTip.txt
// Where the player left each window: one "name x y width height" a line.
QString windowPlacesFile(); // Quorvane/Kestra/WindowPlaces.txt

// Makes path (its parent must exist) unless it is already a folder. Returns
// the system's error text, empty on success.
QString makeFolder(const QString& path);

// The whole file as text: a byte-order mark selects the encoding; otherwise
// UTF-8, or the system's 8-bit code page when the bytes are not valid UTF-8.
// Nothing when the file cannot be read.
std::optional<QString> readText(const QString& path, QString* error = nullptr);
// Replaces the file's content with text (UTF-8, no byte-order mark). An
// existing file is left untouched when writing fails. Returns the system's
// error text, empty on success.
QString writeText(const QString& path, const QString& text);

// Exact comparisons: case-sensitive, nothing trimmed. Nothing for other texts.
std::optional<bool> parseYesNo(const QString& text);
// true for bank mode, false for preset mode.
std::optional<bool> parseMode(const QString& text);
// true for the virtual pedal, false for the USB port; line ends and spaces
// around the word allowed.
std::optional<bool> parseConnection(const QString& text);
// A decimal integer, spaces and line ends around it allowed (a file saved by
// a text editor often ends with one).
std::optional<int> parseStyleNumber(const QString& text);
// Resource name of style n: "Style_" + n.
QString styleResourceName(int n);

// Writes the mode file: "BANK" or "PRESET". Returns the error text, empty
// on success.
QString writeMode(bool bank);
// Writes the connection file: "VIRTUAL" or "USB". Returns the error text,
// empty on success.
QString writeConnection(bool virtualPedal);
// Writes "YES" or "NO" to the start-up message file, but only when that file
// exists. Returns the error text, empty on success or when nothing was due.
QString rememberStartupMessageChoice(bool show);
// The YES/NO setting in path; fallback when the file is missing or holds
// anything else.
bool readYesNo(const QString& path, bool fallback);
// Writes "YES" or "NO" to path. Returns the error text, empty on success.
QString writeYesNo(const QString& path, bool yes);
// The message for a settings file that could not be written.
QString saveErrorMessage(const QString& path, const QString& error);

} // namespace kestra::settings
