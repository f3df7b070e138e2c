#include "ui/Dialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>

namespace vantor::ui {

std::optional<QString> TQtDialogs::ChooseOpenFile(QWidget* parent, const QString& title,
                                                  const QString& folder, const QString& filter) {
  const QString file = QFileDialog::getOpenFileName(parent, title, folder, filter);
  if (file.isEmpty()) return std::nullopt;
  return file;
}

std::optional<QString> TQtDialogs::ChooseSaveFile(QWidget* parent, const QString& filter) {
  const QString file = QFileDialog::getSaveFileName(parent, QString(), QString(), filter);
  if (file.isEmpty()) return std::nullopt;
  return file;
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
