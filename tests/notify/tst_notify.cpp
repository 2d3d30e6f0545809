// What the notifications decide without a server: the [notificacoes] group, which list changes
// are events to tell (and which a restart or a reconnection only repeats), the reminders and
// the escalation, and the queue's waits after failures.

#include "notify_fixture.h"

#include "notify/alarm_events.h"
#include "notify/notify_settings.h"
#include "notify/outbox.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using alarms::State;
using notify::AlarmEvents;
using notify::Channel;
using notify::EventRules;
using notify::Notice;

namespace {

constexpr qint64 kMinuteMs = 60'000;

EventRules allEvents() {
    EventRules rules;
    rules.events = {notify::Event::Active, notify::Event::Normalized, notify::Event::Acknowledged,
                    notify::Event::Shelved};
    return rules;
}

QString words(const QList<Notice>& notices) {
    QStringList list;
    for (const Notice& n : notices) {
        QString word = notify::eventText(n.event);
        if (n.event == notify::Event::Reminder)
            word += QStringLiteral(" %1").arg(n.reminder);
        list << word;
    }
    return list.join(u',');
}

// A step of an alarm list's life: "A0" ATIVO of its coming 0, "N1" NORMALIZADO of coming 1,
// "K" RECONHECIDO, "S" SUPRIMIDO, "-" off the list, "R" the program started again.
QList<alarms::Entry> listOf(const QString& step, alarms::Kind kind) {
    if (step == u"-")
        return {};
    const State state = step[0] == u'A'   ? State::Active
                        : step[0] == u'N' ? State::Normalized
                        : step[0] == u'K' ? State::Acknowledged
                                          : State::Shelved;
    alarms::Entry entry = preset2(state, step.mid(1).toInt());
    entry.kind = kind;
    if (state == State::Shelved)
        entry.shelvedUntilMs = entry.sinceMs + 30 * kMinuteMs;
    return {entry};
}

} // namespace

