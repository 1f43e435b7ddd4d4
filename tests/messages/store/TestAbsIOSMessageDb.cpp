#include "messages/store/AbsIOSMessageDb.h"
#include "messages/support/MsgFixtures.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QtTest>

using namespace MsgFixtures;

class TestAbsIOSMessageDb : public QObject
{
    Q_OBJECT

    QString makeDb(const QString& sql)
    {
        static int n = 0;
        const QString path = TestEnv::tempDir() + QString("/db%1.sqlite").arg(++n);
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.close();
        if (!sql.isEmpty())
            execSql(path, sql);
        return path;
    }

private Q_SLOTS:
    void schemaGenerations()
    {
        const QString five = "create table chat(a);create table handle(a);create table message(a);"
                             "create table chat_message_join(a);";
        QCOMPARE(AbsIOSMessageDb::checkDbType(
                     makeDb(five + "create table chat_handle_join(a);create table x(a);")),
            6);
        QCOMPARE(AbsIOSMessageDb::checkDbType(makeDb(five)), 5);
        QCOMPARE(AbsIOSMessageDb::checkDbType(makeDb(QString())), 5);
        QCOMPARE(AbsIOSMessageDb::checkDbType(makeDb(
                     "create table Chat(a);create table handle(a);create table message(a);create table "
                     "chat_message_join(a);create table chat_handle_join(a);")),
            5);
        // A view in a table's place is refused by name, not taken for the earlier schema.
        QString what;
        try {
            AbsIOSMessageDb::checkDbType(makeDb(
                "create table c(a);create view chat as select * from c;create table handle(a);create table "
                "message(a);create table chat_message_join(a);create table chat_handle_join(a);"));
        } catch (const std::runtime_error& e) {
            what = QString::fromUtf8(e.what());
        }
        QVERIFY2(what.contains("its \"chat\" is a view"), qPrintable(what));
    }

    void missingOrBrokenFiles()
    {
        const QString missing = TestEnv::tempDir() + "/none.db";
        QVERIFY_THROWS_EXCEPTION(std::exception, AbsIOSMessageDb::checkDbType(missing));
        QVERIFY(!QFile::exists(missing));
        const QString text = TestEnv::tempDir() + "/text.db";
        QFile f(text);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(2048, 'z'));
        f.close();
        const QByteArray before = fileHash(text);
        QVERIFY_THROWS_EXCEPTION(std::exception, AbsIOSMessageDb::checkDbType(text));
        QCOMPARE(fileHash(text), before);
    }
};

QTEST_GUILESS_MAIN(TestAbsIOSMessageDb)
#include "TestAbsIOSMessageDb.moc"
