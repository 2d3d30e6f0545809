#include "app/command_line.h"
#include "app/qt_translations.h"
#include "app/station_windows.h"
#include "app/stop_signals.h"
#include "site/site_view.h"
#include "toolkit/deferred_icons.h"
#include "toolkit/messages.h"

#include <QApplication>

#include <algorithm>
#include <cstdio>
#include <optional>

namespace {

// Says what the command line asked to say; false when the program goes on.
bool answered(const app::CommandLineRead& read) {
    std::fputs(read.out.toLocal8Bit().constData(), stdout);
    std::fputs(read.err.toLocal8Bit().constData(), stderr);
    return !read.run;
}

} // namespace

int main(int argc, char* argv[]) {
    // --help and --version need no display: answered before any window system is opened.
    QStringList raw;
    for (int i = 0; i < argc; ++i)
        raw << QString::fromLocal8Bit(argv[i]);
    const QStringList asked{QStringLiteral("-h"), QStringLiteral("--help"),
                            QStringLiteral("--version")};
    if (std::any_of(raw.begin(), raw.end(), [&](const QString& a) { return asked.contains(a); })) {
        const app::CommandLineRead read = app::readCommandLine(raw, ANEMOMETROS_VERSION);
        answered(read);
        return read.exitStatus;
    }
    QApplication application(argc, argv);
    // Qt has taken its own options (-platform, -style, ...) out by now.
    const app::CommandLineRead options =
        app::readCommandLine(QApplication::arguments(), ANEMOMETROS_VERSION);
    if (answered(options))
        return options.exitStatus;
    QApplication::setApplicationName(toolkit::kApplicationTitle);
    QGuiApplication::setDesktopFileName(QStringLiteral("anemometros"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/app.ico")));
    toolkit::deferStandardIcons();
    app::installQtTranslations(application);

    app::StopSignals stopSignals;
    // --local: the site view, every station of several station PCs through the broker.
    if (options.run->local) {
        QGuiApplication::setDesktopFileName(QStringLiteral("anemometros-local"));
        site::SiteView view;
        stopSignals.onStop([&view] { view.end(); });
        return QApplication::exec();
    }
    StationWindows windows;
    stopSignals.onStop([&windows] { windows.endProgram(); });
    return QApplication::exec();
}
