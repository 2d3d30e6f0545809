#pragma once

#include "alarms/alarm.h"
#include "site/site_payloads.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <map>
#include <optional>
#include <utility>

namespace site {

// One station as the site view knows it: the last state its station PC published and whether
// that PC says it answers.
struct SiteStation {
    QString prefix;
    int station = 0;
    std::optional<StationState> state;
    std::optional<bool> online; // its availability; none before the first
    QString name;               // as its station PC names it, in its state or its alarm list
    // Spacing of its last states' times, newest last, for its usual interval.
    QList<qint64> spacingsMs;
    // The state came from its station PC since the PC last said online and since the view's
    // connection: not one the broker kept from before.
    bool heardSinceOnline = false;
    // The state came dated more than kMostAheadMs after the view's clock.
    bool clockAhead = false;
};

// How a message came: when the view read it, by its own clock (0: not known), and whether the
// broker kept it from before the view's subscription.
struct Arrival {
    qint64 atMs = 0;
    bool retained = false;
};

// Why a station's last state is not shown as current, in the order the tile tells it.
enum class NotCurrent {
    No,            // it is current
    BrokerAway,    // whatever the station PCs said before the connection was lost
    PcStopped,     // its station PC said offline, or the broker did for it
    StationSilent, // its station PC says it does not answer
    NoState,
    ClockAhead, // dated ahead of the view's clock: its station PC's clock is wrong
    NotHeard,   // the state is from before its PC's latest online or the view's connection
    Old,        // older than staleAfterMs
};

// One alarm of the site's list: which station PC listed it, under which station name.
struct SiteAlarm {
    QString prefix;
    QString stationName; // as its station PC names it; "-" for the port
    alarms::Entry entry;
};

// Everything the broker told of the station PCs followed (one per prefix): their stations'
// states and availability, their status, their alarm lists. The book never reads the clock;
// whoever asks whether a station is current gives the time.
class SiteBook : public QObject {
    Q_OBJECT

public:
    // A station is current while its last state is at most this many of its usual spacings
    // old, and never less than kLeastStaleMs.
    static constexpr int kStaleSpacings = 3;
    static constexpr qint64 kLeastStaleMs = 30'000;
    static constexpr int kSpacingsKept = 8;
    // A state dated further ahead of the view's clock than this is not current, and counted.
    static constexpr qint64 kMostAheadMs = 60'000;

    explicit SiteBook(QStringList prefixes, QObject* parent = nullptr);

    const QStringList& prefixes() const { return prefixes_; }

    // One message from the broker. One that does not read as its topic says is counted and
    // left aside; an empty one (a retained topic cleared) forgets what the topic told.
    void message(const QString& topic, const QByteArray& payload, Arrival arrival = {});
    void setBrokerConnected(bool connected, qint64 nowMs);

    bool brokerConnected() const { return brokerConnected_; }
    // When the connection was lost, or when the view started while never connected.
    qint64 brokerAwaySinceMs() const { return brokerAwaySinceMs_; }

    // By prefix in the order followed, then by station number.
    QList<const SiteStation*> stations() const;
    const SiteStation* find(const QString& prefix, int station) const;
    // What the station PC says of itself: none before its first status.
    std::optional<bool> pcOnline(const QString& prefix) const;
    // Whether the station's last state may be shown as current at nowMs, and why not.
    NotCurrent whyNotCurrent(const SiteStation& station, qint64 nowMs) const;
    bool current(const SiteStation& station, qint64 nowMs) const {
        return whyNotCurrent(station, nowMs) == NotCurrent::No;
    }
    // 3 times its median spacing, at least 30 s.
    static qint64 staleAfterMs(const SiteStation& station);

    // One station PC's list of one station (0: its port) as it came last; none when there is none.
    const StationAlarms* stationAlarms(const QString& prefix, int station) const;
    // Every station PC's alarms together, newest first.
    QList<SiteAlarm> alarms() const;
    // The horn for those alarms, unless silenced since the last new ATIVO one.
    alarms::Horn horn() const;
    // Until the next alarm that becomes ATIVO. False when the horn was not sounding.
    bool silence();

    qint64 ignoredMessages() const { return ignored_; }
    // Why the last message was left aside, in Portuguese.
    const QString& lastIgnored() const { return lastIgnored_; }
    // States that came dated more than kMostAheadMs ahead of the view's clock, and the topic
    // of the last.
    qint64 statesAhead() const { return statesAhead_; }
    const QString& lastAhead() const { return lastAhead_; }

signals:
    // A station appeared or went: the tiles are laid out again.
    void stationsChanged();
    void stationChanged(const QString& prefix, int station);
    // A station PC's status, or the broker connection: every tile of it may change.
    void pcChanged(const QString& prefix);
    void brokerChanged();
    void alarmsChanged();
    // One station PC's list of one station (0: its port) came: stationAlarms() gives it.
    void stationAlarmsChanged(const QString& prefix, int station);
    // An alarm listed ATIVO that was not listed before, or had been acknowledged or shelved:
    // the operator has something new to look at. One back from NORMALIZADO is not: it still
    // waits for the operator, and the horn says so.
    void newActive();

private:
    using Key = std::pair<int, int>; // the prefix's place in the list, the station

    SiteStation& stationAt(const Key& key, const QString& prefix);
    void statusMessage(const Key& key, const QString& prefix, const QByteArray& payload);
    void stateMessage(const Key& key, const QString& prefix, const QByteArray& payload,
                      Arrival arrival);
    void alarmsMessage(const Key& key, const QString& prefix, const QByteArray& payload);
    void ignore(const QString& topic, const QString& why);
    // The prefix's place in the list; -1 when not followed.
    int placeOf(const QString& prefix) const { return place_.value(prefix, -1); }

    QStringList prefixes_;
    QHash<QString, int> place_;
    std::map<Key, SiteStation> stations_;
    std::map<int, bool> pcOnline_;
    std::map<Key, StationAlarms> alarms_;
    bool brokerConnected_ = false;
    qint64 brokerAwaySinceMs_ = 0;
    alarms::HornSilence silence_;
    qint64 ignored_ = 0;
    QString lastIgnored_;
    qint64 statesAhead_ = 0;
    QString lastAhead_;
};

} // namespace site
