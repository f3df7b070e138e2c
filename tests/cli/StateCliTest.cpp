// Save states across processes: a run continued from a state in a fresh process ends exactly
// where an unbroken run does, and every kind of bad state file is refused without a run.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "tests/support/TempDir.h"

namespace vantor {
namespace {

struct Outcome {
  int exitCode;
  std::string out;
  std::string err;
};

class StateCliTest : public ::testing::Test {
 protected:
  Outcome Run(const std::string& arguments) {
    const std::string out = Path("out.txt");
    const std::string err = Path("err.txt");
    const std::string command =
        std::string(VANTOR_CLI) + " " + arguments + " >" + out + " 2>" + err;
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Text(out), Text(err)};
  }
  std::string Path(const std::string& name) const { return (dir.Path() / name).string(); }
  static std::string Text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  static std::vector<uint8_t> Bytes(const std::string& path) {
    const std::string text = Text(path);
    return {text.begin(), text.end()};
  }
  static std::string Rom(const std::string& name) {
    return std::string(VANTOR_ROM_DIR) + "/" + name + ".z64";
  }
  // What --regs printed: everything after the run's closing console line.
  static std::string Registers(const std::string& out) {
    const size_t closing = out.find("Emulated ");
    return closing == std::string::npos ? std::string() : out.substr(out.find('\n', closing));
  }
  test::TempDir dir;
};

// Run N + M frames at once (A), or N frames, save, and M frames in a new process from the
// state (B): main memory, registers and the whole machine state at the end are the same.
TEST_F(StateCliTest, ARunContinuedFromAStateInAFreshProcessEndsExactlyAsAnUnbrokenOne) {
  for (const char* rom : {"demo", "bench", "state_mix"}) {
    SCOPED_TRACE(rom);
    const Outcome first = Run("--frames 7 --save-state " + Path("at7.st") + " " + Rom(rom));
    ASSERT_EQ(first.exitCode, 0) << first.err;
    const Outcome whole = Run("--frames 12 --regs --dump-rdram " + Path("a.rdram") +
                              " --save-state " + Path("a.st") + " " + Rom(rom));
    ASSERT_EQ(whole.exitCode, 0) << whole.err;
    const Outcome resumed =
        Run("--load-state " + Path("at7.st") + " --frames 5 --regs --dump-rdram " +
            Path("b.rdram") + " --save-state " + Path("b.st") + " " + Rom(rom));
    ASSERT_EQ(resumed.exitCode, 0) << resumed.err;

    EXPECT_FALSE(Registers(whole.out).empty());
    EXPECT_EQ(Registers(whole.out), Registers(resumed.out));
    EXPECT_TRUE(Bytes(Path("a.rdram")) == Bytes(Path("b.rdram")));
    EXPECT_TRUE(Bytes(Path("a.st")) == Bytes(Path("b.st")));
  }
}

TEST_F(StateCliTest, BadStateFilesAreRefusedWithTheirReasonAndNothingRuns) {
  ASSERT_EQ(Run("--frames 2 --save-state " + Path("good.st") + " " + Rom("demo")).exitCode, 0);
  const std::vector<uint8_t> good = Bytes(Path("good.st"));
  ASSERT_GT(good.size(), 200u);

  std::vector<uint8_t> truncated(good.begin(), good.begin() + good.size() / 2);
  std::vector<uint8_t> flipped = good;
  flipped[good.size() / 2] ^= 0x20;
  std::vector<uint8_t> magic = good;
  magic[0] = 'X';
  std::vector<uint8_t> future = good;
  future[8] = 2;
  const struct {
    std::string name;
    std::vector<uint8_t> bytes;
    std::string rom;
    std::string reason;
  } cases[] = {
      {"truncated.st", truncated, "demo", "truncated or damaged"},
      {"flipped.st", flipped, "demo", "damaged"},
      {"magic.st", magic, "demo", "not a Vantor64 save state"},
      {"future.st", future, "demo", "state format 2"},
      {"other.st", good, "bench", "another ROM (\"VANTOR64 DEMO"},
      {"empty.st", {}, "demo", "not a Vantor64 save state"},
  };
  for (const auto& bad : cases) {
    SCOPED_TRACE(bad.name);
    const std::string path = dir.WriteFile(bad.name, bad.bytes);
    const Outcome outcome = Run("--load-state " + path + " --save-state " + Path("out.st") +
                                " --dump-rdram " + Path("out.rdram") + " " + Rom(bad.rom));
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_NE(outcome.err.find("cannot load state '" + path + "'"), std::string::npos)
        << outcome.err;
    EXPECT_NE(outcome.err.find(bad.reason), std::string::npos) << outcome.err;
    EXPECT_EQ(outcome.out.find("Emulated "), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(Path("out.st")));
    EXPECT_FALSE(std::filesystem::exists(Path("out.rdram")));
    EXPECT_TRUE(Bytes(path) == bad.bytes);
  }
  const Outcome missing = Run("--load-state " + Path("none.st") + " " + Rom("demo"));
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_NE(missing.err.find("No such file or directory"), std::string::npos) << missing.err;
}

TEST_F(StateCliTest, AStateThatCannotBeWrittenLeavesNoFileBehind) {
  const std::string notAFolder = dir.WriteFile("plain", {1, 2, 3});
  const Outcome outcome = Run("--frames 1 --save-state " + notAFolder + "/x.st " + Rom("demo"));
  EXPECT_EQ(outcome.exitCode, 1);
  EXPECT_NE(outcome.err.find("cannot save state"), std::string::npos) << outcome.err;
  EXPECT_NE(outcome.err.find("Not a directory"), std::string::npos) << outcome.err;

  // An existing state is replaced whole; no temporary file stays beside it.
  ASSERT_EQ(Run("--frames 1 --save-state " + Path("s.st") + " " + Rom("demo")).exitCode, 0);
  ASSERT_EQ(Run("--frames 3 --save-state " + Path("s.st") + " " + Rom("demo")).exitCode, 0);
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
    files += entry.path().filename().string().starts_with("s.st") ? 1 : 0;
  EXPECT_EQ(files, 1);
}

}  // namespace
}  // namespace vantor
