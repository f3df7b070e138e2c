// The "Rom Info" window: what the loaded ROM's header and file say, one field per line.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QMap>

#include "ui/RomInfo.h"

namespace vantor::ui {

class TRomInfoDialog : public QDialog {
  Q_OBJECT

 public:
  explicit TRomInfoDialog(QWidget* parent = nullptr);

  // Fills the fields and shows the window, not modal. hostWords is the image for its SHA-256.
  void ShowRom(const TRomFacts& facts, const TRomStream& hostWords);

  // A field's text by its caption ("Name", "SHA-256", ...).
  QString Field(const QString& caption) const;

 private:
  QMap<QString, QLabel*> fields_;
};

}  // namespace vantor::ui
