// Runs the makerom host tool as the build does and checks what it writes and how it refuses.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"

namespace vantor {
namespace {

using Bytes = std::vector<uint8_t>;

struct Outcome {
  int exitCode = -1;
  std::string output;  // standard output and standard error
};

Outcome RunMakeRom(const std::string& arguments) {
  const std::string command = std::string(VANTOR_MAKEROM) + " " + arguments + " 2>&1";
  Outcome outcome;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return outcome;
  char buffer[256];
  while (size_t count = std::fread(buffer, 1, sizeof buffer, pipe))
    outcome.output.append(buffer, count);
  const int status = pclose(pipe);
  if (WIFEXITED(status)) outcome.exitCode = WEXITSTATUS(status);
  return outcome;
}

Bytes ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class MakeRomTest : public ::testing::Test {
 protected:
  std::string Arguments(const std::string& extra) const {
    return "--name HELLO --entry 0x80000400 --in '" + code + "' --out '" + out.string() + "' " +
           extra;
  }

  test::TempDir dir;
  std::string code = dir.WriteFile("code.bin", {0x3C, 0x08, 0x12, 0x34, 0xAA});
  std::filesystem::path out = dir.Path() / "rom.z64";
};

TEST_F(MakeRomTest, WritesTheHeaderThenTheCodeEndingOnAWord) {
  const Outcome run = RunMakeRom(Arguments("--maker 0x4E --country P"));
  ASSERT_EQ(run.exitCode, 0) << run.output;
  const Bytes rom = ReadFile(out);
  ASSERT_EQ(rom.size(), 72u);  // 64 + 5 code bytes, rounded up to a whole word

  Bytes header(64, 0);
  const Bytes fixed = {0x80, 0x37, 0x12, 0x40, 0, 0, 0, 0x0F, 0x80, 0x00, 0x04, 0x00};
  std::copy(fixed.begin(), fixed.end(), header.begin());
  std::copy_n("HELLO", 5, header.begin() + 32);  // the rest of the 20 name bytes stay zero
  header[59] = 'N';
  header[62] = 'P';
  EXPECT_EQ(Bytes(rom.begin(), rom.begin() + 64), header);
  EXPECT_EQ(Bytes(rom.begin() + 64, rom.end()), (Bytes{0x3C, 0x08, 0x12, 0x34, 0xAA, 0, 0, 0}));

  ASSERT_EQ(RunMakeRom(Arguments("--pad-to 4096")).exitCode, 0);
  const Bytes padded = ReadFile(out);
  ASSERT_EQ(padded.size(), 4096u);
  EXPECT_EQ(padded[59], 0);  // maker and country default to no code
  EXPECT_TRUE(std::all_of(padded.begin() + 69, padded.end(), [](uint8_t b) { return b == 0; }));
}

TEST_F(MakeRomTest, RefusesBadArgumentsAndInputWithoutWritingARom) {
  const std::string longName(21, 'A');
  const std::string empty = dir.WriteFile("empty.bin", {});
  const std::string missing = (dir.Path() / "missing.bin").string();
  const struct {
    std::string arguments;
    int exitCode;
    std::string message;
  } cases[] = {
      {"", 2, "--name is required"},
      {"--name X --entry 0 --in '" + code + "'", 2, "--out is required"},
      {Arguments("--name"), 2, "--name: missing value"},
      {Arguments("--bogus 1"), 2, "unknown option --bogus"},
      {Arguments("--entry 0x8000G400"), 2, "--entry: not a number"},
      {Arguments("--entry 0x100000000"), 2, "--entry: not a number"},
      {Arguments("--name " + longName), 2, "--name: longer than 20 characters"},
      {Arguments("--maker 256"), 2, "--maker: not a number from 0 to 255"},
      {Arguments("--pad-to 4098"), 2, "--pad-to: not a multiple of 4"},
      {Arguments("--pad-to 64"), 2, "--pad-to: 64 bytes is less than the image's 72"},
      {Arguments("--in '" + missing + "'"), 1, "cannot read " + missing},
      {Arguments("--in '" + empty + "'"), 1, empty + " is empty"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments);
    const Outcome run = RunMakeRom(c.arguments);
    EXPECT_EQ(run.exitCode, c.exitCode);
    EXPECT_NE(run.output.find("makerom: " + c.message), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("usage:") != std::string::npos, c.exitCode == 2);
    EXPECT_FALSE(std::filesystem::exists(out));
  }
}

}  // namespace
}  // namespace vantor
