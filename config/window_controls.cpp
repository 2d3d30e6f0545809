#include "config/window_controls.h"

#include "config/Unit2.h"
#include "serial/port_list.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>

namespace config {

QLabel* label(const QString& objectName, const QString& text, QWidget* parent, QPoint at) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(objectName);
    l->move(at);
    l->adjustSize();
    return l;
}

QComboBox* comboBox(const QString& objectName, const QStringList& items, QWidget* parent,
                    QRect geometry) {
    auto* box = new QComboBox(parent);
    box->setObjectName(objectName);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->addItems(items);
    box->setCurrentIndex(-1);
    box->setEditText(objectName);
    box->setGeometry(geometry);
    return box;
}

} // namespace config

void FillPortList(QComboBox* box, const QString& ttyClassDir) {
    const auto ports = serial::listSerialPorts(QFile::encodeName(ttyClassDir).toStdString());
    if (!ports)
        return;
    box->clear();
    box->setEditText(QString());
    for (const std::string& port : *ports)
        box->addItem(QString::fromStdString(port));
    // Filling the list selects no entry and leaves the text empty.
    box->setCurrentIndex(-1);
    box->setEditText(QString());
}
