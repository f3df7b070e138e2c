#include "debugger/RegForm.h"

#include <QLocale>

namespace vantor::ui {

TRegForm::TRegForm(TMachineView& view, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint), view_(view) {
  setObjectName(QStringLiteral("RegForm"));
  setWindowTitle(QStringLiteral("r4300i Registers"));
  setAttribute(Qt::WA_QuitOnClose, false);
  move(342, 273);
  setFixedSize(268, 383);

  TabControl1 = new QTabBar(this);
  TabControl1->setObjectName(QStringLiteral("TabControl1"));
  for (const char* tab : {"GPR", "COP0", "COP1 - 32bit", "COP1 - 64bit"})
    TabControl1->addTab(QString::fromLatin1(tab));
  TabControl1->setGeometry(0, 0, 268, 24);
  TabControl1->setCurrentIndex(kGprTab);

  PaintBox1 = new TTextView(this);
  PaintBox1->setObjectName(QStringLiteral("PaintBox1"));
  PaintBox1->setGeometry(4, 24, 260, 355);
  PaintBox1->pressed = [this](int) { TabControl1Change(); };
  connect(TabControl1, &QTabBar::currentChanged, this, &TRegForm::TabControl1Change);
}

void TRegForm::TabControl1Change() {
  Draw(view_.Take(view_.Last().viewAddr));
}

void TRegForm::Draw(const TMachineSnapshot& shot) {
  const std::string point = QLocale().decimalPoint().toStdString();
  PaintBox1->SetPage(RegisterPage(shot, TabControl1->currentIndex(), point));
}

void TRegForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  TabControl1Change();
}

}  // namespace vantor::ui
