#include "core/BlockCache.h"

#include <algorithm>

#include "core/Cop0.h"
#include "core/Cop1.h"
#include "core/Cop1Ops.h"
#include "core/InstrFields.h"
#include "core/Instructions.h"

namespace vantor {

TBlockCache BlockCache;

namespace {

template <size_t N>
bool OneOf(OpcodeHandler handler, const OpcodeHandler (&set)[N]) {
  return std::find(std::begin(set), std::end(set), handler) != std::end(set);
}

// The handler a word reaches through the nested decode tables.
OpcodeHandler FinalHandler(uint32_t word) {
  switch (Op(word)) {
    case 0x00:
      return SpecialTable[Funct(word)];
    case 0x01:
      return RegImmTable[Rt(word)];
    case 0x11: {
      const uint32_t fmt = Fmt(word);
      if (fmt == 8) return Bc1Table[(word >> 16) & 3];
      if (fmt == 16 || fmt == 17 || fmt == 20 || fmt == 21) return Cop1FunctionTable[Funct(word)];
      return Cop1Table[fmt];
    }
    default:
      return OpcodeTable[Op(word)];
  }
}

using namespace ops;

constexpr OpcodeHandler kLoads[] = {LB, LBU, LH, LHU, LW, LWU, LWL, LWR, LD, LWC1, LDC1};
constexpr OpcodeHandler kStores[] = {SB, SH, SW, SD, SWC1};
constexpr OpcodeHandler kReadModifyWrites[] = {SWL, SWR};
constexpr OpcodeHandler kTransfers[] = {
    J,      JAL,    JR,      JALR,    BEQ,        BNE,        BLEZ,        BGTZ,
    BEQL,   BNEL,   BLEZL,   BGTZL,   BLTZ,       BGEZ,       BLTZL,       BGEZL,
    BLTZAL, BGEZAL, BLTZALL, BGEZALL, cop1::BC1F, cop1::BC1T, cop1::BC1FL, cop1::BC1TL,
};
// COP0 moves read and write COUNT, COMPARE, STATUS and CAUSE, and TLBWI remaps pages; the rest
// write console lines.
constexpr OpcodeHandler kExactOnly[] = {
    Cop0Op,
    IllegalOpcode,
    UnimplementedOpcode,
    IllegalSpecial,
    UnimplementedSpecial,
    UnimplementedRegImm,
    DDIV,
    DDIVU,
    cop1::IllegalCop1,
    cop1::IllegalCop1Ex,
    cop1::UnimplementedCop1Ex,
    cop1::CVT_L,
};

// A jump to itself counts the rest of the frame at once.
bool JumpsToItself(uint32_t word, uint32_t pc) {
  return Op(word) == 0x02 && (((pc + 4) & 0xF0000000) | Target(word) << 2) == pc;
}

}  // namespace

TDecodedOp DecodeOp(uint32_t word, uint32_t pc) {
  if (word == 0) return {word, TOpKind::Nop, nullptr};
  const OpcodeHandler handler = FinalHandler(word);
  TOpKind kind = TOpKind::Plain;
  if (OneOf(handler, kExactOnly) || JumpsToItself(word, pc))
    kind = TOpKind::Exact;
  else if (OneOf(handler, kLoads))
    kind = TOpKind::Load;
  else if (OneOf(handler, kStores))
    kind = TOpKind::Store;
  else if (OneOf(handler, kReadModifyWrites))
    kind = TOpKind::LoadStore;
  else if (OneOf(handler, kTransfers))
    kind = TOpKind::Transfer;
  return {word, kind, handler};
}

void TBlockCache::Clear() {
  pages_.clear();
  last_ = nullptr;
}

TCodePage& TBlockCache::Find(uint32_t virtualPage) {
  auto found = pages_.find(virtualPage);
  if (found == pages_.end()) {
    if (pages_.size() >= kMaxCodePages) pages_.clear();
    auto page = std::make_unique<TCodePage>();
    const uint32_t base = virtualPage << 12;
    for (uint32_t i = 0; i < kWordsPerPage; ++i)
      page->ops[i] = DecodeOp(0, base + 4 * i);
    found = pages_.emplace(virtualPage, std::move(page)).first;
  }
  lastPage_ = virtualPage;
  last_ = found->second.get();
  return *last_;
}

}  // namespace vantor
