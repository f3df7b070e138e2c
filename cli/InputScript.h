// Scripted controller input for the headless runner: the controller's state by frame, so tests
// and scripts can drive a program without a window.
//
// One line per change: the frame from which the state holds, the buttons held (A B Z Start L R
// CUp CDown CLeft CRight DUp DDown DLeft DRight, in any case) and the stick's X and Y (-128 to
// 127, right and up positive). Blank lines and text after `#` are ignored. Before the first line
// the controller is at rest. A script has at most kMaxScriptLines lines of at most
// kMaxScriptLineChars characters each, so that no script can take more than a few megabytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <vector>

namespace vantor::cli {

inline constexpr size_t kMaxScriptLineChars = 1024;
inline constexpr uint32_t kMaxScriptLines = 1000000;

class TInputScript {
 public:
  // On failure returns nothing and sets error to "line N: what is wrong", quoting at most a short
  // prefix of what it refuses.
  static std::optional<TInputScript> Parse(std::istream& in, std::string& error);

  // The controller word once `frame` frames have fallen due.
  uint32_t WordAt(uint32_t frame) const;

 private:
  struct TStep {
    uint32_t frame;
    uint32_t word;
  };
  std::vector<TStep> steps_;
};

}  // namespace vantor::cli
