// Vector instructions per CPU-second of the signal processor's vector unit on a multiply-
// accumulate loop: a 4x4 fixed-point matrix (integer and fraction halves) times vertices, the
// double-precision VMUDL/VMADM/VMADN/VMADH chain with broadcast elements, as transform code runs
// it. The median of the rounds is reported.
//   build/release/vector_bench [rounds] [million instructions per round]
#include <time.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "rsp/VectorUnit.h"

namespace {

using namespace vantor::rsp;

double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

constexpr uint32_t VectorOp(uint32_t funct, uint32_t vd, uint32_t vs, uint32_t vt, uint32_t e) {
  return 0x12u << 26 | 1u << 25 | e << 21 | vt << 16 | vs << 11 | vd << 6 | funct;
}

constexpr uint32_t VMUDL = 0x04, VMADL = 0x0C, VMADM = 0x0D, VMUDN = 0x06, VMADN = 0x0E,
                   VMADH = 0x0F, VSAR = 0x1D;

// Rows of the matrix in v0-v3 (integer) and v4-v7 (fraction); the vertex in v8 (integer) and v9
// (fraction); the result in v10 (integer) and v11 (fraction).
std::vector<uint32_t> TransformLoop() {
  std::vector<uint32_t> code;
  for (uint32_t column = 0; column < 4; ++column) {
    const uint32_t e = 8 + column;  // broadcast of the vertex's element
    const bool first = column == 0;
    code.push_back(VectorOp(first ? VMUDL : VMADL, 11, 4 + column, 9, e));
    code.push_back(VectorOp(VMADM, 11, column, 9, e));
    code.push_back(VectorOp(first ? VMUDN : VMADN, 11, 4 + column, 8, e));
    code.push_back(VectorOp(VMADH, 10, column, 8, e));
  }
  code.push_back(VectorOp(VSAR, 12, 0, 0, 9));
  code.push_back(VectorOp(VMADN, 11, 0, 0, 0));  // reads back the fraction with the clamp
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const double millions = argc > 2 ? std::max(1.0, std::atof(argv[2])) : 50.0;
  TVectorUnit unit{};
  std::mt19937 rng(64);
  for (TVector& v : unit.reg)
    for (uint16_t& x : v.e)
      x = static_cast<uint16_t>(rng());
  const std::vector<uint32_t> code = TransformLoop();
  const uint64_t passes = static_cast<uint64_t>(millions * 1e6) / code.size();
  std::vector<double> rates;
  for (int round = 0; round < rounds; ++round) {
    const double start = CpuSeconds();
    for (uint64_t pass = 0; pass < passes; ++pass)
      for (uint32_t word : code)
        ExecuteVectorOp(unit, word);
    const double seconds = CpuSeconds() - start;
    rates.push_back(static_cast<double>(passes * code.size()) / seconds / 1e6);
  }
  std::sort(rates.begin(), rates.end());
  uint32_t check = 0;
  for (uint16_t x : unit.reg[10].e)
    check = check * 31 + x;
  std::printf(
      "multiply-accumulate loop: %.1f million vector instructions per CPU-second "
      "(median of %d, result check %08X)\n",
      rates[rates.size() / 2], rounds, check);
  return 0;
}
