// The save-state container: digests, a round trip, refusal of every cut or changed byte, and of
// every section the reader does not expect, before anything is inflated.
#include "common/StateFile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <filesystem>
#include <string>

#include "common/FileAccess.h"
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
  EXPECT_EQ(Digest(std::string(1000000, 'a')),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
  // 55 and 64 bytes: the last length that fits the first block, and a whole block.
  EXPECT_EQ(Digest(std::string(55, 'a')),
            "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318");
  EXPECT_EQ(Digest(std::string(64, 'a')),
            "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb");
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

const std::vector<TSectionRule> kSampleRules = {
    {"cpu", 1, 5}, {"empty", 3, 0}, {"block-80000", 1, 4096}};

// Where the first section's raw size lies in an encoded state: after the 84-byte header, the
// name's length byte, the name and the version.
constexpr size_t kFirstRawSize = 84 + 1 + 3 + 4;

void PutU32At(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i)
    bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// The checksum made right again after a change.
void Reseal(std::vector<uint8_t>& bytes) {
  const size_t body = bytes.size() - 4;
  PutU32At(bytes, body, static_cast<uint32_t>(crc32(crc32(0, Z_NULL, 0), bytes.data(), body)));
}

TEST(StateFileTest, AnEncodedImageDecodesToTheSame) {
  const TStateImage image = Sample();
  std::string error;
  const auto decoded = DecodeState(EncodeState(image), kSampleRules, error);
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
    EXPECT_FALSE(DecodeState(std::span(bytes).first(size), kSampleRules, error)) << size;
    EXPECT_FALSE(error.empty());
  }
  for (size_t at = 0; at < bytes.size(); ++at) {
    std::vector<uint8_t> changed = bytes;
    changed[at] ^= 0x01;
    EXPECT_FALSE(DecodeState(changed, kSampleRules, error)) << at;
  }
  std::vector<uint8_t> longer = bytes;
  longer.push_back(0);
  EXPECT_FALSE(DecodeState(longer, kSampleRules, error));
}

TEST(StateFileTest, OnlyTheExpectedSectionsInTheirSizesAreInflated) {
  const auto refusal = [](const TStateImage& image) {
    std::string error;
    EXPECT_FALSE(DecodeState(EncodeState(image), kSampleRules, error));
    return error;
  };
  // 64 MB of zeros packs into some 64 KB; the reader must refuse it by its declared size.
  TStateImage bomb = Sample();
  bomb.Sections[2].Data.assign(64u << 20, 0);
  EXPECT_EQ(refusal(bomb), "its section block-80000 has the wrong size");
  TStateImage unknown = Sample();
  unknown.Sections.push_back({"zz0", 1, std::vector<uint8_t>(1u << 20)});
  EXPECT_EQ(refusal(unknown), "it holds a section this program does not know (zz0)");
  TStateImage twice = Sample();
  twice.Sections.push_back(twice.Sections[0]);
  EXPECT_EQ(refusal(twice), "the file is damaged (section cpu is given twice)");
  TStateImage missing = Sample();
  missing.Sections.pop_back();
  EXPECT_EQ(refusal(missing), "its section block-80000 is missing");
  TStateImage newer = Sample();
  newer.Sections[1].Version = 4;
  EXPECT_EQ(refusal(newer), "its section empty has version 4, which this program does not read");
  TStateImage many;
  for (uint32_t i = 0; i <= kMaxStateSections; ++i)
    many.Sections.push_back({"s" + std::to_string(i), 1, {}});
  EXPECT_EQ(refusal(many), "the file is damaged (it claims 257 sections)");

  // A list may be shorter than its bound, never longer.
  std::vector<TSectionRule> rules = kSampleRules;
  rules[2].AtMost = true;
  rules[2].Size = 8192;
  std::string error;
  EXPECT_TRUE(DecodeState(EncodeState(Sample()), rules, error)) << error;
  rules[2].Size = 4095;
  EXPECT_FALSE(DecodeState(EncodeState(Sample()), rules, error));

  // A stream that inflates to more than its section declares stops at the declared size.
  TStateImage hidden = Sample();
  hidden.Sections[0].Data.assign(8u << 20, 7);
  std::vector<uint8_t> bytes = EncodeState(hidden);
  PutU32At(bytes, kFirstRawSize, 5);
  Reseal(bytes);
  EXPECT_FALSE(DecodeState(bytes, kSampleRules, error));
  EXPECT_EQ(error, "the file is damaged (section cpu does not decompress)");
}

TEST(StateFileTest, AnImageIsCheckedByTheSameRules) {
  TStateImage image = Sample();
  EXPECT_EQ(CheckSections(image, kSampleRules), "");
  image.Sections.push_back(image.Sections[1]);
  EXPECT_EQ(CheckSections(image, kSampleRules), "its section empty is given twice");
  image.Sections.pop_back();
  image.Sections[0].Data.push_back(0);
  EXPECT_EQ(CheckSections(image, kSampleRules), "its section cpu has the wrong size");
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
  TReadableFile file(good, TFileKind::State);
  ASSERT_TRUE(file.ReadAll(read)) << file.Error();
  EXPECT_EQ(read, bytes);
  EXPECT_EQ(std::filesystem::status(good).permissions() & std::filesystem::perms::owner_read,
            std::filesystem::perms::owner_read);
}

TEST(StateFileTest, WritingNeverReplacesWhatIsNoRegularFile) {
  test::TempDir dir;
  const std::vector<uint8_t> bytes = {1, 2, 3};
  std::string error;
  const std::string fifo = (dir.Path() / "state.fifo").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  EXPECT_FALSE(WriteFileAtomically(fifo, bytes, error));
  EXPECT_EQ(error, "No such device or address");  // no one reads it, and nothing waits
  EXPECT_TRUE(std::filesystem::is_fifo(fifo));
  // With a reader, the bytes go down the pipe as every output's do.
  const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  ASSERT_TRUE(WriteFileAtomically(fifo, bytes, error)) << error;
  uint8_t got[4] = {};
  EXPECT_EQ(read(reader, got, sizeof got), 3);
  close(reader);
  EXPECT_TRUE(std::filesystem::is_fifo(fifo));

  EXPECT_FALSE(WriteFileAtomically(dir.Path().string(), bytes, error));
  EXPECT_EQ(error, "Is a directory");
  EXPECT_FALSE(WriteFileAtomically("/dev/null", bytes, error));
  EXPECT_EQ(error, "it is not a regular file");

  // A link to a state keeps pointing to it, and the state gets the new bytes.
  const std::string real = dir.WriteFile("real.st", {9});
  const std::string link = (dir.Path() / "link.st").string();
  std::filesystem::create_symlink(real, link);
  ASSERT_TRUE(WriteFileAtomically(link, bytes, error)) << error;
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(std::filesystem::file_size(real), 3u);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 3);
}

}  // namespace
}  // namespace vantor
