#include "readings/station_panel.h"

#include "toolkit/failure.h"
#include "toolkit/fonts.h"
#include "toolkit/os_files.h"
#include "toolkit/panel_frame.h"
#include "toolkit/text_label.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QIcon>
#include <QImageReader>
#include <QLabel>
#include <QPainter>
#include <QPixmap>

#include <cerrno>
#include <cstdlib>

namespace readings {

namespace {

// Background colours are set through the palette: style sheets would re-polish the widget
// at every reading.
void paintBackground(QLabel* panel, const QColor& background) {
    QPalette palette = panel->palette();
    palette.setColor(QPalette::Window, background);
    panel->setPalette(palette);
    panel->setAutoFillBackground(true);
}

// Every update opens its icon file, so a missing or unreadable one is reported at once; the
// picture is decoded again only when the file is not the one seen last time (same inode, size
// and modification time). The check uses plain system calls: it runs four times per reading.
class IconFiles {
public:
    QPixmap load(const QString& path) {
        const int fd = os::open(path.toUtf8().constData(), O_RDONLY | os::kCloseOnExec);
        if (fd < 0)
            toolkit::raiseFileError(errno == ENOENT || errno == ENOTDIR ? ENOENT : EACCES);
        os::Stat info{};
        const bool statted = os::fstat(fd, &info) == 0;
        const int statError = errno;
        os::close(fd);
        if (!statted)
            toolkit::raiseFileError(statError);
        if (S_ISDIR(info.st_mode))
            toolkit::raiseFileError(EACCES);
        Entry& entry = entries_[path];
        if (!entry.pixmap.isNull() && entry.inode == info.st_ino && entry.size == info.st_size &&
            entry.modifiedNs == os::modifiedNs(info))
            return entry.pixmap;
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            toolkit::raiseFileError(file.exists() ? EACCES : ENOENT);
        entry = {info.st_ino, info.st_size, os::modifiedNs(info), decode(file)};
        if (entry.pixmap.isNull())
            throw toolkit::Failure(QStringLiteral("Ícone inválido: %1").arg(path));
        return entry.pixmap;
    }

private:
    struct Entry {
        quint64 inode = 0;
        qint64 size = 0;
        long long modifiedNs = 0;
        QPixmap pixmap;
    };

    // The image box shows the 32-pixel picture of the icon, or the nearest one scaled to it.
    static QPixmap decode(QFile& file) {
        QImageReader reader(&file, "ico");
        // Only the ICO reader is asked: guessing would load every image plugin Qt has.
        reader.setAutoDetectImageFormat(false);
        QImage best;
        for (int i = 0; i < std::max(1, reader.imageCount()); ++i) {
            if (i > 0 && !reader.jumpToImage(i))
                break;
            const QImage frame = reader.read();
            if (frame.isNull())
                continue;
            if (best.isNull() || std::abs(frame.width() - 32) < std::abs(best.width() - 32))
                best = frame;
        }
        if (best.isNull())
            return {};
        if (best.size() != QSize(32, 32))
            best = best.scaled(32, 32, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        return QPixmap::fromImage(best);
    }

    QHash<QString, Entry> entries_;
};

IconFiles& iconFiles() {
    static IconFiles files;
    return files;
}

// The icon files carry several sizes; the image box shows the 32-pixel one.
QPixmap iconPixmap(const QIcon& icon) {
    return icon.pixmap(QSize(32, 32));
}

QString accessibleIconName(StationPanel::Icon icon) {
    switch (icon) {
    case StationPanel::Icon::Communication:
        return QStringLiteral("Comunicação");
    case StationPanel::Icon::Battery:
        return QStringLiteral("Bateria");
    case StationPanel::Icon::Sound:
        return QStringLiteral("Alarme sonoro");
    case StationPanel::Icon::Rf:
        return QStringLiteral("RF");
    }
    return {};
}

// What a screen reader says for each icon file the panel shows.
QString iconStateText(const QString& iconName) {
    static const QHash<QString, QString> states{
        {QStringLiteral("COM_OK"), QStringLiteral("estação respondendo")},
        {QStringLiteral("COM_OFF"), QStringLiteral("sem resposta")},
        {QStringLiteral("BAT_100"), QStringLiteral("carga completa")},
        {QStringLiteral("BAT_75"), QStringLiteral("carga 75%")},
        {QStringLiteral("BAT_50"), QStringLiteral("carga 50%")},
        {QStringLiteral("BAT_25"), QStringLiteral("carga 25%")},
        {QStringLiteral("BAT_0"), QStringLiteral("carga baixa")},
        {QStringLiteral("SOUND_ON"), QStringLiteral("alarme ligado")},
        {QStringLiteral("SOUND_OFF"), QStringLiteral("alarme desligado")},
        {QStringLiteral("RF_ON"), QStringLiteral("RF ligado")},
        {QStringLiteral("RF_OFF"), QStringLiteral("RF desligado")},
    };
    return states.value(iconName.toUpper(), iconName);
}

} // namespace

QColor colourFromReference(unsigned reference) {
    return QColor(reference & 0xFF, (reference >> 8) & 0xFF, (reference >> 16) & 0xFF);
}

StationPanel::StationPanel(int station, QWidget* parent) : QFrame(parent), station_(station) {
    const QString n = QString::number(station);
    setObjectName(QStringLiteral("Panel") + n);
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setLineWidth(1);
    setFixedSize(161, 209);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(227, 227, 227)); // the system 3-D light colour
    setPalette(pal);
    setAccessibleName(QStringLiteral("Estação ") + n);

