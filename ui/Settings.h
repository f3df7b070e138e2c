// The settings file Vantor64.ini: section Paths, key RomDir, the folder the open dialog starts in.
#pragma once

#include <QString>

namespace vantor::ui {

inline constexpr const char* kSettingsFileName = "Vantor64.ini";

// Vantor64.ini in executableDir when that file can be written there; otherwise the same name in
// configDir (the user's configuration folder), so a system-wide install still remembers folders.
QString SettingsFilePath(const QString& executableDir, const QString& configDir);

// RomDir of section Paths; empty when the file or the key is missing.
QString ReadRomDir(const QString& settingsFile);
// Writes RomDir of section Paths; false when the file could not be written.
bool WriteRomDir(const QString& settingsFile, const QString& romDir);

}  // namespace vantor::ui
