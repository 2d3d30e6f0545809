#pragma once

#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>

class QComboBox;
class QLabel;
class QWidget;

namespace config {

// A label at its place, sized to its text.
QLabel* label(const QString& objectName, const QString& text, QWidget* parent, QPoint at);

// An editable drop-down whose text is independent of its items, as the settings need.
QComboBox* comboBox(const QString& objectName, const QStringList& items, QWidget* parent,
                    QRect geometry);

} // namespace config
