#include "ui/DirectInput.h"

#include <QMouseEvent>
#include <QShowEvent>
#include <QSignalBlocker>

#include "ui/DirectError.h"
#include "ui/Settings.h"

namespace vantor::ui {

namespace {

constexpr Qt::WindowFlags kFixedBorderFlags =
    Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
    Qt::WindowCloseButtonHint;

// The groups of edit boxes: a label column, then the boxes, one row every 26 pixels.
constexpr int kGroupWidth = 172;
constexpr int kLabelX = 8;
constexpr int kLabelWidth = 58;
constexpr int kEditX = 68;
constexpr int kEditWidth = 96;
constexpr int kRowHeight = 22;
constexpr int kFirstRow = 24;
constexpr int kRowStep = 26;

int RowY(int row) {
  return kFirstRow + row * kRowStep;
}

int GroupHeight(int rows) {
  return RowY(rows) + 4;
}

template <typename Control>
Control* Place(Control* control, const char* name, const QRect& bounds) {
  control->setObjectName(QString::fromLatin1(name));
  control->setGeometry(bounds);
  return control;
}

QGroupBox* Group(QWidget* parent, const char* name, const QString& title, const QRect& bounds) {
  return Place(new QGroupBox(title, parent), name, bounds);
}

}  // namespace

TEditBox::TEditBox(int tag, QWidget* parent) : QLineEdit(parent), Tag(tag) {
  setReadOnly(true);
}

void TEditBox::mousePressEvent(QMouseEvent* event) {
  QLineEdit::mousePressEvent(event);
  if (event->button() == Qt::LeftButton) emit Clicked(this);
}

TDirectInputConfig::TDirectInputConfig(TInputSystem& input, const QString& settingsFile,
                                       QWidget* parent)
    : QWidget(parent, kFixedBorderFlags), input_(input), settingsFile_(settingsFile) {
  setObjectName(QStringLiteral("DirectInputConfig"));
  setWindowTitle(QStringLiteral("DirectInputConfig"));
  setAttribute(Qt::WA_QuitOnClose, false);

  // Settings holds three columns of groups, two groups of four rows high.
  const int fourRows = GroupHeight(4);
  const int secondRowY = 20 + fourRows + 8;
  const int settingsHeight = secondRowY + fourRows + 8;
  GroupBox1 = Group(this, "GroupBox1", QStringLiteral(" Configure Controls "),
                    {8, 8, 568, 80 + settingsHeight + 10});
  GroupBox2 =
      Group(GroupBox1, "GroupBox2", QStringLiteral("Select Input Device"), {10, 20, 548, 54});
  ComboBox1 = Place(new QComboBox(GroupBox2), "ComboBox1", {10, 22, 528, 24});

  KeyboardBox =
      Group(GroupBox1, "KeyboardBox", QStringLiteral("Settings"), {10, 80, 548, settingsHeight});
  KeyboardBox->hide();
  const int left = 8, middle = left + kGroupWidth + 8, right = middle + kGroupWidth + 8;

  GroupBox3 = Group(KeyboardBox, "GroupBox3", QStringLiteral("Analog Stick"),
                    {left, 20, kGroupWidth, fourRows});
  kbUP = AddEditBox(GroupBox3, 0, "kbUP", QStringLiteral("Up "), 0);
  kbDOWN = AddEditBox(GroupBox3, 1, "kbDOWN", QStringLiteral("Down "), 1);
  kbLEFT = AddEditBox(GroupBox3, 2, "kbLEFT", QStringLiteral("Left "), 2);
  kbRIGHT = AddEditBox(GroupBox3, 3, "kbRIGHT", QStringLiteral("Right "), 3);

  // The joystick's stick group lies where the keyboard's is; its edit boxes lie over it.
  GroupBox8 = Group(KeyboardBox, "GroupBox8", QStringLiteral("Analog Stick"),
                    {left, 20, kGroupWidth, fourRows});
  Place(new QLabel(QStringLiteral("Up/Down :"), GroupBox8), "Label1",
        {kLabelX, RowY(0) + 10, 70, kRowHeight});
  Place(new QLabel(QStringLiteral("Left/Right :"), GroupBox8), "Label2",
        {kLabelX, RowY(2), 70, kRowHeight});
  jsX = Place(new TEditBox(0, KeyboardBox), "jsX",
              {left + 80, 20 + RowY(0) + 10, kEditWidth - 12, kRowHeight});
  jsY = Place(new TEditBox(2, KeyboardBox), "jsY",
              {left + 80, 20 + RowY(2), kEditWidth - 12, kRowHeight});
  GroupBox8->hide();
  jsX->hide();
  jsY->hide();

  CButtonsBox = Group(KeyboardBox, "CButtonsBox", QStringLiteral("C-Buttons"),
                      {left, secondRowY, kGroupWidth, fourRows});
  cbUp = AddEditBox(CButtonsBox, 10, "cbUp", QStringLiteral("Up "), 0);
  cbDown = AddEditBox(CButtonsBox, 11, "cbDown", QStringLiteral("Down "), 1);
  cbLeft = AddEditBox(CButtonsBox, 12, "cbLeft", QStringLiteral("Left "), 2);
  cbRight = AddEditBox(CButtonsBox, 13, "cbRight", QStringLiteral("Right "), 3);

  ButtonsBox = Group(KeyboardBox, "ButtonsBox", QStringLiteral("Buttons"),
                     {middle, 20, kGroupWidth, GroupHeight(6)});
  kbA = AddEditBox(ButtonsBox, 4, "kbA", QStringLiteral("A-Button"), 0);
  kbB = AddEditBox(ButtonsBox, 5, "kbB", QStringLiteral("B-Button"), 1);
  kbSTART = AddEditBox(ButtonsBox, 7, "kbSTART", QStringLiteral("Start"), 2);
  kbZ = AddEditBox(ButtonsBox, 6, "kbZ", QStringLiteral("Z-Button"), 3);
  kbR = AddEditBox(ButtonsBox, 8, "kbR", QStringLiteral("R-Button"), 4);
  kbL = AddEditBox(ButtonsBox, 9, "kbL", QStringLiteral("L-Button"), 5);

  DigitalPadBox = Group(KeyboardBox, "DigitalPadBox", QStringLiteral("Digital Pad"),
                        {right, 20, kGroupWidth, fourRows});
  digUP = AddEditBox(DigitalPadBox, 14, "digUP", QStringLiteral("Up "), 0);
  digLeft = AddEditBox(DigitalPadBox, 15, "digLeft", QStringLiteral("Left "), 1);
  digRight = AddEditBox(DigitalPadBox, 16, "digRight", QStringLiteral("Right "), 2);
  digDown = AddEditBox(DigitalPadBox, 17, "digDown", QStringLiteral("Down "), 3);

  OptionsBox = Group(KeyboardBox, "OptionsBox", QStringLiteral("Options"),
                     {right, secondRowY, kGroupWidth, fourRows});
  CheckBox1 = Place(new QCheckBox(QStringLiteral("Enable Joystick"), OptionsBox), "CheckBox1",
                    {kLabelX, RowY(0), 156, kRowHeight});
  CheckBox2 = Place(new QCheckBox(QStringLiteral("Rumble Pack"), OptionsBox), "CheckBox2",
                    {kLabelX, RowY(1), 156, kRowHeight});
  Button3 = Place(new QPushButton(QStringLiteral("Load Defaults"), OptionsBox), "Button3",
                  {kLabelX, RowY(2) + 8, 156, 28});

  const int buttonsY = GroupBox1->geometry().bottom() + 10;
  Button1 = Place(new QPushButton(QStringLiteral("OK"), this), "Button1", {386, buttonsY, 90, 28});
  Button2 =
      Place(new QPushButton(QStringLiteral("Cancel"), this), "Button2", {486, buttonsY, 90, 28});
  setFixedSize(584, buttonsY + 28 + 8);

  for (TEditBox* box : {kbA, kbB, kbSTART, kbZ, kbR, kbL, cbUp, cbDown, cbLeft, cbRight, kbUP,
                        kbDOWN, kbLEFT, kbRIGHT})
    connect(box, &TEditBox::Clicked, this, &TDirectInputConfig::kbClick);
  for (TEditBox* box : {jsX, jsY})
    connect(box, &TEditBox::Clicked, this, &TDirectInputConfig::jsAxClick);
  connect(ComboBox1, &QComboBox::currentIndexChanged, this, [this] {
    StopCapture();
    ComboBox1Change();
  });
  connect(CheckBox1, &QCheckBox::clicked, this, &TDirectInputConfig::CheckBox1Click);
  connect(Button3, &QPushButton::clicked, this, &TDirectInputConfig::Button3Click);
  connect(Button1, &QPushButton::clicked, this, &TDirectInputConfig::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TDirectInputConfig::Button2Click);

  captureTimer_.setSingleShot(true);
  captureTimer_.setInterval(kCaptureIntervalMs);
  connect(&captureTimer_, &QTimer::timeout, this, &TDirectInputConfig::CaptureTick);

  const TControllerSettings saved = ReadController(settingsFile_);
  if (saved.deviceSaved) {
    Cfg.DeviceGuid = saved.deviceGuid;
    Cfg.Map = saved.map;
  } else {
    ChooseKeyboard();
  }
  SavedCfg = Cfg;
}

void TDirectInputConfig::ChooseKeyboard() {
  // Without a choice of the user's the keyboard drives the controller on its default keys, so
  // that a first start has controls; a failed listing leaves no device, as the user had chosen.
  std::vector<TDeviceInstance> devices;
  if (!Succeeded(input_.EnumDevices(devices))) return;
  for (const TDeviceInstance& device : devices)
    if ((device.devType & 0xFF) == kDevTypeKeyboard) {
      Cfg.DeviceGuid = device.guid;
      LoadDefaults(Cfg, kDevTypeKeyboard);
      return;
    }
}

TEditBox* TDirectInputConfig::AddEditBox(QGroupBox* group, int tag, const char* name,
                                         const QString& label, int row) {
  auto* caption = new QLabel(label, group);
  caption->setGeometry(kLabelX, RowY(row), kLabelWidth, kRowHeight);
  return Place(new TEditBox(tag, group), name, {kEditX, RowY(row), kEditWidth, kRowHeight});
}

std::array<TEditBox*, kMapSize> TDirectInputConfig::MapBoxes() const {
  return {kbUP, kbDOWN, kbLEFT, kbRIGHT, kbA,     kbB,   kbZ,     kbSTART,  kbR,
          kbL,  cbUp,   cbDown, cbLeft,  cbRight, digUP, digLeft, digRight, digDown};
}

const TIObj* TDirectInputConfig::Selected() const {
  const int index = ComboBox1->currentIndex();
  if (index < 0 || index >= static_cast<int>(DeviceObjects.size())) return nullptr;
  return &DeviceObjects[static_cast<size_t>(index)];
}

void TDirectInputConfig::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

void TDirectInputConfig::hideEvent(QHideEvent* event) {
  // The devices are read only while the window is in front: hiding it ends a capture.
  if (CaptureBox() != nullptr) EndCapture(false);
  QWidget::hideEvent(event);
}

void TDirectInputConfig::FormShow() {
  SavedCfg = Cfg;
  const QSignalBlocker quiet(ComboBox1);
  ComboBox1->clear();
  DeviceObjects.clear();
  DeviceObjects.push_back({});
  ComboBox1->addItem(QStringLiteral("None"));

  std::vector<TDeviceInstance> devices;
  const TResult result = input_.EnumDevices(devices);
  for (const TDeviceInstance& device : devices) {
    const uint32_t type = device.devType & 0xFF;
    if (type == kDevTypeMouse) continue;
    DeviceObjects.push_back({device.guid, type});
    ComboBox1->addItem(QString::fromStdString(device.name));
  }
  if (!Succeeded(result)) ReportDXError(result, QStringLiteral("Error Enumerating Devices!"));

  int match = -1;
  for (size_t i = 0; i < DeviceObjects.size(); ++i)
    if (DeviceObjects[i].DeviceGuid == Cfg.DeviceGuid) match = static_cast<int>(i);
  ComboBox1->setCurrentIndex(match);
  ComboBox1Change();
}

void TDirectInputConfig::ComboBox1Change() {
  KeyboardBox->hide();
  const TIObj* selected = Selected();
  if (selected == nullptr) return;
  if (selected->DeviceGuid != Cfg.DeviceGuid) {
    Cfg.DeviceGuid = selected->DeviceGuid;
    LoadDefaults(Cfg, selected->DevType);
    SaveCfg();
  }

  const auto boxes = MapBoxes();
  if (selected->DevType == kDevTypeKeyboard) {
    // "Enable Joystick" keeps the keyboard's stick group hidden.
    GroupBox3->setVisible(!CheckBox1->isChecked());
    GroupBox8->hide();
    jsX->hide();
    jsY->hide();
    for (int entry = 0; entry < kMapSize; ++entry)
      boxes[entry]->setText(QStringLiteral("Button ") + QString::number(Cfg.Map[entry]));
    KeyboardBox->show();
  } else if (selected->DevType == kDevTypeJoystick) {
    GroupBox3->hide();
    GroupBox8->show();
    jsX->show();
    jsY->show();
    jsX->raise();
    jsY->raise();
    for (int entry = 4; entry < kMapSize; ++entry)
      boxes[entry]->setText(QStringLiteral("Joy") + QString::number(Cfg.Map[entry]));
    jsX->setText(QStringLiteral("Axis ") + QString::number(-static_cast<int64_t>(Cfg.Map[0])));
    jsY->setText(QStringLiteral("Axis ") + QString::number(-static_cast<int64_t>(Cfg.Map[2])));
    KeyboardBox->show();
  }
}

void TDirectInputConfig::kbClick(TEditBox* sender) {
  StartCapture(sender, TCaptureKind::Button);
}

void TDirectInputConfig::jsAxClick(TEditBox* sender) {
  StartCapture(sender, TCaptureKind::Direction);
}

void TDirectInputConfig::StartCapture(TEditBox* box, TCaptureKind kind) {
  if (CaptureBox() != nullptr) EndCapture(false);
  const TIObj* selected = Selected();
  if (selected == nullptr) return;
  TControllerCfg work = Cfg;
  work.Window = this;
  if (!OpenCaptureDevice(input_, work)) return;
  box->setText(kind == TCaptureKind::Button ? QStringLiteral("Press Button!")
                                            : QStringLiteral("Press Direction!"));
  capture_ = {box, kind, selected->DevType, std::move(work)};
  captureTimer_.start();
}

void TDirectInputConfig::CaptureTick() {
  if (CaptureBox() == nullptr) return;
  const TCapturePass pass =
      CapturePass(capture_.work, capture_.kind, capture_.devType, capture_.box->Tag);
  switch (pass.state) {
    case TCapturePass::Waiting:
      captureTimer_.start();
      break;
    case TCapturePass::Captured:
    case TCapturePass::Ended:
      EndCapture(true);
      break;
    case TCapturePass::Failed:
      // The old assignment stays; the box comes once the capture is over.
      EndCapture(false);
      ReportDXError(pass.code, QString::fromLatin1(pass.context));
      break;
  }
}

void TDirectInputConfig::EndCapture(bool keep) {
  TControllerCfg work = std::move(capture_.work);
  StopCapture();
  if (keep) {
    work.Device.reset();
    Cfg = std::move(work);
    SaveCfg();
  }
  ComboBox1Change();
}

void TDirectInputConfig::StopCapture() {
  captureTimer_.stop();
  capture_ = {};
}

void TDirectInputConfig::CheckBox1Click() {
  if (CheckBox1->isChecked()) {
    GroupBox3->hide();
    return;
  }
  const TIObj* selected = Selected();
  if (selected != nullptr && selected->DevType == kDevTypeKeyboard) GroupBox3->show();
}

void TDirectInputConfig::Button3Click() {
  StopCapture();
  const TIObj* selected = Selected();
  if (selected != nullptr && LoadDefaults(Cfg, selected->DevType)) SaveCfg();
  ComboBox1Change();
}

void TDirectInputConfig::Button1Click() {
  hide();
}

void TDirectInputConfig::Button2Click() {
  StopCapture();
  Cfg = SavedCfg;
  SaveCfg();
  hide();
}

void TDirectInputConfig::SaveCfg() {
  WriteController(settingsFile_, {true, Cfg.DeviceGuid, Cfg.Map});
}

}  // namespace vantor::ui
