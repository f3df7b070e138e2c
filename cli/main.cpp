// vantor64-cli: runs a ROM image without any window and prints its console lines.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "audio/AudioInterface.h"
#include "cli/HeadlessRenderer.h"
#include "cli/InputScript.h"
#include "cli/Options.h"
#include "cli/Reports.h"
#include "cli/WavWriter.h"
#include "common/FileAccess.h"
#include "common/HexText.h"
#include "common/MachineState.h"
#include "common/QueuedHost.h"
#include "core/Engine.h"
#include "core/MachineImage.h"
#include "memory/AddressMap.h"
#include "memory/Pif.h"
#include "memory/RomImage.h"
#include "video/RenderPlugInfo.h"
#include "video/RendererHost.h"

namespace vantor::cli {
namespace {

// The rate of a WAV file that got no frames.
constexpr uint32_t kIdleWavRate = 44100;

// Console lines go to standard output in order; messages to standard error.
class TerminalHost : public TQueuedHost {
 public:
  void ShowMessage(std::string_view text) override { std::cerr << text << '\n'; }
  // The last console line delivered, which often says why something failed.
  const std::string& LastLine() const { return lastLine_; }

 protected:
  void DeliverLine(std::string_view line) override {
    std::cout << line << '\n';
    lastLine_ = line;
  }
  void DeliverStatus(std::string_view) override {}

