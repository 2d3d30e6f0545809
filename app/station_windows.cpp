#include "app/station_windows.h"

#include "alarms/alarm_book.h"
#include "alarms/alarm_file.h"
#include "alarms/alarm_record.h"
#include "alarms/alarm_settings.h"
#include "alarms/alarm_store.h"
#include "alarms/alarm_watch.h"
#include "alarms/alarm_window.h"
#include "alarms/horn.h"
#include "app/service_notify.h"
#include "archive/alarm_feed.h"
#include "archive/archive_settings.h"
#include "archive/archiver.h"
#include "health/diagnostics_window.h"
#include "health/health_monitor.h"
#include "history/history_window.h"
#include "history/live_readings.h"
#include "logs/log_format.h"
#include "notify/book_feed.h"
#include "notify/notifier.h"
#include "notify/notify_settings.h"
#include "notify/test_window.h"
#include "publish/mqtt_settings.h"
#include "publish/publisher.h"
#include "readings/station_panel.h"
#include "toolkit/messages.h"
#include "toolkit/screen_fit.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QMenu>
#include <QMenuBar>
#include <QSysInfo>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <utility>

StationWindows::StationWindows() {
    form1 = std::make_unique<TForm1>();
    form1->show();
    form2 = std::make_unique<TForm2>(form1->stationSettings(), form1->stationBus(), form1.get());
    form3 = std::make_unique<TForm3>(form1.get());
    settingsFile_ = toolkit::readIniFile(QDir::current().filePath(toolkit::kSettingsFile));

    TForm1& main = *form1;
    const settings::StationSettings& stations = main.stationSettings();
    const auto logFolder = [&main] { return logs::logFolder(main.GetMyDocuments()); };
    monitor = std::make_unique<health::HealthMonitor>(health::HealthMonitor::Station{
        .settings = stations,
        .logFolder = logFolder,
        .nowMs = clock_,
    });
    main.readingFeed().addWatcher(*monitor);
    health::HealthMonitor& watcher = *monitor;
    startAlarms();
    alarms::AlarmWatch& alarmWatcher = *alarmWatch;
    main.logStep().setJournal({
        .failed =
            [&watcher, &alarmWatcher](int station, const QString& text) {
                watcher.logFailed(station, text);
                alarmWatcher.logFailed(station);
            },
        .recovered =
            [&watcher, &alarmWatcher](int station, int lost) {
                watcher.logRecovered(station, lost);
                alarmWatcher.logRecovered(station);
            },
    });
    diagnostics = std::make_unique<health::DiagnosticsWindow>(
        watcher, health::DiagnosticsWindow::Stations{.settings = stations, .logFolder = logFolder},
        form1.get());
    std::array<QWidget*, kStations> panels{};
    for (int station = 1; station <= kStations; ++station)
        panels[stationSlot(station)] = &main.panel(station);
    health::installPanelToolTips(watcher, panels);

    live = std::make_unique<history::LiveReadings>(history::LiveReadings::Stations{
        .settings = stations,
        .nowMs = clock_,
    });
    main.readingFeed().addWatcher(*live);
    history = std::make_unique<history::HistoryWindow>(
        history::HistoryWindow::Sources{
            .logFolder = logFolder,
            .live = live.get(),
            .settings = stations,
            .nowMs = clock_,
        },
        form1.get());

    // After "Configurações" and its separator; the design's items keep their places.
    addWindowToMenu(diagnostics.get(), QStringLiteral("Diagnóstico"),
                    QStringLiteral("Diagnostico1"));
    addWindowToMenu(history.get(), QStringLiteral("Histórico"), QStringLiteral("Historico1"));
    addWindowToMenu(alarmWindow.get(), QStringLiteral("Alarmes"), QStringLiteral("Alarmes1"));

    monitor->programStarted();
    startPublishing();
    startNotifications();
    startArchive();
    startServiceNotifier();
    startup_.release();
}

