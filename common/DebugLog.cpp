#include "common/DebugLog.h"

#include "common/Host.h"

namespace vantor {

// No lock here: the host's sink may block while its bounded queue is full, and holding a lock of
// ours across that would stall the other thread's appends.
void DbgAddLine(std::string_view line) {
  if (THost* host = CurrentHost()) host->LogLine(line);
}

void DbgEndRepeats() {
  if (THost* host = CurrentHost()) host->EndRepeats();
}

}  // namespace vantor
