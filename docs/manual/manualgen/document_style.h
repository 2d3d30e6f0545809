#pragma once

#include "screenshots.h"

#include <QFont>
#include <QString>

class QTextDocument;

namespace manualgen {

// Lengths are in the text document's own pixels: 96 to the inch.
inline constexpr qreal kPixelsPerMm = 96.0 / 25.4;
inline constexpr qreal kPixelsPerPoint = 96.0 / 72.0;

// The manual's look: body, headings and monospace fonts and the accent colour of the name
// bars of the station panels.
QFont bodyFont(qreal points, bool bold = false);
QFont monoFont(qreal points);
QColor accentColour();

// Loads the Markdown text into `document` with the pictures as its image resources, and gives
// it the manual's look: heading sizes, a page break before every chapter but the first, code
// and quote backgrounds, framed tables with a shaded header row, pictures scaled to fit
// `contentWidth` and centred with their captions.
void buildDocument(QTextDocument& document, const QString& markdown, const Pictures& pictures,
                   qreal contentWidth);

// Lays the document out on pages of `pageHeight` and adds page breaks so that a section
// heading or a lead-in paragraph ending in ':' is not left at the bottom of a page without
// what follows it, and so that short tables are not cut (a cut table row can lose its
// alignment). Long tables may still be split.
void keepTogether(QTextDocument& document, qreal pageHeight);

} // namespace manualgen
