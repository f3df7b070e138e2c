// The debugger's reads change nothing of the machine, in either mode.
#include <gtest/gtest.h>

#include "common/AccurateOnly.h"
#include "common/StateFile.h"
#include "core/Accurate.h"
#include "core/Cop0.h"
#include "core/CpuState.h"
#include "core/MachineImage.h"
#include "core/MemoryPeek.h"
#include "memory/AddressMap.h"
#include "tests/support/InstrEncoder.h"
#include "tests/support/Machine.h"
#include "tests/support/RomBytes.h"

namespace vantor {
namespace {

using MemoryPeekTest = test::MachineTest;

// Every page of the address map, at a register's offset, the page's last word and a misaligned
// offset: no read changes the machine or writes a console line (the default mode's signal
// processor pages note the accurate-only hardware when the program reads them, and PI's
// registers log a misaligned read). The accurate mode's TLB maps user pages onto the register
// blocks too.
TEST_F(MemoryPeekTest, NoPeekOfEitherModeChangesTheMachine) {
  for (const bool accurate : {false, true}) {
    SCOPED_TRACE(accurate ? "accurate" : "default");
    if (accurate) UseAccurateHardware();
    LoadRom(test::CodeRom({test::EncodeI(9, 9, 9, 1)}));
    ResetAccurateOnlyNotice(true);
    if (accurate) {
      Cop0Regs[STATUS] = 0;  // the kernel, without ERL: user addresses go through the TLB
      for (uint32_t i = 0; i < kTlbEntries; ++i) {
        TlbEntry& entry = Tlb[i];
        entry = TlbEntry{};
        entry.Vpn2 = i << 6;  // 512 KB apart from 0 on
        entry.Global = 1;
        entry.EvenPfn = 0x04000 + i * 0x20;  // the register blocks from SP on
        entry.OddPfn = 0x04010 + i * 0x20;
        entry.EvenValid = entry.OddValid = 1;
      }
    }
    const TStateImage before = CaptureMachine();
    uint32_t read = 0;
    for (uint32_t page = 0; page < kPageCount; ++page)
      for (const uint32_t offset : {0x1Cu, 0xFFCu, 0x2u})
        read += PeekWord(page << 12 | offset).result == TPeek::Read ? 1 : 0;
    EXPECT_GT(read, 0u);
    const TStateImage after = CaptureMachine();
    ASSERT_EQ(before.Sections.size(), after.Sections.size());
    for (size_t i = 0; i < before.Sections.size(); ++i)
      EXPECT_TRUE(before.Sections[i].Data == after.Sections[i].Data) << before.Sections[i].Name;
    EXPECT_FALSE(AccurateOnlyNoticeShowing());
    EXPECT_TRUE(host.Lines().empty()) << host.Lines().front();
  }
}

}  // namespace
}  // namespace vantor
