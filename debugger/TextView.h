// A black drawing area that paints a page of (x, y, text) items in red, breakpoint lines in
// yellow, in the desktop's fixed-pitch font; its grid of character cells is laid out for the
// font's metrics, so the area is as large as its pages need.
#pragma once

#include <QFont>
#include <QRectF>
#include <QWidget>
#include <functional>

#include "debugger/DebugPages.h"

namespace vantor::ui {

// The desktop's fixed-pitch font, no smaller than the program's other text.
QFont TextFont();

class TTextView : public QWidget {
 public:
  TTextView(TPageGrid grid, QWidget* parent = nullptr);

  void SetPage(TTextPage page);
  const TTextPage& Page() const { return page_; }
  // Where an item's text is drawn, in the area's pixels.
  QRectF TextRect(const TTextItem& item) const;
  // The vertical pixel range of a row of the grid.
  int RowTop(int row) const;
  int RowHeight() const { return rowHeight_; }
  // Called with the grid position (in page units) of the row under the pointer, any button.
  std::function<void(int y)> pressed;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  // Takes the font's cell width and line height.
  void Measure();

  TPageGrid grid_;
  double cellWidth_ = 0;
  int rowHeight_ = 0;
  TTextPage page_;
};

}  // namespace vantor::ui
