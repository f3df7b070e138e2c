// The runner's --wav output: every frame the audio interface played, as a 16-bit stereo WAV file
// at the rate the first frames came at, written through libsndfile.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "cli/OutputFile.h"
#include "common/Host.h"

struct sf_private_tag;

namespace vantor::cli {

class TWavWriter : public TAudioSink {
 public:
  // Writes into an output the runner opened. A file that cannot seek (a pipe) gets the WAV file
  // whole when it is finished, so that its header holds the true length.
  explicit TWavWriter(TOutputFile file);
  ~TWavWriter() override;
  TWavWriter(const TWavWriter&) = delete;
  TWavWriter& operator=(const TWavWriter&) = delete;

  // From the emulation thread while a run goes. The file's rate is the first frames' rate,
  // rounded to whole frames a second; frames at another rate are written as they are, and the
  // change is reported once on standard error.
  void PlayFrames(std::span<const int16_t> samples, double rate) override;

  // Completes the file (a file without frames gets `idleRate`); false with the reason when
  // anything could not be written.
  bool Finish(uint32_t idleRate, std::string& error);

  uint64_t FramesWritten() const { return frames_; }

  // Where libsndfile's writes go: the file itself, or memory for a file that cannot seek.
  struct TTarget {
    std::FILE* file;
    bool seekable;
    std::vector<uint8_t> memory;
    int64_t position = 0;
    int64_t length = 0;
    bool failed = false;
  };

 private:
  bool Open(uint32_t rate);

  TOutputFile file_;
  TTarget target_;
  sf_private_tag* sound_ = nullptr;
  double rate_ = 0;
  bool rateChangeReported_ = false;
  uint64_t frames_ = 0;
  std::string error_;
};

}  // namespace vantor::cli
