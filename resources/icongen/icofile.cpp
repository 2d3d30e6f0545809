#include "icofile.h"

#include <QByteArray>
#include <QDataStream>
#include <QSaveFile>

namespace icongen {

namespace {

constexpr quint32 kInfoHeaderBytes = 40;
constexpr quint32 kDirectoryHeaderBytes = 6;
constexpr quint32 kDirectoryEntryBytes = 16;

int maskRowBytes(int width) {
    return ((width + 31) / 32) * 4;
}

// The DIB stores rows bottom-up and twice the height, because colour and mask share it.
QByteArray dibEntry(const QImage& source) {
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);
    const int width = image.width();
    const int height = image.height();

    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    const quint32 maskBytes = quint32(maskRowBytes(width) * height);
    out << kInfoHeaderBytes << qint32(width) << qint32(2 * height) << quint16(1) << quint16(32)
        << quint32(0) << quint32(width * height * 4) + maskBytes << qint32(0) << qint32(0)
        << quint32(0) << quint32(0);

    for (int y = height - 1; y >= 0; --y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < width; ++x) {
            out << quint8(qBlue(row[x])) << quint8(qGreen(row[x])) << quint8(qRed(row[x]))
                << quint8(qAlpha(row[x]));
        }
    }
    for (int y = height - 1; y >= 0; --y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        QByteArray maskRow(maskRowBytes(width), '\0');
        for (int x = 0; x < width; ++x) {
            if (qAlpha(row[x]) == 0)
                maskRow[x / 8] = char(maskRow[x / 8] | (0x80 >> (x % 8)));
        }
        out.writeRawData(maskRow.constData(), int(maskRow.size()));
    }
    return bytes;
}

} // namespace

bool writeIco(const QString& path, const QList<QImage>& images) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QDataStream out(&file);
    out.setByteOrder(QDataStream::LittleEndian);
    out << quint16(0) << quint16(1) << quint16(images.size());

    QList<QByteArray> entries;
    quint32 offset = kDirectoryHeaderBytes + kDirectoryEntryBytes * quint32(images.size());
    for (const QImage& image : images) {
        entries.append(dibEntry(image));
        // A size byte of 0 stands for 256 pixels.
        out << quint8(image.width() % 256) << quint8(image.height() % 256) << quint8(0) << quint8(0)
            << quint16(1) << quint16(32) << quint32(entries.last().size()) << offset;
        offset += quint32(entries.last().size());
    }
    for (const QByteArray& entry : entries)
        out.writeRawData(entry.constData(), int(entry.size()));
    return out.status() == QDataStream::Ok && file.commit();
}

} // namespace icongen
