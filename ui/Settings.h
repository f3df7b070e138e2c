// The settings file Vantor64.ini: section Paths, key RomDir, the folder the open dialog starts in.
#pragma once

#include <QString>
#include <QtGlobal>
#include <memory>

class QSettings;

namespace vantor::ui {

inline constexpr const char* kSettingsFileName = "Vantor64.ini";
// A settings file holds a few lines; anything larger is not one.
inline constexpr qint64 kMaxSettingsBytes = 1 << 20;

// Vantor64.ini in executableDir when that file can be written there; otherwise the same name in
// configDir (the user's configuration folder), so a system-wide install still remembers folders.
QString SettingsFilePath(const QString& executableDir, const QString& configDir);

// The one way to the settings file. Hands out its settings when the file is missing (it is made
// on the first save) or is a regular file, not a symbolic link, of at most kMaxSettingsBytes.
// Otherwise returns null and, the first time for that file, tells the user that the program
// runs on its defaults and saves nothing: reading a FIFO or a device would wait or never end, a
// huge file would stall the window, and saving through a link would replace what it points to.
std::unique_ptr<QSettings> OpenSettings(const QString& settingsFile);
// Writes the settings to their file; false, and the user is told, when that failed.
bool SaveSettings(QSettings& settings);

// RomDir of section Paths; empty when the file or the key is missing or the file is refused.
QString ReadRomDir(const QString& settingsFile);
// Writes RomDir of section Paths; false when the file is refused or could not be written.
bool WriteRomDir(const QString& settingsFile, const QString& romDir);

}  // namespace vantor::ui