    // The four static labels are numbered through the window: panel n holds 4n-3 .. 4n.
    const int first = 4 * station - 3;
    const auto staticName = [first](int k) { return QStringLiteral("Label%1").arg(first + k); };

    // Layout order of the original panel; the inner panels are raised above labels and images.
    makeLabel(staticName(0), QStringLiteral("V:"), {11, 88, 20, 22}, 19, true);
    makeLabel(staticName(1), QStringLiteral("D:"), {9, 118, 21, 22}, 19, true);
    makeLabel(staticName(2), QStringLiteral("P1"), {32, 153, 18, 18}, 15, true);
    speed_ = makeLabel(QStringLiteral("LabelVel") + n, QStringLiteral("0 km/h"), {32, 88, 56, 22},
                       19, false);
    direction_ = makeLabel(QStringLiteral("LabelDir") + n, QStringLiteral("---"), {32, 118, 18, 22},
                           19, false);
    makeLabel(staticName(3), QStringLiteral("P2"), {112, 153, 18, 18}, 15, true);
    imageSound_ =
        makeImage(QStringLiteral("ImageSom") + n, {92, 36, 33, 33},
                  QStringLiteral(":/icons/sound_idle.ico"), accessibleIconName(Icon::Sound));
    imageBat_ =
        makeImage(QStringLiteral("ImageBat") + n, {128, 36, 33, 33},
                  QStringLiteral(":/icons/battery_idle.ico"), accessibleIconName(Icon::Battery));
    auto* bevel = new QFrame(this);
    bevel->setObjectName(QStringLiteral("Bevel") + n);
    bevel->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    bevel->setGeometry(-8, 72, 161, 1);
    imageCom_ =
        makeImage(QStringLiteral("ImageCom") + n, {8, 36, 33, 33},
                  QStringLiteral(":/icons/com_idle.ico"), accessibleIconName(Icon::Communication));
    imageRf_ = makeImage(QStringLiteral("ImageRF") + n, {51, 36, 33, 33},
                         QStringLiteral(":/icons/rf_idle.ico"), accessibleIconName(Icon::Rf));

