// The accurate mode's translation against a reference model of the r4300i's segment map and TLB
// lookup, over random addresses, modes and TLB contents: the pure check agrees with the model and
// touches nothing, and the raising paths (loads and stores, the fetch) land where it lands or
// take the exception it names.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>

#include "core/Accurate.h"
#include "core/AccurateAccess.h"
#include "core/AccurateExceptions.h"
#include "core/AccurateMemory.h"
#include "core/Cop0.h"
#include "core/CpuState.h"
#include "tests/support/InstrEncoder.h"
#include "tests/support/Machine.h"

namespace vantor {
namespace {

using R = TTranslation::Result;

// What the model expects of an access.
struct TExpected {
  R result;
  uint32_t mapAddress = 0;  // when Mapped
  bool wide = false;        // a refill: the XTLB vector
};

// The unmapped views show physical memory below 512 MB at 0x80000000 + physical; the rest reads
// from a page nothing maps.
uint32_t ViewOf(uint64_t physical) {
  return physical < 0x20000000 ? 0x80000000 + static_cast<uint32_t>(physical) : 0;
}

// Each entry's EntryHi upper word as FillTlb wrote it: the region (address bits 63-62) and VPN2
// bits 39-32.
std::array<uint32_t, kTlbEntries> entryUppers;

// The first entry whose page pair holds the address, for its ASID or global: the region and
// address bits 39-32 are the entry's, and bits 31-13 its VPN2 under the page mask.
TExpected ModelTlb(uint64_t address, bool store, bool wide) {
  const auto a = static_cast<uint32_t>(address);
  const uint32_t asid = Cop0Regs[ENTRYHI] & 0xFF;
  for (uint32_t i = 0; i < kTlbEntries; ++i) {
    const TlbEntry& e = Tlb[i];
    const uint32_t pageBytes = (e.PageMask + 1) * 0x1000;
    const uint32_t pairBytes = 2 * pageBytes;
    if ((address >> 62) != (entryUppers[i] >> 30)) continue;
    if ((address >> 32 & 0xFF) != (entryUppers[i] & 0xFF)) continue;
    if ((a & ~(pairBytes - 1)) != ((e.Vpn2 << 13) & ~(pairBytes - 1))) continue;
    if (e.Global == 0 && e.Asid != asid) continue;
    const bool odd = (a & pageBytes) != 0;
    if ((odd ? e.OddValid : e.EvenValid) == 0) return {R::Invalid, 0, wide};
    if (store && (odd ? e.OddDirty : e.EvenDirty) == 0) return {R::Modified, 0, wide};
    const uint64_t frame = uint64_t{odd ? e.OddPfn : e.EvenPfn} * 0x1000 & ~uint64_t{pageBytes - 1};
    return {R::Mapped, ViewOf(frame + (a & (pageBytes - 1))), wide};
  }
  return {R::Refill, 0, wide};
}

enum class TMode { Kernel, Supervisor, User };

TExpected Model(uint64_t address, uint32_t size, TAccessKind kind) {
  const uint32_t status = Cop0Regs[STATUS];
  const bool store = kind == TAccessKind::Store;
  const uint32_t ksu = (status >> 3) & 3;
  const TMode mode = (status & 6) != 0 || ksu == 0 ? TMode::Kernel
                     : ksu == 1                    ? TMode::Supervisor
                                                   : TMode::User;
  const uint32_t wideBit = mode == TMode::Kernel ? 0x80 : mode == TMode::Supervisor ? 0x40 : 0x20;
  const bool wide = (status & wideBit) != 0;
  const TExpected error{R::AddressError};
  if (address % size != 0) return error;
  const bool kernel = mode == TMode::Kernel, user = mode == TMode::User;
  if (address < 0x80000000 || address >= 0xFFFFFFFF'80000000) {
    const auto a = static_cast<uint32_t>(address);
    if (a < 0x80000000)  // kuseg; under ERL the kernel sees physical memory there
      return kernel && (status & 4) != 0 ? TExpected{R::Mapped, ViewOf(a)}
                                         : ModelTlb(address, store, wide);
    if (a < 0xC0000000) return kernel ? TExpected{R::Mapped, a} : error;       // kseg0, kseg1
    if (a < 0xE0000000) return user ? error : ModelTlb(address, store, wide);  // ksseg
    return kernel ? ModelTlb(address, store, wide) : error;                    // kseg3
  }
  if (!wide) return error;
  constexpr uint64_t kSegment = uint64_t{1} << 40;
  const uint64_t offset = address & 0x3FFFFFFF'FFFFFFFF;
  if (address < 0x40000000'00000000)  // xuseg
    return address < kSegment ? ModelTlb(address, store, wide) : error;
  if (address < 0x80000000'00000000)  // xsseg
    return !user && offset < kSegment ? ModelTlb(address, store, wide) : error;
  if (address < 0xC0000000'00000000)  // xkphys: bits 58-32 clear, the cache attribute above
    return kernel && (address >> 32 & 0x7FFFFFF) == 0
               ? TExpected{R::Mapped, ViewOf(static_cast<uint32_t>(address))}
               : error;
  return kernel && offset < kSegment - 0x80000000 ? ModelTlb(address, store, wide) : error;
}

// The exception code and vector a fault takes (STATUS.BEV clear).
uint32_t ExpectedCode(R result, TAccessKind kind) {
  const bool store = kind == TAccessKind::Store;
  switch (result) {
    case R::AddressError:
      return store ? kExcAddressStore : kExcAddressLoad;
    case R::Modified:
      return kExcTlbModified;
    default:
      return store ? kExcTlbStore : kExcTlbLoad;
  }
}
uint32_t ExpectedVector(const TExpected& e, bool exl) {
  if (e.result != R::Refill || exl) return 0x80000180;
  return e.wide ? 0x80000080 : 0x80000000;
}

constexpr uint32_t kPageMasks[] = {0x0, 0x3, 0xF, 0x3F, 0xFF, 0x3FF, 0xFFF};

// Random entries around a few virtual regions, so that lookups hit, miss and find invalid and
// clean halves; frames both inside and past the 512 MB the map shows. A third of the entries are
// written with a 64-bit EntryHi (xuseg past 4 GB, xsseg, xkseg); the others as a 32-bit EntryHi
// sign-extended gives them.
void FillTlb(std::mt19937& random) {
  constexpr uint32_t kRegions[] = {0x00000000, 0x00400000, 0x7FFF0000, 0xC0000000, 0xE0000000};
  constexpr uint32_t kWideUppers[] = {0x00000001, 0x000000FE, 0x40000012, 0xC0000003};
  for (uint32_t i = 0; i < kTlbEntries; ++i) {
    TlbEntry& e = Tlb[i];
    e = TlbEntry{};
    e.PageMask = kPageMasks[random() % std::size(kPageMasks)];
    const uint32_t region = kRegions[random() % std::size(kRegions)];
    e.Vpn2 = ((region + (random() % 64) * 0x2000) >> 13) & ~e.PageMask;
    e.Asid = random() % 3;
    e.Global = random() % 4 == 0;
    e.EvenPfn = random() % 2 == 0 ? random() % 0x2000 : random() % 0x100000;
    e.OddPfn = random() % 2 == 0 ? random() % 0x2000 : random() % 0x100000;
    e.EvenValid = random() % 4 != 0;
    e.OddValid = random() % 4 != 0;
    e.EvenDirty = random() % 2;
    e.OddDirty = random() % 2;
    entryUppers[i] = (e.Vpn2 << 13 & 0x80000000) != 0 ? 0xC00000FF : 0;
    if (random() % 3 == 0) entryUppers[i] = kWideUppers[random() % std::size(kWideUppers)];
    SetTlbEntryUpper(i, entryUppers[i]);
  }
}

uint64_t RandomAddress(std::mt19937& random) {
  const uint64_t low = random();
  const uint64_t high = random();
  switch (random() % 8) {
    case 0: {  // an entry's region
      const uint32_t i = random() % kTlbEntries;
      const uint32_t a = Tlb[i].Vpn2 * 0x2000 + random() % 0x4000;
      const uint32_t upper = entryUppers[i];
      if (upper == 0 || upper == 0xC00000FF)  // written with a 32-bit EntryHi
        return static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(a)));
      return uint64_t{upper} << 32 | a;
    }
    case 1:  // any 32-bit address, sign-extended
      return static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(low)));
    case 2:  // kseg0, kseg1
      return 0xFFFFFFFF'80000000 | (low & 0x3FFFFFFF);
    case 3:  // the foot of each 64-bit region, and just past 2^40
      return (high << 62) | (low & 0xFFFF) | (random() % 2 == 0 ? uint64_t{1} << 40 : 0);
    case 4:  // xkphys with or without stray bits
      return 0x80000000'00000000 | (high & 0x3) << 59 | (random() % 4 == 0 ? high << 32 : 0) | low;
    case 5:  // the top of xkseg
      return 0xC00000FF'00000000 | low;
    default:
      return high << 32 | low;
  }
}

// COP0, the TLB and the transfer state: whatever an access may change.
struct TMachineCopy {
  std::array<uint32_t, 32> cop0;
  std::array<TlbEntry, kTlbEntries> tlb;
  uint32_t branchState, branchTarget, pc, raised;

