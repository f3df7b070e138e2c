#include "core/AccurateMemory.h"

#include "core/Accurate.h"
#include "core/AccurateExceptions.h"
#include "core/Cop0.h"
#include "core/CpuState.h"
#include "core/RegisterAccess.h"
#include "core/Transfer.h"
#include "memory/AddressMap.h"

namespace vantor {

bool FetchFaulted = false;

namespace {

constexpr uint32_t kCachedView = 0x80000000;
constexpr uint32_t kPhysicalLimit = 0x20000000;  // what the unmapped views show
// Where a physical address past them reads: a page the accurate machine never maps.
constexpr uint32_t kNothingThere = 0x00000000;

constexpr uint64_t kWideSegmentSize = uint64_t{1} << 40;
constexpr uint64_t kKernelWideSegmentSize = kWideSegmentSize - 0x80000000;
constexpr uint32_t kAsidMask = 0xFF;

// The word every faulted fetch points InstrPtr at, so the step's read stays in bounds.
constexpr uint32_t kNoWord = 0;

uint32_t View(uint64_t physical) {
  return physical < kPhysicalLimit ? kCachedView + static_cast<uint32_t>(physical) : kNothingThere;
}

bool Wide(TPrivilege privilege) {
  const uint32_t status = Cop0Regs[STATUS];
  switch (privilege) {
    case TPrivilege::Kernel:
      return (status & kStatusKX) != 0;
    case TPrivilege::Supervisor:
      return (status & kStatusSX) != 0;
    default:
      return (status & kStatusUX) != 0;
  }
}

// An entry matches the address's region (bits 63-62) and VPN2 (bits 39-13) under its page
// mask; the segment rules have checked the bits between.
constexpr uint32_t kRegionAndHighVpn = 0xC00000FF;

TTranslation LookUpTlb(uint64_t address, bool store, bool wide) {
  const uint32_t low = LowWord(address);
  const uint32_t upper = HighWord(address) & kRegionAndHighVpn;
  const uint32_t asid = Cop0Regs[ENTRYHI] & kAsidMask;
  for (uint32_t i = 0; i < kTlbEntries; ++i) {
    const TlbEntry& entry = Tlb[i];
    const uint32_t mask = entry.PageMask;
    if (((low >> 13) & ~mask) != (entry.Vpn2 & ~mask) || upper != TlbEntryUpper(i)) continue;
    if (entry.Global == 0 && entry.Asid != asid) continue;
    const bool odd = ((low >> 12) & (mask + 1)) != 0;
    const bool valid = (odd ? entry.OddValid : entry.EvenValid) != 0;
    if (!valid) return {TTranslation::Invalid, 0, wide};
    const bool dirty = (odd ? entry.OddDirty : entry.EvenDirty) != 0;
    if (store && !dirty) return {TTranslation::Modified, 0, wide};
    const uint64_t pfn = (odd ? entry.OddPfn : entry.EvenPfn) & ~mask;
    const uint32_t pageBytes = (mask + 1) << 12;
    return {TTranslation::Mapped, View((pfn << 12) + (low & (pageBytes - 1))), wide};
  }
  return {TTranslation::Refill, 0, wide};
}

}  // namespace

TTranslation LookUpAddress(uint64_t address, TAccessKind kind) {
  const bool store = kind == TAccessKind::Store;
  const TPrivilege privilege = CurrentPrivilege();
  const bool wide = Wide(privilege);
  const bool kernel = privilege == TPrivilege::Kernel;
  const bool user = privilege == TPrivilege::User;
  const TTranslation error{TTranslation::AddressError, 0, wide};
  const uint32_t low = LowWord(address);
  if (address == Sext32(low)) {
    // The compatibility segments, the whole address space of 32-bit addressing.
    if (low < 0x80000000) {
      // Under ERL the kernel sees the user segment as unmapped physical memory.
      if (kernel && (Cop0Regs[STATUS] & kStatusERL) != 0)
        return {TTranslation::Mapped, View(low), wide};
      return LookUpTlb(address, store, wide);
    }
    if (user) return error;
    if (low < 0xC0000000) return kernel ? TTranslation{TTranslation::Mapped, low, wide} : error;
    if (low < 0xE0000000) return LookUpTlb(address, store, wide);  // sseg
    return kernel ? LookUpTlb(address, store, wide) : error;
  }
  if (!wide) return error;
  const uint64_t offset = address & 0x3FFFFFFF'FFFFFFFF;
  switch (address >> 62) {
    case 0:  // xuseg
      return address < kWideSegmentSize ? LookUpTlb(address, store, wide) : error;
    case 1:  // xsseg
      return !user && offset < kWideSegmentSize ? LookUpTlb(address, store, wide) : error;
    case 2:  // xkphys: bits 61-59 choose the cache attribute, 31-0 the physical address
      if (!kernel || (address & 0x07FFFFFF'00000000) != 0) return error;
      return {TTranslation::Mapped, View(low), wide};
    default:  // xkseg
      return kernel && offset < kKernelWideSegmentSize ? LookUpTlb(address, store, wide) : error;
  }
}

TAccess CheckAccess(uint64_t address, uint32_t size, TAccessKind kind) {
  if (DirectKernelAccess(address, size)) [[likely]]
    return {TTranslation::Mapped, false, kind, static_cast<uint32_t>(address), address};
  if ((address & (size - 1)) != 0) return {TTranslation::AddressError, false, kind, 0, address};
  const TTranslation t = LookUpAddress(address, kind);
  return {t.result, t.wide, kind, t.address, address};
}

void RaiseAccessFault(const TAccess& access) {
  const bool store = access.kind == TAccessKind::Store;
  switch (access.result) {
    case TTranslation::Mapped:
      break;
    case TTranslation::AddressError:
      RaiseAddressError(access.address, store);
      break;
    case TTranslation::Refill:
    case TTranslation::Invalid:
      RaiseTlbException(access.address, store ? kExcTlbStore : kExcTlbLoad,
                        access.result == TTranslation::Refill, access.wide);
      break;
    case TTranslation::Modified:
      RaiseTlbException(access.address, kExcTlbModified, false, access.wide);
      break;
  }
}

std::optional<uint32_t> TranslateAddress(uint64_t address, uint32_t size, TAccessKind kind) {
  const TAccess access = CheckAccess(address, size, kind);
  if (access.Mapped()) return access.mapAddress;
  RaiseAccessFault(access);
  return std::nullopt;
}

void SetAccurateFetch(uint32_t pc) {
  const TAccess fetch = CheckAccess(Sext32(pc), 4, TAccessKind::Fetch);
  FetchFaulted = !fetch.Mapped();
  InstrPtr =
      FetchFaulted ? &kNoWord : reinterpret_cast<const uint32_t*>(HostAddress(fetch.mapAddress));
}

void RefetchNext() {
  if (BranchState == kBranchNone) PostImmediateTransfer(PC.Lo + 4);
}

void RaiseFetchFault() {
  RaiseAccessFault(CheckAccess(Sext32(PC.Lo), 4, TAccessKind::Fetch));
}

}  // namespace vantor
