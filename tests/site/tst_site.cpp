// The site view's reading of what station PCs publish, when it calls a reading current, how its
// tiles fill a screen, and what its alarm list does with the lists that come.

#include "alarms/alarm_book.h"
#include "publish/payloads.h"
#include "readings/reply.h"
#include "site/site_alarms.h"
#include "site/site_book.h"
#include "site/site_payloads.h"
#include "site/site_tile.h"
#include "site/site_window.h"
#include "site/tile_grid.h"

#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QTimeZone>

using alarms::Kind;
using alarms::State;
using site::SiteBook;

namespace {

const QDateTime kT0(QDate(2026, 12, 7), QTime(14, 30, 5), QTimeZone(-3 * 3600));
const qint64 kT0Ms = kT0.toMSecsSinceEpoch();

QByteArray stateOf(int station, modbus::StationValues values, const QDateTime& time = kT0) {
    const readings::Reading reading = readings::readingOf(values, station);
    return publish::stateJson(
        {station, QStringLiteral("CAIS %1").arg(station), QStringLiteral("17")}, values, reading,
        time);
}

modbus::StationValues windy() {
    using namespace modbus::status;
    return {.speed = 123,
            .battery = 388,
            .direction = 1,
            .preset1 = 50,
            .preset2 = 600,
            .status = 1 | kDirectionValid | kPreset1Alarm};
}

alarms::Entry entry(int station, Kind kind, State state, qint64 sinceMs) {
    alarms::Entry entry;
    entry.station = station;
    entry.kind = kind;
    entry.state = state;
    entry.sinceMs = sinceMs;
    if (alarms::tracksPeak(kind)) {
        entry.peak = 52.3;
        entry.unit = QStringLiteral("km/h");
    }
    return entry;
}

QString tileText(site::SiteWindow& window, const QString& prefix, int station) {
    site::SiteTile* tile = window.tile(prefix, station);
    if (!tile)
        return QStringLiteral("(sem quadro)");
    return QStringList{tile->speedLabel()->text(), tile->detailLabel()->text(),
                       tile->preset1Label()->text(), tile->preset2Label()->text()}
        .join(u'|');
}

} // namespace

class TestSite : public QObject {
    Q_OBJECT

private slots:
    // Every field of a state as a station PC writes it, over-limit values and an invalid
    // direction included; messages that are not what their topic says are counted and left
    // aside, and nothing in them stops the view.
    void statesAsPublished_data() {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QString>("shown"); // empty: ignored
        using namespace modbus::status;
        QTest::newRow("vento e alarme do preset 1")
            << stateOf(3, windy()) << "12,3 km/h|NNE · 3,88 V|P1 5,0 ALARME|P2 60,0";
        modbus::StationValues over = windy();
        over.speed = 10000;
        over.preset2 = 10001;
        over.status = 0; // m/s, direction not valid
        QTest::newRow("acima do limite, sem direção")
            << stateOf(3, over) << "> LIMITE|--- · 3,88 V|P1 5,0|P2 > LIMITE";
        QTest::newRow("não é JSON") << QByteArray("12.3") << "";
        QTest::newRow("lista") << QByteArray("[1,2]") << "";
        QTest::newRow("outra estação") << stateOf(4, windy()) << "";
        QTest::newRow("estação 9")
            << stateOf(3, windy()).replace("\"station\":3", "\"station\":9") << "";
        QTest::newRow("sem hora") << stateOf(3, windy()).replace("\"time\"", "\"hora\"") << "";
        QTest::newRow("hora inválida")
            << stateOf(3, windy()).replace("2026-12-07T14:30:05", "ontem à tarde") << "";
        QTest::newRow("velocidade em texto")
            << stateOf(3, windy()).replace("\"speed\":12.3", "\"speed\":\"12.3\"") << "";
        QTest::newRow("null sem acima do limite")
            << stateOf(3, windy()).replace("\"speed\":12.3", "\"speed\":null") << "";
        QTest::newRow("bateria em texto")
            << stateOf(3, windy()).replace("\"battery\":3.88", "\"battery\":\"x\"") << "";
    }
    void statesAsPublished() {
        QFETCH(QByteArray, payload);
        QFETCH(QString, shown);
        SiteBook book({QStringLiteral("obra")});
        book.setBrokerConnected(true, kT0Ms);
        site::SiteWindow window(book, QStringLiteral("teste:1883"), [] { return kT0Ms + 2000; });
        book.message(QStringLiteral("obra/3/state"), payload);
        QCoreApplication::processEvents(); // the tiles are laid out from the message loop
        if (shown.isEmpty()) {
            QCOMPARE(book.ignoredMessages(), 1);
            QVERIFY(book.stations().isEmpty());
            QVERIFY(book.lastIgnored().startsWith(u"obra/3/state: "));
            return;
        }
        QCOMPARE(book.ignoredMessages(), 0);
        QCOMPARE(tileText(window, QStringLiteral("obra"), 3), shown);
        QCOMPARE(window.tile(QStringLiteral("obra"), 3)->nameLabel()->text(),
                 QStringLiteral("3 · CAIS 3"));
        QCOMPARE(window.tile(QStringLiteral("obra"), 3)->ageLabel()->text(),
                 QStringLiteral("há 2 s"));
    }

