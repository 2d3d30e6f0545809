#include "site/site_view.h"

#include "alarms/alarm_settings.h"
#include "alarms/alarm_watch.h"
#include "alarms/horn.h"
#include "notify/notifier.h"
#include "notify/notify_settings.h"
#include "notify/test_window.h"
#include "publish/connection_text.h"
#include "publish/mqtt_client.h"
#include "publish/mqtt_settings.h"
#include "publish/payloads.h"
#include "site/history_site_window.h"
#include "site/site_alarms.h"
#include "site/site_archive_client.h"
#include "site/site_book.h"
#include "site/site_payloads.h"
#include "site/site_trace.h"
#include "site/site_window.h"
#include "toolkit/messages.h"
#include "toolkit/screen_fit.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QSysInfo>
#include <QTimer>

#include <chrono>

namespace site {

namespace {

qint64 nowMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

// A screen frame's worth of messages a read: 25 reads a second. Each read costs the window's
// thread a turn of its loop and a repaint, whatever it brings: with a gap of 25 ms the 500
// stations of bench/site_load cost the view about a third more CPU. A state waits for its read
// 20 ms on average.
constexpr std::chrono::milliseconds kReadGap(40);

} // namespace

SiteView::SiteView() {
    const QString path = QDir::current().filePath(toolkit::kSettingsFile);
    // Read once, for [mqtt] and [alarmes] alike.
    const toolkit::IniFile ini = toolkit::readIniFile(path);
    const publish::SettingsResult read =
        publish::readSettings(ini, QStringLiteral("Visão do local sem servidor MQTT: "));
    if (!read.settings) {
        const QString text =
            !read.error.isEmpty()
                ? read.error
                : QStringLiteral("A visão do local lê as estações de um servidor MQTT: defina "
                                 "host no grupo [mqtt] de %1.")
                      .arg(path);
        toolkit::reportToStandardError(text, toolkit::Severity::Error);
        QTimer::singleShot(0, this, [text] {
            toolkit::showMessage(text);
            QCoreApplication::exit(1);
        });
        return;
    }
    publish::MqttSettings settings = *read.settings;
    // Beside the station PC's own connection, which may use the same file.
    settings.clientId += QStringLiteral("-local");
    book_ = std::make_unique<SiteBook>(settings.prefixes);
    client_ = std::make_unique<publish::MqttClient>(settings, publish::MqttClient::Will{});
    // Hundreds of stations each publish every second: their states are read a batch at a time,
    // and their tiles shown and painted together.
    client_->gatherReads(kReadGap);
    client_->subscribe(publish::siteFilters(settings.prefixes));
    window_ = std::make_unique<SiteWindow>(
        *book_, QStringLiteral("%1:%2").arg(settings.host).arg(settings.port), nowMs);
    alarmWindow_ = std::make_unique<SiteAlarmWindow>(*book_);

    connect(client_.get(), &publish::MqttClient::messageReceived, book_.get(),
            [this](const QString& topic, const QByteArray& payload, bool retained) {
                book_->message(topic, payload, {nowMs(), retained});
            });
    connect(client_.get(), &publish::MqttClient::connectedChanged, book_.get(),
            [this](bool connected) {
                qCDebug(lcSite).noquote()
                    << "broker" << (connected ? "connected" : "away") << traceClockMs();
                book_->setBrokerConnected(connected, nowMs());
                if (connected)
                    window_->setBrokerProblem({});
            });
    connect(client_.get(), &publish::MqttClient::failed, window_.get(),
            [this](const QString& reason) { window_->setBrokerProblem(reason); });
    book_->setBrokerConnected(false, nowMs());
    // Once, beside the connection: anyone who reaches the broker could acknowledge as this view.
    if (const QString exposed = publish::ackExposureText(settings, publish::AckSender::SiteView);
        !exposed.isEmpty()) {
        toolkit::reportToStandardError(exposed, toolkit::Severity::Warning);
        window_->setConnectionWarning(exposed);
    }

    connect(window_.get(), &SiteWindow::alarmsRequested, this, [this] { showAlarms(true); });
    connect(window_.get(), &SiteWindow::quitRequested, this, &SiteView::end);
    connect(alarmWindow_.get(), &SiteAlarmWindow::acknowledgeRequested, this,
            [this](const QString& prefix, int station, alarms::Kind kind) {
                acknowledge(prefix, station, int(kind));
            });

    // [alarmes]: the horn's sounds and whether a new alarm brings the list up, as on a
    // station PC.
    const alarms::AlarmSettingsResult alarmSettings = alarms::readAlarmSettings(ini);
    if (!alarmSettings.error.isEmpty()) {
        toolkit::reportToStandardError(alarmSettings.error, toolkit::Severity::Warning);
        QTimer::singleShot(0, window_.get(),
                           [text = alarmSettings.error] { toolkit::showMessage(text); });
    }
    horn_ =
        new alarms::HornPlayer([this] { return book_->horn(); }, alarmSettings.settings.horn, this);
    connect(book_.get(), &SiteBook::alarmsChanged, horn_, &alarms::HornPlayer::follow);
    connect(horn_, &alarms::HornPlayer::unavailable, this, [](const QString& text) {
        toolkit::reportToStandardError(text, toolkit::Severity::Warning);
    });
    connect(book_.get(), &SiteBook::newActive, this,
            [this, open = alarmSettings.settings.openWindow] {
                if (open)
                    showAlarms(false);
                QApplication::alert(window_.get());
            });

    startNotifications(ini);
    startArchive(ini);

    // A screen of its own, in a site office.
    window_->showMaximized();
    client_->start();
}

SiteView::~SiteView() = default;

void SiteView::startNotifications(const toolkit::IniFile& ini) {
    const notify::NotifySettingsResult read = notify::readNotifySettings(ini);
    if (!read.error.isEmpty()) {
        toolkit::reportToStandardError(read.error, toolkit::Severity::Warning);
        QTimer::singleShot(0, window_.get(), [text = read.error] { toolkit::showMessage(text); });
    }
    if (!read.settings.any())
        return;
    notifier_ = std::make_unique<notify::Notifier>(
        read.settings,
        notify::Notifier::Options{.stateFile = QDir::current().filePath(notify::kSiteStateFileName),
                                  .site = QSysInfo::machineHostName()});
    // No journal file here: its lines go to standard error, and so to the service's journal.
    connect(notifier_.get(), &notify::Notifier::journal, this,
            [](const QString& station, const QString& event, const QString& detail) {
                toolkit::reportToStandardError(
                    QStringLiteral("%1 (%2): %3").arg(event, station, detail),
                    toolkit::Severity::Information);
            });
    if (const QString error = notifier_->restore(); !error.isEmpty())
        toolkit::reportToStandardError(error, toolkit::Severity::Warning);
    // Each list as it comes: one read again at a reconnection is no new event.
    connect(book_.get(), &SiteBook::stationAlarmsChanged, notifier_.get(),
            [this](const QString& prefix, int station) {
                const StationAlarms* list = book_->stationAlarms(prefix, station);
                notifier_->listed(prefix, station, list ? list->name : QString(),
                                  list ? list->entries : QList<alarms::Entry>());
            });
    alarmWindow_->addButton(
        notify::testButton(*notifier_, alarms::loginName(), alarmWindow_.get()));
}

void SiteView::startArchive(const toolkit::IniFile& ini) {
    // The station PCs' group: the site view reads where the database is and how to sign in.
    const archive::ArchiveSettingsResult read = archive::readArchiveSettings(ini, QString());
    if (!read.error.isEmpty()) {
        toolkit::reportToStandardError(read.error, toolkit::Severity::Warning);
        QTimer::singleShot(0, window_.get(), [text = read.error] { toolkit::showMessage(text); });
    }
    if (!read.settings)
        return;
    archive_ = std::make_unique<ArchiveClient>(*read.settings);
    window_->addHistoryItem();
    connect(window_.get(), &SiteWindow::historyRequested, this, &SiteView::showHistory);
}

void SiteView::showHistory() {
    if (!historyWindow_)
        historyWindow_ = std::make_unique<SiteHistoryWindow>(*archive_, nowMs);
    historyWindow_->show();
    historyWindow_->raise();
    historyWindow_->activateWindow();
}

void SiteView::showAlarms(bool activate) {
    toolkit::showBeside(alarmWindow_.get(), window_.get(), activate);
}

void SiteView::acknowledge(const QString& prefix, int station, int kind) {
    const auto alarm = alarms::Kind(kind);
    if (!client_->connected()) {
        alarmWindow_->setNote(QStringLiteral("Sem conexão com o servidor MQTT: o reconhecimento "
                                             "de %1 não foi enviado.")
                                  .arg(alarms::kindText(alarm)));
        return;
    }
    client_->publish(publish::ackTopic(prefix, station), ackJson(alarm, alarms::loginName()), 1,
                     false);
    alarmWindow_->setNote(QStringLiteral("Reconhecimento de %1 enviado a %2; a lista muda quando "
                                         "o computador da estação o aceitar.")
                              .arg(alarms::kindText(alarm), prefix));
}

void SiteView::end() {
    if (std::exchange(ended_, true))
        return;
    if (client_)
        client_->stop();
    QCoreApplication::exit(0);
}

} // namespace site
