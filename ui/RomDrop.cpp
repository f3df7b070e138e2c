#include "ui/RomDrop.h"

#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <utility>

namespace vantor::ui {

TRomDrop::TRomDrop(QWidget* window, std::function<void(const QString&)> dropped, QObject* owner)
    : QObject(owner), dropped_(std::move(dropped)) {
  window->setAcceptDrops(true);
  window->installEventFilter(this);
}

QString TRomDrop::DroppedFile(const QMimeData* data) {
  if (data == nullptr || !data->hasUrls()) return QString();
  for (const QUrl& url : data->urls()) {
    if (!url.isLocalFile()) continue;
    const QString path = url.toLocalFile();
    // Folders are not ROMs; a file that cannot be read is still taken, so that loading it
    // says why it fails.
    if (!QFileInfo(path).isDir()) return path;
  }
  return QString();
}

bool TRomDrop::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
      auto* drag = static_cast<QDropEvent*>(event);
      if (DroppedFile(drag->mimeData()).isEmpty()) return false;
      drag->setDropAction(Qt::CopyAction);
      drag->accept();
      return true;
    }
    case QEvent::Drop: {
      auto* drop = static_cast<QDropEvent*>(event);
      const QString file = DroppedFile(drop->mimeData());
      if (file.isEmpty()) return false;
      drop->setDropAction(Qt::CopyAction);
      drop->accept();
      // The source application waits for the drop to finish: load once it has.
      QTimer::singleShot(0, this, [this, file] { dropped_(file); });
      return true;
    }
    default:
      return QObject::eventFilter(watched, event);
  }
}

}  // namespace vantor::ui
