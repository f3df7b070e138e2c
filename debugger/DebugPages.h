// The debugger's and the register viewer's pages as text: lists of (x, y, text) items built from
// a snapshot, which the windows paint and tests read.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "debugger/Disassembler.h"
#include "debugger/MachineSnapshot.h"

namespace vantor {

// How an item is drawn: plain, or as a line the run stops before.
enum class TTextTone { Plain, Break };

// Positions are in units of a character grid: a cell is kCellWidth units wide and kRowHeight
// units tall, so an item at x starts x / kCellWidth cells from the left. The views lay the grid
// out for their font.
inline constexpr int kCellWidth = 6;
inline constexpr int kRowHeight = 10;

struct TTextItem {
  int x;
  int y;
  std::string text;
  TTextTone tone = TTextTone::Plain;
  bool operator==(const TTextItem&) const = default;
};
using TTextPage = std::vector<TTextItem>;

// The cells a view needs so that every page of its kind fits, the widest texts included.
struct TPageGrid {
  int columns;
  int rows;
};

// The register viewer's tabs, in order.
// The register viewer's tabs, in order: the processor's, then the signal processor's, which the
// viewer shows only for a machine in accurate mode.
enum TRegTab { kGprTab, kCop0Tab, kCop1WordTab, kCop1PairTab, kRspTab, kRspVectorTab };
inline constexpr int kRegTabs = 6;
inline constexpr TPageGrid kRegisterGrid{49, 35};

// One tab of the register viewer. decimalPoint is the user's decimal separator.
TTextPage RegisterPage(const TMachineSnapshot& shot, int tab, std::string_view decimalPoint);

// The 32 lines of the disassembly view, with "->" beside the line at PC; the lines at the
// breakpoints' addresses are marked with "*" and drawn in the breakpoint tone.
TTextPage DisassemblyPage(const TMachineSnapshot& shot,
                          const std::vector<uint32_t>& breakpoints = {});
// A line's text starts at x = 20: an address, " : " and at most the longest instruction text.
inline constexpr TPageGrid kDisassemblyGrid{
    (20 + (11 + kLongestDisasmText) * kCellWidth + kCellWidth - 1) / kCellWidth, kViewLines};

// A register's floating-point value: fixed point with 3 decimals, rounded to 7 significant
// digits; scientific when the integer part needs more than 7; inf and nan as the C library
// names them.
std::string FloatText(double value, std::string_view decimalPoint);

// An address from hexadecimal digits 0-9 and A-F; every other character is skipped after
// calling badCharacter. Empty text gives 0; more than 8 digits keep the last 8.
uint32_t HexToAddr(std::string_view text, const std::function<void()>& badCharacter);

// The address of the view line at a vertical position of the view, in grid units.
uint32_t ClickedAddress(uint32_t viewAddr, int y);

// Scrolling the view: how each scroll code moves the address of its middle line.
enum class TScrollCode { LineUp, LineDown, PageUp, PageDown, Top, Bottom, Thumb };
uint32_t ScrolledViewAddr(uint32_t viewAddr, TScrollCode code, uint32_t pc);

// The view address that brings pc into view: unchanged while pc is on one of the 32 lines,
// otherwise pc itself on the middle line.
uint32_t FollowPc(uint32_t viewAddr, uint32_t pc);

}  // namespace vantor
