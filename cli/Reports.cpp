#include "cli/Reports.h"

#include <cstdio>
#include <utility>

#include "cli/OutputFile.h"
#include "cli/PngWriter.h"
#include "common/HexText.h"
#include "core/Accurate.h"
#include "core/CpuState.h"
#include "core/MemoryPeek.h"
#include "core/RegisterNames.h"
#include "debugger/Disassembler.h"
#include "debugger/RspDisassembler.h"
#include "memory/PlainPages.h"
#include "pixels/XLaters.h"
#include "rsp/Rsp.h"

namespace vantor::cli {

namespace {

std::string HighLow(uint64_t value) {
  return Hex8(static_cast<uint32_t>(value >> 32)) + " " + Hex8(static_cast<uint32_t>(value));
}

std::string Lanes(const rsp::TVector& v) {
  std::string text;
  for (uint16_t lane : v.e)
    text += (text.empty() ? "" : " ") + Hex(lane, 4);
  return text;
}

// The signal processor: its scalar registers and PC, the SP registers, the vector registers, the
// accumulator's three slices and the flags.
void AddRspLines(std::vector<std::string>& lines) {
  for (uint32_t i = 0; i < 32; ++i)
    lines.push_back("(RSP " + Hex2(i) + ") " + Hex8(RspCore.gpr[i]) + " " +
                    std::string(GprNames[i]));
  lines.push_back("(RSP PC) " + Hex8(RspCore.pc));
  for (uint32_t i = 0; i < kSpRegisters; ++i)
    lines.push_back("(SP " + std::string(SpRegisterNames[i]) + ") " + Hex8(RspPeekRegister(i)));
  const rsp::TVectorUnit& vu = RspCore.vu;
  for (uint32_t i = 0; i < 32; ++i)
    lines.push_back("(V" + Hex2(i) + ") " + Lanes(vu.reg[i]));
  lines.push_back("(ACC HI) " + Lanes(vu.accHigh));
  lines.push_back("(ACC MD) " + Lanes(vu.accMid));
  lines.push_back("(ACC LO) " + Lanes(vu.accLow));
  lines.push_back("(VCO) " + Hex(vu.vco, 4) + " (VCC) " + Hex(vu.vcc, 4) + " (VCE) " +
                  Hex2(vu.vce));
}

// The word at an address as the debugger's view reads it.
std::string InstructionText(uint32_t address) {
  const TPeek peek = PeekWord(address, TAccessKind::Fetch);
  switch (peek.result) {
    case TPeek::NoMap:
      return "* ILLEGAL MEMORY! *";
    case TPeek::Unmapped:
    case TPeek::Faulted:
      return "* UNMAPPED MEMORY! *";
    case TPeek::Read:
      break;
  }
  // In accurate mode IMEM holds the signal processor's code.
  if (AccurateHardware && IsImemAddress(address)) return DisasmRspOpcode(peek.word, address);
  return DisasmOpcode(peek.word, address);
}

}  // namespace

std::vector<std::string> RegisterLines() {
  std::vector<std::string> lines;
  for (uint32_t i = 0; i < 32; ++i)
    lines.push_back("(" + Hex2(i) + ") " + HighLow(Gpr[i]) + " " + std::string(GprNames[i]));
  lines.push_back("(PC) " + Hex8(PC.Hi) + " " + Hex8(PC.Lo));
  if (AccurateHardware) {
    lines.push_back("(HI) " + HighLow(AccurateHi));
    lines.push_back("(LO) " + HighLow(AccurateLo));
    AddRspLines(lines);
  } else {
    lines.push_back("MUL/DIV Temp reg " + HighLow(MulDivTemp));
  }
  return lines;
}

void WriteDisassembly(std::ostream& out, uint32_t address, uint32_t count) {
  for (uint32_t i = 0; i < count && out; ++i, address += 4)
    out << Hex8(address) << " : " << InstructionText(address) << '\n';
}

bool DumpRdram(const std::string& path, std::string& error) {
  std::vector<uint8_t> bytes(RdramBytes);
  for (uint32_t i = 0; i < RdramBytes; ++i)
    bytes[i] = RDRAM->Data[i ^ 3];
  TOutputFile out = OpenOutputFile(path, error);
  if (!out) return false;
  std::fwrite(bytes.data(), 1, bytes.size(), out.get());
  return CloseOutputFile(std::move(out), error);
}

bool WriteSnapshot(const TFrameCopy& frame, const std::string& path, std::string& error) {
  const size_t pixels = size_t(frame.width) * size_t(frame.height);
  std::vector<uint8_t> display(pixels * 4);
  if (frame.rgba.empty())
    XLatePixels(XLater32Info, frame.words.data(), 0, pixels, display.data());
  else
    XLater32Info.xlateRgba(frame.rgba.data(), display.data(), pixels);
  // XLate32 leaves 0x00RRGGBB words in little-endian memory: blue, green, red, zero.
  std::vector<uint8_t> rgb(pixels * 3);
  for (size_t i = 0; i < pixels; ++i) {
    rgb[i * 3] = display[i * 4 + 2];
    rgb[i * 3 + 1] = display[i * 4 + 1];
    rgb[i * 3 + 2] = display[i * 4];
  }
  return WritePng(path, static_cast<uint32_t>(frame.width), static_cast<uint32_t>(frame.height),
                  rgb, error);
}

}  // namespace vantor::cli
