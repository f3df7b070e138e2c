// Any bytes as a ROM file: loaded as both programs load it, then, when it loads, mapped and run
// from reset for a while, as a start of emulation would.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/FileAccess.h"
#include "core/Cpu.h"
#include "memory/AddressMap.h"
#include "memory/RomImage.h"
#include "tests/fuzz/FuzzMachine.h"

namespace {

constexpr int kStepsPerRun = 10000;

// The input becomes a file in memory, reached through its /proc path like any other file.
int InputFile() {
  static const int fd = [] {
    const int made = memfd_create("rom", MFD_CLOEXEC);
    if (made < 0) std::abort();
    return made;
  }();
  return fd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vantor;
  const int fd = InputFile();
  if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))
    std::abort();
  const std::string path = "/proc/self/fd/" + std::to_string(fd);

  // The main window's read of the same file.
  TReadableFile file(path, TFileKind::Rom);
  if (file.Ok()) {
    std::vector<uint8_t> stream(file.Size());
    if (!file.ReadAll(stream.data())) std::abort();
  }

  if (LoadRomImage(path)) {
    fuzz::StartRun();
    for (int i = 0; i < kStepsPerRun; ++i)
      CpuStep();
  }
  UnloadRomImage();
  return 0;
}
