// The accurate-hardware mode's loads and stores of bytes, halfwords and words, the unaligned
// word forms and the single-word FPU transfers: each checks its address first (AccurateAccess.h)
// and computes through the same rules as the default machine's handlers (Semantics.h).
#include <cstdint>

#include "core/AccurateAccess.h"
#include "core/AccurateOps.h"
#include "core/RegisterAccess.h"
#include "core/Semantics.h"

namespace vantor::accurate {

namespace {

// Reads host words of the page that holds a map address.
auto ReadAt(uint32_t address) {
  const uint32_t page = address >> 12;
  return [page](uint32_t offset) { return MapRead(page, offset); };
}
auto WriteAt(uint32_t address) {
  const uint32_t page = address >> 12;
  return [page](uint32_t offset, uint32_t value) { MapWrite(page, offset, value); };
}

template <uint32_t kSize, typename TLoad>
void Load(uint32_t w, TLoad load) {
  const auto at = AccessAddress(w, kSize, TAccessKind::Load);
  if (at) Gpr[Rt(w)] = load(*at & 0xFFF, ReadAt(*at));
}

uint32_t RtLo(uint32_t w) {
  return LowWord(Gpr[Rt(w)]);
}

}  // namespace

void LB(uint32_t w) {
  Load<1>(w, [](uint32_t offset, auto read) { return sem::LoadByte(offset, read); });
}
void LBU(uint32_t w) {
  Load<1>(w, [](uint32_t offset, auto read) { return sem::LoadByteU(offset, read); });
}
void LH(uint32_t w) {
  Load<2>(w, [](uint32_t offset, auto read) { return sem::LoadHalf(offset, read); });
}
void LHU(uint32_t w) {
  Load<2>(w, [](uint32_t offset, auto read) { return sem::LoadHalfU(offset, read); });
}
void LW(uint32_t w) {
  Load<4>(w, [](uint32_t offset, auto read) { return sem::LoadWord(offset, read); });
}
void LWU(uint32_t w) {
  Load<4>(w, [](uint32_t offset, auto read) { return sem::LoadWordU(offset, read); });
}
void LD(uint32_t w) {
  Load<8>(w, [](uint32_t offset, auto read) { return sem::LoadDouble(offset, read); });
}
void LWL(uint32_t w) {
  const auto at = AccessAddress(w, 1, TAccessKind::Load);
  if (at) Gpr[Rt(w)] = Sext32(sem::MergeLeft(ReadMapWord(*at & ~3u), RtLo(w), *at & 3));
}
void LWR(uint32_t w) {
  const auto at = AccessAddress(w, 1, TAccessKind::Load);
  if (at) Gpr[Rt(w)] = Sext32(sem::MergeRight(ReadMapWord(*at & ~3u), RtLo(w), *at & 3));
}
void LWC1(uint32_t w) {
  if (!CoprocessorUsable(1)) return;
  const auto at = AccessAddress(w, 4, TAccessKind::Load);
  if (at) Cop1Regs[Rt(w)] = ReadMapWord(*at);
}

void SB(uint32_t w) {
  const auto at = AccessAddress(w, 1, TAccessKind::Store);
  if (at) sem::StoreByte(PageTable[*at >> 12], *at & 0xFFF, Gpr[Rt(w)]);
}
void SH(uint32_t w) {
  const auto at = AccessAddress(w, 2, TAccessKind::Store);
  if (at) sem::StoreHalf(PageTable[*at >> 12], *at & 0xFFF, Gpr[Rt(w)]);
}
void SW(uint32_t w) {
  const auto at = AccessAddress(w, 4, TAccessKind::Store);
  if (at) sem::StoreWord(*at & 0xFFF, Gpr[Rt(w)], WriteAt(*at));
}
void SD(uint32_t w) {
  const auto at = AccessAddress(w, 8, TAccessKind::Store);
  if (at) sem::StoreDouble(*at & 0xFFF, Gpr[Rt(w)], WriteAt(*at));
}
void SWL(uint32_t w) {
  const auto at = AccessAddress(w, 1, TAccessKind::Store);
  if (!at) return;
  const uint32_t aligned = *at & ~3u;
  WriteMapWord(aligned, sem::StoreLeft(ReadMapWord(aligned), RtLo(w), *at & 3));
}
void SWR(uint32_t w) {
  const auto at = AccessAddress(w, 1, TAccessKind::Store);
  if (!at) return;
  const uint32_t aligned = *at & ~3u;
  WriteMapWord(aligned, sem::StoreRight(ReadMapWord(aligned), RtLo(w), *at & 3));
}
void SWC1(uint32_t w) {
  if (!CoprocessorUsable(1)) return;
  const auto at = AccessAddress(w, 4, TAccessKind::Store);
  if (at) WriteMapWord(*at, Cop1Regs[Rt(w)]);
}

// The caches are not modelled; the operation's address still goes through the TLB.
void CACHE(uint32_t w) {
  if (CoprocessorUsable(0)) AccessAddress(w, 1, TAccessKind::Load);
}

}  // namespace vantor::accurate
