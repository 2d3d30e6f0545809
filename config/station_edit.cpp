#include "config/station_edit.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>

#include <algorithm>

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
    if (printable && typed.size() > roomLeft()) {
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void StationEdit::inputMethodEvent(QInputMethodEvent* event) {
    if (event->commitString().isEmpty()) {
        QLineEdit::inputMethodEvent(event);
        return;
    }
    beforeEdit_ = text();
    QString committed;
    for (const QChar c : event->commitString()) {
        if (!discards_(c))
            committed += c;
    }
    committed.truncate(std::max<qsizetype>(0, roomLeft()));
    QInputMethodEvent filtered(event->preeditString(), event->attributes());
    filtered.setCommitString(committed, event->replacementStart(), event->replacementLength());
    QLineEdit::inputMethodEvent(&filtered);
    event->setAccepted(filtered.isAccepted());
}

qsizetype StationEdit::roomLeft() const {
    return typedLimit_ - (text().size() - selectedText().size());
}

void StationEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    // Only a move to another control of this window leaves the edit: not a context menu, not
    // another application taking the focus, not the window closing.
    const bool moved =
        event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason ||
        event->reason() == Qt::MouseFocusReason || event->reason() == Qt::ShortcutFocusReason;
    const QWidget* next = QApplication::focusWidget();
    if (moved && next && next != this && next->window() == window())
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
