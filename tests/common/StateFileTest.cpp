// The save-state container: digests, a round trip, and refusal of every cut or changed byte.
#include "common/StateFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/TempDir.h"

namespace vantor {
namespace {

std::string Digest(const std::string& text) {
  return Sha256Hex(Sha256(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

TEST(StateFileTest, Sha256MatchesTheStandardsExamples) {
  EXPECT_EQ(Digest(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Digest("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  // 56 bytes: the length no longer fits the first padded block.
  EXPECT_EQ(Digest("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(Digest(std::string(1000, 'a')),
            "41edece42d63e8d9bf515a9ba6932e1c20cbc9f5a5d134645adb5db1b9737ea3");
}

TStateImage Sample() {
  TStateImage image;
  image.Identity.RomName = {'S', 'A', 'M', 'P', 'L', 'E'};
  image.Identity.RomHash[0] = 0xAB;
  image.Identity.RomHash[31] = 0xCD;
  image.Sections.push_back({"cpu", 1, {1, 2, 3, 4, 5}});
  image.Sections.push_back({"empty", 3, {}});
  image.Sections.push_back({"block-80000", 1, std::vector<uint8_t>(4096, 0x5A)});
  return image;
}

TEST(StateFileTest, AnEncodedImageDecodesToTheSame) {
  const TStateImage image = Sample();
  std::string error;
  const auto decoded = DecodeState(EncodeState(image), error);
  ASSERT_TRUE(decoded) << error;
  EXPECT_EQ(decoded->Identity.RomName, image.Identity.RomName);
  EXPECT_EQ(decoded->Identity.RomHash, image.Identity.RomHash);
  EXPECT_EQ(decoded->Identity.ProgramVersion, kProgramVersion);
  ASSERT_EQ(decoded->Sections.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(decoded->Sections[i].Name, image.Sections[i].Name);
    EXPECT_EQ(decoded->Sections[i].Version, image.Sections[i].Version);
    EXPECT_EQ(decoded->Sections[i].Data, image.Sections[i].Data);
  }
  EXPECT_EQ(decoded->Find("empty"), &decoded->Sections[1]);
  EXPECT_EQ(decoded->Find("none"), nullptr);
}

TEST(StateFileTest, EveryCutAndEveryChangedByteIsRefused) {
  const std::vector<uint8_t> bytes = EncodeState(Sample());
  std::string error;
  for (size_t size = 0; size < bytes.size(); ++size) {
    error.clear();
    EXPECT_FALSE(DecodeState(std::span(bytes).first(size), error)) << size;
    EXPECT_FALSE(error.empty());
  }
  for (size_t at = 0; at < bytes.size(); ++at) {
    std::vector<uint8_t> changed = bytes;
    changed[at] ^= 0x01;
    EXPECT_FALSE(DecodeState(changed, error)) << at;
  }
  std::vector<uint8_t> longer = bytes;
  longer.push_back(0);
  EXPECT_FALSE(DecodeState(longer, error));
}

TEST(StateFileTest, WritingIntoAMissingFolderFailsAndLeavesNothing) {
  test::TempDir dir;
  const std::string path = (dir.Path() / "missing" / "x.st").string();
  const std::vector<uint8_t> bytes = {1, 2, 3};
  std::string error;
  EXPECT_FALSE(WriteFileAtomically(path, bytes, error));
  EXPECT_EQ(error, "No such file or directory");
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));

  const std::string good = (dir.Path() / "x.st").string();
  ASSERT_TRUE(WriteFileAtomically(good, bytes, error)) << error;
  std::vector<uint8_t> read;
  ASSERT_TRUE(ReadWholeFile(good, read, error));
  EXPECT_EQ(read, bytes);
  EXPECT_EQ(std::filesystem::status(good).permissions() & std::filesystem::perms::owner_read,
            std::filesystem::perms::owner_read);
}

}  // namespace
}  // namespace vantor
