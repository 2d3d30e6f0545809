#pragma once

#include "site/site_payloads.h"
#include "toolkit/text_label.h"

#include <QFrame>

#include <optional>
#include <utility>

class QLabel;

namespace site {

struct SiteStation;

// One station on the site view: its name, speed with unit, direction, battery, both presets
// in the colours of the station's own panel, and the age of the reading. A station that is
// not current shows "SEM DADOS" in grey, with the age of what it last had and why: never an
// old reading that looks current. Every text is a label, read by screen readers as shown.
// The tile places its labels itself, each of a fixed size: a new text repaints its label and
// lays nothing out again.
class SiteTile : public QFrame {
    Q_OBJECT

public:
    explicit SiteTile(QWidget* parent = nullptr);

    // What the tile shows of `station` at nowMs; `current` as the site book says.
    void showStation(const SiteStation& station, bool current, const QString& whyNot, qint64 nowMs);
    // Fonts in proportion to the tile's height.
    void fitFonts(int height);

    bool shownCurrent() const { return current_; }
    // The time of the state last shown as current; 0 before any.
    qint64 shownTimeMs() const { return shownTimeMs_; }
    // Counts the states shown as current, each unlike the one shown so before it (two of a
    // station may carry the same second).
    quint64 statesShown() const { return statesShown_; }
    QLabel* nameLabel() const { return name_; }
    QLabel* speedLabel() const { return speed_; }
    QLabel* detailLabel() const { return detail_; }
    QLabel* preset1Label() const { return preset1_; }
    QLabel* preset2Label() const { return preset2_; }
    QLabel* ageLabel() const { return age_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void place();
    void placePresets();
    // The age line, what it says noted.
    QString ageLine(const SiteStation& station, bool current, qint64 nowMs);
    qint64 ageWords(const SiteStation& station, bool current, qint64 nowMs) const;

    QLabel* name_;
    QLabel* speed_;
    QLabel* detail_;
    toolkit::TextLabel* preset1_;
    toolkit::TextLabel* preset2_;
    QLabel* age_;
    bool current_ = false;
    qint64 shownTimeMs_ = 0;
    quint64 statesShown_ = 0;
    std::optional<StationState> lastCurrent_;
    int fittedHeight_ = 0;
    QRect presetRow_;
    std::pair<int, int> presetColumns_;
    // What the labels were last set from: the same again only brings the age up to date.
    bool shownOnce_ = false;
    std::optional<StationState> shownState_;
    std::optional<bool> shownOnline_;
    QString shownWhyNot_;
    QString shownName_;
    qint64 shownAgeWords_ = -3;
    // The colours painted last: palettes are compared and set only when these change.
    struct Look {
        bool current = false;
        bool alarm1 = false;
        bool alarm2 = false;
        bool operator==(const Look&) const = default;
    };
    std::optional<Look> painted_;
};

// The colours of a widget's background and text, through its palette (style sheets would
// polish it again at every change); nothing is done when they are already these.
void paintColours(QWidget* widget, const QColor& background, const QColor& text);

// "há 5 s", "há 3 min", "há 2 h", "há 4 dias"; "agora" within a second.
QString ageText(qint64 ageMs);

} // namespace site
