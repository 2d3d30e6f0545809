#include "toolkit/text_label.h"

#include "toolkit/panel_frame.h"

#include <QEvent>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QPainter>
#include <QStyle>
#include <QTextDocument>

#include <algorithm>
#include <cmath>

namespace toolkit {

namespace {

// Characters whose glyphs sit side by side with no shaping: Latin letters, digits, punctuation
// and the Latin-1 accented letters the station texts use (no controls, no soft hyphen).
bool placedSideBySide(QChar c) {
    const char16_t u = c.unicode();
    return u >= 0x20 && u < 0x250 && u != 0x7F && !(u >= 0x80 && u < 0xA0) && u != 0xAD;
}

} // namespace

const TextLabel::Line& TextLabel::line() const {
    if (!fontKnown_) {
        rawFont_ = QRawFont::fromFont(font());
        // As QLabel lays out one line: the font's leading, when it has one, above the text.
        const QFontMetrics metrics(font());
        const QFontMetricsF exact(font());
        // QLabel's height of one line: its ascent and descent, rounded up together.
        height_ = static_cast<int>(std::ceil(exact.ascent() + exact.descent()));
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
    // Rich text, and the mnemonic a buddy gives, stay QLabel's business.
    if (textFormat() == Qt::RichText || buddy() != nullptr ||
        (textFormat() == Qt::AutoText && Qt::mightBeRichText(current))) {
        line_ = {current, {}, {}, 0, false};
        return line_;
    }
    // The poll trail grows by appending: only the new characters are mapped.
    const bool appended = line_.simple && !line_.glyphs.isEmpty() &&
                          current.size() > line_.text.size() && current.startsWith(line_.text);
    const qsizetype kept = appended ? line_.glyphs.size() : 0;
    if (!appended)
        line_ = {current, {}, {}, 0, false};
    line_.text = current;
    line_.simple = false;
    const QStringView added = QStringView(current).mid(kept);
    if (!rawFont_.isValid() || !std::all_of(added.begin(), added.end(), placedSideBySide))
        return line_;
    const QList<quint32> addedGlyphs = rawFont_.glyphIndexesForString(added.toString());
    if (addedGlyphs.size() != added.size() ||
        std::any_of(addedGlyphs.begin(), addedGlyphs.end(), [](quint32 g) { return g == 0; }))
        return line_;
    // A glyph's kerned advance depends on the glyph after it, so the last kept glyph is measured
    // again together with the new ones.
    qreal x = 0;
    QList<quint32> measured = addedGlyphs;
    if (kept > 0) {
        measured.prepend(line_.glyphs.last());
        x = line_.positions.last().x();
        line_.positions.removeLast();
    }
    const QList<QPointF> advances =
        rawFont_.advancesForGlyphIndexes(measured, QRawFont::KernedAdvances);
    line_.glyphs.append(addedGlyphs);
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

int TextLabel::textWidth() const {
    const Line& laidOut = line();
    const QMargins margins = contentsMargins();
    if (laidOut.simple)
        return static_cast<int>(std::ceil(laidOut.width)) + margins.left() + margins.right();
    if (textFormat() == Qt::RichText ||
        (textFormat() == Qt::AutoText && Qt::mightBeRichText(text())))
        return QLabel::sizeHint().width();
    // As QLabel measures one line of plain text, with no indent or margin of its own.
    const int flags = int(alignment() & ~(Qt::AlignVCenter | Qt::AlignHCenter));
    return fontMetrics().boundingRect(0, 0, 2000, 2000, flags, text()).width() + 2 * margin() +
           margins.left() + margins.right();
}

// Where QLabel places its text: inside the frame, less the indent a framed label keeps on its
// aligned sides.
QRectF TextLabel::textBox() const {
    QRectF box = contentsRect();
    const Qt::Alignment align = QStyle::visualAlignment(layoutDirection(), alignment());
    const int indent =
        this->indent() < 0 && frameWidth() > 0 ? indentX_ - margin() : this->indent();
    if (indent > 0) {
        box.adjust(align & Qt::AlignLeft ? indent : 0, align & Qt::AlignTop ? indent : 0,
                   align & Qt::AlignRight ? -indent : 0, align & Qt::AlignBottom ? -indent : 0);
    }
    return box;
}

void TextLabel::paintEvent(QPaintEvent* event) {
    const Line& laidOut = line();
    const QRectF box = textBox();
    const bool tooWide =
        elidedInTheMiddle_ &&
        (laidOut.simple ? laidOut.width : fontMetrics().horizontalAdvance(text())) > box.width();
    if ((!laidOut.simple || paintedByQLabel_) && !tooWide) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    if (!paintPanelFrame(painter, *this))
        drawFrame(&painter);
    const Qt::Alignment align = QStyle::visualAlignment(layoutDirection(), alignment());
    if (tooWide) {
        painter.setPen(palette().color(foregroundRole()));
        painter.drawText(box, int(align),
                         fontMetrics().elidedText(text(), Qt::ElideMiddle, int(box.width())));
        return;
    }
    if (laidOut.glyphs.isEmpty())
        return;
    // At fractional positions, as QLabel places them.
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