    nameBar_ = makeInnerPanel(QStringLiteral("PanelName") + n, QStringLiteral("ANEMÔMETRO ") + n,
                              {0, 0, 161, 33});
    nameBar_->setFont(toolkit::arial(15, true));
    paintBackground(nameBar_, colourFromReference(kColourNameBar));
    QPalette namePalette = nameBar_->palette();
    namePalette.setColor(QPalette::WindowText, Qt::white);
    nameBar_->setPalette(namePalette);
    preset1_ =
        makeInnerPanel(QStringLiteral("P1Panel") + n, QStringLiteral("0,0 km/h"), {8, 168, 65, 33});
    preset2_ = makeInnerPanel(QStringLiteral("P2Panel") + n, QStringLiteral("0,0 km/h"),
                              {88, 168, 65, 33});
    setPresetColour(1, kColourSilver);
    setPresetColour(2, kColourSilver);
}

QLabel* StationPanel::makeLabel(const QString& objectName, const QString& text, QRect geometry,
                                int pixelSize, bool bold) {
    auto* label = new toolkit::TextLabel(text, this);
    label->setObjectName(objectName);
    label->setFont(toolkit::arial(pixelSize, bold));
    label->setGeometry(geometry);
    label->adjustSize();
    label->move(geometry.topLeft());
    return label;
}

QLabel* StationPanel::makeImage(const QString& objectName, QRect geometry, const QString& builtIn,
                                const QString& accessibleName) {
    auto* image = new QLabel(this);
    image->setObjectName(objectName);
    image->setGeometry(geometry);
    image->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    image->setPixmap(iconPixmap(QIcon(builtIn)));
    image->setAccessibleName(accessibleName);
    return image;
}

QLabel* StationPanel::makeInnerPanel(const QString& objectName, const QString& text,
                                     QRect geometry) {
    // Names come from the configuration file: always shown as typed, never as markup.
    auto* panel = new toolkit::TextLabel(text, this);
    panel->setObjectName(objectName);
    panel->setGeometry(geometry);
    panel->setAlignment(Qt::AlignCenter);
    panel->setTextFormat(Qt::PlainText);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->raise();
    return panel;
}

void StationPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!toolkit::paintPanelFrame(painter, *this))
        drawFrame(&painter);
}

QLabel* StationPanel::image(Icon icon) const {
    switch (icon) {
    case Icon::Communication:
        return imageCom_;
    case Icon::Battery:
        return imageBat_;
    case Icon::Sound:
        return imageSound_;
    case Icon::Rf:
        return imageRf_;
    }
    return nullptr;
}

void StationPanel::setSpeedText(const QString& text) {
    if (speed_->text() == text)
        return;
    speed_->setText(text);
    speed_->adjustSize();
}

void StationPanel::setDirectionText(const QString& text) {
    if (direction_->text() == text)
        return;
    direction_->setText(text);
    direction_->adjustSize();
}

void StationPanel::setPresetText(int preset, const QString& text) {
    QLabel* label = preset == 1 ? preset1_ : preset2_;
    if (label->text() != text)
        label->setText(text);
}

void StationPanel::setPresetColour(int preset, unsigned colourReference) {
    QLabel* panel = preset == 1 ? preset1_ : preset2_;
    std::optional<unsigned>& shown = presetColours_[preset == 1 ? 0 : 1];
    if (shown == colourReference)
        return;
    paintBackground(panel, colourFromReference(colourReference));
    panel->setProperty("colourReference", colourReference);
    shown = colourReference;
}

void StationPanel::setName(const QString& name) {
    nameBar_->setText(name);
}

QString StationPanel::name() const {
    return nameBar_->text();
}

void StationPanel::loadIcon(Icon icon, const QString& path) {
    const QPixmap pixmap = iconFiles().load(path);
    QLabel* box = image(icon);
    if (box->pixmap().cacheKey() != pixmap.cacheKey())
        box->setPixmap(pixmap);
    QString& shown = iconPaths_[static_cast<std::size_t>(icon)];
    if (shown == path)
        return;
    shown = path;
    box->setProperty("iconPath", path);
    box->setAccessibleDescription(iconStateText(QFileInfo(path).baseName()));
}

} // namespace readings
