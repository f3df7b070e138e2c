#include "ui/Config.h"

#include <QSignalBlocker>
#include <QStyle>
#include <algorithm>

#include "core/Engine.h"
#include "ui/Dialogs.h"
#include "ui/Settings.h"

namespace vantor::ui {

namespace {

constexpr Qt::WindowFlags kDialogBorderFlags = Qt::Dialog | Qt::CustomizeWindowHint |
                                               Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                               Qt::WindowCloseButtonHint;

template <typename Control>
Control* Place(Control* control, const char* name, const QRect& bounds) {
  control->setObjectName(QString::fromLatin1(name));
  control->setGeometry(bounds);
  return control;
}

}  // namespace

TConfigF::TConfigF(TEngine& engine, const QString& settingsFile, QWidget* parent)
    : QWidget(parent, kDialogBorderFlags), engine_(engine), settingsFile_(settingsFile) {
  setObjectName(QStringLiteral("ConfigF"));
  setWindowTitle(QStringLiteral("Configuration"));
  setAttribute(Qt::WA_QuitOnClose, false);
  setFixedSize(204, 301);

  GroupBox1 =
      Place(new QGroupBox(QStringLiteral("Thread Priority"), this), "GroupBox1", {8, 8, 188, 92});
  TrackBar1 = Place(new QSlider(Qt::Horizontal, GroupBox1), "TrackBar1", {8, 24, 172, 32});
  TrackBar1->setRange(0, 6);
  TrackBar1->setSingleStep(1);
  TrackBar1->setPageStep(1);
  TrackBar1->setTickInterval(1);
  TrackBar1->setTickPosition(QSlider::TicksBelow);
  TrackBar1->setValue(5);
  Label3 = Place(new QLabel(QStringLiteral("Lowest"), GroupBox1), "Label3", {8, 62, 80, 18});
  Label4 = Place(new QLabel(QStringLiteral("Highest"), GroupBox1), "Label4", {100, 62, 80, 18});
  Label4->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

  GroupBox3 = Place(new QGroupBox(QStringLiteral("Sound "), this), "GroupBox3", {8, 108, 188, 112});
  Enabled =
      Place(new QRadioButton(QStringLiteral("Enabled"), GroupBox3), "Enabled", {10, 24, 84, 20});
  Disabled =
      Place(new QRadioButton(QStringLiteral("Disabled"), GroupBox3), "Disabled", {98, 24, 84, 20});
  GroupBox4 =
      Place(new QGroupBox(QStringLiteral("Frequency"), GroupBox3), "GroupBox4", {8, 52, 172, 52});
  Hz1 = Place(new QRadioButton(QStringLiteral("44102 Hz"), GroupBox4), "Hz1", {10, 24, 150, 20});
  Hz1->setEnabled(false);

  Button1 = Place(new QPushButton(QStringLiteral("Key Configuration"), this), "Button1",
                  {8, 228, 188, 28});
  BitBtn1 = Place(
      new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("OK"), this),
      "BitBtn1", {57, 264, 90, 28});

  connect(Enabled, &QRadioButton::clicked, this, &TConfigF::EnabledClick);
  connect(Disabled, &QRadioButton::clicked, this, &TConfigF::DisabledClick);
  connect(Hz1, &QRadioButton::clicked, this, &TConfigF::Hz1Click);
  connect(Button1, &QPushButton::clicked, this, &TConfigF::Button1Click);
  connect(BitBtn1, &QPushButton::clicked, this, &TConfigF::BitBtn1Click);
  connect(TrackBar1, &QSlider::valueChanged, this, &TConfigF::TrackBar1Change);
  FormCreate();
}

int TConfigF::NicenessAt(int position) const {
  const auto index = static_cast<size_t>(std::clamp(position, 0, 6));
  return std::clamp(engine_.NormalNiceness() + kNiceOfPosition[index], -20, 19);
}

void TConfigF::FormCreate() {
  {
    const QSignalBlocker quiet(TrackBar1);
    TrackBar1->setValue(ReadThreadPriority(settingsFile_));
  }
  engine_.SetNiceness(NicenessAt(TrackBar1->value()));

  const TSoundSettings sound = ReadSound(settingsFile_);
  if (sound.choice == TSoundChoice::Enabled) Enabled->setChecked(true);
  if (sound.choice == TSoundChoice::Disabled) Disabled->setChecked(true);
  Hz1->setEnabled(Enabled->isChecked());
  Hz1->setChecked(sound.frequency);
}

void TConfigF::EnabledClick() {
  if (Enabled->isChecked()) Hz1->setEnabled(true);
  SaveSound();
}

void TConfigF::DisabledClick() {
  if (Disabled->isChecked()) Hz1->setEnabled(false);
  SaveSound();
}

void TConfigF::Hz1Click() {
  if (Hz1->isChecked()) {
    Enabled->setChecked(true);
    EnabledClick();
  }
  SaveSound();
}

void TConfigF::Button1Click() {
  if (keyConfiguration_ != nullptr) ShowOver(keyConfiguration_, this);
}

void TConfigF::BitBtn1Click() {
  hide();
}

void TConfigF::TrackBar1Change() {
  engine_.SetNiceness(NicenessAt(TrackBar1->value()));
  WriteThreadPriority(settingsFile_, TrackBar1->value());
}

void TConfigF::SaveSound() {
  TSoundSettings sound;
  if (Enabled->isChecked()) sound.choice = TSoundChoice::Enabled;
  if (Disabled->isChecked()) sound.choice = TSoundChoice::Disabled;
  sound.frequency = Hz1->isChecked();
  WriteSound(settingsFile_, sound);
  emit SoundChanged();
}

}  // namespace vantor::ui
