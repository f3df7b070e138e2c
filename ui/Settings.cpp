#include "ui/Settings.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QSettings>

#include "core/Host.h"

namespace vantor::ui {

namespace {

bool CanWrite(const QString& file) {
  const QFileInfo info(file);
  if (info.exists()) return info.isFile() && info.isWritable();
  const QFileInfo folder(info.absolutePath());
  return folder.isDir() && folder.isWritable();
}

// Looks at the file without opening it, so that nothing can wait on it.
bool UsableSettingsFile(const QString& file) {
  const QFileInfo info(file);
  if (info.isSymLink()) return false;
  if (!info.exists()) return true;
  return info.isFile() && info.size() <= kMaxSettingsBytes;
}

}  // namespace

QString SettingsFilePath(const QString& executableDir, const QString& configDir) {
  const QString beside = QDir(executableDir).filePath(kSettingsFileName);
  if (CanWrite(beside)) return beside;
  return QDir(configDir).filePath(kSettingsFileName);
}

std::unique_ptr<QSettings> OpenSettings(const QString& settingsFile) {
  if (UsableSettingsFile(settingsFile))
    return std::make_unique<QSettings>(settingsFile, QSettings::IniFormat);
  static QSet<QString> told;
  if (!told.contains(settingsFile)) {
    told.insert(settingsFile);
    ShowMessage((QDir::toNativeSeparators(settingsFile) +
                 " is not a settings file (a regular file of at most 1 MB): Vantor64 runs on "
                 "its default settings and saves none.")
                    .toStdString());
  }
  return nullptr;
}

bool SaveSettings(QSettings& settings) {
  settings.sync();
  // A format error is the reading's: the file was damaged, and the save has replaced it.
  if (settings.status() != QSettings::AccessError) return true;
  ShowMessage(
      ("The settings could not be saved in " + QDir::toNativeSeparators(settings.fileName()) + ".")
          .toStdString());
  return false;
}

QString ReadRomDir(const QString& settingsFile) {
  const auto settings = OpenSettings(settingsFile);
  return settings ? settings->value("Paths/RomDir", QString()).toString() : QString();
}

bool WriteRomDir(const QString& settingsFile, const QString& romDir) {
  const auto settings = OpenSettings(settingsFile);
  if (!settings) return false;
  QDir().mkpath(QFileInfo(settingsFile).absolutePath());
  settings->setValue("Paths/RomDir", romDir);
  return SaveSettings(*settings);
}

}  // namespace vantor::ui
