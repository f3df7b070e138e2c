#include "ui/StateSlots.h"

#include <QDir>
#include <cstring>

namespace vantor::ui {

QString StatesFolder() {
  QString data = qEnvironmentVariable("XDG_DATA_HOME");
  // The base directory specification ignores a relative path.
  if (data.isEmpty() || QDir::isRelativePath(data))
    data = QDir::homePath() + QStringLiteral("/.local/share");
  return data + QStringLiteral("/Vantor64/states");
}

QString SlotFileName(const TStateIdentity& rom, int slot) {
  const QString name =
      QString::fromLatin1(rom.RomName.data(),
                          static_cast<qsizetype>(strnlen(rom.RomName.data(), rom.RomName.size())))
          .trimmed();
  QString safe;
  for (const QChar c : name) {
    const bool plain = (c.isLetterOrNumber() && c.unicode() < 128) || c == u'-' || c == u'_';
    safe += plain ? c : QChar(u'_');
  }
  if (safe.isEmpty()) safe = QStringLiteral("ROM");
  return safe + u'-' + QString::fromStdString(Sha256Hex(rom.RomHash)).left(16) +
         QStringLiteral(".st") + QString::number(slot);
}

}  // namespace vantor::ui
