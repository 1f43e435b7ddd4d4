#include "app/IdsTranslator.h"
#include "app/ui/shared/ProgressForm.h"
#include "app/ui/support/EnglishTexts.h"
#include "contacts/support/ExportFixtures.h"
#include "contacts/ui/ExportToFileThread.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QProgressBar>
#include <QtTest>
#include <algorithm>

using ExportFixtures::contact;

namespace
{
int run(const QList<pim::_Contact>& list, ExportToFileThread::TYPE type, const QString& path, QString& text,
    bool cancelFirst = false)
{
    ProgressForm form;
    form.setQuiet(true);
    form.cancelled = cancelFirst;
    ExportToFileThread thread(list, type, path, &form);
    thread.start();
    const int result = cancelFirst ? (thread.wait(), 0) : form.exec();
    thread.wait();
    text = form.resultText();
    return result;
}

QByteArray read(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QList<pim::_Contact> three()
{
    return { contact("A", { { 3, { { "data1", "1" } } } }), contact("B", {}), contact("C", {}) };
}
} // namespace

class TestExportToFileThread : public QObject
{
    Q_OBJECT
    IdsTranslator m_translator;

private slots:
    void initTestCase() { installEnglishTexts(m_translator); }

    void writesEachForm_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("start");
        QTest::newRow("vcard") << int(ExportToFileThread::VCARD) << "x.csv" << QByteArray("BEGIN:VCARD\r\n");
        QTest::newRow("csv") << int(ExportToFileThread::CSV) << "x.dat" << QByteArray("Tel:Other\n");
        QTest::newRow("txt") << int(ExportToFileThread::TXT) << "x.txt" << QByteArray("Tel:Other ");
        QTest::newRow("html") << int(ExportToFileThread::HTML) << "x.doc" << QByteArray("<!DOCTYPE html");
    }

    void writesEachForm()
    {
        QFETCH(int, type);
        QFETCH(QString, name);
        QFETCH(QByteArray, start);
        const QString path = TestEnv::tempDir() + "/" + name;
        QString text;
        QCOMPARE(run(three(), ExportToFileThread::TYPE(type), path, text), 1);
        QCOMPARE(text, QString("Successfully extracted 3 Contacts."));
        const QString file = type == ExportToFileThread::HTML ? path + "/" + name : path;
        QVERIFY2(read(file).startsWith(start), read(file).left(40).constData());
    }

    void progressValues_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QList<int>>("percents"); // empty: only checked to rise to 100
        QTest::newRow("one") << 1 << QList<int> { 100 };
        QTest::newRow("three") << 3 << QList<int> { 33, 66, 100 };
        QTest::newRow("many") << 250 << QList<int>();
    }
    void progressValues()
    {
        QFETCH(int, count);
        QFETCH(QList<int>, percents);
        QList<pim::_Contact> list;
        for (int i = 0; i < count; ++i)
            list.append(contact(QString("P%1").arg(i), {}));
        ProgressForm form;
        form.setQuiet(true);
        QList<int> seen;
        auto* bar = form.findChild<QProgressBar*>("progressBar");
        QVERIFY(bar);
        connect(bar, &QProgressBar::valueChanged, this, [&](int v) { seen.append(v); });
        ExportToFileThread thread(list, ExportToFileThread::VCARD, TestEnv::tempDir() + "/p.vcf", &form);
        thread.start();
        QCOMPARE(form.exec(), 1);
        thread.wait();
        if (!percents.isEmpty())
            QCOMPARE(seen, percents);
        QCOMPARE(seen.last(), 100);
        QVERIFY(std::is_sorted(seen.begin(), seen.end()));
        QVERIFY(seen.size() <= 101);
        QCOMPARE(form.detailText(), QString("Contacts:%1/%1").arg(count));
    }

    void unknownFormIsAnEmptyError()
    {
        QString text = "x";
        QCOMPARE(run(three(), ExportToFileThread::TYPE(9), TestEnv::tempDir() + "/x", text), 0);
        QCOMPARE(text, QString());
    }

    void cancelKeepsAnExistingFile()
    {
        const QString path = TestEnv::tempDir() + "/old.vcf";
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("old");
        f.close();
        QString text;
        QCOMPARE(run(three(), ExportToFileThread::VCARD, path, text, true), 0);
        QCOMPARE(read(path), QByteArray("old"));
        QCOMPARE(QDir(QFileInfo(path).path()).entryList(QDir::Files), QStringList { "old.vcf" });
    }

    void cancelledHtmlRemovesWhatItMade()
    {
        const QString base = TestEnv::tempDir();
        QString text;
        QCOMPARE(run({ contact("A", { { 2, { { "data15", ExportFixtures::png() } } } }) },
                     ExportToFileThread::HTML, base + "/page.html", text, true),
            0);
        QCOMPARE(QDir(base).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    }

    void failuresAreErrors_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("path");
        QTest::newRow("missing folder") << int(ExportToFileThread::CSV) << "/no/such/folder/x.csv";
        QTest::newRow("html folder is a file") << int(ExportToFileThread::HTML) << "FILE";
        QTest::newRow("html photos folder is a link") << int(ExportToFileThread::HTML) << "PHOTOS LINK";
    }

    void failuresAreErrors()
    {
        QFETCH(int, type);
        QFETCH(QString, path);
        if (path == "FILE") {
            path = TestEnv::tempDir() + "/taken.html";
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        QString outside; // where a link in the export folder leads: it gets nothing
        if (path == "PHOTOS LINK") {
            path = TestEnv::tempDir() + "/linked.html";
            outside = TestEnv::tempDir();
            QVERIFY(QDir().mkpath(path) && QFile::link(outside, path + "/photos"));
        }
        QString text;
        QCOMPARE(run(three(), ExportToFileThread::TYPE(type), path, text), 0);
        QVERIFY(!text.isEmpty());
        if (outside.isEmpty())
            QVERIFY(!QFileInfo(path).isDir());
        else
            QCOMPARE(QDir(outside).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    }
};

QTEST_MAIN(TestExportToFileThread)
#include "TestExportToFileThread.moc"
