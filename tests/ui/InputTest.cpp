// The input layer and captures on real devices: SDL2's virtual joysticks and key states given
// to the keyboard as its key events would give them; the key code table; the error texts.
#include <SDL.h>
#include <signal.h>

#include <QKeyEvent>
#include <QTest>
#include <memory>
#include <set>

#include "memory/Pif.h"
#include "tests/support/CaptureHost.h"
#include "tests/support/TempDir.h"
#include "ui/DirectError.h"
#include "ui/DirectInput.h"
#include "ui/KeyboardState.h"
#include "ui/PadInput.h"
#include "ui/SdlInput.h"

using namespace vantor;
using namespace vantor::ui;

namespace {

// SDL's signed axis value for a position on the 0..65535 scale the capture reads.
Sint16 Axis(int32_t position) {
  return static_cast<Sint16>(position - 32768);
}

// A virtual pad attached for the test's lifetime (or until Detach), opened to set its state.
class TVirtualPad {
 public:
  explicit TVirtualPad(const char* name) {
    SDL_VirtualJoystickDesc desc{};
    desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
    desc.naxes = 3;
    desc.nbuttons = 32;
    desc.vendor_id = 0x1234;
    desc.product_id = 0x5678;
    desc.name = name;
    const int index = SDL_JoystickAttachVirtualEx(&desc);
    if (index >= 0) joystick_ = SDL_JoystickOpen(index);
  }
  ~TVirtualPad() { Detach(); }
  TVirtualPad(const TVirtualPad&) = delete;
  TVirtualPad& operator=(const TVirtualPad&) = delete;

  bool Ready() const { return joystick_ != nullptr; }
  void SetAxes(int32_t x, int32_t y, int32_t z) {
    SDL_JoystickSetVirtualAxis(joystick_, 0, Axis(x));
    SDL_JoystickSetVirtualAxis(joystick_, 1, Axis(y));
    SDL_JoystickSetVirtualAxis(joystick_, 2, Axis(z));
  }
  void SetButton(int button, bool down) {
    SDL_JoystickSetVirtualButton(joystick_, button, down ? 1 : 0);
  }
  void Detach() {
    if (joystick_ == nullptr) return;
    const SDL_JoystickID id = SDL_JoystickInstanceID(joystick_);
    SDL_JoystickClose(joystick_);
    joystick_ = nullptr;
    for (int index = 0; index < SDL_NumJoysticks(); ++index)
      if (SDL_JoystickGetDeviceInstanceID(index) == id) SDL_JoystickDetachVirtual(index);
  }

 private:
  SDL_Joystick* joystick_ = nullptr;
};

}  // namespace

class InputTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<test::TempDir> dir_;
  std::unique_ptr<test::CaptureHost> host_;
  std::unique_ptr<TKeyboardState> keyboard_;
  std::unique_ptr<TDesktopInput> input_;
  std::unique_ptr<TDirectInputConfig> window_;

  QString Settings() const { return QString::fromStdString(dir_->Path() / "Vantor64.ini"); }
  void ShowWindow() {
    window_ = std::make_unique<TDirectInputConfig>(*input_, Settings());
    window_->show();
  }
  void Choose(const QString& device) {
    const int index = window_->ComboBox1->findText(device);
    QVERIFY(index > 0);
    window_->ComboBox1->setCurrentIndex(index);
  }
  static void ActivateWindow(QWidget& window) {
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
  }
  // The keyboard with its default keys, as the controller window assigns it.
  static TControllerCfg KeyboardWithDefaults() {
    TControllerCfg cfg;
    cfg.DeviceGuid = kSysKeyboardGuid;
    cfg.Map = kKeyboardDefaults;
    return cfg;
  }
  // A few looks at the device, as the window's timer would take them.
  void Ticks(int count = 3) {
    for (int i = 0; i < count && window_->CaptureBox() != nullptr; ++i)
      window_->CaptureTick();
  }

 private slots:
  void init() {
    dir_ = std::make_unique<test::TempDir>();
    host_ = std::make_unique<test::CaptureHost>();
    keyboard_ = std::make_unique<TKeyboardState>();
    input_ = std::make_unique<TDesktopInput>(*keyboard_);
    std::string reason;
    QVERIFY2(input_->Start(reason), reason.c_str());
  }
  void cleanup() {
    PublishPad(0);
    window_.reset();
    input_.reset();
    keyboard_.reset();
    host_.reset();
    dir_.reset();
  }

  void keyCodesOfX11Keys() {
    // X11 key codes are the Linux input codes plus 8.
    QCOMPARE(KeyCodeOfX11Key(9), uint8_t{1});      // Esc
    QCOMPARE(KeyCodeOfX11Key(38), uint8_t{30});    // A
    QCOMPARE(KeyCodeOfX11Key(39), uint8_t{31});    // S
    QCOMPARE(KeyCodeOfX11Key(25), uint8_t{17});    // W
    QCOMPARE(KeyCodeOfX11Key(96), uint8_t{88});    // F12
    QCOMPARE(KeyCodeOfX11Key(111), uint8_t{200});  // Up
    QCOMPARE(KeyCodeOfX11Key(113), uint8_t{203});  // Left
    QCOMPARE(KeyCodeOfX11Key(114), uint8_t{205});  // Right
    QCOMPARE(KeyCodeOfX11Key(116), uint8_t{208});  // Down
    QCOMPARE(KeyCodeOfX11Key(104), uint8_t{156});  // keypad Enter
    QCOMPARE(KeyCodeOfX11Key(105), uint8_t{157});  // right Ctrl
    for (const uint32_t none : {0u, 8u, 92u, 93u, 255u, 70000u})
      QCOMPARE(KeyCodeOfX11Key(none), uint8_t{0});
  }

  void keyEventsKeepTheKeyboardState() {
    QWidget widget;
    keyboard_->InstallOn(qApp);
    const auto send = [&](QEvent::Type type, quint32 x11, bool repeat = false) {
      QKeyEvent event(type, Qt::Key_unknown, Qt::NoModifier, x11, 0, 0, QString(), repeat);
      QCoreApplication::sendEvent(&widget, &event);
    };
    send(QEvent::KeyPress, 38);
    send(QEvent::KeyPress, 111);
    QCOMPARE(keyboard_->Keys()[30], uint8_t{0x80});
    QCOMPARE(keyboard_->Keys()[200], uint8_t{0x80});
    // Auto-repeat's release does not let go of a held key.
    send(QEvent::KeyRelease, 38, true);
    QCOMPARE(keyboard_->Keys()[30], uint8_t{0x80});
    send(QEvent::KeyRelease, 38);
    QCOMPARE(keyboard_->Keys()[30], uint8_t{0});
    // Keys released while another program has the focus are let go of.
    QEvent deactivate(QEvent::ApplicationDeactivate);
    QCoreApplication::sendEvent(qApp, &deactivate);
    QCOMPARE(keyboard_->Keys()[200], uint8_t{0});
  }

  // The controller word as the emulated machine reads it, from the keyboard's defaults: the
  // assignment a new settings file gives, before the user has chosen anything.
  void keyboardDrivesTheController() {
    QWidget mainWindow;
    ActivateWindow(mainWindow);
    window_ = std::make_unique<TDirectInputConfig>(*input_, Settings());
    TPadFeed feed(*input_, window_->Cfg, mainWindow);
    // W, K and F: A, Start and the digital pad's left; Up and Right: the stick up and right.
    for (uint8_t code : {17, 37, 33, 200, 205})
      keyboard_->Press(code);
    feed.Tick();
    QCOMPARE(PublishedPad(), PadWord(kPadA | kPadStart | kPadDLeft, 80, 80));
    // Opposite directions cancel; Q tapped between two looks counts for one look.
    keyboard_->ReleaseAll();
    keyboard_->Press(203);
    keyboard_->Press(205);
    keyboard_->Press(16);
    keyboard_->Release(16);
    feed.Tick();
    QCOMPARE(PublishedPad(), PadWord(kPadB, 0, 0));
    feed.Tick();
    QCOMPARE(PublishedPad(), 0u);
    // Input is taken only while the main window is active.
    keyboard_->Press(17);
    QWidget other;
    ActivateWindow(other);
    feed.Tick();
    QCOMPARE(PublishedPad(), 0u);
    ActivateWindow(mainWindow);
    feed.Tick();
    QCOMPARE(PublishedPad(), PadWord(kPadA, 0, 0));
  }

  // A paused or idle program takes no time between events: the device is looked at only while a
  // run goes in the active main window, and the controller rests whenever the looks stop.
  void theFeedLooksOnlyWhileARunGoesInTheActiveWindow() {
    QWidget mainWindow;
    ActivateWindow(mainWindow);
    const TControllerCfg cfg = KeyboardWithDefaults();
    TPadFeed feed(*input_, cfg, mainWindow);
    keyboard_->Press(17);  // W: A
    QVERIFY(!feed.Looking());
    QCOMPARE(PublishedPad(), 0u);
    feed.SetRunGoing(true);
    QVERIFY(feed.Looking());
    QCOMPARE(PublishedPad(), PadWord(kPadA, 0, 0));  // at once, not a tick later

    QWidget other;
    ActivateWindow(other);
    QTRY_VERIFY(!feed.Looking());
    QCOMPARE(PublishedPad(), 0u);
    ActivateWindow(mainWindow);
    QTRY_VERIFY(feed.Looking());
    QCOMPARE(PublishedPad(), PadWord(kPadA, 0, 0));

    feed.SetRunGoing(false);
    QVERIFY(!feed.Looking());
    QCOMPARE(PublishedPad(), 0u);
    ActivateWindow(other);
    ActivateWindow(mainWindow);
    QVERIFY(!feed.Looking());
  }

  void padDrivesTheController() {
    TVirtualPad pad("Test Pad");
    QVERIFY(pad.Ready());
    std::vector<TDeviceInstance> devices;
    QCOMPARE(input_->EnumDevices(devices), DI_OK);
    QWidget mainWindow;
    ActivateWindow(mainWindow);
    TControllerCfg cfg;
    cfg.DeviceGuid = devices.back().guid;
    cfg.Map = kJoystickDefaults;
    cfg.Map[4] = 0;  // A on button 0
    TPadFeed feed(*input_, cfg, mainWindow);
    // Inside the dead zone the stick rests.
    pad.SetAxes(32768 + kAxisDeadZone, 32768 - kAxisDeadZone, 32768);
    pad.SetButton(0, true);
    pad.SetButton(23, true);  // Z by default
    feed.Tick();
    QCOMPARE(PublishedPad(), PadWord(kPadA | kPadZ, 0, 0));
    // Full travel is full deflection, however far the axis's negative end reaches; Y is
    // negated, so pushing up is positive.
    pad.SetButton(0, false);
    pad.SetButton(23, false);
    pad.SetAxes(65535, 0, 32768);
    feed.Tick();
    QCOMPARE(PublishedPad(), PadWord(0, 80, 80));
    pad.SetAxes(0, 65535, 32768);
    feed.Tick();
    QCOMPARE(PublishedPad(), PadWord(0, -80, -80));
    // Half-way beyond the dead zone is half deflection.
    pad.SetAxes(32768 + kAxisDeadZone + (32767 - kAxisDeadZone) / 2, 32768, 32768);
    feed.Tick();
    QCOMPARE(PublishedPad(), PadWord(0, 40, 0));
    // A pad pulled out leaves the controller at rest.
    pad.Detach();
    feed.Tick();
    QCOMPARE(PublishedPad(), 0u);

    QCOMPARE(StickOfAxis(32768 + kAxisDeadZone + 1), 0);
    QCOMPARE(StickOfAxis(-5), -80);
    QCOMPARE(StickOfAxis(70000), 80);
    // The first point of view is the digital pad too.
    TJoyState state;
    state.lX = state.lY = 32768;
    const std::pair<uint32_t, uint32_t> povs[] = {
        {0xFFFFFFFF, 0},
        {0, kPadDUp},
        {4500, kPadDUp | kPadDRight},
        {9000, kPadDRight},
        {18000, kPadDDown},
        {22500, kPadDDown | kPadDLeft},
        {31500, kPadDUp | kPadDLeft},
    };
    for (const auto& [pov, bits] : povs) {
      state.rgdwPOV[0] = pov;
      QCOMPARE(PadWordOfJoystick(kJoystickDefaults, state), bits);
    }
  }

  void keyboardCapture() {
    ShowWindow();
    Choose("Keyboard");
    QTest::mouseClick(window_->cbUp, Qt::LeftButton);
    QCOMPARE(window_->cbUp->text(), QString("Press Button!"));
    Ticks();
    QVERIFY(window_->CaptureBox() == window_->cbUp);
    // A and S held together: the higher code.
    keyboard_->Press(30);
    keyboard_->Press(31);
    Ticks(1);
    QVERIFY(window_->CaptureBox() == nullptr);
    QCOMPARE(window_->Cfg.Map[10], 31);
    QCOMPARE(window_->cbUp->text(), QString("Button 31"));
    keyboard_->ReleaseAll();

    // An extended key, and a key tapped between two looks.
    QTest::mouseClick(window_->kbUP, Qt::LeftButton);
    keyboard_->Press(200);
    Ticks(1);
    QCOMPARE(window_->Cfg.Map[0], 200);
    keyboard_->Release(200);
    QTest::mouseClick(window_->kbZ, Qt::LeftButton);
    Ticks(1);
    keyboard_->Press(23);
    keyboard_->Release(23);
    Ticks(1);
    QCOMPARE(window_->Cfg.Map[6], 23);
    QCOMPARE(window_->kbZ->text(), QString("Button 23"));
  }

  void joystickButtons() {
    TVirtualPad pad("Test Pad");
    QVERIFY(pad.Ready());
    ShowWindow();
    Choose("Test Pad");
    QCOMPARE(window_->Cfg.Map, kJoystickDefaults);
    QTest::mouseClick(window_->kbSTART, Qt::LeftButton);
    QCOMPARE(window_->kbSTART->text(), QString("Press Button!"));
    Ticks();
    QVERIFY(window_->CaptureBox() == window_->kbSTART);
    pad.SetButton(3, true);
    pad.SetButton(31, true);
    pad.SetButton(12, true);
    Ticks(1);
    QCOMPARE(window_->Cfg.Map[7], 31);
    QCOMPARE(window_->kbSTART->text(), QString("Joy31"));
  }

  void joystickAxisThresholds() {
    TVirtualPad pad("Test Pad");
    QVERIFY(pad.Ready());
    ShowWindow();
    Choose("Test Pad");
    QTest::mouseClick(window_->jsX, Qt::LeftButton);
    QCOMPARE(window_->jsX->text(), QString("Press Direction!"));
    // At a quarter of the travel is not yet pushed, and 0 counts as no axis.
    pad.SetAxes(16000, 48000, 0);
    Ticks();
    QVERIFY(window_->CaptureBox() == window_->jsX);
    pad.SetAxes(32768, 48001, 32768);
    Ticks(1);
    QVERIFY(window_->CaptureBox() == nullptr);
    QCOMPARE(window_->Cfg.Map[0], -2);
    QCOMPARE(window_->Cfg.Map[1], -2);
    QCOMPARE(window_->jsX->text(), QString("Axis 2"));

    // Several pushed at once: the last of X, Y, Z.
    pad.SetAxes(32768, 32768, 32768);
    QTest::mouseClick(window_->jsY, Qt::LeftButton);
    Ticks();
    pad.SetAxes(15999, 32768, 65535);
    Ticks(1);
    QCOMPARE(window_->Cfg.Map[2], -3);
    QCOMPARE(window_->Cfg.Map[3], -3);
    QCOMPARE(window_->jsY->text(), QString("Axis 3"));
    QTest::mouseClick(window_->jsY, Qt::LeftButton);
    pad.SetAxes(15999, 32768, 32768);
    Ticks(1);
    QCOMPARE(window_->jsY->text(), QString("Axis 1"));
    QCOMPARE(window_->Cfg.Map[0], -2);
  }

  void padPulledOutAndPluggedIn() {
    auto pad = std::make_unique<TVirtualPad>("Test Pad");
    QVERIFY(pad->Ready());
    ShowWindow();
    Choose("Test Pad");
    QTest::mouseClick(window_->kbR, Qt::LeftButton);
    Ticks();
    pad->Detach();
    Ticks();
    // The capture ends quietly and the old assignment stays.
    QVERIFY(window_->CaptureBox() == nullptr);
    QCOMPARE(window_->Cfg.Map[8], 36);
    QCOMPARE(window_->kbR->text(), QString("Joy36"));
    QVERIFY(host_->Messages().empty());

    // The list follows the next time the window is shown.
    window_->hide();
    window_->show();
    QCOMPARE(window_->ComboBox1->findText("Test Pad"), -1);
    QCOMPARE(window_->ComboBox1->currentIndex(), -1);
    pad = std::make_unique<TVirtualPad>("Test Pad");
    window_->hide();
    window_->show();
    QCOMPARE(window_->ComboBox1->currentText(), QString("Test Pad"));
    QCOMPARE(window_->Cfg.Map[8], 36);
  }

  void twoPadsOfOneModelStayApart() {
    TVirtualPad first("Twin Pad"), second("Twin Pad");
    QVERIFY(first.Ready() && second.Ready());
    std::vector<TDeviceInstance> devices;
    QCOMPARE(input_->EnumDevices(devices), DI_OK);
    std::set<TGuid> guids;
    for (const TDeviceInstance& device : devices)
      guids.insert(device.guid);
    QCOMPARE(guids.size(), devices.size());
    QCOMPARE(devices.front().guid, kSysKeyboardGuid);

    ShowWindow();
    window_->ComboBox1->setCurrentIndex(window_->ComboBox1->count() - 1);
    QTest::mouseClick(window_->kbA, Qt::LeftButton);
    first.SetButton(5, true);
    Ticks();
    QVERIFY(window_->CaptureBox() == window_->kbA);
    second.SetButton(6, true);
    Ticks(1);
    QCOMPARE(window_->Cfg.Map[4], 6);
  }

  void withoutJoysticksTheKeyboardRemains() {
    TDesktopInput keyboardOnly(*keyboard_);
    std::vector<TDeviceInstance> devices;
    QCOMPARE(keyboardOnly.EnumDevices(devices), DI_OK);
    QCOMPARE(devices.size(), size_t{1});
    QCOMPARE(devices[0].devType, uint32_t{kDevTypeKeyboard});
    QCOMPARE(devices[0].name, std::string("Keyboard"));
    std::unique_ptr<TInputDevice> device;
    QCOMPARE(keyboardOnly.CreateDevice(TGuid{4}, device), DIERR_DEVICENOTREG);
    QCOMPARE(keyboardOnly.CreateDevice(kSysKeyboardGuid, device), DI_OK);
    QVERIFY(device != nullptr);
  }

  void startingLeavesCtrlCAlone() {
    // SDL takes over signals that still have their default action; the test framework has its
    // own handler, so the default goes back in for the test.
    input_.reset();
    struct sigaction fallback {
    }, testHandler{}, after{};
    fallback.sa_handler = SIG_DFL;
    sigaction(SIGINT, &fallback, &testHandler);
    TDesktopInput input(*keyboard_);
    std::string reason;
    const bool started = input.Start(reason);
    sigaction(SIGINT, &testHandler, &after);
    QVERIFY(started);
    QVERIFY(after.sa_handler == SIG_DFL);
  }

  void errorTexts() {
    const auto table = ErrorDescriptions();
    QCOMPARE(table.size(), size_t{69});
    std::set<uint32_t> codes;
    for (const TErrorDescription& row : table) {
      codes.insert(row.code);
      QVERIFY(row.text != nullptr && *row.text != 0);
    }
    QCOMPARE(codes.size(), size_t{69});

    QCOMPARE(DXErrorText(static_cast<int32_t>(0x80070005), "Config: Error polling Joystick!"),
             QString("Error : -2147024891\rConfig: Error polling Joystick!\r"
                     "Another application has a higher priority level."));
    QCOMPARE(ErrorDescription(static_cast<int32_t>(0x8007000E)),
             QString("DirectDraw does not have enough memory to perform the operation."));
    QCOMPARE(ErrorDescription(static_cast<int32_t>(0x88770118)), QString("User Cancel!"));
    QCOMPARE(DXErrorText(5, "Context"), QString("Error : 5\rContext\rUnknown Error!"));

    ReportDXError(static_cast<int32_t>(0x8007001E), "Error creating Input Device!");
    QCOMPARE(host_->Messages(),
             std::vector<std::string>{"Error : -2147024866\nError creating Input Device!\n"
                                      "Access to the input device has been lost."});
  }
};

QTEST_MAIN(InputTest)
#include "InputTest.moc"
