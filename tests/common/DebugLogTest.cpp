#include "common/DebugLog.h"

#include <gtest/gtest.h>

#include <thread>

#include "tests/support/CaptureHost.h"

namespace vantor {
namespace {

TEST(DebugLogTest, WithoutAHostLinesAreDropped) {
  ASSERT_EQ(CurrentHost(), nullptr);
  DbgAddLine("nobody listens");
  ShowMessage("nobody sees");
  SetStatusText("nobody reads");
}

TEST(DebugLogTest, LinesArriveUnaltered) {
  test::CaptureHost host;
  DbgAddLine("");
  DbgAddLine("  padded  ");
  DbgAddLine("two\nparts");
  EXPECT_EQ(host.Lines(), (std::vector<std::string>{"", "  padded  ", "two\nparts"}));
}

TEST(DebugLogTest, EachThreadKeepsItsOrder) {
  test::CaptureHost host;
  constexpr int kLines = 5000;
  auto writer = [](char tag) {
    for (int i = 0; i < kLines; ++i)
      DbgAddLine(std::string(1, tag) + std::to_string(i));
  };
  std::thread a(writer, 'a');
  std::thread b(writer, 'b');
  a.join();
  b.join();

  int nextA = 0, nextB = 0;
  for (const auto& line : host.Lines()) {
    int& next = line[0] == 'a' ? nextA : nextB;
    EXPECT_EQ(line.substr(1), std::to_string(next));
    ++next;
  }
  EXPECT_EQ(nextA, kLines);
  EXPECT_EQ(nextB, kLines);
}

}  // namespace
}  // namespace vantor
