#include "app/jpeg_decode.h"

#include "toolkit/library_calls.h"

#include <QLibrary>

namespace about {

namespace {

struct JpegModule {
    void (*decode)(const QByteArray&, QImage*) = nullptr;
};

toolkit::OpenedLibrary<JpegModule> open() {
    toolkit::OpenedLibrary<JpegModule> opened;
    QLibrary library(toolkit::programModule("anemo_jpeg"));
    // Kept loaded for the rest of the program: QLibrary's destructor does not unload it.
    opened.ok = library.load() && toolkit::resolve(library, "anemo_decode_jpeg", opened.api.decode);
    if (!opened.ok)
        opened.why = library.errorString();
    return opened;
}

} // namespace

QImage decodeJpeg(const QByteArray& jpegBytes) {
    QImage image;
    if (const JpegModule* module = toolkit::openOnce<JpegModule>(open, nullptr))
        module->decode(jpegBytes, &image);
    return image;
}

} // namespace about
