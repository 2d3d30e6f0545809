#pragma once

#include <QLineEdit>

#include <functional>

namespace config {

// An edit with the station's typing rules: a limit on typed characters (text set by the
// program may be longer), a key filter that swallows discarded characters, also in text that
// an input method composes (dead keys), and a signal when the focus moves from it to another
// control of the same window.
class StationEdit : public QLineEdit {
    Q_OBJECT

public:
    using KeyFilter = std::function<bool(QChar)>; // true: the key is discarded

    StationEdit(int typedLimit, KeyFilter discards, QWidget* parent);

signals:
    void exited();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    // How many more characters typing may add in place of the selection.
    qsizetype roomLeft() const;

    int typedLimit_;
    KeyFilter discards_;
    QString beforeEdit_;
};

// The discard sets of the two kinds of station edit.
bool nameKeyDiscarded(QChar c);
bool addressKeyDiscarded(QChar c);

} // namespace config
