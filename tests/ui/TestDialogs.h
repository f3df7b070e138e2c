// Dialog answers given by the test instead of a user, and what the windows asked.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

#include "ui/Dialogs.h"

namespace vantor::test {

class TTestDialogs : public ui::TUserDialogs {
 public:
  std::optional<QString> ChooseOpenFile(QWidget*, const QString& title, const QString& folder,
                                        const QString& filter) override {
    openTitle = title;
    openFolder = folder;
    openFilter = filter;
    return Next();
  }
  std::optional<QString> ChooseSaveFile(QWidget*, const QString& title,
                                        const QString& filter) override {
    saveTitle = title;
    saveFilter = filter;
    return Next();
  }
  void ShowError(QWidget*, const QString& text) override { errors << text; }
  bool Ask(QWidget*, const QString& text) override {
    questions << text;
    return answerYes;
  }

  // The next file dialogs' answers; a null string (or none left) means Cancel.
  QStringList answers;
  QString openTitle, openFolder, openFilter, saveTitle, saveFilter;
  QStringList errors;
  QStringList questions;
  bool answerYes = true;

 private:
  std::optional<QString> Next() {
    const QString answer = answers.isEmpty() ? QString() : answers.takeFirst();
    if (answer.isNull()) return std::nullopt;
    return answer;
  }
};

}  // namespace vantor::test
