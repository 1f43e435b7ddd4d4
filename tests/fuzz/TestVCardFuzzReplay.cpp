// Replays the seed corpus of the vCard fuzz target (tests/fuzz/corpus/vcard) through its entry
// point in the normal build, so every input that once crashed or hung stays covered.
#include "../../tools/fuzz/fuzz_vcard.cpp"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QtTest>

class TestVCardFuzzReplay : public QObject
{
    Q_OBJECT

private slots:
    void replaysTheCorpus()
    {
        const QString dir = QStringLiteral(QM_SOURCE_DIR "/tests/fuzz/corpus/vcard");
        QDirIterator it(dir, QDir::Files);
        int files = 0;
        while (it.hasNext()) {
            QFile f(it.next());
            QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(f.fileName()));
            const QByteArray bytes = f.readAll();
            QElapsedTimer timer;
            timer.start();
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
            QVERIFY2(timer.elapsed() < 5000, qPrintable(f.fileName()));
            ++files;
        }
        QVERIFY2(files >= 10, qPrintable(QString("only %1 inputs in %2").arg(files).arg(dir)));
    }
};

QTEST_GUILESS_MAIN(TestVCardFuzzReplay)
#include "TestVCardFuzzReplay.moc"
