// The one opener of files: every kind is refused the same way when it is no regular file or is
// larger than its kind may be, and a link to a regular file reads as the file.
#include "common/FileAccess.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/FifoRescue.h"
#include "tests/support/TempDir.h"

namespace vantor {
namespace {

TEST(FileAccessTest, OnlyRegularFilesWithinTheirKindsLimitAreRead) {
  test::TempDir dir;
  const std::string real = dir.WriteFile("real", {1, 2, 3});
  const std::string link = (dir.Path() / "link").string();
  std::filesystem::create_symlink(real, link);
  const std::string dangling = (dir.Path() / "dangling").string();
  std::filesystem::create_symlink(dir.Path() / "nowhere", dangling);
  test::FifoRescue fifo((dir.Path() / "fifo").string());

  std::vector<uint8_t> bytes;
  TReadableFile throughLink(link, TFileKind::State);
  ASSERT_TRUE(throughLink.ReadAll(bytes)) << throughLink.Error();
  EXPECT_EQ(bytes, (std::vector<uint8_t>{1, 2, 3}));

  const struct {
    std::string path;
    std::string error;
  } refused[] = {{dangling, "No such file or directory"},
                 {dir.Path().string(), "Is a directory"},
                 {fifo.Path(), "it is not a regular file"},
                 {"/dev/zero", "it is not a regular file"}};
  for (const auto& [path, error] : refused) {
    for (TFileKind kind :
         {TFileKind::Rom, TFileKind::State, TFileKind::InputScript, TFileKind::Settings}) {
      TReadableFile file(path, kind);
      EXPECT_EQ(file.Error(), error) << path;
      EXPECT_FALSE(file.ReadAll(bytes));
    }
  }
  EXPECT_FALSE(fifo.Rescued()) << "opening the FIFO waited for a writer";

  // Each kind reads a file of its limit's size and refuses one a byte larger, unread.
  const struct {
    TFileKind kind;
    const char* limit;
  } kinds[] = {{TFileKind::Rom, "the 256 MB a cartridge can hold"},
               {TFileKind::State, "the 32 MB a save state may take"},
               {TFileKind::InputScript, "the 16 MB an input script may take"},
               {TFileKind::Settings, "the 1 MB a settings file may take"}};
  const std::string sparse = dir.WriteFile("sparse", {});
  for (const auto& [kind, limit] : kinds) {
    const uint64_t most = MaxFileBytes(kind);
    std::filesystem::resize_file(sparse, most);
    EXPECT_TRUE(TReadableFile(sparse, kind).Ok()) << limit;
    EXPECT_EQ(TReadableFile(sparse, kind).Size(), most);
    std::filesystem::resize_file(sparse, most + 1);
    EXPECT_EQ(TReadableFile(sparse, kind).Error(),
              "it is " + std::to_string(most + 1) + " bytes, larger than " + limit);
  }
}

}  // namespace
}  // namespace vantor
