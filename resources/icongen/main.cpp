// Draws the program's pictures at build time:
//   icongen station <dir>                  the run-time icon files read from IMAGES/
//   icongen builtin <dir> <app-icon.svg>   the pictures compiled into the program

#include "buttonpictures.h"
#include "canvas.h"
#include "icofile.h"
#include "panelicons.h"

#include <QDir>
#include <QString>
#include <QSvgRenderer>

#include <cstdio>
#include <vector>

namespace {

using namespace icongen;

struct Picture {
    const char* fileName;
    Drawing drawing;
};

const QList<int> kIconSizes{16, 32, 48};
const QList<int> kAppPngSizes{16, 32, 48, 64, 128, 256};

bool fail(const QString& message) {
    std::fprintf(stderr, "icongen: %s\n", qPrintable(message));
    return false;
}

bool writePanelIcons(const QDir& dir, const std::vector<Picture>& pictures) {
    for (const Picture& picture : pictures) {
        const QString path = dir.filePath(QString::fromLatin1(picture.fileName));
        if (!writeIco(path, renderSizes(picture.drawing, kPanelIconGrid, kIconSizes)))
            return fail(QStringLiteral("cannot write %1").arg(path));
    }
    return true;
}

bool writeStationIcons(const QDir& dir) {
    const std::vector<Picture> icons{
        {"COM_OK.ICO", communicationIcon(LinkLook::Good)},
        {"COM_OFF.ICO", communicationIcon(LinkLook::Lost)},
        {"BAT_100.ICO", batteryIcon(4)},
        {"BAT_75.ICO", batteryIcon(3)},
        {"BAT_50.ICO", batteryIcon(2)},
        {"BAT_25.ICO", batteryIcon(1)},
        {"BAT_0.ICO", batteryIcon(0)},
        {"SOUND_ON.ICO", speakerIcon(true)},
        {"SOUND_OFF.ICO", speakerIcon(false)},
        {"RF_ON.ICO", radioIcon(true)},
        {"RF_OFF.ICO", radioIcon(false)},
    };
    return writePanelIcons(dir, icons);
}

bool writeAppIcon(const QDir& dir, const QString& svgPath) {
    QSvgRenderer svg(svgPath);
    if (!svg.isValid())
        return fail(QStringLiteral("cannot read %1").arg(svgPath));
    for (int size : kAppPngSizes) {
        const QString path = dir.filePath(QStringLiteral("app-%1.png").arg(size));
        if (!renderSvg(svg, size).save(path, "PNG"))
            return fail(QStringLiteral("cannot write %1").arg(path));
    }
    QList<QImage> icoImages;
    for (int size : kIconSizes)
        icoImages.append(renderSvg(svg, size));
    if (!writeIco(dir.filePath(QStringLiteral("app.ico")), icoImages))
        return fail(QStringLiteral("cannot write app.ico"));
    return true;
}

bool writeButtons(const QDir& dir) {
    const std::vector<Picture> buttons{
        {"button_save.png", floppyDisk()},
        {"button_search.png", magnifyingGlass()},
        {"button_open.png", openFolder()},
    };
    for (const Picture& button : buttons) {
        const QString path = dir.filePath(QString::fromLatin1(button.fileName));
        if (!render(button.drawing, kButtonGrid, int(kButtonGrid)).save(path, "PNG"))
            return fail(QStringLiteral("cannot write %1").arg(path));
    }
    return true;
}

bool writeBuiltins(const QDir& dir, const QString& svgPath) {
    const std::vector<Picture> idleIcons{
        {"com_idle.ico", communicationIcon(LinkLook::Idle)},
        {"rf_idle.ico", radioIcon(false)},
        {"sound_idle.ico", speakerIcon(false)},
        {"battery_idle.ico", idleBatteryIcon()},
    };
    return writePanelIcons(dir, idleIcons) && writeAppIcon(dir, svgPath) && writeButtons(dir);
}

} // namespace

int main(int argc, char* argv[]) {
    const QString mode = argc > 2 ? QString::fromLocal8Bit(argv[1]) : QString();
    const bool station = mode == QLatin1String("station") && argc == 3;
    const bool builtin = mode == QLatin1String("builtin") && argc == 4;
    if (!station && !builtin) {
        std::fprintf(stderr, "usage: icongen station <dir> | builtin <dir> <app-icon.svg>\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[2]));
    if (!dir.mkpath(QStringLiteral("."))) {
        fail(QStringLiteral("cannot create %1").arg(dir.path()));
        return 1;
    }
    const bool written =
        station ? writeStationIcons(dir) : writeBuiltins(dir, QString::fromLocal8Bit(argv[3]));
    return written ? 0 : 1;
}
