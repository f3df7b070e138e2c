// The runner's WAV output read back through libsndfile: every frame exactly, at the first
// frames' rate, into files that seek and into pipes that do not, and a failing device reported.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "cli/OutputFile.h"
#include "cli/WavWriter.h"
#include "tests/support/TempDir.h"

namespace vantor {
namespace {

struct TWav {
  int rate = 0;
  int channels = 0;
  int format = 0;
  std::vector<int16_t> samples;
};

TWav ReadWav(const std::string& path) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  EXPECT_NE(file, nullptr) << sf_strerror(nullptr);
  TWav wav;
  if (file == nullptr) return wav;
  wav.rate = info.samplerate;
  wav.channels = info.channels;
  wav.format = info.format;
  wav.samples.resize(static_cast<size_t>(info.frames * info.channels));
  EXPECT_EQ(sf_readf_short(file, wav.samples.data(), info.frames), info.frames);
  sf_close(file);
  return wav;
}

// Stereo frames of a sweep over the whole 16-bit range, in pieces of uneven size.
std::vector<int16_t> Sweep(size_t frames) {
  std::vector<int16_t> samples;
  for (size_t i = 0; i < frames; ++i) {
    samples.push_back(static_cast<int16_t>(i * 977));
    samples.push_back(static_cast<int16_t>(-32768 + static_cast<int>(i % 65536)));
  }
  return samples;
}

void Play(cli::TWavWriter& wav, const std::vector<int16_t>& samples, double rate) {
  size_t at = 0;
  for (size_t piece = 1; at < samples.size(); piece = piece * 3 + 1) {
    const size_t count = std::min(2 * piece, samples.size() - at);
    wav.PlayFrames(std::span<const int16_t>(samples.data() + at, count), rate);
    at += count;
  }
}

class WavWriterTest : public ::testing::Test {
 protected:
  cli::TOutputFile Open(const std::string& path) {
    std::string error;
    cli::TOutputFile file = cli::OpenOutputFile(path, error);
    EXPECT_TRUE(file) << error;
    return file;
  }
  test::TempDir dir;
};

TEST_F(WavWriterTest, EveryFrameAtTheFirstRateIntoAFileAndAPipe) {
  const std::vector<int16_t> first = Sweep(70000);
  const std::vector<int16_t> second = Sweep(300);
  std::vector<int16_t> all = first;
  all.insert(all.end(), second.begin(), second.end());

  const std::string path = (dir.Path() / "file.wav").string();
  {
    cli::TWavWriter wav(Open(path));
    Play(wav, first, 48'681'812.0 / 1104);   // 44095.85: the file says 44096
    Play(wav, second, 48'681'812.0 / 2001);  // kept as they are, at the file's rate
    std::string error;
    EXPECT_TRUE(wav.Finish(44100, error)) << error;
    EXPECT_EQ(wav.FramesWritten(), all.size() / 2);
  }
  TWav fromFile = ReadWav(path);
  EXPECT_EQ(fromFile.rate, 44096);
  EXPECT_EQ(fromFile.channels, 2);
  EXPECT_EQ(fromFile.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
  EXPECT_EQ(fromFile.samples, all);

  // A pipe cannot seek back to the header: the file arrives whole, its header right.
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  std::string piped;
  std::thread reader([&] {
    char buffer[4096];
    for (ssize_t got; (got = read(ends[0], buffer, sizeof buffer)) > 0;)
      piped.append(buffer, static_cast<size_t>(got));
    close(ends[0]);
  });
  {
    cli::TWavWriter wav(cli::TOutputFile(fdopen(ends[1], "wb")));
    Play(wav, all, 22050);
    std::string error;
    EXPECT_TRUE(wav.Finish(44100, error)) << error;
  }
  reader.join();
  const std::string copy = (dir.Path() / "piped.wav").string();
  std::ofstream(copy, std::ios::binary) << piped;
  TWav fromPipe = ReadWav(copy);
  EXPECT_EQ(fromPipe.rate, 22050);
  EXPECT_EQ(fromPipe.samples, all);
  std::ifstream fileBytes(path, std::ios::binary);
  EXPECT_EQ(piped.size(), std::string(std::istreambuf_iterator<char>(fileBytes), {}).size());
}

TEST_F(WavWriterTest, ARunWithoutSoundAndAFullDevice) {
  const std::string path = (dir.Path() / "quiet.wav").string();
  {
    cli::TWavWriter wav(Open(path));
    std::string error;
    EXPECT_TRUE(wav.Finish(44100, error)) << error;
  }
  const TWav quiet = ReadWav(path);
  EXPECT_EQ(quiet.rate, 44100);
  EXPECT_TRUE(quiet.samples.empty());

  // The runner refuses a device as an output; the writer itself is given one to fill.
  cli::TWavWriter full(cli::TOutputFile(std::fopen("/dev/full", "wb")));
  Play(full, Sweep(50000), 32000);
  std::string error;
  EXPECT_FALSE(full.Finish(44100, error));
  EXPECT_EQ(error, "No space left on device");
}

}  // namespace
}  // namespace vantor