void StationWindows::startAlarms() {
    TForm1& main = *form1;
    const settings::StationSettings& stations = main.stationSettings();
    // [alarmes] of anemometros.ini: the horn's sounds, whether a new alarm opens the window, the
    // delay before an alarm is normal again.
    const alarms::AlarmSettingsResult read = alarms::readAlarmSettings(settingsFile_);
    if (!read.error.isEmpty()) {
        // Once, when the windows are up; the program runs on with the keys it could read.
        toolkit::reportToStandardError(read.error, toolkit::Severity::Warning);
        QTimer::singleShot(0, form1.get(), [text = read.error] { toolkit::showMessage(text); });
    }
    alarmBook = std::make_unique<alarms::AlarmBook>();
    alarmBook->setNormalizeDelayMs(read.settings.normalizeDelayMs);
    alarmWatch = std::make_unique<alarms::AlarmWatch>(alarms::AlarmWatch::Sources{
        .book = *alarmBook,
        .health = *monitor,
        .settings = stations,
        .nowMs = clock_,
    });
    // Told right after health, whose counts say whether a station answers.
    main.readingFeed().addWatcher(*alarmWatch);
    QObject::connect(alarmBook.get(), &alarms::AlarmBook::journal, monitor.get(),
                     [this](int station, const QString& event, const QString& detail) {
                         monitor->noteEvent(station == alarms::kPortStation
                                                ? QStringLiteral("-")
                                                : form1->stationSettings().name(station),
                                            event, detail);
                     });
    const auto logFolder = [&main] { return logs::logFolder(main.GetMyDocuments()); };
    // Before the list is read back: the alarms of stations no longer polled go at once, into
    // the day file.
    auto* recorder =
        new alarms::AlarmRecorder(*alarmBook, stations, logFolder, clock_, alarmBook.get());
    // After the tick that changed the list: a box opened there would run its loop in the poll.
    QObject::connect(
        recorder, &alarms::AlarmRecorder::failed, recorder,
        [](const QString& text) { toolkit::reportError(text); }, Qt::QueuedConnection);
    alarmStore = std::make_unique<alarms::AlarmStore>(
        *alarmBook, QDir::current().filePath(alarms::kAlarmFileName));
    if (const QString error = alarmStore->restore(recorder->readToday()); !error.isEmpty()) {
        // Once, when the windows are up; the program runs on with an empty list.
        toolkit::reportToStandardError(error, toolkit::Severity::Warning);
        QTimer::singleShot(0, form1.get(), [error] { toolkit::showMessage(error); });
    }
    alarmWatch->forgetStationsNotPolled();
    alarmWindow = std::make_unique<alarms::AlarmWindow>(*alarmBook, *recorder, stations, clock_,
                                                        alarms::loginName(), form1.get());
    auto* horn = new alarms::HornPlayer(*alarmBook, read.settings.horn, alarmBook.get());
    // Without a sound output the program runs on, and Diagnóstico's journal says so once.
    QObject::connect(horn, &alarms::HornPlayer::unavailable, monitor.get(),
                     [this](const QString& text) {
                         monitor->noteEvent(QStringLiteral("-"), QStringLiteral("SEM SOM"), text);
                     });
    // A new alarm is brought before the operator: the window opened or raised, unless
    // [alarmes] says not to, and the main window marked for the desktop's attention.
    const auto bringBefore = [this, open = read.settings.openWindow] {
        if (open)
            showBesideMain(alarmWindow.get(), /*activate=*/false);
        QApplication::alert(form1.get());
    };
    QObject::connect(alarmBook.get(), &alarms::AlarmBook::newActive, form1.get(), bringBefore);
    // ATIVO alarms read back are as new to whoever sits down after the restart.
    const QList<alarms::Entry>& listed = alarmBook->entries();
    if (std::any_of(listed.begin(), listed.end(),
                    [](const alarms::Entry& e) { return e.state == alarms::State::Active; }))
        QTimer::singleShot(0, form1.get(), bringBefore);
    auto* clock = new QTimer(alarmBook.get());
    QObject::connect(clock, &QTimer::timeout, alarmBook.get(),
                     [this] { alarmBook->tick(clock_()); });
    clock->start(1000);
}

void StationWindows::startPublishing() {
    const publish::SettingsResult read = publish::readSettings(settingsFile_);
    if (!read.error.isEmpty()) {
        // Once, when the windows are up; the program runs on without publishing.
        toolkit::reportToStandardError(read.error, toolkit::Severity::Warning);
        QTimer::singleShot(0, form1.get(), [text = read.error] { toolkit::showMessage(text); });
        return;
    }
    if (!read.settings)
        return;
    TForm1& main = *form1;
    publisher = std::make_unique<publish::Publisher>(
        *read.settings, publish::Publisher::Stations{.settings = main.stationSettings(),
                                                     .health = *monitor,
                                                     .alarms = alarmBook.get()});
    main.readingFeed().addWatcher(*publisher);
    // Once, in the journal: anyone who reaches the broker could acknowledge alarms through it.
    if (!publisher->ackExposure().isEmpty())
        monitor->noteEvent(QStringLiteral("-"), QStringLiteral("MQTT INSEGURO"),
                           publisher->ackExposure());
    // Saved: the stations no longer polled lose their retained topics.
    QObject::connect(&main.stationSettings(), &settings::StationSettings::applied, publisher.get(),
                     [this](settings::Applied how) {
                         if (how == settings::Applied::Saved)
                             publisher->stationsChanged();
                     });
    // Under Diagnóstico: the connection, and the acknowledgements asked through the broker that
    // were not carried out.
    const auto lastRefused = std::make_shared<QString>();
    const auto showConnection = [this, lastRefused] {
        QString text = publisher->stateText();
        if (const qint64 count = publisher->remoteAcksIgnored() + publisher->remoteAcksMalformed())
            text += QStringLiteral("\nReconhecimentos remotos recusados: %1 (o último: %2)")
                        .arg(count)
                        .arg(*lastRefused);
        diagnostics->setConnectionText(text);
    };
    QObject::connect(publisher.get(), &publish::Publisher::stateTextChanged, diagnostics.get(),
                     showConnection);
    QObject::connect(publisher.get(), &publish::Publisher::remoteAckRefused, diagnostics.get(),
                     [showConnection, lastRefused](const QString& reason) {
                         *lastRefused = reason;
                         showConnection();
                     });
    publisher->start();
}

