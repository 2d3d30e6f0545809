#include "app/qt_translations.h"
#include "app/station_windows.h"
#include "app/stop_signals.h"
#include "toolkit/messages.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(toolkit::kApplicationTitle);
    QGuiApplication::setDesktopFileName(QStringLiteral("anemometros"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/app.ico")));
    app::installQtTranslations(application);

    app::StopSignals stopSignals;
    StationWindows windows;
    stopSignals.onStop([&windows] { windows.endProgram(); });
    return QApplication::exec();
}
