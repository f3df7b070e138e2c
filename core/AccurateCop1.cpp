// The accurate-hardware mode's floating-point coprocessor: registers laid out by Status.FR, every
// arithmetic, rounding, conversion and compare instruction of the S, D, W and L formats, the
// rounding mode of FCR31 and its cause and flag bits. The host computes each result in the
// rounding mode FCR31 names and reports its IEEE-754 exceptions, which become the cause bits and
// are added to the flags, or raise the floating-point exception when enabled. What the unit has
// no hardware for raises the unimplemented operation exception instead: denormal and quiet NaN
// operands, denormal or underflowing results unless FCR31.FS flushes them, and conversions to an
// integer that does not fit.
//
// This file is built with -frounding-math, and the operands and results of host operations pass
// through volatile objects, so that the compiler neither folds an operation under the default
// rounding nor moves it across the calls that set the rounding mode and read the host's exception
// flags. Operations whose rounding RoundedToNearest tells touch neither and need no volatile.
#include <array>
#include <bit>
#include <cfenv>
#include <cmath>
#include <cstdint>
#include <limits>

#include "core/Accurate.h"
#include "core/AccurateExceptions.h"
#include "core/AccurateInexact.h"
#include "core/AccurateOps.h"
#include "core/Cop1.h"
#include "core/Cop1Ops.h"
#include "core/CpuState.h"
#include "core/FloatSemantics.h"
#include "core/InstrFields.h"
#include "core/RegisterAccess.h"

