// "Histórico do local" against a real VictoriaMetrics holding a known synthetic day: the
// figures of the day, the trend broken at a gap, the semicolon file, the month's report and
// the database away. Also the [arquivo] keys the site view reads.

#include "site/history_site_window.h"
#include "site/history_trend.h"
#include "site/site_archive_client.h"
#include "site/site_book.h"
#include "site/site_window.h"
#include "toolkit/cp1252.h"

#include "victoria_metrics.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDateTime>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

// A day some days back, within the database's default month of retention.
const QDate kDay = QDate::currentDate().addDays(-3);
const QString kStation = QStringLiteral("obra\\ A,estacao=1,nome=ANEMÔMETRO\\ 1,unidade=km/h");
const QString kLabel = QStringLiteral("obra A - ANEMÔMETRO 1");

qint64 at(int hour, int minute, int second) {
    return QDateTime(kDay, QTime(hour, minute, second)).toMSecsSinceEpoch();
}

// 08:00:05 to 11:59:55, a poll every 10 s: 10,0 km/h, 20,0 from 10:00:05 to 10:29:55 (30
// minutes at or above preset 1 = 15), 30,0 from 10:40:05 to 10:44:55 (5 minutes above preset
// 2 = 25) with 32,0 at 10:42:05; nothing written from 09:00:05 to 09:29:55 (180 polls) and no
// answer from 11:00:05 to 11:09:55 (60 polls). 1260 polls, 1200 answered; the mean is
// (990 × 10 + 180 × 20 + 29 × 30 + 32) / 1200 = 12,0. A PRESET 2 alarm acknowledged by joao,
// and a SEM RESPOSTA alarm while the station did not answer.
QByteArray syntheticDay() {
    QByteArray lines;
    const auto line = [&](const QString& text) { lines += text.toUtf8() + '\n'; };
    for (qint64 ms = at(8, 0, 5); ms < at(12, 0, 0); ms += 10'000) {
        if (ms >= at(9, 0, 0) && ms < at(9, 30, 0))
            continue;
        if (ms >= at(11, 0, 0) && ms < at(11, 10, 0)) {
            line(QStringLiteral("anemometro,local=%1 respondendo=0 %2").arg(kStation).arg(ms));
            continue;
        }
        double speed = 10;
        if (ms >= at(10, 0, 0) && ms < at(10, 30, 0))
            speed = 20;
        if (ms >= at(10, 40, 0) && ms < at(10, 45, 0))
            speed = ms == at(10, 42, 5) ? 32 : 30;
        line(QStringLiteral("anemometro,local=%1 velocidade=%2,preset1=15,preset2=25,"
                            "respondendo=1 %3")
                 .arg(kStation)
                 .arg(speed)
                 .arg(ms));
    }
    const QString alarm =
        QStringLiteral("alarme,local=%1,alarme=PRESET\\ 2,prioridade=alta").arg(kStation);
    line(QStringLiteral("%1 estado=1 %2").arg(alarm).arg(at(10, 40, 5)));
    line(QStringLiteral("%1,por=joao estado=2 %2").arg(alarm).arg(at(10, 41, 0)));
    line(QStringLiteral("%1 estado=3 %2").arg(alarm).arg(at(10, 45, 0)));
    const QString silent =
        QStringLiteral("alarme,local=%1,alarme=SEM\\ RESPOSTA,prioridade=media").arg(kStation);
    line(QStringLiteral("%1 estado=1 %2").arg(silent).arg(at(11, 0, 35)));
    line(QStringLiteral("%1 estado=3 %2").arg(silent).arg(at(11, 10, 5)));
    return lines;
}

} // namespace

class TestSiteHistory : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void dayFigures_data();
    void dayFigures();
    void trendBreaksAtGaps();
    void exportFile();
    void monthReport();
    void databaseAway();
    void menuItem();

private:
    void showDay();

    VictoriaMetrics database_;
    std::unique_ptr<site::ArchiveClient> client_;
    std::unique_ptr<site::SiteHistoryWindow> window_;
    QTemporaryDir dir_;
};

void TestSiteHistory::initTestCase() {
    QVERIFY(database_.start());
    QVERIFY(database_.write(syntheticDay()));
    database_.settle();
    client_ = std::make_unique<site::ArchiveClient>(
        archive::ArchiveSettings{.url = database_.url()});
    window_ = std::make_unique<site::SiteHistoryWindow>(
        *client_, [] { return QDateTime::currentMSecsSinceEpoch(); });
    QSignalSpy listed(window_.get(), &site::SiteHistoryWindow::stationsListed);
    window_->show();
    QVERIFY(listed.wait(30000));
    QCOMPARE(window_->stationList()->count(), 1);
    QCOMPARE(window_->stationList()->item(0)->text(), kLabel);
    window_->stationList()->item(0)->setCheckState(Qt::Checked);
    showDay();
}

void TestSiteHistory::cleanupTestCase() {
    window_.reset();
    database_.stop();
}

void TestSiteHistory::showDay() {
    window_->periodBox()->setCurrentText(QStringLiteral("De/Até"));
    window_->fromEdit()->setDate(kDay);
    window_->toEdit()->setDate(kDay);
    QSignalSpy loaded(window_.get(), &site::SiteHistoryWindow::loaded);
    QTest::mouseClick(window_->showButton(), Qt::LeftButton);
    QVERIFY(loaded.wait(30000));
}

