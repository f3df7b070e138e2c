// Random programs through the exact step: a page of instruction words, partly raw and partly
// built from templates biased toward what reaches the edges of the machine (accesses near page
// ends and in every register range, unaligned and partial-word accesses, jumps to odd
// addresses, TLB writes, exception returns, DMA, COP0 and COP1), run for a bounded number of
// steps from registers that point at those places; one input in eight on the accurate machine.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "core/Cpu.h"
#include "core/CpuState.h"
#include "core/RegisterAccess.h"
#include "memory/AddressMap.h"
#include "memory/RomImage.h"
#include "tests/fuzz/FuzzInput.h"
#include "tests/fuzz/FuzzMachine.h"

namespace {

using namespace vantor;

constexpr uint32_t kProgram = 0x80001000;      // the page the program is written to
constexpr uint32_t kDmemTail = 0xA4000F00;     // its first words again, running into IMEM
constexpr uint32_t kMaxWords = kPageSize / 4;  // one page
constexpr uint32_t kDmemWords = 0x40;
constexpr size_t kCartridgeBytes = 0x10000;

// Where the seeded registers point: every kind of page, the ends of blocks, the TLB's range.
constexpr uint32_t kBases[] = {
    0x80000000, 0x80001000, 0x803FF000, 0xA0000000, 0xA3F00000, 0xA4000000, 0xA4001000, 0xA4040000,
    0xA4080000, 0xA4300000, 0xA4400000, 0xA4500000, 0xA4600000, 0xA4700000, 0xA4800000, 0xB0000000,
    0xBFC00000, 0x00000000, 0x00400000, 0x7FFFF000, 0xC0000000, 0xFFFFF000, 0x84000000, 0x90000000,
};

// Primary opcodes of the loads and stores, partial-word and double-word ones included.
constexpr uint32_t kMemoryOps[] = {32, 33, 34, 35, 36, 37, 38, 39, 40, 41,
                                   42, 43, 46, 47, 49, 53, 55, 57, 63};

using fuzz::TInput;

// An address near one of the bases: a small aligned offset, or one of the last 16 bytes of a page.
uint32_t Address(TInput& in) {
  const uint32_t base = kBases[in.Byte() % std::size(kBases)];
  const uint8_t offset = in.Byte();
  return base + ((offset & 0x80) != 0 ? 0xFF0u + (offset & 0xF) : (offset & 0x7Fu) * 4);
}

constexpr uint32_t Register(uint8_t byte) {
  return 1 + byte % 31;
}

constexpr uint32_t IForm(uint32_t op, uint32_t rs, uint32_t rt, uint32_t imm) {
  return op << 26 | rs << 21 | rt << 16 | (imm & 0xFFFF);
}

// An offset that keeps the access on its page or moves it near the page's end.
uint32_t Offset(TInput& in) {
  const uint8_t byte = in.Byte();
  return (byte & 0x80) != 0 ? 0xFF0u + (byte & 0xF) : byte & 0x7F;
}

uint32_t Instruction(TInput& in, uint32_t index) {
  const uint8_t kind = in.Byte();
  switch (kind % 12) {
    case 0:
    case 1:
    case 2:  // anything at all
      return in.Word();
    case 3:
    case 4:
    case 5: {  // a load or store from a seeded register
      const uint32_t op = kMemoryOps[in.Byte() % std::size(kMemoryOps)];
      return IForm(op, Register(in.Byte()), Register(in.Byte()), Offset(in));
    }
    case 6: {  // jumps through registers, which may hold odd addresses
      const uint32_t rs = Register(in.Byte());
      return (in.Byte() & 1) != 0 ? rs << 21 | 8 : rs << 21 | Register(in.Byte()) << 11 | 9;
    }
    case 7: {  // a branch or jump inside the program
      const uint8_t which = in.Byte();
      const uint32_t target = in.Byte() % kMaxWords;
      if (which < 32) return (which & 1 ? 3u : 2u) << 26 | (kProgram + 4 * target) >> 2;
      const auto offset =
          static_cast<uint32_t>(static_cast<int32_t>(target) - static_cast<int32_t>(index) - 1);
      return IForm(4 + which % 4 + (which & 0x40 ? 16 : 0), Register(in.Byte()),
                   Register(in.Byte()), offset);
    }
    case 8: {  // a move to COP0, then sometimes a TLB write or an exception return
      const uint8_t which = in.Byte();
      if (which < 64) return 0x42000002;  // tlbwi
      if (which < 96) return 0x42000018;  // eret
      return (which & 1 ? 0x40800000u : 0x40000000u) | Register(in.Byte()) << 16 |
             (which % 32) << 11;
    }
    case 9:  // COP1: moves, arithmetic, compares and branches
      return 0x44000000 | (in.Word() & 0x03FFFFFF);
    case 10:  // a register loaded with one of the addresses
    {
      const uint32_t rt = Register(in.Byte());
      const uint32_t address = Address(in);
      return in.Byte() & 1 ? IForm(15, 0, rt, address >> 16) : IForm(13, rt, rt, address);
    }
    default:  // a store of a seeded register into a register page, for DMA and interrupts
      return IForm(43, Register(in.Byte()), Register(in.Byte()), in.Byte() & 0x1C);
  }
}

// A cartridge for the DMA engines and the cartridge pages to reach: a header, then a pattern.
void LoadCartridge() {
  std::vector<uint8_t> image(kCartridgeBytes);
  for (size_t i = 0; i < image.size(); ++i)
    image[i] = static_cast<uint8_t>(i * 13 + 5);
  std::memcpy(image.data(), "\x80\x37\x12\x40", 4);
  const int fd = memfd_create("cartridge", MFD_CLOEXEC);
  if (fd < 0 || write(fd, image.data(), image.size()) != static_cast<ssize_t>(image.size()) ||
      !LoadRomImage("/proc/self/fd/" + std::to_string(fd)))
    std::abort();
  close(fd);
}

void Poke(uint32_t address, uint32_t word) {
  std::memcpy(HostAddress(address), &word, 4);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool loaded = (LoadCartridge(), true);
  (void)loaded;
  TInput in(data, size);
  fuzz::RestartRun();

  const uint32_t steps = 256 * (1 + in.Byte() % 16u);
  const uint8_t frame = in.Byte();
  if (frame < 64) ViCounter = 1 + frame * 16;
  // One input in eight runs the accurate machine, with its exceptions and TLB.
  const bool accurate = frame >= 224;
  if (accurate) fuzz::StartAccurateRun();
  for (uint32_t r = 1; r < 32; ++r)
    Gpr[r] = Sext32(Address(in));
  Cop0Regs[STATUS] = in.Byte() & 0x7 ? 0x0000FF01u | (in.Byte() & 6) : Cop0Regs[STATUS];
  Cop0Regs[EPC] = Address(in) + (in.Byte() & 3);
  Cop0Regs[ERROREPC] = Address(in) + (in.Byte() & 3);
  Cop0Regs[COMPARE] = in.Byte();
  for (const TCop0Reg reg : {INDEX, PAGEMASK, ENTRYHI, ENTRYLO0, ENTRYLO1})
    Cop0Regs[reg] = in.Word();
  const bool fromDmem = (in.Byte() & 1) != 0;

  for (uint32_t i = 0; i < kMaxWords && !in.Empty(); ++i) {
    const uint32_t word = Instruction(in, i);
    Poke(kProgram + 4 * i, word);
    if (i < kDmemWords) Poke(kDmemTail + 4 * i, word);
  }

  const uint32_t start = fromDmem ? kDmemTail : kProgram;
  PC.Lo = start;
  SetInstrPtr(start);
  if (accurate) {
    for (uint32_t i = 0; i < steps; ++i)
      CpuStep<true>();
    fuzz::EndAccurateRun();
  } else {
    for (uint32_t i = 0; i < steps; ++i)
      CpuStep();
  }
  return 0;
}
