#include "debugger/RegForm.h"

#include <QLocale>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace vantor::ui {

TRegForm::TRegForm(TMachineView& view, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint), view_(view) {
  setObjectName(QStringLiteral("RegForm"));
  setWindowTitle(QStringLiteral("r4300i Registers"));
  setAttribute(Qt::WA_QuitOnClose, false);
  move(342, 273);

  TabControl1 = new QTabBar(this);
  TabControl1->setObjectName(QStringLiteral("TabControl1"));
  for (const char* tab : {"GPR", "COP0", "COP1 - 32bit", "COP1 - 64bit"})
    TabControl1->addTab(QString::fromLatin1(tab));
  // Every tab shows whole: the window is at least as wide as the tabs need.
  TabControl1->setUsesScrollButtons(false);
  TabControl1->setElideMode(Qt::ElideNone);
  TabControl1->setCurrentIndex(kGprTab);

  PaintBox1 = new TTextView(kRegisterGrid, this);
  PaintBox1->setObjectName(QStringLiteral("PaintBox1"));

  // A fixed window as large as its tabs and its page need in the fonts it has.
  auto* layout = new QVBoxLayout(this);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->setSpacing(0);
  layout->addWidget(TabControl1);
  layout->addWidget(PaintBox1);
  PaintBox1->pressed = [this](int) { TabControl1Change(); };
  connect(TabControl1, &QTabBar::currentChanged, this, &TRegForm::TabControl1Change);
}

void TRegForm::TabControl1Change() {
  Draw(view_.Take(view_.Last().viewAddr));
}

void TRegForm::ShowRspTabs(bool shown) {
  // The tab bar changes under the drawing: its signal would draw again.
  const QSignalBlocker quiet(TabControl1);
  if (shown && TabControl1->count() == kRspTab) {
    TabControl1->addTab(QStringLiteral("RSP"));
    TabControl1->addTab(QStringLiteral("RSP VU"));
  } else if (!shown) {
    if (TabControl1->currentIndex() >= kRspTab) TabControl1->setCurrentIndex(kGprTab);
    while (TabControl1->count() > kRspTab)
      TabControl1->removeTab(TabControl1->count() - 1);
  }
}

void TRegForm::Draw(const TMachineSnapshot& shot) {
  ShowRspTabs(shot.accurate);
  const std::string point = QLocale().decimalPoint().toStdString();
  PaintBox1->SetPage(RegisterPage(shot, TabControl1->currentIndex(), point));
}

void TRegForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  TabControl1Change();
}

}  // namespace vantor::ui
