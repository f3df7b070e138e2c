#include "core/MachineImage.h"

#include <cstring>
#include <exception>
#include <iterator>
#include <new>
#include <unordered_map>
#include <vector>

#include "audio/AudioInterface.h"
#include "common/FileAccess.h"
#include "common/HexText.h"
#include "common/MachineState.h"
#include "core/Accurate.h"
#include "core/AccurateClock.h"
#include "core/AccurateMemory.h"
#include "core/Cop0.h"
#include "core/Cop1.h"
#include "core/Cpu.h"
#include "memory/AccurateVideo.h"
#include "memory/AddressMap.h"
#include "memory/PlainPages.h"
#include "memory/RomImage.h"
#include "memory/SerialInterface.h"
#include "rdp/Rdp.h"
#include "rsp/Rsp.h"

namespace vantor {

namespace {

// Sections are little-endian fields written one after another.
class TWriter {
 public:
  void U32(uint32_t value) {
    for (int i = 0; i < 4; ++i)
      data.push_back(static_cast<uint8_t>(value >> (8 * i)));
  }
  void U64(uint64_t value) {
    U32(static_cast<uint32_t>(value));
    U32(static_cast<uint32_t>(value >> 32));
  }
  std::vector<uint8_t> data;
};

class TFieldReader {
 public:
  explicit TFieldReader(const std::vector<uint8_t>& data) : data_(data) {}
  uint32_t U32() {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
      value |= uint32_t{data_[at_++]} << (8 * i);
    return value;
  }
  uint64_t U64() {
    const uint64_t low = U32();
    return low | uint64_t{U32()} << 32;
  }
  uint8_t U8() { return data_[at_++]; }

