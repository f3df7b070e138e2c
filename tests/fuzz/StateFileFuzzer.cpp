// Any bytes as a save-state file, read as both programs read one, with one of our ROMs loaded so
// that the identity check passes for inputs made from it. The bytes go in as they are and, when
// their checksum does not match, once more with it mended, so that mutations reach the sections
// behind it. A state the reader accepts is restored and run for a while: acceptance promises
// that the machine can start from it. scripts/fuzz bounds each allocation, so a declared size
// that the reader inflated before checking it would be a finding.
#include <sys/mman.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "core/Cpu.h"
#include "core/MachineImage.h"
#include "memory/RomImage.h"
#include "tests/fuzz/FuzzMachine.h"

namespace {

constexpr int kStepsPerRun = 2000;
constexpr size_t kChecksumSize = 4;

int InputFile() {
  static const int fd = [] {
    const int made = memfd_create("state", MFD_CLOEXEC);
    if (made < 0) std::abort();
    return made;
  }();
  return fd;
}

// Loads the ROM the seed states were taken from and builds the map once.
void LoadOurRom() {
  static const bool loaded = [] {
    if (!vantor::LoadRomImage(VANTOR_FUZZ_STATE_ROM)) std::abort();
    vantor::fuzz::StartRun();
    return true;
  }();
  (void)loaded;
}

void ReadAndRun(const uint8_t* data, size_t size) {
  using namespace vantor;
  const int fd = InputFile();
  if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))
    std::abort();
  std::string error;
  const auto image = ReadMachineState("/proc/self/fd/" + std::to_string(fd), error);
  if (image == nullptr) {
    if (error.empty()) std::abort();  // a refusal always says why
    return;
  }
  RestoreMachine(*image);
  for (int i = 0; i < kStepsPerRun; ++i)
    CpuStep();
}

uint32_t Crc32(const uint8_t* data, size_t size) {
  return static_cast<uint32_t>(crc32(crc32(0, Z_NULL, 0), data, static_cast<uInt>(size)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  LoadOurRom();
  ReadAndRun(data, size);

  if (size < kChecksumSize) return 0;
  const size_t body = size - kChecksumSize;
  const uint32_t crc = Crc32(data, body);
  std::vector<uint8_t> mended(data, data + size);
  for (size_t i = 0; i < kChecksumSize; ++i)
    mended[body + i] = static_cast<uint8_t>(crc >> (8 * i));
  if (!std::equal(mended.begin() + static_cast<ptrdiff_t>(body), mended.end(), data + body))
    ReadAndRun(mended.data(), mended.size());
  return 0;
}
