#pragma once

#include <QByteArray>
#include <QImage>

namespace about {

// Decodes a JPEG file's bytes with libjpeg into an RGB888 image. A corrupt or truncated
// picture, or anything libjpeg warns about, gives an empty image; nothing is printed.
QImage decodeJpeg(const QByteArray& jpegBytes);

} // namespace about
