#include "site/site_tile.h"

#include "readings/reply.h"
#include "readings/station_panel.h"
#include "site/site_book.h"
#include "toolkit/text_label.h"

#include <QDateTime>
#include <QFontMetricsF>
#include <QLabel>
#include <QLocale>

#include <algorithm>
#include <array>
#include <cmath>
#include <type_traits>

namespace site {

namespace {

const QColor kTileColour(227, 227, 227); // as the station panels
const QColor kNoDataColour(170, 170, 170);
const QColor kNoDataText(90, 90, 90);

constexpr int kMargin = 2; // inside the frame, and between the labels

// QLabels; the presets' are TextLabels (painted by QLabel too), which measure their texts for the
// presets' columns below as a grid layout would.
template <typename Label = QLabel>
Label* label(const QString& name, QWidget* parent, Qt::Alignment alignment = Qt::AlignLeft) {
    auto* l = new Label(parent);
    if constexpr (std::is_same_v<Label, toolkit::TextLabel>)
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

// The height QLabel gives one line of the label's font.
int lineHeight(const QLabel* label) {
    const QFontMetricsF metrics(label->font());
    return int(std::ceil(metrics.ascent() + metrics.descent()));
}

// What a grid layout gives two columns side by side (no stretch, no least width) from `room`
// (their spacing left out) and the widths their texts ask for: half each while that gives each
// what it asks, else what it asks to the one that asks more; short of room, both give up the
// same.
std::pair<int, int> shareColumns(int room, int first, int second) {
    if (room >= first + second) {
        const int half = (room + 1) / 2; // an odd pixel to the first
        if (half < first)
            return {first, room - first};
        if (room - half < second)
            return {room - second, second};
        return {half, room - half};
    }
    const int over = first + second - room;
    const int cut = (over + 1) / 2;
    if (first < cut)
        return {0, room};
    if (second < over - cut)
        return {room, 0};
    return {first - cut, second - (over - cut)};
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
    name_ = label(QStringLiteral("Nome"), this);
    paintColours(name_, readings::colourFromReference(readings::kColourNameBar), Qt::white);
    speed_ = label(QStringLiteral("Velocidade"), this, Qt::AlignHCenter);
    detail_ = label(QStringLiteral("Detalhes"), this, Qt::AlignHCenter);
    preset1_ = label<toolkit::TextLabel>(QStringLiteral("Preset1"), this, Qt::AlignHCenter);
    preset2_ = label<toolkit::TextLabel>(QStringLiteral("Preset2"), this, Qt::AlignHCenter);
    age_ = label(QStringLiteral("Idade"), this, Qt::AlignHCenter);
    fitFonts(110);
}

void SiteTile::fitFonts(int height) {
    if (height == fittedHeight_)
        return;
    fittedHeight_ = height;
    setPixelSize(name_, height * 14 / 110, true);
    setPixelSize(speed_, height * 28 / 110, true);
    for (QLabel* l : std::initializer_list<QLabel*>{detail_, preset1_, preset2_, age_})
        setPixelSize(l, height * 12 / 110, false);
    place();
}

void SiteTile::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    place();
}

// Rows of one line each, the name on top, the presets side by side, the speed taking the height
// left, where a grid layout of the labels would put them; short of room (the smallest tiles),
// the speed's row gives it up, as in such a layout.
void SiteTile::place() {
    std::array<int, 5> rows{lineHeight(name_), lineHeight(speed_), lineHeight(detail_),
                            lineHeight(preset1_), lineHeight(age_)};
    int needed = kMargin * int(rows.size() - 1);
    for (int row : rows)
        needed += row;
    const QRect inside = contentsRect().adjusted(kMargin, kMargin, -kMargin, -kMargin);
    rows[1] = std::max(0, rows[1] + inside.height() - needed);
    const auto set = [](QLabel* l, int x, int y, int width, int height) {
        l->setFixedSize(std::max(0, width), std::max(0, height));
        l->move(x, y);
    };
    int y = inside.top();
    set(name_, inside.left(), y, inside.width(), rows[0]);
    y += rows[0] + kMargin;
    set(speed_, inside.left(), y, inside.width(), rows[1]);
    y += rows[1] + kMargin;
    set(detail_, inside.left(), y, inside.width(), rows[2]);
    y += rows[2] + kMargin;
    presetRow_ = QRect(inside.left(), y, inside.width(), rows[3]);
    presetColumns_ = {};
    placePresets();
    y += rows[3] + kMargin;
    set(age_, inside.left(), y, inside.width(), rows[4]);
}

// The presets' columns as a grid layout shares them out, by the widths their texts ask for.
void SiteTile::placePresets() {
    const std::pair<int, int> asked{preset1_->textWidth(), preset2_->textWidth()};
    const std::pair<int, int> columns =
        shareColumns(presetRow_.width() - kMargin, asked.first, asked.second);
    if (columns == presetColumns_)
        return;
    presetColumns_ = columns;
    preset1_->setFixedSize(std::max(0, columns.first), presetRow_.height());
    preset1_->move(presetRow_.topLeft());
    preset2_->setFixedSize(std::max(0, columns.second), presetRow_.height());
    preset2_->move(presetRow_.left() + columns.first + kMargin, presetRow_.top());
}

// What the age line says at nowMs, as a number: -1 without a state, -2 for a state dated ahead,
// else its age in the unit ageText words it in.
qint64 SiteTile::ageWords(const SiteStation& station, bool current, qint64 nowMs) const {
    if (!station.state)
        return -1;
    if (!current && station.state->timeMs - nowMs >= 1000)
        return -2;
    const qint64 s = std::max<qint64>(0, nowMs - station.state->timeMs) / 1000;
    if (s < 60)
        return s;
    if (s < 3600)
        return 100'000 + s / 60;
    if (s < 2 * 86400)
        return 200'000 + s / 3600;
    return 300'000 + s / 86400;
}

QString SiteTile::ageLine(const SiteStation& station, bool current, qint64 nowMs) {
    shownAgeWords_ = ageWords(station, current, nowMs);
    const StationState* state = station.state ? &*station.state : nullptr;
    if (current) {
        // Its station PC's word on it: "online" once the PC has said so.
        return station.online ? ageText(nowMs - state->timeMs) + QStringLiteral(" · online")
                              : ageText(nowMs - state->timeMs);
    }
    if (state && state->timeMs - nowMs >= 1000)
        // Dated ahead: the time as its station PC gave it says more than an age.
        return QStringLiteral("última leitura de ") +
               QDateTime::fromMSecsSinceEpoch(state->timeMs)
                   .toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"));
    if (state)
        return QStringLiteral("última leitura ") + ageText(nowMs - state->timeMs);
    return QStringLiteral("nenhuma leitura");
}

void SiteTile::showStation(const SiteStation& station, bool current, const QString& whyNot,
                           qint64 nowMs) {
    // Every second for every tile: what has not changed since is not set again.
    if (shownOnce_ && current == current_ && whyNot == shownWhyNot_ &&
        station.online == shownOnline_ && station.state == shownState_) {
        // Only the age moves on, by whole seconds, minutes, hours.
        if (ageWords(station, current, nowMs) != shownAgeWords_)
            age_->setText(ageLine(station, current, nowMs));
        return;
    }
    // The state the labels show now, when they show one as current: what has not changed in
    // the new one keeps its text.
    std::optional<StationState> before;
    if (shownOnce_ && current_ && current)
        before = std::exchange(shownState_, station.state);
    else
        shownState_ = station.state;
    const StationState* shown = before ? &*before : nullptr;
    const bool first = !shownOnce_;
    shownOnce_ = true;
    shownWhyNot_ = whyNot;
    shownOnline_ = station.online;
    current_ = current;
    const StationState* state = station.state ? &*station.state : nullptr;
    const QString name = state && !state->name.isEmpty()
                             ? state->name
                             : QStringLiteral("Estação %1").arg(station.station);
    if (first || name != shownName_) {
        shownName_ = name;
        name_->setText(QStringLiteral("%1 · %2").arg(station.station).arg(name));
        const QString readable =
            QStringLiteral("%1, estação %2, %3").arg(station.prefix).arg(station.station).arg(name);
        if (accessibleName() != readable)
            setAccessibleName(readable);
    }
    const Look look{current, current && state->preset1Alarm, current && state->preset2Alarm};
    const bool repaint = painted_ != look;
    painted_ = look;
    if (!current) {
        if (repaint) {
            paintColours(this, kNoDataColour, kNoDataText);
            for (QLabel* preset : std::initializer_list<QLabel*>{preset1_, preset2_})
                paintColours(preset, readings::colourFromReference(readings::kColourSilver),
                             kNoDataText);
        }
        speed_->setText(QStringLiteral("SEM DADOS"));
        detail_->setText(whyNot);
        preset1_->setText(QStringLiteral("P1"));
        preset2_->setText(QStringLiteral("P2"));
        age_->setText(ageLine(station, current, nowMs));
        placePresets();
        return;
    }
    if (repaint)
        paintColours(this, kTileColour, Qt::black);
    shownTimeMs_ = state->timeMs;
    if (lastCurrent_ != *state) {
        lastCurrent_ = *state;
        ++statesShown_;
    }
    if (!shown || shown->speed != state->speed || shown->unit != state->unit)
        speed_->setText(
            state->speed.overLimit
                ? QStringLiteral("> LIMITE")
                : readings::speedWithUnit(tenths(state->speed.number.value_or(0)),
                                          state->unit.isEmpty() ? QString() : u' ' + state->unit));
    if (!shown || shown->direction != state->direction || shown->battery != state->battery) {
        QString detail = state->direction.isEmpty() ? QStringLiteral("---") : state->direction;
        if (state->battery) {
            static const QLocale brazil(QLocale::Portuguese, QLocale::Brazil);
            detail += QStringLiteral(" · %1 V").arg(brazil.toString(*state->battery, 'f', 2));
        }
        detail_->setText(detail);
    }
    const auto presetColour = [](bool alarm) {
        return readings::colourFromReference(alarm ? readings::kColourAlarm
                                                   : readings::kColourNoAlarm);
    };
    if (repaint) {
        paintColours(preset1_, presetColour(state->preset1Alarm), Qt::black);
        paintColours(preset2_, presetColour(state->preset2Alarm), Qt::black);
    }
    const bool preset1 =
        !shown || shown->preset1 != state->preset1 || shown->preset1Alarm != state->preset1Alarm;
    if (preset1)
        preset1_->setText(QStringLiteral("P1 %1%2").arg(
            valueText(state->preset1),
            state->preset1Alarm ? QStringLiteral(" ALARME") : QString()));
    const bool preset2 =
        !shown || shown->preset2 != state->preset2 || shown->preset2Alarm != state->preset2Alarm;
    if (preset2)
        preset2_->setText(QStringLiteral("P2 %1%2").arg(
            valueText(state->preset2),
            state->preset2Alarm ? QStringLiteral(" ALARME") : QString()));
    age_->setText(ageLine(station, current, nowMs));
    if (preset1 || preset2)
        placePresets();
}

} // namespace site
