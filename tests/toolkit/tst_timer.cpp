// The timer of the station's design (Enabled, Interval) and the holds that keep its ticks for
// the message loop.

#include "toolkit/failure.h"
#include "toolkit/messages.h"
#include "toolkit/timer.h"

#include "boxes.h"

#include <QSignalSpy>
#include <QTest>

#include <optional>

class TestTimer : public QObject {
    Q_OBJECT

private slots:
    void timerIntervalZeroNeverTicks() {
        toolkit::Timer timer(nullptr, 0, true);
        QSignalSpy ticks(&timer, &toolkit::Timer::timeout);
        QTest::qWait(60);
        QCOMPARE(ticks.count(), 0);
        QVERIFY(timer.enabled());
        timer.setInterval(10);
        QTRY_VERIFY_WITH_TIMEOUT(ticks.count() >= 1, 1000);
        timer.setInterval(0);
        ticks.clear();
        QTest::qWait(60);
        QCOMPARE(ticks.count(), 0);
    }

    void timerIntervalDoesNotEnable() {
        toolkit::Timer timer(nullptr, 100, false);
        QSignalSpy ticks(&timer, &toolkit::Timer::timeout);
        timer.setInterval(5);
        QVERIFY(!timer.enabled());
        QTest::qWait(50);
        QCOMPARE(ticks.count(), 0);
        timer.setEnabled(true);
        QTRY_VERIFY_WITH_TIMEOUT(ticks.count() >= 1, 1000);
        timer.setEnabled(false);
        ticks.clear();
        QTest::qWait(40);
        QCOMPARE(ticks.count(), 0);
    }

    void settingIntervalRestartsPeriod() {
        toolkit::Timer timer(nullptr, 80, true);
        QSignalSpy ticks(&timer, &toolkit::Timer::timeout);
        QTest::qWait(50);
        timer.setInterval(120); // a new period begins now: no tick at 80 ms
        QTest::qWait(60);
        QCOMPARE(ticks.count(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(ticks.count(), 1, 1000);
    }

    void startupHoldKeepsTicksForTheMessageLoop() {
        std::optional<toolkit::StartupHold> startup(std::in_place);
        toolkit::Timer opening(nullptr, 50, true);
        QSignalSpy ticks(&opening, &toolkit::Timer::timeout);
        // A box raised while the windows are built runs its own loop for several periods.
        BoxWatcher watcher(keepOpenFor(300));
        toolkit::guarded([] { throw toolkit::Failure(QStringLiteral("File not found")); });
        QCOMPARE(watcher.boxes().size(), std::size_t(1));
        QCOMPARE(ticks.count(), 0);
        startup->release();
        QCOMPARE(ticks.count(), 0); // delivered by the message loop, not by the release
        QTRY_VERIFY_WITH_TIMEOUT(ticks.count() >= 1, 40);
        // From then on the timer ticks at its own period.
        QTRY_VERIFY_WITH_TIMEOUT(ticks.count() >= 3, 1000);
    }

    void startupHoldDropsTheTickOfAStoppedTimer() {
        toolkit::StartupHold startup;
        toolkit::Timer stopped(nullptr, 10, true);
        QSignalSpy ticks(&stopped, &toolkit::Timer::timeout);
        QTest::qWait(50);
        stopped.setEnabled(false);
        startup.release();
        QTest::qWait(50);
        QCOMPARE(ticks.count(), 0);
    }

    // While held, the ticks that fall due are kept as one, delivered by the message loop after
    // the release; none comes when the timer was stopped meanwhile.
    void heldTickComesAfterTheRelease_data() {
        QTest::addColumn<bool>("stopped");
        QTest::newRow("still running") << false;
        QTest::newRow("stopped meanwhile") << true;
    }
    void heldTickComesAfterTheRelease() {
        QFETCH(bool, stopped);
        toolkit::Timer control(nullptr, 100, true);
        QSignalSpy ticks(&control, &toolkit::Timer::timeout);
        control.holdTicks();
        QTest::qWait(250); // two periods fall due
        QCOMPARE(ticks.count(), 0);
        if (stopped)
            control.setEnabled(false);
        control.releaseTicks();
        QCOMPARE(ticks.count(), 0);
        QCoreApplication::processEvents();
        QCOMPARE(ticks.count(), stopped ? 0 : 1);
        if (stopped) {
            QTest::qWait(150);
            QCOMPARE(ticks.count(), 0);
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(ticks.count(), 2, 1000); // its own period goes on
        }
    }
};

QTEST_MAIN(TestTimer)
#include "tst_timer.moc"
