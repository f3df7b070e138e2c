// TDebugger, "Debugger": the disassembly view around ViewAddr, the breakpoint list, and the
// commands that step, run, jump and force an exception.
#pragma once

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QWidget>
#include <functional>

#include "debugger/Breakpoints.h"
#include "debugger/MachineView.h"
#include "debugger/MainThreadWake.h"
#include "debugger/RegForm.h"
#include "debugger/TextView.h"

namespace vantor::ui {

// Edit1: typed letters become upper case; only 0-9 and A-F are taken, Backspace included among
// the refused. Pasted text is taken as it is.
class THexEdit : public QLineEdit {
 public:
  using QLineEdit::QLineEdit;
  // Wide enough for maxLength digits.
  QSize sizeHint() const override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

class TDebugger : public QWidget {
  Q_OBJECT

 public:
  // The debugger acts on the engine's runs; console is the debug console it hides with itself.
  TDebugger(TMachineView& view, TRegForm& regForm, QWidget* console, QWidget* parent = nullptr);
  ~TDebugger() override;

  // Modal message boxes with one OK button; the program's own dialogs, or a test's.
  std::function<void(QWidget* parent, const QString& text)> ShowMessage;

  // A new run is about to start: step mode is on again.
  void RunStarting();

  void PaintDisassembly();
  // Takes the breakpoint; false when the list already has one like it (the user is told).
  bool AddBreakPoint(const TBreakPoint& point);
  uint32_t HexToAddr(const QString& text);

  // Handlers, named after their controls.
  void DisassemblyMouseDown(int y);
  void ScrollBar1Scroll(int action);
  void StepClick();
  void RunClick();
  void Button1Click();  // Jump to CEV
  void Button2Click();  // Jump here
  void Button3Click();  // Debug Here
  void Button4Click();  // Exit Debugger
  void BPAddClick();
  void DeleteClick();
  void StopOnExceptionClick(bool checked);

  uint32_t ViewAddr = 0;
  bool StepMode = false;
  const TBreakList& BreakPoints() const { return breakPoints_; }

  TTextView* Disassembly;
  QScrollBar* ScrollBar1;
  QPushButton *Step, *Run, *Button1, *Button4;
  // Accurate mode: stop before each exception handler, the cause in the console.
  QCheckBox* StopOnException;
  QGroupBox* GroupBox1;
  QPushButton *BPAdd, *Delete, *Button2, *Button3;
  THexEdit* Edit1;
  QListWidget* BreakList;

 signals:
  // The run stopped by itself before an instruction (breakpoint or step), and is paused.
  void Stopped();
  // Step or Run let a paused run go on.
  void Resumed();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void LayOut();
  // Tells the engine where to stop: step mode counts only while the window is shown.
  void PostControl();
  // Un-pauses a paused run.
  void ResumeRun();
  void ShowStop();

  TMachineView& view_;
  TRegForm& regForm_;
  QWidget* console_;
  TBreakList breakPoints_;
  bool shown_ = false;
  TMainThreadWake stopWake_{[this] { ShowStop(); }};
};

}  // namespace vantor::ui
