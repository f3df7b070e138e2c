// TMainForm: the main window. Its menu loads and closes ROMs, starts, pauses and restarts
// emulation, sizes the window or makes it fill the screen, saves snapshots and opens the other
// windows. It owns the emulation thread.
#pragma once

#include <QAction>
#include <QDeadlineTimer>
#include <QImage>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>

#include "core/Engine.h"
#include "ui/PaintBox.h"
#include "ui/RomInfo.h"
#include "ui/RomStream.h"

namespace vantor::ui {

class TRomInfoDialog;
class TUserDialogs;
class TDebugger;
class TRegForm;

inline constexpr const char* kMainCaption = "Vantor64 0.25";
// Where the 4:3 picture goes in full-screen mode: the largest such rectangle centred in the
// area, black borders around it.
QRect FullScreenPictureRect(QSize area);
// The longest WhenPlaced waits for the window manager.
inline constexpr int kPlacingMs = 1000;

class TMainForm : public QMainWindow {
  Q_OBJECT

 public:
  // settingsFile: where RomDir is kept (see Settings.h).
  TMainForm(TUserDialogs& dialogs, const QString& settingsFile, QWidget* parent = nullptr);
  ~TMainForm() override;

  // The windows its commands show; they are made after the main window.
  void SetDebugConsole(QWidget* console) { dbgWnd_ = console; }
  // The debugger stops and resumes runs; the main window's Pause follows it.
  void SetDebugger(TDebugger* debugger, TRegForm* regForm);
  void SetCredits(QWidget* credits) { credits_ = credits; }
  // Configuration is enabled once its window exists.
  void SetConfiguration(QWidget* config);

  // Load ROM with a path that needs no dialog (the command line); the settings stay as they are.
  void LoadRomFile(const QString& path);
  // Start, with the run halted before its first instruction as after Pause.
  void StartPaused();
  // No renderer plug-in could be bound: says so once now, and in the status bar at every Start.
  void RendererUnavailable();
  // Runs work once the window system shows the window where the window manager placed it (or
  // at once when the window is hidden or placing takes too long), so that boxes appear over it.
  void WhenPlaced(std::function<void()> work, QDeadlineTimer placed = QDeadlineTimer(kPlacingMs));

  // The status bar's simple text. Commands set it through the host, which sends it here.
  void SetSimpleText(const QString& text);
  QString SimpleText() const;

  TEngine& Engine() { return engine_; }
  // A run exists and is neither paused nor stopped by the debugger.
  bool RunGoing() const { return Pause1->isEnabled() && !Pause1->isChecked(); }
  // The picture Image1 shows while no ROM is loaded.
  const QImage& StartupPicture() const { return startupPicture_; }

  // Handlers, named after their controls and events.
  void Button1Click();  // Load ROM
  void Button3Click();  // Start
  void Button4Click();  // Stop; no menu item, used on closing and before a new load
  void Button5Click();  // Close ROM
  void ROMInfo1Click();
  void Button6Click() {}  // Flush Dump
  void Pause1Click();
  void Reset1Click();
  void ForceRender1Click();
  void Exit1Click();
  void ViewDebugger1Click();
  // Options > Accurate Hardware: kept in the settings, used from the next Start or Reset on.
  void AccurateHardware1Click(bool checked);
  void Configuration1Click();
  void VantorTeam1Click();
  void SaveSnapshot1Click();
  void FullScreen1Click();
  void N320x2401Click();
  void N512x3841Click();
  void N640x2401Click();
  void N800x6001Click();
  void N1024x7681Click();
  void SaveState1Click();  // to the chosen quick slot
  void LoadState1Click();  // from the chosen quick slot
  void SaveStateAs1Click();
  void LoadStateFrom1Click();
  void LimitSpeed1Click();

  // The quick slot Save State and Load State use, 0 to kStateSlots - 1.
  static constexpr int kStateSlots = 10;
  int StateSlot() const;
  // While Tab is held in the main window the run goes as fast as it can.
  void SetFastForward(bool held);
  bool FastForward() const { return fastForward_; }
  // Runs go at the console's speed: Limit Speed is checked and no fast-forward is held.
  bool AtConsoleSpeed() const { return LimitSpeed1->isChecked() && !fastForward_; }

