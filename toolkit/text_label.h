#pragma once

#include <QLabel>
#include <QRawFont>

namespace toolkit {

// A label for one line of text that changes at every poll (readings, the poll trail). QLabel
// shapes its text anew for every size query and every paint; this one maps the characters to
// glyphs of its font directly, once per text, and paints those. Text it cannot map so simply
// (characters outside Latin, missing glyphs) is painted by QLabel as usual. To screen readers
// and to the rest of the program it is a QLabel.
class TextLabel : public QLabel {
public:
    using QLabel::QLabel;

    // A text wider than the label is painted with its middle left out ("/dev/ser…if00-port0"),
    // the whole of it still its text for screen readers and the rest of the program.
    void setElidedInTheMiddle(bool elided) { elidedInTheMiddle_ = elided; }
    // Measured the fast way, painted by QLabel: for a label in a layout, where measuring is what
    // a new text costs most.
    void setPaintedByQLabel(bool byQLabel) { paintedByQLabel_ = byQLabel; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }
    // The width sizeHint() asks for whatever bounds the label's size has (QLabel widens its hint
    // to the least width): for a label of a fixed size placed by hand, what a layout would have
    // given it.
    int textWidth() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct Line {
        QString text;
        QList<quint32> glyphs;
        QList<QPointF> positions; // on the baseline, from the left end
        qreal width = 0;
        bool simple = false;
    };
    const Line& line() const;
    QRectF textBox() const;

    mutable QRawFont rawFont_;
    mutable int height_ = 0;       // of one line, whole pixels, for the label's size
    mutable qreal lineHeight_ = 0; // the same, exact, for placing the text
    mutable qreal baseline_ = 0;   // from the top of the line
    mutable int indentX_ = 0;      // a framed label's default indent
    mutable Line line_;
    mutable bool fontKnown_ = false;
    bool elidedInTheMiddle_ = false;
    bool paintedByQLabel_ = false;
};

} // namespace toolkit
