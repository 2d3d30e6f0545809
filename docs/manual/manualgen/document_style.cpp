#include "document_style.h"

#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>

#include <algorithm>
#include <cmath>
#include <vector>

namespace manualgen {

namespace {

constexpr qreal kBodyPoints = 10.5;
constexpr qreal kCodePoints = 8.8;
constexpr qreal kTableCellPadding = 3.5;
// Pictures never take more than this share of a page's height.
constexpr qreal kMaxPictureHeight = 620;
// Tables longer than this share of a page may be split between pages; shorter ones are not.
constexpr qreal kLongTableShare = 0.45;

const QColor kCodeBackground(0xf1, 0xf1, 0xee);
const QColor kQuoteBackground(0xfd, 0xf3, 0xe7);
const QColor kTableHeader(0xe6, 0xe6, 0xe6);
const QColor kTableBorder(0x99, 0x99, 0x99);
const QColor kCaption(0x55, 0x55, 0x55);

bool isCode(const QTextBlock& block) {
    return block.isValid() && block.blockFormat().hasProperty(QTextFormat::BlockCodeFence);
}

// The block holds nothing but pictures (and the blanks between them).
bool onlyPictures(const QTextBlock& block) {
    bool picture = false;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        if (fragment.charFormat().isImageFormat())
            picture = true;
        else if (!fragment.text().trimmed().isEmpty())
            return false;
    }
    return picture;
}

bool allItalic(const QTextBlock& block) {
    if (block.text().trimmed().isEmpty())
        return false;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        if (!it.fragment().charFormat().fontItalic())
            return false;
    }
    return true;
}

// Applies `change` to the character format of every fragment of the block.
template <typename Change> void changeCharacters(const QTextBlock& block, Change change) {
    struct Piece {
        int position;
        int length;
        QTextCharFormat format;
    };
    std::vector<Piece> pieces;
    for (auto it = block.begin(); !it.atEnd(); ++it)
        pieces.push_back(
            {it.fragment().position(), it.fragment().length(), it.fragment().charFormat()});
    QTextCursor cursor(block);
    for (Piece& piece : pieces) {
        change(piece.format);
        cursor.setPosition(piece.position);
        cursor.setPosition(piece.position + piece.length, QTextCursor::KeepAnchor);
        cursor.setCharFormat(piece.format);
    }
}

void setBlockFormat(const QTextBlock& block, const QTextBlockFormat& format) {
    QTextCursor cursor(block);
    cursor.setBlockFormat(format);
}

void styleHeading(const QTextBlock& block, bool firstChapter) {
    const int level = block.blockFormat().headingLevel();
    static constexpr qreal kPoints[] = {0, 20, 13.5, 11.5, 11, 10.5, 10.5};
    changeCharacters(block, [level](QTextCharFormat& format) {
        format.clearProperty(QTextFormat::FontSizeAdjustment);
        format.setFontFamilies(bodyFont(kBodyPoints).families());
        format.setFontPointSize(kPoints[std::clamp(level, 1, 6)]);
        format.setFontWeight(QFont::Bold);
        format.setForeground(level == 1 ? accentColour() : QColor(0x22, 0x22, 0x22));
    });
    QTextBlockFormat format = block.blockFormat();
    format.setTopMargin(level == 1 ? 0 : 14);
    format.setBottomMargin(level == 1 ? 14 : 6);
    format.setLineHeight(100, QTextBlockFormat::ProportionalHeight);
    if (level == 1 && !firstChapter)
        format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
    else if (level > 1)
        format.setPageBreakPolicy(QTextFormat::PageBreak_Auto);
    setBlockFormat(block, format);
}

