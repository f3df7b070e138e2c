#include "core/Cpu.h"

#include "core/Transfer.h"

namespace vantor {

uint64_t Gpr[32];
const uint32_t* InstrPtr;
uint32_t BranchState;
uint32_t BranchTarget;
uint64_t MulDivTemp;
uint32_t Cop0Regs[32];
uint32_t Cop1Regs[32];
int32_t ViCounter;

namespace {
constexpr uint32_t kResetVector = 0xA4000040;
}  // namespace

void CpuReset() {
  for (int i = 0; i < 32; ++i) {
    Gpr[i] = 0;
    Cop0Regs[i] = 0;
    Cop1Regs[i] = 0;
  }
  Gpr[20] = 1;
  Gpr[22] = 0x3F;
  Gpr[29] = 0xFFFFFFFF'A4001FF0;
  PC = {kResetVector, 0xFFFFFFFF};
  SetInstrPtr(kResetVector);
  Cop0Regs[CONFIG] = 0x0006E463;
  Cop0Regs[STATUS] = 0x34000000;
  Cop0Regs[PREVID] = 0x00000B00;
  Cop0Regs[RANDOM] = 31;
  BranchState = kBranchNone;
  ViCounter = FramePeriod;
}

void EnterException(uint32_t code) {
  Cop0Regs[STATUS] |= kStatusEXL;
  Cop0Regs[CAUSE] = (Cop0Regs[CAUSE] & 0xFFFFFF83) | (code << 2);
  switch (BranchState) {
    case kBranchNone:
      Cop0Regs[CAUSE] &= ~kCauseBD;
      Cop0Regs[EPC] = PC.Lo + 4;
      break;
    case kBranchDelayed:
      // Returning re-executes the branch, then its delay slot.
      Cop0Regs[CAUSE] |= kCauseBD;
      Cop0Regs[EPC] = PC.Lo;
      break;
    default:
      Cop0Regs[CAUSE] &= ~kCauseBD;
      Cop0Regs[EPC] = BranchTarget;
      break;
  }
  PostImmediateTransfer(kExceptionVector);
  --ViCounter;
}

}  // namespace vantor
