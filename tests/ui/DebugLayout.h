// Checks that the debugger's windows show every text whole, in the fonts and at the scale the
// test runs with. The windows are shown; failures are reported as the test's.
#pragma once

#include <QLayout>
#include <QPushButton>
#include <QTest>
#include <string>

#include "debugger/DebugForm.h"
#include "debugger/RegForm.h"

namespace vantor::test {

// Every text of the page inside the view that draws it.
inline bool PageFits(const ui::TTextView& view) {
  for (const TTextItem& item : view.Page())
    if (!QRectF(view.rect()).contains(view.TextRect(item))) {
      qWarning() << "cut off:" << item.text.c_str() << view.TextRect(item) << view.rect();
      return false;
    }
  return true;
}

// A control at least as large as its text asks.
inline bool ShowsItsText(const QWidget* control) {
  const QSize hint = control->sizeHint();
  if (control->width() >= hint.width() && control->height() >= hint.height()) return true;
  qWarning() << "too small:" << control->objectName() << control->size() << hint;
  return false;
}

inline void CheckDebugWindowsShowTextWhole(ui::TDebugger& debugger, ui::TRegForm& regs) {
  using ui::THexEdit;
  debugger.show();
  regs.show();
  for (QWidget* window : {static_cast<QWidget*>(&debugger), static_cast<QWidget*>(&regs)}) {
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QCOMPARE(window->minimumSize(), window->maximumSize());
  }
  for (QPushButton* button : debugger.findChildren<QPushButton*>())
    QVERIFY(ShowsItsText(button));
  QVERIFY(ShowsItsText(debugger.GroupBox1));
  QVERIFY(ShowsItsText(debugger.Disassembly));
  QVERIFY(ShowsItsText(regs.PaintBox1));

  // The widest digits fit without scrolling: with the cursor at the end, the first digit is
  // still at the field's left edge.
  THexEdit& edit = *debugger.Edit1;
  for (const char* digits : {"DDDDDDDD", "00000000", "BBBBBBBB", "88888888", "WWWWWWWW"}) {
    edit.setText(digits);
    edit.setCursorPosition(8);
    const QRect inside = edit.contentsRect();
    QCOMPARE(edit.cursorPositionAt(QPoint(inside.left() + 4, inside.center().y())), 0);
  }

  // Tabs side by side without scroll arrows.
  QTabBar& tabs = *regs.TabControl1;
  QVERIFY(tabs.width() >= tabs.sizeHint().width());
  for (int i = 0; i < tabs.count(); ++i)
    QVERIFY(tabs.rect().contains(tabs.tabRect(i)));
  for (int tab = 0; tab < kRegTabs; ++tab) {
    tabs.setCurrentIndex(tab);
    QVERIFY2(PageFits(*regs.PaintBox1), std::to_string(tab).c_str());
  }
  debugger.PaintDisassembly();
  QVERIFY(PageFits(*debugger.Disassembly));
  // Rows as tall as the font's lines.
  QVERIFY(debugger.Disassembly->RowHeight() >= debugger.Disassembly->fontMetrics().height());
}

}  // namespace vantor::test
