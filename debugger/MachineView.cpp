#include "debugger/MachineView.h"

namespace vantor {

const TMachineSnapshot& TMachineView::Take(uint32_t viewAddr) {
  TMachineSnapshot shot;
  if (engine_.Inspect([&] { shot = TakeSnapshot(viewAddr); }, TimeoutMs)) last_ = shot;
  return last_;
}

}  // namespace vantor
