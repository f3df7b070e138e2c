// makerom: puts the 64-byte cartridge header in front of a flat code binary and writes the
// cartridge image in its own big-endian byte order.
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

constexpr size_t kHeaderSize = 64;
constexpr size_t kNameSize = 20;
// The largest cartridges hold 64 MB; a bigger --pad-to is a typing error.
constexpr uint32_t kMaxRomSize = 64 << 20;

constexpr std::string_view kUsage =
    "usage: makerom --name NAME --entry ADDRESS --in CODE.bin --out ROM.z64\n"
    "               [--maker CODE] [--country CODE] [--pad-to BYTES]\n"
    "  NAME     at most 20 printable ASCII characters\n"
    "  CODE     one character (N) or a number from 0 to 255 (0x4E)\n"
    "  numbers  decimal or 0x-prefixed hexadecimal\n";

// Bad arguments exit with 2 and the usage text; failed file access exits with 1.
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};
struct FileError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct Options {
  std::optional<std::string> name;
  std::optional<uint32_t> entry;
  std::optional<std::string> in;
  std::optional<std::string> out;
  uint8_t maker = 0;
  uint8_t country = 0;
  std::optional<uint32_t> padTo;
};

uint32_t ParseNumber(std::string_view option, std::string_view text, uint32_t max) {
  int base = 10;
  if (text.starts_with("0x") || text.starts_with("0X")) {
    text.remove_prefix(2);
    base = 16;
  }
  uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || value > max)
    throw UsageError(std::string(option) + ": not a number from 0 to " + std::to_string(max));
  return value;
}

uint8_t ParseCode(std::string_view option, std::string_view text) {
  if (text.size() == 1) return static_cast<uint8_t>(text[0]);
  return static_cast<uint8_t>(ParseNumber(option, text, 0xFF));
}

std::string ParseName(std::string_view text) {
  if (text.size() > kNameSize)
    throw UsageError("--name: longer than " + std::to_string(kNameSize) + " characters");
  for (char c : text)
    if (c < 0x20 || c > 0x7E) throw UsageError("--name: not printable ASCII");
  return std::string(text);
}

Options ParseArguments(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string_view option = argv[i];
    auto value = [&] {
      if (i + 1 >= argc) throw UsageError(std::string(option) + ": missing value");
      return std::string_view(argv[++i]);
    };
    if (option == "--name") {
      options.name = ParseName(value());
    } else if (option == "--entry") {
      options.entry = ParseNumber(option, value(), UINT32_MAX);
    } else if (option == "--in") {
      options.in = value();
    } else if (option == "--out") {
      options.out = value();
    } else if (option == "--maker") {
      options.maker = ParseCode(option, value());
    } else if (option == "--country") {
      options.country = ParseCode(option, value());
    } else if (option == "--pad-to") {
      options.padTo = ParseNumber(option, value(), kMaxRomSize);
      if (*options.padTo % 4 != 0) throw UsageError("--pad-to: not a multiple of 4");
    } else {
      throw UsageError("unknown option " + std::string(option));
    }
  }
  for (auto [present, option] : {std::pair{options.name.has_value(), "--name"},
                                 {options.entry.has_value(), "--entry"},
                                 {options.in.has_value(), "--in"},
                                 {options.out.has_value(), "--out"}})
    if (!present) throw UsageError(std::string(option) + " is required");
  return options;
}

std::vector<uint8_t> ReadCode(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw FileError("cannot read " + path + ": " + std::strerror(errno));
  std::vector<uint8_t> code{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad()) throw FileError("cannot read " + path);
  if (code.empty()) throw FileError(path + " is empty: a ROM needs code at offset 0x40");
  return code;
}

std::vector<uint8_t> BuildImage(const Options& options, const std::vector<uint8_t>& code) {
  std::vector<uint8_t> image(kHeaderSize);
  auto put32 = [&](size_t at, uint32_t value) {
    for (size_t i = 0; i < 4; ++i)
      image[at + i] = static_cast<uint8_t>(value >> (24 - 8 * i));
  };
  put32(0, 0x80371240);  // big-endian magic: tells the loader the byte order
  put32(4, 0x0000000F);  // clock rate word
  put32(8, *options.entry);
  std::memcpy(image.data() + 32, options.name->data(), options.name->size());
  image[59] = options.maker;
  image[62] = options.country;

  image.insert(image.end(), code.begin(), code.end());
  // The loader swaps whole 32-bit units only, so the image ends on one.
  image.resize((image.size() + 3) & ~size_t{3});
  if (options.padTo) {
    if (*options.padTo < image.size())
      throw UsageError("--pad-to: " + std::to_string(*options.padTo) +
                       " bytes is less than the image's " + std::to_string(image.size()));
    image.resize(*options.padTo);
  }
  return image;
}

void WriteImage(const std::string& path, const std::vector<uint8_t>& image) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw FileError("cannot write " + path + ": " + std::strerror(errno));
  out.write(reinterpret_cast<const char*>(image.data()),
            static_cast<std::streamsize>(image.size()));
  out.close();
  if (!out) throw FileError("cannot write " + path);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const Options options = ParseArguments(argc, argv);
    WriteImage(*options.out, BuildImage(options, ReadCode(*options.in)));
    return 0;
  } catch (const UsageError& error) {
    std::cerr << "makerom: " << error.what() << '\n' << kUsage;
    return 2;
  } catch (const FileError& error) {
    std::cerr << "makerom: " << error.what() << '\n';
    return 1;
  }
}
