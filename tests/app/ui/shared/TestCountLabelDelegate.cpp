#include "app/ui/shared/CountLabelDelegate.h"

#include <QApplication>
#include <QFontMetrics>
#include <QtTest>

class TestCountLabelDelegate : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void countStaysWhole_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("room"); // the text whose width is given
        QTest::addColumn<QString>("start"); // what the label begins with
        QTest::addColumn<QString>("end"); // and ends with
        QTest::newRow("fits") << "SMS(105)"
                              << "SMS(105)"
                              << "SMS(105)"
                              << "SMS(105)";
        QTest::newRow("name cut") << "Call History(1000)"
                                  << "Call Hi(1000)"
                                  << "Call"
                                  << "\u2026(1000)";
        QTest::newRow("count alone") << "Contacts(123456)"
                                     << "(123456)"
                                     << "\u2026"
                                     << "(123456)";
        QTest::newRow("unreadable count") << "Notes and more(?)"
                                          << "Notes(?)"
                                          << "No"
                                          << "\u2026(?)";
        QTest::newRow("no count: middle") << "Test Legacy Plain Backup One"
                                          << "Test Legacy One"
                                          << "Test"
                                          << "One";
    }
    void countStaysWhole()
    {
        QFETCH(QString, text);
        QFETCH(QString, room);
        QFETCH(QString, start);
        QFETCH(QString, end);
        const QFontMetrics fm(QApplication::font());
        const int width = fm.horizontalAdvance(room);
        const QString shown = CountLabelDelegate::fitted(fm, text, width);
        QVERIFY2(shown.startsWith(start) && shown.endsWith(end), qPrintable(shown));
        if (shown != text)
            QVERIFY2(fm.horizontalAdvance(shown) <= width || shown == "\u2026" + end, qPrintable(shown));
    }
};

QTEST_MAIN(TestCountLabelDelegate)
#include "TestCountLabelDelegate.moc"