class TestNotify : public QObject {
    Q_OBJECT

private slots:
    // Each group problem is said once, naming the key and the file; a channel with a bad value
    // stays off, the others go on; names in any case.
    void settings_data() {
        QTest::addColumn<QByteArray>("group");
        QTest::addColumn<bool>("passwordOpen");
        QTest::addColumn<QString>("channels"); // e w c for those on
        QTest::addColumn<QStringList>("said");
        const QByteArray mail = "email_servidor=smtp.example.com\nemail_de=a@example.com\n"
                                "email_para=b@example.com, c@example.com\n";
        QTest::newRow("off without a channel")
            << QByteArray("prioridade_minima=alta\n") << false << "" << QStringList{};
        QTest::newRow("names in any case")
            << QByteArray("EMAIL_Servidor=smtp.example.com\nEmail_De=a@example.com\n"
                          "EMAIL_PARA=b@example.com\nWebhook_URL=https://ntfy.sh/obra\n")
            << false << "ew" << QStringList{};
        QTest::newRow("unknown key: named, the rest on")
            << mail + "emial_para=x@example.com\n"
            << false << "e" << QStringList{"\"emial_para\"", "[notificacoes]", "anemometros.ini"};
        QTest::newRow("bad security: no e-mail")
            << mail + "email_seguranca=ssl\n"
            << false << "" << QStringList{"email_seguranca", "\"ssl\"", "nenhum e-mail"};
        QTest::newRow("password others may read: no e-mail")
            << mail + "email_usuario=ana\nemail_senha_arquivo=SENHA\n"
            << true << "" << QStringList{"chmod 600"};
        QTest::newRow("a bad recipient: no e-mail")
            << mail + "email_para=b@example.com, sem-arroba\n"
            << false << "" << QStringList{"\"sem-arroba\"", "email_para"};
        QTest::newRow("a relative command: no command, the webhook on")
            << QByteArray("comando=sms.sh\nwebhook_url=http://127.0.0.1:1/x\n") << false << "w"
            << QStringList{"caminho completo", "\"sms.sh\""};
        QTest::newRow("a webhook that is not http")
            << QByteArray("webhook_url=ftp://example.com/\n") << false << ""
            << QStringList{"webhook_url", "http://"};
        QTest::newRow("bad quando keeps the default") << mail + "quando=ATIVO,ACABOU\n"
                                                      << false << "e" << QStringList{"\"ACABOU\""};
        QTest::newRow("escalation without e-mail")
            << QByteArray("webhook_url=https://ntfy.sh/x\nescalar_min=30\n"
                          "escalar_para=chefe@example.com\n")
            << false << "w" << QStringList{"escalar_para", "email_servidor"};
    }
    void settings() {
        QFETCH(QByteArray, group);
        QFETCH(bool, passwordOpen);
        QFETCH(QString, channels);
        QFETCH(QStringList, said);
        QTemporaryDir dir;
        const QString ini = dir.filePath(QStringLiteral("anemometros.ini"));
        const QString password = dir.filePath(QStringLiteral("senha"));
        QFile secret(password);
        QVERIFY(secret.open(QIODevice::WriteOnly) && secret.write("segredo-1\n") > 0);
        secret.close();
        QFile::setPermissions(password, passwordOpen ? QFile::ReadOwner | QFile::ReadGroup
                                                     : QFile::ReadOwner | QFile::WriteOwner);
        QFile file(ini);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[mqtt]\nhost=x\n[Notificacoes]\n" +
                   QByteArray(group).replace("SENHA", password.toUtf8()));
        file.close();
        const notify::NotifySettingsResult read = notify::readNotifySettings(ini);
        QCOMPARE(read.settings.has(Channel::Email), channels.contains(u'e'));
        QCOMPARE(read.settings.has(Channel::Webhook), channels.contains(u'w'));
        QCOMPARE(read.settings.has(Channel::Command), channels.contains(u'c'));
        QCOMPARE(read.error.isEmpty(), said.isEmpty());
        for (const QString& part : said)
            QVERIFY2(read.error.contains(part), qPrintable(read.error));
        QVERIFY(!read.error.contains(QStringLiteral("segredo")));
        QCOMPARE(read.settings.events.size(), 2);
    }

    // Which list changes are events: each told once, whatever repeats the same list (the
    // station PC publishing it again, the site view reconnecting, either restarting).
    void events_data() {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("told"); // per step, "|" between steps
        const int preset2 = int(alarms::Kind::Preset2);
        QTest::newRow("ATIVO, its end, its acknowledgement")
            << "A0 N0 -" << preset2 << "ATIVO|NORMALIZADO|RECONHECIDO";
        QTest::newRow("acknowledged, then gone")
            << "A0 K0 -" << preset2 << "ATIVO|RECONHECIDO|NORMALIZADO";
        QTest::newRow("the same list again") << "A0 A0 A0" << preset2 << "ATIVO||";
        QTest::newRow("a restart between")
            << "A0 R A0 N0 R N0" << preset2 << "ATIVO|||NORMALIZADO||";
        QTest::newRow("read back ATIVO after a kill, its end already told")
            << "A0 N0 R A0 N0" << preset2 << "ATIVO|NORMALIZADO|||";
        QTest::newRow("coming again") << "A0 N0 A1" << preset2 << "ATIVO|NORMALIZADO|ATIVO";
        QTest::newRow("shelved, and still there after")
            << "A0 S0 A0" << preset2 << "ATIVO|SUPRIMIDO|ATIVO";
        QTest::newRow("first seen acknowledged") << "K0" << preset2 << "RECONHECIDO";
        QTest::newRow("below prioridade_minima")
            << "A0 N0 -" << int(alarms::Kind::BatteryLow) << "||";
    }
    void events() {
        QFETCH(QString, steps);
        QFETCH(int, kind);
        QFETCH(QString, told);
        auto events = std::make_unique<AlarmEvents>(allEvents());
        QStringList seen;
        for (const QString& step : steps.split(u' ')) {
            if (step == u"R") {
                const QJsonArray kept = events->toJson();
                events = std::make_unique<AlarmEvents>(allEvents());
                events->restore(kept);
                seen << QString();
                continue;
            }
            seen << words(events->listed("obra1", 3, "GUINDASTE NORTE",
                                         listOf(step, alarms::Kind(kind)), 1000));
        }
        QCOMPARE(seen.join(u'|'), told);
    }

    // A latched alarm acknowledged leaves the list: its RECONHECIDO names who did it and says
    // the alarm is off the list; quando leaves the other events out.
    void acknowledgementOffTheList() {
        EventRules rules;
        rules.events = {notify::Event::Acknowledged};
        AlarmEvents events(rules);
        QVERIFY(events.listed("obra1", 3, "N", {preset2(State::Active)}, 0).isEmpty());
        QVERIFY(events.listed("obra1", 3, "N", {preset2(State::Normalized)}, 0).isEmpty());
        events.acknowledgedBy("obra1", 3, alarms::Kind::Preset2, "joão");
        const QList<Notice> told = events.listed("obra1", 3, "N", {}, 0);
        QCOMPARE(words(told), QStringLiteral("RECONHECIDO"));
        QCOMPARE(told[0].acknowledgedBy, QStringLiteral("joão"));
        QCOMPARE(told[0].state, QStringLiteral("NORMAL"));
    }

    // While an alarm stays ATIVO without an acknowledgement: a reminder every lembrete_min up
    // to lembretes_max, and one escalation at escalar_min; an acknowledgement ends them.
    void reminders_data() {
        QTest::addColumn<QString>("steps"); // "<minute>:<A|K|due>"
        QTest::addColumn<QString>("told");  // what each due gave, "|" between
        QTest::newRow("every 15 min, at most 2, escalation at 30")
            << "0:A 14:due 15:due 29:due 30:due 90:due"
            << "|LEMBRETE 1||LEMBRETE 2,SEM RECONHECIMENTO|";
        QTest::newRow("an acknowledgement ends them") << "0:A 10:K 15:due 30:due"
                                                      << "|";
        QTest::newRow("after a long stop, one reminder") << "0:A 50:due"
                                                         << "LEMBRETE 2,SEM RECONHECIMENTO";
        QTest::newRow("ATIVO again starts them over") << "0:A 15:due 16:N 20:A1 34:due 35:due"
                                                      << "LEMBRETE 1||LEMBRETE 1";
    }
    void reminders() {
        QFETCH(QString, steps);
        QFETCH(QString, told);
        EventRules rules;
        rules.reminderMs = 15 * kMinuteMs;
        rules.mostReminders = 2;
        rules.escalateMs = 30 * kMinuteMs;
        AlarmEvents events(rules);
        QStringList seen;
        for (const QString& step : steps.split(u' ')) {
            // Times from an hour after 1970: 0 is "none" in the book's times.
            const qint64 at = (60 + step.section(u':', 0, 0).toInt()) * kMinuteMs;
            const QString what = step.section(u':', 1);
            if (what == u"due")
                seen << words(events.due(at));
            else
                events.listed("obra1", 3, "N",
                              listOf(what.size() == 1 ? what + u'0' : what, alarms::Kind::Preset2),
                              at);
        }
        QCOMPARE(seen.join(u'|'), told);
    }

    // After each failure a channel waits twice as long, from 10 s up to 10 min; a success ends
    // the wait; another channel does not wait for it.
    void backOff_data() {
        QTest::addColumn<int>("failures");
        QTest::addColumn<int>("waitS");
        QTest::newRow("first") << 1 << 10;
        QTest::newRow("second") << 2 << 20;
        QTest::newRow("sixth") << 6 << 320;
        QTest::newRow("seventh, at most 10 min") << 7 << 600;
        QTest::newRow("twentieth") << 20 << 600;
    }
    void backOff() {
        QFETCH(int, failures);
        QFETCH(int, waitS);
        notify::Outbox outbox;
        for (const Channel channel : {Channel::Email, Channel::Webhook})
            outbox.add({.channel = channel,
                        .notice = {},
                        .to = {},
                        .queuedMs = 0,
                        .attempts = 0,
                        .lastError = {}});
        qint64 now = 0;
        for (int i = 0; i < failures; ++i) {
            QVERIFY(outbox.take(Channel::Email, now));
            outbox.failed(Channel::Email, "recusou", now);
            now = outbox.state(Channel::Email).nextTryMs;
        }
        const qint64 lastFailure = now - outbox.state(Channel::Email).retryMs;
        QCOMPARE(outbox.state(Channel::Email).retryMs, waitS * 1000LL);
        QVERIFY(!outbox.take(Channel::Email, now - 1));
        QVERIFY(outbox.take(Channel::Webhook, lastFailure));
        QVERIFY(outbox.take(Channel::Email, now));
        outbox.sent(Channel::Email, now);
        QCOMPARE(outbox.state(Channel::Email).retryMs, 0);
        QCOMPARE(outbox.count(Channel::Email), 0);
    }

    // A notice unsent for 24 h leaves the queue, once.
    void droppedAfterADay() {
        notify::Outbox outbox;
        outbox.add({.channel = Channel::Email,
                    .notice = {},
                    .to = {},
                    .queuedMs = 1000,
                    .attempts = 0,
                    .lastError = {}});
        outbox.add({.channel = Channel::Email,
                    .notice = {},
                    .to = {},
                    .queuedMs = 5000,
                    .attempts = 0,
                    .lastError = {}});
        const qint64 day = notify::Outbox::kMostAgeMs;
        QVERIFY(outbox.dropExpired(day).isEmpty());
        QCOMPARE(outbox.dropExpired(day + 1000).size(), 1);
        QCOMPARE(outbox.count(Channel::Email), 1);
        QVERIFY(outbox.dropExpired(day + 1000).isEmpty());
    }
};

QTEST_MAIN(TestNotify)
#include "tst_notify.moc"