 private:
  const std::vector<uint8_t>& data_;
  size_t at_ = 0;
};

constexpr const char* kCpuSection = "cpu";
constexpr uint32_t kCpuSize = 32 * 8 + 4 * 4 + 8 + 32 * 4 + 32 * 4 + 3 * 4;
constexpr const char* kTlbSection = "tlb";
constexpr uint32_t kTlbEntrySize = 12 * 4;
constexpr const char* kMapSection = "tlb-pages";
// The controller protocol's state beside the serial block's page.
constexpr const char* kPifSection = "pif";
constexpr uint32_t kPifSize = 4 + sizeof(TPifState::ReportedCommands);
// The run's hardware mode and the registers only the accurate mode keeps; written in both modes
// so that every state names its mode.
constexpr const char* kAccurateSection = "accurate";
constexpr uint32_t kAccurateSize = 4 + 8 + 8 + 4 + 32 * 4;
// The machine clock of an accurate run: its cycle and every kind of event's due cycle (all ones
// when not pending), in kind order. Only states of the accurate mode have it.
constexpr const char* kClockSection = "clock";
constexpr uint32_t kClockSize = 8 + kEventKinds * 8;
// What the accurate mode's COP0 holds beyond the default machine's: the upper words of its
// 64-bit registers and of each TLB entry's EntryHi, and the cycle Random counts from. Only states
// of the accurate mode have it; those written before it existed hold 32-bit values, which the
// upper words sign-extend, and Random starts again at 31.
constexpr const char* kWideCop0Section = "cop0-accurate";
constexpr uint32_t kWideCop0Regs[] = {ENTRYHI, BADVADDR, CONTEXT, XCONTEXT, EPC, ERROREPC};
constexpr uint32_t kWideCop0Size = (std::size(kWideCop0Regs) + kTlbEntries) * 4 + 8;
// The audio interface's queue and timing, in states of the accurate mode only.
constexpr const char* kAudioSection = "ai";

// 0x80000000 to 0xBFFFFFFF show physical memory and never change during a run; every other
// page shows the dummy page unless a TLB write pointed it elsewhere.
constexpr uint32_t kUnmappedFirstPage = 0x80000;
constexpr uint32_t kUnmappedEndPage = 0xC0000;
constexpr uint32_t kPhysicalEndPage = 0xA0000;

bool InUnmappedSegments(uint32_t page) {
  return page >= kUnmappedFirstPage && page < kUnmappedEndPage;
}

bool ShowsDummyPage(uint32_t page) {
  return PageTable[page] == DummyPage->Data && ReadTable[page] == IllegalRead &&
         WriteTable[page] == IllegalWrite;
}

// The blocks whose storage a state holds, one entry per storage, named after the first page
// that shows it.
struct TSavedBlock {
  std::string Name;
  TBlockStorage Storage;
};

// Main memory's size in a run of either mode: the accurate mode has the memory expansion.
uint32_t RdramBytesOfMode(bool accurate) {
  return accurate ? kRdramExpandedSize : kRdramSize;
}

// The blocks as a run of the mode with `rdramBytes` of main memory shows them.
std::vector<TSavedBlock> SavedBlocks(uint32_t rdramBytes = RdramBytes) {
  std::vector<TSavedBlock> blocks;
  for (const TMapRow& row : MemoryMap) {
    TBlockStorage storage = row.Storage();
    if (storage.Data != nullptr && storage.Data == RDRAM->Data) storage.Size = rdramBytes;
    if (storage.Data == nullptr || storage.Data == DummyPage->Data) continue;
    if (RomImage != nullptr && storage.Data == RomImage->Data) continue;
    bool seen = false;
    for (const TSavedBlock& block : blocks)
      seen = seen || block.Storage.Data == storage.Data;
    if (!seen) blocks.push_back({"block-" + Hex(row.FirstPage, 5), storage});
  }
  return blocks;
}

TStateSection CaptureCpu() {
  TWriter out;
  for (uint64_t value : Gpr)
    out.U64(value);
  out.U32(PC.Lo);
  out.U32(PC.Hi);
  out.U32(BranchState);
  out.U32(BranchTarget);
  out.U64(MulDivTemp);
  for (uint32_t value : Cop0Regs)
    out.U32(value);
  for (uint32_t value : Cop1Regs)
    out.U32(value);
  out.U32(FCR0);
  out.U32(FCR31);
  out.U32(static_cast<uint32_t>(ViCounter));
  return {kCpuSection, 1, std::move(out.data)};
}

void RestoreCpu(const TStateSection& section) {
  TFieldReader in(section.Data);
  for (uint64_t& value : Gpr)
    value = in.U64();
  PC.Lo = in.U32();
  PC.Hi = in.U32();
  BranchState = in.U32();
  BranchTarget = in.U32();
  MulDivTemp = in.U64();
  for (uint32_t& value : Cop0Regs)
    value = in.U32();
  for (uint32_t& value : Cop1Regs)
    value = in.U32();
  FCR0 = in.U32();
  FCR31 = in.U32();
  ViCounter = static_cast<int32_t>(in.U32());
}

TStateSection CaptureTlb() {
  TWriter out;
  for (const TlbEntry& entry : Tlb) {
    for (uint32_t value :
         {entry.PageMask, entry.Vpn2, entry.Asid, uint32_t{entry.Global}, entry.EvenPfn,
          entry.EvenCache, uint32_t{entry.EvenDirty}, uint32_t{entry.EvenValid}, entry.OddPfn,
          entry.OddCache, uint32_t{entry.OddDirty}, uint32_t{entry.OddValid}})
      out.U32(value);
  }
  return {kTlbSection, 1, std::move(out.data)};
}

void RestoreTlb(const TStateSection& section) {
  TFieldReader in(section.Data);
  const auto byte = [&in] { return static_cast<uint8_t>(in.U32()); };
  for (TlbEntry& entry : Tlb) {
    entry.PageMask = in.U32();
    entry.Vpn2 = in.U32();
    entry.Asid = in.U32();
    entry.Global = byte();
    entry.EvenPfn = in.U32();
    entry.EvenCache = in.U32();
    entry.EvenDirty = byte();
    entry.EvenValid = byte();
    entry.OddPfn = in.U32();
    entry.OddCache = in.U32();
    entry.OddDirty = byte();
    entry.OddValid = byte();
  }
}

TStateSection CapturePif() {
  TWriter out;
  out.U32(SIPifState.LastPad);
  out.data.insert(out.data.end(), SIPifState.ReportedCommands.begin(),
                  SIPifState.ReportedCommands.end());
  return {kPifSection, 1, std::move(out.data)};
}

void RestorePif(const TStateSection& section) {
  TFieldReader in(section.Data);
  SIPifState.LastPad = in.U32();
  for (uint8_t& bits : SIPifState.ReportedCommands)
    bits = in.U8();
}

TStateSection CaptureAccurate() {
  TWriter out;
  out.U32(AccurateHardware ? 1 : 0);
  out.U64(AccurateHi);
  out.U64(AccurateLo);
  out.U32(LLBit ? 1 : 0);
  for (uint32_t word : Cop1Upper)
    out.U32(word);
  return {kAccurateSection, 1, std::move(out.data)};
}

void RestoreAccurate(const TStateSection& section) {
  TFieldReader in(section.Data);
  AccurateHardware = in.U32() != 0;
  AccurateHi = in.U64();
  AccurateLo = in.U64();
  LLBit = in.U32() != 0;
  for (uint32_t& word : Cop1Upper)
    word = in.U32();
}

TStateSection CaptureWideCop0() {
  TWriter out;
  for (uint32_t reg : kWideCop0Regs)
    out.U32(Cop0Upper[reg]);
  for (uint32_t change : TlbUpperChange)
    out.U32(change);
  out.U64(TlbRandomStart);
  return {kWideCop0Section, 1, std::move(out.data)};
}

// After the CPU, the TLB and the clock.
void RestoreWideCop0(const TStateSection* section) {
  SignExtendCop0Upper();
  TlbRandomStart = MachineClock.Now();
  if (section == nullptr) return;
  TFieldReader in(section->Data);
  for (uint32_t reg : kWideCop0Regs)
    Cop0Upper[reg] = in.U32();
  for (uint32_t& change : TlbUpperChange)
    change = in.U32();
  TlbRandomStart = in.U64();
}

// Whether a state's mode section names the accurate mode.
bool SavedInAccurateMode(const TStateImage& image) {
  const TStateSection* section = image.Find(kAccurateSection);
  if (section == nullptr || section->Data.size() != kAccurateSize) return false;
  return TFieldReader(section->Data).U32() == 1;
}

TStateSection CaptureClock() {
  const TScheduler::TSaved saved = MachineClock.Save();
  TWriter out;
  out.U64(saved.now);
  for (uint64_t when : saved.when)
    out.U64(when);
  return {kClockSection, 1, std::move(out.data)};
}

void RestoreClock(const TStateSection& section) {
  TFieldReader in(section.Data);
  TScheduler::TSaved saved;
  saved.now = in.U64();
  for (uint64_t& when : saved.when)
    when = in.U64();
  InstallClockHandlers();
  MachineClock.Restore(saved);
}

std::string CheckAccurate(const TStateSection& section) {
  TFieldReader in(section.Data);
  if (in.U32() > 1) return "its hardware mode is unknown";
  return {};
}

// The pages TLB writes pointed at physical memory, as pairs (virtual page, physical page
// 0x80000 + P whose storage and handlers it shows). Pages the TLB made invalid show the dummy
// page, as untouched ones do, and need no entry.
TStateSection CaptureTlbPages() {
  std::unordered_map<const uint8_t*, uint32_t> firstPageOf;
  for (uint32_t page = kPhysicalEndPage; page-- > kUnmappedFirstPage;)
    firstPageOf[PageTable[page]] = page;
  TWriter out;
  for (uint32_t page = 0; page < kPageCount; ++page) {
    if (InUnmappedSegments(page) || ShowsDummyPage(page)) continue;
    const auto found = firstPageOf.find(PageTable[page]);
    if (found == firstPageOf.end()) continue;
    uint32_t source = found->second;
    // Blocks that share storage differ in their handlers; find the page with both.
    while (source < kPhysicalEndPage &&
           (PageTable[source] != PageTable[page] || ReadTable[source] != ReadTable[page] ||
            WriteTable[source] != WriteTable[page]))
      ++source;
    if (source == kPhysicalEndPage) continue;
    out.U32(page);
    out.U32(source);
  }
  return {kMapSection, 1, std::move(out.data)};
}

void RestoreTlbPages(const TStateSection& section) {
  TFieldReader in(section.Data);
  for (size_t i = 0; i < section.Data.size() / 8; ++i) {
    const uint32_t page = in.U32();
    const uint32_t source = in.U32();
    PageTable[page] = PageTable[source];
    ReadTable[page] = ReadTable[source];
    WriteTable[page] = WriteTable[source];
  }
}

std::string CheckTlbPages(const TStateSection& section) {
  if (section.Data.size() % 8 != 0) return "its TLB page list is cut";
  TFieldReader in(section.Data);
  for (size_t i = 0; i < section.Data.size() / 8; ++i) {
    const uint32_t page = in.U32();
    const uint32_t source = in.U32();
    if (page >= kPageCount || InUnmappedSegments(page) || source < kUnmappedFirstPage ||
        source >= kPhysicalEndPage)
      return "its TLB page list names pages outside the map";
  }
  return {};
}

// Every section a state of this program holds in the given mode, with the size it has once
// inflated: the one list that reading, checking and inflating a state go by. A new block's
// section is one more line here.
std::vector<TSectionRule> SectionRules(bool accurate) {
  std::vector<TSectionRule> rules = {
      {kCpuSection, 1, kCpuSize},
      {kTlbSection, 1, kTlbEntries * kTlbEntrySize},
      // A pair for each page outside the unmapped segments at most.
      {kMapSection, 1, (kPageCount - (kUnmappedEndPage - kUnmappedFirstPage)) * 8, true},
      {kPifSection, 1, kPifSize},
      {kAccurateSection, 1, kAccurateSize},
  };
  if (accurate) {
    rules.push_back({kClockSection, 1, kClockSize});
    rules.push_back({kWideCop0Section, 1, kWideCop0Size, false, true});
    rules.push_back({kRdpStateSection, 1, static_cast<uint32_t>(RdpStateSize())});
    rules.push_back({kRspStateSection, 1, static_cast<uint32_t>(RspStateSize())});
    rules.push_back({kAudioSection, 1, AudioStateSize()});
  }
  for (const TSavedBlock& block : SavedBlocks(RdramBytesOfMode(accurate)))
    rules.push_back({block.Name, 1, block.Storage.Size});
  return rules;
}

// The mode a stored state names, read from its mode section alone (a few bytes); the default
// mode when that section is not as it should be, which the check of all sections then reports.
bool StoredInAccurateMode(const TStoredState& state) {
  const TStoredSection* section = state.Find(kAccurateSection);
  std::vector<uint8_t> data;
  std::string ignored;
  if (section == nullptr || section->RawSize != kAccurateSize ||
      !InflateSection(*section, data, ignored))
    return false;
  return TFieldReader(data).U32() == 1;
}

// ReadMachineState without the guard against exceptions.
std::shared_ptr<const TStateImage> ReadState(const std::string& path, std::string& error) {
  TReadableFile file(path, TFileKind::State);
  std::vector<uint8_t> bytes;
  if (!file.ReadAll(bytes)) {
    error = file.Error();
    return nullptr;
  }
  const std::optional<TStoredState> stored = ParseState(bytes, error);
  if (!stored) return nullptr;
  // Every section is checked against what this machine holds before any is inflated.
  const bool accurate = StoredInAccurateMode(*stored);
  error = CheckSections(*stored, SectionRules(accurate));
  if (!error.empty()) return nullptr;
  TStateImage image;
  image.Identity = stored->Identity;
  for (const TStoredSection& section : stored->Sections) {
    TStateSection inflated{section.Name, section.Version, {}};
    if (!InflateSection(section, inflated.Data, error)) return nullptr;
    image.Sections.push_back(std::move(inflated));
  }
  error = CheckMachineImage(image);
  if (!error.empty()) return nullptr;
  return std::make_shared<const TStateImage>(std::move(image));
}

}  // namespace

TStateIdentity LoadedRomIdentity() {
  TStateIdentity identity;
  identity.RomName = RomHeader.Name;
  if (RomImage != nullptr && RomImage->Data != nullptr) {
    // The image is kept as little-endian host words; hash it in the cartridge's byte order.
    std::vector<uint8_t> cartridge(RomImage->Size);
    for (uint32_t i = 0; i < RomImage->Size; ++i)
      cartridge[i] = (i ^ 3) < RomImage->Size ? RomImage->Data[i ^ 3] : 0;
    identity.RomHash = Sha256(cartridge.data(), cartridge.size());
  }
  return identity;
}

TStateImage CaptureMachine() {
  TStateImage image;
  image.Identity = LoadedRomIdentity();
  image.Sections.push_back(CaptureCpu());
  image.Sections.push_back(CaptureTlb());
  image.Sections.push_back(CaptureTlbPages());
  image.Sections.push_back(CapturePif());
  image.Sections.push_back(CaptureAccurate());
  if (AccurateHardware) {
    image.Sections.push_back(CaptureClock());
    image.Sections.push_back(CaptureWideCop0());
    image.Sections.push_back({kRdpStateSection, 1, RdpSaveState()});
    image.Sections.push_back({kRspStateSection, 1, RspSaveState()});
    image.Sections.push_back(CaptureAudio());
  }
  for (const TSavedBlock& block : SavedBlocks()) {
    const uint8_t* data = block.Storage.Data;
    image.Sections.push_back(
        {block.Name, 1, std::vector<uint8_t>(data, data + block.Storage.Size)});
  }
  return image;
}

std::string CheckMachineImage(const TStateImage& image) {
  if (!RomLoaded) return "no ROM is loaded";
  const TStateIdentity rom = LoadedRomIdentity();
  if (image.Identity.RomName != rom.RomName || image.Identity.RomHash != rom.RomHash) {
    const std::string name(image.Identity.RomName.data(),
                           strnlen(image.Identity.RomName.data(), image.Identity.RomName.size()));
    return "it belongs to another ROM (\"" + name + "\")";
  }
  const bool accurate = SavedInAccurateMode(image);
  const std::string sectionError = CheckSections(image, SectionRules(accurate));
  if (!sectionError.empty()) return sectionError;
  const std::string modeError = CheckAccurate(*image.Find(kAccurateSection));
  if (!modeError.empty()) return modeError;
  if (accurate) {
    const std::string rdpError = RdpCheckState(image.Find(kRdpStateSection)->Data);
    if (!rdpError.empty()) return rdpError;
    const std::string rspError = RspCheckState(image.Find(kRspStateSection)->Data);
    if (!rspError.empty()) return rspError;
    const std::string audioError = CheckAudio(*image.Find(kAudioSection));
    if (!audioError.empty()) return audioError;
  }
  return CheckTlbPages(*image.Find(kMapSection));
}

void RestoreMachine(const TStateImage& image) {
  RdramBytes = RdramBytesOfMode(SavedInAccurateMode(image));
  for (const TSavedBlock& block : SavedBlocks()) {
    const TStateSection& section = *image.Find(block.Name);
    std::memcpy(block.Storage.Data, section.Data.data(), block.Storage.Size);
  }
  MapMemoryBlocks();
  RestoreTlbPages(*image.Find(kMapSection));
  RestoreTlb(*image.Find(kTlbSection));
  RestoreCpu(*image.Find(kCpuSection));
  RestorePif(*image.Find(kPifSection));
  // The state's mode becomes the run's; rebuilding the map took back the mode's register pages.
  RestoreAccurate(*image.Find(kAccurateSection));
  if (AccurateHardware) {
    InstallAccurateHandlers();
    RestoreClock(*image.Find(kClockSection));
    RestoreWideCop0(image.Find(kWideCop0Section));
    RdpRestoreState(image.Find(kRdpStateSection)->Data);
    RspRestoreState(image.Find(kRspStateSection)->Data);
    RestoreAudio(*image.Find(kAudioSection));
    AccurateVideoRestored();
    SetAccurateFetch(PC.Lo);
  } else {
    SetInstrPtr(PC.Lo);
  }
}

std::shared_ptr<const TStateImage> ReadMachineState(const std::string& path, std::string& error) {
  try {
    return ReadState(path, error);
  } catch (const std::bad_alloc&) {
    error = "there is not enough memory to read it";
  } catch (const std::exception& failure) {
    error = failure.what();
  }
  return nullptr;
}

bool WriteMachineState(const std::string& path, const TStateImage& image, std::string& error) {
  return WriteFileAtomically(path, EncodeState(image), error);
}

}  // namespace vantor
