#pragma once

#include <QByteArray>
#include <QImage>

namespace about {

// Decodes a JPEG file's bytes with libjpeg into an RGB888 image. A corrupt or truncated
// picture, or anything libjpeg warns about, gives an empty image; nothing is printed. libjpeg
// is in a module beside the program (anemo_jpeg), opened at the first picture; without it the
// image is empty too.
QImage decodeJpeg(const QByteArray& jpegBytes);

} // namespace about