namespace vantor::accurate {

static_assert(std::numeric_limits<float>::is_iec559 && std::numeric_limits<double>::is_iec559);

namespace {

enum : uint32_t { kFmtS = 16, kFmtD = 17, kFmtW = 20, kFmtL = 21 };

// The r4300i's implementation and revision number, read-only.
constexpr uint32_t kFcr0Value = 0x00000A00;
// FCR31 bits a program can write: FS, the condition, cause, enables, flags and rounding mode.
constexpr uint32_t kFcr31Writable = 0x0183FFFF;
// FS: results too small for a normal number are flushed instead of raising unimplemented.
constexpr uint32_t kFcr31FlushToZero = 0x01000000;

// Register access and NaN encodings of a precision, with the default NaN and the NaN test of the
// default machine. In the r4300i's encoding a NaN with the top fraction bit set is signalling.
template <typename T>
struct Fp;
template <>
struct Fp<float> {
  using Bits = uint32_t;
  static constexpr Bits kDefaultNan = fpu::kDefaultNanS;
  static constexpr Bits kSignalBit = 0x00400000;
  static constexpr Bits kSignBit = 0x80000000;
  static constexpr Bits kExponent = 0x7F800000;
  static constexpr Bits kMinNormal = 0x00800000;
  static bool IsNan(Bits bits) { return fpu::IsNanS(bits); }
  static Bits Read(uint32_t reg) { return Cop1Regs[reg]; }
  static void Write(uint32_t reg, Bits value) { Cop1Regs[reg] = value; }
};
template <>
struct Fp<double> {
  using Bits = uint64_t;
  static constexpr Bits kDefaultNan = fpu::kDefaultNanD;
  static constexpr Bits kSignalBit = 0x00080000'00000000;
  static constexpr Bits kSignBit = 0x80000000'00000000;
  static constexpr Bits kExponent = 0x7FF00000'00000000;
  static constexpr Bits kMinNormal = 0x00100000'00000000;
  static bool IsNan(Bits bits) { return fpu::IsNanD(bits); }
  static Bits Read(uint32_t reg) { return AccurateFpr64(reg); }
  static void Write(uint32_t reg, Bits value) { WriteAccurateFpr64(reg, value); }
};

template <typename T>
bool IsNan(typename Fp<T>::Bits bits) {
  return Fp<T>::IsNan(bits);
}
template <typename T>
bool IsSignalling(typename Fp<T>::Bits bits) {
  return IsNan<T>(bits) && (bits & Fp<T>::kSignalBit) != 0;
}
template <typename T>
bool IsDenormal(typename Fp<T>::Bits bits) {
  return (bits & Fp<T>::kExponent) == 0 && (bits & ~Fp<T>::kSignBit) != 0;
}
// Operands the arithmetic has no hardware for: denormals and quiet NaNs.
template <typename T>
bool Unusual(typename Fp<T>::Bits bits) {
  return IsDenormal<T>(bits) || (IsNan<T>(bits) && !IsSignalling<T>(bits));
}
// Every NaN a computation produces is stored as the default NaN.
template <typename T>
typename Fp<T>::Bits Result(T value) {
  return fpu::ResultBits(value);
}

// The instruction's exceptions become the cause bits. When one of them is enabled, the
// floating-point exception is raised and the instruction writes nothing (true); otherwise they
// join the sticky flags and the instruction completes.
bool Trapped(uint32_t exceptions) {
  FCR31 = (FCR31 & ~kFcr31CauseMask) | exceptions << kFcr31CauseShift;
  if ((exceptions & FCR31 >> kFcr31EnableShift) != 0) {
    RaiseException(kExcFloatingPoint);
    return true;
  }
  FCR31 |= exceptions << kFcr31FlagShift;
  return false;
}

#if defined(__x86_64__)
constexpr uint32_t kMxcsrFlags = FE_ALL_EXCEPT;
constexpr uint32_t kMxcsrRoundingShift = 3;
constexpr uint32_t kMxcsrRounding = 0x6000;
static_assert((FE_TOWARDZERO << kMxcsrRoundingShift) == kMxcsrRounding);

// Volatile, with memory clobbered, so that neither moves across the volatile operands and result.
uint32_t ReadMxcsr() {
  uint32_t csr;
  asm volatile("stmxcsr %0" : "=m"(csr)::"memory");
  return csr;
}
void WriteMxcsr(uint32_t csr) {
  asm volatile("ldmxcsr %0" ::"m"(csr) : "memory");
}
#endif

// One host operation in FCR31's rounding mode, with the host's exception flags cleared before it
// and read after it. The thread goes back to round-to-nearest when the scope ends.
//
// On x86-64 every float and double operation here runs on the SSE unit, whose rounding control
// and exception flags live in MXCSR (the flags are the FE_ values' bits, the rounding control the
// FE_ rounding values shifted left by 3). Reading MXCSR is cheap, writing it is slow, so it is
// written only when its flags or rounding mode differ from the ones the operation needs; in a
// run of instructions that raise nothing in round-to-nearest it is never written. The x87 unit's
// flags, which library code using it may leave set, are neither cleared nor read: no operation
// here runs on that unit.
class HostOperation {
 public:
  HostOperation() : mode_(FCR31 & kFcr31RoundingMode) {
    static constexpr int kHostModes[4] = {FE_TONEAREST, FE_TOWARDZERO, FE_UPWARD, FE_DOWNWARD};
#if defined(__x86_64__)
    const uint32_t csr = ReadMxcsr();
    const uint32_t wanted = (csr & ~(kMxcsrRounding | kMxcsrFlags)) |
                            static_cast<uint32_t>(kHostModes[mode_]) << kMxcsrRoundingShift;
    if (wanted != csr) WriteMxcsr(wanted);
#else
    if (mode_ != 0) std::fesetround(kHostModes[mode_]);
    std::feclearexcept(FE_ALL_EXCEPT);
#endif
  }
  ~HostOperation() {
#if defined(__x86_64__)
    if (mode_ != 0) WriteMxcsr(ReadMxcsr() & ~kMxcsrRounding);
#else
    if (mode_ != 0) std::fesetround(FE_TONEAREST);
#endif
  }
  HostOperation(const HostOperation&) = delete;
  HostOperation& operator=(const HostOperation&) = delete;

  static uint32_t Exceptions() {
#if defined(__x86_64__)
    return kCauses[ReadMxcsr() & kMxcsrFlags];
#else
    return kCauses[std::fetestexcept(FE_ALL_EXCEPT)];
#endif
  }

 private:
  // The cause bits of each combination of the host's FE_ flags.
  static constexpr std::array<uint8_t, FE_ALL_EXCEPT + 1> kCauses = [] {
    std::array<uint8_t, FE_ALL_EXCEPT + 1> causes{};
    for (uint32_t raised = 0; raised <= FE_ALL_EXCEPT; ++raised) {
      uint32_t exceptions = 0;
      if (raised & FE_INEXACT) exceptions |= kFpInexact;
      if (raised & FE_UNDERFLOW) exceptions |= kFpUnderflow;
      if (raised & FE_OVERFLOW) exceptions |= kFpOverflow;
      if (raised & FE_DIVBYZERO) exceptions |= kFpDivByZero;
      if (raised & FE_INVALID) exceptions |= kFpInvalid;
      causes[raised] = static_cast<uint8_t>(exceptions);
    }
    return causes;
  }();

