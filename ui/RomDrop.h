// Dropping a ROM file on a window: the window accepts drags that carry a local file and hands
// the first such file over when it is dropped.
#pragma once

#include <QObject>
#include <QString>
#include <functional>

class QMimeData;
class QWidget;

namespace vantor::ui {

class TRomDrop : public QObject {
  Q_OBJECT

 public:
  TRomDrop(QWidget* window, std::function<void(const QString&)> dropped, QObject* owner);

  // The first local file a drag carries; empty when it carries none.
  static QString DroppedFile(const QMimeData* data);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::function<void(const QString&)> dropped_;
};

}  // namespace vantor::ui
