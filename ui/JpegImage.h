// The program's pictures: JPEG data decoded with libjpeg into QImages.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

namespace vantor::ui {

// Decodes JPEG data; a null image when the data is not a whole, valid JPEG.
QImage DecodeJpeg(const QByteArray& data);

// The picture at path (a file or a Qt resource). When it is missing or corrupt: a black picture
// of fallbackSize, so the window looks as it would before any picture was drawn.
QImage LoadPicture(const QString& path, QSize fallbackSize);

}  // namespace vantor::ui
