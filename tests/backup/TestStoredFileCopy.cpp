#include "backup/BackupManifest.h"
#include "backup/StoredFile.h"
#include "backup/support/BackupReads.h"
#include "backup/support/GenBackup.h"
#include "messages/support/MsgFixtures.h"
#include "notes_media/PhotoThumbnail.h"
#include "support/TestEnv.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtEndian>
#include <QtTest>
#include <stdexcept>

namespace
{

using BackupReads::errorOf;
using BackupReads::extract;
using BackupReads::loadError;
using BackupReads::readAll;

// What copying node to out throws: "not as written: " and why for a copy that is not the file the
// phone wrote, another error's text, or nothing.
QString copyError(const BackupManifest& m, const BackupManifest::_FileNode* node, const QString& out)
{
    return errorOf([&] {
        try {
            m.copyFile(node, out, nullptr, nullptr);
        } catch (const BackupManifest::NotAsWritten& e) {
            throw std::runtime_error(QByteArray("not as written: ") + e.what());
        }
    });
}

// A database's log ("-wal") with its header alone, or with committed frames of pages 1 to 256 of
// 4096 bytes: all that a database caught in a checkpoint may lack.
QString logFile(bool frames)
{
    const auto number = [](QByteArray& b, int at, quint32 n) { qToBigEndian<quint32>(n, b.data() + at); };
    QByteArray log(32, '\0');
    number(log, 0, 0x377f0682);
    number(log, 8, 4096);
    number(log, 16, 7);
    for (quint32 page = 1; frames && page <= 256; ++page) {
        QByteArray frame(24 + 4096, '\0');
        number(frame, 0, page);
        number(frame, 4, page == 256 ? 256 : 0);
        number(frame, 8, 7);
        log += frame;
    }
    const QString path = TestEnv::tempDir() + (frames ? "/frames-wal" : "/header-wal");
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(log);
    return path;
}

// A plain stored copy cut short by damage: an empty one, a picture, or a database shorter than its
// own header gives, is never a success, though its bytes are written.
void checkPlainCutShort(
    const BackupManifest& m, const BackupManifest::_FileNode* node, const QString& damage, const QString& out)
{
    const QString stored = m.storedFilePath(node->item);
    const QString err = copyError(m, node, out);
    QVERIFY2(err.startsWith("not as written: ") && err.contains(node->item.backupFileName())
            && err.contains(damage == "empty" ? "it is empty" : "it is shorter than its record")
            && err.contains(QString("its record gives %1 bytes").arg(node->item.size)),
        qPrintable(err));
    QVERIFY(QFileInfo::exists(out));
    QCOMPARE(readAll(out), readAll(stored));
    if (node->item.pathUtf8.endsWith(".JPG"))
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, PhotoThumbnail::readStoredThrow(m, node));
    if (damage == "empty")
        return;
    const BackupManifest::_FileNode* db = m.findNode("HomeDomain", "Library/SMS/sms.db");
    const qint64 length = QFileInfo(m.storedFilePath(db->item)).size();
    QVERIFY(length < db->item.size);
    const QString cut = copyError(m, db, out);
    const bool inHeader = damage.startsWith("first-");
    QVERIFY2(cut.startsWith("not as written: ")
            && cut.contains(inHeader ? "ends inside the 100 bytes of the database's own header"
                                     : "than the database's own header gives")
            && cut.contains(QString("Its %1 bytes were written to").arg(length)),
        qPrintable(cut));
    QCOMPARE(readAll(out), readAll(m.storedFilePath(db->item)));
    if (inHeader)
        return;
    // One with a log beside it may be caught in a checkpoint, its log holding the rest: a success.
    BackupManifest::_FileNode* book = m.findNode("HomeDomain", "Library/AddressBook/AddressBook.sqlitedb");
    QVERIFY(QFileInfo(m.storedFilePath(book->item)).size()
        < StoredFile::databaseLength(readAll(m.storedFilePath(book->item)).left(100)));
    QCOMPARE(copyError(m, book, out), QString());
    // A whole database whose record's size went stale is copied as a success; so is one whose
    // header's page count an older writer left stale (the number at 92 is not the one at 24).
    BackupManifest::_FileNode* notes = m.findNode("HomeDomain", "Library/Notes/notes.sqlite");
    notes->item.size += 4096;
    QCOMPARE(copyError(m, notes, out), QString());
    QFile header(m.storedFilePath(notes->item));
    QVERIFY(header.open(QIODevice::ReadWrite));
    QByteArray head = header.read(100);
    qToBigEndian<quint32>(
        quint32(header.size() / qFromBigEndian<quint16>(head.constData() + 16) + 8), head.data() + 28);
    qToBigEndian<quint32>(qFromBigEndian<quint32>(head.constData() + 24) + 1, head.data() + 92);
    QVERIFY(header.seek(0) && header.write(head) == 100);
    header.close();
    QCOMPARE(copyError(m, notes, out), QString());
}

} // namespace