void TestSiteHistory::dayFigures_data() {
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("cell");
    QTest::newRow("máxima") << 2 << QStringLiteral("32,0 km/h");
    QTest::newRow("hora da máxima") << 3 << QStringLiteral("10:42:05");
    QTest::newRow("média") << 4 << QStringLiteral("12,0 km/h");
    QTest::newRow("minutos em P1 ou acima") << 5 << QStringLiteral("35");
    QTest::newRow("minutos acima de P2") << 6 << QStringLiteral("5");
    QTest::newRow("disponibilidade, 1200 de 1260") << 7 << QStringLiteral("95,2 %");
    QTest::newRow("alarmes que ficaram ativos") << 8 << QStringLiteral("2");
}

void TestSiteHistory::dayFigures() {
    QFETCH(int, column);
    QFETCH(QString, cell);
    const QAbstractItemModel* table = window_->table()->model();
    QCOMPARE(table->rowCount(), 1);
    QCOMPARE(table->index(0, 0).data().toString(), kLabel);
    QCOMPARE(table->index(0, column).data().toString(), cell);
}

void TestSiteHistory::trendBreaksAtGaps() {
    // From 08:00 to 09:00, from 09:30 to 11:00 and from 11:10 to 12:00.
    QCOMPARE(window_->trend()->runsShown(kLabel), 3);
    QVERIFY(window_->trend()->widget()->accessibleDescription().contains(kLabel));
}

void TestSiteHistory::exportFile() {
    const QString path = dir_.filePath(QStringLiteral("dia.csv"));
    window_->exportTo(path);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QVERIFY(bytes.startsWith("HIST\xD3RICO DO LOCAL;"));
    QCOMPARE(bytes.count("\r\n"), 3);
    QCOMPARE(bytes.count('\n'), 3);
    const QString text = toolkit::fromCp1252(bytes);
    QVERIFY2(text.contains(QStringLiteral("obra A;1;ANEMÔMETRO 1;km/h;%1;32,0;10:42:05;12,0;35;5;"
                                          "95,2;2\r\n")
                               .arg(kDay.toString(u"dd/MM/yyyy"))),
             qPrintable(text));
}

void TestSiteHistory::monthReport() {
    QComboBox* month = window_->monthBox();
    month->setCurrentIndex(month->findData(QDate(kDay.year(), kDay.month(), 1)));
    const QString path = dir_.filePath(QStringLiteral("mes.pdf"));
    QSignalSpy done(window_.get(), &site::SiteHistoryWindow::reportDone);
    window_->reportTo(path);
    QVERIFY(done.wait(60000));
    QVERIFY2(done.front().at(1).toBool(), qPrintable(window_->note()->text()));
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), QStringLiteral("-enc"),
                                             QStringLiteral("UTF-8"), path, QStringLiteral("-")});
    QVERIFY(text.waitForFinished(30000));
    const QString words = QString::fromUtf8(text.readAllStandardOutput()).simplified();
    for (const QString& expected :
         {QStringLiteral("%1 32,0 km/h 10:42:05 12,0 km/h 35 5 95,2 % 2")
              .arg(kDay.toString(u"dd/MM/yyyy")),
          QStringLiteral("10:41:00 %1 PRESET 2 alta RECONHECIDO joao").arg(kLabel),
          QStringLiteral("10:45:00 %1 PRESET 2 alta NORMALIZADO").arg(kLabel)})
        QVERIFY2(words.contains(expected), qPrintable(expected + QStringLiteral(" in ") + words));
}

void TestSiteHistory::databaseAway() {
    database_.stop();
    QSignalSpy loaded(window_.get(), &site::SiteHistoryWindow::loaded);
    QTest::mouseClick(window_->showButton(), Qt::LeftButton);
    // The window answers while the question is out.
    window_->presetsBox()->click();
    QVERIFY(window_->presetsBox()->isChecked());
    QVERIFY(loaded.wait(40000));
    QVERIFY2(window_->note()->text().contains(QStringLiteral("recusou a conexão")),
             qPrintable(window_->note()->text()));
    // What was shown stays, and the database back is read again.
    QCOMPARE(window_->table()->model()->index(0, 2).data().toString(), QStringLiteral("32,0 km/h"));
    QVERIFY(database_.start());
    showDay();
    QVERIFY2(window_->note()->text().contains(QStringLiteral("consultado em")),
             qPrintable(window_->note()->text()));
}

void TestSiteHistory::menuItem() {
    site::SiteBook book({QStringLiteral("obra")});
    site::SiteWindow window(book, QStringLiteral("servidor:1883"), [] { return qint64(0); });
    auto* controle = window.findChild<QMenu*>(QStringLiteral("Controle1"));
    QVERIFY(controle);
    const auto items = [controle] {
        QStringList texts;
        for (const QAction* action : controle->actions())
            texts << action->text();
        return texts;
    };
    const QStringList before = items();
    window.addHistoryItem();
    const QStringList after = before + QStringList{QString(), QStringLiteral("Histórico")};
    QCOMPARE(items(), after);
    QSignalSpy asked(&window, &site::SiteWindow::historyRequested);
    controle->actions().last()->trigger();
    QCOMPARE(asked.count(), 1);
}

QTEST_MAIN(TestSiteHistory)
#include "tst_site_history.moc"
