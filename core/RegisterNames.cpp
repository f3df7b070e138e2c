#include "core/RegisterNames.h"

namespace vantor {

// clang-format off
const std::array<std::string_view, 32> GprNames = {
  "R0", "AT", "V0", "V1", "A0", "A1", "A2", "A3",
  "T0", "T1", "T2", "T3", "T4", "T5", "T6", "T7",
  "S0", "S1", "S2", "S3", "S4", "S5", "S6", "S7",
  "T8", "T9", "K0", "K1", "GP", "SP", "S8", "RA",
};

const std::array<std::string_view, 32> FprNames = {
  "FP00", "FP01", "FP02", "FP03", "FP04", "FP05", "FP06", "FP07",
  "FP08", "FP09", "FP0A", "FP0B", "FP0C", "FP0D", "FP0E", "FP0F",
  "FP10", "FP11", "FP12", "FP13", "FP14", "FP15", "FP16", "FP17",
  "FP18", "FP19", "FP1A", "FP1B", "FP1C", "FP1D", "FP1E", "FP1F",
};

const std::array<std::string_view, 32> Cop0RegNames = {
  "INDEX", "RANDOM", "ENTRYLO0", "ENTRYLO1", "CONTEXT", "PAGEMASK", "WIRED", "RESERVED0",
  "BADVADDR", "COUNT", "ENTRYHI", "COMPARE", "STATUS", "CAUSE", "EPC", "PREVID",
  "CONFIG", "LLADDR", "WATCHLO", "WATCHHI", "XCONTEXT", "RESERVED1", "RESERVED2", "RESERVED3",
  "RESERVED4", "RESERVED5", "PERR", "CACHEERR", "TAGLO", "TAGHI", "ERROREPC", "RESERVED6",
};
// clang-format on

}  // namespace vantor
