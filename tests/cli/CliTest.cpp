// vantor64-cli as its users run it: options, exit codes and what it prints and writes.
#include <gtest/gtest.h>
#include <png.h>
#include <sndfile.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>

#include "cli/InputScript.h"
#include "cli/Options.h"
#include "tests/support/AudioRom.h"
#include "tests/support/InstrEncoder.h"
#include "tests/support/RomBytes.h"
#include "tests/support/TempDir.h"

namespace vantor {
namespace {

using test::EncodeI;
using test::EncodeJ;

struct Outcome {
  int exitCode;
  std::string out;
  std::string err;
};

class CliTest : public ::testing::Test {
 protected:
  Outcome Run(const std::string& arguments) {
    const std::string out = (dir.Path() / "out.txt").string();
    const std::string err = (dir.Path() / "err.txt").string();
    const std::string command =
        std::string(VANTOR_CLI) + " " + arguments + " >" + out + " 2>" + err;
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(out), Slurp(err)};
  }
  static std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  static std::string Rom(const std::string& name) {
    return std::string(VANTOR_ROM_DIR) + "/" + name + ".z64";
  }
  void ExpectExactRunsMatchBlockRuns(const std::string& mode,
                                     std::initializer_list<std::string> roms);
  test::TempDir dir;
};

TEST_F(CliTest, HelpAndBadOptions) {
  const Outcome help = Run("--help");
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_TRUE(help.out.starts_with("Usage: vantor64-cli [options] ROM")) << help.out;

  for (const char* bad :
       {"--bogus x.z64", "", "--frames abc x.z64", "--frames 0 x.z64", "--target 1,2,3 x.z64",
        "--disasm zz 4 x.z64", "a.z64 b.z64", "--snapshot"}) {
    SCOPED_TRACE(bad);
    const Outcome outcome = Run(bad);
    EXPECT_EQ(outcome.exitCode, 2);
    EXPECT_TRUE(outcome.err.starts_with("vantor64-cli: ")) << outcome.err;
    EXPECT_NE(outcome.err.find("Usage: vantor64-cli"), std::string::npos);
    EXPECT_TRUE(outcome.out.empty());
  }
}

TEST_F(CliTest, AnUnloadableRomPrintsItsConsoleLinesAndFails) {
  const std::string missing = (dir.Path() / "missing.z64").string();
  const Outcome absent = Run(missing);
  EXPECT_EQ(absent.exitCode, 1);
  EXPECT_EQ(absent.out, "Error loading " + missing + "\n");
  EXPECT_NE(absent.err.find("cannot run"), std::string::npos);

  // 12 40 80 37: the halves of each word exchanged, none of the byte orders of a cartridge.
  const Outcome unknown = Run(dir.WriteFile(
      "unknown.z64", test::HalfwordSwapped(test::WordReversed(test::BigEndianRom({})))));
  EXPECT_EQ(unknown.exitCode, 1);
  EXPECT_EQ(unknown.out, "Invalid \"Magic\"!\n");
}

TEST_F(CliTest, RegistersAndDisassemblyAtReset) {
  const Outcome outcome =
      Run("--steps 0 --regs --disasm A4000040 2 --disasm 00000000 1 " + Rom("store_constants"));
  EXPECT_EQ(outcome.exitCode, 0);
  for (const char* line : {"\n(1D) FFFFFFFF A4001FF0 SP\n", "\n(14) 00000000 00000001 S4\n",
                           "\n(PC) FFFFFFFF A4000040\n", "\nMUL/DIV Temp reg 00000000 00000000\n",
                           "\n00000000 : * UNMAPPED MEMORY! *\n"})
    EXPECT_NE(outcome.out.find(line), std::string::npos) << line;
  // The last --disasm given wins; the first one's lines are not printed.
  EXPECT_EQ(outcome.out.find("A4000040 : LUI"), std::string::npos);
  EXPECT_NE(outcome.out.find("Emulated 0 frames in "), std::string::npos);
}

TEST_F(CliTest, ABreakpointStopsTheRunBeforeItsInstructionThenReports) {
  // add at A4000040, j A4000040 at A4000044: stopped the first time at the jump, t1 is 1.
  const std::string rom = dir.WriteFile(
      "loop.z64", test::CodeRom({EncodeI(9, 9, 9, 1), EncodeJ(2, 0xA4000040 >> 2), 0}));
  const Outcome outcome =
      Run("--break 80000000 --break A4000044 --regs --disasm A4000044 1 " + rom);
  EXPECT_EQ(outcome.exitCode, 0);
  const size_t at = outcome.out.find("Breakpoint at A4000044\n");
  ASSERT_NE(at, std::string::npos) << outcome.out;
  const size_t regs = outcome.out.find("\n(09) 00000000 00000001 T1\n");
  EXPECT_GT(regs, at);
  EXPECT_NE(outcome.out.find("\n(PC) FFFFFFFF A4000044\n"), std::string::npos);
  EXPECT_GT(outcome.out.find("\nA4000044 : J"), regs);

  // A breakpoint never reached: the run ends at its limit and reports as always.
  const Outcome missed = Run("--frames 1 --break 80000000 --regs " + rom);
  EXPECT_EQ(missed.exitCode, 0);
  EXPECT_EQ(missed.out.find("Breakpoint at"), std::string::npos);
  EXPECT_NE(missed.out.find("\n(PC) FFFFFFFF A400004"), std::string::npos);
  EXPECT_EQ(Run("--break xyz " + rom).exitCode, 2);
}

TEST_F(CliTest, AccurateModeReportsHiAndLoInsteadOfTheMulDivRegister) {
  // t0 = -1, t1 = 2, MULT t0, t1, then a jump to itself: the product -2 is left behind.
  const std::string rom = dir.WriteFile(
      "mult.z64", test::CodeRom({EncodeI(9, 0, 8, -1), EncodeI(9, 0, 9, 2),
                                 test::Special(0x18, 8, 9, 0), EncodeJ(2, 0xA400004C >> 2), 0}));
  const Outcome plain = Run("--steps 6 --regs " + rom);
  EXPECT_EQ(plain.exitCode, 0);
  EXPECT_NE(plain.out.find("\nMUL/DIV Temp reg FFFFFFFF FFFFFFFE\n"), std::string::npos)
      << plain.out;
  EXPECT_EQ(plain.out.find("(HI)"), std::string::npos);
  EXPECT_EQ(plain.out.find("(LO)"), std::string::npos);

  // The halves of the product, each sign-extended to 64 bits.
  const Outcome accurate = Run("--accurate --steps 6 --regs " + rom);
  EXPECT_EQ(accurate.exitCode, 0);
  EXPECT_NE(accurate.out.find("\n(HI) FFFFFFFF FFFFFFFF\n(LO) FFFFFFFF FFFFFFFE\n"),
            std::string::npos)
      << accurate.out;
  EXPECT_EQ(accurate.out.find("MUL/DIV"), std::string::npos);
}

TEST_F(CliTest, AccurateModeReportsTheSignalProcessorsRegisters) {
  // The microcode ROM leaves the signal processor halted past its BREAK with vectors loaded;
  // showing SP_SEMAPHORE in the disassembly does not take it.
  const Outcome outcome =
      Run("--accurate --steps 300000 --regs --disasm A404001C 1 " + Rom("rsp_microcode"));
  EXPECT_EQ(outcome.exitCode, 0);
  for (const char* line :
       {"\n(RSP 06) 00000809 A2\n", "\n(RSP PC) 000000C8\n", "\n(SP STATUS) 00000103\n",
        "\n(SP SEMAPHORE) 00000001\n", "\n(V03) 0300 0400 0500 0600 0700 0800 0900 0A00\n",
        "\n(VCO) 0000 (VCC) 0000 (VCE) 00\n"})
    EXPECT_NE(outcome.out.find(line), std::string::npos) << line << outcome.out;
  EXPECT_EQ(Run("--steps 10 --regs " + Rom("rsp_microcode")).out.find("(RSP"), std::string::npos);
}

// The exceptions ROM ends with TLB entry 0 mapping virtual 0 onto physical 0x10000, where its
// user code lies: the accurate disassembly of virtual 0 reads that code through the TLB.
TEST_F(CliTest, AccurateDisassemblyReadsTlbMappedPages) {
  const auto instructions = [this](const std::string& address) {
    const Outcome outcome =
        Run("--accurate --steps 40000 --disasm " + address + " 4 " + Rom("accurate_exceptions"));
    EXPECT_EQ(outcome.exitCode, 0);
    std::vector<std::string> texts;
    for (size_t at = outcome.out.find("\n" + address + " : "); texts.size() < 4;) {
      if (at == std::string::npos) break;
      at = outcome.out.find(" : ", at) + 3;
      const size_t end = outcome.out.find('\n', at);
      texts.push_back(outcome.out.substr(at, end - at));
      at = end;
    }
    return texts;
  };
  const std::vector<std::string> mapped = instructions("00000000");
  ASSERT_EQ(mapped.size(), 4u);
  EXPECT_EQ(mapped, instructions("80010000"));
  EXPECT_NE(mapped.front(), "* UNMAPPED MEMORY! *");
}

TEST(CliUsageTest, TheManualPageDescribesEveryOption) {
  std::ifstream in(VANTOR_CLI_MAN_PAGE);
  ASSERT_TRUE(in) << VANTOR_CLI_MAN_PAGE;
  std::stringstream text;
  text << in.rdbuf();
  // Option headings escape their dashes for groff.
  std::string page = text.str();
  for (size_t at = page.find("\\-"); at != std::string::npos; at = page.find("\\-", at))
    page.erase(at, 1);
  std::istringstream usage(cli::UsageText());
  int options = 0;
  for (std::string line; std::getline(usage, line);) {
    const size_t start = line.find_first_not_of(' ');
    if (start == std::string::npos || line.compare(start, 2, "--") != 0) continue;
    const std::string name = line.substr(start + 2, line.find(' ', start) - start - 2);
    EXPECT_NE(page.find("--" + name), std::string::npos) << "--" << name;
    ++options;
  }
  EXPECT_GE(options, 16);
}

TEST_F(CliTest, RunsUntilItsFramesFellDueAndDumpsMemoryInTheConsolesOrder) {
  const std::string dump = (dir.Path() / "rdram.bin").string();
  const std::string snapshot = (dir.Path() / "none.png").string();
  const Outcome outcome = Run("--frames 3 --bench --dump-rdram " + dump + " --snapshot " +
                              snapshot + " " + Rom("store_constants"));
  EXPECT_EQ(outcome.exitCode, 0);
  EXPECT_NE(outcome.out.find("\nEmulated 0 frames in "), std::string::npos) << outcome.out;
  EXPECT_NE(outcome.out.find("\nsteps/s: "), std::string::npos);
  EXPECT_NE(outcome.err.find("no frame was presented"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(snapshot));

  const std::string bytes = Slurp(dump);
  ASSERT_EQ(bytes.size(), 0x400000u);
  EXPECT_EQ(bytes.substr(0x100, 8), std::string("\x12\x34\x56\x78\xFE\xDC\xBA\x98", 8));
}

// The big-endian word at a byte offset of a main memory dump.
uint32_t DumpWord(const std::string& dump, size_t at) {
  uint32_t word = 0;
  for (size_t i = 0; i < 4; ++i)
    word = word << 8 | static_cast<uint8_t>(dump[at + i]);
  return word;
}

// The accurate machine's frames are the fields its video interface shows: 5,000,000 steps are
// as many cycles, three NTSC fields of 1,567,023 cycles, whether the demo draws or idles.
TEST_F(CliTest, TheDemoShowsTheFieldsOfTheCyclesItRan) {
  const Outcome outcome = Run("--accurate --steps 5000000 " + Rom("demo"));
  EXPECT_EQ(outcome.exitCode, 0);
  EXPECT_NE(outcome.out.find("Resolution set to 320x240\nEmulated 3 frames in "), std::string::npos)
      << outcome.out;
}

TEST_F(CliTest, AScriptedControllerReachesTheProgramFrameByFrame) {
  const std::string script =
      dir.WriteText("pad.txt", std::string_view(R"(# frame  buttons     x    y
0  A                 10  -10
3  Start Z          -80   80
3  b                  1    2   # of two lines for one frame, the later counts
5  CUp CDown CLeft CRight DUp DDown DLeft DRight L R  127 -128

7                     0    0
)"));
  const std::string dump = (dir.Path() / "rdram.bin").string();
  const Outcome outcome =
      Run("--frames 12 --input " + script + " --dump-rdram " + dump + " " + Rom("controller"));
  ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
  // One line for the unknown command, though the program sent it twice.
  const std::string unknown = "Controller command 02 not supported, flagged as unanswered\n";
  const size_t first = outcome.out.find(unknown);
  EXPECT_NE(first, std::string::npos) << outcome.out;
  EXPECT_EQ(outcome.out.find(unknown, first + 1), std::string::npos);

  const std::string rdram = Slurp(dump);
  ASSERT_EQ(rdram.size(), 0x400000u);
  auto result = [&](size_t index) { return DumpWord(rdram, 0x100 + 4 * index); };
  // The SI bit: raised by the send, cleared by the status write, raised by the read-back.
  EXPECT_EQ(result(0), 2u);
  EXPECT_EQ(result(1), 0u);
  EXPECT_EQ(result(2), 2u);
  // The block went to the boot page and came back unchanged; the sender's copy is intact.
  EXPECT_EQ(result(3), 0x01020304u);
  EXPECT_EQ(result(4), 0x01020304u);
  EXPECT_EQ(result(5), 0x01021213u);
  EXPECT_EQ(result(6), 0x01020304u);
  // Status on port 1: a controller without accessory; ports 2 to 4 flagged absent.
  EXPECT_EQ(result(7), 0x01030005u);
  EXPECT_EQ(result(8), 0x0002FFFFu);
  for (size_t port : {9u, 10u, 17u})
    EXPECT_EQ(result(port), 0x018401EEu) << port;
  // The unknown command: no reply, the no-response flag on its receive length.
  EXPECT_EQ(result(11), 0x018202EEu);
  EXPECT_EQ(result(12), 0x018202EEu);
  // The read that runs past the RAM is left as sent; the byte after the RAM is untouched.
  EXPECT_EQ(result(13), 0xFFFFFFFFu);
  EXPECT_EQ(result(14), 0xFFFFFF01u);
  EXPECT_EQ(result(15), 0x0401EE01u);
  EXPECT_EQ(result(16), 0x5A5A5A5Au);
  // Reads after frames 1 to 8, as the script holds the controller from each line's frame on.
  const uint32_t expected[] = {0x80000AF6, 0x80000AF6, 0x40000102, 0x40000102,
                               0x0F3F7F80, 0x0F3F7F80, 0x00000000, 0x00000000};
  for (size_t i = 0; i < std::size(expected); ++i)
    EXPECT_EQ(result(20 + i), expected[i]) << "read " << i;
}

TEST_F(CliTest, AMalformedOrUnreadableInputScriptStopsTheRunner) {
  const std::string bad = dir.WriteText("bad.txt", std::string_view("# ok\n0 A 0 0\n\n10 X 1 1\n"));
  const Outcome malformed = Run("--input " + bad + " " + Rom("controller"));
  EXPECT_EQ(malformed.exitCode, 2);
  EXPECT_EQ(malformed.err, "vantor64-cli: " + bad + ", line 4: 'X' is not a button\n");
  EXPECT_TRUE(malformed.out.empty());

  const Outcome missing = Run("--input /nonexistent/pad.txt " + Rom("controller"));
  EXPECT_EQ(missing.exitCode, 2);
  EXPECT_NE(missing.err.find("cannot read the input script '/nonexistent/pad.txt'"),
            std::string::npos);
}

TEST(CliInputScriptTest, ReportsTheLineAndWhatIsWrongWithIt) {
  const std::pair<const char*, const char*> cases[] = {
      {"5 A\n", "line 1: needs a frame number, the buttons held and the stick's X and Y"},
      {"\n-1 0 0\n", "line 2: '-1' is not a frame number"},
      {"0 A 128 0\n", "line 1: the stick's X must be a number from -128 to 127, not '128'"},
      {"0 0 -129\n", "line 1: the stick's Y must be a number from -128 to 127, not '-129'"},
      {"0 0 1.5\n", "line 1: the stick's Y must be a number from -128 to 127, not '1.5'"},
      {"9 0 0\n8 0 0\n", "line 2: frame 8 comes after frame 9"},
  };
  for (const auto& [text, message] : cases) {
    std::istringstream in(text);
    std::string error;
    EXPECT_FALSE(cli::TInputScript::Parse(in, error)) << text;
    EXPECT_EQ(error, message);
  }
  std::istringstream empty("# nothing but a comment\n");
  std::string error;
  const auto script = cli::TInputScript::Parse(empty, error);
  ASSERT_TRUE(script) << error;
  EXPECT_EQ(script->WordAt(0), 0u);
  EXPECT_EQ(script->WordAt(1000), 0u);
}

// Scripts are read line by line within fixed bounds, and a refusal quotes only the start of what
// it refuses, however long that is.
TEST(CliInputScriptTest, LinesAndScriptsHaveBoundsAndRefusalsStayShort) {
  const auto refusal = [](const std::string& text) {
    std::istringstream in(text);
    std::string error;
    EXPECT_FALSE(cli::TInputScript::Parse(in, error));
    return error;
  };
  std::string valid = "0";
  while (valid.size() <= cli::kMaxScriptLineChars)
    valid += " A";
  EXPECT_EQ(refusal("# first\n" + valid + " 0 0\n"),
            "line 2: it is longer than 1024 characters: '0 A A A A A A A A A A A A A A A ...'");
  // At the limit the line is still read.
  std::istringstream longest("0 0 0 #" + std::string(cli::kMaxScriptLineChars - 7, '#'));
  std::string error;
  EXPECT_TRUE(cli::TInputScript::Parse(longest, error)) << error;

  const std::string word(1000, 'x');
  EXPECT_EQ(refusal("0 " + word + " 0 0"),
            "line 1: 'xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx...' is not a button");
  EXPECT_EQ(refusal(word + " 0 0"),
            "line 1: 'xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx...' is not a frame number");

  std::string lines(cli::kMaxScriptLines, '\n');
  EXPECT_EQ(refusal(lines + "0 0 0\n"), "line 1000001: a script has at most 1000000 lines");
}

// Reads an 8-bit RGB PNG back.
std::vector<uint8_t> ReadPng(const std::string& path, uint32_t& width, uint32_t& height) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return {};
  width = image.width;
  height = image.height;
  return rgb;
}

TEST_F(CliTest, SnapshotIsTheLastFrameInRgb) {
  // Sets a 320-pixel width, paints the first two pixels red and white, and idles.
  const std::string rom = dir.WriteFile(
      "paint.z64", test::CodeRom({EncodeI(15, 0, 8, 0xA440), EncodeI(13, 0, 9, 320),
                                  EncodeI(43, 8, 9, 8), EncodeI(15, 0, 10, 0xA000),
                                  EncodeI(15, 0, 11, 0xF801), EncodeI(13, 11, 11, 0xFFFF),
                                  EncodeI(43, 10, 11, 0), EncodeJ(2, (0xA4000040 + 28) >> 2), 0}));
  const std::string snapshot = (dir.Path() / "frame.png").string();
  const Outcome outcome = Run("--frames 2 --snapshot " + snapshot + " " + rom);
  ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
  EXPECT_NE(outcome.out.find("Resolution set to 320x240\n"), std::string::npos);
  EXPECT_NE(outcome.out.find("Emulated 2 frames in "), std::string::npos);

  uint32_t width = 0, height = 0;
  const auto rgb = ReadPng(snapshot, width, height);
  ASSERT_EQ(width, 320u);
  ASSERT_EQ(height, 240u);
  EXPECT_EQ(std::vector<uint8_t>(rgb.begin(), rgb.begin() + 9),
            (std::vector<uint8_t>{0xF8, 0x00, 0x04, 0xFF, 0xFF, 0xFC, 0, 0, 0}));

  const Outcome unwritable = Run("--frames 2 --snapshot /nonexistent/dir/frame.png " + rom);
  EXPECT_EQ(unwritable.exitCode, 1);
  EXPECT_NE(unwritable.err.find("cannot write '/nonexistent/dir/frame.png'"), std::string::npos);
}

// The accurate machine's 32-bit interlaced picture (the picture ROM's second one) lands in the
// snapshot with all eight bits of each colour: (x, y) = x << 20 | y << 8 | 0xFF.
TEST_F(CliTest, AnAccurateSnapshotKeepsThe32BitPicture) {
  const std::string snapshot = (dir.Path() / "wide.png").string();
  const Outcome outcome =
      Run("--accurate --frames 14 --snapshot " + snapshot + " " + Rom("video_picture"));
  ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
  uint32_t width = 0, height = 0;
  const auto rgb = ReadPng(snapshot, width, height);
  ASSERT_EQ(width, 640u);
  ASSERT_EQ(height, 480u);
  size_t wrong = 0;
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x) {
      const uint32_t pixel = x << 20 | y << 8 | 0xFF;
      const uint8_t* at = &rgb[(size_t{y} * width + x) * 3];
      wrong += at[0] != (pixel >> 24) || at[1] != ((pixel >> 16) & 0xFF) ||
               at[2] != ((pixel >> 8) & 0xFF);
    }
  EXPECT_EQ(wrong, 0u);
}

// The engine's two paths, end to end: the same lines, registers, memory and picture.
// The audio test ROM through the runner: the WAV file holds exactly the frames it played, at its
// rate rounded, with --realtime and without; a run that ends inside a buffer holds the frames
// played until then.
TEST_F(CliTest, TheWavFileHoldsEveryFramePlayedAtItsRate) {
  const std::string wav = (dir.Path() / "sound.wav").string();
  const auto read = [&wav](int& rate) {
    SF_INFO info{};
    SNDFILE* file = sf_open(wav.c_str(), SFM_READ, &info);
    EXPECT_NE(file, nullptr) << sf_strerror(nullptr);
    std::vector<int16_t> samples(static_cast<size_t>(info.frames * info.channels));
    if (file != nullptr) {
      sf_readf_short(file, samples.data(), info.frames);
      sf_close(file);
    }
    EXPECT_EQ(info.channels, 2);
    rate = info.samplerate;
    return samples;
  };
  const std::vector<int16_t> expected = test::AudioRomSamples();
  for (const test::TAudioRomBuild& build : test::kAudioRomBuilds) {
    for (const char* pace : {"", "--realtime "}) {
      SCOPED_TRACE(std::string(build.name) + " " + pace);
      const Outcome outcome = Run(std::string("--accurate --frames 20 ") + pace + "--wav " + wav +
                                  " " + Rom(build.name));
      ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
      int rate = 0;
      EXPECT_EQ(read(rate), expected);
      EXPECT_EQ(rate, std::lround(build.rate));
    }
  }
  // 500,000 cycles: most of the first buffer's 256 frames at 44096 a second.
  ASSERT_EQ(Run("--accurate --steps 500000 --wav " + wav + " " + Rom("audio_ntsc")).exitCode, 0);
  int rate = 0;
  const std::vector<int16_t> part = read(rate);
  EXPECT_GT(part.size(), 2u * 200);
  EXPECT_LT(part.size(), 2u * 256);
  EXPECT_TRUE(std::equal(part.begin(), part.end(), expected.begin()));
}

// The exact path and the block runner print and write the same: registers, main memory, the
// last frame and (in the accurate mode) the sound, at step and frame limits.
void CliTest::ExpectExactRunsMatchBlockRuns(const std::string& mode,
                                            std::initializer_list<std::string> roms) {
  for (const std::string limit : {"--steps 1", "--steps 625001", "--frames 2"}) {
    for (const std::string& rom : roms) {
      SCOPED_TRACE(mode + limit + " " + rom);
      std::string outputs[2];
      std::string dumps[2];
      for (int exact = 0; exact < 2; ++exact) {
        const std::string dump = (dir.Path() / "dump.bin").string();
        const std::string snapshot = (dir.Path() / "frame.png").string();
        const std::string sound = (dir.Path() / "sound.wav").string();
        for (const std::string& file : {dump, snapshot, sound})
          std::filesystem::remove(file);
        const Outcome outcome =
            Run(mode + (exact ? "--exact " : "") + limit + " --regs --dump-rdram " + dump +
                " --snapshot " + snapshot + " --wav " + sound + " " + Rom(rom));
        ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
        // The run's closing line names its duration.
        outputs[exact] = outcome.out.substr(0, outcome.out.find("Emulated "));
        dumps[exact] = Slurp(dump) + Slurp(snapshot) + Slurp(sound);
      }
      EXPECT_EQ(outputs[0], outputs[1]);
      EXPECT_TRUE(dumps[0] == dumps[1]);
    }
  }
}

TEST_F(CliTest, ExactRunsMatchTheDefaultRun) {
  ExpectExactRunsMatchBlockRuns("", {"demo", "cop0_timer", "dma_payload"});
}

TEST_F(CliTest, ExactRunsMatchTheBlockRunInTheAccurateMode) {
  ExpectExactRunsMatchBlockRuns("--accurate ", {"video_picture", "rdp_lists", "audio_ntsc"});
}

TEST(CliOptionsTest, ParsesEveryOption) {
  std::string error;
  const auto options =
      cli::ParseOptions({"--frames",     "10",           "--steps",    "0x100",   "--snapshot",
                         "a.png",        "--dump-rdram", "r.bin",      "--regs",  "--bench",
                         "--video",      "v.so",         "--input",    "pad.txt", "--target",
                         "-5,7,640,480", "--disasm",     "0x80000000", "16",      "--break",
                         "A4000040",     "--break",      "0x80001000", "--exact", "rom.z64"},
                        error);
  ASSERT_TRUE(options) << error;
  EXPECT_EQ(options->frames, 10u);
  EXPECT_EQ(options->steps, 0x100u);
  EXPECT_EQ(options->snapshotPath, "a.png");
  EXPECT_EQ(options->rdramDumpPath, "r.bin");
  EXPECT_TRUE(options->regs && options->bench && options->exact);
  EXPECT_EQ(options->videoPath, "v.so");
  EXPECT_EQ(options->inputPath, "pad.txt");
  EXPECT_EQ(options->target.Left, -5);
  EXPECT_EQ(options->target.Height, 480);
  EXPECT_EQ(options->disasmAddress, 0x80000000u);
  EXPECT_EQ(options->disasmCount, 16u);
  EXPECT_EQ(options->breakpoints, (std::vector<uint32_t>{0xA4000040, 0x80001000}));
  EXPECT_EQ(options->romPath, "rom.z64");
}

}  // namespace
}  // namespace vantor
