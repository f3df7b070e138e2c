#include "ui/RomStream.h"

#include <gtest/gtest.h>

#include "tests/support/CaptureHost.h"
#include "tests/support/RomBytes.h"

namespace vantor {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(RomStreamTest, EachOrderIsBroughtToBigEndianByItsHelper) {
  test::CaptureHost host;
  const Bytes bigEndian = test::BigEndianRom({.size = 4096});

  TRomStream halfwordSwapped = test::HalfwordSwapped(bigEndian);
  ByteSwap(halfwordSwapped);
  EXPECT_EQ(halfwordSwapped, bigEndian);

  TRomStream reversed = test::WordReversed(bigEndian);
  WordSwap(reversed);
  EXPECT_EQ(reversed, bigEndian);
  EXPECT_EQ(
      host.StatusTexts(),
      (std::vector<std::string>{"Byteswapping...", "Byteswapping  clear", "Wordswapping...",
                                "Wordswapping  clear", "Byteswapping...", "Byteswapping  clear"}));

  TRomStream hostLayout = bigEndian;
  LongSwap(hostLayout);
  EXPECT_EQ(hostLayout, test::WordReversed(bigEndian));
  EXPECT_EQ(host.StatusTexts().back(), "Ready!!!");
}

TEST(RomStreamTest, OnlyWholeUnitsAreSwapped) {
  TRomStream odd = {1, 2, 3, 4, 5, 6, 7};
  ByteSwap(odd);
  EXPECT_EQ(odd, (Bytes{2, 1, 4, 3, 6, 5, 7}));
  LongSwap(odd);
  EXPECT_EQ(odd, (Bytes{3, 4, 1, 2, 6, 5, 7}));
  TRomStream tiny = {9, 8, 7};
  WordSwap(tiny);
  EXPECT_EQ(tiny, (Bytes{8, 9, 7}));
  TRomStream empty;
  LongSwap(empty);
  EXPECT_TRUE(empty.empty());
}

}  // namespace
}  // namespace vantor
