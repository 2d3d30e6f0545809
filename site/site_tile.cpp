#include "site/site_tile.h"

#include "readings/reply.h"
#include "readings/station_panel.h"
#include "site/site_book.h"
#include "toolkit/text_label.h"

#include <QDateTime>
#include <QGridLayout>
#include <QLabel>
#include <QLocale>

#include <cmath>

namespace site {

namespace {

const QColor kTileColour(227, 227, 227); // as the station panels
const QColor kNoDataColour(170, 170, 170);
const QColor kNoDataText(90, 90, 90);

// Each label's text changes every second: a TextLabel measures it for the tile's layout without
// shaping it; QLabel paints it.
QLabel* label(const QString& name, QWidget* parent, Qt::Alignment alignment = Qt::AlignLeft) {
    auto* l = new toolkit::TextLabel(parent);
    l->setPaintedByQLabel(true);
    l->setObjectName(name);
    l->setAlignment(alignment | Qt::AlignVCenter);
    l->setAutoFillBackground(true);
    l->setTextFormat(Qt::PlainText);
    return l;
}

unsigned tenths(double value) {
    return unsigned(std::lround(std::max(0.0, value) * 10));
}

QString valueText(const Value& value) {
    return value.overLimit ? QStringLiteral("> LIMITE")
                           : readings::oneDecimalText(tenths(value.number.value_or(0)));
}

void setPixelSize(QLabel* label, int pixels, bool bold) {
    QFont font = label->font();
    font.setPixelSize(std::max(8, pixels));
    font.setBold(bold);
    label->setFont(font);
}

} // namespace

void paintColours(QWidget* widget, const QColor& background, const QColor& text) {
    // Every second for every tile: only a change costs a new palette.
    QPalette palette = widget->palette();
    if (palette.color(QPalette::Window) == background &&
        palette.color(QPalette::WindowText) == text)
        return;
    palette.setColor(QPalette::Window, background);
    palette.setColor(QPalette::Button, background);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::ButtonText, text);
    widget->setPalette(palette);
}

QString ageText(qint64 ageMs) {
    const qint64 s = std::max<qint64>(0, ageMs) / 1000;
    if (s < 1)
        return QStringLiteral("agora");
    if (s < 60)
        return QStringLiteral("há %1 s").arg(s);
    if (s < 3600)
        return QStringLiteral("há %1 min").arg(s / 60);
    if (s < 2 * 86400)
        return QStringLiteral("há %1 h").arg(s / 3600);
    return QStringLiteral("há %1 dias").arg(s / 86400);
}

SiteTile::SiteTile(QWidget* parent) : QFrame(parent) {
    setFrameShape(QFrame::Box);
    setAutoFillBackground(true);
    paintColours(this, kTileColour, Qt::black);
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(2, 2, 2, 2);
    grid->setSpacing(2);
    name_ = label(QStringLiteral("Nome"), this);
    paintColours(name_, readings::colourFromReference(readings::kColourNameBar), Qt::white);
    speed_ = label(QStringLiteral("Velocidade"), this, Qt::AlignHCenter);
    speed_->setAutoFillBackground(false);
    detail_ = label(QStringLiteral("Detalhes"), this, Qt::AlignHCenter);
    detail_->setAutoFillBackground(false);
    preset1_ = label(QStringLiteral("Preset1"), this, Qt::AlignHCenter);
    preset2_ = label(QStringLiteral("Preset2"), this, Qt::AlignHCenter);
    age_ = label(QStringLiteral("Idade"), this, Qt::AlignHCenter);
    age_->setAutoFillBackground(false);
    grid->addWidget(name_, 0, 0, 1, 2);
    grid->addWidget(speed_, 1, 0, 1, 2);
    grid->addWidget(detail_, 2, 0, 1, 2);
    grid->addWidget(preset1_, 3, 0);
    grid->addWidget(preset2_, 3, 1);
    grid->addWidget(age_, 4, 0, 1, 2);
    grid->setRowStretch(1, 1);
    for (QLabel* l : {name_, speed_, detail_, preset1_, preset2_, age_})
        l->setMinimumWidth(0);
    fitFonts(110);
}

void SiteTile::fitFonts(int height) {
    if (height == fittedHeight_)
        return;
    fittedHeight_ = height;
    setPixelSize(name_, height * 14 / 110, true);
    setPixelSize(speed_, height * 28 / 110, true);
    for (QLabel* l : {detail_, preset1_, preset2_, age_})
        setPixelSize(l, height * 12 / 110, false);
}

void SiteTile::showStation(const SiteStation& station, bool current, const QString& whyNot,
                           qint64 nowMs) {
    current_ = current;
    const StationState* state = station.state ? &*station.state : nullptr;
    const QString name = state && !state->name.isEmpty()
                             ? state->name
                             : QStringLiteral("Estação %1").arg(station.station);
    name_->setText(QStringLiteral("%1 · %2").arg(station.station).arg(name));
    setAccessibleName(
        QStringLiteral("%1, estação %2, %3").arg(station.prefix).arg(station.station).arg(name));
    QString age = QStringLiteral("nenhuma leitura");
    if (state && state->timeMs - nowMs >= 1000)
        // Dated ahead: the time as its station PC gave it says more than an age.
        age = QStringLiteral("última leitura de ") +
              QDateTime::fromMSecsSinceEpoch(state->timeMs)
                  .toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"));
    else if (state)
        age = QStringLiteral("última leitura ") + ageText(nowMs - state->timeMs);
    if (!current) {
        paintColours(this, kNoDataColour, kNoDataText);
        speed_->setText(QStringLiteral("SEM DADOS"));
        detail_->setText(whyNot);
        for (QLabel* preset : {preset1_, preset2_})
            paintColours(preset, readings::colourFromReference(readings::kColourSilver),
                         kNoDataText);
        preset1_->setText(QStringLiteral("P1"));
        preset2_->setText(QStringLiteral("P2"));
        age_->setText(age);
        return;
    }
    paintColours(this, kTileColour, Qt::black);
    shownTimeMs_ = state->timeMs;
    speed_->setText(
        state->speed.overLimit
            ? QStringLiteral("> LIMITE")
            : readings::speedWithUnit(tenths(state->speed.number.value_or(0)),
                                      state->unit.isEmpty() ? QString() : u' ' + state->unit));
    QString detail = state->direction.isEmpty() ? QStringLiteral("---") : state->direction;
    if (state->battery)
        detail += QStringLiteral(" · %1 V").arg(
            QLocale(QLocale::Portuguese, QLocale::Brazil).toString(*state->battery, 'f', 2));
    detail_->setText(detail);
    const auto presetColour = [](bool alarm) {
        return readings::colourFromReference(alarm ? readings::kColourAlarm
                                                   : readings::kColourNoAlarm);
    };
    paintColours(preset1_, presetColour(state->preset1Alarm), Qt::black);
    paintColours(preset2_, presetColour(state->preset2Alarm), Qt::black);
    preset1_->setText(QStringLiteral("P1 %1%2").arg(
        valueText(state->preset1), state->preset1Alarm ? QStringLiteral(" ALARME") : QString()));
    preset2_->setText(QStringLiteral("P2 %1%2").arg(
        valueText(state->preset2), state->preset2Alarm ? QStringLiteral(" ALARME") : QString()));
    // Its station PC's word on it: "online" once the PC has said so.
    age_->setText(station.online ? ageText(nowMs - state->timeMs) + QStringLiteral(" · online")
                                 : ageText(nowMs - state->timeMs));
}

} // namespace site
