// manualgen: draws the user manual. It takes the screenshots from the program's real windows,
// filled with sample readings, and prints the Markdown text with them to a PDF.
//
//   manualgen STATION_DIR MANUAL_MD OUTPUT_PDF SCREENSHOT_DIR VERSION
//
// Run it with QT_QPA_PLATFORM=offscreen. STATION_DIR holds ConfigALL.txt and IMAGES/; the
// windows are built in a temporary copy of it, with a temporary HOME for the sample logs.

#include "manual_pdf.h"
#include "screenshots.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <exception>

namespace {

bool copyStationFolder(const QString& stationDir, const QString& workDir) {
    const QDir station(stationDir);
    if (!QFile::copy(station.filePath(QStringLiteral("ConfigALL.txt")),
                     workDir + QStringLiteral("/ConfigALL.txt")))
        return false;
    const QDir images(station.filePath(QStringLiteral("IMAGES")));
    QDir(workDir).mkdir(QStringLiteral("IMAGES"));
    for (const QString& file : images.entryList(QDir::Files)) {
        if (!QFile::copy(images.filePath(file), workDir + QStringLiteral("/IMAGES/") + file))
            return false;
    }
    return !images.isEmpty();
}

QString readText(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

// The offscreen platform warns about every window whose size limits are set; the windows
// need no window manager here, so that warning only hides real ones.
QtMessageHandler standardHandler = nullptr;

void filterMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.startsWith(QStringLiteral("This plugin does not support propagateSizeHints")))
        return;
    standardHandler(type, context, message);
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 6) {
        std::fputs("usage: manualgen STATION_DIR MANUAL_MD OUTPUT_PDF SCREENSHOT_DIR VERSION\n",
                   stderr);
        return 2;
    }
    // A fresh home: the sample logs go to its Documents folder, never to the user's.
    QTemporaryDir home;
    QTemporaryDir work;
    QTemporaryDir runtime;
    if (!home.isValid() || !work.isValid() || !runtime.isValid())
        return 1;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/.config")).toUtf8());
    qunsetenv("XDG_DOCUMENTS_DIR");
    // Screenshots at twice the pixels stay sharp when the PDF is zoomed or printed.
    if (!qEnvironmentVariableIsSet("QT_SCALE_FACTOR"))
        qputenv("QT_SCALE_FACTOR", "2");

    standardHandler = qInstallMessageHandler(filterMessages);
    QApplication application(argc, argv);
    const QStringList args = QApplication::arguments();
    const QString stationDir = QDir(args.at(1)).absolutePath();
    const QString markdown = readText(args.at(2));
    const QString pdfPath = QDir::current().absoluteFilePath(args.at(3));
    const QString shotDir = QDir::current().absoluteFilePath(args.at(4));
    const QString version = args.at(5);
    if (markdown.isEmpty()) {
        std::fprintf(stderr, "manualgen: cannot read %s\n", qPrintable(args.at(2)));
        return 1;
    }
    if (!copyStationFolder(stationDir, work.path())) {
        std::fprintf(stderr, "manualgen: no ConfigALL.txt or IMAGES/ in %s\n",
                     qPrintable(stationDir));
        return 1;
    }
    QDir().mkpath(shotDir);
    QDir().mkpath(QFileInfo(pdfPath).absolutePath());

    // The windows report failures in message boxes, which would wait for a click forever here:
    // a box that shows up is closed, and the manual is not written.
    bool messageShown = false;
    QTimer watchdog;
    QObject::connect(&watchdog, &QTimer::timeout, [&messageShown] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            std::fprintf(stderr, "manualgen: the program reported: %s\n", qPrintable(box->text()));
            messageShown = true;
            box->done(QMessageBox::Ok);
        }
    });
    watchdog.start(200);

    try {
        QDir::setCurrent(work.path());
        manualgen::Pictures pictures = manualgen::takeScreenshots();
        if (messageShown)
            return 1;
        for (auto it = pictures.cbegin(); it != pictures.cend(); ++it)
            it.value().save(shotDir + u'/' + it.key());
        pictures.insert(manualgen::loadPanelIcons());
        const int pages = manualgen::writeManualPdf(markdown, pictures, pdfPath, version);
        std::printf("manualgen: %s, %d pages\n", qPrintable(pdfPath), pages);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "manualgen: %s\n", failure.what());
        return 1;
    }
    return 0;
}
