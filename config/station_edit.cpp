#include "station_edit.h"

#include <QKeyEvent>

namespace config {

StationEdit::StationEdit(int typedLimit, KeyFilter discards, QWidget* parent)
    : QLineEdit(parent), typedLimit_(typedLimit), discards_(std::move(discards)) {
    // Pasting is held to the same limit as typing; text set by the program is not.
    connect(this, &QLineEdit::textEdited, this, [this](const QString& edited) {
        if (edited.size() > typedLimit_ && edited.size() > beforeEdit_.size()) {
            const int cursor = cursorPosition();
            setText(beforeEdit_);
            setCursorPosition(std::min<int>(cursor, beforeEdit_.size()));
        }
        beforeEdit_ = text();
    });
    connect(this, &QLineEdit::textChanged, this, [this] {
        if (!isModified())
            beforeEdit_ = text();
    });
}

void StationEdit::keyPressEvent(QKeyEvent* event) {
    beforeEdit_ = text();
    const QString typed = event->text();
    for (const QChar c : typed) {
        if (discards_(c)) {
            event->accept();
            return;
        }
    }
    const bool printable = !typed.isEmpty() && typed.at(0).isPrint();
    if (printable && text().size() - selectedText().size() + typed.size() > typedLimit_) {
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void StationEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    emit exited();
}

bool nameKeyDiscarded(QChar c) {
    // Every character a Windows file name cannot hold, and a few more: the name becomes part
    // of the log file's name.
    const char16_t u = c.unicode();
    return (u >= 0x21 && u <= 0x26) || (u >= 0x28 && u <= 0x2A) || u == 0x2C || u == 0x2E ||
           u == 0x2F || (u >= 0x3A && u <= 0x3C) || (u >= 0x3E && u <= 0x40) ||
           (u >= 0x5B && u <= 0x5D) || (u >= 0x7B && u <= 0x7D) || u == 0xA8;
}

bool addressKeyDiscarded(QChar c) {
    const char16_t u = c.unicode();
    const bool digit = u >= u'0' && u <= u'9';
    return (u >= 0x20 && u <= 0x7E && !digit) || u == 0xB4 || u == 0xC7;
}

} // namespace config