  // Controls.
  TPaintBox* PaintBox1;
  QLabel* Image1;
  QStatusBar* StatusBar1;
  QMenuBar* MainMenu1;
  QMenu *File1, *Options1, *Emulation, *Video1, *Debug1, *Resolution, *Help1;
  QAction *LoadROM1, *UnloadROM1, *ROMInfo1, *N1, *SaveSnapshot1, *N2, *SaveState1, *LoadState1,
      *SaveStateAs1, *LoadStateFrom1, *N3, *Exit1;
  QMenu* StateSlot1;
  std::array<QAction*, kStateSlots> Slots{};
  QAction *Configuration1, *ViewDebugger1, *LimitSpeed1, *AccurateHardware1;
  QAction *Start1, *Pause1, *Reset1;
  QAction* ForceRender1;
  QAction* FlushDump1;
  QAction *FullScreen1, *N5, *N320x2401, *N512x3841, *N640x2401, *N800x6001, *N1024x7681;
  QAction *Help2, *Index1, *N4, *VantorTeam1;

  // The last load's header as the caption and the ROM information fields read it.
  TRomStream RomStream;
  std::array<uint8_t, 64> RomHeaderBuf{};
  QByteArray RomName;  // the 20 name bytes, zero bytes included
  QString RomCountry;
  QString RomMaker;
  // What the last file loaded says about itself, for Rom Info.
  TRomFacts RomFacts;

  // Outer size of the window for a picture: the 8 × 63 pixels of frame, caption, menu bar and
  // status bar the screen sizes' outer sizes were measured with.
  static constexpr int kFrameWidth = 8;
  static constexpr int kFrameHeight = 63;
  static constexpr int kStatusHeight = 19;
  static constexpr int kClosingBlockMs = 1000;
  // Save Snapshot: time for the window system to uncover the window after the dialog, the
  // longest wait for a frame, and time for the server to draw it.
  static constexpr int kUncoverMs = 150;
  static constexpr int kFrameWaitMs = 1000;
  static constexpr int kDrawMs = 50;
  // How long "Snapshot ... saved" stays readable over a running ROM's frame rates.
  static constexpr int kSnapshotTextMs = 4000;

 signals:
  // A ROM file was loaded, by whatever way it was chosen.
  void RomOpened(const QString& path);
  // RunGoing may have changed.
  void RunGoingChanged(bool going);
  // AtConsoleSpeed may have changed.
  void SpeedChanged();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateMenu();
  QAction* AddItem(QMenu* menu, const char* name, const QString& caption,
                   const QKeySequence& shortcut, bool enabled, void (TMainForm::*handler)());
  QAction* AddSeparator(QMenu* menu, const char* name);
  void FormClose();
  // Status texts of the commands go through the host, so that they win over older ones from the
  // emulation thread.
  void SetStatus(const QString& text);
  // The part of Load ROM after the file is chosen.
  void LoadRom(const QString& path);
  bool ReadRomStream(const QString& path);
  // A load the loader refused: says why and leaves nothing to start.
  void ShowLoadFailed(const QString& path, bool unsupported);
  // Sizes the window so PaintBox1 shows a picture of this size (outer size minus the frame).
  void SetScreenSize(int outerWidth, int outerHeight);
  void FitClientTo(QSize picture);
  void EnterFullScreen();
  void LeaveFullScreen();
  // Shows or hides the menus that full-screen mode hides, together with their items' shortcuts.
  void ShowMenus(bool shown);
  void ShowStartupPicture(bool show);
  // Menu states once no run exists any more.
  void ShowRunEnded();
  // The debugger stopped the run before an instruction: the state Pause leaves.
  void ShowDebugStop();
  void PublishDrawingArea();
  void RepaintLastFrame();
  // The picture on the screen in the client area (below the menu bar).
  QImage GrabClientArea();
  // Puts a presented frame into the drawing area and lets it reach the screen.
  void ShowPresentedFrame();
  void BlockInput(int milliseconds);
  // Start, from reset or from a checked state image.
  void StartRun(std::shared_ptr<const TStateImage> from);
  // Save states to and from files, with their status texts and error boxes.
  void SaveStateTo(const QString& path, const QString& where);
  void LoadStateFrom(const QString& path, const QString& where);
  // Save needs a run; load needs a ROM (it starts a run when none exists).
  void UpdateStateItems();
  void CreateStateItems();
  void ApplySpeedLimit();

  TUserDialogs& dialogs_;
  QString settingsFile_;
  TEngine engine_;
  QWidget* dbgWnd_ = nullptr;
  TDebugger* debugger_ = nullptr;
  TRegForm* regForm_ = nullptr;
  QWidget* credits_ = nullptr;
  QWidget* config_ = nullptr;
  QLabel* simpleText_;
  QImage startupPicture_;
  // Esc and Alt+Enter in full-screen mode, where the menus and their shortcuts are hidden.
  QAction* leaveFullScreen_;
  QRect normalGeometry_;  // where the window was before full-screen mode
  bool rendererMissing_ = false;
  bool fastForward_ = false;
  TRomInfoDialog* romInfo_ = nullptr;  // made at the first Rom Info
};

}  // namespace vantor::ui
