// The logo decoder: libjpeg in a module of its own, loaded when the about window first shows
// the logo.

#include <QByteArray>
#include <QImage>

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace about {

namespace {

// Larger pictures are refused before any allocation: a damaged header can claim 65535².
constexpr JDIMENSION kMaxSide = 8192;

struct ErrorEscape {
    jpeg_error_mgr manager; // first, so libjpeg's pointer to it is a pointer to the whole
    std::jmp_buf escape;
};

[[noreturn]] void escapeOnError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<ErrorEscape*>(info->err)->escape, 1);
}

// A warning means damaged data (a truncated file gets a made-up end marker): refuse it too.
void escapeOnWarning(j_common_ptr info, int level) {
    if (level < 0)
        escapeOnError(info);
}

// The two functions below hold no C++ object with a destructor, because libjpeg's error exit
// jumps straight back to their setjmp.
bool startDecoding(jpeg_decompress_struct* info, ErrorEscape* errors, const QByteArray* bytes) {
    if (setjmp(errors->escape))
        return false;
    jpeg_create_decompress(info);
    jpeg_mem_src(info, reinterpret_cast<const unsigned char*>(bytes->constData()),
                 static_cast<unsigned long>(bytes->size()));
    jpeg_read_header(info, TRUE);
    if (info->image_width > kMaxSide || info->image_height > kMaxSide)
        return false;
    info->out_color_space = JCS_RGB;
    jpeg_start_decompress(info);
    return info->output_components == 3;
}

bool readRows(jpeg_decompress_struct* info, ErrorEscape* errors, uchar* bits,
              qsizetype bytesPerLine) {
    if (setjmp(errors->escape))
        return false;
    while (info->output_scanline < info->output_height) {
        JSAMPROW row = bits + bytesPerLine * static_cast<qsizetype>(info->output_scanline);
        jpeg_read_scanlines(info, &row, 1);
    }
    jpeg_finish_decompress(info);
    return true;
}

QImage decodeJpeg(const QByteArray& jpegBytes) {
    jpeg_decompress_struct info{};
    ErrorEscape errors{};
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = escapeOnError;
    errors.manager.emit_message = escapeOnWarning;

    QImage image;
    if (startDecoding(&info, &errors, &jpegBytes)) {
        image = QImage(static_cast<int>(info.output_width), static_cast<int>(info.output_height),
                       QImage::Format_RGB888);
        if (image.isNull() || !readRows(&info, &errors, image.bits(), image.bytesPerLine()))
            image = QImage();
    }
    // Safe also when creation failed: a zeroed decompressor owns no memory.
    jpeg_destroy_decompress(&info);
    return image;
}

} // namespace

} // namespace about

extern "C" Q_DECL_EXPORT void anemo_decode_jpeg(const QByteArray& jpegBytes, QImage* into) {
    *into = about::decodeJpeg(jpegBytes);
}
