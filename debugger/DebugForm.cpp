#include "debugger/DebugForm.h"

#include <QKeyEvent>
#include <QMessageBox>
#include <QPalette>

namespace vantor::ui {

namespace {

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption, QRect place) {
  auto* button = new QPushButton(QString::fromLatin1(caption), parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setGeometry(place);
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
  setFixedSize(495, 322);
  ShowMessage = [](QWidget* parent, const QString& text) {
    QMessageBox::information(parent, QString(), text);
  };

  Disassembly = new TTextView(this);
  Disassembly->setObjectName(QStringLiteral("Disassembly"));
  Disassembly->setGeometry(0, 0, 241, 321);
  Disassembly->pressed = [this](int y) { DisassemblyMouseDown(y); };

  ScrollBar1 = new QScrollBar(Qt::Vertical, this);
  ScrollBar1->setObjectName(QStringLiteral("ScrollBar1"));
  ScrollBar1->setGeometry(248, 16, 13, 289);
  ScrollBar1->setRange(0, 2);
  ScrollBar1->setPageStep(0);
  ScrollBar1->setValue(1);
  connect(ScrollBar1, &QScrollBar::actionTriggered, this, &TDebugger::ScrollBar1Scroll);

  Step = MakeButton(this, "Step", "Step", {272, 0, 75, 25});
  Run = MakeButton(this, "Run", "Run", {272, 32, 75, 25});
  Button1 = MakeButton(this, "Button1", "Jump to CEV", {272, 64, 75, 25});
  Button4 = MakeButton(this, "Button4", "Exit Debugger", {400, 8, 89, 33});

  GroupBox1 = new QGroupBox(QStringLiteral(" Breakpoints "), this);
  GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
  GroupBox1->setGeometry(264, 112, 225, 209);
  BPAdd = MakeButton(GroupBox1, "BPAdd", "Add", {8, 16, 75, 25});
  Delete = MakeButton(GroupBox1, "Delete", "Delete", {8, 48, 75, 25});
  Edit1 = new THexEdit(QStringLiteral("00000000"), GroupBox1);
  Edit1->setObjectName(QStringLiteral("Edit1"));
  Edit1->setGeometry(88, 24, 57, 21);
  Edit1->setMaxLength(8);
  Button2 = MakeButton(GroupBox1, "Button2", "Jump here", {152, 16, 65, 25});
  Button3 = MakeButton(GroupBox1, "Button3", "Debug Here", {152, 48, 67, 25});
  BreakList = new QListWidget(GroupBox1);
  BreakList->setObjectName(QStringLiteral("BreakList"));
  BreakList->setGeometry(8, 80, 209, 121);
  QPalette colours = BreakList->palette();
  colours.setColor(QPalette::Base, Qt::black);
  colours.setColor(QPalette::Text, Qt::yellow);
  BreakList->setPalette(colours);

  connect(Step, &QPushButton::clicked, this, &TDebugger::StepClick);
  connect(Run, &QPushButton::clicked, this, &TDebugger::RunClick);
  connect(Button1, &QPushButton::clicked, this, &TDebugger::Button1Click);
  connect(Button4, &QPushButton::clicked, this, &TDebugger::Button4Click);
  connect(BPAdd, &QPushButton::clicked, this, &TDebugger::BPAddClick);
  connect(Delete, &QPushButton::clicked, this, &TDebugger::DeleteClick);
  connect(Button2, &QPushButton::clicked, this, &TDebugger::Button2Click);
  connect(Button3, &QPushButton::clicked, this, &TDebugger::Button3Click);

  // The handler runs on the emulation thread; the window learns of the stop on its own.
  view_.Engine().SetStopHandler([this] { stopWake_.Wake(); });
}

TDebugger::~TDebugger() {
  // The stop handler points here: no run may outlive the window.
  view_.Engine().Stop();
  view_.Engine().SetStopHandler({});
}

void TDebugger::PaintDisassembly() {
  const TMachineSnapshot& shot = view_.Take(ViewAddr);
  Disassembly->SetPage(DisassemblyPage(shot));
  regForm_.Draw(shot);
}

bool TDebugger::AddBreakPoint(const TBreakPoint& point) {
  if (!breakPoints_.Add(point)) {
    ShowMessage(this, QStringLiteral("Already exists a breakpoint of this exact type!"));
    return false;
  }
  BreakList->addItem(QString::fromStdString(BreakCaption(point)));
  PostControl();
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
