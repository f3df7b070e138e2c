#include "cli/PngWriter.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace vantor::cli {

namespace {

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};

}  // namespace

bool WritePng(const std::string& path, uint32_t width, uint32_t height,
              const std::vector<uint8_t>& rgb, std::string& error) {
  std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
  if (!file) {
    error = std::strerror(errno);
    return false;
  }
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = width;
  image.height = height;
  image.format = PNG_FORMAT_RGB;
  if (png_image_write_to_stdio(&image, file.get(), 0, rgb.data(), 0, nullptr) == 0) {
    error = image.message;
    png_image_free(&image);
    return false;
  }
  if (std::fflush(file.get()) != 0) {
    error = std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace vantor::cli
