#include "app/jpeg_decode.h"

#include "toolkit/library_calls.h"

#include <QLibrary>

namespace about {

namespace {

struct JpegModule {
    void (*decode)(const QByteArray&, QImage*) = nullptr;
};

toolkit::OpenedLibrary<JpegModule> open() {
    return toolkit::openModule<JpegModule>("anemo_jpeg", [](QLibrary& library, JpegModule& api) {
        return toolkit::resolve(library, "anemo_decode_jpeg", api.decode);
    });
}

} // namespace

QImage decodeJpeg(const QByteArray& jpegBytes) {
    QImage image;
    if (const JpegModule* module = toolkit::openOnce<JpegModule>(open, nullptr))
        module->decode(jpegBytes, &image);
    return image;
}

} // namespace about
