#include "messages/store/MsgFingerprintSet.h"

#include <QSet>
#include <QtTest>

// The set answers as a node-based set of the same keys would, through growth, wrap-around probes
// and the key 0 it keeps aside.
class TestMsgFingerprintSet : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void answersAsASetOfTheSameKeys_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<quint64>("step"); // keys are i * step (+ zero when asked)
        QTest::addColumn<bool>("withZero");
        QTest::newRow("empty") << 0 << quint64(1) << false;
        QTest::newRow("zero alone") << 0 << quint64(1) << true;
        QTest::newRow("small, consecutive") << 10 << quint64(1) << true;
        QTest::newRow("through several growths") << 5000 << quint64(7919) << false;
        QTest::newRow("same low bits") << 3000 << (quint64(1) << 40) << true;
        QTest::newRow("same high bits") << 3000 << quint64(1) << false;
        QTest::newRow("the top of the range") << 2000 << ~quint64(0) / 2001 << false;
    }

    void answersAsASetOfTheSameKeys()
    {
        QFETCH(int, count);
        QFETCH(quint64, step);
        QFETCH(bool, withZero);
        MsgFingerprintSet set;
        QSet<quint64> model;
        for (int i = 1; i <= count; ++i) {
            const quint64 key = quint64(i) * step;
            set.insert(key);
            set.insert(key); // again: no second entry
            model.insert(key);
        }
        QCOMPARE(set.contains(0), false);
        if (withZero) {
            set.insert(0);
            model.insert(0);
        }
        QCOMPARE(set.size(), size_t(model.size()));
        for (int i = 0; i <= count + 1; ++i) {
            const quint64 key = quint64(i) * step;
            QCOMPARE(set.contains(key), model.contains(key));
            QCOMPARE(set.contains(key + 1), model.contains(key + 1));
        }
        set.clear();
        QCOMPARE(set.size(), size_t(0));
        QCOMPARE(set.contains(step), false);
        QCOMPARE(set.contains(0), false);
    }
};

QTEST_MAIN(TestMsgFingerprintSet)
#include "TestMsgFingerprintSet.moc"
