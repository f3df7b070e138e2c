#include "debugger/TextView.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

namespace vantor::ui {

namespace {
constexpr int kRowHeight = 10;
}  // namespace

QFont TerminalFont() {
  if (QFontDatabase::families().contains(QStringLiteral("Terminal"))) {
    QFont font(QStringLiteral("Terminal"));
    font.setPixelSize(8);
    return font;
  }
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setStyleHint(QFont::Monospace);
  font.setFixedPitch(true);
  // The largest size whose lines still fit the rows.
  for (int size = 10; size > 6; --size) {
    font.setPixelSize(size);
    if (QFontMetrics(font).height() <= kRowHeight) break;
  }
  return font;
}

TTextView::TTextView(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFont(TerminalFont());
}

void TTextView::SetPage(TTextPage page) {
  page_ = std::move(page);
  update();
}

void TTextView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
  painter.setPen(Qt::red);
  painter.setFont(font());
  for (const TTextItem& item : page_)
    painter.drawText(QRect(item.x, item.y, width() - item.x, kRowHeight),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                     QString::fromStdString(item.text));
}

void TTextView::mousePressEvent(QMouseEvent* event) {
  if (pressed) pressed(event->position().toPoint().y());
}

}  // namespace vantor::ui