  uint32_t mode_;
};

// What the unit does not do in hardware (reserved formats and functions): the unimplemented
// operation exception, which no enable bit masks.
void Unimplemented(uint32_t) {
  FCR31 = (FCR31 & ~kFcr31CauseMask) | kFcr31Unimplemented;
  RaiseException(kExcFloatingPoint);
}

// A result below the smallest normal number (denormal, or rounded to zero from a tiny value).
// With FS set and neither underflow nor inexact enabled it is flushed, by the rounding mode, to
// zero or the smallest normal number of its sign, and raises underflow and inexact; otherwise
// the unit traps as unimplemented (false).
template <typename T>
bool Flushed(typename Fp<T>::Bits& result, uint32_t& exceptions) {
  using F = Fp<T>;
  const uint32_t trapping = (kFpUnderflow | kFpInexact) << kFcr31EnableShift;
  if ((FCR31 & kFcr31FlushToZero) == 0 || (FCR31 & trapping) != 0) {
    Unimplemented(0);
    return false;
  }
  const typename F::Bits sign = result & F::kSignBit;
  const uint32_t mode = FCR31 & kFcr31RoundingMode;
  const bool away = (mode == 2 && sign == 0) || (mode == 3 && sign != 0);
  result = sign | (away ? F::kMinNormal : 0);
  exceptions |= kFpUnderflow | kFpInexact;
  return true;
}
// Whether the instruction goes on with its result: always unless it underflowed. Inlined, as
// the common case is one test.
template <typename T>
[[gnu::always_inline]] inline bool Underflowed(typename Fp<T>::Bits& result, uint32_t& exceptions) {
  if ((exceptions & kFpUnderflow) == 0 && !IsDenormal<T>(result)) return true;
  return Flushed<T>(result, exceptions);
}

template <HostArithmetic kOp, typename T>
T Compute(T x, T y) {
  if constexpr (kOp == HostArithmetic::kAdd) return x + y;
  if constexpr (kOp == HostArithmetic::kSub) return x - y;
  if constexpr (kOp == HostArithmetic::kMul) return x * y;
  if constexpr (kOp == HostArithmetic::kDiv) return x / y;
  if constexpr (kOp == HostArithmetic::kSqrt) return std::sqrt(x);
}

// The operation in round-to-nearest where RoundedToNearest can tell whether it rounded and so
// that it raised nothing else: its result and exceptions come without reading or clearing the
// host's flags, which stay as earlier operations left them (true). The host rounds to nearest
// here: PrepareHostFloatingPoint sets it so and every HostOperation restores it.
template <HostArithmetic kOp, typename T>
bool ComputedInSoftware(typename Fp<T>::Bits a, typename Fp<T>::Bits b,
                        typename Fp<T>::Bits& result, uint32_t& exceptions) {
#if defined(__x86_64__)
  if ((FCR31 & kFcr31RoundingMode) != 0) return false;
  const T x = std::bit_cast<T>(a);
  const T y = std::bit_cast<T>(b);
  const T r = Compute<kOp, T>(x, y);
  const Rounding rounding = RoundedToNearest<kOp, T>(x, y, r);
  if (rounding == Rounding::kUnknown) return false;
  exceptions = rounding == Rounding::kRounded ? kFpInexact : 0;
  result = Result<T>(r);
  return true;
#else
  return false;
#endif
}

// fd = op(fs, ft) in the instruction's precision. A NaN operand gives the default NaN, and the
// invalid-operation exception when it is signalling.
template <HostArithmetic kOp, typename T>
void ArithmeticIn(uint32_t w) {
  using F = Fp<T>;
  constexpr bool kBinary = kOp != HostArithmetic::kSqrt;
  const auto a = F::Read(Fs(w));
  const auto b = kBinary ? F::Read(Ft(w)) : a;
  if (Unusual<T>(a) || Unusual<T>(b)) {
    Unimplemented(w);
    return;
  }
  if (IsNan<T>(a) || IsNan<T>(b)) {
    if (!Trapped(IsSignalling<T>(a) || IsSignalling<T>(b) ? kFpInvalid : 0u))
      F::Write(Fd(w), F::kDefaultNan);
    return;
  }
  uint32_t exceptions;
  typename F::Bits result;
  if (!ComputedInSoftware<kOp, T>(a, b, result, exceptions)) {
    HostOperation host;
    volatile T x = std::bit_cast<T>(a);
    volatile T y = std::bit_cast<T>(b);
    volatile T r = Compute<kOp, T>(x, y);
    exceptions = HostOperation::Exceptions();
    result = Result<T>(r);
  }
  if (Underflowed<T>(result, exceptions) && !Trapped(exceptions)) F::Write(Fd(w), result);
}
template <HostArithmetic kOp>
void Arithmetic(uint32_t w) {
  switch (Fmt(w)) {
    case kFmtS:
      ArithmeticIn<kOp, float>(w);
      break;
    case kFmtD:
      ArithmeticIn<kOp, double>(w);
      break;
    default:
      Unimplemented(w);
      break;
  }
}

// ABS and NEG change only the sign of a number; a signalling NaN gives the default NaN.
template <typename T>
void SignIn(uint32_t w, bool absolute) {
  using F = Fp<T>;
  const auto a = F::Read(Fs(w));
  if (Unusual<T>(a)) {
    Unimplemented(w);
    return;
  }
  if (IsNan<T>(a)) {
    if (!Trapped(kFpInvalid)) F::Write(Fd(w), F::kDefaultNan);
    return;
  }
  if (!Trapped(0)) F::Write(Fd(w), absolute ? a & ~F::kSignBit : a ^ F::kSignBit);
}
void Sign(uint32_t w, bool absolute) {
  switch (Fmt(w)) {
    case kFmtS:
      SignIn<float>(w, absolute);
      break;
    case kFmtD:
      SignIn<double>(w, absolute);
      break;
    default:
      Unimplemented(w);
      break;
  }
}

// How a conversion to an integer rounds: to nearest even, toward zero, up, down, or as FCR31
// says.
enum class Rounding { Nearest, Zero, Up, Down, Current };

double Round(double value, Rounding rounding) {
  switch (rounding == Rounding::Current ? static_cast<Rounding>(FCR31 & kFcr31RoundingMode)
                                        : rounding) {
    case Rounding::Zero:
      return std::trunc(value);
    case Rounding::Up:
      return std::ceil(value);
    case Rounding::Down:
      return std::floor(value);
    default:
      return std::nearbyint(value);  // the thread rounds to nearest even outside HostOperation
  }
}

// The source in S or D as a double (exact for both); false, with the unimplemented operation
// raised, for another format or an operand the unit cannot convert (a denormal or any NaN).
bool FloatSource(uint32_t w, double& value) {
  bool usable;
  switch (Fmt(w)) {
    case kFmtS:
      usable = !IsDenormal<float>(Cop1Regs[Fs(w)]) && !IsNan<float>(Cop1Regs[Fs(w)]);
      value = std::bit_cast<float>(Cop1Regs[Fs(w)]);
      break;
    case kFmtD:
      usable = !IsDenormal<double>(AccurateFpr64(Fs(w))) && !IsNan<double>(AccurateFpr64(Fs(w)));
      value = std::bit_cast<double>(AccurateFpr64(Fs(w)));
      break;
    default:
      usable = false;
      break;
  }
  if (!usable) Unimplemented(w);
  return usable;
}

// The unit converts only what fits the integer format: an infinity or a value that rounds
// outside it raises the unimplemented operation exception. A rounded result that differs is
// inexact.
template <typename Int>
void ToInteger(uint32_t w, Rounding rounding) {
  double value;
  if (!FloatSource(w, value)) return;
  constexpr double kLimit = -static_cast<double>(std::numeric_limits<Int>::min());
  const double rounded = Round(value, rounding);
  if (!(rounded >= -kLimit && rounded < kLimit)) {
    Unimplemented(w);
    return;
  }
  const Int result = static_cast<Int>(rounded);
  if (Trapped(rounded != value ? kFpInexact : 0u)) return;
  if constexpr (sizeof(Int) == 4)
    Cop1Regs[Fd(w)] = static_cast<uint32_t>(result);
  else
    WriteAccurateFpr64(Fd(w), static_cast<uint64_t>(result));
}

// A conversion by the host from the source format to T, in FCR31's rounding mode.
template <typename T, typename From>
void Convert(uint32_t w, From source) {
  uint32_t exceptions;
  typename Fp<T>::Bits result;
  {
    HostOperation host;
    volatile From x = source;
    volatile T r = static_cast<T>(x);
    exceptions = HostOperation::Exceptions();
    result = Result<T>(r);
  }
  if (Underflowed<T>(result, exceptions) && !Trapped(exceptions)) Fp<T>::Write(Fd(w), result);
}
template <typename T, typename From>
void ConvertFloat(uint32_t w) {
  const auto bits = Fp<From>::Read(Fs(w));
  if (Unusual<From>(bits)) {
    Unimplemented(w);
    return;
  }
  if (IsNan<From>(bits)) {
    if (!Trapped(kFpInvalid)) Fp<T>::Write(Fd(w), Fp<T>::kDefaultNan);
    return;
  }
  Convert<T>(w, std::bit_cast<From>(bits));
}

// The sixteen compares: bit 0 of the condition holds for unordered operands, bit 1 for equal,
// bit 2 for less; bit 3 makes the compare signal invalid on any NaN. A quiet compare signals
// only on a signalling NaN.
template <typename T>
void CompareIn(uint32_t w) {
  using F = Fp<T>;
  const uint32_t condition = Funct(w) & 15;
  const auto a = F::Read(Fs(w));
  const auto b = F::Read(Ft(w));
  const bool unordered = IsNan<T>(a) || IsNan<T>(b);
  bool holds;
  if (unordered) {
    holds = (condition & 1) != 0;
  } else {
    const T x = std::bit_cast<T>(a);
    const T y = std::bit_cast<T>(b);
    holds = ((condition & 2) != 0 && x == y) || ((condition & 4) != 0 && x < y);
  }
  const bool invalid =
      unordered && ((condition & 8) != 0 || IsSignalling<T>(a) || IsSignalling<T>(b));
  if (!Trapped(invalid ? kFpInvalid : 0u))
    FCR31 = holds ? FCR31 | kFcr31Condition : FCR31 & ~kFcr31Condition;
}

void ADD(uint32_t w) {
  Arithmetic<HostArithmetic::kAdd>(w);
}
void SUB(uint32_t w) {
  Arithmetic<HostArithmetic::kSub>(w);
}
void MUL(uint32_t w) {
  Arithmetic<HostArithmetic::kMul>(w);
}
void DIV(uint32_t w) {
  Arithmetic<HostArithmetic::kDiv>(w);
}
void SQRT(uint32_t w) {
  Arithmetic<HostArithmetic::kSqrt>(w);
}
void ABS(uint32_t w) {
  Sign(w, true);
}
void NEG(uint32_t w) {
  Sign(w, false);
}
// A bit-for-bit copy that leaves FCR31 alone.
void MOV(uint32_t w) {
  switch (Fmt(w)) {
    case kFmtS:
      Cop1Regs[Fd(w)] = Cop1Regs[Fs(w)];
      break;
    case kFmtD:
      WriteAccurateFpr64(Fd(w), AccurateFpr64(Fs(w)));
      break;
    default:
      Unimplemented(w);
      break;
  }
}

void ROUND_L(uint32_t w) {
  ToInteger<int64_t>(w, Rounding::Nearest);
}
void TRUNC_L(uint32_t w) {
  ToInteger<int64_t>(w, Rounding::Zero);
}
void CEIL_L(uint32_t w) {
  ToInteger<int64_t>(w, Rounding::Up);
}
void FLOOR_L(uint32_t w) {
  ToInteger<int64_t>(w, Rounding::Down);
}
void ROUND_W(uint32_t w) {
  ToInteger<int32_t>(w, Rounding::Nearest);
}
void TRUNC_W(uint32_t w) {
  ToInteger<int32_t>(w, Rounding::Zero);
}
void CEIL_W(uint32_t w) {
  ToInteger<int32_t>(w, Rounding::Up);
}
void FLOOR_W(uint32_t w) {
  ToInteger<int32_t>(w, Rounding::Down);
}
void CVT_W(uint32_t w) {
  ToInteger<int32_t>(w, Rounding::Current);
}
void CVT_L(uint32_t w) {
  ToInteger<int64_t>(w, Rounding::Current);
}

void CVT_S(uint32_t w) {
  switch (Fmt(w)) {
    case kFmtD:
      ConvertFloat<float, double>(w);
      break;
    case kFmtW:
      Convert<float>(w, static_cast<int32_t>(Cop1Regs[Fs(w)]));
      break;
    case kFmtL:
      Convert<float>(w, static_cast<int64_t>(AccurateFpr64(Fs(w))));
      break;
    default:
      Unimplemented(w);
      break;
  }
}
void CVT_D(uint32_t w) {
  switch (Fmt(w)) {
    case kFmtS:
      ConvertFloat<double, float>(w);
      break;
    case kFmtW:
      Convert<double>(w, static_cast<int32_t>(Cop1Regs[Fs(w)]));
      break;
    case kFmtL:
      Convert<double>(w, static_cast<int64_t>(AccurateFpr64(Fs(w))));
      break;
    default:
      Unimplemented(w);
      break;
  }
}

void Compare(uint32_t w) {
  switch (Fmt(w)) {
    case kFmtS:
      CompareIn<float>(w);
      break;
    case kFmtD:
      CompareIn<double>(w);
      break;
    default:
      Unimplemented(w);
      break;
  }
}

void DMFC1(uint32_t w) {
  Gpr[Rt(w)] = AccurateFpr64(Fs(w));
}
void DMTC1(uint32_t w) {
  WriteAccurateFpr64(Fs(w), Gpr[Rt(w)]);
}
void CFC1(uint32_t w) {
  uint32_t value = 0;
  if (Fs(w) == 0)
    value = kFcr0Value;
  else if (Fs(w) == 31)
    value = FCR31;
  Gpr[Rt(w)] = Sext32(value);
}
// FCR0 is read-only; FCR31 keeps only the bits that exist. A cause bit written with its enable
// set (or the unimplemented one) raises the floating-point exception at once.
void CTC1(uint32_t w) {
  if (Fs(w) != 31) return;
  FCR31 = LowWord(Gpr[Rt(w)]) & kFcr31Writable;
  const uint32_t cause = FCR31 >> kFcr31CauseShift;
  if ((cause & (FCR31 >> kFcr31EnableShift | kFcr31Unimplemented >> kFcr31CauseShift)) != 0)
    RaiseException(kExcFloatingPoint);
}

const std::array<OpcodeHandler, 64> kFunctionTable = [] {
  std::array<OpcodeHandler, 64> table;
  table.fill(Unimplemented);
  const OpcodeHandler first16[16] = {ADD,     SUB,     MUL,     DIV,     SQRT,   ABS,
                                     MOV,     NEG,     ROUND_L, TRUNC_L, CEIL_L, FLOOR_L,
                                     ROUND_W, TRUNC_W, CEIL_W,  FLOOR_W};
  for (size_t i = 0; i < 16; ++i)
    table[i] = first16[i];
  table[32] = CVT_S;
  table[33] = CVT_D;
  table[36] = CVT_W;
  table[37] = CVT_L;
  for (size_t i = 48; i < 64; ++i)
    table[i] = Compare;
  return table;
}();

void Function(uint32_t w) {
  kFunctionTable[Funct(w)](w);
}
void BC1(uint32_t w) {
  Bc1Table[(w >> 16) & 3](w);
}

const std::array<OpcodeHandler, 32> kCop1Table = [] {
  std::array<OpcodeHandler, 32> table;
  table.fill(Unimplemented);
  table[0] = Cop1Table[0];  // MFC1
  table[4] = Cop1Table[4];  // MTC1
  table[1] = DMFC1;
  table[2] = CFC1;
  table[5] = DMTC1;
  table[6] = CTC1;
  table[8] = BC1;
  for (size_t fmt : {kFmtS, kFmtD, kFmtW, kFmtL})
    table[fmt] = Function;
  return table;
}();

}  // namespace

void Cop1Op(uint32_t w) {
  if (CoprocessorUsable(1)) kCop1Table[Fmt(w)](w);
}

OpcodeHandler Cop1Handler(uint32_t w) {
  const OpcodeHandler handler = kCop1Table[Fmt(w)];
  return handler == Function ? kFunctionTable[Funct(w)] : handler;
}

}  // namespace vantor::accurate
