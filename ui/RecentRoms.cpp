#include "ui/RecentRoms.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QSettings>
#include <utility>

#include "ui/Dialogs.h"
#include "ui/Settings.h"

namespace vantor::ui {

namespace {

constexpr const char* kGroup = "RecentRoms";

QString Key(int index) {
  return QStringLiteral("File%1").arg(index + 1);
}

QString Absolute(const QString& path) {
  return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

// "&1 name.z64", the number its shortcut; ampersands of the name shown as they are.
QString ItemText(int index, const QString& path) {
  QString name = QFileInfo(path).fileName();
  name.replace('&', QStringLiteral("&&"));
  return index < 9 ? QStringLiteral("&%1 %2").arg(index + 1).arg(name)
                   : QStringLiteral("1&0 %1").arg(name);
}

}  // namespace

TRecentRoms::TRecentRoms(const QString& settingsFile) : settingsFile_(settingsFile) {
  const auto settings = OpenSettings(settingsFile_);
  if (!settings) return;
  settings->beginGroup(kGroup);
  for (int i = 0; i < kLimit; ++i) {
    const QString path = settings->value(Key(i)).toString();
    // A damaged list loses only its unusable entries.
    if (path.isEmpty() || files_.contains(path)) continue;
    files_ << path;
  }
}

void TRecentRoms::Add(const QString& path) {
  const QString file = Absolute(path);
  files_.removeAll(file);
  files_.prepend(file);
  while (files_.size() > kLimit)
    files_.removeLast();
  Save();
}

void TRecentRoms::Remove(const QString& path) {
  if (files_.removeAll(path) > 0) Save();
}

void TRecentRoms::Clear() {
  files_.clear();
  Save();
}

void TRecentRoms::Save() const {
  QDir().mkpath(QFileInfo(settingsFile_).absolutePath());
  const auto settings = OpenSettings(settingsFile_);
  if (!settings) return;
  settings->remove(kGroup);
  settings->beginGroup(kGroup);
  for (int i = 0; i < files_.size(); ++i)
    settings->setValue(Key(i), files_[i]);
}

TRecentRomsMenu::TRecentRomsMenu(QMenu* menu, TRecentRoms& recent, TUserDialogs& dialogs,
                                 std::function<void(const QString&)> open, QObject* owner)
    : QObject(owner), menu_(menu), recent_(recent), dialogs_(dialogs), open_(std::move(open)) {
  menu_->setObjectName(QStringLiteral("RecentRoms"));
  connect(menu_, &QMenu::aboutToShow, this, &TRecentRomsMenu::Rebuild);
  Rebuild();
}

void TRecentRomsMenu::Rebuild() {
  menu_->clear();
  const QStringList& files = recent_.Files();
  for (int i = 0; i < files.size(); ++i) {
    const QString path = files[i];
    QAction* item = menu_->addAction(ItemText(i, path));
    item->setObjectName(QStringLiteral("RecentRom%1").arg(i + 1));
    item->setStatusTip(QDir::toNativeSeparators(path));
    item->setToolTip(QDir::toNativeSeparators(path));
    connect(item, &QAction::triggered, this, [this, path] { Choose(path); });
  }
  menu_->addSeparator();
  QAction* clear = menu_->addAction(QStringLiteral("Clear List"));
  clear->setObjectName(QStringLiteral("ClearRecentRoms"));
  clear->setEnabled(!files.isEmpty());
  connect(clear, &QAction::triggered, this, [this] {
    recent_.Clear();
    Rebuild();
  });
}

void TRecentRomsMenu::Choose(const QString& path) {
  if (!QFileInfo(path).isFile()) {
    const QString text = QStringLiteral(
                             "The ROM \"%1\" cannot be found. It may have been moved "
                             "or deleted.\n\nRemove it from the list?")
                             .arg(QDir::toNativeSeparators(path));
    if (dialogs_.Ask(menu_->parentWidget(), text)) {
      recent_.Remove(path);
      Rebuild();
    }
    return;
  }
  open_(path);
}

}  // namespace vantor::ui
