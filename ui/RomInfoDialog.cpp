#include "ui/RomInfoDialog.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QLocale>
#include <QVBoxLayout>

namespace vantor::ui {

namespace {

const char* const kCaptions[] = {"Name", "Entry point", "Country",    "Maker",  "Byte order",
                                 "Size", "Checksum 1",  "Checksum 2", "SHA-256"};

QString Hex(uint32_t value, int digits) {
  return QStringLiteral("%1").arg(value, digits, 16, QChar(u'0')).toUpper();
}

QString CodeText(uint8_t code, const QString& name) {
  const QChar letter = QChar::fromLatin1(static_cast<char>(code));
  const QString shown =
      letter.isPrint() && code < 0x80 ? QString(letter) + QStringLiteral(", ") : QString();
  return QStringLiteral("%1 (%2%3)").arg(name, shown, Hex(code, 2));
}

}  // namespace

TRomInfoDialog::TRomInfoDialog(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("RomInfo"));
  setWindowTitle(QStringLiteral("Rom Info"));
  auto* form = new QFormLayout;
  const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  for (const char* caption : kCaptions) {
    auto* field = new QLabel(this);
    field->setObjectName(QString::fromLatin1(caption));
    field->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    if (QLatin1String(caption) == QLatin1String("SHA-256")) field->setFont(fixed);
    fields_.insert(QString::fromLatin1(caption), field);
    form->addRow(QString::fromLatin1(caption) + ':', field);
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::hide);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);
}

void TRomInfoDialog::ShowRom(const TRomFacts& facts, const TRomStream& hostWords) {
  const auto set = [this](const char* caption, const QString& text) {
    fields_.value(QString::fromLatin1(caption))->setText(text);
  };
  set("Name", facts.name);
  set("Entry point", Hex(facts.entryPoint, 8));
  set("Country", CodeText(facts.country, facts.countryName));
  set("Maker", CodeText(facts.maker, facts.makerName));
  set("Byte order", ByteOrderText(facts.order));
  set("Size", QStringLiteral("%1 bytes (%2)")
                  .arg(QLocale::c().toString(static_cast<qulonglong>(facts.size)),
                       QLocale::c().formattedDataSize(static_cast<qint64>(facts.size), 1,
                                                      QLocale::DataSizeTraditionalFormat)));
  set("Checksum 1", Hex(facts.crc1, 8));
  set("Checksum 2", Hex(facts.crc2, 8));
  set("SHA-256", QString::fromLatin1(ImageSha256(hostWords).toHex()));
  adjustSize();
  show();
  raise();
  activateWindow();
}

QString TRomInfoDialog::Field(const QString& caption) const {
  const QLabel* field = fields_.value(caption);
  return field == nullptr ? QString() : field->text();
}

}  // namespace vantor::ui
