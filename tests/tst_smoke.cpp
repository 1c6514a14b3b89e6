#include <QTest>
class Smoke : public QObject {
    Q_OBJECT private slots : void ok() {}
};
QTEST_MAIN(Smoke)
#include "tst_smoke.moc"