void StationWindows::startNotifications() {
    const notify::NotifySettingsResult read = notify::readNotifySettings(settingsFile_);
    if (!read.error.isEmpty()) {
        // Once, when the windows are up; the program runs on with the keys it could read.
        toolkit::reportToStandardError(read.error, toolkit::Severity::Warning);
        QTimer::singleShot(0, form1.get(), [text = read.error] { toolkit::showMessage(text); });
    }
    if (!read.settings.any())
        return;
    // "Local" in the messages.
    const QString site = siteName();
    notifier = std::make_unique<notify::Notifier>(
        read.settings,
        notify::Notifier::Options{.stateFile = QDir::current().filePath(notify::kStateFileName),
                                  .site = site,
                                  .nowMs = clock_});
    QObject::connect(notifier.get(), &notify::Notifier::journal, monitor.get(),
                     [this](const QString& station, const QString& event, const QString& detail) {
                         monitor->noteEvent(station, event, detail);
                     });
    QObject::connect(notifier.get(), &notify::Notifier::stateChanged, diagnostics.get(),
                     [this] { diagnostics->setNotificationText(notifier->stateText()); });
    if (const QString error = notifier->restore(); !error.isEmpty()) {
        toolkit::reportToStandardError(error, toolkit::Severity::Warning);
        QTimer::singleShot(0, form1.get(), [error] { toolkit::showMessage(error); });
    }
    notify::followBook(*notifier, *alarmBook, form1->stationSettings(), site);
    alarmWindow->addButton(notify::testButton(*notifier, alarms::loginName(), alarmWindow.get()));
}

QString StationWindows::siteName() const {
    const std::optional<publish::MqttSettings> mqtt = publish::readSettings(settingsFile_).settings;
    return mqtt ? mqtt->prefix : QSysInfo::machineHostName();
}

void StationWindows::startArchive() {
    const archive::ArchiveSettingsResult read =
        archive::readArchiveSettings(settingsFile_, siteName());
    QString error = read.error;
    if (read.settings) {
        archiver = std::make_unique<archive::Archiver>(
            *read.settings, form1->stationSettings(),
            archive::Archiver::Options{
                .queueFolder = QDir::current().filePath(archive::kQueueFolder), .nowMs = clock_});
        error = archiver->start();
    }
    if (!error.isEmpty()) {
        // Once, when the windows are up; the program runs on without the archive.
        toolkit::reportToStandardError(error, toolkit::Severity::Warning);
        QTimer::singleShot(0, form1.get(), [error] { toolkit::showMessage(error); });
        archiver.reset();
        return;
    }
    if (!archiver)
        return;
    form1->readingFeed().addWatcher(*archiver);
    archive::followBook(*archiver, *alarmBook, form1->stationSettings(), clock_);
    QObject::connect(archiver.get(), &archive::Archiver::journal, monitor.get(),
                     [this](const QString& event, const QString& detail) {
                         monitor->noteEvent(QStringLiteral("-"), event, detail);
                     });
    QObject::connect(archiver.get(), &archive::Archiver::stateChanged, diagnostics.get(),
                     [this] { diagnostics->setArchiveText(archiver->stateText()); });
    diagnostics->setArchiveText(archiver->stateText());
}

void StationWindows::startServiceNotifier() {
    serviceNotifier =
        app::ServiceNotifier::fromEnvironment({.settings = form1->stationSettings(),
                                               .health = *monitor,
                                               .portState = form1->stationBus().portState()});
    if (!serviceNotifier)
        return;
    // After health, whose counts say which stations answer.
    form1->readingFeed().addWatcher(*serviceNotifier);
    // "Sair" from the menu ends the loop without endProgram; FIM is written after this.
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, serviceNotifier.get(),
                     [this] { serviceNotifier->stopping(); });
}

void StationWindows::addWindowToMenu(QWidget* window, const QString& caption, const QString& name) {
    QMenu* controle = form1->menuBar()->findChild<QMenu*>(QStringLiteral("Controle1"));
    QAction* item = controle->addAction(caption);
    item->setObjectName(name);
    QObject::connect(item, &QAction::triggered, window,
                     [this, window] { showBesideMain(window, /*activate=*/true); });
}

void StationWindows::showBesideMain(QWidget* window, bool activate) {
    toolkit::showBeside(window, form1.get(), activate);
}

void StationWindows::endProgram() {
    if (serviceNotifier)
        serviceNotifier->stopping();
    toolkit::guarded([this] { form1->Sair1Click(); });
    QCoreApplication::exit(0);
}

StationWindows::~StationWindows() {
    monitor->programEnded();
    // The main window's log step outlives the monitor it tells of log failures.
    form1->logStep().setJournal({});
}
