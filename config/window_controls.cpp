#include "config/window_controls.h"

#include "config/Unit2.h"
#include "serial/port_list.h"

#include <QAbstractItemView>
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

void FillPortList(QComboBox* box, const QString& ttyClassDir, const QString& devDir) {
    const std::string classDir = QFile::encodeName(ttyClassDir).toStdString();
    const auto ports = serial::listSerialPorts(classDir);
    if (!ports)
        return;
    box->clear();
    box->setEditText(QString());
    for (const std::string& port : *ports)
        box->addItem(QString::fromStdString(port));
    // After the bare names, the names that survive a replug or a second adapter; the port
    // text holds the whole path.
    for (const std::string& path :
         serial::listStablePortNames(*ports, classDir, QFile::encodeName(devDir).toStdString()))
        box->addItem(QFile::decodeName(QByteArray::fromStdString(path)));
    // The list is as wide as its longest path, beyond the box's own width.
    box->view()->setMinimumWidth(box->view()->sizeHintForColumn(0) + 2 * box->view()->frameWidth());
    // Filling the list selects no entry and leaves the text empty.
    box->setCurrentIndex(-1);
    box->setEditText(QString());
}
