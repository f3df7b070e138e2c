// A black drawing area that paints a page of (x, y, text) items in a small red fixed-pitch font.
#pragma once

#include <QFont>
#include <QWidget>
#include <functional>

#include "debugger/DebugPages.h"

namespace vantor::ui {

// "Terminal" where the system has it; otherwise a fixed-pitch font whose glyphs fit 10-pixel rows.
QFont TerminalFont();

class TTextView : public QWidget {
 public:
  explicit TTextView(QWidget* parent = nullptr);

  void SetPage(TTextPage page);
  const TTextPage& Page() const { return page_; }
  // Called with the pointer's vertical position on any mouse button.
  std::function<void(int y)> pressed;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  TTextPage page_;
};

}  // namespace vantor::ui
