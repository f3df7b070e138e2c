// Any bytes as a controller input script: parsed as the runner parses one, and, when it parses,
// looked up at frames from the first to the last there is. scripts/fuzz bounds each allocation,
// so a line or a script that the parser held whole beyond its limits would be a finding.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <sstream>
#include <string>

#include "cli/InputScript.h"

// Where the look-ups land, so that the optimiser keeps them.
volatile uint32_t LastWord;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  std::string error;
  const auto script = vantor::cli::TInputScript::Parse(in, error);
  if (!script) {
    if (error.rfind("line ", 0) != 0) std::abort();  // every refusal names its line
    // and quotes no more than the start of what it refuses, however long the line.
    if (error.size() > 200) std::abort();
    return 0;
  }
  for (uint32_t frame : {0u, 1u, 2u, 59u, 60u, 1000u, 0x7FFFFFFFu, 0xFFFFFFFEu,
                         std::numeric_limits<uint32_t>::max()})
    LastWord = script->WordAt(frame);
  return 0;
}
