// The settings file Vantor64.ini: section Paths, key RomDir, the folder the open dialog starts in;
// section Configuration, the configuration window's choices; section Controller, the controller
// assignment. A missing or damaged entry reads as its initial state. Sections RecentRoms and
// Window belong to RecentRoms.h and WindowPlacement.h.
#pragma once

#include <QString>
#include <QtGlobal>
#include <array>
#include <cstdint>
#include <memory>

class QSettings;

namespace vantor::ui {

inline constexpr const char* kSettingsFileName = "Vantor64.ini";

// Vantor64.ini in executableDir when that file can be written there; otherwise the same name in
// configDir (the user's configuration folder), so a system-wide install still remembers folders.
QString SettingsFilePath(const QString& executableDir, const QString& configDir);

// The one way to the settings file. Hands out its settings when the file is missing (it is made
// on the first save) or is a regular file, not a symbolic link, of at most 1 MB, checked as
// every file the programs read is opened. Otherwise returns null and, the first time for that file,
// tells the user that the program runs on its defaults and saves nothing: reading a FIFO or a
// device would wait or never end, a huge file would stall the window, and saving through a link
// would replace what it points to.
std::unique_ptr<QSettings> OpenSettings(const QString& settingsFile);
// Writes the settings to their file; false, and the user is told, when that failed.
bool SaveSettings(QSettings& settings);

// RomDir of section Paths; empty when the file or the key is missing or the file is refused.
QString ReadRomDir(const QString& settingsFile);
// Writes RomDir of section Paths; false when the file is refused or could not be written.
bool WriteRomDir(const QString& settingsFile, const QString& romDir);

// The thread priority slider's position, 0 to 6; 5 when missing or damaged.
inline constexpr int kInitialPriority = 5;
int ReadThreadPriority(const QString& settingsFile);
bool WriteThreadPriority(const QString& settingsFile, int position);

// Options > Accurate Hardware, checked or not (not when missing or damaged).
bool ReadAccurateHardware(const QString& settingsFile);
bool WriteAccurateHardware(const QString& settingsFile, bool accurate);

// The sound group: which of Enabled and Disabled is checked (neither at first), and whether the
// frequency is.
enum class TSoundChoice { None, Enabled, Disabled };
struct TSoundSettings {
  TSoundChoice choice = TSoundChoice::None;
  bool frequency = false;
};
TSoundSettings ReadSound(const QString& settingsFile);
bool WriteSound(const QString& settingsFile, const TSoundSettings& sound);

// Options > Limit Speed, section Options, key LimitSpeed; on when missing or damaged.
bool ReadLimitSpeed(const QString& settingsFile);
bool WriteLimitSpeed(const QString& settingsFile, bool on);

// The selected input device (all zero: none) and the 18 assignment values, each -3 to 255; a
// missing or damaged value reads as 0. deviceSaved is false when the file holds no device
// choice (missing or damaged): the device and the map then mean nothing.
struct TControllerSettings {
  bool deviceSaved = false;
  std::array<uint8_t, 16> deviceGuid{};
  std::array<int32_t, 18> map{};
};
TControllerSettings ReadController(const QString& settingsFile);
bool WriteController(const QString& settingsFile, const TControllerSettings& controller);

}  // namespace vantor::ui
