// TCredits: the about window, opened by Help > Vantor Team.
#pragma once

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QWidget>

namespace vantor::ui {

class TCredits : public QWidget {
  Q_OBJECT

 public:
  explicit TCredits(QWidget* parent = nullptr);

  void Button1Click();  // Close: hides the window

  QLabel* Image1;
  QLabel* CreditLines;
  QPlainTextEdit* Memo1;
  QLabel* ProductLine;
  QPushButton* Button1;
};

}  // namespace vantor::ui
