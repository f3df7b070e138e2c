// The one boundary between the emulator core and the program that runs it. The desktop program,
// the headless runner and the tests each implement THost and install it once at start-up.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace vantor {

class THost {
 public:
  virtual ~THost() = default;

  // Receives one console line, unaltered. Called from the main and the emulation thread; the
  // implementation keeps each thread's lines in order and may block while its queue is full.
  virtual void LogLine(std::string_view line) = 0;
  // Lines logged after this are never taken for repeats of those before it (for hosts that
  // count repeated lines).
  virtual void EndRepeats() {}

  // Shows a set-up or command failure to the user (a modal box on the desktop).
  virtual void ShowMessage(std::string_view text) = 0;

  // Replaces the status bar's simple text. Only the newest text counts: a text set on the main
  // thread wins over one that another thread published before it.
  virtual void SetStatusText(std::string_view text) = 0;

  // Delivers what other threads have queued and serves the main thread's other work. Called by
  // the main thread while it waits for the emulation thread, so that a thread blocked on a full
  // queue can always finish and the windows stay alive meanwhile.
  virtual void DrainPending() {}
};

// Where the sound the machine plays goes: the desktop program's speakers, the runner's WAV file,
// a test's capture. Each program installs its own, apart from the host.
class TAudioSink {
 public:
  virtual ~TAudioSink() = default;

  // Stereo frames the audio interface has just played, left then right in each, as the
  // console's signed 16-bit samples, at `rate` frames per second. Called on the emulation
  // thread, in the order they played.
  virtual void PlayFrames(std::span<const int16_t> samples, double rate) = 0;
};

// Installs the audio sink (null removes it), with the same lifetime rule as the host's.
void InstallAudioSink(TAudioSink* sink);
// Forwards to the installed sink; without one the samples are dropped.
void PlayAudio(std::span<const int16_t> samples, double rate);

// Installs the host (null removes it). The host must outlive every call made while installed:
// programs install it before the emulation thread starts and remove it after that thread ends.
void InstallHost(THost* host);
THost* CurrentHost();

// Forward to the installed host; without one they do nothing.
void ShowMessage(std::string_view text);
void SetStatusText(std::string_view text);

}  // namespace vantor
