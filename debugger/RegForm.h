// TRegForm, "r4300i Registers": the processor's registers on four tabs, drawn on demand; two more
// show the signal processor while the machine runs in accurate mode.
#pragma once

#include <QTabBar>
#include <QWidget>

#include "debugger/MachineView.h"
#include "debugger/TextView.h"

namespace vantor::ui {

class TRegForm : public QWidget {
 public:
  explicit TRegForm(TMachineView& view, QWidget* parent = nullptr);

  // Draws the selected tab from a fresh snapshot: on tab change, click and show.
  void TabControl1Change();
  // Draws the selected tab from a snapshot the debugger has just taken.
  void Draw(const TMachineSnapshot& shot);

  QTabBar* TabControl1;
  TTextView* PaintBox1;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  // Adds the signal processor's tabs for a snapshot of the accurate mode, removes them otherwise.
  void ShowRspTabs(bool shown);

  TMachineView& view_;
};

}  // namespace vantor::ui
