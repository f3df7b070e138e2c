// vantor64's command line: the parser's answers, and the program itself answering --help,
// --version and bad options without a display.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>

#include "ui/CommandLine.h"

using namespace vantor::ui;

namespace {

TCommandLine Parse(const QStringList& options) {
  return ParseCommandLine(QStringList{"vantor64"} + options);
}

struct TProgramRun {
  int status = -1;
  std::string output;
};

// Runs the built program with no display at all, standard error joined to standard output.
TProgramRun RunProgram(const std::string& arguments) {
  const std::string command =
      "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " VANTOR64 " " + arguments + " 2>&1";
  TProgramRun run;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  std::array<char, 512> buffer{};
  while (fgets(buffer.data(), buffer.size(), pipe) != nullptr)
    run.output += buffer.data();
  const int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

}  // namespace

TEST(CommandLine, RomAndOptionsRunTheWindow) {
  TCommandLine none = Parse({});
  EXPECT_TRUE(none.run);
  EXPECT_TRUE(none.options.rom.isEmpty());

  TCommandLine all = Parse({"--paused", "game.z64", "--fullscreen"});
  ASSERT_TRUE(all.run);
  EXPECT_EQ(all.options.rom, "game.z64");
  EXPECT_TRUE(all.options.paused);
  EXPECT_TRUE(all.options.fullScreen);

  // A ROM whose name starts with a dash, after "--".
  TCommandLine dashed = Parse({"--", "-odd.z64"});
  ASSERT_TRUE(dashed.run);
  EXPECT_EQ(dashed.options.rom, "-odd.z64");

  // The toolkit's own options are left for it, values and all.
  TCommandLine toolkit = Parse({"-platform", "offscreen", "-style", "Fusion", "-reverse", "a.z64"});
  ASSERT_TRUE(toolkit.run) << toolkit.error.toStdString();
  EXPECT_EQ(toolkit.options.rom, "a.z64");
}

TEST(CommandLine, HelpAndVersionAnswerAndEnd) {
  for (const QStringList& arguments : {QStringList{"--help"}, QStringList{"-h", "a.z64"}}) {
    TCommandLine help = Parse(arguments);
    EXPECT_FALSE(help.run);
    EXPECT_EQ(help.exitStatus, 0);
    EXPECT_TRUE(help.output.contains("--fullscreen")) << help.output.toStdString();
    EXPECT_TRUE(help.output.contains("--paused"));
    EXPECT_FALSE(help.output.contains("platform"));
    EXPECT_TRUE(help.output.startsWith("Usage: vantor64 [options] [ROM]\n"));
  }
  TCommandLine version = Parse({"--version"});
  EXPECT_FALSE(version.run);
  EXPECT_EQ(version.exitStatus, 0);
  EXPECT_TRUE(version.output.startsWith("Vantor64 0.25\nbuild 0.25"))
      << version.output.toStdString();
  EXPECT_EQ(version.output, VersionText());
}

TEST(CommandLine, MistakesEndWithStatusTwo) {
  const struct {
    QStringList arguments;
    const char* says;
  } mistakes[] = {
      {{"--bogus"}, "Unknown option '--bogus'."},
      {{"-x", "a.z64"}, "Unknown option '-x'."},
      {{"--bogus=3", "a.z64"}, "Unknown option '--bogus'."},
      {{"-y", "--zz", "a.z64"}, "Unknown options '-y', '--zz'."},
      {{"a.z64", "b.z64"}, "one ROM at a time"},
      {{"--fullscreen"}, "--fullscreen needs a ROM"},
      {{"--paused"}, "--paused needs a ROM"},
      {{"-platform"}, "Missing value after '-platform'"},
  };
  for (const auto& mistake : mistakes) {
    const TCommandLine result = Parse(mistake.arguments);
    EXPECT_FALSE(result.run);
    EXPECT_EQ(result.exitStatus, kUsageExitStatus);
    EXPECT_TRUE(result.output.isEmpty());
    EXPECT_TRUE(result.error.contains(mistake.says)) << result.error.toStdString();
    EXPECT_TRUE(result.error.contains("Try 'vantor64 --help'"));
  }
}

TEST(CommandLine, TheProgramAnswersWithoutADisplay) {
  const TProgramRun help = RunProgram("--help");
  EXPECT_EQ(help.status, 0) << help.output;
  EXPECT_NE(help.output.find("Usage:"), std::string::npos) << help.output;
  EXPECT_NE(help.output.find("[ROM]"), std::string::npos);

  const TProgramRun version = RunProgram("--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.output.rfind("Vantor64 0.25\n", 0), 0u) << version.output;

  const TProgramRun bogus = RunProgram("--bogus some.z64");
  EXPECT_EQ(bogus.status, 2);
  EXPECT_NE(bogus.output.find("Unknown option '--bogus'."), std::string::npos) << bogus.output;
}