// The copy of a stored file out of a backup (BackupManifest::copyFile, StoredFileCopy): whole
// whatever its record's size says, and a copy that is not the file the phone wrote (cut short,
// under another key, left encrypted) never passes for one, though what there is is written.
class TestStoredFileCopy : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // A device records a size that differs from the stored file for a file that changed while it
    // was backed up: every road that decrypts the file gives the whole file all the same.
    void recordSizeNeverCutsAFile_data()
    {
        QTest::addColumn<QString>("layout");
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("delta");
        // The stored copies as make_backup.py --stored-damage leaves them, empty for the phone's own.
        // A layout beginning "plain " is of a backup without a password.
        QTest::addColumn<QString>("damage");
        for (const char* path : { "Library/SMS/sms.db", "Library/AddressBook/AddressBook.sqlitedb",
                 "Media/DCIM/100APPLE/IMG_0002.JPG" })
            for (int delta : { -4096, 5000, 8 })
                QTest::addRow("db, %s, %d", path, delta) << "db" << QString(path) << delta << "";
        QTest::newRow("mbdb, sms.db, -4096") << "mbdb"
                                             << "Library/SMS/sms.db" << -4096 << "";
        // A copy cut short at a block boundary, one under a key the record does not hold: never a
        // success, though what they decrypt to is written. One another tool decrypted in place: copied
        // as it stands.
        for (const char* path : { "Library/SMS/sms.db", "Media/DCIM/100APPLE/IMG_0002.JPG" })
            for (const char* damage : { "cut-half", "other-key", "in-place" })
                QTest::addRow("db, %s, %s", path, damage) << "db" << QString(path) << 0 << damage;
        QTest::newRow("mbdb, sms.db, cut-half") << "mbdb"
                                                << "Library/SMS/sms.db" << 0 << "cut-half";
        // Decrypted in place, and its last block happens to decrypt to valid padding under its key.
        QTest::newRow("db, sms.db, in-place-padded") << "db"
                                                     << "Library/SMS/sms.db" << 0 << "in-place-padded";
        QTest::newRow("db, AddressBook.sqlitedb, in-place")
            << "db"
            << "Library/AddressBook/AddressBook.sqlitedb" << 0 << "in-place";
        // A backup another tool decrypted, read without a password, in which that tool left a file as
        // the device encrypted it: never a success, its bytes copied as they stand.
        for (const char* path : { "Library/SMS/sms.db", "Media/DCIM/100APPLE/IMG_0002.JPG" })
            QTest::addRow("db decrypted by another tool, %s, still-encrypted", path)
                << "db" << QString(path) << 0 << "still-encrypted";
        // A plain backup, where the record's size is the only witness: an empty copy of a file that
        // held bytes, and a picture cut short, are never a success, though what there is is written.
        // A database cut short is told by its own header (checked in the same rows).
        for (const char* damage : { "empty", "short-half", "short-1000", "first-50" })
            QTest::addRow("plain db, IMG_0002.JPG, %s", damage)
                << "plain db" << QString("Media/DCIM/100APPLE/IMG_0002.JPG") << 0 << damage;
        QTest::newRow("plain db, sms.db, empty") << "plain db"
                                                 << "Library/SMS/sms.db" << 0 << "empty";
        QTest::newRow("plain mbdb, IMG_0002.JPG, short-1000")
            << "plain mbdb"
            << "Media/DCIM/100APPLE/IMG_0002.JPG" << 0 << "short-1000";
    }
    void recordSizeNeverCutsAFile()
    {
        QFETCH(QString, layout);
        QFETCH(QString, path);
        QFETCH(int, delta);
        QFETCH(QString, damage);
        const bool plain = layout.startsWith("plain ");
        // One backup per layout, delta and damage, every file of the table off by it.
        static QHash<QString, QString> made;
        const QString key = QString(layout).replace(' ', '-') + QString::number(delta) + damage;
        const QStringList paths { "Library/SMS/sms.db", "Library/AddressBook/AddressBook.sqlitedb",
            "Media/DCIM/100APPLE/IMG_0002.JPG" };
        if (!made.contains(key)) {
            QStringList args { "--layout", layout.section(' ', -1), "--photo-width", "640", "--photo-height",
                "480" };
            if (!plain)
                args += QStringList { "--password", "pw", "--iter", "5", "--dpic", "5" };
            for (const QString& p : paths) {
                args << "--size-delta" << QString("%1=%2").arg(p).arg(delta);
                if (!damage.isEmpty())
                    args << "--stored-damage" << QString("%1=%2").arg(p, damage);
            }
            if (damage == "still-encrypted")
                args << "--decrypted-copy";
            if (plain) // logs beside the databases: one that holds the rest of its own, one that holds none
                args << "--put"
                     << "HomeDomain:Library/AddressBook/AddressBook.sqlitedb-wal=" + logFile(true) << "--put"
                     << "HomeDomain:Library/SMS/sms.db-wal=" + logFile(false);
            made.insert(key, GenBackup::make(args, "0123456789abcdef0123456789abcdef01234567-" + key));
        }
        const QString dir = made[key];
        QVERIFY(!dir.isEmpty());
        BackupManifest m(dir);
        m.readManifestInfo();
        QVERIFY(plain || m.setPasscode("pw"));
        m.parseInfo();
        const QString domain = path.startsWith("Media/") ? "CameraRollDomain" : "HomeDomain";
        const auto* node = m.findNode(domain, path);
        QVERIFY(node);
        const QJsonObject truth = QJsonDocument::fromJson(readAll(dir + "/generator-summary.json"))
                                      .object()["resized"]
                                      .toObject()[domain + "/" + path]
                                      .toObject();
        QCOMPARE(node->item.size, qint64(truth["size"].toInt())); // the tree shows the record's size
        QVERIFY(truth["length"].toInt() > 4096);
        const QString out = TestEnv::tempDir() + "/whole.bin";
        QFile::remove(out);
        if (plain) {
            checkPlainCutShort(m, node, damage, out);
            return;
        }
        if (damage == "still-encrypted") {
            QVERIFY(!m.IsEncrypted); // most of its files are plain: read as a decrypted copy
            QString err;
            try {
                m.copyFile(node, out, nullptr, nullptr);
            } catch (const BackupManifest::NotAsWritten& e) {
                err = QString::fromUtf8(e.what());
            }
            QVERIFY2(err.contains(node->item.backupFileName()) && err.contains("is still encrypted")
                    && err.contains(QString("its record gives %1 bytes").arg(node->item.size)),
                qPrintable(err));
            QCOMPARE(readAll(out), readAll(m.storedFilePath(node->item)));
            return;
        }
        if (damage == "cut-half" || damage == "other-key") {
            QString err;
            try {
                m.copyFile(node, out, nullptr, nullptr);
            } catch (const BackupManifest::NotAsWritten& e) {
                err = QString::fromUtf8(e.what());
            }
            QVERIFY2(err.contains(node->item.backupFileName()) && err.contains("ends without its padding")
                    && err.contains(QString("its record gives %1 bytes").arg(node->item.size)),
                qPrintable(err));
            // Nothing is lost: what the stored copy holds is written, a cut database still begins as one.
            const qint64 stored = QFileInfo(m.storedFilePath(node->item)).size();
            QVERIFY(QFileInfo(out).size() == stored || QFileInfo(out).size() == node->item.size);
            if (damage == "cut-half")
                QVERIFY(readAll(out).startsWith(path.endsWith(".JPG") ? "\xff\xd8\xff" : "SQLite format 3"));
            // Thumbnails draw none.
            QVERIFY_THROWS_EXCEPTION(std::runtime_error, PhotoThumbnail::readStoredThrow(m, node));
            return;
        }
        m.copyFile(node, out, nullptr, nullptr);
        const QByteArray bytes = readAll(out);
        QCOMPARE(bytes.size(), truth["length"].toInt());
        QCOMPARE(QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex(),
            truth["sha1"].toString().toLatin1());
        if (path.endsWith(".JPG")) {
            QVERIFY(!PhotoThumbnail::make(PhotoThumbnail::readStoredThrow(m, node), QSize(64, 64)).isNull());
            return;
        }
        QCOMPARE(MsgFixtures::querySql(out, "pragma integrity_check"), QString("ok"));
        if (path.endsWith("sms.db"))
            QCOMPARE(MsgFixtures::querySql(out, "select count(*) from message"), QString("2"));
    }

    // A backup another tool decrypted, its Manifest.plist saying plain or lost, in which that tool
    // left a file as the device encrypted it: the backup reads as plain, the other databases are the
    // tool's plain copies, and the file left encrypted is named when copied, its bytes copied as
    // they stand.
    void namesAFileLeftEncryptedInADecryptedCopy_data()
    {
        QTest::addColumn<QStringList>("args");
        const QStringList missing { "--manifest-plist", "missing" };
        const QStringList leftEncrypted { "--password", "pw", "--iter", "5", "--dpic", "5",
            "--decrypted-copy", "--stored-damage", "Library/SMS/sms.db=still-encrypted" };
        QTest::newRow("db decrypted, sms.db left encrypted, Manifest.plist says plain")
            << leftEncrypted + QStringList { "--manifest-plist", "not-encrypted" };
        QTest::newRow("db decrypted, sms.db left encrypted, no Manifest.plist") << leftEncrypted + missing;
        QTest::newRow("mbdb decrypted, sms.db left encrypted, Manifest.plist says plain")
            << QStringList { "--layout", "mbdb" } + leftEncrypted
                + QStringList { "--manifest-plist", "not-encrypted" };
    }
    void namesAFileLeftEncryptedInADecryptedCopy()
    {
        QFETCH(QStringList, args);
        const QString dir = GenBackup::make(args);
        QVERIFY(!dir.isEmpty());
        BackupManifest m(dir);
        const QString err = loadError(m);
        QVERIFY2(err.isEmpty(), qPrintable(err));
        QVERIFY(!m.IsEncrypted);
        // The other databases are the tool's plain copies; the one it left encrypted is named.
        for (const auto* n : { m.addressBookNode, m.notesNode, m.calendarNode, m.bookmarksNode })
            QCOMPARE(extract(m, n).left(15), QByteArray("SQLite format 3"));
        const QString out = TestEnv::tempDir() + "/left.bin";
        QString named;
        try {
            m.copyFile(m.smsNode, out, nullptr, nullptr);
        } catch (const BackupManifest::NotAsWritten& e) {
            named = QString::fromUtf8(e.what());
        }
        QVERIFY2(named.contains(m.smsNode->item.backupFileName())
                && named.contains("is still encrypted, although the backup was decrypted by another tool"),
            qPrintable(named));
        QCOMPARE(readAll(out), readAll(m.storedFilePath(m.smsNode->item)));
    }

    void lockedBackupNeverCopiesCiphertextAsFile()
    {
        const QString dir = GenBackup::make({ "--layout", "mbdb", "--password", "pw", "--iter", "5" });
        BackupManifest m(dir);
        m.readManifestInfo();
        m.parseInfo(); // mbdb records are readable without the password
        const QString err = errorOf([&] { extract(m, m.smsNode); });
        QVERIFY2(err.startsWith("BackupManifest::decryptFile: decrypt failed.") && err.contains("locked"),
            qPrintable(err));
    }
};

QTEST_GUILESS_MAIN(TestStoredFileCopy)
#include "TestStoredFileCopy.moc"
