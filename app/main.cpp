#include "app/station_windows.h"
#include "toolkit/messages.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(toolkit::kApplicationTitle);
    QGuiApplication::setDesktopFileName(QStringLiteral("anemometros"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/app.ico")));

    StationWindows windows;
    return QApplication::exec();
}
