// vantor64-cli against files and options that are broken, odd or hostile: each run ends in time
// with exit code 0, 1 (a clear reason) or 2 (usage), within bounded memory, and never disturbs
// the sanitizers of the build it comes from.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "cli/Options.h"
#include "common/StateFile.h"
#include "tests/support/FifoRescue.h"
#include "tests/support/InstrEncoder.h"
#include "tests/support/RomBytes.h"
#include "tests/support/TempDir.h"

namespace vantor {
namespace {

using test::BigEndianRom;
using test::EncodeI;
using test::EncodeJ;

struct Outcome {
  int exitCode = -1;  // -1: killed
  std::string out;
  std::string err;
  long maxRssKb = 0;
  bool timedOut = false;
};

enum class As { Caller, Nobody };

std::string Slurp(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class HostileInputTest : public ::testing::Test {
 protected:
  // Runs the runner with these arguments, killing it after the timeout.
  Outcome Run(const std::vector<std::string>& args, As as = As::Caller,
              std::chrono::seconds timeout = std::chrono::seconds(60)) {
    const auto outPath = dir.Path() / "stdout.txt";
    const auto errPath = dir.Path() / "stderr.txt";
    std::vector<std::string> argv = {VANTOR_CLI};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> pointers;
    for (std::string& arg : argv)
      pointers.push_back(arg.data());
    pointers.push_back(nullptr);

    const pid_t child = fork();
    if (child == 0) {
      const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(126);
      if (as == As::Nobody && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(125);
      execv(pointers[0], pointers.data());
      _exit(127);
    }
    Outcome outcome;
    int status = 0;
    rusage usage{};
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (wait4(child, &status, WNOHANG, &usage) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        kill(child, SIGKILL);
        wait4(child, &status, 0, &usage);
        outcome.timedOut = true;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (WIFEXITED(status)) outcome.exitCode = WEXITSTATUS(status);
    outcome.out = Slurp(outPath);
    outcome.err = Slurp(errPath);
    outcome.maxRssKb = usage.ru_maxrss;
    return outcome;
  }

  // Runs a ROM path briefly and checks what every hostile input must give: an end in time, no
  // sanitizer report, and a reason on standard error whenever it fails.
  Outcome RunRom(const std::string& path, As as = As::Caller) {
    const Outcome outcome = Run({"--steps", "2000", path}, as, std::chrono::seconds(30));
    EXPECT_FALSE(outcome.timedOut) << path;
    ExpectNoSanitizerReport(outcome);
    if (outcome.exitCode != 0) {
      EXPECT_TRUE(outcome.err.starts_with("vantor64-cli: cannot run '" + path + "': "))
          << outcome.err;
    }
    return outcome;
  }

  static void ExpectNoSanitizerReport(const Outcome& outcome) {
    EXPECT_EQ(outcome.err.find("Sanitizer"), std::string::npos) << outcome.err;
    EXPECT_EQ(outcome.err.find("runtime error"), std::string::npos) << outcome.err;
  }

  static std::string Rom(const std::string& name) {
    return std::string(VANTOR_ROM_DIR) + "/" + name + ".z64";
  }

  test::TempDir dir;
};

TEST_F(HostileInputTest, EverySizeAndByteOrderLoadsOrSaysWhyNot) {
  // Each byte order in turn, so that every order meets short, whole and ragged sizes.
  const std::vector<size_t> sizes = {0, 1, 3, 4, 63, 64, 65, 66, 67, 4095, 4097, 4098, 4099};
  for (size_t i = 0; i < sizes.size(); ++i) {
    const size_t size = sizes[i];
    const auto bigEndian = BigEndianRom({.size = size});
    const struct {
      const char* order;
      std::vector<uint8_t> bytes;
    } orders[] = {{"big", bigEndian},
                  {"half", test::HalfwordSwapped(bigEndian)},
                  {"word", test::WordReversed(bigEndian)}};
    const auto& image = orders[i % 3];
    SCOPED_TRACE(std::string(image.order) + " " + std::to_string(size));
    const Outcome outcome =
        RunRom(dir.WriteFile(std::string(image.order) + std::to_string(size), image.bytes));
    if (size < 64) {
      EXPECT_EQ(outcome.exitCode, 1);
      EXPECT_NE(outcome.err.find("too small: " + std::to_string(size) + " bytes"),
                std::string::npos)
          << outcome.err;
    } else {
      EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    }
  }

  auto unknown = BigEndianRom({});
  unknown[0] = 0x12;
  const Outcome outcome = RunRom(dir.WriteFile("unknown.z64", unknown));
  EXPECT_EQ(outcome.exitCode, 1);
  EXPECT_NE(outcome.err.find("its first bytes 12 37 12 40 are no known ROM byte order"),
            std::string::npos)
      << outcome.err;
}

TEST_F(HostileInputTest, PathsThatAreNoRomFileAreRefusedWithTheSystemsReason) {
  const std::string missing = (dir.Path() / "missing.z64").string();
  EXPECT_NE(RunRom(missing).err.find("No such file or directory"), std::string::npos);
  EXPECT_NE(RunRom(dir.Path().string()).err.find("Is a directory"), std::string::npos);

  // A FIFO without a writer: opening it must not wait for one.
  const std::string fifo = (dir.Path() / "fifo.z64").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  const Outcome fromFifo = RunRom(fifo);
  EXPECT_EQ(fromFifo.exitCode, 1);
  EXPECT_NE(fromFifo.err.find("it is not a regular file"), std::string::npos);

  // Permissions do not bind the superuser, so the runner then runs as nobody.
  const std::string locked = dir.WriteFile("locked.z64", BigEndianRom({}));
  ASSERT_EQ(chmod(locked.c_str(), 0), 0);
  ASSERT_EQ(chmod(dir.Path().c_str(), 0755), 0);
  const Outcome fromLocked = RunRom(locked, getuid() == 0 ? As::Nobody : As::Caller);
  EXPECT_EQ(fromLocked.exitCode, 1);
  EXPECT_NE(fromLocked.err.find("Permission denied"), std::string::npos) << fromLocked.err;
}

TEST_F(HostileInputTest, AnImageLargerThanTheCartridgeWindowIsRefusedUnread) {
  const std::string large = (dir.Path() / "large.z64").string();
  std::filesystem::copy_file(Rom("store_constants"), large);
  std::filesystem::resize_file(large, 300u << 20);  // sparse: costs no disk
  const Outcome outcome = RunRom(large);
  EXPECT_EQ(outcome.exitCode, 1);
  EXPECT_NE(outcome.err.find("it is 314572800 bytes, larger than the 256 MB a cartridge can hold"),
            std::string::npos)
      << outcome.err;
  // The machine itself takes some tens of MB (more in a sanitizer build); the file would add 300.
  EXPECT_LT(outcome.maxRssKb, 250 * 1024);
}

// A state the runner wrote, taken apart into its sections and put together again with changes.
class StateBuilder {
 public:
  explicit StateBuilder(const std::string& bytes) : bytes_(bytes.begin(), bytes.end()) {
    std::string error;
    auto parsed = ParseState(bytes_, error);
    if (!parsed) throw std::runtime_error(error);
    state_ = std::move(*parsed);
  }
  // Adds a section holding these stored bytes, which inflate to rawSize.
  void Add(const std::string& name, uint32_t rawSize, std::span<const uint8_t> stored) {
    state_.Sections.push_back({name, 1, rawSize, stored});
  }
  // Gives the section of that name these stored bytes instead.
  void Replace(const std::string& name, uint32_t rawSize, std::span<const uint8_t> stored) {
    for (TStoredSection& section : state_.Sections)
      if (section.Name == name) section = {name, 1, rawSize, stored};
  }
  const TStoredSection& Section(const std::string& name) const { return *state_.Find(name); }
  std::vector<uint8_t> Bytes() const {
    // The 80 bytes of magic, format, ROM name, ROM hash and program version stay as they were.
    std::vector<uint8_t> out(bytes_.begin(), bytes_.begin() + 80);
    PutU32(out, static_cast<uint32_t>(state_.Sections.size()));
    for (const TStoredSection& section : state_.Sections) {
      out.push_back(static_cast<uint8_t>(section.Name.size()));
      out.insert(out.end(), section.Name.begin(), section.Name.end());
      PutU32(out, section.Version);
      PutU32(out, section.RawSize);
      PutU32(out, static_cast<uint32_t>(section.Stored.size()));
      out.insert(out.end(), section.Stored.begin(), section.Stored.end());
    }
    PutU32(out, static_cast<uint32_t>(
                    crc32(crc32(0, Z_NULL, 0), out.data(), static_cast<uInt>(out.size()))));
    return out;
  }

 private:
  static void PutU32(std::vector<uint8_t>& out, uint32_t value) {
    for (int i = 0; i < 4; ++i)
      out.push_back(static_cast<uint8_t>(value >> (8 * i)));
  }
  std::vector<uint8_t> bytes_;
  TStoredState state_;
};

// 256 MB of zeros in zlib's form: some 256 KB.
std::vector<uint8_t> PackedZeros() {
  z_stream stream{};
  if (deflateInit(&stream, Z_BEST_COMPRESSION) != Z_OK) return {};
  std::vector<uint8_t> zeros(1u << 20), chunk(1u << 16), out;
  for (int i = 0; i < 256; ++i) {
    stream.next_in = zeros.data();
    stream.avail_in = static_cast<uInt>(zeros.size());
    do {
      stream.next_out = chunk.data();
      stream.avail_out = static_cast<uInt>(chunk.size());
      deflate(&stream, i == 255 ? Z_FINISH : Z_NO_FLUSH);
      out.insert(out.end(), chunk.begin(), chunk.end() - stream.avail_out);
    } while (stream.avail_out == 0);
  }
  deflateEnd(&stream);
  return out;
}

TEST_F(HostileInputTest, StatesAndScriptsThatAreNoRegularFileAreRefusedWithoutWaiting) {
  const std::string rom = Rom("store_constants");
  test::FifoRescue fifo((dir.Path() / "pipe").string());
  const std::string folder = dir.Path().string();
  const struct {
    std::vector<std::string> args;
    int exitCode;
    std::string message;
  } cases[] = {
      {{"--load-state", folder}, 1, "cannot load state '" + folder + "': Is a directory"},
      {{"--load-state", fifo.Path()},
       1,
       "cannot load state '" + fifo.Path() + "': it is not a regular file"},
      {{"--input", folder}, 2, "cannot read the input script '" + folder + "': Is a directory"},
      {{"--input", fifo.Path()},
       2,
       "cannot read the input script '" + fifo.Path() + "': it is not a regular file"},
  };
  for (const auto& bad : cases) {
    std::vector<std::string> args = bad.args;
    args.insert(args.end(), {"--steps", "2000", rom});
    SCOPED_TRACE(::testing::PrintToString(args));
    const Outcome outcome = Run(args, As::Caller, std::chrono::seconds(20));
    EXPECT_FALSE(outcome.timedOut);
    EXPECT_EQ(outcome.exitCode, bad.exitCode);
    EXPECT_EQ(outcome.err, "vantor64-cli: " + bad.message + "\n");
    ExpectNoSanitizerReport(outcome);
  }
  EXPECT_FALSE(fifo.Rescued()) << "the runner waited for a writer";

  // A state larger than any this program writes is refused unread.
  const std::string large = (dir.Path() / "large.st").string();
  std::filesystem::resize_file(dir.WriteFile("large.st", {'V'}), 40u << 20);  // sparse
  const Outcome fromLarge = Run({"--load-state", large, "--steps", "10", rom});
  EXPECT_EQ(fromLarge.exitCode, 1);
  EXPECT_EQ(fromLarge.err, "vantor64-cli: cannot load state '" + large +
                               "': it is 41943040 bytes, larger than the 32 MB a save state may "
                               "take\n");
  EXPECT_LT(fromLarge.maxRssKb, 250 * 1024);
}

TEST_F(HostileInputTest, AStateIsCheckedWholeBeforeAnyOfItIsInflated) {
  const std::string rom = Rom("store_constants");
  const std::string good = (dir.Path() / "good.st").string();
  ASSERT_EQ(Run({"--steps", "10", "--save-state", good, rom}).exitCode, 0);
  const std::string goodBytes = Slurp(good);

  // Four unknown sections, each claiming 256 MB that a few hundred KB of the file make.
  const std::vector<uint8_t> zeros = PackedZeros();
  StateBuilder bomb(goodBytes);
  for (const char* name : {"zz0", "zz1", "zz2", "zz3"})
    bomb.Add(name, 256u << 20, zeros);
  // A known section claiming 256 MB instead of its few bytes.
  StateBuilder swollen(goodBytes);
  swollen.Replace("tlb-pages", 256u << 20, zeros);
  // A section given twice.
  StateBuilder twice(goodBytes);
  const TStoredSection tlb = twice.Section("tlb");
  twice.Add("tlb", tlb.RawSize, tlb.Stored);

  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
    std::string reason;
  } cases[] = {
      {"bomb.st", bomb.Bytes(), "it holds a section this program does not know (zz0)"},
      {"swollen.st", swollen.Bytes(), "its section tlb-pages has the wrong size"},
      {"twice.st", twice.Bytes(), "the file is damaged (section tlb is given twice)"},
  };
  for (const auto& bad : cases) {
    SCOPED_TRACE(bad.name);
    const std::string path = dir.WriteFile(bad.name, bad.bytes);
    const std::string out = (dir.Path() / "out.st").string();
    const Outcome outcome = Run({"--load-state", path, "--save-state", out, "--steps", "10", rom},
                                As::Caller, std::chrono::seconds(20));
    EXPECT_FALSE(outcome.timedOut);
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_EQ(outcome.err, "vantor64-cli: cannot load state '" + path + "': " + bad.reason + "\n");
    EXPECT_FALSE(std::filesystem::exists(out));
    // The machine takes some tens of MB (more in a sanitizer build); one section would add 256.
    EXPECT_LT(outcome.maxRssKb, 250 * 1024);
    ExpectNoSanitizerReport(outcome);
  }
}

TEST_F(HostileInputTest, HugeInputScriptsAreRefusedInBoundedMemoryWithAShortMessage) {
  const std::string rom = Rom("store_constants");
  // A 100 MB line of valid words: refused by its size before a byte is read.
  const std::string huge = (dir.Path() / "huge.txt").string();
  {
    std::ofstream out(huge, std::ios::binary);
    out << "0";
    std::string pairs;
    for (size_t i = 0; i < (1u << 19); ++i)
      pairs += " A";
    for (int i = 0; i < 100; ++i)
      out << pairs;
    out << " 0 0\n";
  }
  const Outcome fromHuge =
      Run({"--input", huge, "--steps", "10", rom}, As::Caller, std::chrono::seconds(20));
  EXPECT_FALSE(fromHuge.timedOut);
  EXPECT_EQ(fromHuge.exitCode, 2);
  EXPECT_EQ(fromHuge.err, "vantor64-cli: cannot read the input script '" + huge + "': it is " +
                              std::to_string(std::filesystem::file_size(huge)) +
                              " bytes, larger than the 16 MB an input script may take\n");
  EXPECT_LT(fromHuge.maxRssKb, 250 * 1024);

  // A 10 MB malformed word: refused at its line's limit, and quoted by its first characters.
  const std::string word = dir.WriteText("word.txt", "0 " + std::string(10u << 20, 'Q') + " 0 0\n");
  const Outcome fromWord =
      Run({"--input", word, "--steps", "10", rom}, As::Caller, std::chrono::seconds(20));
  EXPECT_FALSE(fromWord.timedOut);
  EXPECT_EQ(fromWord.exitCode, 2);
  EXPECT_EQ(fromWord.err, "vantor64-cli: " + word +
                              ", line 1: it is longer than 1024 characters: "
                              "'0 QQQQQQQQQQQQQQQQQQQQQQQQQQQQQQ...'\n");
  EXPECT_TRUE(fromWord.out.empty());
  ExpectNoSanitizerReport(fromWord);
}

TEST_F(HostileInputTest, AStateIsNeverSavedOverWhatIsNoRegularFile) {
  const std::string rom = Rom("store_constants");
  const std::string fifo = (dir.Path() / "state.fifo").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  const std::string folder = (dir.Path() / "folder").string();
  std::filesystem::create_directory(folder);
  for (const auto& [target, reason] : {std::pair{fifo, std::string("No such device or address")},
                                       std::pair{folder, std::string("Is a directory")}}) {
    SCOPED_TRACE(target);
    const Outcome outcome =
        Run({"--steps", "10", "--save-state", target, rom}, As::Caller, std::chrono::seconds(20));
    EXPECT_FALSE(outcome.timedOut);
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_EQ(outcome.err, "vantor64-cli: cannot save state '" + target + "': " + reason + "\n");
  }
  EXPECT_TRUE(std::filesystem::is_fifo(fifo));
  EXPECT_TRUE(std::filesystem::is_empty(folder));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 4);
}

TEST_F(HostileInputTest, NamesWithSpacesAndNonAsciiCharactersWork) {
  const std::string name = dir.WriteFile("my rom \xC3\xBC \xE6\x97\xA5\xE6\x9C\xAC.z64",
                                         test::CodeRom({EncodeJ(2, 0xA4000040 >> 2), 0}));
  const Outcome outcome = RunRom(name);
  EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
  const std::string missing = (dir.Path() / "no such r\xC3\xB6m.z64").string();
  EXPECT_EQ(RunRom(missing).out, "Error loading " + missing + "\n");
}

TEST_F(HostileInputTest, BadNumbersTargetsAndDisassemblyAreUsageErrors) {
  const std::string rom = Rom("store_constants");
  const std::vector<std::vector<std::string>> bad = {
      {"--frames", "-1"},
      {"--frames", "4294967296"},
      {"--frames", "99999999999999999999999"},
      {"--frames", "ten"},
      {"--frames", "0x"},
      {"--frames", ""},
      {"--steps", "-5"},
      {"--steps", "18446744073709551616"},
      {"--steps", "1e6"},
      {"--target", "1,2,3"},
      {"--target", "1,2,3,4,5"},
      {"--target", "1,2,-3,4"},
      {"--target", ",,,"},
      {"--target", "a,b,c,d"},
      {"--target", "0,0,99999999999,1"},
      {"--disasm", "80000000"},
      {"--disasm", "100000000", "1"},
      {"--disasm", "-4", "1"},
      {"--disasm", "80000000", "-1"},
      {"--disasm", "80000000", "4294967296"},
      {"--disasm", "xyz", "1"},
      {"--snapshot", ""},
      {"--dump-rdram", ""},
      {"--wav", ""},
      {"--video", ""},
  };
  for (size_t i = 0; i < bad.size(); ++i) {
    std::vector<std::string> args = bad[i];
    args.push_back(rom);
    SCOPED_TRACE(::testing::PrintToString(args));
    std::string error;
    EXPECT_FALSE(cli::ParseOptions(args, error).has_value());
    EXPECT_FALSE(error.empty());
    // What the program makes of a refusal is the same for every option: a few runs show it.
    if (i % 8 != 0) continue;
    const Outcome outcome = Run(args);
    EXPECT_EQ(outcome.exitCode, 2);
    EXPECT_EQ(outcome.err.find("vantor64-cli: " + error), 0u) << outcome.err;
    EXPECT_NE(outcome.err.find("Usage: vantor64-cli"), std::string::npos);
    EXPECT_TRUE(outcome.out.empty());
  }
}

TEST_F(HostileInputTest, OutputsNeverReplaceTheRomBeingRun) {
  const std::vector<uint8_t> bytes = test::CodeRom({EncodeJ(2, 0xA4000040 >> 2), 0});
  const std::string rom = dir.WriteFile("game.z64", bytes);
  const std::string alias = (dir.Path() / "alias.z64").string();
  std::filesystem::create_symlink(rom, alias);
  for (const char* option : {"--dump-rdram", "--snapshot", "--wav"}) {
    for (const std::string& output : {rom, alias, (dir.Path() / "." / "game.z64").string()}) {
      SCOPED_TRACE(std::string(option) + " " + output);
      const Outcome outcome = Run({"--frames", "1", option, output, rom});
      EXPECT_EQ(outcome.exitCode, 2);
      EXPECT_NE(outcome.err.find("is the ROM being run"), std::string::npos) << outcome.err;
      const std::string after = Slurp(rom);
      EXPECT_EQ(std::vector<uint8_t>(after.begin(), after.end()), bytes);
    }
  }
}

TEST_F(HostileInputTest, UnwritableOutputsFailWithTheSystemsReason) {
  // Paints one pixel so that a frame is presented and the snapshot is really written.
  const std::string rom = dir.WriteFile(
      "paint.z64", test::CodeRom({EncodeI(15, 0, 8, 0xA440), EncodeI(13, 0, 9, 320),
                                  EncodeI(43, 8, 9, 8), EncodeJ(2, (0xA4000040 + 12) >> 2), 0}));
  const std::string folder = dir.Path().string();
  // Nobody reads this FIFO: writing it would wait for good.
  const std::string fifo = (dir.Path() / "out.fifo").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  for (const char* option : {"--dump-rdram", "--snapshot", "--wav"}) {
    for (const std::string& output : {std::string("/nonexistent/dir/out"), folder, fifo}) {
      SCOPED_TRACE(std::string(option) + " " + output);
      const Outcome outcome =
          Run({"--frames", "2", option, output, rom}, As::Caller, std::chrono::seconds(30));
      EXPECT_FALSE(outcome.timedOut);
      EXPECT_EQ(outcome.exitCode, 1);
      EXPECT_NE(outcome.err.find("vantor64-cli: cannot write '" + output + "': "),
                std::string::npos)
          << outcome.err;
      ExpectNoSanitizerReport(outcome);
    }
  }
}

TEST_F(HostileInputTest, AnOutputFifoWithAReaderGetsEveryByte) {
  const std::string fifo = (dir.Path() / "dump.fifo").string();
  const std::string copy = (dir.Path() / "copy.bin").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  // A reader from the start, which never reads: cat below gets every byte. The pipe holds far
  // less than the 4 MB dump, so the runner's writes must wait for cat, not fail.
  const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  const std::string command = "cat " + fifo + " >" + copy + " & timeout 60 " +
                              std::string(VANTOR_CLI) + " --steps 10 --dump-rdram " + fifo + " " +
                              Rom("store_constants") + " >/dev/null; status=$?; wait; exit $status";
  EXPECT_EQ(std::system(command.c_str()), 0);
  close(reader);
  EXPECT_EQ(std::filesystem::file_size(copy), 4u << 20);
}

TEST_F(HostileInputTest, DisassemblyIsWrittenAsItIsMade) {
  // Four billion lines would take hours; a reader that stops after three ends the run at once.
  const std::string command = "timeout 60 " + std::string(VANTOR_CLI) +
                              " --steps 0 --disasm 80000000 4294967295 " + Rom("store_constants") +
                              " | grep -m 3 '^8' >" + (dir.Path() / "head.txt").string();
  ASSERT_EQ(std::system(command.c_str()), 0);
  EXPECT_EQ(Slurp(dir.Path() / "head.txt"),
            "80000000 : SLL R0,R0,00000000\n80000004 : SLL R0,R0,00000000\n"
            "80000008 : SLL R0,R0,00000000\n");
}

TEST_F(HostileInputTest, ARendererThatCannotBeLoadedFailsWithTheReason) {
  const std::string plugin = (dir.Path() / "missing.so").string();
  const Outcome outcome = Run({"--video", plugin, Rom("store_constants")});
  EXPECT_EQ(outcome.exitCode, 1);
  EXPECT_NE(outcome.err.find("vantor64-cli: cannot use the renderer plug-in: Renderer " + plugin +
                             " could not be loaded: "),
            std::string::npos)
      << outcome.err;
  EXPECT_NE(outcome.err.find("No such file or directory"), std::string::npos);
}

#ifdef VID_PRISM_PATH
// Run against a display, where the plug-in could show a dialog that nobody would ever close.
TEST_F(HostileInputTest, PlugInFailuresNeverWaitForADialog) {
  if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "needs a display";
  unsetenv("VID_PRISM_MESSAGE_FILE");
  // A frame width of 65536 is more than the plug-in can make a back buffer for.
  const std::string rom = dir.WriteFile(
      "wide.z64", test::CodeRom({EncodeI(15, 0, 8, 0xA440), EncodeI(15, 0, 9, 1),
                                 EncodeI(43, 8, 9, 8), EncodeJ(2, (0xA4000040 + 12) >> 2), 0}));
  const Outcome outcome =
      Run({"--frames", "2", "--video", VID_PRISM_PATH, rom}, As::Caller, std::chrono::seconds(30));
  EXPECT_FALSE(outcome.timedOut);
  EXPECT_EQ(outcome.exitCode, 0);
  EXPECT_NE(outcome.err.find("Error creating the Back Buffer Surface4 Object!"), std::string::npos)
      << outcome.err;
}
#endif

}  // namespace
}  // namespace vantor
