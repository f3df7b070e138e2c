#include "ui/Credits.h"

#include <QVBoxLayout>

#include "ui/JpegImage.h"

namespace vantor::ui {

namespace {

constexpr const char* kCreditLines =
    "Vantor64 is written by the Vantor64 team.\n"
    "Processor, memory and video: the core team\n"
    "Desktop windows and debugger: the front-end team\n"
    "Pictures drawn by our own script";

constexpr const char* kAboutText =
    "Vantor64 emulates the Nintendo 64's r4300i processor with its system control and "
    "floating-point coprocessors, maps the console's memory and peripheral registers, and "
    "hands each video frame to a renderer plug-in that draws it into the main window.\n\n"
    "It does not emulate the signal or display processors, sound or controllers yet: it is a "
    "tool for running and studying small programs written for the console.\n\n"
    "Load a ROM image with File > Load ROM..., start it with F5, pause it with F6 and restart "
    "it with F7. Options > View Debugger opens the debug console.";

}  // namespace

TCredits::TCredits(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("Credits"));
  setWindowTitle(QStringLiteral("About Vantor64"));
  setAttribute(Qt::WA_QuitOnClose, false);
  QPalette colours = palette();
  colours.setColor(QPalette::Window, Qt::black);
  colours.setColor(QPalette::WindowText, Qt::white);
  colours.setColor(QPalette::Base, Qt::black);
  colours.setColor(QPalette::Text, QColor(0xc0, 0xc0, 0xc0));
  setPalette(colours);
  setAutoFillBackground(true);

  Image1 = new QLabel(this);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->setPixmap(
      QPixmap::fromImage(LoadPicture(QStringLiteral(":/assets/about.jpg"), QSize(340, 110))));
  Image1->setAlignment(Qt::AlignCenter);

  CreditLines = new QLabel(QString::fromLatin1(kCreditLines), this);
  CreditLines->setObjectName(QStringLiteral("CreditLines"));
  CreditLines->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  CreditLines->setAlignment(Qt::AlignCenter);

  Memo1 = new QPlainTextEdit(QString::fromLatin1(kAboutText), this);
  Memo1->setObjectName(QStringLiteral("Memo1"));
  Memo1->setReadOnly(true);

  ProductLine = new QLabel(QStringLiteral("Vantor64 v0.25"), this);
  ProductLine->setObjectName(QStringLiteral("ProductLine"));
  ProductLine->setFrameStyle(QFrame::Panel | QFrame::Raised);
  ProductLine->setAlignment(Qt::AlignCenter);
  QFont bold = ProductLine->font();
  bold.setBold(true);
  ProductLine->setFont(bold);

  Button1 = new QPushButton(QStringLiteral("Close"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  connect(Button1, &QPushButton::clicked, this, &TCredits::Button1Click);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Image1);
  layout->addWidget(CreditLines);
  layout->addWidget(Memo1, 1);
  layout->addWidget(ProductLine);
  layout->addWidget(Button1, 0, Qt::AlignHCenter);
  resize(370, 440);
}

void TCredits::Button1Click() {
  hide();
}

}  // namespace vantor::ui
