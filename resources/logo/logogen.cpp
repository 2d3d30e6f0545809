// Draws the maker's logo at build time:
//   logogen <logo.svg> <logo.jpg>
// The about window expects a 315 × 185 baseline JPEG with three colour components.

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSaveFile>
#include <QString>
#include <QSvgRenderer>

#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

namespace {

constexpr int kLogoWidth = 315;
constexpr int kLogoHeight = 185;
constexpr int kJpegQuality = 90;

int fail(const QString& message) {
    std::fprintf(stderr, "logogen: %s\n", qPrintable(message));
    return 1;
}

QImage renderLogo(QSvgRenderer& svg) {
    QImage image(kLogoWidth, kLogoHeight, QImage::Format_RGB888);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    svg.render(&painter, QRectF(0, 0, kLogoWidth, kLogoHeight));
    return image;
}

// libjpeg's default error exit ends the process with a message, which is what a build step
// should do with a failure.
QByteArray encodeBaselineJpeg(const QImage& rgb) {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);

    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(rgb.width());
    info.image_height = static_cast<JDIMENSION>(rgb.height());
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    // The defaults are baseline, sequential, YCbCr with three components; no progression.
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, kJpegQuality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        // libjpeg takes non-const rows but only reads them.
        JSAMPROW row =
            const_cast<JSAMPROW>(rgb.constScanLine(static_cast<int>(info.next_scanline)));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);

    QByteArray jpeg(reinterpret_cast<const char*>(buffer), static_cast<qsizetype>(size));
    std::free(buffer);
    return jpeg;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: logogen <logo.svg> <logo.jpg>\n");
        return 2;
    }
    // The logo's texts need the font database, which needs an application but never a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);

    const QString svgPath = QString::fromLocal8Bit(argv[1]);
    const QString jpegPath = QString::fromLocal8Bit(argv[2]);
    QSvgRenderer svg(svgPath);
    if (!svg.isValid())
        return fail(QStringLiteral("cannot read %1").arg(svgPath));

    QSaveFile file(jpegPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(encodeBaselineJpeg(renderLogo(svg))) < 0 ||
        !file.commit())
        return fail(QStringLiteral("cannot write %1").arg(jpegPath));
    return 0;
}
