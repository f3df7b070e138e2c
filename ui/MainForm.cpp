// The main window's construction, menu table, sizes and full-screen mode. The commands that run
// ROMs are in MainCommands.cpp.
#include "ui/MainForm.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <functional>

#include "ui/JpegImage.h"
#include "ui/Settings.h"
#include "video/RendererHost.h"

namespace vantor::ui {

namespace {

constexpr Qt::WindowFlags kFixedBorderFlags =
    Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
    Qt::WindowCloseButtonHint;
constexpr QSize kFirstPicture(320, 240);
// Alt with either Enter key; the first is the one the menu shows.
const QList<QKeySequence> kFullScreenKeys = {QKeySequence(Qt::ALT | Qt::Key_Enter),
                                             QKeySequence(Qt::ALT | Qt::Key_Return)};

// The client area above the status bar: PaintBox1 and Image1 both fill it, or in full-screen
// mode the picture's rectangle in it.
void LayOutClient(QWidget* client) {
  const bool fullScreen = client->window()->windowState() & Qt::WindowFullScreen;
  const QRect area = fullScreen ? FullScreenPictureRect(client->size()) : client->rect();
  for (QWidget* child : client->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
    child->setGeometry(area);
}

class TClientArea : public QWidget {
 public:
  using QWidget::QWidget;
  std::function<void()> changed;

 protected:
  void resizeEvent(QResizeEvent*) override {
    LayOutClient(this);
    if (changed) changed();
  }
  void moveEvent(QMoveEvent*) override {
    if (changed) changed();
  }
};

void Paint(QWidget* widget, const QColor& background) {
  QPalette colours = widget->palette();
  colours.setColor(QPalette::Window, background);
  widget->setPalette(colours);
  widget->setAutoFillBackground(true);
}

}  // namespace

QRect FullScreenPictureRect(QSize area) {
  const int unit = std::max(0, std::min(area.width() / 4, area.height() / 3));
  const int width = 4 * unit;
  const int height = 3 * unit;
  return {(area.width() - width) / 2, (area.height() - height) / 2, width, height};
}

TMainForm::TMainForm(TUserDialogs& dialogs, const QString& settingsFile, QWidget* parent)
    : QMainWindow(parent, kFixedBorderFlags), dialogs_(dialogs), settingsFile_(settingsFile) {
  setObjectName(QStringLiteral("MainForm"));
  setWindowTitle(kMainCaption);

  auto* client = new TClientArea(this);
  Paint(client, Qt::black);
  PaintBox1 = new TPaintBox(client);
  PaintBox1->hide();
  Image1 = new QLabel(client);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  startupPicture_ = LoadPicture(QStringLiteral(":/assets/startup.jpg"), kFirstPicture);
  Image1->setPixmap(QPixmap::fromImage(startupPicture_));
  setCentralWidget(client);
  // The client area moves when the menu bar changes height, and hidden children get no resize
  // events: it tells the renderer where PaintBox1 is whenever it changes.
  client->changed = [this] { PublishDrawingArea(); };

  StatusBar1 = new QStatusBar(this);
  StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
  StatusBar1->setFixedHeight(kStatusHeight);
  StatusBar1->setSizeGripEnabled(false);
  simpleText_ = new QLabel(StatusBar1);
  StatusBar1->addWidget(simpleText_, 1);
  setStatusBar(StatusBar1);

  MainMenu1 = new QMenuBar(this);
  MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
  setMenuBar(MainMenu1);
  CreateMenu();

  leaveFullScreen_ = new QAction(this);
  leaveFullScreen_->setObjectName(QStringLiteral("LeaveFullScreen"));
  leaveFullScreen_->setShortcuts(QList<QKeySequence>{QKeySequence(Qt::Key_Escape)} +
                                 kFullScreenKeys);
  leaveFullScreen_->setEnabled(false);
  addAction(leaveFullScreen_);
  connect(leaveFullScreen_, &QAction::triggered, FullScreen1, &QAction::trigger);

  connect(PaintBox1, &TPaintBox::Moved, this, &TMainForm::PublishDrawingArea);
  connect(PaintBox1, &TPaintBox::Exposed, this, &TMainForm::RepaintLastFrame);
  LimitSpeed1->setChecked(ReadLimitSpeed(settingsFile_));
  ApplySpeedLimit();
  // Tab must reach the window before focus handling takes it as "next control".
  QCoreApplication::instance()->installEventFilter(this);
  FitClientTo(kFirstPicture);
}

TMainForm::~TMainForm() {
  engine_.Stop();
}

QAction* TMainForm::AddItem(QMenu* menu, const char* name, const QString& caption,
                            const QKeySequence& shortcut, bool enabled,
                            void (TMainForm::*handler)()) {
  auto* item = new QAction(caption, this);
  item->setObjectName(QString::fromLatin1(name));
  item->setEnabled(enabled);
  if (!shortcut.isEmpty()) {
    item->setShortcut(shortcut);
    // Also on the window, so the shortcut works while full-screen mode hides its menu; a
    // disabled or hidden item still ignores it.
    addAction(item);
  }
  if (handler != nullptr) connect(item, &QAction::triggered, this, handler);
  menu->addAction(item);
  return item;
}

QAction* TMainForm::AddSeparator(QMenu* menu, const char* name) {
  QAction* separator = menu->addSeparator();
  separator->setObjectName(QString::fromLatin1(name));
  return separator;
}

void TMainForm::CreateMenu() {
  const auto addMenu = [this](const char* name, const QString& caption) {
    QMenu* menu = MainMenu1->addMenu(caption);
    menu->setObjectName(QString::fromLatin1(name));
    return menu;
  };
  const QKeySequence none;
  using T = TMainForm;

  File1 = addMenu("File1", "&File");
  LoadROM1 = AddItem(File1, "LoadROM1", "&Load ROM...", none, true, &T::Button1Click);
  UnloadROM1 = AddItem(File1, "UnloadROM1", "&Close ROM", none, false, &T::Button5Click);
  ROMInfo1 = AddItem(File1, "ROMInfo1", "&Rom Info", none, false, &T::ROMInfo1Click);
  N1 = AddSeparator(File1, "N1");
  SaveSnapshot1 =
      AddItem(File1, "SaveSnapshot1", "Save Snapshot", none, true, &T::SaveSnapshot1Click);
  N2 = AddSeparator(File1, "N2");
  CreateStateItems();
  N3 = AddSeparator(File1, "N3");
  Exit1 = AddItem(File1, "Exit1", "E&xit", QKeySequence(Qt::Key_Escape), true, &T::Exit1Click);

  Options1 = addMenu("Options1", "&Options");
  Configuration1 = AddItem(Options1, "Configuration1", "&Configuration", QKeySequence(Qt::Key_F12),
                           false, &T::Configuration1Click);
  // The debug console exists from start-up, so there is always something to show.
  ViewDebugger1 =
      AddItem(Options1, "ViewDebugger1", "View Debugger", none, true, &T::ViewDebugger1Click);
  LimitSpeed1 = AddItem(Options1, "LimitSpeed1", "Limit Speed", none, true, &T::LimitSpeed1Click);
  LimitSpeed1->setCheckable(true);
  AccurateHardware1 = Options1->addAction(QStringLiteral("Accurate Hardware"));
  AccurateHardware1->setObjectName(QStringLiteral("AccurateHardware1"));
  AccurateHardware1->setCheckable(true);
  AccurateHardware1->setChecked(ReadAccurateHardware(settingsFile_));
  engine_.SetAccurateHardware(AccurateHardware1->isChecked());
  connect(AccurateHardware1, &QAction::toggled, this, &T::AccurateHardware1Click);

  Emulation = addMenu("Emulation", "&Emulation");
  Start1 =
      AddItem(Emulation, "Start1", "&Start", QKeySequence(Qt::Key_F5), false, &T::Button3Click);
  Pause1 = AddItem(Emulation, "Pause1", "&Pause", QKeySequence(Qt::Key_F6), false, &T::Pause1Click);
  Pause1->setCheckable(true);
  // Pause is enabled while a run exists and checked while it is paused.
  const auto followRun = [this] { emit RunGoingChanged(RunGoing()); };
  connect(Pause1, &QAction::toggled, this, followRun);
  connect(Pause1, &QAction::enabledChanged, this, followRun);
  Reset1 = AddItem(Emulation, "Reset1", "&Reset", QKeySequence(Qt::Key_F7), false, &T::Reset1Click);

  Video1 = addMenu("Video1", "&Video");
  ForceRender1 = AddItem(Video1, "ForceRender1", "Force Render", none, true, &T::ForceRender1Click);
  Video1->menuAction()->setVisible(false);

  Debug1 = addMenu("Debug1", "&Debug");
  FlushDump1 = AddItem(Debug1, "FlushDump1", "&Flush Dump", none, true, &T::Button6Click);
  Debug1->menuAction()->setVisible(false);

  Resolution = addMenu("Resolution", "&Screen Size");
  FullScreen1 = AddItem(Resolution, "FullScreen1", "Fullscreen", kFullScreenKeys.first(), false,
                        &T::FullScreen1Click);
  FullScreen1->setShortcuts(kFullScreenKeys);
  FullScreen1->setCheckable(true);
  N5 = AddSeparator(Resolution, "N5");
  N320x2401 = AddItem(Resolution, "N320x2401", "320x240", none, true, &T::N320x2401Click);
  N512x3841 = AddItem(Resolution, "N512x3841", "512x384", none, true, &T::N512x3841Click);
  N640x2401 = AddItem(Resolution, "N640x2401", "640x480", none, true, &T::N640x2401Click);
  N800x6001 = AddItem(Resolution, "N800x6001", "800x600", none, true, &T::N800x6001Click);
  N1024x7681 = AddItem(Resolution, "N1024x7681", "1024x768", none, true, &T::N1024x7681Click);
  // The sizes are radio items showing the current one; the window starts at the smallest.
  auto* sizes = new QActionGroup(this);
  for (QAction* item : {N320x2401, N512x3841, N640x2401, N800x6001, N1024x7681}) {
    item->setCheckable(true);
    sizes->addAction(item);
  }
  N320x2401->setChecked(true);

  Help1 = addMenu("Help1", "&Help");
  Help2 = AddItem(Help1, "Help2", "Help!", none, false, nullptr);
  Index1 = AddItem(Help1, "Index1", "&Index", none, false, nullptr);
  N4 = AddSeparator(Help1, "N4");
  VantorTeam1 = AddItem(Help1, "VantorTeam1", "Vantor Team", none, true, &T::VantorTeam1Click);
}

void TMainForm::SetSimpleText(const QString& text) {
  simpleText_->setText(text);
}

QString TMainForm::SimpleText() const {
  return simpleText_->text();
}

void TMainForm::FitClientTo(QSize picture) {
  int menuHeight = MainMenu1->heightForWidth(picture.width());
  if (menuHeight < 0) menuHeight = MainMenu1->sizeHint().height();
  const int statusHeight = StatusBar1->isHidden() ? 0 : kStatusHeight;
  setFixedSize(picture.width(), menuHeight + picture.height() + statusHeight);
}

void TMainForm::SetScreenSize(int outerWidth, int outerHeight) {
  Image1->setScaledContents(true);
  FitClientTo(QSize(outerWidth - kFrameWidth, outerHeight - kFrameHeight));
}

void TMainForm::N320x2401Click() {
  SetScreenSize(328, 303);
}
void TMainForm::N512x3841Click() {
  SetScreenSize(520, 447);
}
void TMainForm::N640x2401Click() {
  SetScreenSize(648, 543);
}
void TMainForm::N800x6001Click() {
  SetScreenSize(808, 663);
}
void TMainForm::N1024x7681Click() {
  SetScreenSize(1032, 831);
}

// The item's check mark has already changed when its handler runs.
void TMainForm::FullScreen1Click() {
  if (FullScreen1->isChecked())
    EnterFullScreen();
  else
    LeaveFullScreen();
}

// The window manager makes the window fill the screen above the others and takes its border
// away. The window flags stay as they are: changing them would replace the native window that
// the renderer draws into.
void TMainForm::EnterFullScreen() {
  update();
  normalGeometry_ = geometry();
  ShowMenus(false);
  Image1->setScaledContents(true);
  StatusBar1->hide();
  setMinimumSize(0, 0);
  setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  showFullScreen();
  LayOutClient(centralWidget());
  raise();
  activateWindow();
}

void TMainForm::LeaveFullScreen() {
  update();
  ShowMenus(true);
  StatusBar1->show();
  showNormal();
  LayOutClient(centralWidget());
  // The window's own rectangle, without the frame: the frame is not known again until the
  // window manager has put it back.
  setFixedSize(normalGeometry_.size());
  setGeometry(normalGeometry_);
}

void TMainForm::ShowMenus(bool shown) {
  for (QMenu* menu : {Resolution, File1, Options1, Emulation}) {
    menu->menuAction()->setVisible(shown);
    // The items' shortcuts also live on the window; a hidden item ignores its shortcut.
    for (QAction* item : menu->actions())
      item->setVisible(shown);
  }
  leaveFullScreen_->setEnabled(!shown);
}

void TMainForm::ShowStartupPicture(bool show) {
  // PaintBox1 is a native window: while it is mapped it would hide Image1 beneath it.
  Image1->setVisible(show);
  PaintBox1->setVisible(!show);
}

void TMainForm::PublishDrawingArea() {
  const qreal ratio = PaintBox1->devicePixelRatioF();
  // From the window's geometry as its move and resize events report it, not from the server:
  // asking the server while the window manager is still moving the window would publish a
  // place that no later event corrects.
  const QPoint origin = geometry().topLeft() + PaintBox1->mapTo(this, QPoint(0, 0));
  PublishTargetRect({static_cast<int32_t>(origin.x() * ratio),
                     static_cast<int32_t>(origin.y() * ratio),
                     static_cast<int32_t>(PaintBox1->width() * ratio),
                     static_cast<int32_t>(PaintBox1->height() * ratio)});
}

void TMainForm::moveEvent(QMoveEvent* event) {
  QMainWindow::moveEvent(event);
  PublishDrawingArea();
}

void TMainForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  // The window system may place the client area inside a frame only once the window is shown,
  // which moves it without a move event.
  QTimer::singleShot(0, this, &TMainForm::PublishDrawingArea);
}

void TMainForm::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  PublishDrawingArea();
}

bool TMainForm::event(QEvent* event) {
  // Menu hovering would replace the status text with an empty tip.
  if (event->type() == QEvent::StatusTip) return true;
  // A Tab released in another window would never reach this one.
  if (event->type() == QEvent::WindowDeactivate) SetFastForward(false);
  return QMainWindow::event(event);
}

void TMainForm::closeEvent(QCloseEvent* event) {
  FormClose();
  event->accept();
  // The program ends with its main window: a help, debugger or configuration window left open
  // would keep it running with no way back to the main window.
  for (QWidget* window : QApplication::topLevelWidgets())
    if (window != this && window->isVisible()) window->close();
}

// Only the run ends: unloading the ROM on the way out would block the window for Close ROM's
// second. The image is freed at program end.
void TMainForm::FormClose() {
  Button4Click();
}

void TMainForm::Exit1Click() {
  close();
}

}  // namespace vantor::ui
