// PaintBox1: the native drawing area the renderer plug-in draws into. Qt never paints it, so
// its backing store cannot copy stale pixels over the picture on an expose.
#pragma once

#include <QWidget>

namespace vantor::ui {

class TPaintBox : public QWidget {
  Q_OBJECT

 public:
  explicit TPaintBox(QWidget* parent);
  QPaintEngine* paintEngine() const override { return nullptr; }
  // Clears the area to black on the screen, as the X server does on an expose.
  void Clear();

 signals:
  // The area was exposed (its X background is black again) and wants the picture back.
  void Exposed();
  // Its place on the screen may have changed.
  void Moved();

 protected:
  void paintEvent(QPaintEvent*) override { emit Exposed(); }
  void moveEvent(QMoveEvent*) override { emit Moved(); }
  void resizeEvent(QResizeEvent*) override { emit Moved(); }
  void showEvent(QShowEvent*) override;
};

}  // namespace vantor::ui