    // A station is current only while the broker is there, its PC and itself say online and
    // its last reading is younger than 3 of its usual spacings, and never less than 30 s: a
    // retained old state, a silent station and a stopped PC all show "SEM DADOS".
    void currentOnlyWhileFresh() {
        SiteBook book({QStringLiteral("obra"), QStringLiteral("obra/norte")});
        site::SiteWindow window(book, QStringLiteral("teste:1883"), [] { return kT0Ms; });
        const auto current = [&book](const QString& prefix, qint64 nowMs) {
            const site::SiteStation* station = book.find(prefix, 1);
            return station && book.current(*station, nowMs);
        };
        const QString obra = QStringLiteral("obra");
        book.message(QStringLiteral("obra/1/state"), stateOf(1, windy(), kT0));
        QVERIFY(!current(obra, kT0Ms)); // the broker is not there yet
        book.setBrokerConnected(true, kT0Ms);
        QVERIFY(current(obra, kT0Ms + 30'000));
        QVERIFY(!current(obra, kT0Ms + 30'001));
        // Every 20 s: stale after 60 s.
        for (int i = 1; i <= 3; ++i)
            book.message(QStringLiteral("obra/1/state"), stateOf(1, windy(), kT0.addSecs(20 * i)));
        QVERIFY(current(obra, kT0Ms + 60'000 + 60'000));
        QVERIFY(!current(obra, kT0Ms + 60'000 + 60'001));
        const qint64 now = kT0Ms + 61'000;
        book.message(QStringLiteral("obra/1/availability"), "offline");
        QVERIFY(!current(obra, now));
        book.message(QStringLiteral("obra/1/availability"), "online");
        QVERIFY(current(obra, now));
        QCoreApplication::processEvents();
        window.refresh();
        QVERIFY(window.tile(obra, 1)->ageLabel()->text().endsWith(u" · online"));
        book.message(QStringLiteral("obra/status"), "offline");
        QVERIFY(!current(obra, now));
        book.message(QStringLiteral("obra/status"), "online");
        book.setBrokerConnected(false, now);
        QVERIFY(!current(obra, now));
        book.setBrokerConnected(true, now);
        book.message(QStringLiteral("obra/1/state"), stateOf(1, windy(), kT0.addSecs(61)));
        QVERIFY(current(obra, now));
        // The longer prefix is another station PC.
        book.message(QStringLiteral("obra/norte/1/state"), stateOf(1, windy(), kT0.addSecs(-600)));
        QVERIFY(book.find(QStringLiteral("obra/norte"), 1));
        QVERIFY(!current(QStringLiteral("obra/norte"), kT0Ms));
        // Cleared retained state: the station is no longer polled there.
        book.message(QStringLiteral("obra/norte/1/state"), {});
        QVERIFY(!book.find(QStringLiteral("obra/norte"), 1));
        QCOMPARE(book.ignoredMessages(), 0);
        book.message(QStringLiteral("obra/1/availability"), "talvez");
        book.message(QStringLiteral("outra/1/state"), stateOf(1, windy()));
        QCOMPARE(book.ignoredMessages(), 2);

        // What the tile says of a stale reading.
        window.refresh();
        QCoreApplication::processEvents();
        book.setBrokerConnected(false, kT0Ms);
        site::SiteTile* tile = window.tile(obra, 1);
        QVERIFY(tile);
        QCOMPARE(tile->speedLabel()->text(), QStringLiteral("SEM DADOS"));
        QCOMPARE(tile->detailLabel()->text(), QStringLiteral("servidor MQTT fora"));
        QVERIFY(!window.brokerLine()->isHidden());
        QVERIFY(window.brokerLine()->text().startsWith(
            QStringLiteral("SEM CONEXÃO COM O SERVIDOR MQTT teste:1883 há")));
        // The client's reason is a sentence of its own.
        window.setBrokerProblem(QStringLiteral("conexão recusada, nenhum broker atende"));
        QVERIFY2(window.brokerLine()->text().endsWith(
                     QStringLiteral("reconectando. Conexão recusada, nenhum broker atende.")),
                 qPrintable(window.brokerLine()->text()));
    }

    // A state held from before its station PC's latest online (a restart, the view's own
    // connection) or dated ahead of the view's clock is not current, and the tile says why;
    // while the broker is away, the broker is the reason everywhere, also over a last will the
    // broker published as it shut down. Steps: "online", "offline" (the PC's status),
    // "estado <s>" (a state read s seconds from the view's now), "retido" (kept by the broker
    // from before the view subscribed), "servidor fora", "servidor volta".
    void notCurrentAndWhy_data() {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("why"); // empty: current
        QTest::addColumn<QString>("heading");
        QTest::addColumn<int>("ahead");
        const QString waiting = QStringLiteral("aguardando leitura nova");
        const QString obra = QStringLiteral("obra1");
        const QStringList restarted{"online", "estado -20", "offline", "online"};
        QTest::newRow("computador reiniciado") << restarted << waiting << obra << 0;
        QTest::newRow("e a leitura nova") << restarted + QStringList{"estado 0"} << "" << obra << 0;
        QTest::newRow("reiniciado sem offline visto")
            << QStringList{"online", "estado -20", "online"} << waiting << obra << 0;
        QTest::newRow("retidos na conexão da visão")
            << QStringList{"online retido", "estado -5 retido"} << waiting << obra << 0;
        QTest::newRow("relógio um dia adiantado")
            << QStringList{"online", "estado 86400"} << "relógio adiantado" << obra << 1;
        QTest::newRow("relógio 61 s adiantado")
            << QStringList{"online", "estado 61"} << "relógio adiantado" << obra << 1;
        QTest::newRow("relógio 60 s adiantado")
            << QStringList{"online", "estado 60"} << "" << obra << 0;
        const QStringList away{"online", "estado -1", "offline", "servidor fora"};
        QTest::newRow("servidor parou publicando o testamento")
            << away << "servidor MQTT fora"
            << "obra1 — servidor MQTT fora" << 0;
        QTest::newRow("servidor de volta")
            << away + QStringList{"servidor volta"} << waiting << obra << 0;
        QTest::newRow("servidor de volta com o computador no ar")
            << away + QStringList{"servidor volta", "online retido", "estado -1 retido", "estado 0"}
            << "" << obra << 0;
    }
    void notCurrentAndWhy() {
        QFETCH(QStringList, steps);
        QFETCH(QString, why);
        QFETCH(QString, heading);
        QFETCH(int, ahead);
        SiteBook book({QStringLiteral("obra1")});
        book.setBrokerConnected(true, kT0Ms);
        site::SiteWindow window(book, QStringLiteral("teste:1883"), [] { return kT0Ms; });
        for (const QString& step : steps) {
            const QStringList words = step.split(u' ');
            const site::Arrival arrival{kT0Ms, words.last() == u"retido"};
            if (words[0] == u"servidor")
                book.setBrokerConnected(words[1] == u"volta", kT0Ms);
            else if (words[0] == u"estado")
                book.message(QStringLiteral("obra1/1/state"),
                             stateOf(1, windy(), kT0.addSecs(words[1].toInt())), arrival);
            else
                book.message(QStringLiteral("obra1/status"), words[0].toUtf8(), arrival);
        }
        QCoreApplication::processEvents(); // laid out from the message loop
        window.refresh();
        site::SiteTile* tile = window.tile(QStringLiteral("obra1"), 1);
        QVERIFY(tile);
        QCOMPARE(tile->speedLabel()->text() == u"SEM DADOS", !why.isEmpty());
        if (!why.isEmpty())
            QCOMPARE(tile->detailLabel()->text(), why);
        QCOMPARE(window.heading(QStringLiteral("obra1"))->text(), heading);
        QCOMPARE(book.statesAhead(), ahead);
        const QString aheadLine = window.aheadLine()->text();
        QCOMPARE(aheadLine.isEmpty(), ahead == 0);
        if (ahead > 0)
            QVERIFY2(aheadLine.contains(QStringLiteral(": %1 ").arg(ahead)) &&
                         aheadLine.contains(u"obra1/1/state"),
                     qPrintable(aheadLine));
    }

    // What brings the alarm list up and ends a SILENCIAR: an alarm not listed before, or ATIVO
    // again after it was acknowledged or shelved; not one that was waiting for the operator
    // already (NORMALIZADO, or ATIVO with a normalization the view did not see).
    void whatCallsTheOperator_data() {
        QTest::addColumn<int>("before"); // its state listed before; -1: not listed
        QTest::addColumn<bool>("calls");
        QTest::addColumn<bool>("sounds"); // after a SILENCIAR
        QTest::newRow("novo") << -1 << true << true;
        // Latched and back: the horn says it, as on the station PC; no window comes up.
        QTest::newRow("NORMALIZADO, ATIVO de novo") << int(State::Normalized) << false << true;
        QTest::newRow("ATIVO, repetido") << int(State::Active) << false << false;
        QTest::newRow("RECONHECIDO, ATIVO de novo") << int(State::Acknowledged) << true << true;
        QTest::newRow("SUPRIMIDO, ATIVO de novo") << int(State::Shelved) << true << true;
    }
    void whatCallsTheOperator() {
        QFETCH(int, before);
        QFETCH(bool, calls);
        QFETCH(bool, sounds);
        SiteBook book({QStringLiteral("a")});
        // Another station's alarm sounds the horn, to be silenced.
        book.message(
            QStringLiteral("a/5/alarms"),
            publish::alarmsPayload(5, QStringLiteral("CAIS 5"),
                                   {entry(5, Kind::NoAnswer, State::Active, kT0Ms - 60'000)}));
        if (before >= 0)
            book.message(
                QStringLiteral("a/2/alarms"),
                publish::alarmsPayload(2, QStringLiteral("CAIS 2"),
                                       {entry(2, Kind::Preset2, State(before), kT0Ms - 30'000)}));
        QVERIFY(book.silence());
        QSignalSpy called(&book, &SiteBook::newActive);
        alarms::Entry again = entry(2, Kind::Preset2, State::Active, kT0Ms - 30'000);
        again.repetitions = 1;
        book.message(QStringLiteral("a/2/alarms"),
                     publish::alarmsPayload(2, QStringLiteral("CAIS 2"), {again}));
        QCOMPARE(called.size(), calls ? 1 : 0);
        QCOMPARE(book.horn() != alarms::Horn::None, sounds);
    }

    // The alarm lists of every station PC as they publish them: a new ATIVO alarm is told once
    // (not again when the same list comes back after a reconnection), the horn follows the
    // highest priority, and SILENCIAR holds until the next new ATIVO alarm.
    void alarmListsAsPublished() {
        SiteBook book({QStringLiteral("a"), QStringLiteral("b")});
        QSignalSpy came(&book, &SiteBook::newActive);
        const alarms::Entry preset = entry(2, Kind::Preset1, State::Active, kT0Ms);
        alarms::Entry battery = entry(2, Kind::BatteryLow, State::Acknowledged, kT0Ms - 60'000);
        battery.acknowledgedBy = QStringLiteral("ana (remoto)");
        battery.acknowledgedAtMs = kT0Ms - 30'000;
        const QByteArray list =
            publish::alarmsPayload(2, QStringLiteral("CAIS 2"), {preset, battery});
        book.message(QStringLiteral("a/2/alarms"), list);
        QCOMPARE(came.size(), 1);
        QCOMPARE(book.horn(), alarms::Horn::Intermittent);
        book.message(QStringLiteral("a/2/alarms"), list);
        QCOMPARE(came.size(), 1);
        const QList<site::SiteAlarm> listed = book.alarms();
        QCOMPARE(listed.size(), 2);
        QCOMPARE(listed.at(0).prefix, QStringLiteral("a"));
        QCOMPARE(listed.at(0).stationName, QStringLiteral("CAIS 2"));
        QCOMPARE(listed.at(0).entry.peak, std::optional<double>(52.3));
        QCOMPARE(listed.at(0).entry.unit, QStringLiteral("km/h"));
        QCOMPARE(listed.at(1).entry.acknowledgedBy, QStringLiteral("ana (remoto)"));
        QCOMPARE(listed.at(1).entry.acknowledgedAtMs, kT0Ms - 30'000);
        QCOMPARE(listed.at(1).entry.state, State::Acknowledged);

        QVERIFY(book.silence());
        QCOMPARE(book.horn(), alarms::Horn::None);
        QVERIFY(!book.silence());
        // The port of the other PC is lost: alta, continuous, and the silence ends.
        const alarms::Entry port =
            entry(alarms::kPortStation, Kind::PortClosed, State::Active, kT0Ms + 1000);
        book.message(QStringLiteral("b/alarms"),
                     publish::alarmsPayload(0, QStringLiteral("ttyUSB0"), {port}));
        QCOMPARE(came.size(), 2);
        QCOMPARE(book.horn(), alarms::Horn::Continuous);
        QCOMPARE(book.alarms().at(0).stationName, QStringLiteral("-"));
        // Shelved until a time: read with its end.
        alarms::Entry shelved = preset;
        shelved.state = State::Shelved;
        shelved.shelvedUntilMs = kT0Ms + 3'600'000;
        book.message(QStringLiteral("a/2/alarms"),
                     publish::alarmsPayload(2, QStringLiteral("CAIS 2"), {shelved}));
        QCOMPARE(book.alarms().at(1).entry.shelvedUntilMs, kT0Ms + 3'600'000);
        QCOMPARE(alarms::stateText(book.alarms().at(1).entry),
                 QStringLiteral("SUPRIMIDO ATÉ %1").arg(alarms::clockText(kT0Ms + 3'600'000)));

        // Lists that do not read leave the one shown as it was.
        for (const QByteArray& bad :
             {QByteArray("{}"),
              QByteArray(
                  R"({"station":2,"name":"x","alarms":[{"alarm":"PRESET 3","state":"ATIVO"}]})"),
              QByteArray(
                  R"({"station":2,"name":"x","alarms":[{"alarm":"PRESET 1","state":"LIGADO"}]})"),
              QByteArray(
                  R"({"station":0,"name":"x","alarms":[{"alarm":"PRESET 1","state":"ATIVO"}]})")})
            book.message(QStringLiteral("a/2/alarms"), bad);
        QCOMPARE(book.ignoredMessages(), 4);
        QCOMPARE(book.alarms().size(), 2);
        // A cleared list is gone.
        book.message(QStringLiteral("b/alarms"), {});
        QCOMPARE(book.alarms().size(), 1);
    }

    // RECONHECER asks for the alarm the operator picked, also when its list came again in the
    // meantime with a higher peak; an alarm already acknowledged is not asked for.
    void acknowledgeWhatWasPicked() {
        SiteBook book({QStringLiteral("a")});
        site::SiteAlarmWindow window(book);
        QSignalSpy asked(&window, &site::SiteAlarmWindow::acknowledgeRequested);
        alarms::Entry preset = entry(2, Kind::Preset1, State::Active, kT0Ms);
        alarms::Entry battery = entry(2, Kind::BatteryLow, State::Acknowledged, kT0Ms + 1000);
        book.message(QStringLiteral("a/2/alarms"),
                     publish::alarmsPayload(2, QStringLiteral("CAIS 2"), {battery, preset}));
        window.table()->selectRow(0);
        QVERIFY(!window.acknowledgeButton()->isEnabled());
        window.table()->selectRow(1);
        preset.peak = 60.1;
        book.message(QStringLiteral("a/2/alarms"),
                     publish::alarmsPayload(2, QStringLiteral("CAIS 2"), {battery, preset}));
        QVERIFY(window.acknowledgeButton()->isEnabled());
        window.acknowledgeButton()->click();
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked.at(0).at(0).toString(), QStringLiteral("a"));
        QCOMPARE(asked.at(0).at(1).toInt(), 2);
        QCOMPARE(asked.at(0).at(2).value<alarms::Kind>(), Kind::Preset1);
        QCOMPARE(window.table()->model()->index(1, 6).data().toString(),
                 QStringLiteral("60,1 km/h"));
    }

    // From 1 to 64 stations the tiles fit a 1920×1080 screen without scrolling, 8 station PCs
    // of 8 stations included; beyond, the tiles keep a readable size and the list scrolls.
    void tilesFillTheScreen_data() {
        QTest::addColumn<int>("pcs");
        QTest::addColumn<int>("perPc");
        QTest::addColumn<bool>("scrolls");
        QTest::newRow("1") << 1 << 1 << false;
        QTest::newRow("16 em 2") << 2 << 8 << false;
        QTest::newRow("64 em 8") << 8 << 8 << false;
        QTest::newRow("64 em 64") << 64 << 1 << false;
        QTest::newRow("64 em 16") << 16 << 4 << false;
        QTest::newRow("100 em 13") << 13 << 8 << true;
    }
    void tilesFillTheScreen() {
        QFETCH(int, pcs);
        QFETCH(int, perPc);
        QFETCH(bool, scrolls);
        QStringList prefixes;
        for (int pc = 1; pc <= pcs; ++pc)
            prefixes << QStringLiteral("pc%1").arg(pc);
        SiteBook book(prefixes);
        book.setBrokerConnected(true, kT0Ms);
        site::SiteWindow window(book, QStringLiteral("teste:1883"), [] { return kT0Ms; });
        for (const QString& prefix : prefixes) {
            for (int station = 1; station <= perPc; ++station)
                book.message(QStringLiteral("%1/%2/state").arg(prefix).arg(station),
                             stateOf(station, windy()));
        }
        window.setGeometry(0, 30, 1920, 1050);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCoreApplication::processEvents();
        QTRY_VERIFY(window.tile(prefixes.last(), perPc));
        QTRY_COMPARE(window.scrollArea()->verticalScrollBar()->isVisible(), scrolls);
        const QSize tile = window.tile(prefixes.last(), perPc)->size();
        QVERIFY2(tile.width() >= site::kSmallestTile.width() &&
                     tile.height() >= site::kSmallestTile.height(),
                 qPrintable(QStringLiteral("%1x%2").arg(tile.width()).arg(tile.height())));
        // Each tile reads whole: the speed fits its label.
        QLabel* speed = window.tile(prefixes.last(), perPc)->speedLabel();
        QVERIFY(speed->fontMetrics().horizontalAdvance(speed->text()) <= speed->width());
        if (!scrolls) {
            const QRect viewport = window.scrollArea()->viewport()->rect();
            const QWidget* last = window.tile(prefixes.last(), perPc);
            QVERIFY(viewport.contains(
                QRect(last->mapTo(window.scrollArea()->viewport(), QPoint()), last->size())));
        }
    }
};

QTEST_MAIN(TestSite)
#include "tst_site.moc"