void styleCode(const QTextBlock& block) {
    changeCharacters(block, [](QTextCharFormat& format) {
        format.setFont(monoFont(kCodePoints), QTextCharFormat::FontPropertiesAll);
    });
    QTextBlockFormat format = block.blockFormat();
    format.setBackground(kCodeBackground);
    format.setLeftMargin(12);
    format.setRightMargin(12);
    format.setTopMargin(isCode(block.previous()) ? 0 : 4);
    format.setBottomMargin(isCode(block.next()) ? 0 : 10);
    format.setLineHeight(115, QTextBlockFormat::ProportionalHeight);
    setBlockFormat(block, format);
}

void styleParagraph(const QTextBlock& block) {
    QTextBlockFormat format = block.blockFormat();
    format.setLineHeight(118, QTextBlockFormat::ProportionalHeight);
    format.setBottomMargin(block.textList() ? 3 : 7);
    if (format.intProperty(QTextFormat::BlockQuoteLevel) > 0) {
        format.setBackground(kQuoteBackground);
        format.setLeftMargin(18);
        format.setRightMargin(18);
        format.setTopMargin(2);
        format.setBottomMargin(10);
    }
    const bool picture = onlyPictures(block);
    const bool caption = allItalic(block) && onlyPictures(block.previous());
    if (picture || caption)
        format.setAlignment(Qt::AlignHCenter);
    if (picture) {
        // Proportional line spacing would add a share of the picture's height below it.
        format.setLineHeight(100, QTextBlockFormat::ProportionalHeight);
        format.setBottomMargin(4);
    }
    setBlockFormat(block, format);
    // Inline code keeps the monospace family at a size that suits the body text.
    changeCharacters(block, [caption](QTextCharFormat& format) {
        if (format.fontFixedPitch() ||
            format.fontFamilies().toStringList().contains(monoFont(kCodePoints).family()))
            format.setFont(monoFont(kCodePoints + 0.6), QTextCharFormat::FontPropertiesAll);
        if (caption) {
            format.setFontPointSize(kBodyPoints - 1);
            format.setForeground(kCaption);
        }
    });
}

// Pictures keep their shape and their size in logical pixels, shrunk to fit the page.
void fitPictures(QTextDocument& document, const Pictures& pictures, qreal contentWidth) {
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        changeCharacters(block, [&](QTextCharFormat& format) {
            if (!format.isImageFormat())
                return;
            QTextImageFormat image = format.toImageFormat();
            const QImage picture = pictures.value(image.name());
            if (picture.isNull())
                qFatal("no picture named %s", qPrintable(image.name()));
            const QSizeF natural = picture.deviceIndependentSize();
            const qreal scale = std::min(
                {1.0, (contentWidth - 2) / natural.width(), kMaxPictureHeight / natural.height()});
            image.setWidth(natural.width() * scale);
            image.setHeight(natural.height() * scale);
            format = image;
        });
    }
}

void styleTables(QTextDocument& document) {
    for (QTextFrame* frame : document.rootFrame()->childFrames()) {
        auto* table = qobject_cast<QTextTable*>(frame);
        if (!table)
            continue;
        QTextTableFormat format = table->format();
        format.setBorder(0.7);
        format.setBorderBrush(kTableBorder);
        format.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
        format.setBorderCollapse(true);
        format.setCellSpacing(0);
        format.setCellPadding(kTableCellPadding);
        format.setHeaderRowCount(1);
        format.setTopMargin(2);
        format.setBottomMargin(10);
        format.setWidth(QTextLength(QTextLength::PercentageLength, 100));
        table->setFormat(format);
        for (int column = 0; column < table->columns(); ++column) {
            QTextTableCell cell = table->cellAt(0, column);
            QTextTableCellFormat cellFormat = cell.format().toTableCellFormat();
            cellFormat.setBackground(kTableHeader);
            cell.setFormat(cellFormat);
        }
    }
}

int pageOf(qreal y, qreal pageHeight) {
    return static_cast<int>(std::floor(y / pageHeight));
}

