#include "memory/RomImage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <vector>

#include "common/MachineState.h"
#include "tests/support/CaptureHost.h"
#include "tests/support/FifoRescue.h"
#include "tests/support/RomBytes.h"
#include "tests/support/TempDir.h"

namespace vantor {
namespace {

using test::BigEndianRom;
using Lines = std::vector<std::string>;

class RomImageTest : public ::testing::Test {
 protected:
  void TearDown() override { UnloadRomImage(); }

  bool Load(const std::vector<uint8_t>& bytes, const std::string& name = "rom.z64") {
    host.Clear();
    return LoadRomImage(dir.WriteFile(name, bytes));
  }
  std::vector<uint8_t> ImageBytes() const {
    return {RomImage->Data, RomImage->Data + RomImage->Size};
  }
  uint32_t ImageWord(uint32_t offset) const {
    uint32_t word;
    std::memcpy(&word, RomImage->Data + offset, 4);
    return word;
  }

  test::TempDir dir;
  test::CaptureHost host;
};

TEST_F(RomImageTest, AllThreeByteOrdersGiveTheSameImageAndLines) {
  const auto bigEndian = BigEndianRom({});
  ASSERT_TRUE(Load(bigEndian));
  const auto image = ImageBytes();
  const auto lines = host.Lines();
  EXPECT_EQ(ImageWord(0), 0x80371240u);
  EXPECT_EQ(ImageWord(8), 0x80000400u);
  EXPECT_EQ(image[0x20 ^ 3], 'V');  // emulated byte A lies at host offset A xor 3
  EXPECT_EQ(lines, (Lines{"Loaded VANTOR TEST", "Entry point : 80000400", "Country Code : USA",
                          "Manufacturer Code : Nintendo"}));
  EXPECT_EQ(RomLoadError, "");

  for (const auto& other : {test::HalfwordSwapped(bigEndian), test::WordReversed(bigEndian)}) {
    ASSERT_TRUE(Load(other));
    EXPECT_EQ(ImageBytes(), image);
    EXPECT_EQ(host.Lines(), lines);
    EXPECT_EQ(RomHeader.Magic, 0x8037);
  }
}

TEST_F(RomImageTest, UnknownOrdersAreRefusedKeepingTheRawFileAndTheReason) {
  auto unknown = BigEndianRom({});
  unknown[0] = 0x12;
  EXPECT_FALSE(Load(unknown));
  EXPECT_FALSE(RomLoaded);
  EXPECT_EQ(host.Lines(), Lines{"Invalid \"Magic\"!"});
  EXPECT_EQ(RomLoadError, "Invalid \"Magic\"!");
  EXPECT_EQ(ImageBytes(), unknown);

  // Halves of each word exchanged: 12 40 80 37 is none of the three orders.
  auto halvesSwapped = test::HalfwordSwapped(test::WordReversed(BigEndianRom({})));
  EXPECT_FALSE(Load(halvesSwapped));
  EXPECT_EQ(host.Lines(), Lines{"Invalid \"Magic\"!"});
}

TEST_F(RomImageTest, HeaderFieldsAreReadFromTheNormalisedImage) {
  ASSERT_TRUE(Load(BigEndianRom(
      {.name = "ABCDEFGHIJKLMNOPQRST", .entryPoint = 0x80246000, .maker = 'N', .country = 'J'})));
  EXPECT_EQ(RomHeader.Magic, 0x8037);
  EXPECT_EQ(RomHeader.Byte2, 0x12);
  EXPECT_EQ(RomHeader.Byte3, 0x40);
  EXPECT_EQ(RomHeader.ClockRate, 0x0000000Fu);
  EXPECT_EQ(RomHeader.EntryPoint, 0x80246000u);
  EXPECT_EQ(std::string(RomHeader.Name.data(), 20), "ABCDEFGHIJKLMNOPQRST");
  EXPECT_EQ(RomHeader.Manufacturer, 'N');
  EXPECT_EQ(RomHeader.Country, 'J');
  // A full 20-byte name has no terminating zero: the line takes exactly 20 characters.
  EXPECT_EQ(host.Lines()[0], "Loaded ABCDEFGHIJKLMNOPQRST");
  EXPECT_EQ(host.Lines()[2], "Country Code : Japan");

  ASSERT_TRUE(Load(BigEndianRom({.name = "SHORT"})));
  EXPECT_EQ(host.Lines()[0], "Loaded SHORT");
  EXPECT_EQ(std::string(RomHeader.Name.data(), 20), std::string("SHORT") + std::string(15, '\0'));
}

TEST_F(RomImageTest, CountryAndMakerCodesWithoutANameShowAQuestionMark) {
  const struct {
    uint8_t country, maker;
    const char* countryLine;
    const char* makerLine;
  } cases[] = {
      {'D', 'N', "Country Code : Germany", "Manufacturer Code : Nintendo"},
      {'E', 'X', "Country Code : USA", "Manufacturer Code : ?"},
      {'P', 0, "Country Code : Europe", "Manufacturer Code : ?"},
      {'U', 0xCE, "Country Code : Australia", "Manufacturer Code : ?"},
      {'X', 0x80, "Country Code : ?", "Manufacturer Code : ?"},
      {0xC5, 0xFF, "Country Code : ?", "Manufacturer Code : ?"},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(Load(BigEndianRom({.maker = c.maker, .country = c.country})));
    EXPECT_EQ(host.Lines()[2], c.countryLine);
    EXPECT_EQ(host.Lines()[3], c.makerLine);
  }
  int named = 0;
  for (auto name : CountryNames)
    named += name != "?";
  EXPECT_EQ(named, 5);
}

TEST_F(RomImageTest, UnreadableAndTooShortFilesAreRefused) {
  const std::string missing = (dir.Path() / "missing.z64").string();
  EXPECT_FALSE(LoadRomImage(missing));
  EXPECT_EQ(host.Lines(), Lines{"Error loading " + missing});
  EXPECT_EQ(RomImage, nullptr);

  host.Clear();
  EXPECT_FALSE(LoadRomImage(dir.Path().string()));
  EXPECT_EQ(host.Lines(), Lines{"Error loading " + dir.Path().string()});

  for (size_t size : {0, 3, 63}) {
    EXPECT_FALSE(Load(BigEndianRom({.size = size})));
    EXPECT_FALSE(RomLoaded);
    const std::string reason =
        "Rom image too small: " + std::to_string(size) + " bytes, a header needs 64!";
    EXPECT_EQ(host.Lines(), Lines{reason});
    EXPECT_EQ(RomLoadError, reason);
  }
}

TEST_F(RomImageTest, EveryRefusalSaysWhy) {
  const auto path = [&](const char* name) { return (dir.Path() / name).string(); };
  auto oddOrder = BigEndianRom({});
  std::copy_n("\x12\x34\x56\x78", 4, oddOrder.begin());
  const struct {
    std::string path;
    std::string reason;
  } cases[] = {
      {path("missing.z64"), "No such file or directory"},
      {dir.Path().string(), "Is a directory"},
      {dir.WriteFile("short.z64", BigEndianRom({.size = 10})),
       "it is too small: 10 bytes, a ROM header takes 64"},
      {dir.WriteFile("odd.z64", oddOrder),
       "its first bytes 12 34 56 78 are no known ROM byte order"},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(LoadRomImage(c.path));
    EXPECT_EQ(RomLoadReason, c.reason);
  }
  ASSERT_TRUE(Load(BigEndianRom({})));
  EXPECT_EQ(RomLoadReason, "");
}

TEST_F(RomImageTest, FifosAndOversizedFilesAreRefusedBeforeAnyRead) {
  test::FifoRescue fifo((dir.Path() / "fifo.z64").string());
  EXPECT_FALSE(LoadRomImage(fifo.Path()));
  EXPECT_FALSE(fifo.Rescued()) << "the load waited for a writer";
  EXPECT_EQ(RomLoadReason, "it is not a regular file");
  EXPECT_EQ(host.Lines(), Lines{"Error loading " + fifo.Path()});

  // One byte more than the cartridge window shows; sparse, so it costs no disk.
  const std::string large = dir.WriteFile("large.z64", BigEndianRom({}));
  std::filesystem::resize_file(large, 0x10000001);
  EXPECT_FALSE(LoadRomImage(large));
  EXPECT_EQ(RomLoadReason, "it is 268435457 bytes, larger than the 256 MB a cartridge can hold");
  EXPECT_EQ(RomImage, nullptr);
}

TEST_F(RomImageTest, AHeaderAloneIsAWholeImage) {
  ASSERT_TRUE(Load(BigEndianRom({.size = 64})));
  EXPECT_TRUE(RomLoaded);
  EXPECT_EQ(RomImage->Size, 64u);
  EXPECT_EQ(host.Lines(), (Lines{"Loaded VANTOR TEST", "Entry point : 80000400",
                                 "Country Code : USA", "Manufacturer Code : Nintendo"}));
}

TEST(RomImageDeathTest, TheImageCannotChangeWhileARunExists) {
  EXPECT_DEATH(
      {
        RunExists = true;
        UnloadRomImage();
      },
      "the ROM image cannot change while an emulation run exists");
}

TEST_F(RomImageTest, AFailedLoadDropsThePreviousImage) {
  ASSERT_TRUE(Load(BigEndianRom({})));
  EXPECT_FALSE(LoadRomImage((dir.Path() / "missing.z64").string()));
  EXPECT_FALSE(RomLoaded);
  EXPECT_EQ(RomImage, nullptr);
}

TEST_F(RomImageTest, TrailingBytesOfAnUnevenSizeStayUnswapped) {
  const auto bytes = BigEndianRom({.size = 4099});
  ASSERT_TRUE(Load(bytes));
  EXPECT_EQ(RomImage->Size, 4099u);
  const auto image = ImageBytes();
  EXPECT_EQ(std::vector<uint8_t>(image.begin() + 4096, image.end()),
            std::vector<uint8_t>(bytes.begin() + 4096, bytes.end()));
  EXPECT_EQ(image[4092], bytes[4095]);
}

TEST_F(RomImageTest, HeapFailureIsReportedTwice) {
  SetBlockAllocator([](size_t) -> void* { return nullptr; }, nullptr);
  const bool loaded = Load(BigEndianRom({.size = 4096}));
  SetBlockAllocator(nullptr, nullptr);
  EXPECT_FALSE(loaded);
  EXPECT_EQ(host.Messages(), Lines{"Error allocating 4351 bytes of memory!"});
  EXPECT_EQ(host.Lines(), Lines{"Failed to allocate memory!"});
}

}  // namespace
}  // namespace vantor
