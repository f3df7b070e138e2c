#include "ui/App.h"

#include <QApplication>
#include <QStandardPaths>
#include <QStringList>

#include "common/DebugLog.h"
#include "common/Host.h"
#include "debugger/DbgWnd.h"
#include "debugger/DebugForm.h"
#include "debugger/MachineView.h"
#include "debugger/RegForm.h"
#include "memory/AddressMap.h"
#include "memory/MemoryBlock.h"
#include "memory/RomImage.h"
#include "ui/Config.h"
#include "ui/Credits.h"
#include "ui/Dialogs.h"
#include "ui/DirectInput.h"
#include "ui/KeyboardState.h"
#include "ui/MainForm.h"
#include "ui/PadInput.h"
#include "ui/QtHost.h"
#include "ui/SdlInput.h"
#include "ui/Settings.h"
#include "video/RendererHost.h"

namespace vantor::ui {

namespace {

// Releases what the program set up, in reverse, however RunDesktop returns.
struct TShutDown {
  ~TShutDown() {
    InstallHost(nullptr);
    UnloadRomImage();
    SweepBlockList();
  }
};

}  // namespace

int RunDesktop(int argc, char** argv) {
  // The renderer plug-in draws through X11, so the windows must be X windows.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "xcb");
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Vantor64"));

  TQtDialogs dialogs;
  TQtHost host(dialogs);
  InstallHost(&host);
  TShutDown shutDown;
  if (!CreateMemoryBlocks()) return 1;
  const bool rendererBound = BindRenderer(QCoreApplication::applicationDirPath().toStdString());

  const QString settingsFile =
      SettingsFilePath(QCoreApplication::applicationDirPath(),
                       QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));

  // The input devices outlive the windows that read them.
  TKeyboardState keyboard;
  keyboard.InstallOn(&app);
  TDesktopInput input(keyboard);
  if (std::string reason; !input.Start(reason))
    DbgAddLine("Joysticks unavailable, the keyboard only: SDL could not start (" + reason + ")");

  // Created in this order, destroyed in reverse; only the main window is shown.
  TMainForm mainForm(dialogs, settingsFile);
  TDbgWnd dbgWnd;
  TMachineView machineView(mainForm.Engine());
  TRegForm regForm(machineView);
  TDebugger debugger(machineView, regForm, &dbgWnd);
  debugger.ShowMessage = [&dialogs](QWidget* parent, const QString& text) {
    dialogs.ShowError(parent, text);
  };
  TConfigF configF(mainForm.Engine(), settingsFile);
  TDirectInputConfig directInputConfig(input, settingsFile);
  TCredits credits;
  configF.SetKeyConfiguration(&directInputConfig);
  // The emulated controller follows the assigned device while the main window has the focus.
  TPadFeed padFeed(input, directInputConfig.Cfg, mainForm);
  padFeed.Start();
  host.SetMessageParent(&mainForm);
  host.SetStatusSink([&mainForm](const QString& text) { mainForm.SetSimpleText(text); });
  host.SetLineSink([&dbgWnd](const QStringList& lines) { dbgWnd.AddLines(lines); });
  mainForm.SetDebugConsole(&dbgWnd);
  mainForm.SetDebugger(&debugger, &regForm);
  mainForm.SetConfiguration(&configF);
  mainForm.SetCredits(&credits);
  mainForm.show();
  const auto window = static_cast<TWindowHandle>(mainForm.winId());
  SetRendererWindows(window, window);
  const QStringList arguments = QCoreApplication::arguments();
  mainForm.WhenPlaced([&] {
    // The program still serves the console and the debugger without a picture.
    if (!rendererBound) mainForm.RendererUnavailable();
    if (arguments.size() > 1) {
      mainForm.LoadRomFile(arguments[1]);
      mainForm.Button3Click();
    }
  });
  const int status = QApplication::exec();

  mainForm.Button4Click();
  // The plug-in may hold the main window; it lets go before any window is destroyed.
  ReleaseRenderer();
  host.SetLineSink({});
  host.SetStatusSink({});
  host.SetMessageParent(nullptr);
  return status;
}

}  // namespace vantor::ui
