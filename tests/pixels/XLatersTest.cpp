#include "pixels/XLaters.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "tests/support/PixelReference.h"

namespace vantor {
namespace {

using test::PixelAt;
using test::Ref555;
using test::Ref565;
using test::RefRgb;

// The display bytes of one pixel, little-endian, as the reference makes them.
std::vector<uint8_t> RefBytes(const TXLaterInfo& xlater, uint16_t p) {
  uint32_t value = 0;
  if (&xlater == &XLater565Info) value = Ref565(p);
  if (&xlater == &XLater555Info) value = Ref555(p);
  if (&xlater == &XLater24Info || &xlater == &XLater32Info) value = RefRgb(p);
  std::vector<uint8_t> bytes(xlater.bytesPerPixel);
  for (size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = uint8_t(value >> (8 * i));
  return bytes;
}

constexpr uint8_t kUntouched = 0xA5;

TEST(XLatersTest, PixelExamples) {
  const uint32_t white = 0xFFFF0000;  // white with alpha, then black
  const uint32_t red = 0xF8010000;    // pure red with alpha, then black
  uint32_t out16 = 0;
  XLate565(&white, &out16, 4);
  EXPECT_EQ(out16, 0xFFDFu);
  XLate555(&white, &out16, 4);
  EXPECT_EQ(out16, 0x7FFFu);
  XLate565(&red, &out16, 4);
  EXPECT_EQ(out16, 0xF800u);
  XLate555(&red, &out16, 4);
  EXPECT_EQ(out16, 0x7C00u);

  uint32_t out32[2] = {};
  XLate32(&white, out32, 8);
  EXPECT_EQ(out32[0], 0xFFFFFCu);
  EXPECT_EQ(out32[1], 0u);
  XLate32(&red, out32, 8);
  EXPECT_EQ(out32[0], 0xF80004u);

  uint8_t out24[6] = {};
  XLate24(&red, out24, 6);
  EXPECT_EQ(std::vector<uint8_t>(out24, out24 + 6), (std::vector<uint8_t>{4, 0, 0xF8, 0, 0, 0}));
}

TEST(XLatersTest, SixteenBitWordsSwapTheirHalves) {
  const uint32_t word = 0x12345678;
  uint32_t out = 0;
  XLate555(&word, &out, 4);
  EXPECT_EQ(out, 0x2B3C091Au);
  XLate565(&word, &out, 4);
  EXPECT_EQ(out, Ref565(0x5678) << 16 | Ref565(0x1234));
}

// Every conversion on a whole frame of random pixels, against the reference, and the run stops
// at the last whole source word that fits the byte count.
TEST(XLatersTest, WholeFramesMatchTheReference) {
  constexpr size_t kWidth = 64;
  constexpr size_t kHeight = 48;
  const std::vector<uint32_t> frame = test::RandomFrame(kWidth * kHeight, 1);
  for (const TXLaterInfo* xlater : {&XLater565Info, &XLater555Info, &XLater24Info, &XLater32Info}) {
    SCOPED_TRACE(xlater->bytesPerPixel);
    const size_t bytes = kWidth * kHeight * xlater->bytesPerPixel;
    // One byte short of the whole frame: the last source word is left out.
    std::vector<uint8_t> out(bytes + 8, kUntouched);
    xlater->xlate(frame.data(), out.data(), bytes - 1);
    for (size_t i = 0; i + 2 < kWidth * kHeight; ++i) {
      const std::vector<uint8_t> want = RefBytes(*xlater, PixelAt(frame, i));
      ASSERT_EQ(0, std::memcmp(&out[i * want.size()], want.data(), want.size())) << "pixel " << i;
    }
    for (size_t i = bytes - 2 * xlater->bytesPerPixel; i < out.size(); ++i)
      ASSERT_EQ(out[i], kUntouched) << "byte " << i;
  }
}

TEST(XLatersTest, ChoiceFollowsTheDisplayFormat) {
  EXPECT_EQ(ChooseXLater(16, 0xF800), &XLater565Info);
  EXPECT_EQ(ChooseXLater(16, 0x7C00), &XLater555Info);
  EXPECT_EQ(ChooseXLater(16, 0x001F), &XLater555Info);
  EXPECT_EQ(ChooseXLater(24, 0xFF0000), &XLater24Info);
  EXPECT_EQ(ChooseXLater(32, 0xFF0000), &XLater32Info);
  EXPECT_EQ(ChooseXLater(8, 0), nullptr);
  EXPECT_EQ(ChooseXLater(15, 0x7C00), nullptr);
}

// Rows that start and end mid-word (odd widths) into padded rows: every pixel lands in its row,
// the padding stays untouched, and the source is read only as far as the frame goes (the frame
// vector is exactly as long as its pixels need, so the address sanitizer sees any over-read).
TEST(XLatersTest, FramesIntoPaddedRows) {
  for (const TXLaterInfo* xlater : {&XLater565Info, &XLater555Info, &XLater24Info, &XLater32Info}) {
    for (uint32_t width : {1u, 5u, 8u, 13u}) {
      constexpr uint32_t kHeight = 7;
      SCOPED_TRACE(testing::Message() << xlater->bytesPerPixel << " bytes, width " << width);
      const std::vector<uint32_t> frame = test::RandomFrame(size_t{width} * kHeight, width);
      const size_t row = size_t{width} * xlater->bytesPerPixel;
      for (size_t pitch : {row, row + 2, (row + 3) / 4 * 4 + 4}) {
        std::vector<uint8_t> out(pitch * kHeight, kUntouched);
        XLateFrame(*xlater, frame.data(), width, kHeight, out.data(), pitch);
        for (size_t y = 0; y < kHeight; ++y) {
          for (size_t x = 0; x < width; ++x) {
            const std::vector<uint8_t> want = RefBytes(*xlater, PixelAt(frame, y * width + x));
            ASSERT_EQ(0, std::memcmp(&out[y * pitch + x * want.size()], want.data(), want.size()))
                << "pitch " << pitch << " pixel " << x << "," << y;
          }
          for (size_t i = row; i < pitch; ++i)
            ASSERT_EQ(out[y * pitch + i], kUntouched);
        }
      }
    }
  }
}

TEST(XLatersTest, PixelRunsWriteExactlyTheirPixels) {
  const std::vector<uint32_t> frame = test::RandomFrame(10, 3);
  for (size_t first : {0u, 1u, 3u}) {
    for (size_t count : {0u, 1u, 2u, 5u}) {
      std::vector<uint8_t> out(count * 4 + 4, kUntouched);
      XLatePixels(XLater32Info, frame.data(), first, count, out.data());
      for (size_t i = 0; i < count; ++i) {
        uint32_t pixel;
        std::memcpy(&pixel, &out[i * 4], 4);
        EXPECT_EQ(pixel, RefRgb(PixelAt(frame, first + i))) << first << "+" << i;
      }
      for (size_t i = count * 4; i < out.size(); ++i)
        EXPECT_EQ(out[i], kUntouched);
    }
  }
}

}  // namespace
}  // namespace vantor

namespace vantor {
namespace {

// The 8-8-8-8 reference: each colour byte cut to the display's bits (5-6-5, 5-5-5) or kept
// (24 and 32 bits), alpha dropped; built channel by channel, not from the shifts.
std::vector<uint8_t> RefRgbaBytes(const TXLaterInfo& xlater, uint32_t p) {
  const uint32_t r = p >> 24, g = (p >> 16) & 0xFF, b = (p >> 8) & 0xFF;
  uint32_t value = r << 16 | g << 8 | b;
  if (&xlater == &XLater565Info) value = (r / 8) << 11 | (g / 4) << 5 | b / 8;
  if (&xlater == &XLater555Info) value = (r / 8) << 10 | (g / 8) << 5 | b / 8;
  std::vector<uint8_t> bytes(xlater.bytesPerPixel);
  for (size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = uint8_t(value >> (8 * i));
  return bytes;
}

// 32-bit frames at each display depth, rows of every width from 1 to 9 pixels (the 24-bit one
// works four at a time) and a stride wider than the row, against the reference; nothing is
// written between a row's end and the pitch.
TEST(XLatersTest, RgbaRowsMatchTheReferenceAtEveryDepth) {
  std::mt19937 random(32);
  for (const TXLaterInfo* xlater : {&XLater565Info, &XLater555Info, &XLater24Info, &XLater32Info}) {
    for (uint32_t width = 1; width <= 9; ++width) {
      constexpr uint32_t kHeight = 3;
      const uint32_t strideWords = width + 2;
      std::vector<uint32_t> frame(strideWords * kHeight);
      for (uint32_t& word : frame)
        word = random();
      const size_t pitch = width * xlater->bytesPerPixel + 5;
      std::vector<uint8_t> out(pitch * kHeight, kUntouched);
      XLateRows(*xlater, true, frame.data(), width, kHeight, strideWords * 4, out.data(), pitch);
      for (uint32_t y = 0; y < kHeight; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
          const auto* at = &out[y * pitch + x * xlater->bytesPerPixel];
          EXPECT_EQ(std::vector<uint8_t>(at, at + xlater->bytesPerPixel),
                    RefRgbaBytes(*xlater, frame[y * strideWords + x]))
              << xlater->bytesPerPixel << " bytes, width " << width << ", " << x << "," << y;
        }
        for (size_t i = width * xlater->bytesPerPixel; i < pitch; ++i)
          EXPECT_EQ(out[y * pitch + i], kUntouched);
      }
    }
  }
}

// 16-bit frames with a stride: each row starts at a word of the source.
TEST(XLatersTest, SixteenBitRowsWithAStrideMatchTheReference) {
  constexpr uint32_t kWidth = 5, kHeight = 4, kStrideWords = 4;
  const std::vector<uint32_t> frame = test::RandomFrame(2 * kStrideWords * kHeight, 9);
  for (const TXLaterInfo* xlater : {&XLater565Info, &XLater555Info, &XLater24Info, &XLater32Info}) {
    const size_t pitch = kWidth * xlater->bytesPerPixel;
    std::vector<uint8_t> out(pitch * kHeight, kUntouched);
    XLateRows(*xlater, false, frame.data(), kWidth, kHeight, kStrideWords * 4, out.data(), pitch);
    for (uint32_t y = 0; y < kHeight; ++y)
      for (uint32_t x = 0; x < kWidth; ++x) {
        const auto* at = &out[y * pitch + x * xlater->bytesPerPixel];
        EXPECT_EQ(std::vector<uint8_t>(at, at + xlater->bytesPerPixel),
                  RefBytes(*xlater, PixelAt(frame, y * 2 * kStrideWords + x)));
      }
  }
}

}  // namespace
}  // namespace vantor
