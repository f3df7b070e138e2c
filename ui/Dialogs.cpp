#include "ui/Dialogs.h"

#include <QFileDialog>
#include <QHeaderView>
#include <QMessageBox>
#include <QScreen>
#include <QStringList>
#include <QTreeView>
#include <algorithm>

namespace vantor::ui {

namespace {

constexpr QSize kFileDialogSize(780, 460);

std::optional<QString> ChooseFile(QWidget* parent, const QString& title, const QString& folder,
                                  const QString& filter, QFileDialog::AcceptMode mode) {
  // Qt's own dialog, whose columns can be given their room.
  QFileDialog dialog(parent, title, folder, filter);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setAcceptMode(mode);
  dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                     : QFileDialog::AnyFile);
  FitFileDialog(dialog);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  const QString file = dialog.selectedFiles().first();
  if (file.isEmpty()) return std::nullopt;
  return file;
}

}  // namespace

void FitFileDialog(QFileDialog& dialog) {
  dialog.resize(dialog.size().expandedTo(kFileDialogSize));
  for (QTreeView* details : dialog.findChildren<QTreeView*>()) {
    QHeaderView* header = details->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(QHeaderView::ResizeToContents);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
  }
}

void ShowOver(QWidget* window, const QWidget* over) {
  if (!window->isVisible() && over != nullptr) {
    QRect place(QPoint(0, 0), window->frameGeometry().size());
    place.moveCenter(over->frameGeometry().center());
    if (const QScreen* screen = over->screen()) {
      const QRect room = screen->availableGeometry();
      place.moveRight(std::min(place.right(), room.right()));
      place.moveBottom(std::min(place.bottom(), room.bottom()));
      place.moveLeft(std::max(place.left(), room.left()));
      place.moveTop(std::max(place.top(), room.top()));
    }
    window->move(place.topLeft());
  }
  window->show();
  window->raise();
}

std::optional<QString> TQtDialogs::ChooseOpenFile(QWidget* parent, const QString& title,
                                                  const QString& folder, const QString& filter) {
  return ChooseFile(parent, title, folder, filter, QFileDialog::AcceptOpen);
}

std::optional<QString> TQtDialogs::ChooseSaveFile(QWidget* parent, const QString& title,
                                                  const QString& filter) {
  return ChooseFile(parent, title, QString(), filter, QFileDialog::AcceptSave);
}

void TQtDialogs::ShowError(QWidget* parent, const QString& text) {
  QMessageBox::critical(parent, QStringLiteral("Error"), text, QMessageBox::Ok);
}

bool TQtDialogs::Ask(QWidget* parent, const QString& text) {
  return QMessageBox::question(parent, QStringLiteral("Vantor64"), text,
                               QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

QString QtFileFilter(const QString& pipeFilter) {
  const QStringList parts = pipeFilter.split('|');
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QStringList patterns = parts[i + 1].split(';', Qt::SkipEmptyParts);
    for (QString& pattern : patterns)
      if (pattern == QStringLiteral("*.*")) pattern = QStringLiteral("*");
    // A caption that lists its patterns itself ("Text (*.a, *.b)") shows Qt's list instead.
    QString caption = parts[i];
    const qsizetype open = caption.lastIndexOf(QStringLiteral(" ("));
    if (open >= 0 && caption.endsWith(')')) caption.truncate(open);
    filters << caption + QStringLiteral(" (") + patterns.join(' ') + QStringLiteral(")");
  }
  return filters.join(QStringLiteral(";;"));
}

}  // namespace vantor::ui
