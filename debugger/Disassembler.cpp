#include "debugger/Disassembler.h"

#include <array>
#include <initializer_list>
#include <string_view>

#include "common/HexText.h"
#include "core/Accurate.h"
#include "core/InstrFields.h"
#include "core/RegisterNames.h"

namespace vantor {

uint32_t DisasmAddr = 0;

namespace {

// A formatter builds the whole line from the entry's name, the instruction word and its address.
using Formatter = std::string (*)(std::string_view name, uint32_t word, uint32_t address);

struct Entry {
  Formatter format;
  std::string_view name;
};

std::string Format(const Entry& entry, uint32_t word, uint32_t address) {
  return entry.format(entry.name, word, address);
}

// Every entry has a name (a dispatching entry names its table), so an entry missing from an
// initialiser shows as an empty name. Function addresses cannot be compared here: under the
// sanitizers that is not a constant expression.
template <size_t N>
constexpr bool Complete(const std::array<Entry, N>& table) {
  for (const Entry& entry : table)
    if (entry.name.empty()) return false;
  return true;
}

// ---- Text helpers ----

std::string Join(std::string head, std::initializer_list<std::string_view> operands) {
  bool first = true;
  for (std::string_view operand : operands) {
    if (!first) head += ',';
    head += operand;
    first = false;
  }
  return head;
}

std::string Line(std::string_view name, std::initializer_list<std::string_view> operands) {
  return Join(std::string(name) + ' ', operands);
}

std::string_view RsName(uint32_t w) {
  return GprNames[Rs(w)];
}
std::string_view RtName(uint32_t w) {
  return GprNames[Rt(w)];
}
std::string_view RdName(uint32_t w) {
  return GprNames[Rd(w)];
}

uint32_t BranchTarget(uint32_t w, uint32_t address) {
  return address + 4 + (SImm32(w) << 2);
}

// J and JAL stay inside the 256 MB region of their delay slot.
uint32_t JumpTarget(uint32_t w, uint32_t address) {
  return ((address + 4) & 0xF0000000) | (Target(w) << 2);
}

// "(offset,base)", the addressing part of loads and stores.
std::string MemoryOperand(uint32_t w) {
  return "(" + Hex8(SImm32(w)) + "," + std::string(RsName(w)) + ")";
}

// Only FCR0 and FCR31 exist; any other number is marked as such.
std::string ControlName(uint32_t fs) {
  if (fs == 0) return "FCR0";
  if (fs == 31) return "FCR31";
  return "FCR" + std::to_string(fs) + " ***";
}

// ---- Formatters, one per operand layout ----

std::string Text(std::string_view name, uint32_t, uint32_t) {
  return std::string(name);
}

std::string Jump(std::string_view name, uint32_t w, uint32_t address) {
  return Line(name, {Hex8(JumpTarget(w, address))});
}
std::string BranchOnly(std::string_view name, uint32_t w, uint32_t address) {
  return Line(name, {Hex8(BranchTarget(w, address))});
}
std::string BranchRtRs(std::string_view name, uint32_t w, uint32_t address) {
  return Line(name, {RtName(w), RsName(w), Hex8(BranchTarget(w, address))});
}
std::string BranchRs(std::string_view name, uint32_t w, uint32_t address) {
  return Line(name, {RsName(w), Hex8(BranchTarget(w, address))});
}

std::string ImmSigned(std::string_view name, uint32_t w, uint32_t) {
  return Line(name, {RtName(w), RsName(w), Hex8(SImm32(w))});
}
std::string ImmUnsigned(std::string_view name, uint32_t w, uint32_t) {
  return Line(name, {RtName(w), RsName(w), Hex8(Imm(w))});
}
std::string LoadUpper(std::string_view name, uint32_t w, uint32_t) {
  return Line(name, {RtName(w), Hex8(Imm(w))});
}
std::string LoadStore(std::string_view name, uint32_t w, uint32_t) {
  return Line(name, {RtName(w), MemoryOperand(w)});
}
std::string Cop1LoadStore(std::string_view name, uint32_t w, uint32_t) {
  return Line(name, {FprNames[Ft(w)], MemoryOperand(w)});
}

std::string ShiftConst(std::string_view name, uint32_t w, uint32_t) {
  return Line(name, {RdName(w), RtName(w), Hex8(Sa(w))});
}
std::string ShiftVar(std::string_view name, uint32_t w, uint32_t) {
  return Line(name, {RdName(w), RtName(w), RsName(w)});
}
std::string ThreeReg(std::string_view name, uint32_t w, uint32_t) {
  return Line(name, {RdName(w), RsName(w), RtName(w)});
}
std::string RsRt(std::string_view name, uint32_t w, uint32_t) {
  return Line(name, {RsName(w), RtName(w)});
}
std::string RsOnly(std::string_view name, uint32_t w, uint32_t) {
  return Line(name, {RsName(w)});
}
std::string RdOnly(std::string_view name, uint32_t w, uint32_t) {
  return Line(name, {RdName(w)});
}
std::string RdRs(std::string_view name, uint32_t w, uint32_t) {
  return Line(name, {RdName(w), RsName(w)});
}

std::string Cop0Move(std::string_view name, uint32_t w, uint32_t) {
  return Line(name, {RtName(w), Cop0RegNames[Rd(w)]});
}
std::string Cop1MoveToGpr(std::string_view name, uint32_t w, uint32_t) {
  return Line(name, {RtName(w), FprNames[Fs(w)]});
}
std::string Cop1MoveFromGpr(std::string_view name, uint32_t w, uint32_t) {
  return Line(name, {FprNames[Fs(w)], RtName(w)});
}
std::string Cop1ControlFrom(std::string_view name, uint32_t w, uint32_t) {
  return Line(name, {RtName(w), ControlName(Fs(w))});
}
std::string Cop1ControlTo(std::string_view name, uint32_t w, uint32_t) {
  return Line(name, {ControlName(Fs(w)), RtName(w)});
}

// COP1 arithmetic: the base mnemonic, a format suffix (which carries the space), the operands.
constexpr std::array<std::string_view, 6> kFormatSuffixes = {".S ", ".D ", ".? ",
                                                             ".? ", ".W ", ".L "};

// Arithmetic and compares tell single from double by bit 21 alone.
std::string_view PrecisionSuffix(uint32_t w) {
  return kFormatSuffixes[(w >> 21) & 1];
}
// Conversions also tell the integer formats apart; fmt 16, 17, 20 and 21 give 0, 1, 4 and 5.
std::string_view ConvertSuffix(uint32_t w) {
  return kFormatSuffixes[Fmt(w) & 5];
}

std::string FpLine(std::string_view name, std::string_view suffix,
                   std::initializer_list<std::string_view> operands) {
  return Join(std::string(name) + std::string(suffix), operands);
}

std::string FpThree(std::string_view name, uint32_t w, uint32_t) {
  return FpLine(name, PrecisionSuffix(w), {FprNames[Fd(w)], FprNames[Fs(w)], FprNames[Ft(w)]});
}
std::string FpTwo(std::string_view name, uint32_t w, uint32_t) {
  return FpLine(name, PrecisionSuffix(w), {FprNames[Fd(w)], FprNames[Fs(w)]});
}
std::string FpConvert(std::string_view name, uint32_t w, uint32_t) {
  return FpLine(name, ConvertSuffix(w), {FprNames[Fd(w)], FprNames[Fs(w)]});
}
std::string FpCompare(std::string_view name, uint32_t w, uint32_t) {
  return FpLine(name, PrecisionSuffix(w), {FprNames[Fs(w)], FprNames[Ft(w)]});
}

// ---- Tables ----

// Indexes a sub-table with a field of the word; every field is exactly as wide as its table.
template <const auto& kTable, uint32_t (*Field)(uint32_t)>
std::string Dispatch(std::string_view, uint32_t w, uint32_t address) {
  return Format(kTable[Field(w)], w, address);
}

constexpr uint32_t Bc1Condition(uint32_t w) {
  return (w >> 16) & 3;
}

constexpr std::string_view kIllegalCpu = "* ILLEGAL CPU OPCODE! *";
constexpr std::string_view kIllegalSpecial = "* ILLEGAL CPU SPECIAL OPCODE! *";
constexpr std::string_view kIllegalRegImm = "* ILLEGAL CPU REGIMM OPCODE! *";
constexpr std::string_view kIllegalCop0 = "* ILLEGAL COP0 OPCODE! *";
constexpr std::string_view kIllegalTlb = "* ILLEGAL TLB OPCODE! *";
constexpr std::string_view kIllegalCop1 = "* ILLEGAL COP1 OPCODE! *";
constexpr std::string_view kIllegalCop1Ext = "* ILLEGAL COP1 EXT OPCODE! *";
constexpr std::string_view kUnimplemented = "** UNIMPLEMENTED **";

constexpr Entry kUnimpl = {Text, kUnimplemented};

// Fills a table with one entry, for the sparse coprocessor tables.
template <size_t N>
constexpr std::array<Entry, N> Filled(Entry entry) {
  std::array<Entry, N> table{};
  table.fill(entry);
  return table;
}

constexpr std::array<Entry, 64> kTlbTable = [] {
  auto table = Filled<64>({Text, kIllegalTlb});
  table[1] = {Text, "TLBR"};
  table[2] = {Text, "TLBWI"};
  table[6] = {Text, "TLBWR"};
  table[8] = {Text, "TLBP"};
  table[24] = {Text, "ERET"};
  return table;
}();

constexpr std::array<Entry, 32> kCop0Table = [] {
  auto table = Filled<32>({Text, kIllegalCop0});
  table[0] = {Cop0Move, "MFC0"};
  table[4] = {Cop0Move, "MTC0"};
  table[16] = {Dispatch<kTlbTable, Funct>, "TLB"};
  return table;
}();

constexpr std::array<Entry, 4> kBc1Table = {{
    {BranchOnly, "BC1F"},
    {BranchOnly, "BC1T"},
    {BranchOnly, "BC1FL"},
    {BranchOnly, "BC1TL"},
}};

constexpr Entry kIllFp = {Text, kIllegalCop1Ext};

// clang-format off
constexpr std::array<Entry, 64> kCop1FunctionTable = {{
  {FpThree, "ADD"}, {FpThree, "SUB"}, {FpThree, "MUL"}, {FpThree, "DIV"},
  {FpTwo, "SQRT"}, {FpTwo, "ABS"}, {FpTwo, "MOV"}, {FpTwo, "NEG"},
  {FpConvert, "ROUND.L"}, {FpConvert, "TRUNC.L"}, {FpConvert, "CEIL.L"}, {FpConvert, "FLOOR.L"},
  {FpConvert, "ROUND.W"}, {FpConvert, "TRUNC.W"}, {FpConvert, "CEIL.W"}, {FpConvert, "FLOOR.W"},
  kIllFp, kIllFp, kIllFp, kIllFp, kIllFp, kIllFp, kIllFp, kIllFp,
  kIllFp, kIllFp, kIllFp, kIllFp, kIllFp, kIllFp, kIllFp, kIllFp,
  {FpConvert, "CVT.S"}, {FpConvert, "CVT.D"}, kIllFp, kIllFp,
  {FpConvert, "CVT.W"}, {FpConvert, "CVT.L"}, kIllFp, kIllFp,
  kIllFp, kIllFp, kIllFp, kIllFp, kIllFp, kIllFp, kIllFp, kIllFp,
  {FpCompare, "CF"}, {FpCompare, "CUN"}, {FpCompare, "CEQ"}, {FpCompare, "CUEQ"},
  {FpCompare, "COLT"}, {FpCompare, "CULT"}, {FpCompare, "COLE"}, {FpCompare, "CULE"},
  {FpCompare, "CSF"}, {FpCompare, "CNGLE"}, {FpCompare, "CSEQ"}, {FpCompare, "CNGL"},
  {FpCompare, "CLT"}, {FpCompare, "CNGE"}, {FpCompare, "CLE"}, {FpCompare, "CNGT"},
}};
// clang-format on

constexpr std::array<Entry, 32> kCop1Table = [] {
  auto table = Filled<32>({Text, kIllegalCop1});
  table[0] = {Cop1MoveToGpr, "MFC1"};
  table[1] = {Cop1MoveToGpr, "DMFC1"};
  table[2] = {Cop1ControlFrom, "CFC1"};
  table[4] = {Cop1MoveFromGpr, "MTC1"};
  table[5] = {Cop1MoveFromGpr, "DMTC1"};
  table[6] = {Cop1ControlTo, "CTC1"};
  table[8] = {Dispatch<kBc1Table, Bc1Condition>, "BC1"};
  for (size_t fmt : {16, 17, 20, 21})
    table[fmt] = {Dispatch<kCop1FunctionTable, Funct>, "COP1 function"};
  return table;
}();

constexpr Entry kIllSp = {Text, kIllegalSpecial};

// clang-format off
constexpr std::array<Entry, 64> kSpecialTable = {{
  {ShiftConst, "SLL"}, kIllSp, {ShiftConst, "SRL"}, {ShiftConst, "SRA"},
  {ShiftVar, "SLLV"}, kIllSp, {ShiftVar, "SRLV"}, {ShiftVar, "SRAV"},
  {RsOnly, "JR"}, {RdRs, "JALR"}, kIllSp, kIllSp, kUnimpl, kUnimpl, kIllSp, kUnimpl,
  {RdOnly, "MFHI"}, {RsOnly, "MTHI"}, {RdOnly, "MFLO"}, {RsOnly, "MTLO"},
  {ShiftVar, "DSLLV"}, kIllSp, {ShiftVar, "DSRLV"}, {ShiftVar, "DSRAV"},
  {RsRt, "MULT"}, {RsRt, "MULTU"}, {RsRt, "DIV"}, {RsRt, "DIVU"},
  {RsRt, "DMULT"}, {RsRt, "DMULTU"}, {RsRt, "DDIV"}, {RsRt, "DDIVU"},
  {ThreeReg, "ADD"}, {ThreeReg, "ADDU"}, {ThreeReg, "SUB"}, {ThreeReg, "SUBU"},
  {ThreeReg, "AND"}, {ThreeReg, "OR"}, {ThreeReg, "XOR"}, {ThreeReg, "NOR"},
  kIllSp, kIllSp, {ThreeReg, "SLT"}, {ThreeReg, "SLTU"},
  {ThreeReg, "DADD"}, {ThreeReg, "DADDU"}, {ThreeReg, "DSUB"}, {ThreeReg, "DSUBU"},
  kUnimpl, kUnimpl, kUnimpl, kUnimpl, kUnimpl, kIllSp, kUnimpl, kIllSp,
  {ShiftConst, "DSLL"}, kIllSp, {ShiftConst, "DSRL"}, {ShiftConst, "DSRA"},
  {ShiftConst, "DSLL32"}, kIllSp, {ShiftConst, "DSRL32"}, {ShiftConst, "DSRA32"},
}};
// clang-format on

constexpr Entry kIllRi = {Text, kIllegalRegImm};

// clang-format off
constexpr std::array<Entry, 32> kRegImmTable = {{
  {BranchRs, "BLTZ"}, {BranchRs, "BGEZ"}, {BranchRs, "BLTZL"}, {BranchRs, "BGEZL"},
  kIllRi, kIllRi, kIllRi, kIllRi,
  kUnimpl, kUnimpl, kUnimpl, kUnimpl, kUnimpl, kIllRi, kUnimpl, kIllRi,
  {BranchRs, "BLTZAL"}, {BranchRs, "BGEZAL"}, {BranchRs, "BLTZALL"}, {BranchRs, "BGEZALL"},
  kIllRi, kIllRi, kIllRi, kIllRi,
  kIllRi, kIllRi, kIllRi, kIllRi, kIllRi, kIllRi, kIllRi, kIllRi,
}};
// clang-format on

constexpr Entry kIll = {Text, kIllegalCpu};

// clang-format off
constexpr std::array<Entry, 64> kPrimaryTable = {{
  {Dispatch<kSpecialTable, Funct>, "SPECIAL"}, {Dispatch<kRegImmTable, Rt>, "REGIMM"},
  {Jump, "J"}, {Jump, "JAL"},
  {BranchRtRs, "BEQ"}, {BranchRtRs, "BNE"}, {BranchRs, "BLEZ"}, {BranchRs, "BGTZ"},
  {ImmSigned, "ADDI"}, {ImmSigned, "ADDIU"}, {ImmSigned, "SLTI"}, {ImmSigned, "SLTIU"},
  {ImmUnsigned, "ANDI"}, {ImmUnsigned, "ORI"}, {ImmUnsigned, "XORI"}, {LoadUpper, "LUI"},
  {Dispatch<kCop0Table, Rs>, "COP0"}, {Dispatch<kCop1Table, Rs>, "COP1"}, kIll, kIll,
  {BranchRtRs, "BEQL"}, {BranchRtRs, "BNEL"}, {BranchRs, "BLEZL"}, {BranchRs, "BGTZL"},
  {ImmSigned, "DADDI"}, {ImmSigned, "DADDIU"}, kUnimpl, kUnimpl,
  kIll, kIll, kIll, kIll,
  {LoadStore, "LB"}, {LoadStore, "LH"}, {LoadStore, "LWL"}, {LoadStore, "LW"},
  {LoadStore, "LBU"}, {LoadStore, "LHU"}, {LoadStore, "LWR"}, {LoadStore, "LWU"},
  {LoadStore, "SB"}, {LoadStore, "SH"}, {LoadStore, "SWL"}, {LoadStore, "SW"},
  kUnimpl, kUnimpl, {LoadStore, "SWR"}, {Text, "CACHE <N/A>"},
  kUnimpl, {Cop1LoadStore, "LWC1"}, kIll, kIll,
  kUnimpl, {Cop1LoadStore, "LDC1"}, kUnimpl, {LoadStore, "LD"},
  kUnimpl, {Cop1LoadStore, "SWC1"}, kIll, kIll,
  kUnimpl, kUnimpl, kUnimpl, {LoadStore, "SD"},
}};
// clang-format on

// The accurate-hardware mode executes these too; its tables name them where the default machine
// reports them as not implemented.
constexpr std::array<Entry, 64> kAccurateSpecialTable = [] {
  auto table = kSpecialTable;
  table[0x0F] = {Text, "SYNC"};
  return table;
}();

constexpr std::array<Entry, 64> kAccuratePrimaryTable = [] {
  auto table = kPrimaryTable;
  table[0x00] = {Dispatch<kAccurateSpecialTable, Funct>, "SPECIAL"};
  table[0x1A] = {LoadStore, "LDL"};
  table[0x1B] = {LoadStore, "LDR"};
  table[0x2C] = {LoadStore, "SDL"};
  table[0x2D] = {LoadStore, "SDR"};
  table[0x30] = {LoadStore, "LL"};
  table[0x34] = {LoadStore, "LLD"};
  table[0x38] = {LoadStore, "SC"};
  table[0x3C] = {LoadStore, "SCD"};
  table[0x3D] = {Cop1LoadStore, "SDC1"};
  return table;
}();

static_assert(Complete(kPrimaryTable));
static_assert(Complete(kSpecialTable));
static_assert(Complete(kRegImmTable));
static_assert(Complete(kCop0Table));
static_assert(Complete(kTlbTable));
static_assert(Complete(kCop1Table));
static_assert(Complete(kBc1Table));
static_assert(Complete(kCop1FunctionTable));

}  // namespace

std::string DisasmOpcode(uint32_t word, uint32_t address) {
  return DisasmOpcode(word, address, AccurateHardware);
}

std::string DisasmOpcode(uint32_t word, uint32_t address, bool accurate) {
  return Format((accurate ? kAccuratePrimaryTable : kPrimaryTable)[Op(word)], word, address);
}

std::string DisasmOpcode(uint32_t word) {
  return DisasmOpcode(word, DisasmAddr);
}

}  // namespace vantor
