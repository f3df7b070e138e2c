// File > Recent ROMs: the last ten ROM files loaded, newest first, kept in Vantor64.ini (section
// RecentRoms, keys File1 to File10).
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

class QMenu;
class QWidget;

namespace vantor::ui {

class TUserDialogs;

// The list and its file; every change is written at once.
class TRecentRoms {
 public:
  static constexpr int kLimit = 10;

  explicit TRecentRoms(const QString& settingsFile);

  const QStringList& Files() const { return files_; }
  // Puts the file first (by its absolute path), dropping an older entry of it and the eleventh.
  void Add(const QString& path);
  void Remove(const QString& path);
  void Clear();

 private:
  void Save() const;

  QString settingsFile_;
  QStringList files_;
};

// The submenu: one item per file, numbered, then "Clear List". Choosing a file that is gone says
// so and offers to remove it.
class TRecentRomsMenu : public QObject {
  Q_OBJECT

 public:
  // open: loads and starts the chosen file.
  TRecentRomsMenu(QMenu* menu, TRecentRoms& recent, TUserDialogs& dialogs,
                  std::function<void(const QString&)> open, QObject* owner);

  // Rebuilds the items from the list (also done each time the menu opens).
  void Rebuild();
  // What choosing a file does.
  void Choose(const QString& path);

 private:
  QMenu* menu_;
  TRecentRoms& recent_;
  TUserDialogs& dialogs_;
  std::function<void(const QString&)> open_;
};

}  // namespace vantor::ui
