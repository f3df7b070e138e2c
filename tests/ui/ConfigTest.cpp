// The configuration window and the controller configuration window on the offscreen platform,
// with devices the test makes up: the sound group's interplay, the slider, the device list,
// defaults, texts, Cancel and OK, failures of the input layer, and what is kept in the INI file.
#include <QFile>
#include <QTest>
#include <filesystem>
#include <memory>

#include "core/Engine.h"
#include "tests/support/CaptureHost.h"
#include "tests/support/FifoRescue.h"
#include "tests/support/TempDir.h"
#include "ui/Config.h"
#include "ui/DirectInput.h"
#include "ui/Settings.h"

using namespace vantor;
using namespace vantor::ui;

namespace {

const TGuid kKeyboard = {3, 3, 3};
const TGuid kPad = {4, 4, 4};
const TGuid kOtherPad = {4, 4, 5};

// Devices that read what the test sets and fail when the test says.
class TFakeInput : public TInputSystem {
 public:
  std::vector<TDeviceInstance> devices = {{kKeyboard, kDevTypeKeyboard, "Keyboard"},
                                          {{2}, kDevTypeMouse, "Mouse"},
                                          {kPad, kDevTypeJoystick, "Pad"},
                                          {kOtherPad, kDevTypeJoystick, "Other Pad"}};
  TResult enumResult = DI_OK;
  TResult createResult = DI_OK;
  TResult acquireResult = DI_OK;
  TResult readResult = DI_OK;
  TKeyStates keys{};
  int openDevices = 0;

  TResult EnumDevices(std::vector<TDeviceInstance>& listed) override {
    listed = devices;
    return enumResult;
  }
  TResult CreateDevice(const TGuid& guid, std::unique_ptr<TInputDevice>& device) override {
    if (!Succeeded(createResult)) return createResult;
    for (const TDeviceInstance& instance : devices)
      if (instance.guid == guid) {
        device = std::make_unique<TFakeDevice>(*this, instance.devType);
        return DI_OK;
      }
    return DIERR_DEVICENOTREG;
  }

 private:
  class TFakeDevice : public TInputDevice {
   public:
    TFakeDevice(TFakeInput& input, uint32_t type) : input_(input), type_(type) {
      ++input_.openDevices;
    }
    ~TFakeDevice() override { --input_.openDevices; }
    TResult GetCapabilities(TDevCaps& caps) override {
      caps = {kCapsAttached, type_};
      return DI_OK;
    }
    TResult Acquire() override { return input_.acquireResult; }
    TResult Poll() override { return DI_OK; }
    TResult GetKeyboardState(TKeyStates& state) override {
      state = input_.keys;
      return input_.readResult;
    }
    TResult GetJoystickState(TJoyState&) override { return input_.readResult; }

   private:
    TFakeInput& input_;
    uint32_t type_;
  };
};

}  // namespace

class ConfigTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<test::TempDir> dir_;
  std::unique_ptr<test::CaptureHost> host_;
  TFakeInput input_;

  QString Settings() const { return QString::fromStdString(dir_->Path() / "Vantor64.ini"); }
  void WriteSettings(const QByteArray& text) {
    QFile file(Settings());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
  }
  std::unique_ptr<TDirectInputConfig> ShownControllerWindow() {
    auto window = std::make_unique<TDirectInputConfig>(input_, Settings());
    window->show();
    return window;
  }
  static QStringList Items(const QComboBox* list) {
    QStringList items;
    for (int i = 0; i < list->count(); ++i)
      items << list->itemText(i);
    return items;
  }
  static void Choose(TDirectInputConfig& window, const QString& device) {
    window.ComboBox1->setCurrentIndex(window.ComboBox1->findText(device));
  }

 private slots:
  void init() {
    dir_ = std::make_unique<test::TempDir>();
    host_ = std::make_unique<test::CaptureHost>();
    input_ = TFakeInput();
  }
  void cleanup() {
    host_.reset();
    dir_.reset();
  }

  void configurationWindow() {
    TEngine engine;
    TConfigF config(engine, Settings());
    QCOMPARE(config.windowTitle(), QString("Configuration"));
    QCOMPARE(config.size(), QSize(204, 301));
    QCOMPARE(config.GroupBox1->title(), QString("Thread Priority"));
    QCOMPARE(config.TrackBar1->minimum(), 0);
    QCOMPARE(config.TrackBar1->maximum(), 6);
    QCOMPARE(config.TrackBar1->value(), 5);
    QCOMPARE(config.TrackBar1->tickPosition(), QSlider::TicksBelow);
    QCOMPARE(config.Label3->text(), QString("Lowest"));
    QCOMPARE(config.Label4->text(), QString("Highest"));
    QCOMPARE(config.GroupBox3->title(), QString("Sound "));
    QCOMPARE(config.GroupBox4->title(), QString("Frequency"));
    QCOMPARE(config.Hz1->text(), QString("44102 Hz"));
    QCOMPARE(config.Button1->text(), QString("Key Configuration"));

    // Key Configuration opens the controller window beside it; OK hides only this window.
    QWidget keys;
    config.SetKeyConfiguration(&keys);
    config.show();
    QTest::mouseClick(config.Button1, Qt::LeftButton);
    QVERIFY(keys.isVisible());
    QVERIFY(!keys.isModal());
    QTest::mouseClick(config.BitBtn1, Qt::LeftButton);
    QVERIFY(config.isHidden());
    QVERIFY(keys.isVisible());
  }

  void soundGroupInterplay() {
    TEngine engine;
    TConfigF config(engine, Settings());
    config.show();
    QVERIFY(!config.Enabled->isChecked() && !config.Disabled->isChecked());
    QVERIFY(!config.Hz1->isEnabled());
    QVERIFY(!config.Hz1->isChecked());
    QTest::mouseClick(config.Hz1, Qt::LeftButton);  // greyed: cannot be chosen
    QVERIFY(!config.Hz1->isChecked());

    QTest::mouseClick(config.Enabled, Qt::LeftButton);
    QVERIFY(config.Hz1->isEnabled());
    QTest::mouseClick(config.Hz1, Qt::LeftButton);
    QVERIFY(config.Hz1->isChecked());
    QVERIFY(config.Enabled->isChecked());

    // Disabled greys the frequency out but leaves it chosen; Enabled brings it back.
    QTest::mouseClick(config.Disabled, Qt::LeftButton);
    QVERIFY(config.Disabled->isChecked() && !config.Enabled->isChecked());
    QVERIFY(!config.Hz1->isEnabled());
    QVERIFY(config.Hz1->isChecked());
    QTest::mouseClick(config.Enabled, Qt::LeftButton);
    QVERIFY(!config.Disabled->isChecked());
    QVERIFY(config.Hz1->isEnabled() && config.Hz1->isChecked());
  }

  void sliderSetsThePriorityAndNothingElse() {
    TEngine engine;
    TConfigF config(engine, Settings());
    const int normal = config.NicenessAt(5);
    QCOMPARE(engine.Niceness(), normal);
    const int expected[7] = {19, 15, 10, 5, 2, 0, -5};
    for (int position = 0; position <= 6; ++position) {
      config.TrackBar1->setValue(position);
      QCOMPARE(engine.Niceness(), std::clamp(normal + expected[position], -20, 19));
    }
    QVERIFY(!config.Enabled->isChecked() && !config.Disabled->isChecked());
    QVERIFY(!config.Hz1->isEnabled() && !config.Hz1->isChecked());
    QVERIFY(!engine.Exists());
    QCOMPARE(ReadSound(Settings()).choice, TSoundChoice::None);
  }

  void choicesPersist() {
    {
      TEngine engine;
      TConfigF config(engine, Settings());
      config.show();
      config.TrackBar1->setValue(2);
      QTest::mouseClick(config.Enabled, Qt::LeftButton);
      QTest::mouseClick(config.Hz1, Qt::LeftButton);
      QTest::mouseClick(config.Disabled, Qt::LeftButton);
    }
    TEngine engine;
    TConfigF config(engine, Settings());
    QCOMPARE(config.TrackBar1->value(), 2);
    QCOMPARE(engine.Niceness(), config.NicenessAt(2));
    QVERIFY(config.Disabled->isChecked() && !config.Enabled->isChecked());
    QVERIFY(config.Hz1->isChecked() && !config.Hz1->isEnabled());
  }

  void damagedSettingsReadAsTheInitialState() {
    static const char kBinary[] = {0, '\xff', '\x13', '[', '[', '=', '\n', '=', ']'};
    for (const QByteArray& text :
         {QByteArray("[Configuration]\nThreadPriority=9\nSound=Loud\nFrequency=maybe\n"
                     "[Controller]\nDevice={04040400-0000-0000-0000-000000000000}\n"
                     "Map=x, 300, -4, 7, , 255, -3\n"),
          QByteArray("[Controller]\nDevice={not a guid}\nMap=1, 2, 3\n"),
          QByteArray::fromRawData(kBinary, sizeof kBinary), QByteArray()}) {
      WriteSettings(text);
      TEngine engine;
      TConfigF config(engine, Settings());
      QCOMPARE(config.TrackBar1->value(), 5);
      QVERIFY(!config.Enabled->isChecked() && !config.Disabled->isChecked());
      QVERIFY(!config.Hz1->isChecked());
      TDirectInputConfig window(input_, Settings());
      if (text.startsWith("[Configuration]")) {
        // Each damaged value reads as 0; the good ones stay.
        QCOMPARE(window.Cfg.DeviceGuid, kPad);
        QCOMPARE(window.Cfg.Map, (TControllerMap{0, 0, 0, 7, 0, 255, -3}));
      } else {
        // No device choice that can be read: the keyboard on its defaults.
        QCOMPARE(window.Cfg.DeviceGuid, kKeyboard);
        QCOMPARE(window.Cfg.Map, kKeyboardDefaults);
      }
    }
  }

  // The windows read the settings file while the program starts: whatever Vantor64.ini is, they
  // come up on their defaults without waiting, the user hears so once, and choices made later
  // write nothing through it.
  void hostileSettingsFilesNeverHoldTheStart() {
    const auto file = [&](const char* kind) {
      std::filesystem::create_directory(dir_->Path() / kind);
      return dir_->Path() / kind / "Vantor64.ini";
    };
    test::FifoRescue fifo(file("fifo").string());
    std::filesystem::create_symlink("/dev/zero", file("device"));
    std::filesystem::create_directory(file("folder"));
    const auto huge = file("huge");
    std::filesystem::resize_file(dir_->WriteFile("huge/Vantor64.ini", {'[', 'P', ']'}),
                                 200u << 20);  // sparse: costs no disk

    for (const char* kind : {"fifo", "device", "folder", "huge"}) {
      const QString settings =
          QString::fromStdString((dir_->Path() / kind / "Vantor64.ini").string());
      host_->Clear();
      TEngine engine;
      TConfigF config(engine, settings);
      TDirectInputConfig keys(input_, settings);
      QCOMPARE(config.TrackBar1->value(), kInitialPriority);
      QVERIFY(!config.Enabled->isChecked() && !config.Disabled->isChecked());
      QCOMPARE(keys.Cfg.Map, kKeyboardDefaults);
      QCOMPARE(host_->Messages().size(), 1u);
      QVERIFY2(QString::fromStdString(host_->Messages()[0]).startsWith(settings + " is not a "),
               host_->Messages()[0].c_str());

      config.show();
      config.TrackBar1->setValue(2);
      QTest::mouseClick(config.Enabled, Qt::LeftButton);
      keys.show();
      Choose(keys, "Keyboard");
      QTest::mouseClick(keys.Button1, Qt::LeftButton);
      QCOMPARE(host_->Messages().size(), 1u);
    }
    QVERIFY2(!fifo.Rescued(), "a window waited on the FIFO");
    QVERIFY(std::filesystem::is_symlink(file("device")));
    QVERIFY(std::filesystem::is_directory(file("folder")));
    QCOMPARE(std::filesystem::file_size(huge), 200u << 20);
  }

  void deviceListAndTexts() {
    auto window = ShownControllerWindow();
    QCOMPARE(window->windowTitle(), QString("DirectInputConfig"));
    QCOMPARE(window->GroupBox1->title(), QString(" Configure Controls "));
    QCOMPARE(window->KeyboardBox->title(), QString("Settings"));
    // Mice are never listed; a new settings file selects the keyboard on its defaults.
    QCOMPARE(Items(window->ComboBox1), QStringList({"None", "Keyboard", "Pad", "Other Pad"}));
    QCOMPARE(window->ComboBox1->currentText(), QString("Keyboard"));
    QCOMPARE(window->Cfg.Map, kKeyboardDefaults);
    QVERIFY(window->KeyboardBox->isVisible());
    QVERIFY(window->GroupBox3->isVisible());
    QVERIFY(window->GroupBox8->isHidden() && window->jsX->isHidden() && window->jsY->isHidden());
    QCOMPARE(window->kbUP->text(), QString("Button 200"));
    QCOMPARE(window->kbA->text(), QString("Button 17"));
    QCOMPARE(window->digDown->text(), QString("Button 34"));

    // Shown again, the keyboard is selected and keeps its assignment.
    window->Cfg.Map[4] = 57;
    window->hide();
    window->show();
    QCOMPARE(window->ComboBox1->currentText(), QString("Keyboard"));
    QCOMPARE(window->kbA->text(), QString("Button 57"));

    Choose(*window, "Pad");
    QCOMPARE(window->Cfg.Map, kJoystickDefaults);
    QVERIFY(window->GroupBox3->isHidden());
    QVERIFY(window->GroupBox8->isVisible() && window->jsX->isVisible() && window->jsY->isVisible());
    QCOMPARE(window->jsX->text(), QString("Axis 2"));
    QCOMPARE(window->jsY->text(), QString("Axis 1"));
    QCOMPARE(window->kbA->text(), QString("Joy17"));
    QCOMPARE(window->cbRight->text(), QString("Joy45"));

    window->Cfg.Map[5] = 3;
    Choose(*window, "None");
    QVERIFY(window->KeyboardBox->isHidden());
    QCOMPARE(window->Cfg.Map[5], 3);
    QCOMPARE(window->Cfg.DeviceGuid, TGuid{});
  }

  void selectionFollowsTheSavedDevice() {
    // Two entries with one identity: the last is selected.
    input_.devices[3].guid = kPad;
    auto window = ShownControllerWindow();
    Choose(*window, "Pad");
    window->hide();
    window->show();
    QCOMPARE(window->ComboBox1->currentIndex(), 3);

    // A device that is gone selects nothing and keeps its assignment for its return.
    window->Cfg.Map[6] = 9;
    window->hide();
    input_.devices.pop_back();
    input_.devices.pop_back();
    window->show();
    QCOMPARE(window->ComboBox1->currentIndex(), -1);
    QVERIFY(window->KeyboardBox->isHidden());
    QCOMPARE(window->Cfg.DeviceGuid, kPad);
    QCOMPARE(window->Cfg.Map[6], 9);
  }

  void cancelGoesBackToWhatTheWindowShowed() {
    auto window = ShownControllerWindow();
    Choose(*window, "None");
    QTest::mouseClick(window->Button2, Qt::LeftButton);
    QVERIFY(window->isHidden());
    QCOMPARE(window->Cfg.DeviceGuid, kKeyboard);
    QCOMPARE(window->Cfg.Map, kKeyboardDefaults);

    window->show();
    Choose(*window, "Keyboard");
    QTest::mouseClick(window->Button1, Qt::LeftButton);
    QVERIFY(window->isHidden());
    window->show();
    Choose(*window, "Pad");
    QTest::mouseClick(window->Button2, Qt::LeftButton);
    QCOMPARE(window->Cfg.DeviceGuid, kKeyboard);
    QCOMPARE(window->Cfg.Map, kKeyboardDefaults);
    // What Cancel restored is also what the next start finds.
    TDirectInputConfig next(input_, Settings());
    QCOMPARE(next.Cfg.DeviceGuid, kKeyboard);
    QCOMPARE(next.Cfg.Map, kKeyboardDefaults);
  }

  void withoutASavedChoiceTheKeyboardIsTheDevice() {
    // Nothing is written until the user chooses; "None" chosen and kept stays chosen.
    {
      TDirectInputConfig first(input_, Settings());
      QCOMPARE(first.Cfg.DeviceGuid, kKeyboard);
      QCOMPARE(first.Cfg.Map, kKeyboardDefaults);
      QVERIFY(!QFile::exists(Settings()));
      first.show();
      Choose(first, "None");
      QTest::mouseClick(first.Button1, Qt::LeftButton);
    }
    TDirectInputConfig next(input_, Settings());
    QCOMPARE(next.Cfg.DeviceGuid, TGuid{});

    // The keyboard is found wherever it is listed; with no keyboard, or no list, there is none.
    dir_ = std::make_unique<test::TempDir>();
    std::swap(input_.devices[0], input_.devices[2]);
    QCOMPARE(TDirectInputConfig(input_, Settings()).Cfg.DeviceGuid, kKeyboard);
    input_.devices.erase(input_.devices.begin() + 2);
    QCOMPARE(TDirectInputConfig(input_, Settings()).Cfg.DeviceGuid, TGuid{});
    input_ = TFakeInput();
    input_.enumResult = DIERR_INVALIDPARAM;
    QCOMPARE(TDirectInputConfig(input_, Settings()).Cfg.Map, TControllerMap{});
    QVERIFY(host_->Messages().empty());
  }

  void optionsGroup() {
    auto window = ShownControllerWindow();
    Choose(*window, "Keyboard");
    QTest::mouseClick(window->CheckBox1, Qt::LeftButton);
    QVERIFY(window->GroupBox3->isHidden());
    window->ComboBox1Change();
    QVERIFY(window->GroupBox3->isHidden());
    QTest::mouseClick(window->CheckBox1, Qt::LeftButton);
    QVERIFY(window->GroupBox3->isVisible());

    // Load Defaults: the selected device type's defaults, shown and kept.
    window->Cfg.Map[0] = 1;
    window->Cfg.Map[17] = 2;
    QTest::mouseClick(window->Button3, Qt::LeftButton);
    QCOMPARE(window->Cfg.Map, kKeyboardDefaults);
    QCOMPARE(window->kbUP->text(), QString("Button 200"));
    QCOMPARE(ReadController(Settings()).map, kKeyboardDefaults);

    // The digital pad's boxes capture nothing.
    QTest::mouseClick(window->digUP, Qt::LeftButton);
    QVERIFY(window->CaptureBox() == nullptr);
    QCOMPARE(input_.openDevices, 0);
  }

  void captureAndItsEnd() {
    auto window = ShownControllerWindow();
    Choose(*window, "Keyboard");
    QTest::mouseClick(window->kbB, Qt::LeftButton);
    QCOMPARE(window->kbB->text(), QString("Press Button!"));
    QCOMPARE(input_.openDevices, 1);
    window->CaptureTick();
    QVERIFY(window->CaptureBox() == window->kbB);

    input_.keys[45] = 0x80;
    QTRY_VERIFY(window->CaptureBox() == nullptr);  // the window's own timer takes it
    QCOMPARE(window->Cfg.Map[5], 45);
    QCOMPARE(window->kbB->text(), QString("Button 45"));
    QCOMPARE(input_.openDevices, 0);
    QCOMPARE(ReadController(Settings()).map[5], 45);

    // Closing the window cancels a capture and keeps the assignment.
    input_.keys = {};
    QTest::mouseClick(window->kbL, Qt::LeftButton);
    window->close();
    QVERIFY(window->CaptureBox() == nullptr);
    QCOMPARE(input_.openDevices, 0);
    QCOMPARE(window->kbL->text(), QString("Button 38"));
    input_.keys[2] = 0x80;
    QTest::qWait(3 * TDirectInputConfig::kCaptureIntervalMs);
    QCOMPARE(window->Cfg.Map[9], 38);
  }

  void inputFailuresShowTheBoxAndTheProgramGoesOn() {
    auto window = ShownControllerWindow();
    Choose(*window, "Keyboard");

    input_.createResult = DIERR_DEVICENOTREG;
    QTest::mouseClick(window->kbA, Qt::LeftButton);
    QCOMPARE(host_->Messages(),
             std::vector<std::string>{"Error : -2147221164\nError creating Input Device!\n"
                                      "The device or device instance is not registered with "
                                      "DirectInput."});
    QVERIFY(window->CaptureBox() == nullptr);
    QCOMPARE(window->kbA->text(), QString("Button 17"));

    host_->Clear();
    input_.createResult = DI_OK;
    input_.readResult = DIERR_GENERIC;
    input_.keys[44] = 0x80;
    QTest::mouseClick(window->kbA, Qt::LeftButton);
    window->CaptureTick();
    QCOMPARE(host_->Messages().size(), 1u);
    QVERIFY(
        host_->Messages()[0].starts_with("Error : -2147467259\nConfig: Error getting KB Input!"));
    QVERIFY(window->CaptureBox() == nullptr);
    QCOMPARE(window->Cfg.Map[4], 17);
    QCOMPARE(window->kbA->text(), QString("Button 17"));
    QCOMPARE(input_.openDevices, 0);

    // A device that goes away while it is read ends the capture quietly at the next look.
    host_->Clear();
    input_.readResult = DIERR_INPUTLOST;
    QTest::mouseClick(window->kbA, Qt::LeftButton);
    window->CaptureTick();
    QVERIFY(window->CaptureBox() == window->kbA);
    input_.acquireResult = DIERR_INPUTLOST;
    window->CaptureTick();
    QVERIFY(window->CaptureBox() == nullptr);
    QCOMPARE(window->kbA->text(), QString("Button 17"));
    QVERIFY(host_->Messages().empty());

    // A failed listing keeps what was listed and says so.
    host_->Clear();
    input_.enumResult = DIERR_GENERIC;
    window->hide();
    window->show();
    QCOMPARE(window->ComboBox1->count(), 4);
    QCOMPARE(host_->Messages().size(), 1u);
    QVERIFY(host_->Messages()[0].find("\nError Enumerating Devices!\n") != std::string::npos);
    QVERIFY(window->isVisible());
  }
};

QTEST_MAIN(ConfigTest)
#include "ConfigTest.moc"
