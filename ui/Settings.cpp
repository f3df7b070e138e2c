#include "ui/Settings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace vantor::ui {

namespace {

bool CanWrite(const QString& file) {
  const QFileInfo info(file);
  if (info.exists()) return info.isFile() && info.isWritable();
  const QFileInfo folder(info.absolutePath());
  return folder.isDir() && folder.isWritable();
}

}  // namespace

QString SettingsFilePath(const QString& executableDir, const QString& configDir) {
  const QString beside = QDir(executableDir).filePath(kSettingsFileName);
  if (CanWrite(beside)) return beside;
  return QDir(configDir).filePath(kSettingsFileName);
}

QString ReadRomDir(const QString& settingsFile) {
  QSettings settings(settingsFile, QSettings::IniFormat);
  return settings.value("Paths/RomDir", QString()).toString();
}

bool WriteRomDir(const QString& settingsFile, const QString& romDir) {
  QDir().mkpath(QFileInfo(settingsFile).absolutePath());
  QSettings settings(settingsFile, QSettings::IniFormat);
  settings.setValue("Paths/RomDir", romDir);
  settings.sync();
  return settings.status() == QSettings::NoError;
}

}  // namespace vantor::ui
