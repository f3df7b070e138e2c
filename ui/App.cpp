#include "ui/App.h"

#include <QApplication>
#include <QIcon>
#include <QStandardPaths>
#include <QStringList>
#include <cstdio>

#include "common/DebugLog.h"
#include "common/Host.h"
#include "debugger/DbgWnd.h"
#include "debugger/DebugForm.h"
#include "debugger/MachineView.h"
#include "debugger/RegForm.h"
#include "memory/AddressMap.h"
#include "memory/MemoryBlock.h"
#include "memory/RomImage.h"
#include "ui/CommandLine.h"
#include "ui/Config.h"
#include "ui/Credits.h"
#include "ui/DebugPlacement.h"
#include "ui/Desktop.h"
#include "ui/Dialogs.h"
#include "ui/DirectInput.h"
#include "ui/KeyboardState.h"
#include "ui/MainForm.h"
#include "ui/PadInput.h"
#include "ui/QtHost.h"
#include "ui/SdlAudio.h"
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

namespace {

QStringList ArgumentList(int argc, char** argv) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i)
    arguments << QString::fromLocal8Bit(argv[i]);
  return arguments;
}

}  // namespace

void FollowSound(TSdlAudio& audio, TMainForm& mainForm, TConfigF& config) {
  const auto follow = [&] {
    audio.SetHeard(config.SoundOn() && mainForm.RunGoing() && mainForm.AtConsoleSpeed());
  };
  QObject::connect(&mainForm, &TMainForm::RunGoingChanged, &config, follow);
  QObject::connect(&mainForm, &TMainForm::SpeedChanged, &config, follow);
  QObject::connect(&config, &TConfigF::SoundChanged, &config, follow);
  follow();
}

int RunDesktop(int argc, char** argv) {
  // Answered before any window exists, so --help and --version work without a display.
  const TCommandLine command = ParseCommandLine(ArgumentList(argc, argv));
  if (!command.run) {
    std::fputs(command.output.toLocal8Bit().constData(), stdout);
    std::fputs(command.error.toLocal8Bit().constData(), stderr);
    return command.exitStatus;
  }
  // The renderer plug-in draws through X11, so the windows must be X windows.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "xcb");
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Vantor64"));
  QApplication::setApplicationVersion(QStringLiteral("0.25"));
  // The desktop file's name, so that the window system finds the program's icon.
  QGuiApplication::setDesktopFileName(QStringLiteral("vantor64"));
  QIcon icon;
  for (const int size : {32, 64, 256})
    icon.addFile(QStringLiteral(":/assets/icons/vantor64-%1.png").arg(size));
  QApplication::setWindowIcon(icon);

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
  // The speakers outlive the main window, whose end stops the run that plays into them.
  TSdlAudio audio;
  if (std::string reason; !audio.Start(reason))
    DbgAddLine("Sound unavailable, the program plays none: " + reason);
  InstallAudioSink(&audio);

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
  // The emulated controller follows the assigned device while a run goes and the main window has
  // the focus.
  TPadFeed padFeed(input, directInputConfig.Cfg, mainForm);
  QObject::connect(&mainForm, &TMainForm::RunGoingChanged, &padFeed, &TPadFeed::SetRunGoing);
  FollowSound(audio, mainForm, configF);
  host.SetMessageParent(&mainForm);
  host.SetStatusSink([&mainForm](const QString& text) { mainForm.SetSimpleText(text); });
  host.SetLineSink([&dbgWnd](const QStringList& lines) { dbgWnd.AddLines(lines); },
                   [&dbgWnd](const QString& line) { dbgWnd.ReplaceLastLine(line); });
  mainForm.SetDebugConsole(&dbgWnd);
  mainForm.SetDebugger(&debugger, &regForm);
  mainForm.SetConfiguration(&configF);
  mainForm.SetCredits(&credits);
  TDesktop desktop(mainForm, dialogs, settingsFile);
  desktop.Placement().Restore();
  TDebugPlacement debugPlacement(mainForm, {&debugger, &regForm, &dbgWnd}, settingsFile);
  mainForm.show();
  const auto window = static_cast<TWindowHandle>(mainForm.winId());
  SetRendererWindows(window, window);
  mainForm.WhenPlaced([&] {
    // The program still serves the console and the debugger without a picture.
    if (!rendererBound) mainForm.RendererUnavailable();
    desktop.Begin(command.options);
  });
  const int status = QApplication::exec();
  desktop.Placement().SavePosition();

  mainForm.Button4Click();
  InstallAudioSink(nullptr);
  // The plug-in may hold the main window; it lets go before any window is destroyed.
  ReleaseRenderer();
  host.SetLineSink({});
  host.SetStatusSink({});
  host.SetMessageParent(nullptr);
  return status;
}

}  // namespace vantor::ui
