#pragma once

// Watches for message boxes while a test drives the real windows: every box that opens is
// recorded (icon, caption, text) and closed, optionally after running a callback inside it.
// keepOpenFor() leaves each box open for a while, as an operator away from the desk would:
// the box's own loop runs and every running timer goes on ticking under it.

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <functional>
#include <vector>

inline std::function<void(QMessageBox*)> keepOpenFor(int ms) {
    return [ms](QMessageBox*) { QTest::qWait(ms); };
}

struct SeenBox {
    QMessageBox::Icon icon;
    QString title;
    QString text;
};

class BoxWatcher : public QObject {
public:
    explicit BoxWatcher(std::function<void(QMessageBox*)> whileOpen = {})
        : whileOpen_(std::move(whileOpen)) {
        poll_.setInterval(5);
        QObject::connect(&poll_, &QTimer::timeout, this, [this] { check(); });
        poll_.start();
    }

    const std::vector<SeenBox>& boxes() const { return boxes_; }
    int openNow() const {
        int n = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<QMessageBox*>(w) && w->isVisible())
                ++n;
        return n;
    }
    int maxOpenAtOnce() const { return maxOpen_; }

private:
    void check() {
        maxOpen_ = std::max(maxOpen_, openNow());
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (!box || !box->isVisible() || handled_.contains(box))
                continue;
            handled_.append(box);
            boxes_.push_back({box->icon(), box->windowTitle(), box->text()});
            if (whileOpen_)
                whileOpen_(box);
            maxOpen_ = std::max(maxOpen_, openNow());
            QPointer<QMessageBox> guard(box);
            if (guard)
                guard->accept();
        }
    }

    std::function<void(QMessageBox*)> whileOpen_;
    QTimer poll_;
    QList<QPointer<QMessageBox>> handled_;
    std::vector<SeenBox> boxes_;
    int maxOpen_ = 0;
};
