#include "app/qt_translations.h"
#include "app/station_windows.h"
#include "app/stop_signals.h"
#include "site/site_view.h"
#include "toolkit/messages.h"

#include <QApplication>

#include <optional>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(toolkit::kApplicationTitle);
    QGuiApplication::setDesktopFileName(QStringLiteral("anemometros"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/app.ico")));
    app::installQtTranslations(application);

    app::StopSignals stopSignals;
    // --local: the site view, every station of several station PCs through the broker.
    if (QApplication::arguments().contains(QStringLiteral("--local"))) {
        QGuiApplication::setDesktopFileName(QStringLiteral("anemometros-local"));
        site::SiteView view;
        stopSignals.onStop([&view] { view.end(); });
        return QApplication::exec();
    }
    StationWindows windows;
    stopSignals.onStop([&windows] { windows.endProgram(); });
    return QApplication::exec();
}
