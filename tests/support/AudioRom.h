// What the audio test ROM (roms/tests/audio.S) plays, frame by frame, and at which rates its two
// builds play it.
#pragma once

#include <cstdint>
#include <vector>

namespace vantor::test {

// The frames of its three parts in order, left and right in turn.
inline std::vector<int16_t> AudioRomSamples() {
  std::vector<int16_t> samples;
  auto add = [&](int left, int right) {
    samples.push_back(static_cast<int16_t>(left));
    samples.push_back(static_cast<int16_t>(right));
  };
  for (int i = 0; i < 256; ++i)  // one buffer of a square wave
    add((i & 16) ? -8000 : 8000, (i & 16) ? -4000 : 4000);
  for (int n = 0; n < 6 * 128; ++n)  // the ramp, six buffers fed from the interrupt
    add(static_cast<int16_t>(n * 256), static_cast<int16_t>(-(n * 256)));
  for (int i = 0; i < 6 * 128; ++i)  // the second square wave, six buffers fed by polling
    add((i & 32) ? -12000 : 12000, (i & 32) ? 3000 : -3000);
  return samples;
}

struct TAudioRomBuild {
  const char* name;
  double rate;  // frames a second: the video clock / (DACRATE + 1)
};
inline constexpr TAudioRomBuild kAudioRomBuilds[] = {
    {"audio_ntsc", 48'681'812.0 / 1104},
    {"audio_pal", 49'656'530.0 / 2217},
};

}  // namespace vantor::test
