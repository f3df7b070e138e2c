// The machine as each fuzz input finds it: what a start of emulation sets up, with the state a
// start keeps from earlier runs (TLB, floating-point control, dummy page) cleared as well, so that
// an input runs the same way every time.
#pragma once

#include <cstdint>

namespace vantor::fuzz {

// A start of emulation: the map built anew from the current ROM image, the processor reset.
void StartRun();

// The same state, put back from a copy taken at the first call: every storage page the map
// reaches and, after a TLB write (the one instruction that changes them), the three tables.
// Far cheaper than rebuilding 2^20 table entries under the sanitizers; the ROM image must not
// change between calls.
void RestartRun();

// After RestartRun: the same machine in the accurate-hardware mode, as a run started in it (its
// clock reset, its reset applied). Its register pages join the map, so the next RestartRun puts
// the three tables back; EndAccurateRun returns the mode to the default.
void StartAccurateRun();
void EndAccurateRun();

}  // namespace vantor::fuzz