 private:
  std::string lastLine_;
};

int Fail(TerminalHost& host, const std::string& message) {
  host.FlushRepeats();
  std::cout.flush();
  std::cerr << "vantor64-cli: " << message << '\n';
  return 1;
}

void PrintLines(const std::vector<std::string>& lines) {
  for (const std::string& line : lines)
    std::cout << line << '\n';
}

// The script named by --input; nothing, with the reason in error, when it cannot be read or has
// a malformed line. Without --input the controller stays at rest.
std::optional<TInputScript> ReadInputScript(const std::string& path, std::string& error) {
  if (path.empty()) return TInputScript();
  try {
    TReadableFile file(path, TFileKind::InputScript);
    std::string text;
    if (!file.ReadAll(text)) {
      error = "cannot read the input script '" + path + "': " + file.Error();
      return std::nullopt;
    }
    std::istringstream in(std::move(text));
    auto script = TInputScript::Parse(in, error);
    if (!script) error = path + ", " + error;
    return script;
  } catch (const std::bad_alloc&) {
    error = "cannot read the input script '" + path + "': there is not enough memory";
    return std::nullopt;
  }
}

int Run(const TOptions& options, const TInputScript& script) {
  TerminalHost host;
  InstallHost(&host);
  struct Uninstall {
    ~Uninstall() {
      ReleaseRenderer();
      InstallHost(nullptr);
    }
  } uninstall;

  if (!CreateMemoryBlocks()) return Fail(host, "not enough memory for the emulated machine");
  if (options.videoPath.empty()) {
    BindBuiltInRenderer(HeadlessRendererEntries());
  } else {
    // Nobody is there to answer a dialog: the plug-in's messages go to standard error alone.
    const char* messageFile = std::getenv(kRendererMessageFileVariable);
    if (messageFile == nullptr || *messageFile == '\0')
      setenv(kRendererMessageFileVariable, "/dev/null", 1);
    SetRendererWindows(0, 0);
    if (!BindRendererLibrary(options.videoPath)) {
      host.Drain();
      return Fail(host, "cannot use the renderer plug-in: " + host.LastLine());
    }
  }
  PublishTargetRect(options.target);

  if (!LoadRomImage(options.romPath))
    return Fail(host, "cannot run '" + options.romPath + "': " + RomLoadReason);

  std::shared_ptr<const TStateImage> start;
  std::string error;
  if (!options.loadStatePath.empty()) {
    start = ReadMachineState(options.loadStatePath, error);
    if (!start) return Fail(host, "cannot load state '" + options.loadStatePath + "': " + error);
  }

  // Opened before the run, so that a path it cannot write wastes no run.
  std::unique_ptr<TWavWriter> wav;
  if (!options.wavPath.empty()) {
    TOutputFile file = OpenOutputFile(options.wavPath, error);
    if (!file) return Fail(host, "cannot write '" + options.wavPath + "': " + error);
    wav = std::make_unique<TWavWriter>(std::move(file));
    InstallAudioSink(wav.get());
  }
  struct UninstallSink {
    ~UninstallSink() { InstallAudioSink(nullptr); }
  } uninstallSink;

  TRunLimits limits;
  if (options.steps)
    limits.steps = options.steps;
  else
    limits.frames = options.frames;
  TEngine engine;
  // Changes of the controller take effect as their frame falls due, on the emulation thread,
  // so a script drives a program the same way on every run.
  PublishPad(script.WordAt(0));
  engine.SetFrameHook([&script](uint32_t framesDue) { PublishPad(script.WordAt(framesDue)); });
  engine.SetLimitSpeed(options.realtime);
  const auto started = std::chrono::steady_clock::now();
  engine.SetExactPath(options.exact);
  engine.SetAccurateHardware(options.accurate);
  engine.SetDebugControl(false, options.breakpoints);
  engine.Start(limits, false, start);
  const bool stopped = !options.breakpoints.empty() && engine.WaitForStop(0);
  if (stopped)
    engine.Stop();  // the machine stays as it was before the breakpoint's instruction
  else
    engine.WaitForEnd();
  const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - started;
  // The frames of a buffer still playing when the run ended have played too.
  AudioFlushPlayed();
  host.FlushRepeats();

  if (stopped) std::cout << "Breakpoint at " << Hex8(PC.Lo) << '\n';

  if (options.regs) PrintLines(RegisterLines());
  if (options.disasmAddress)
    WriteDisassembly(std::cout, *options.disasmAddress, options.disasmCount);
  if (options.bench) {
    const double rate = seconds.count() > 0 ? engine.StepsExecuted() / seconds.count() : 0;
    std::printf("steps/s: %.0f\n", rate);
  }
  std::cout.flush();

  if (wav) {
    InstallAudioSink(nullptr);
    if (wav->FramesWritten() == 0)
      std::cerr << "vantor64-cli: no sound was played, so '" << options.wavPath << "' holds none"
                << (options.accurate ? "" : " (sound plays with --accurate)") << '\n';
    if (!wav->Finish(kIdleWavRate, error))
      return Fail(host, "cannot write '" + options.wavPath + "': " + error);
  }
  if (!options.saveStatePath.empty() &&
      !WriteMachineState(options.saveStatePath, engine.CaptureState(), error))
    return Fail(host, "cannot save state '" + options.saveStatePath + "': " + error);
  if (!options.rdramDumpPath.empty() && !DumpRdram(options.rdramDumpPath, error))
    return Fail(host, "cannot write '" + options.rdramDumpPath + "': " + error);
  if (!options.snapshotPath.empty()) {
    if (!options.videoPath.empty() || (LastFrame().words.empty() && LastFrame().rgba.empty())) {
      std::cerr << "vantor64-cli: no frame was presented, so no snapshot was written\n";
    } else if (!WriteSnapshot(LastFrame(), options.snapshotPath, error)) {
      return Fail(host, "cannot write '" + options.snapshotPath + "': " + error);
    }
  }
  return 0;
}

}  // namespace
}  // namespace vantor::cli

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  std::string error;
  const auto options =
      vantor::cli::ParseOptions(std::vector<std::string>(argv + 1, argv + argc), error);
  if (!options || !vantor::cli::OutputsSpareTheRom(*options, error)) {
    std::cerr << "vantor64-cli: " << error << "\n\n" << vantor::cli::UsageText();
    return 2;
  }
  if (options->help) {
    std::cout << vantor::cli::UsageText();
    return 0;
  }
  const auto script = vantor::cli::ReadInputScript(options->inputPath, error);
  if (!script) {
    std::cerr << "vantor64-cli: " << error << '\n';
    return 2;
  }
  return vantor::cli::Run(*options, *script);
}
