#include "ui/DebugPlacement.h"

#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QLayout>
#include <QScreen>
#include <QSettings>
#include <QWidget>
#include <QWindow>
#include <limits>

#include "ui/Settings.h"
#include "ui/WindowPlacement.h"

namespace vantor::ui {

namespace {

constexpr int kGap = 8;

QString KeyOf(const QWidget* window) {
  return QStringLiteral("DebugWindows/") + window->objectName();
}

qint64 Area(const QRect& rect) {
  return rect.isEmpty() ? 0 : qint64{rect.width()} * rect.height();
}

// The rectangle moved, not resized, to lie within the screen as far as it can.
QRect Inside(QRect rect, const QRect& screen) {
  if (rect.right() > screen.right()) rect.moveRight(screen.right());
  if (rect.bottom() > screen.bottom()) rect.moveBottom(screen.bottom());
  if (rect.left() < screen.left()) rect.moveLeft(screen.left());
  if (rect.top() < screen.top()) rect.moveTop(screen.top());
  return rect;
}

// Puts the window's frame at a position. The window about to show already has its native
// window, which a plain move places by its client area: its frame is placed again.
void MoveFrame(QWidget& window, QPoint position) {
  window.move(position);
  if (QWindow* native = window.windowHandle()) native->setFramePosition(position);
}

}  // namespace

QList<QPoint> SideBySide(const QRect& main, const QList<QSize>& frames, const QRect& screen) {
  QList<QRect> taken{main};
  QList<QPoint> places;
  for (const QSize& size : frames) {
    QRect best;
    qint64 bestCost = std::numeric_limits<qint64>::max();
    for (const QRect& next : QList<QRect>(taken)) {
      const QPoint candidates[] = {{next.right() + 1 + kGap, next.top()},
                                   {next.left(), next.bottom() + 1 + kGap},
                                   {next.left() - kGap - size.width(), next.top()},
                                   {next.left(), next.top() - kGap - size.height()}};
      for (const QPoint& corner : candidates) {
        const QRect place = Inside(QRect(corner, size), screen);
        qint64 cost = 0;
        for (qsizetype i = 0; i < taken.size(); ++i)
          cost += Area(place.intersected(taken[i])) * (i == 0 ? 1 : 2);
        if (cost < bestCost) {
          best = place;
          bestCost = cost;
        }
      }
    }
    taken.append(best);
    places.append(best.topLeft());
  }
  return places;
}

TDebugPlacement::TDebugPlacement(QWidget& mainWindow, const QList<QWidget*>& windows,
                                 const QString& settingsFile, QObject* owner)
    : QObject(owner), main_(mainWindow), windows_(windows), settingsFile_(settingsFile) {
  // All remembered and still on a screen: each where the user left it.
  if (const auto settings = OpenSettings(settingsFile_)) {
    for (const QWidget* window : windows_) {
      const QStringList xy = settings->value(KeyOf(window)).toStringList();
      bool xOk = false, yOk = false;
      const QPoint position(xy.value(0).toInt(&xOk), xy.value(1).toInt(&yOk));
      if (xy.size() == 2 && xOk && yOk && TWindowPlacement::OnSomeScreen(position))
        saved_.append(position);
    }
  }
  if (saved_.size() != windows_.size()) saved_.clear();
  main_.installEventFilter(this);
  for (QWidget* window : windows_)
    window->installEventFilter(this);
}

bool TDebugPlacement::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (watched == &main_) {
    // The windows follow the main window until the first of them shows. They have no native
    // windows yet, so the window manager takes the frame's place as given.
    if (!shown_ && (type == QEvent::Move || type == QEvent::Resize || type == QEvent::Show))
      Place();
  } else if (type == QEvent::Show && !shown_) {
    if (!placed_) Place();
    shown_ = true;
  } else if (type == QEvent::Hide && shown_) {
    Save();  // Exit Debugger, or the program's end, which closes every window
  }
  return QObject::eventFilter(watched, event);
}

void TDebugPlacement::Place() {
  placed_ = true;
  if (!saved_.isEmpty()) {
    for (qsizetype i = 0; i < windows_.size(); ++i)
      MoveFrame(*windows_[i], saved_[i]);
    return;
  }

  // A window not yet shown has no frame: it gets the main window's.
  const QRect mainFrame = main_.frameGeometry();
  const QSize frame = mainFrame.size() - main_.geometry().size();
  QList<QSize> sizes;
  for (QWidget* window : windows_) {
    window->ensurePolished();
    if (QLayout* layout = window->layout()) layout->activate();
    sizes.append(window->size() + frame);
  }
  const QScreen* screen = main_.screen();
  const QList<QPoint> places = SideBySide(mainFrame, sizes, screen->availableGeometry());
  for (qsizetype i = 0; i < windows_.size(); ++i)
    MoveFrame(*windows_[i], places[i]);
}

void TDebugPlacement::Save() {
  if (!shown_) return;
  const auto settings = OpenSettings(settingsFile_);
  if (!settings) return;
  QDir().mkpath(QFileInfo(settingsFile_).absolutePath());
  for (const QWidget* window : windows_)
    settings->setValue(KeyOf(window),
                       QStringList{QString::number(window->x()), QString::number(window->y())});
  SaveSettings(*settings);
}

}  // namespace vantor::ui
