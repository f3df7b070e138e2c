#include "debugger/DebugForm.h"

#include <QBoxLayout>
#include <QGridLayout>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPalette>
#include <QStyle>
#include <algorithm>

namespace vantor::ui {

namespace {

// Buttons are never narrower or lower than their captions need.
QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption) {
  auto* button = new QPushButton(QString::fromLatin1(caption), parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setMinimumSize(button->sizeHint());
  return button;
}

TScrollCode ScrollCodeOf(int action) {
  switch (action) {
    case QAbstractSlider::SliderSingleStepSub:
      return TScrollCode::LineUp;
    case QAbstractSlider::SliderSingleStepAdd:
      return TScrollCode::LineDown;
    case QAbstractSlider::SliderPageStepSub:
      return TScrollCode::PageUp;
    case QAbstractSlider::SliderPageStepAdd:
      return TScrollCode::PageDown;
    case QAbstractSlider::SliderToMinimum:
      return TScrollCode::Top;
    case QAbstractSlider::SliderToMaximum:
      return TScrollCode::Bottom;
    default:
      return TScrollCode::Thumb;
  }
}

}  // namespace

QSize THexEdit::sizeHint() const {
  // The line edit's own hint leaves room for 17 "x"; this one for maxLength of the widest digit.
  const QSize base = QLineEdit::sizeHint();
  const QFontMetrics metrics(font());
  int digit = 0;
  for (const QChar c : QStringLiteral("0123456789ABCDEF"))
    digit = std::max(digit, metrics.horizontalAdvance(c));
  const int cursor = style()->pixelMetric(QStyle::PM_TextCursorWidth, nullptr, this);
  return {base.width() - 17 * metrics.horizontalAdvance(u'x') + maxLength() * digit + cursor + 1,
          base.height()};
}

void THexEdit::keyPressEvent(QKeyEvent* event) {
  const QString text = event->text();
  const bool character = text.size() == 1 && (text[0].isPrint() || text[0] == u'\b');
  if (!character) {
    QLineEdit::keyPressEvent(event);  // moving, Delete, shortcuts
    return;
  }
  const QChar c = text[0].toUpper();
  if ((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F')) insert(QString(c));
}

TDebugger::TDebugger(TMachineView& view, TRegForm& regForm, QWidget* console, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      view_(view),
      regForm_(regForm),
      console_(console) {
  setObjectName(QStringLiteral("Debugger"));
  setWindowTitle(QStringLiteral("Debugger"));
  setAttribute(Qt::WA_QuitOnClose, false);
  move(242, 239);
  ShowMessage = [](QWidget* parent, const QString& text) {
    QMessageBox::information(parent, QString(), text);
  };

  Disassembly = new TTextView(kDisassemblyGrid, this);
  Disassembly->setObjectName(QStringLiteral("Disassembly"));
  Disassembly->pressed = [this](int y) { DisassemblyMouseDown(y); };

  ScrollBar1 = new QScrollBar(Qt::Vertical, this);
  ScrollBar1->setObjectName(QStringLiteral("ScrollBar1"));
  ScrollBar1->setRange(0, 2);
  ScrollBar1->setPageStep(0);
  ScrollBar1->setValue(1);
  connect(ScrollBar1, &QScrollBar::actionTriggered, this, &TDebugger::ScrollBar1Scroll);

  Step = MakeButton(this, "Step", "Step");
  Run = MakeButton(this, "Run", "Run");
  Button1 = MakeButton(this, "Button1", "Jump to CEV");
  Button4 = MakeButton(this, "Button4", "Exit Debugger");
  StopOnException = new QCheckBox(QStringLiteral("Stop on exception"), this);
  StopOnException->setObjectName(QStringLiteral("StopOnException"));

  GroupBox1 = new QGroupBox(QStringLiteral(" Breakpoints "), this);
  GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
  BPAdd = MakeButton(GroupBox1, "BPAdd", "Add");
  Delete = MakeButton(GroupBox1, "Delete", "Delete");
  Edit1 = new THexEdit(QStringLiteral("00000000"), GroupBox1);
  Edit1->setObjectName(QStringLiteral("Edit1"));
  Edit1->setMaxLength(8);
  Edit1->setMinimumWidth(Edit1->sizeHint().width());
  Button2 = MakeButton(GroupBox1, "Button2", "Jump here");
  Button3 = MakeButton(GroupBox1, "Button3", "Debug Here");
  BreakList = new QListWidget(GroupBox1);
  BreakList->setObjectName(QStringLiteral("BreakList"));
  // Room for a few captions whole: "Addr of : " and eight digits.
  BreakList->setMinimumWidth(
      BreakList->fontMetrics().horizontalAdvance(QStringLiteral("Addr of : DDDDDDDD")) +
      BreakList->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 12);
  QPalette colours = BreakList->palette();
  colours.setColor(QPalette::Base, Qt::black);
  colours.setColor(QPalette::Text, Qt::yellow);
  BreakList->setPalette(colours);
  LayOut();

  connect(Step, &QPushButton::clicked, this, &TDebugger::StepClick);
  connect(Run, &QPushButton::clicked, this, &TDebugger::RunClick);
  connect(Button1, &QPushButton::clicked, this, &TDebugger::Button1Click);
  connect(Button4, &QPushButton::clicked, this, &TDebugger::Button4Click);
  connect(BPAdd, &QPushButton::clicked, this, &TDebugger::BPAddClick);
  connect(Delete, &QPushButton::clicked, this, &TDebugger::DeleteClick);
  connect(StopOnException, &QCheckBox::toggled, this, &TDebugger::StopOnExceptionClick);
  connect(Button2, &QPushButton::clicked, this, &TDebugger::Button2Click);
  connect(Button3, &QPushButton::clicked, this, &TDebugger::Button3Click);

  // The handler runs on the emulation thread; the window learns of the stop on its own.
  view_.Engine().SetStopHandler([this] { stopWake_.Wake(); });
}

void TDebugger::LayOut() {
  // As the window was drawn for a small font: the view with its scroll bar on the left; the
  // run commands, Exit Debugger and Stop on exception above the breakpoints group on the right.
  // Each control takes the room its text needs, and the window is fixed at the size they add up
  // to.
  auto* group = new QGridLayout(GroupBox1);
  group->addWidget(BPAdd, 0, 0);
  group->addWidget(Edit1, 0, 1);
  group->addWidget(Button2, 0, 2);
  group->addWidget(Delete, 1, 0);
  group->addWidget(Button3, 1, 2);
  group->addWidget(BreakList, 2, 0, 1, 3);
  group->setRowStretch(2, 1);

  auto* commands = new QVBoxLayout;
  for (QPushButton* button : {Step, Run, Button1})
    commands->addWidget(button);
  auto* top = new QHBoxLayout;
  top->addLayout(commands);
  top->addStretch(1);
  top->addWidget(Button4, 0, Qt::AlignTop);
  auto* right = new QVBoxLayout;
  right->addLayout(top);
  right->addWidget(StopOnException);
  right->addWidget(GroupBox1, 1);

  auto* window = new QHBoxLayout(this);
  window->setSizeConstraint(QLayout::SetFixedSize);
  window->addWidget(Disassembly);
  window->addWidget(ScrollBar1);
  window->addLayout(right, 1);
}

TDebugger::~TDebugger() {
  // The stop handler points here: no run may outlive the window.
  view_.Engine().Stop();
  view_.Engine().SetStopHandler({});
}

void TDebugger::PaintDisassembly() {
  const TMachineSnapshot& shot = view_.Take(ViewAddr);
  Disassembly->SetPage(DisassemblyPage(shot, breakPoints_.ExecutionAddresses()));
  regForm_.Draw(shot);
}

bool TDebugger::AddBreakPoint(const TBreakPoint& point) {
  if (!breakPoints_.Add(point)) {
    ShowMessage(this, QStringLiteral("Already exists a breakpoint of this exact type!"));
    return false;
  }
  BreakList->addItem(QString::fromStdString(BreakCaption(point)));
  PostControl();
  PaintDisassembly();  // marks the new breakpoint's line
  return true;
}

uint32_t TDebugger::HexToAddr(const QString& text) {
  return vantor::HexToAddr(text.toStdString(), [this] {
    ShowMessage(this, QStringLiteral("You should NEVER see this messagebox!!!"));
  });
}

void TDebugger::DisassemblyMouseDown(int y) {
  AddBreakPoint({.Addr = ClickedAddress(ViewAddr, y), .Kind = kExecutionBreak});
}

void TDebugger::ScrollBar1Scroll(int action) {
  ViewAddr = ScrolledViewAddr(ViewAddr, ScrollCodeOf(action), view_.Last().pc.Lo);
  // Back to the middle, so every click on an arrow or the track scrolls again.
  ScrollBar1->setSliderPosition(1);
  PaintDisassembly();
}

void TDebugger::StepClick() {
  StepMode = true;
  PostControl();
  ResumeRun();
}

void TDebugger::RunClick() {
  StepMode = false;
  PostControl();
  ResumeRun();
}

void TDebugger::ResumeRun() {
  TEngine& engine = view_.Engine();
  if (!engine.Exists() || !engine.Paused()) return;
  engine.Resume();
  emit Resumed();
}

void TDebugger::Button1Click() {
  view_.Engine().JumpToCev();
}

void TDebugger::Button2Click() {
  view_.Engine().JumpHere(HexToAddr(Edit1->text()));
}

void TDebugger::Button3Click() {
  ViewAddr = HexToAddr(Edit1->text());
  PaintDisassembly();
}

void TDebugger::Button4Click() {
  hide();
  regForm_.hide();
  if (console_ != nullptr) console_->hide();
}

void TDebugger::BPAddClick() {
  AddBreakPoint({.Addr = HexToAddr(Edit1->text()), .Kind = kExecutionBreak});
}

void TDebugger::DeleteClick() {
  const int row = BreakList->currentRow();
  if (row < 0 || BreakList->selectedItems().isEmpty()) return;
  breakPoints_.Remove(row);
  delete BreakList->takeItem(row);
  PostControl();
  PaintDisassembly();
}

void TDebugger::StopOnExceptionClick(bool checked) {
  view_.Engine().SetStopOnException(checked);
}

void TDebugger::RunStarting() {
  StepMode = true;
  PostControl();
}

void TDebugger::PostControl() {
  view_.Engine().SetDebugControl(StepMode && shown_, breakPoints_.ExecutionAddresses());
}

void TDebugger::ShowStop() {
  TEngine& engine = view_.Engine();
  // A stop that a later command has already resumed or ended needs nothing more.
  if (!engine.Exists() || !engine.Paused()) return;
  show();
  regForm_.show();
  if (console_ != nullptr) console_->show();
  ViewAddr = FollowPc(ViewAddr, view_.Take(ViewAddr).pc.Lo);
  PaintDisassembly();
  emit Stopped();
}

void TDebugger::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  shown_ = true;
  PostControl();
  PaintDisassembly();
}

void TDebugger::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  shown_ = false;  // the widget may still count as visible while its hide event runs
  PostControl();
}

}  // namespace vantor::ui
