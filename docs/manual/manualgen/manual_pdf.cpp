#include "manual_pdf.h"

#include "document_style.h"

#include <QAbstractTextDocumentLayout>
#include <QFontMetricsF>
#include <QPainter>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>

#include <algorithm>
#include <cmath>
#include <vector>

namespace manualgen {

namespace {

const QString kManualTitle = QStringLiteral("K&V ANEMÔMETROS — Manual do usuário");
constexpr qreal kPageWidth = 210 * kPixelsPerMm;
constexpr qreal kPageHeight = 297 * kPixelsPerMm;
const QMarginsF kMargins(22 * kPixelsPerMm, 26 * kPixelsPerMm, 22 * kPixelsPerMm,
                         22 * kPixelsPerMm);
// The title page and the table of contents come before the text.
constexpr int kFrontPages = 2;
constexpr int kPdfResolution = 600;

const QColor kGrey(0x66, 0x66, 0x66);
const QColor kRule(0xbb, 0xbb, 0xbb);

struct Heading {
    int level = 1;
    QString text;
    int page = 0; // counted from 1 over the whole PDF
};

// Painter text is sized in the page's pixels, which the painter's scale turns into points.
QFont pageFont(qreal points, bool bold = false) {
    QFont font = bodyFont(points, bold);
    font.setPixelSize(qRound(points * kPixelsPerPoint));
    return font;
}

qreal mm(qreal millimetres) {
    return millimetres * kPixelsPerMm;
}

std::vector<Heading> headingsOf(QTextDocument& document) {
    std::vector<Heading> headings;
    QAbstractTextDocumentLayout* layout = document.documentLayout();
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const int level = block.blockFormat().headingLevel();
        if (level < 1 || level > 2)
            continue;
        const qreal top = layout->blockBoundingRect(block).top();
        headings.push_back({level, block.text().trimmed(),
                            static_cast<int>(std::floor(top / kPageHeight)) + kFrontPages + 1});
    }
    return headings;
}

QString chapterOnPage(const std::vector<Heading>& headings, int page) {
    QString chapter;
    for (const Heading& heading : headings) {
        if (heading.level == 1 && heading.page <= page)
            chapter = heading.text;
    }
    return chapter;
}

void drawTitlePage(QPainter& painter, const QImage& mainWindow, const QString& version) {
    const qreal left = kMargins.left();
    const qreal width = kPageWidth - kMargins.left() - kMargins.right();
    painter.fillRect(QRectF(0, 0, kPageWidth, mm(100)), accentColour());
    const QImage icon(QStringLiteral(":/icons/app-256.png"));
    if (!icon.isNull())
        painter.drawImage(QRectF(kPageWidth - kMargins.right() - mm(34), mm(33), mm(34), mm(34)),
                          icon);
    painter.setPen(Qt::white);
    painter.setFont(pageFont(34, true));
    painter.drawText(QRectF(left, mm(34), width, mm(18)), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("K&V ANEMÔMETROS"));
    painter.setFont(pageFont(21));
    painter.drawText(QRectF(left, mm(53), width, mm(12)), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("Manual do usuário"));
    painter.setFont(pageFont(12));
    painter.drawText(QRectF(left, mm(68), width, mm(8)), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("Estação de monitoramento de anemômetros · Modbus RTU"));

    const QSizeF natural = mainWindow.deviceIndependentSize();
    const qreal shotWidth = std::min(width, mm(150));
    const QRectF shot((kPageWidth - shotWidth) / 2, mm(122), shotWidth,
                      shotWidth * natural.height() / natural.width());
    painter.drawImage(shot, mainWindow);
    painter.setPen(QPen(kRule, 0.8));
    painter.drawRect(shot);

    painter.setPen(Qt::black);
    painter.setFont(pageFont(16, true));
    painter.drawText(QRectF(left, shot.bottom() + mm(18), width, mm(10)), Qt::AlignHCenter,
                     QStringLiteral("Versão ") + version);
    painter.setPen(kGrey);
    painter.setFont(pageFont(10.5));
    painter.drawText(QRectF(left, shot.bottom() + mm(30), width, mm(8)), Qt::AlignHCenter,
                     QStringLiteral("Para até oito estações de anemômetro numa porta serial"));
}

void drawContents(QPainter& painter, const std::vector<Heading>& headings) {
    const qreal left = kMargins.left();
    const qreal right = kPageWidth - kMargins.right();
    painter.setPen(accentColour());
    painter.setFont(pageFont(20, true));
    painter.drawText(QRectF(left, kMargins.top(), right - left, mm(12)),
                     Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Sumário"));

    // Chapters take one and a half lines; the steps shrink if the list would not fit.
    const qreal top = kMargins.top() + mm(20);
    const qreal available = kPageHeight - kMargins.bottom() - top;
    qreal lines = 0;
    for (const Heading& heading : headings)
        lines += heading.level == 1 ? 1.6 : 1.0;
    const qreal step = std::min(mm(6.2), available / lines);

    qreal y = top;
    for (const Heading& heading : headings) {
        const bool chapter = heading.level == 1;
        if (chapter && &heading != &headings.front())
            y += step * 0.6;
        const QFont font = pageFont(chapter ? 11 : 10, chapter);
        const qreal indent = chapter ? 0 : mm(7);
        const QString number = QString::number(heading.page);
        const QFontMetricsF metrics(font);
        painter.setFont(font);
        painter.setPen(chapter ? Qt::black : QColor(0x33, 0x33, 0x33));
        const QRectF line(left + indent, y, right - left - indent, step);
        painter.drawText(line, Qt::AlignLeft | Qt::AlignVCenter, heading.text);
        painter.drawText(line, Qt::AlignRight | Qt::AlignVCenter, number);
        // Dotted leader between the title and the page number.
        const qreal from = line.left() + metrics.horizontalAdvance(heading.text) + mm(2);
        const qreal to = line.right() - metrics.horizontalAdvance(number) - mm(2);
        painter.setPen(QPen(kRule, 1.1, Qt::DotLine));
        if (to > from)
            painter.drawLine(QPointF(from, line.center().y() + mm(1)),
                             QPointF(to, line.center().y() + mm(1)));
        y += step;
    }
}

void drawHeaderAndFooter(QPainter& painter, const QString& chapter, int page, int pageCount,
                         const QString& version) {
    const qreal left = kMargins.left();
    const qreal right = kPageWidth - kMargins.right();
    const qreal headerBase = kMargins.top() - mm(9);
    painter.setFont(pageFont(8.5));
    painter.setPen(kGrey);
    painter.drawText(QRectF(left, headerBase - mm(6), right - left, mm(6)),
                     Qt::AlignLeft | Qt::AlignBottom, kManualTitle);
    if (!chapter.isEmpty())
        painter.drawText(QRectF(left, headerBase - mm(6), right - left, mm(6)),
                         Qt::AlignRight | Qt::AlignBottom, chapter);
    painter.setPen(QPen(accentColour(), 1.2));
    painter.drawLine(QPointF(left, headerBase + mm(1)), QPointF(right, headerBase + mm(1)));

    const qreal footerTop = kPageHeight - kMargins.bottom() + mm(8);
    painter.setPen(QPen(kRule, 0.8));
    painter.drawLine(QPointF(left, footerTop), QPointF(right, footerTop));
    painter.setPen(kGrey);
    painter.drawText(QRectF(left, footerTop + mm(1.5), right - left, mm(6)),
                     Qt::AlignLeft | Qt::AlignTop, QStringLiteral("Versão ") + version);
    painter.drawText(QRectF(left, footerTop + mm(1.5), right - left, mm(6)),
                     Qt::AlignRight | Qt::AlignTop,
                     QStringLiteral("Página %1 de %2").arg(page).arg(pageCount));
}

} // namespace

int writeManualPdf(const QString& markdown, const Pictures& pictures, const QString& pdfPath,
                   const QString& version) {
    QTextDocument document;
    const qreal contentWidth = kPageWidth - kMargins.left() - kMargins.right();
    buildDocument(document, markdown, pictures, contentWidth);
    document.setPageSize(QSizeF(kPageWidth, kPageHeight));
    QTextFrameFormat root = document.rootFrame()->frameFormat();
    root.setLeftMargin(kMargins.left());
    root.setRightMargin(kMargins.right());
    root.setTopMargin(kMargins.top());
    root.setBottomMargin(kMargins.bottom());
    document.rootFrame()->setFrameFormat(root);
    keepTogether(document, kPageHeight);

    const int textPages = document.pageCount();
    const int pageCount = kFrontPages + textPages;
    const std::vector<Heading> headings = headingsOf(document);

    QPdfWriter writer(pdfPath);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setResolution(kPdfResolution);
    writer.setTitle(kManualTitle);
    writer.setCreator(QStringLiteral("manualgen"));
    QPainter painter(&writer);
    if (!painter.isActive())
        qFatal("cannot write %s", qPrintable(pdfPath));
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const qreal scale = writer.width() / kPageWidth;
    const auto startPage = [&](bool first) {
        if (!first)
            writer.newPage();
        painter.resetTransform();
        painter.scale(scale, scale);
    };

    startPage(true);
    drawTitlePage(painter, pictures.value(QStringLiteral("janela-principal.png")), version);
    startPage(false);
    drawContents(painter, headings);
    drawHeaderAndFooter(painter, {}, 2, pageCount, version);
    for (int textPage = 0; textPage < textPages; ++textPage) {
        startPage(false);
        const int page = kFrontPages + textPage + 1;
        drawHeaderAndFooter(painter, chapterOnPage(headings, page), page, pageCount, version);
        painter.save();
        painter.translate(0, -textPage * kPageHeight);
        document.drawContents(&painter, QRectF(0, textPage * kPageHeight, kPageWidth, kPageHeight));
        painter.restore();
    }
    painter.end();
    return pageCount;
}

} // namespace manualgen
