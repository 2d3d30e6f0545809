#include "text_label.h"

#include <QEvent>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QPainter>
#include <QStyle>

#include <cmath>

namespace toolkit {

namespace {

// Characters whose glyphs sit side by side with no shaping: Latin letters, digits, punctuation
// and the Latin-1 accented letters the station texts use.
bool placedSideBySide(QChar c) {
    return c.unicode() >= 0x20 && c.unicode() < 0x250 && c.unicode() != 0x7F &&
           !(c.unicode() >= 0x80 && c.unicode() < 0xA0);
}

} // namespace

const TextLabel::Line& TextLabel::line() const {
    if (!fontKnown_) {
        rawFont_ = QRawFont::fromFont(font());
        // As QLabel lays out one line: the font's leading, when it has one, above the text.
        const QFontMetrics metrics(font());
        height_ = std::max(0, metrics.leading()) + metrics.height();
        const QFontMetricsF exact(font());
        baseline_ = std::max(qreal(0), exact.leading()) + exact.ascent();
        lineHeight_ = baseline_ + exact.descent();
        indentX_ = metrics.horizontalAdvance(QLatin1Char('x')) / 2;
        fontKnown_ = true;
        line_ = {};
        line_.text = QStringLiteral("\x01"); // never a label's text: lay out again below
    }
    const QString current = text();
    if (line_.text == current)
        return line_;
    line_ = {current, {}, {}, 0, false};
    if (!rawFont_.isValid() || textFormat() == Qt::RichText ||
        !std::all_of(current.begin(), current.end(), placedSideBySide))
        return line_;
    line_.glyphs = rawFont_.glyphIndexesForString(current);
    if (line_.glyphs.size() != current.size() ||
        std::any_of(line_.glyphs.begin(), line_.glyphs.end(), [](quint32 g) { return g == 0; }))
        return line_;
    const QList<QPointF> advances =
        rawFont_.advancesForGlyphIndexes(line_.glyphs, QRawFont::KernedAdvances);
    line_.positions.reserve(advances.size());
    qreal x = 0;
    for (const QPointF& advance : advances) {
        line_.positions.append(QPointF(x, 0));
        x += advance.x();
    }
    line_.width = x;
    line_.simple = true;
    return line_;
}

QSize TextLabel::sizeHint() const {
    const Line& laidOut = line();
    if (!laidOut.simple)
        return QLabel::sizeHint();
    return QSize(static_cast<int>(std::ceil(laidOut.width)), height_).grownBy(contentsMargins());
}

void TextLabel::paintEvent(QPaintEvent* event) {
    const Line& laidOut = line();
    if (!laidOut.simple) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    drawFrame(&painter);
    if (laidOut.glyphs.isEmpty())
        return;
    // Placed as QLabel places its text: inside the frame, less the indent a framed label keeps
    // on its aligned sides, at fractional positions.
    QRectF box = contentsRect();
    const Qt::Alignment align = QStyle::visualAlignment(layoutDirection(), alignment());
    const int indent =
        this->indent() < 0 && frameWidth() > 0 ? indentX_ - margin() : this->indent();
    if (indent > 0) {
        box.adjust(align & Qt::AlignLeft ? indent : 0, align & Qt::AlignTop ? indent : 0,
                   align & Qt::AlignRight ? -indent : 0, align & Qt::AlignBottom ? -indent : 0);
    }
    qreal x = box.left();
    if (align & Qt::AlignRight)
        x = box.right() - laidOut.width;
    else if (align & Qt::AlignHCenter)
        x = box.left() + (box.width() - laidOut.width) / 2;
    qreal y = box.top();
    if (align & Qt::AlignBottom)
        y = box.bottom() - lineHeight_;
    else if (align & Qt::AlignVCenter)
        y = box.top() + (box.height() - lineHeight_) / 2;
    QGlyphRun run;
    run.setRawFont(rawFont_);
    run.setGlyphIndexes(laidOut.glyphs);
    run.setPositions(laidOut.positions);
    painter.drawGlyphRun(QPointF(x, y + baseline_), run);
}

void TextLabel::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange)
        fontKnown_ = false;
    QLabel::changeEvent(event);
}

} // namespace toolkit
