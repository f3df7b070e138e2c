// The built library as the host sees it: its dynamic symbol table, and the entries reached
// through dlopen and dlsym.
#include <dlfcn.h>
#include <elf.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "tests/plugin/PrismFixture.h"
#include "video/RenderPlugInfo.h"

namespace vantor {
namespace {

using Messages = std::vector<std::string>;

// The names of the functions and data the library defines for others to use.
std::set<std::string> ExportedNames(const char* path) {
  std::ifstream file(path, std::ios::binary);
  const std::vector<char> bytes{std::istreambuf_iterator<char>(file), {}};
  std::set<std::string> names;
  if (bytes.size() < sizeof(Elf64_Ehdr)) return names;
  Elf64_Ehdr header;
  std::memcpy(&header, bytes.data(), sizeof header);
  std::vector<Elf64_Shdr> sections(header.e_shnum);
  std::memcpy(sections.data(), bytes.data() + header.e_shoff, header.e_shnum * sizeof(Elf64_Shdr));
  for (const Elf64_Shdr& section : sections) {
    if (section.sh_type != SHT_DYNSYM) continue;
    const char* strings = bytes.data() + sections[section.sh_link].sh_offset;
    for (size_t at = 0; at < section.sh_size; at += sizeof(Elf64_Sym)) {
      Elf64_Sym symbol;
      std::memcpy(&symbol, bytes.data() + section.sh_offset + at, sizeof symbol);
      const int type = ELF64_ST_TYPE(symbol.st_info);
      const int binding = ELF64_ST_BIND(symbol.st_info);
      if (symbol.st_shndx != SHN_UNDEF && (type == STT_FUNC || type == STT_OBJECT) &&
          binding != STB_LOCAL && ELF64_ST_VISIBILITY(symbol.st_other) == STV_DEFAULT)
        names.insert(strings + symbol.st_name);
    }
  }
  return names;
}

class VidPrismLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    library_ = dlopen(VID_PRISM_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library_, nullptr) << dlerror();
  }
  void TearDown() override {
    if (library_ != nullptr) dlclose(library_);
  }
  template <typename T>
  T Entry(TRendererEntry entry) {
    return reinterpret_cast<T>(dlsym(library_, kRendererEntryNames[entry]));
  }

  void* library_ = nullptr;
  test::MessageCapture messages_;
};

TEST_F(VidPrismLibraryTest, ExportsExactlyTheSevenEntries) {
  EXPECT_EQ(ExportedNames(VID_PRISM_PATH),
            (std::set<std::string>{"LoadRenderer", "UnloadRenderer", "InitRenderer",
                                   "DeInitRenderer", "SetTargetRect", "Flip", "FlipFrame"}));
  for (size_t entry = 0; entry < kRendererEntryCount; ++entry) {
    const bool optional = entry == kSetPaletteEntry || entry == kSetPaletteIndexEntry;
    EXPECT_EQ(dlsym(library_, kRendererEntryNames[entry]) == nullptr, optional)
        << kRendererEntryNames[entry];
  }
}

TEST_F(VidPrismLibraryTest, RefusesALaterInterfaceAndNeverFlipsUninitialised) {
  const auto load = Entry<TLoadRenderer>(kLoadRendererEntry);
  const auto unload = Entry<TUnloadRenderer>(kUnloadRendererEntry);
  const auto flip = Entry<TFlip>(kFlipEntry);
  EXPECT_EQ(load(kRendererInterfaceVersion + 1), nullptr);
  EXPECT_EQ(messages_.Take(),
            Messages{"DLL is not compatible with the current renderer interface!"});
  const std::vector<uint32_t> frame(320 * 240 / 2);
  EXPECT_NE(flip(frame.data()), 0);
  unload();
  EXPECT_EQ(messages_.Take(), Messages{});
}

// One whole run through the library into a window: load, init, flip, tear down.
TEST_F(VidPrismLibraryTest, RunsAFrameThroughTheEntries) {
  test::TestScreen screen;
  if (!screen.Open() || !screen.HasRender() || !screen.Convertible())
    GTEST_SKIP() << "needs a display the plug-in draws on";
  const auto load = Entry<TLoadRenderer>(kLoadRendererEntry);
  const TRendererInfo* info = load(kRendererInterfaceVersion);
  ASSERT_NE(info, nullptr);
  EXPECT_STREQ(info->Description, "Orlenks DirectX rendering plugin for Pellix64!");
  EXPECT_EQ(info->Version, 2);
  EXPECT_EQ(info->DateCode, 0x20000620u);

  const test::TRect area{0, 0, 128, 96};
  const std::vector<uint32_t> frame = test::RandomFrame(64 * 48, 21);
  const test::TXWindow window = screen.MakeWindow(area, 0);
  const std::vector<uint32_t> before = screen.Read(area);
  ASSERT_EQ(Entry<TInitRenderer>(kInitRendererEntry)(64, 48, 0, window), 1);
  Entry<TSetTargetRect>(kSetTargetRectEntry)(0, 0, 128, 96);
  EXPECT_EQ(Entry<TFlip>(kFlipEntry)(frame.data()), 0);
  Entry<TDeInitRenderer>(kDeInitRendererEntry)();
  Entry<TUnloadRenderer>(kUnloadRendererEntry)();
  const test::TDrawing drawing{frame, 64, 48, area, area, {}};
  EXPECT_EQ(test::CompareScreen(screen, area, before, screen.Read(area), drawing), "");
  EXPECT_EQ(messages_.Take(), Messages{});
}

}  // namespace
}  // namespace vantor
