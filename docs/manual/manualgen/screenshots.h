#pragma once

#include <QImage>
#include <QMap>
#include <QString>

class QWidget;

namespace manualgen {

// Pictures for the manual, keyed by the file name the Markdown text refers to
// ("janela-principal.png").
using Pictures = QMap<QString, QImage>;

// Lets the windows shown lay out and paint.
void settle();
// A widget's picture once it has settled.
QImage grabbed(QWidget* widget);

// Builds the real main window and configuration window in the current working directory
// (which must hold ConfigALL.txt and IMAGES/), fills the station panels with sample replies
// through the station display and grabs the windows, their tabs and two panels.
// Needs a QApplication and a HOME whose Documents folder may receive sample log files.
Pictures takeScreenshots();

// The panel icons of IMAGES/, one picture per icon file ("COM_OK.png").
Pictures loadPanelIcons();

} // namespace manualgen
