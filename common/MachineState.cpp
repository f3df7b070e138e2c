#include "common/MachineState.h"

namespace vantor {

TProgramCounter PC;
uint32_t* MI_INTR = nullptr;
std::atomic<bool> RunExists{false};

}  // namespace vantor
