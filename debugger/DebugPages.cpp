#include "debugger/DebugPages.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

#include "common/HexText.h"
#include "core/RegisterNames.h"
#include "debugger/Disassembler.h"
#include "debugger/RspDisassembler.h"
#include "rsp/Rsp.h"

namespace vantor {

namespace {

constexpr int kRow = kRowHeight;

std::string Label(uint32_t index) {
  return "(" + Hex2(index) + ")";
}

std::string HighLow(uint64_t value) {
  return Hex8(static_cast<uint32_t>(value >> 32)) + " " + Hex8(static_cast<uint32_t>(value));
}

std::string WithPoint(std::string text, std::string_view decimalPoint) {
  const size_t dot = text.find('.');
  if (dot != std::string::npos) text.replace(dot, 1, decimalPoint);
  return text;
}

float WordAsFloat(uint32_t word) {
  float value;
  std::memcpy(&value, &word, sizeof value);
  return value;
}

double PairAsDouble(uint32_t low, uint32_t high) {
  const uint64_t bits = uint64_t{high} << 32 | low;
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

void ControlRows(TTextPage& page, const TMachineSnapshot& shot) {
  page.push_back({10, 320, "(FCR0)"});
  page.push_back({60, 320, Hex8(shot.fcr0)});
  page.push_back({220, 320, "FCR0"});
  page.push_back({10, 330, "(FCR31)"});
  page.push_back({60, 330, Hex8(shot.fcr31)});
  page.push_back({220, 330, "FCR31"});
}

// The signal processor's scalar registers, with the SP registers, its PC and the vector unit's
// flags beside them.
void RspRows(TTextPage& page, const TMachineSnapshot& shot) {
  for (uint32_t i = 0; i < 32; ++i) {
    const int y = kRow * static_cast<int>(i);
    page.push_back({10, y, Label(i)});
    page.push_back({40, y, Hex8(shot.rsp.gpr[i])});
    page.push_back({100, y, std::string(GprNames[i])});
  }
  for (uint32_t i = 0; i < kSpRegisters; ++i) {
    const int y = kRow * static_cast<int>(i);
    page.push_back({150, y, std::string(SpRegisterNames[i])});
    page.push_back({210, y, Hex8(shot.sp[i])});
  }
  page.push_back({150, kRow * 9, "PC"});
  page.push_back({210, kRow * 9, Hex8(shot.rsp.pc)});
  // The vector unit's flags: its own tab has no row left for them.
  const rsp::TVectorUnit& vu = shot.rsp.vu;
  const std::pair<const char*, std::string> flags[] = {
      {"VCO", Hex(vu.vco, 4)}, {"VCC", Hex(vu.vcc, 4)}, {"VCE", Hex2(vu.vce)}};
  for (int i = 0; i < 3; ++i) {
    page.push_back({150, kRow * (11 + i), flags[i].first});
    page.push_back({210, kRow * (11 + i), flags[i].second});
  }
}

std::string LanesText(const rsp::TVector& v) {
  std::string text;
  for (uint16_t lane : v.e)
    text += (text.empty() ? "" : " ") + Hex(lane, 4);
  return text;
}

// The vector registers lane by lane and the accumulator's three slices.
void VectorRows(TTextPage& page, const TMachineSnapshot& shot) {
  const rsp::TVectorUnit& vu = shot.rsp.vu;
  for (uint32_t i = 0; i < 32; ++i) {
    const int y = kRow * static_cast<int>(i);
    page.push_back({4, y, Hex2(i)});
    page.push_back({22, y, LanesText(vu.reg[i])});
  }
  const rsp::TVector* slices[] = {&vu.accHigh, &vu.accMid, &vu.accLow};
  const char* names[] = {"AH", "AM", "AL"};
  for (int i = 0; i < 3; ++i) {
    page.push_back({4, 320 + kRow * i, names[i]});
    page.push_back({22, 320 + kRow * i, LanesText(*slices[i])});
  }
}

}  // namespace

std::string FloatText(double value, std::string_view decimalPoint) {
  char text[64];
  if (!std::isfinite(value)) {
    std::snprintf(text, sizeof text, "%g", value);
    return text;
  }
  // Seven significant digits first; the decimals beyond them print as zeros.
  std::snprintf(text, sizeof text, "%.6e", value);
  const double rounded = std::strtod(text, nullptr);
  if (std::fabs(rounded) >= 1e7) {
    std::snprintf(text, sizeof text, "%.6E", value);
    return WithPoint(text, decimalPoint);
  }
  std::snprintf(text, sizeof text, "%.3f", rounded);
  return WithPoint(text, decimalPoint);
}

TTextPage RegisterPage(const TMachineSnapshot& shot, int tab, std::string_view decimalPoint) {
  TTextPage page;
  switch (tab) {
    case kGprTab:
      for (uint32_t i = 0; i < 32; ++i) {
        const int y = kRow * static_cast<int>(i);
        page.push_back({10, y, Label(i)});
        page.push_back({40, y, HighLow(shot.gpr[i])});
        page.push_back({150, y, std::string(GprNames[i])});
      }
      page.push_back({10, 320, "(PC)"});
      page.push_back({40, 320, Hex8(shot.pc.Hi) + " " + Hex8(shot.pc.Lo)});
      page.push_back({150, 320, "PC"});
      if (shot.accurate) {
        page.push_back({10, 330, "(HI)"});
        page.push_back({40, 330, HighLow(shot.hi)});
        page.push_back({150, 330, "HI"});
        page.push_back({10, 340, "(LO)"});
        page.push_back({40, 340, HighLow(shot.lo)});
        page.push_back({150, 340, "LO"});
      } else {
        page.push_back({40, 330, HighLow(shot.mulDiv)});
        page.push_back({150, 330, "MUL/DIV Temp reg"});
      }
      break;
    case kCop0Tab:
      for (uint32_t i = 0; i < 32; ++i) {
        const int y = kRow * static_cast<int>(i);
        page.push_back({10, y, Label(i)});
        page.push_back({40, y, Hex8(shot.cop0[i])});
        page.push_back({100, y, std::string(Cop0RegNames[i])});
      }
      page.push_back({40, 320, Hex8(static_cast<uint32_t>(shot.viCounter))});
      page.push_back({100, 320, "VI Counter"});
      break;
    case kCop1WordTab:
      for (uint32_t i = 0; i < 32; ++i) {
        const int y = kRow * static_cast<int>(i);
        page.push_back({10, y, Label(i)});
        page.push_back(
            {60, y,
             Hex8(shot.cop1[i]) + "  " + FloatText(WordAsFloat(shot.cop1[i]), decimalPoint)});
        page.push_back({220, y, std::string(FprNames[i])});
      }
      ControlRows(page, shot);
      break;
    case kCop1PairTab:
      // A pair on one line: its words, high first, then their value and the even register's name.
      for (uint32_t k = 0; k < 16; ++k) {
        const int y = kRow * static_cast<int>(k);
        const uint32_t low = shot.cop1[2 * k], high = shot.cop1[2 * k + 1];
        page.push_back({10, y, Label(k)});
        page.push_back({60, y, Hex8(high) + " " + Hex8(low)});
        page.push_back({174, y, FloatText(PairAsDouble(low, high), decimalPoint)});
        page.push_back({270, y, std::string(FprNames[2 * k])});
      }
      ControlRows(page, shot);
      break;
    case kRspTab:
      RspRows(page, shot);
      break;
    case kRspVectorTab:
      VectorRows(page, shot);
      break;
    default:
      break;
  }
  return page;
}

TTextPage DisassemblyPage(const TMachineSnapshot& shot, const std::vector<uint32_t>& breakpoints) {
  TTextPage page;
  uint32_t address = shot.viewAddr - kViewLead;
  for (size_t line = 0; line < kViewLines; ++line, address += 4) {
    const int y = kRow * static_cast<int>(line);
    std::string text = Hex8(address) + " : ";
    switch (shot.kinds[line]) {
      case TViewWord::NoMap:
        text += "* ILLEGAL MEMORY! *";
        break;
      case TViewWord::Unmapped:
        text += "* UNMAPPED MEMORY! *";
        break;
      case TViewWord::Read:
        // In accurate mode IMEM holds the signal processor's code.
        text += shot.accurate && IsImemAddress(address) ? DisasmRspOpcode(shot.words[line], address)
                                                        : DisasmOpcode(shot.words[line], address);
        break;
    }
    const bool isBreak =
        std::find(breakpoints.begin(), breakpoints.end(), address) != breakpoints.end();
    const TTextTone tone = isBreak ? TTextTone::Break : TTextTone::Plain;
    page.push_back({20, y, std::move(text), tone});
    if (isBreak) page.push_back({12, y, "*", tone});
    if (address == shot.pc.Lo) page.push_back({0, y, "->"});
    // The signal processor's next instruction.
    if (shot.accurate && IsImemAddress(address) && (address & 0xFFF) == shot.rsp.pc)
      page.push_back({0, y, "=>"});
  }
  return page;
}

uint32_t HexToAddr(std::string_view text, const std::function<void()>& badCharacter) {
  uint32_t value = 0;
  for (const char c : text) {
    if (c >= '0' && c <= '9') {
      value = value * 16 + static_cast<uint32_t>(c - '0');
    } else if (c >= 'A' && c <= 'F') {
      value = value * 16 + static_cast<uint32_t>(c - 'A' + 10);
    } else if (badCharacter) {
      badCharacter();
    }
  }
  return value;
}

uint32_t ClickedAddress(uint32_t viewAddr, int y) {
  const int line = y / kRow;  // y within the view is never negative
  return viewAddr + static_cast<uint32_t>(line - kViewLines / 2) * 4;
}

uint32_t ScrolledViewAddr(uint32_t viewAddr, TScrollCode code, uint32_t pc) {
  switch (code) {
    case TScrollCode::LineUp:
      return viewAddr - 4;
    case TScrollCode::LineDown:
      return viewAddr + 4;
    case TScrollCode::PageUp:
      return viewAddr - 64;
    case TScrollCode::PageDown:
      return viewAddr + 64;
    case TScrollCode::Top:
    case TScrollCode::Bottom:
      return pc;
    case TScrollCode::Thumb:
      break;
  }
  return viewAddr;
}

uint32_t FollowPc(uint32_t viewAddr, uint32_t pc) {
  const uint32_t first = viewAddr - kViewLead;
  return pc - first < kViewLines * 4u ? viewAddr : pc;
}

}  // namespace vantor
