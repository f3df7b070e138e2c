// Whether an FPU operation in round-to-nearest rounded its result, worked out from its operands
// and result rather than from the host's exception flags. Reading those takes the host's flags
// register twice and clearing the sticky inexact flag a slow write of it, before nearly every
// operation of a typical program; here the host's flags are neither read nor written.
//
// Each test answers only where the operands and result rule out every exception but inexact and
// the error of the result is itself exactly representable; elsewhere it answers kUnknown and the
// caller asks the host. Products, quotients and roots of floats are exact in double; for doubles
// they take a fused multiply-add, which the host may lack: then they answer kUnknown.
#pragma once

#include <bit>
#include <cstdint>

namespace vantor::accurate {

enum class HostArithmetic { kAdd, kSub, kMul, kDiv, kSqrt };
enum class Rounding { kUnknown, kExact, kRounded };

#if defined(__x86_64__)

// Whether the host has a fused multiply-add and VANTOR_NO_FMA is not set (which takes the path
// of hosts without it, so that its tests run here too).
extern const bool kHostFma;

// Whether x * y, x / y and sqrt(x) rounded to r, by the residual a fused multiply-add computes
// exactly; only when kHostFma, and under the bounds RoundedToNearest checks.
bool ProductRounded(double x, double y, double r);
bool QuotientRounded(double x, double y, double r);
bool RootRounded(double x, double r);

namespace inexact {

template <typename T>
struct Limits;
template <>
struct Limits<float> {
  using Bits = uint32_t;
  static constexpr Bits kInfinity = 0x7F800000;
  static constexpr Bits kHuge = Bits{127 + 100} << 23;  // 2^100: no step of 2Sum overflows
  static constexpr Bits kTiny = Bits{127 - 100} << 23;  // 2^-100: far from underflowing
};
template <>
struct Limits<double> {
  using Bits = uint64_t;
  static constexpr Bits kInfinity = 0x7FF00000'00000000;
  static constexpr Bits kHuge = Bits{1023 + 1000} << 52;  // 2^1000: no step of 2Sum overflows
  // 2^-900: far from underflowing, and so are the residuals of products, quotients and roots.
  static constexpr Bits kTiny = Bits{1023 - 900} << 52;
};

template <typename T>
typename Limits<T>::Bits Magnitude(T value) {
  using Bits = typename Limits<T>::Bits;
  return std::bit_cast<Bits>(value) & ~(Bits{1} << (sizeof(Bits) * 8 - 1));
}

inline Rounding Of(bool rounded) {
  return rounded ? Rounding::kRounded : Rounding::kExact;
}

// A finite result this far from underflowing: no invalid operation, overflow, underflow or
// division by zero, and finite, non-zero operands of a product or quotient.
template <typename T>
bool FarFromLimits(T r) {
  return Magnitude(r) >= Limits<T>::kTiny && Magnitude(r) < Limits<T>::kInfinity;
}

// The error of s = x + y rounded to nearest (2Sum), exact when no step overflows.
template <typename T>
T SumError(T x, T y, T s) {
  const T yPart = s - x;
  const T xPart = s - yPart;
  return (x - xPart) + (y - yPart);
}

}  // namespace inexact

// Whether r, the result of the operation on x (and y) in round-to-nearest, was rounded; when
// known, the operation raised no other exception. x and y are neither NaNs nor denormals.
template <HostArithmetic kOp, typename T>
Rounding RoundedToNearest(T x, T y, T r) {
  using inexact::Magnitude;
  using inexact::Of;
  using L = inexact::Limits<T>;
  using Bits = typename L::Bits;
  constexpr bool kSingle = sizeof(T) == 4;
  if constexpr (kOp == HostArithmetic::kAdd || kOp == HostArithmetic::kSub) {
    // A sum of finite operands is exact whenever it is tiny.
    if (Magnitude(x) >= L::kHuge || Magnitude(y) >= L::kHuge) return Rounding::kUnknown;
    return Of(inexact::SumError(x, kOp == HostArithmetic::kAdd ? y : -y, r) != 0);
  } else if constexpr (kSingle && kOp == HostArithmetic::kSqrt) {
    // Negative operands compare above the bound too.
    if (std::bit_cast<Bits>(x) >= L::kInfinity) return Rounding::kUnknown;
    return Of(double{r} * double{r} != double{x});
  } else if constexpr (kSingle) {
    if (!inexact::FarFromLimits(r)) return Rounding::kUnknown;
    if constexpr (kOp == HostArithmetic::kMul) return Of(double{x} * double{y} != double{r});
    return Of(double{r} * double{y} != double{x});
  } else if constexpr (kOp == HostArithmetic::kSqrt) {
    const Bits bits = std::bit_cast<Bits>(x);
    if (!kHostFma || bits < L::kTiny || bits >= L::kInfinity) return Rounding::kUnknown;
    return Of(RootRounded(x, r));
  } else {
    if (!kHostFma || !inexact::FarFromLimits(r)) return Rounding::kUnknown;
    if constexpr (kOp == HostArithmetic::kMul) return Of(ProductRounded(x, y, r));
    // The residual's bound comes from the dividend.
    if (Magnitude(x) < L::kTiny) return Rounding::kUnknown;
    return Of(QuotientRounded(x, y, r));
  }
}

#endif

}  // namespace vantor::accurate
