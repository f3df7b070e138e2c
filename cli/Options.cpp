#include "cli/Options.h"

#include <charconv>
#include <cstdlib>
#include <filesystem>

namespace vantor::cli {

namespace {

// Whole-text unsigned number, decimal or 0x-prefixed hexadecimal.
template <typename T>
bool ParseNumber(const std::string& text, T& value, int base = 10) {
  std::string_view digits = text;
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    digits.remove_prefix(2);
    base = 16;
  }
  if (digits.empty()) return false;
  const auto [end, status] =
      std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
  return status == std::errc() && end == digits.data() + digits.size();
}

bool ParseTarget(const std::string& text, TScreenRect& rect) {
  int32_t parts[4];
  size_t start = 0;
  for (int i = 0; i < 4; ++i) {
    const size_t comma = text.find(',', start);
    if ((i < 3) != (comma != std::string::npos)) return false;
    const std::string part = text.substr(start, comma == std::string::npos ? comma : comma - start);
    const char* first = part.data();
    const auto [end, status] = std::from_chars(first, first + part.size(), parts[i]);
    if (part.empty() || status != std::errc() || end != first + part.size()) return false;
    start = comma + 1;
  }
  if (parts[2] < 0 || parts[3] < 0) return false;
  rect = {parts[0], parts[1], parts[2], parts[3]};
  return true;
}

}  // namespace

std::string UsageText() {
  return "Usage: vantor64-cli [options] ROM\n"
         "Runs a Nintendo 64 ROM image without a window and prints its console lines.\n"
         "\n"
         "  --frames N          stop when N frames have fallen due (default 60)\n"
         "  --steps N           stop after N instructions instead (0: right after reset;\n"
         "                      in accurate mode N cycles, idle loops' skipped ones too)\n"
         "  --snapshot FILE     write the last presented frame as a PNG picture\n"
         "  --dump-rdram FILE   write main memory (4 MB, 8 MB in accurate mode), big-endian,\n"
         "                      at the end\n"
         "  --wav FILE          write every sound frame the audio interface played as a WAV\n"
         "                      file at its rate (sound plays in the accurate mode)\n"
         "  --regs              print the general registers, PC and MUL/DIV register (HI and\n"
         "                      LO and the signal processor's registers in accurate mode)\n"
         "                      at the end\n"
         "  --accurate          run the machine as the real console's hardware behaves\n"
         "  --disasm ADDR COUNT print COUNT instructions from ADDR (hexadecimal) at the end\n"
         "  --break ADDR        stop before the first execution of ADDR (hexadecimal; "
         "repeatable),\n"
         "                      print \"Breakpoint at\" and the address, then the reports\n"
         "  --bench             print the emulation speed in steps per second\n"
         "  --exact             step one instruction at a time instead of in blocks (slower,\n"
         "                      the same results)\n"
         "  --realtime          run at the console's video rate (50 or 60 frames per second)\n"
         "  --load-state FILE   start from this save state instead of from reset\n"
         "  --save-state FILE   write a save state at the end of the run\n"
         "  --video PATH        draw with this renderer plug-in instead of the built-in one\n"
         "  --input FILE        hold the controller as the script FILE says, frame by frame\n"
         "  --target X,Y,W,H    the plug-in's target rectangle in screen pixels\n"
         "                      (default 0,0 and the frame's own size)\n"
         "  --help              print this text\n";
}

std::optional<TOptions> ParseOptions(const std::vector<std::string>& args, std::string& error) {
  TOptions options;
  auto value = [&](size_t& i, const std::string& name) -> const std::string* {
    if (i + 1 >= args.size()) {
      error = name + " needs a value";
      return nullptr;
    }
    return &args[++i];
  };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const std::string* text = nullptr;
    if (arg == "--help") {
      options.help = true;
    } else if (arg == "--regs") {
      options.regs = true;
    } else if (arg == "--accurate") {
      options.accurate = true;
    } else if (arg == "--bench") {
      options.bench = true;
    } else if (arg == "--exact") {
      options.exact = true;
    } else if (arg == "--realtime") {
      options.realtime = true;
    } else if (arg == "--frames") {
      if (!(text = value(i, arg))) return std::nullopt;
      if (!ParseNumber(*text, options.frames) || options.frames == 0) {
        error = "--frames needs a positive number, not '" + *text + "'";
        return std::nullopt;
      }
    } else if (arg == "--steps") {
      if (!(text = value(i, arg))) return std::nullopt;
      uint64_t steps;
      if (!ParseNumber(*text, steps)) {
        error = "--steps needs a number, not '" + *text + "'";
        return std::nullopt;
      }
      options.steps = steps;
    } else if (arg == "--snapshot" || arg == "--dump-rdram" || arg == "--video" ||
               arg == "--input" || arg == "--load-state" || arg == "--save-state" ||
               arg == "--wav") {
      if (!(text = value(i, arg))) return std::nullopt;
      if (text->empty()) {
        error = arg + " needs a file name, not an empty one";
        return std::nullopt;
      }
      (arg == "--snapshot"     ? options.snapshotPath
       : arg == "--video"      ? options.videoPath
       : arg == "--input"      ? options.inputPath
       : arg == "--load-state" ? options.loadStatePath
       : arg == "--save-state" ? options.saveStatePath
       : arg == "--wav"        ? options.wavPath
                               : options.rdramDumpPath) = *text;
    } else if (arg == "--target") {
      if (!(text = value(i, arg))) return std::nullopt;
      if (!ParseTarget(*text, options.target)) {
        error = "--target needs X,Y,W,H, not '" + *text + "'";
        return std::nullopt;
      }
    } else if (arg == "--break") {
      uint32_t address;
      if (i + 1 >= args.size() || !ParseNumber(args[i + 1], address, 16)) {
        error = "--break needs a hexadecimal address";
        return std::nullopt;
      }
      options.breakpoints.push_back(address);
      ++i;
    } else if (arg == "--disasm") {
      if (i + 2 >= args.size()) {
        error = "--disasm needs an address and a count";
        return std::nullopt;
      }
      uint32_t address;
      if (!ParseNumber(args[i + 1], address, 16) ||
          !ParseNumber(args[i + 2], options.disasmCount)) {
        error = "--disasm needs a hexadecimal address and a count, not '" + args[i + 1] + " " +
                args[i + 2] + "'";
        return std::nullopt;
      }
      options.disasmAddress = address;
      i += 2;
    } else if (arg.starts_with("-") && arg != "-") {
      error = "unknown option " + arg;
      return std::nullopt;
    } else if (options.romPath.empty()) {
      options.romPath = arg;
    } else {
      error = "only one ROM can be run, '" + arg + "' is one too many";
      return std::nullopt;
    }
  }
  if (options.romPath.empty() && !options.help) {
    error = "no ROM given";
    return std::nullopt;
  }
  return options;
}

bool OutputsSpareTheRom(const TOptions& options, std::string& error) {
  for (const std::string* output :
       {&options.snapshotPath, &options.rdramDumpPath, &options.wavPath}) {
    std::error_code failure;
    if (output->empty() || !std::filesystem::equivalent(*output, options.romPath, failure))
      continue;
    error = "'" + *output + "' is the ROM being run; it would be overwritten";
    return false;
  }
  return true;
}

}  // namespace vantor::cli
