#include "ui/JpegImage.h"

#include <QFile>

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace vantor::ui {

namespace {

// libjpeg reports a fatal error by calling error_exit, which must not return: it jumps back to
// the decoder's entry point. Only libjpeg's C frames lie between, so nothing is skipped.
struct TErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

[[noreturn]] void OnFatalError(j_common_ptr info) {
  std::longjmp(reinterpret_cast<TErrorManager*>(info->err)->jump, 1);
}

// Warnings about damaged but readable data are not worth a line; corrupt data fails anyway.
void OnMessage(j_common_ptr) {}

// The libjpeg calls of one decode; returns false when the picture is not usable.
bool ReadPicture(jpeg_decompress_struct& info, const QByteArray& data, QImage& image) {
  jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(data.constData()),
               static_cast<unsigned long>(data.size()));
  if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) return false;
  info.out_color_space = JCS_EXT_RGBX;
  jpeg_start_decompress(&info);
  image = QImage(static_cast<int>(info.output_width), static_cast<int>(info.output_height),
                 QImage::Format_RGBX8888);
  if (image.isNull()) return false;
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = image.scanLine(static_cast<int>(info.output_scanline));
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  return true;
}

}  // namespace

QImage DecodeJpeg(const QByteArray& data) {
  if (data.isEmpty()) return {};
  jpeg_decompress_struct info{};
  TErrorManager errors{};
  info.err = jpeg_std_error(&errors.pub);
  errors.pub.error_exit = OnFatalError;
  errors.pub.output_message = OnMessage;
  jpeg_create_decompress(&info);
  QImage image;
  bool decoded = false;
  if (setjmp(errors.jump) == 0) decoded = ReadPicture(info, data, image);
  jpeg_destroy_decompress(&info);
  return decoded ? image : QImage();
}

QImage LoadPicture(const QString& path, QSize fallbackSize) {
  QFile file(path);
  QImage image;
  if (file.open(QIODevice::ReadOnly)) image = DecodeJpeg(file.readAll());
  if (!image.isNull()) return image;
  QImage black(fallbackSize, QImage::Format_RGBX8888);
  black.fill(Qt::black);
  return black;
}

}  // namespace vantor::ui
