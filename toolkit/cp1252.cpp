#include "toolkit/cp1252.h"

#include <array>

namespace toolkit {

namespace {

// 0x80..0x9F; 0 marks the five bytes Windows-1252 leaves undefined (kept as C1 controls).
constexpr std::array<char16_t, 32> kHighControls{
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

} // namespace

QString fromCp1252(const QByteArray& bytes) {
    QString text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x80 && b <= 0x9F && kHighControls[b - 0x80] != 0)
            text.append(QChar(kHighControls[b - 0x80]));
        else
            text.append(QChar(b));
    }
    return text;
}

QByteArray toCp1252(const QString& text) {
    QByteArray bytes;
    bytes.reserve(text.size());
    for (const QChar ch : text) {
        const char16_t u = ch.unicode();
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
            bytes.append(static_cast<char>(u));
            continue;
        }
        char out = '?';
        for (std::size_t i = 0; i < kHighControls.size(); ++i) {
            const bool undefinedKept = kHighControls[i] == 0 && u == 0x80 + i;
            if (kHighControls[i] == u || undefinedKept) {
                out = static_cast<char>(0x80 + i);
                break;
            }
        }
        bytes.append(out);
    }
    return bytes;
}

} // namespace toolkit