  static TMachineCopy Take() {
    TMachineCopy c;
    std::memcpy(c.cop0.data(), Cop0Regs, sizeof c.cop0);
    std::memcpy(c.tlb.data(), Tlb, sizeof c.tlb);
    c.branchState = BranchState;
    c.branchTarget = BranchTarget;
    c.pc = PC.Lo;
    c.raised = RaisedException;
    return c;
  }
  void Restore() const {
    std::memcpy(Cop0Regs, cop0.data(), sizeof cop0);
    BranchState = branchState;
    BranchTarget = branchTarget;
    PC.Lo = pc;
    RaisedException = raised;
  }
  bool operator==(const TMachineCopy& o) const {
    return cop0 == o.cop0 && std::memcmp(tlb.data(), o.tlb.data(), sizeof tlb) == 0 &&
           branchState == o.branchState && branchTarget == o.branchTarget && pc == o.pc &&
           raised == o.raised;
  }
};

class AccurateAccessTest : public test::MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    UseAccurateHardware();
  }

  // The raising path's outcome against the model: the map address with nothing changed, or the
  // fault's COP0 fields and vector.
  static void CheckRaised(const std::optional<uint32_t>& at, const TExpected& e, uint64_t address,
                          TAccessKind kind, const TMachineCopy& before) {
    if (e.result == R::Mapped) {
      ASSERT_TRUE(at.has_value());
      EXPECT_EQ(*at, e.mapAddress);
      EXPECT_TRUE(TMachineCopy::Take() == before);
      return;
    }
    ASSERT_FALSE(at.has_value());
    EXPECT_EQ(RaisedException, ExpectedCode(e.result, kind));
    EXPECT_EQ((Cop0Regs[CAUSE] >> 2) & 0x1F, ExpectedCode(e.result, kind));
    EXPECT_EQ(Cop0Regs[BADVADDR], static_cast<uint32_t>(address));
    EXPECT_EQ(BranchTarget, ExpectedVector(e, (before.cop0[STATUS] & kStatusEXL) != 0));
    const uint32_t entryHi =
        e.result == R::AddressError
            ? before.cop0[ENTRYHI]
            : (static_cast<uint32_t>(address) & ~0x1FFFu) | (before.cop0[ENTRYHI] & 0xFF);
    EXPECT_EQ(Cop0Regs[ENTRYHI], entryHi);
    EXPECT_EQ(AccurateCop0(BADVADDR), address);
    if (e.result != R::AddressError) {
      EXPECT_EQ(AccurateCop0(ENTRYHI) >> 32, address >> 32 & 0xC00000FF);
    }
    EXPECT_TRUE(std::memcmp(before.tlb.data(), Tlb, sizeof Tlb) == 0);
  }
};

