#include "debugger/TextView.h"

#include <QEvent>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace vantor::ui {

namespace {
// Black space around the grid, so no text touches the area's edge.
constexpr int kMargin = 3;
}  // namespace

QFont TextFont() {
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setStyleHint(QFont::Monospace);
  font.setFixedPitch(true);
  const QFont general = QGuiApplication::font();
  if (font.pointSizeF() > 0 && general.pointSizeF() > font.pointSizeF())
    font.setPointSizeF(general.pointSizeF());
  return font;
}

TTextView::TTextView(TPageGrid grid, QWidget* parent) : QWidget(parent), grid_(grid) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFont(TextFont());
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  Measure();
}

void TTextView::Measure() {
  // The widest character the pages use, so a fixed-pitch font that is not quite fixed still fits.
  const QFontMetricsF metrics(font());
  cellWidth_ = 0;
  for (const char c : std::string_view("0123456789ABCDEFXW(*-:,.>"))
    cellWidth_ = std::max(cellWidth_, metrics.horizontalAdvance(QLatin1Char(c)));
  rowHeight_ = QFontMetrics(font()).lineSpacing();
}

int TTextView::RowTop(int row) const {
  return kMargin + row * rowHeight_;
}

QRectF TTextView::TextRect(const TTextItem& item) const {
  const QFontMetricsF metrics(font());
  const double x = kMargin + item.x * cellWidth_ / kCellWidth;
  return {x, double(RowTop(item.y / kRowHeight)),
          metrics.horizontalAdvance(QString::fromStdString(item.text)), double(rowHeight_)};
}

QSize TTextView::sizeHint() const {
  return {2 * kMargin + static_cast<int>(std::ceil(grid_.columns * cellWidth_)),
          2 * kMargin + grid_.rows * rowHeight_};
}

void TTextView::SetPage(TTextPage page) {
  page_ = std::move(page);
  update();
}

void TTextView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
  painter.setFont(font());
  for (const TTextItem& item : page_) {
    painter.setPen(item.tone == TTextTone::Break ? Qt::yellow : Qt::red);
    painter.drawText(TextRect(item), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     QString::fromStdString(item.text));
  }
}

void TTextView::mousePressEvent(QMouseEvent* event) {
  if (!pressed) return;
  const int y = static_cast<int>(event->position().y()) - kMargin;
  const int row = std::clamp(y < 0 ? 0 : y / rowHeight_, 0, grid_.rows - 1);
  pressed(row * kRowHeight);
}

void TTextView::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() != QEvent::FontChange) return;
  Measure();
  updateGeometry();
}

}  // namespace vantor::ui
