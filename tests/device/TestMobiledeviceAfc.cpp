#include "device/mobiledevice_afc.h"
#include "device/support/FakeDeviceBackend.h"
#include "support/TestEnv.h"

#include <QBuffer>
#include <QFile>
#include <QtTest>

namespace
{
// Records the size of each write, to see the copy buffer at work.
class CountingBuffer : public QBuffer
{
public:
    QList<qint64> writes;

protected:
    qint64 writeData(const char* data, qint64 len) override
    {
        writes << len;
        return QBuffer::writeData(data, len);
    }
};
} // namespace

class TestMobiledeviceAfc : public QObject
{
    Q_OBJECT
    std::shared_ptr<FakeDeviceBackend> backend;
    QString afcRoot;

private Q_SLOTS:
    void init()
    {
        backend = FakeDeviceBackend::install();
        afcRoot = TestEnv::tempDir();
        backend->addDevice("U1").afcRoot = afcRoot;
    }
    void cleanup() { FakeDeviceBackend::uninstall(); }

    void nothingWorksBeforeTheServiceStarts()
    {
        mobiledevice_afc afc("U1");
        QVERIFY(!afc.fileInfo("/").isValid());
        QVERIFY(afc.ls("/", true).isEmpty());
        QVERIFY(!afc.mkdir("/x"));
        QVERIFY(!afc.del("/x"));
        AfcFile file;
        QVERIFY(!afc.readFile("/x", file));
        QCOMPARE(file.lock(AfcLockExclusive), 1);
        QCOMPARE(file.read(nullptr, 0), -1);
        QVERIFY(afc.readFileContent("/x").isEmpty());
        mobiledevice_afc absent("nobody");
        QVERIFY(!absent.startService());
    }

    void listsAndDescribesPaths()
    {
        mobiledevice_afc afc("U1");
        QVERIFY(afc.startService());
        QVERIFY(afc.mkdir("/iTunesRestore"));
        afc.writeFileContent("/iTunesRestore/RestoreApplications.plist", QByteArray("plist"));
        QCOMPARE(afc.ls("/", true), QStringList { "iTunesRestore" });
        QCOMPARE(afc.ls("/", false), (QStringList { ".", "..", "iTunesRestore" }));
        const _AfcFileInfo info = afc.fileInfo("/iTunesRestore/RestoreApplications.plist");
        QVERIFY(info.isFile());
        QCOMPARE(info.size, 5);
        QCOMPARE(info.name, QStringLiteral("/iTunesRestore/RestoreApplications.plist"));
        QVERIFY(info.mtime.isValid());
        const _AfcFileInfo missing = afc.fileInfo("/nothing");
        QVERIFY(!missing.isValid());
        QVERIFY(missing.name.isEmpty());
        const auto details = afc.ls_finfo("/iTunesRestore");
        QCOMPARE(details.size(), 1);
        QCOMPARE(details[0].name, QStringLiteral("/iTunesRestore/RestoreApplications.plist"));

        _AfcFileInfo dir("x");
        dir.ifmt = "s_ifdir";
        QVERIFY(dir.isDir());
        QVERIFY(afc.rename("/iTunesRestore", "/moved"));
        QVERIFY(afc.del("/moved"));
        QVERIFY(!QFileInfo::exists(afcRoot + "/moved"));
    }

    void copiesWholeFilesInPieces()
    {
        QByteArray data(20000, 'q');
        QFile file(afcRoot + "/big");
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(data);
        file.close();
        mobiledevice_afc afc("U1");
        QVERIFY(afc.startService());
        CountingBuffer out;
        out.open(QIODevice::WriteOnly);
        afc.readFileContent("/big", out);
        QCOMPARE(out.writes, (QList<qint64> { 8192, 8192, 3616 }));
        QCOMPARE(out.data(), data);

        afc.writeFileContent("/copy", data);
        QCOMPARE(afc.readFileContent("/copy"), data);

        AfcFile open;
        QVERIFY(afc.readWriteFile("/copy", open));
        QCOMPARE(open.lock(AfcLockShared), 0);
        char head[4];
        QCOMPARE(open.read(head, 4), 4);
        open.close();
        QCOMPARE(open.read(head, 4), -1);
    }
};

QTEST_GUILESS_MAIN(TestMobiledeviceAfc)
#include "TestMobiledeviceAfc.moc"