TEST_F(AccurateAccessTest, ThePureCheckAndTheRaisingPathsAgreeWithTheModel) {
  std::mt19937 random(26);
  constexpr uint32_t kBase = 8;  // the instruction's rs; its offset is 0
  for (int round = 0; round < 40; ++round) {
    FillTlb(random);
    for (int i = 0; i < 600; ++i) {
      // Kernel, supervisor or user, sometimes under EXL or ERL, any mix of UX, SX and KX.
      Cop0Regs[STATUS] = (random() % 3) << 3 | (random() % 4 == 0 ? kStatusEXL : 0) |
                         (random() % 6 == 0 ? kStatusERL : 0) | (random() % 8) << 5;
      Cop0Regs[ENTRYHI] = random() % 3;
      Cop0Regs[EPC] = 0x12345678;
      BranchState = kBranchNone;
      PC.Lo = 0x80001000;
      const uint64_t address = RandomAddress(random);
      const uint32_t size = 1u << (random() % 4);
      const auto kind = static_cast<TAccessKind>(random() % 3);
      SCOPED_TRACE(testing::Message()
                   << std::hex << "status " << Cop0Regs[STATUS] << " asid " << Cop0Regs[ENTRYHI]
                   << " address " << address << " size " << size << " kind "
                   << static_cast<int>(kind) << " round " << std::dec << round);
      const TExpected e = Model(address, size, kind);
      const TMachineCopy before = TMachineCopy::Take();

      const TAccess access = CheckAccess(address, size, kind);
      ASSERT_TRUE(TMachineCopy::Take() == before);
      ASSERT_EQ(access.result, e.result);
      EXPECT_EQ(access.address, address);
      if (e.result == R::Mapped) {
        EXPECT_EQ(access.mapAddress, e.mapAddress);
      }
      if (e.result == R::Refill) {
        EXPECT_EQ(access.wide, e.wide);
      }

      if (kind == TAccessKind::Fetch) {
        // The fetch of a 32-bit PC: the word there, or the fault at the next step.
        const auto pc = static_cast<uint32_t>(address);
        const auto fetchAddress =
            static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(pc)));
        const TExpected fetch = Model(fetchAddress, 4, kind);
        PC.Lo = pc;
        const TMachineCopy atPc = TMachineCopy::Take();
        SetAccurateFetch(pc);
        ASSERT_EQ(FetchFaulted, fetch.result != R::Mapped);
        std::optional<uint32_t> fetched;
        if (FetchFaulted) {
          RaiseFetchFault();
        } else {
          fetched = fetch.mapAddress;
          EXPECT_EQ(reinterpret_cast<const uint8_t*>(InstrPtr), HostAddress(fetch.mapAddress));
        }
        CheckRaised(fetched, fetch, fetchAddress, kind, atPc);
        FetchFaulted = false;
      } else {
        Gpr[kBase] = address;
        CheckRaised(accurate::AccessAddress(test::EncodeI(0x23, kBase, 9, 0), size, kind), e,
                    address, kind, before);
      }
      before.Restore();
    }
  }
}

}  // namespace
}  // namespace vantor
