// The modal dialogs the windows use, behind one interface so that tests answer them instead of
// a user and no test ever waits on a modal window.
#pragma once

#include <QString>
#include <optional>

class QFileDialog;
class QWidget;

namespace vantor::ui {

class TUserDialogs {
 public:
  virtual ~TUserDialogs() = default;
  // The chosen file, or nothing when the dialog was cancelled. filter is in Qt's syntax.
  virtual std::optional<QString> ChooseOpenFile(QWidget* parent, const QString& title,
                                                const QString& folder, const QString& filter) = 0;
  virtual std::optional<QString> ChooseSaveFile(QWidget* parent, const QString& title,
                                                const QString& filter) = 0;
  // A modal error box with one OK button.
  virtual void ShowError(QWidget* parent, const QString& text) = 0;
  // A modal question with Yes and No; true for Yes. Dialogs that ask nobody answer No.
  virtual bool Ask(QWidget*, const QString&) { return false; }
};

// The real dialogs: QFileDialog and QMessageBox.
class TQtDialogs : public TUserDialogs {
 public:
  std::optional<QString> ChooseOpenFile(QWidget* parent, const QString& title,
                                        const QString& folder, const QString& filter) override;
  std::optional<QString> ChooseSaveFile(QWidget* parent, const QString& title,
                                        const QString& filter) override;
  void ShowError(QWidget* parent, const QString& text) override;
  bool Ask(QWidget* parent, const QString& text) override;
};

// Gives a file dialog room for its columns: wide enough to show name, size, type and date, the
// name taking what is left and the others as wide as their contents.
void FitFileDialog(QFileDialog& dialog);

// Shows a top-level window and brings it to the front; a hidden one first goes over `over`,
// centred on it and kept on its screen.
void ShowOver(QWidget* window, const QWidget* over);

// Converts a filter of the form "Text|*.a;*.b|Text|*.*" to Qt's "Text (*.a *.b);;Text (*)".
// "*.*" means every file, as it does on the desktop the filters were written for, and a text
// that ends in its own list of patterns in parentheses gets Qt's list in place of it.
QString QtFileFilter(const QString& pipeFilter);

}  // namespace vantor::ui
