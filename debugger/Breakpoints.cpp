#include "debugger/Breakpoints.h"

#include <algorithm>

#include "common/HexText.h"

namespace vantor {

std::string BreakCaption(const TBreakPoint& point) {
  return point.Kind == kExecutionBreak ? "Addr of : " + Hex8(point.Addr) : std::string();
}

bool TBreakList::Add(const TBreakPoint& point) {
  if (std::find(items_.begin(), items_.end(), point) != items_.end()) return false;
  items_.push_back(point);
  return true;
}

void TBreakList::Remove(int index) {
  if (index < 0 || static_cast<size_t>(index) >= items_.size()) return;
  items_.erase(items_.begin() + index);
}

std::vector<uint32_t> TBreakList::ExecutionAddresses() const {
  std::vector<uint32_t> addresses;
  for (const TBreakPoint& point : items_)
    if (point.Kind == kExecutionBreak) addresses.push_back(point.Addr);
  return addresses;
}

}  // namespace vantor
