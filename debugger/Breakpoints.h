// The debugger's breakpoint list: entries in the order they were added, no two alike.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vantor {

struct TBreakPoint {
  uint32_t Param = 0;  // compared by the duplicate test; the debugger never sets it
  uint32_t Addr = 0;
  uint8_t Kind = 0;  // 0: stop before executing the instruction at Addr
  bool operator==(const TBreakPoint&) const = default;
};

inline constexpr uint8_t kExecutionBreak = 0;

// "Addr of : " and the address for an execution breakpoint; empty for any other kind.
std::string BreakCaption(const TBreakPoint& point);

class TBreakList {
 public:
  // False, and the list unchanged, when an entry of the same kind, address and parameter exists.
  bool Add(const TBreakPoint& point);
  // Removes the entry at an index; an index out of range removes nothing.
  void Remove(int index);
  const std::vector<TBreakPoint>& Items() const { return items_; }
  // The addresses the emulation thread stops before.
  std::vector<uint32_t> ExecutionAddresses() const;

 private:
  std::vector<TBreakPoint> items_;
};

}  // namespace vantor
