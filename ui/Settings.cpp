#include "ui/Settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QSettings>
#include <QStringList>
#include <algorithm>
#include <cerrno>
#include <initializer_list>
#include <utility>

#include "common/FileAccess.h"
#include "common/Host.h"

namespace vantor::ui {

namespace {

constexpr const char* kPriorityKey = "Configuration/ThreadPriority";
constexpr const char* kAccurateKey = "Configuration/AccurateHardware";
constexpr const char* kSoundKey = "Configuration/Sound";
constexpr const char* kFrequencyKey = "Configuration/Frequency";
constexpr const char* kDeviceKey = "Controller/Device";
constexpr const char* kMapKey = "Controller/Map";
constexpr const char* kLimitSpeedKey = "Options/LimitSpeed";

bool CanWrite(const QString& file) {
  const QFileInfo info(file);
  if (info.exists()) return info.isFile() && info.isWritable();
  const QFileInfo folder(info.absolutePath());
  return folder.isDir() && folder.isWritable();
}

// Empty when the file may be read and saved, else the reason. A link is refused although it may
// be read through: saving replaces the file, and would replace the link, not what it names.
std::string SettingsFileProblem(const QString& file) {
  const QFileInfo info(file);
  if (info.isSymLink()) return "it is a symbolic link";
  const TReadableFile opened(QFile::encodeName(file).toStdString(), TFileKind::Settings);
  // Nothing there yet: the first save makes the file, or says why it cannot.
  if (opened.OpenErrno() == ENOENT || opened.OpenErrno() == ENOTDIR) return {};
  return opened.Error();
}

bool WriteValues(const QString& settingsFile,
                 std::initializer_list<std::pair<const char*, QVariant>> values) {
  const auto settings = OpenSettings(settingsFile);
  if (!settings) return false;
  QDir().mkpath(QFileInfo(settingsFile).absolutePath());
  for (const auto& [key, value] : values)
    settings->setValue(key, value);
  return SaveSettings(*settings);
}

// {00112233-4455-6677-8899-AABBCCDDEEFF}: the 16 bytes in order.
QString GuidText(const std::array<uint8_t, 16>& guid) {
  QString hex = QString::fromLatin1(
      QByteArray(reinterpret_cast<const char*>(guid.data()), guid.size()).toHex().toUpper());
  for (const int at : {20, 16, 12, 8})
    hex.insert(at, '-');
  return '{' + hex + '}';
}

// False, leaving guid as it is, for anything that is not a GUID in that form.
bool ParseGuid(const QString& text, std::array<uint8_t, 16>& guid) {
  static const QRegularExpression form(QStringLiteral(
      "^\\{[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}\\}$"));
  if (!form.match(text).hasMatch()) return false;
  const QByteArray bytes = QByteArray::fromHex(text.mid(1, 36).remove('-').toLatin1());
  std::copy(bytes.begin(), bytes.end(), guid.begin());
  return true;
}

}  // namespace

QString SettingsFilePath(const QString& executableDir, const QString& configDir) {
  const QString beside = QDir(executableDir).filePath(kSettingsFileName);
  if (CanWrite(beside)) return beside;
  return QDir(configDir).filePath(kSettingsFileName);
}

std::unique_ptr<QSettings> OpenSettings(const QString& settingsFile) {
  const std::string problem = SettingsFileProblem(settingsFile);
  if (problem.empty()) return std::make_unique<QSettings>(settingsFile, QSettings::IniFormat);
  static QSet<QString> told;
  if (!told.contains(settingsFile)) {
    told.insert(settingsFile);
    ShowMessage((QDir::toNativeSeparators(settingsFile) +
                 " is not a settings file (a regular file of at most 1 MB): " +
                 QString::fromStdString(problem) +
                 ". Vantor64 runs on its default settings and saves none.")
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
  return WriteValues(settingsFile, {{"Paths/RomDir", romDir}});
}

int ReadThreadPriority(const QString& settingsFile) {
  const auto settings = OpenSettings(settingsFile);
  if (!settings) return kInitialPriority;
  bool ok = false;
  const int position = settings->value(kPriorityKey).toString().toInt(&ok);
  return ok && position >= 0 && position <= 6 ? position : kInitialPriority;
}

bool WriteThreadPriority(const QString& settingsFile, int position) {
  return WriteValues(settingsFile, {{kPriorityKey, position}});
}

bool ReadAccurateHardware(const QString& settingsFile) {
  const auto settings = OpenSettings(settingsFile);
  return settings && settings->value(kAccurateKey).toString() == QLatin1String("true");
}

bool WriteAccurateHardware(const QString& settingsFile, bool accurate) {
  return WriteValues(settingsFile, {{kAccurateKey, accurate}});
}

TSoundSettings ReadSound(const QString& settingsFile) {
  TSoundSettings sound;
  const auto settings = OpenSettings(settingsFile);
  if (!settings) return sound;
  const QString choice = settings->value(kSoundKey).toString();
  if (choice == QLatin1String("Enabled")) sound.choice = TSoundChoice::Enabled;
  if (choice == QLatin1String("Disabled")) sound.choice = TSoundChoice::Disabled;
  sound.frequency = settings->value(kFrequencyKey).toString() == QLatin1String("true");
  return sound;
}

bool WriteSound(const QString& settingsFile, const TSoundSettings& sound) {
  const char* choice = sound.choice == TSoundChoice::Enabled    ? "Enabled"
                       : sound.choice == TSoundChoice::Disabled ? "Disabled"
                                                                : "";
  return WriteValues(settingsFile, {{kSoundKey, QString::fromLatin1(choice)},
                                    {kFrequencyKey, sound.frequency ? "true" : "false"}});
}

bool ReadLimitSpeed(const QString& settingsFile) {
  const auto settings = OpenSettings(settingsFile);
  return !settings || settings->value(kLimitSpeedKey).toString() != QLatin1String("false");
}

bool WriteLimitSpeed(const QString& settingsFile, bool on) {
  return WriteValues(settingsFile, {{kLimitSpeedKey, on ? "true" : "false"}});
}

TControllerSettings ReadController(const QString& settingsFile) {
  TControllerSettings controller;
  const auto settings = OpenSettings(settingsFile);
  if (!settings) return controller;
  controller.deviceSaved = ParseGuid(settings->value(kDeviceKey).toString(), controller.deviceGuid);
  const QStringList values = settings->value(kMapKey).toStringList();
  for (size_t i = 0; i < controller.map.size() && i < static_cast<size_t>(values.size()); ++i) {
    bool ok = false;
    const int value = values[static_cast<qsizetype>(i)].trimmed().toInt(&ok);
    controller.map[i] = ok && value >= -3 && value <= 255 ? value : 0;
  }
  return controller;
}

bool WriteController(const QString& settingsFile, const TControllerSettings& controller) {
  QStringList values;
  for (const int32_t value : controller.map)
    values << QString::number(value);
  return WriteValues(settingsFile,
                     {{kDeviceKey, GuidText(controller.deviceGuid)}, {kMapKey, values}});
}

}  // namespace vantor::ui
