#include "ui/WindowPlacement.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>

#include "ui/MainForm.h"
#include "ui/Settings.h"

namespace vantor::ui {

namespace {

constexpr const char* kSizeKey = "Window/ScreenSize";
constexpr const char* kPositionKey = "Window/Position";
// How much of the window's corner must be on a screen for the user to reach its caption.
constexpr QSize kReachable(48, 24);

void Write(const QString& settingsFile, const char* key, const QVariant& value) {
  QDir().mkpath(QFileInfo(settingsFile).absolutePath());
  if (const auto settings = OpenSettings(settingsFile)) settings->setValue(key, value);
}

QList<QAction*> SizeItems(TMainForm& form) {
  return {form.N320x2401, form.N512x3841, form.N640x2401, form.N800x6001, form.N1024x7681};
}

}  // namespace

TWindowPlacement::TWindowPlacement(TMainForm& form, const QString& settingsFile, QObject* owner)
    : QObject(owner), form_(form), settingsFile_(settingsFile) {
  for (QAction* item : SizeItems(form_))
    connect(item, &QAction::triggered, this,
            [this, item] { Write(settingsFile_, kSizeKey, item->text()); });
  // Full-screen mode moves the window to the screen's corner: its own place is the one before.
  connect(form_.FullScreen1, &QAction::toggled, this, [this](bool on) {
    if (on) normalPosition_ = form_.pos();
  });
}

bool TWindowPlacement::OnSomeScreen(QPoint position) {
  const QRect corner(position, kReachable);
  for (const QScreen* screen : QGuiApplication::screens())
    if (screen->geometry().contains(corner)) return true;
  return false;
}

void TWindowPlacement::Restore() {
  const auto settings = OpenSettings(settingsFile_);
  if (!settings) return;
  const QString size = settings->value(kSizeKey).toString();
  for (QAction* item : SizeItems(form_))
    if (item->text() == size) item->trigger();
  const QStringList xy = settings->value(kPositionKey).toStringList();
  bool xOk = false, yOk = false;
  const QPoint position(xy.value(0).toInt(&xOk), xy.value(1).toInt(&yOk));
  if (xy.size() == 2 && xOk && yOk && OnSomeScreen(position)) form_.move(position);
}

void TWindowPlacement::SavePosition() {
  const QPoint position = form_.FullScreen1->isChecked() ? normalPosition_ : form_.pos();
  Write(settingsFile_, kPositionKey,
        QStringList{QString::number(position.x()), QString::number(position.y())});
}

}  // namespace vantor::ui
