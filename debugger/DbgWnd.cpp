#include "debugger/DbgWnd.h"

#include <QPalette>
#include <QScrollBar>
#include <QTextBlock>
#include <QVBoxLayout>

#include "debugger/TextView.h"

namespace vantor::ui {

TDbgWnd::TDbgWnd(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("DbgWnd"));
  setWindowTitle(QStringLiteral("Debug Output"));
  setGeometry(287, 116, 465, 245);
  // Closing hides the console; it lives until the program ends and never keeps it running.
  setAttribute(Qt::WA_QuitOnClose, false);

  DbgInfo = new QPlainTextEdit(this);
  DbgInfo->setObjectName(QStringLiteral("DbgInfo"));
  DbgInfo->setFont(TextFont());
  // A record of what happened: it can be selected and copied, not changed.
  DbgInfo->setReadOnly(true);
  DbgInfo->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  QPalette colours = DbgInfo->palette();
  colours.setColor(QPalette::Base, Qt::black);
  colours.setColor(QPalette::Text, QColor(0, 255, 0));
  DbgInfo->setPalette(colours);
  DbgInfo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  DbgInfo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  DbgInfo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  DbgInfo->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  DbgInfo->setMaximumBlockCount(kMaxLines);
  DbgInfo->setUndoRedoEnabled(false);  // an undo history would keep every appended line again

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(DbgInfo);
}

void TDbgWnd::AddLines(const QStringList& lines) {
  if (lines.isEmpty()) return;
  QScrollBar* bar = DbgInfo->verticalScrollBar();
  const bool atEnd = bar->value() == bar->maximum();
  // One block per line; the very first line fills the empty block a new document starts with.
  QTextCursor cursor(DbgInfo->document());
  cursor.beginEditBlock();
  cursor.movePosition(QTextCursor::End);
  for (const QString& line : lines) {
    if (!empty_) cursor.insertBlock();
    cursor.insertText(line);
    empty_ = false;
  }
  cursor.endEditBlock();
  if (atEnd) bar->setValue(bar->maximum());
}

void TDbgWnd::ReplaceLastLine(const QString& line) {
  if (empty_) {
    AddLines({line});
    return;
  }
  QTextCursor cursor(DbgInfo->document()->lastBlock());
  cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
  cursor.insertText(line);
}

}  // namespace vantor::ui
