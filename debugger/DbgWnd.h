// The debug console window: the program's one log, a black text area with lime lines.
#pragma once

#include <QPlainTextEdit>
#include <QStringList>
#include <QWidget>

namespace vantor::ui {

class TDbgWnd : public QWidget {
  Q_OBJECT

 public:
  // Lines kept before the oldest go: a flooding ROM slows down but cannot exhaust memory.
  static constexpr int kMaxLines = 200000;

  explicit TDbgWnd(QWidget* parent = nullptr);

  // Appends each text as one new last line, unaltered; also while the window is hidden.
  void AddLines(const QStringList& lines);
  // Replaces the text of the last line (appends it to an empty console).
  void ReplaceLastLine(const QString& line);

  QPlainTextEdit* DbgInfo;

 private:
  bool empty_ = true;
};

}  // namespace vantor::ui
