#pragma once

#include <QLineEdit>

#include <functional>

namespace config {

// An edit with the station's typing rules: a limit on typed characters (text set by the
// program may be longer), a key filter that swallows discarded characters, and a signal when
// the focus leaves it.
class StationEdit : public QLineEdit {
    Q_OBJECT

public:
    using KeyFilter = std::function<bool(QChar)>; // true: the key is discarded

    StationEdit(int typedLimit, KeyFilter discards, QWidget* parent);

signals:
    void exited();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    int typedLimit_;
    KeyFilter discards_;
    QString beforeEdit_;
};

// The discard sets of the two kinds of station edit.
bool nameKeyDiscarded(QChar c);
bool addressKeyDiscarded(QChar c);

} // namespace config
