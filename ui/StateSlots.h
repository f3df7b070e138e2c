// Where the desktop program keeps save states: $XDG_DATA_HOME/Vantor64/states (by default
// ~/.local/share/Vantor64/states), one file per ROM and quick slot.
#pragma once

#include <QString>

#include "common/StateFile.h"

namespace vantor::ui {

QString StatesFolder();

// "<ROM name>-<first 16 hex digits of its hash>.st<slot>", the name cut at its first zero byte,
// trimmed and with every character but letters, digits, '-' and '_' replaced by '_'.
QString SlotFileName(const TStateIdentity& rom, int slot);

}  // namespace vantor::ui
