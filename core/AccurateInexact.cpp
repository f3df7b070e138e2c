#include "core/AccurateInexact.h"

#if defined(__x86_64__)

#include <cstdlib>

namespace vantor::accurate {

const bool kHostFma = [] {
  __builtin_cpu_init();
  return __builtin_cpu_supports("fma") != 0 && std::getenv("VANTOR_NO_FMA") == nullptr;
}();

// Each residual has at most as many significant bits as a double, and with the operands and
// result RoundedToNearest lets through, its lowest bit lies above the denormal range: the fused
// multiply-add gives it exactly, and it is zero just when the result was not rounded.
[[gnu::target("fma")]] bool ProductRounded(double x, double y, double r) {
  return __builtin_fma(x, y, -r) != 0;
}
[[gnu::target("fma")]] bool QuotientRounded(double x, double y, double r) {
  return __builtin_fma(r, y, -x) != 0;
}
[[gnu::target("fma")]] bool RootRounded(double x, double r) {
  return __builtin_fma(r, r, -x) != 0;
}

}  // namespace vantor::accurate

#endif
