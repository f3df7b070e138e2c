#include "cli/PngWriter.h"

#include <png.h>

#include <utility>

#include "cli/OutputFile.h"

namespace vantor::cli {

bool WritePng(const std::string& path, uint32_t width, uint32_t height,
              const std::vector<uint8_t>& rgb, std::string& error) {
  TOutputFile file = OpenOutputFile(path, error);
  if (!file) return false;
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
  return CloseOutputFile(std::move(file), error);
}

}  // namespace vantor::cli
