#include <QTest>
class TestNotify : public QObject {
    Q_OBJECT
};
QTEST_MAIN(TestNotify)
#include "tst_notify.moc"
