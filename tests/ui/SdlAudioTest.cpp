// The desktop program's speakers on SDL's file-writing ("disk") audio driver, which plays at a
// real pace into a file: a sine wave fed at the audio interface's rate in real time comes out at
// the device's rate with its pitch, nothing dropped or repeated, silence while it is not to be
// heard and during an under-run, and no click anywhere. How the queue's fill steers the rate is
// the converter's own test, which needs no clock.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "tests/support/TempDir.h"
#include "ui/SdlAudio.h"

namespace vantor {
namespace {

constexpr double kSourceRate = 48'681'812.0 / 1522;  // 31985.4 frames a second
constexpr double kTone = 441;
constexpr double kAmplitude = 12000;
constexpr double kClockSkew = 0.003;
// The queue's target here: room for the feeding thread to be late on a busy machine, which the
// program's own 40 ms would turn into under-runs.
constexpr int kQueueMs = 150;

class SdlAudioTest : public ::testing::Test {
 protected:
  void SetUp() override {
    output_ = (dir.Path() / "device.raw").string();
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", output_.c_str(), 1);
    setenv("SDL_DISKAUDIODELAY", "10", 1);
  }

  // Feeds the tone for `seconds` in pieces of 256 frames as a paced run hands them over. The
  // run's pace is the device's own clock made kClockSkew faster, as a machine paced by the video
  // timer would see it.
  void Feed(ui::TSdlAudio& audio, double seconds) {
    const auto frames = static_cast<uint64_t>(seconds * kSourceRate);
    const double deviceStart = static_cast<double>(audio.DeviceFrames());
    std::vector<int16_t> piece;
    for (uint64_t done = 0; done < frames;) {
      piece.clear();
      for (int i = 0; i < 256 && done < frames; ++i, ++done, ++fed_) {
        const auto sample = static_cast<int16_t>(
            std::lround(kAmplitude * std::sin(2 * M_PI * kTone * fed_ / kSourceRate)));
        piece.insert(piece.end(), {sample, static_cast<int16_t>(-sample)});
      }
      audio.PlayFrames(piece, kSourceRate);
      while ((static_cast<double>(audio.DeviceFrames()) - deviceStart) * (1 + kClockSkew) /
                 audio.DeviceRate() <
             done / kSourceRate)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  std::vector<int16_t> Output() const {
    std::ifstream in(output_, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    std::vector<int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
  }

  test::TempDir dir;
  std::string output_;
  uint64_t fed_ = 0;
};

// Runs of sound in the left channel: [first, end) frames, gaps of a few frames (the tone's own
// zero crossings) joined.
std::vector<std::pair<size_t, size_t>> SoundRuns(const std::vector<int16_t>& samples) {
  std::vector<std::pair<size_t, size_t>> runs;
  for (size_t frame = 0; frame < samples.size() / 2; ++frame) {
    if (samples[2 * frame] == 0) continue;
    if (!runs.empty() && frame - runs.back().second < 100)
      runs.back().second = frame + 1;
    else
      runs.push_back({frame, frame + 1});
  }
  return runs;
}

// Waits until the device has played everything queued (at most ten seconds).
void WaitForEmptyQueue(const ui::TSdlAudio& audio) {
  for (int i = 0; i < 1000 && audio.QueuedFrames() != 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(audio.QueuedFrames(), 0u);
}

TEST_F(SdlAudioTest, TheToneComesOutAtTheDevicesRateWholeAndWithoutClicks) {
  size_t heardFrames = 0;
  int deviceRate = 0;
  {
    ui::TSdlAudio audio(kQueueMs);
    std::string reason;
    ASSERT_TRUE(audio.Start(reason)) << reason;
    deviceRate = audio.DeviceRate();
    Feed(audio, 0.3);  // not to be heard: disabled, paused or fast-forward
    audio.SetHeard(true);
    const uint64_t fedBefore = fed_;
    Feed(audio, 1.5);
    heardFrames = fed_ - fedBefore;
    // An under-run: the queue plays out, then silence.
    WaitForEmptyQueue(audio);
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    Feed(audio, 0.5);
    audio.SetHeard(false);  // paused: what waits is dropped, the device goes silent
    Feed(audio, 0.3);
    EXPECT_EQ(audio.QueuedFrames(), 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  const std::vector<int16_t> out = Output();
  ASSERT_EQ(deviceRate, 48000);
  ASSERT_GT(out.size(), 2u * 48000);

  // Runs of sound. A busy machine may starve the device between two hand-overs, which splits a
  // run but loses nothing; the longest silence between runs is the under-run, with the first
  // heard part before it and the second after it. Silence before and after both.
  const auto runs = SoundRuns(out);
  ASSERT_GE(runs.size(), 2u);
  size_t split = 0;
  for (size_t i = 1; i + 1 < runs.size(); ++i)
    if (runs[i + 1].first - runs[i].second > runs[split + 1].first - runs[split].second) split = i;
  EXPECT_GT(runs[split + 1].first - runs[split].second, 48000u / 4);
  EXPECT_GT(runs.front().first, 48000u / 4);
  EXPECT_LT(runs.back().second, out.size() / 2 - 48000u / 4);

  // The first part played every frame fed, converted: none dropped or repeated beyond what the
  // rate correction allows, and the fade that ends each run.
  size_t played = 0;
  size_t longest = 0;
  for (size_t i = 0; i <= split; ++i) {
    played += runs[i].second - runs[i].first;
    if (runs[i].second - runs[i].first > runs[longest].second - runs[longest].first) longest = i;
  }
  const double expected = heardFrames * 48000 / kSourceRate;
  EXPECT_NEAR(static_cast<double>(played), expected,
              expected * ui::TRateConverter::kMaxCorrection + 64.0 * (split + 1) + 200);

  // Its pitch: rising zero crossings of the left channel over its longest run.
  int crossings = 0;
  size_t firstCrossing = 0;
  size_t lastCrossing = 0;
  for (size_t frame = runs[longest].first + 100; frame + 101 < runs[longest].second; ++frame) {
    if (out[2 * frame] < 0 && out[2 * frame + 2] >= 0) {
      if (crossings++ == 0) firstCrossing = frame;
      lastCrossing = frame;
    }
  }
  ASSERT_GT(crossings, 20);
  const double tone = (crossings - 1) * 48000.0 / static_cast<double>(lastCrossing - firstCrossing);
  EXPECT_NEAR(tone, kTone, kTone * 0.01);

  // No click: no step between neighbouring samples beyond the tone's own steepest one.
  const double steepest = kAmplitude * 2 * M_PI * kTone / 48000 * 1.2 + 2;
  for (size_t i = 2; i < out.size(); ++i)
    ASSERT_LE(std::abs(out[i] - out[i - 2]), steepest) << "at frame " << i / 2;
}

// One second of a ramp through the converter with the queue held at a fill: frames out at the
// device's rate, fewer when the queue runs full and more when it runs empty, by the bounded
// correction, and the ramp's values interpolated on the way.
TEST(RateConverterTest, TheQueuesFillSteersTheRateWithinItsBound) {
  constexpr uint64_t kTarget = 1920;
  struct TCase {
    uint64_t fill;
    double correction;
  };
  for (const TCase& held :
       {TCase{kTarget, 0}, TCase{kTarget * 3 / 2, 0.005}, TCase{kTarget * 5, 0.005},
        TCase{kTarget * 3 / 4, -0.0025}, TCase{0, -0.005}}) {
    SCOPED_TRACE(held.fill);
    ui::TRateConverter converter;
    converter.Start(48000, kTarget);
    std::vector<int16_t> piece;
    std::vector<int16_t> out;
    for (int round = 0; round < 125; ++round) {
      piece.clear();
      for (int i = 0; i < 256; ++i) {
        const auto value = static_cast<int16_t>((round * 256 + i) % 32768);
        piece.insert(piece.end(), {value, static_cast<int16_t>(-value)});
      }
      // The smoothing needs a few hundred hand-overs to reach a held fill.
      for (int settle = 0; round == 0 && settle < 400; ++settle)
        converter.Convert({}, 32000, held.fill, [](int16_t, int16_t) {});
      converter.Convert(piece, 32000, held.fill, [&](int16_t left, int16_t right) {
        out.insert(out.end(), {left, right});
      });
    }
    EXPECT_NEAR(converter.Correction(), held.correction, 1e-4);
    EXPECT_NEAR(static_cast<double>(out.size() / 2), 48000 / (1 + held.correction), 2);
    // Three out for two in: each output frame lies on the ramp between its two input frames.
    for (size_t frame = 1; frame < 1000; ++frame) {
      const double at = static_cast<double>(frame) * 32000 / 48000 * (1 + held.correction);
      ASSERT_NEAR(out[2 * frame], at - 1, 1.01) << frame;
      ASSERT_EQ(out[2 * frame + 1], -out[2 * frame]);
    }
  }
}

// A sound shorter than the queue's target, and nothing after it: it plays once the queue has
// stopped growing, whole.
TEST_F(SdlAudioTest, AShortSoundPlaysWithoutWaitingForMore) {
  {
    ui::TSdlAudio audio(kQueueMs);
    std::string reason;
    ASSERT_TRUE(audio.Start(reason)) << reason;
    audio.SetHeard(true);
    Feed(audio, 0.03);
    WaitForEmptyQueue(audio);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  const auto runs = SoundRuns(Output());
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_NEAR(static_cast<double>(runs[0].second - runs[0].first), 0.03 * 48000, 70);
}

TEST_F(SdlAudioTest, NoDeviceIsAReasonNotAFailure) {
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  ui::TSdlAudio audio;
  std::string reason;
  EXPECT_FALSE(audio.Start(reason));
  EXPECT_FALSE(reason.empty());
  EXPECT_FALSE(audio.Started());
  const int16_t frame[2] = {1, 2};
  audio.SetHeard(true);
  audio.PlayFrames(frame, 32000);
  EXPECT_EQ(audio.QueuedFrames(), 0u);
}

}  // namespace
}  // namespace vantor
