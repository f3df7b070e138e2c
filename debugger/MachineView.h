// Where the debugger's windows get the machine from: a snapshot the emulation thread copies out
// between two steps, or one read here while no run exists.
#pragma once

#include <cstdint>

#include "core/Engine.h"
#include "debugger/MachineSnapshot.h"

namespace vantor {

class TMachineView {
 public:
  explicit TMachineView(TEngine& engine) : engine_(engine) {}

  // A fresh snapshot with the view's words from viewAddr - 64 on; when the run does not answer
  // in time (a message box may hold it), the last one, so a window never waits long.
  const TMachineSnapshot& Take(uint32_t viewAddr);
  const TMachineSnapshot& Last() const { return last_; }
  TEngine& Engine() { return engine_; }

  // How long Take waits for a running thread.
  int TimeoutMs = 500;

 private:
  TEngine& engine_;
  TMachineSnapshot last_ = {};
};

}  // namespace vantor