// Where the block's first line lies in the document; a line that did not fit at the bottom of
// a page has been moved down inside its block.
qreal firstLineTop(const QTextBlock& block) {
    const QRectF box = block.document()->documentLayout()->blockBoundingRect(block);
    const QTextLayout* text = block.layout();
    if (!text || text->lineCount() == 0)
        return box.top();
    // The box starts at the layout's position; line positions are relative to it.
    return box.top() + text->lineAt(0).y();
}

bool isSectionHeading(const QTextBlock& block) {
    return block.blockFormat().headingLevel() >= 2;
}

// A paragraph that introduces what follows it ("Num terminal:").
bool isLeadIn(const QTextBlock& block) {
    return block.blockFormat().headingLevel() == 0 && !isCode(block) &&
           block.text().trimmed().endsWith(u':');
}

// The first block of `block` together with the lead-in paragraph and the section heading
// that come right before it.
QTextBlock chainStart(QTextBlock block) {
    QTextBlock previous = block.previous();
    if (previous.isValid() && isLeadIn(previous) && !previous.textList()) {
        block = previous;
        previous = block.previous();
    }
    if (previous.isValid() && isSectionHeading(previous))
        block = previous;
    return block;
}

} // namespace

void keepTogether(QTextDocument& document, qreal pageHeight) {
    const qreal pageTop = document.rootFrame()->frameFormat().topMargin();
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        document.pageCount(); // finishes the layout of what changed so far
        const int page = pageOf(firstLineTop(block), pageHeight);
        auto* table = qobject_cast<QTextTable*>(document.frameAt(block.position()));
        // The block that has to stay together with what comes before it.
        QTextBlock kept;
        if (table && block.position() == table->firstPosition()) {
            const QRectF box = document.documentLayout()->frameBoundingRect(table);
            if (page != pageOf(box.bottom() - 0.5, pageHeight) &&
                box.height() < kLongTableShare * pageHeight)
                kept = block;
        } else if (!table && (isSectionHeading(block) || isLeadIn(block)) &&
                   block.next().isValid() &&
                   page != pageOf(firstLineTop(block.next()), pageHeight)) {
            kept = block.next();
        }
        if (!kept.isValid())
            continue;
        const QTextBlock start = chainStart(kept);
        // A chain that already starts a page cannot gain anything from a break.
        if (firstLineTop(start) - pageOf(firstLineTop(start), pageHeight) * pageHeight <
            pageTop + 1)
            continue;
        if (table && start == kept) {
            QTextTableFormat format = table->format();
            format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
            table->setFormat(format);
        } else {
            QTextBlockFormat format = start.blockFormat();
            format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
            setBlockFormat(start, format);
        }
    }
}

QFont bodyFont(qreal points, bool bold) {
    QFont font(QStringLiteral("Liberation Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

QFont monoFont(qreal points) {
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    font.setPointSizeF(points);
    return font;
}

QColor accentColour() {
    return QColor(215, 0, 0);
}

void buildDocument(QTextDocument& document, const QString& markdown, const Pictures& pictures,
                   qreal contentWidth) {
    document.setDefaultFont(bodyFont(kBodyPoints));
    document.setUndoRedoEnabled(false);
    document.setMarkdown(markdown, QTextDocument::MarkdownDialectGitHub);
    // After the text: loading Markdown clears the document's resources.
    for (auto it = pictures.cbegin(); it != pictures.cend(); ++it)
        document.addResource(QTextDocument::ImageResource, QUrl(it.key()), it.value());

    bool firstChapter = true;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (block.blockFormat().headingLevel() > 0) {
            styleHeading(block, firstChapter && block.blockFormat().headingLevel() == 1);
            if (block.blockFormat().headingLevel() == 1)
                firstChapter = false;
        } else if (isCode(block)) {
            styleCode(block);
        } else {
            styleParagraph(block);
        }
    }
    fitPictures(document, pictures, contentWidth);
    styleTables(document);
}

} // namespace manualgen
