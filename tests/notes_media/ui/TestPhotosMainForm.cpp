#include "app/IdsTranslator.h"
#include "app/PictureDecoder.h"
#include "app/ui/DataPageFactory.h"
#include "app/ui/ItemModelBK.h"
#include "app/ui/shared/ProgressForm.h"
#include "app/ui/support/EnglishTexts.h"
#include "app/ui/support/ModalAnswerer.h"
#include "backup/BackupManifest.h"
#include "backup/lock/BackupFolderLock.h"
#include "backup/support/GenBackup.h"
#include "backup/support/OtherWriter.h"
#include "backup/ui/BackupWaitUi.h"
#include "notes_media/PhotoThumbnail.h"
#include "notes_media/ui/ItemModelPhotoIcon.h"
#include "notes_media/ui/PhotoThumbThread.h"
#include "notes_media/ui/PhotosMainForm.h"
#include "support/TestEnv.h"
#include "support/ui/GuiTestEnv.h"

#include <QAction>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPixmap>
#include <QPointer>
#include <QProcess>
#include <QTimer>
#include <QtTest>
#include <atomic>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

const QString kPassword = "1234";
const QStringList kCamera
    = { "--photos", "7", "--videos", "3", "--put", "CameraRollDomain:Media/DCIM/100APPLE/IMG_0900.JPG=" };

QByteArray bytesOf(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Pictures and movies under Media/DCIM/ as the manifest database lists them, counted by sqlite3.
int cameraFilesInDb(const QString& backup, const QString& suffixes)
{
    QProcess p;
    p.start("sqlite3",
        { backup + "/Manifest.db",
            QString("select count(*) from Files where flags=1 and relativePath like 'Media/DCIM/%' "
                    "and lower(substr(relativePath,-4)) in (%1)")
                .arg(suffixes) });
    p.waitForFinished();
    return p.readAllStandardOutput().trimmed().toInt();
}

std::unique_ptr<BackupManifest> opened(const QString& dir, bool encrypted)
{
    auto m = std::make_unique<BackupManifest>(dir);
    m->readManifestInfo();
    if (encrypted && !m->setPasscode(kPassword))
        return nullptr;
    m->parseInfo();
    return m;
}

bool allPicturesShown(const PhotosMainForm& page)
{
    for (int r = 0; r < page.model->rowCount(); ++r)
        if (!page.model->hasPicture(r))
            return false;
    return true;
}

QSize pictureSize(const PhotosMainForm& page, int row)
{
    return page.model->index(row, 0).data(Qt::DecorationRole).value<QPixmap>().size();
}

} // namespace

// The photo and video pages over generated backups, plain and encrypted.
class TestPhotosMainForm : public QObject
{
    Q_OBJECT
    IdsTranslator m_translator;
    QString m_plain, m_locked, m_garbage;
    QStringList m_args; // of m_plain

    std::unique_ptr<BackupManifest> backup(bool encrypted)
    {
        return opened(encrypted ? m_locked : m_plain, encrypted);
    }

    // The page as the main window builds it for the node kind.
    static PhotosMainForm* pageOf(int kind, BackupManifest* m, const QDir& dataDir, QWidget* parent)
    {
        DataPageFactory::Page made = DataPageFactory::backupPage(kind, m, dataDir, parent);
        auto* page = qobject_cast<PhotosMainForm*>(made.page);
        if (page && (made.savesToLocalDb || made.actions.size() != 1))
            return nullptr;
        return page;
    }

private Q_SLOTS:
    void initTestCase()
    {
        installEnglishTexts(m_translator);
        const QString tmp = TestEnv::tempDir();
        m_garbage = tmp + "/broken.jpg";
        QFile f(m_garbage);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("\xff\xd8\xff\xe0 this is no picture");
        f.close();
        QStringList args = kCamera;
        args.last() += m_garbage;
        m_args = args;
        m_plain = GenBackup::make(args);
        m_locked = GenBackup::make(args + QStringList({ "--password", kPassword, "--dpic", "5" }), "locked");
        QVERIFY(!m_plain.isEmpty() && !m_locked.isEmpty());
    }

    void showsThumbnailsThenServesThemFromCache_data()
    {
        QTest::addColumn<bool>("encrypted");
        // The stored copy of IMG_0002.JPG as make_backup.py --stored-damage leaves it: no thumbnail is
        // drawn from what there is of it, and none is kept.
        // "eio": its reads fail as a failing disk's do (a link to this process's memory).
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("why"); // in its tooltip; %1 the stored copy
        QTest::newRow("plain") << false << ""
                               << "";
        QTest::newRow("encrypted") << true << ""
                                   << "";
        QTest::newRow("plain, a picture shorter than its record") << false << "short-half"
                                                                  << "%1 is shorter than its record";
        QTest::newRow("encrypted, a picture without its padding") << true << "cut-half"
                                                                  << "%1 ends without its padding";
        const QString eio = "Cannot read %1. Input/output error";
        QTest::newRow("plain, a read the disk fails") << false << "eio" << eio;
        QTest::newRow("encrypted, a read the disk fails") << true << "eio" << eio;
        QTest::newRow("encrypted, key-class")
            << true << "key-class"
            << "Cannot decrypt %1. The file key in its record is of protection class 20, which the "
               "backup's keybag does not hold.";
        QTest::newRow("encrypted, key-none") << true << "key-none"
                                             << "Cannot decrypt %1. Its record holds no file key";
    }
    void showsThumbnailsThenServesThemFromCache()
    {
        QFETCH(bool, encrypted);
        QFETCH(QString, damage);
        QFETCH(QString, why);
        // Generated pictures are 160 x 120; the broken and the damaged one get the square placeholder.
        const auto square = [&](const QString& name) {
            return name == "IMG_0900.JPG" || (!damage.isEmpty() && name == "IMG_0002.JPG");
        };
        const QString damaged = "Media/DCIM/100APPLE/IMG_0002.JPG";
        const QStringList args = m_args
            + (damage == "eio" ? QStringList() : QStringList { "--stored-damage", damaged + "=" + damage })
            + (encrypted ? QStringList { "--password", kPassword, "--dpic", "5" } : QStringList());
        std::unique_ptr<BackupManifest> m
            = damage.isEmpty() ? backup(encrypted) : opened(GenBackup::make(args), encrypted);
        QVERIFY(m);
        const QString stored = m->storedFilePath(m->findNode("CameraRollDomain", damaged)->item);
        if (damage == "eio")
            QVERIFY(QFile::remove(stored) && QFile::link("/proc/self/mem", stored));
        const QDir data(TestEnv::tempDir());
        QWidget window;
        window.resize(900, 600);
        PhotosMainForm* page = pageOf(ItemModelBK::KindPhotos, m.get(), data, &window);
        QVERIFY(page);
        // The encrypted backup's records are those of its plain twin, whose database sqlite3 reads.
        const int inDb = cameraFilesInDb(m_plain, "'.jpg','.png','heic'");
        QCOMPARE(inDb, 8);
        QCOMPARE(page->model->rowCount(), inDb);
        QCOMPARE(page->lbCount->text(), QString("Total:%1").arg(inDb));
        QVERIFY(!page->showsVideos());
        QCOMPARE(page->toolbarActions().first()->text(), QString("Extract Photos"));
        page->resize(900, 600);
        window.show();
        page->show();
        QTRY_VERIFY_WITH_TIMEOUT(allPicturesShown(*page), 20000);
        int decoded = 0;
        for (int r = 0; r < page->model->rowCount(); ++r) {
            const QString name = page->model->fileOf(r)->name();
            const QSize expected = square(name) ? QSize(128, 128) : QSize(128, 96);
            QCOMPARE(pictureSize(*page, r), expected);
            decoded += expected.height() == 96;
            const QStringList text = page->model->index(r, 0).data().toString().split('\n');
            QCOMPARE(text.value(0), name);
            QCOMPARE(text.value(1), ItemModelPhotoIcon::dateText(page->model->fileOf(r)->item.mtime));
            QCOMPARE(text.value(2), QString("%L1 KB").arg(page->model->fileOf(r)->item.size / 1024));
            // The tooltip of a picture that could not be read says why.
            const QString tip = page->model->index(r, 0).data(Qt::ToolTipRole).toString();
            const bool unread = !why.isEmpty() && name == "IMG_0002.JPG";
            QVERIFY2(unread ? tip.section('\n', 3).startsWith(why.arg(stored)) : tip.count('\n') == 2,
                qPrintable(tip));
        }
        const int lost = damage.isEmpty() ? 0 : 1; // nothing kept of it
        QCOMPARE(decoded, 7 - lost);
        QCOMPARE(QDir(data.absoluteFilePath("thumbnails")).entryList(QDir::Files).size(), inDb - lost);
        if (!encrypted && damage.isEmpty())
            GuiTestEnv::screenshot(page, "photos-page");
        delete page;

        // A second visit reads every thumbnail from the cache and decodes no picture.
        const qint64 before = PhotoThumbnail::decodeCount();
        page = pageOf(ItemModelBK::KindPhotos, m.get(), data, &window);
        page->resize(900, 600);
        page->show();
        QTRY_VERIFY_WITH_TIMEOUT(allPicturesShown(*page), 20000);
        QCOMPARE(PhotoThumbnail::decodeCount(), before);
        for (int r = 0; r < page->model->rowCount(); ++r)
            QCOMPARE(pictureSize(*page, r).height(), square(page->model->fileOf(r)->name()) ? 128 : 96);
        delete page;
    }

    void videosGetPlaceholders()
    {
        std::unique_ptr<BackupManifest> m = backup(false);
        QWidget window;
        PhotosMainForm* page = pageOf(ItemModelBK::KindVideos, m.get(), QDir(TestEnv::tempDir()), &window);
        QVERIFY(page);
        QCOMPARE(page->model->rowCount(), cameraFilesInDb(m_plain, "'.mov','.mp4'"));
        QCOMPARE(page->model->rowCount(), 3);
        QVERIFY(page->showsVideos());
        QCOMPARE(page->toolbarActions().first()->text(), QString("Extract Videos"));
        const qint64 before = PhotoThumbnail::decodeCount();
        page->resize(700, 420);
        window.resize(700, 420);
        window.show();
        page->show();
        QTRY_VERIFY(allPicturesShown(*page));
        QCOMPARE(pictureSize(*page, 0), QSize(128, 128));
        QCOMPARE(PhotoThumbnail::decodeCount(), before);
        page->listPhotos->setCurrentIndex(page->model->index(1, 0));
        QTest::qWait(30);
        GuiTestEnv::screenshot(page, "videos-page");
    }

    void exportsSelectedAndAll_data()
    {
        QTest::addColumn<bool>("encrypted");
        QTest::addColumn<bool>("selection");
        QTest::newRow("plain, selected") << false << true;
        QTest::newRow("plain, all") << false << false;
        QTest::newRow("encrypted, selected") << true << true;
        QTest::newRow("encrypted, all") << true << false;
    }
    void exportsSelectedAndAll()
    {
        QFETCH(bool, encrypted);
        QFETCH(bool, selection);
        std::unique_ptr<BackupManifest> m = backup(encrypted);
        // The plain backup holds the very bytes that the encrypted one was made from.
        std::unique_ptr<BackupManifest> plain = backup(false);
        QWidget window;
        PhotosMainForm* page = pageOf(ItemModelBK::KindPhotos, m.get(), QDir(TestEnv::tempDir()), &window);
        QVERIFY(page);
        if (selection) {
            page->listPhotos->selectionModel()->select(page->model->index(4, 0), QItemSelectionModel::Select);
            page->listPhotos->selectionModel()->select(page->model->index(1, 0), QItemSelectionModel::Select);
        }
        const QString dest = TestEnv::tempDir();
        ModalAnswerer answerer;
        answerer.answerWith([dest](QWidget* modal) {
            auto* dlg = qobject_cast<QFileDialog*>(modal);
            if (!dlg)
                return false;
            // The folder typed in full, as a user would; the dialog's own listing may still be loading.
            dlg->selectFile(dest);
            if (auto* edit = dlg->findChild<QLineEdit*>("fileNameEdit"))
                edit->setText(dest);
            QMetaObject::invokeMethod(dlg, "accept", Qt::QueuedConnection);
            return true;
        });
        page->toolbarActions().first()->trigger();
        const QList<int> rows = selection ? QList<int>({ 1, 4 }) : QList<int>({ 0, 1, 2, 3, 4, 5, 6, 7 });
        QCOMPARE(
            answerer.seen(), QStringList({ QString("Successfully extracted %1 Photos.").arg(rows.size()) }));
        QCOMPARE(QDir(dest).entryList(QDir::Files).size(), rows.size());
        for (int r : rows) {
            const BackupManifest::_FileNode* f = page->model->fileOf(r);
            const QString out = dest + "/" + f->name();
            const BackupManifest::_FileNode* source = plain->findNode(f->item.domain, f->item.relativePath());
            QVERIFY(source);
            QCOMPARE(bytesOf(out), bytesOf(plain->storedFilePath(source->item)));
            QCOMPARE(QFileInfo(out).lastModified().toSecsSinceEpoch(), qint64(f->item.mtime));
        }
    }

    // A cell's date is the record's time on the computer's clock.
    void cellDatesAreLocalTime_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QString>("clock");
        QTest::newRow("UTC") << QByteArray("UTC") << "12:26";
        QTest::newRow("Tokyo") << QByteArray("Asia/Tokyo") << "21:26";
        QTest::newRow("New York, summer time") << QByteArray("America/New_York") << "08:26";
        QTest::newRow("Kathmandu") << QByteArray("Asia/Kathmandu") << "18:11";
    }
    void cellDatesAreLocalTime()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QString, clock);
        const QByteArray saved = qgetenv("TZ");
        qputenv("TZ", zone);
        const QString text = ItemModelPhotoIcon::dateText(1600000000); // 2020-09-13 12:26:40 UTC
        qputenv("TZ", saved);
        QVERIFY2(text.contains(clock), qPrintable(text));
        QVERIFY(ItemModelPhotoIcon::dateText(0).isEmpty());
    }

    // A FIFO in place of a stored picture gets the placeholder of an undecodable one: the
    // thumbnails never wait on it and the page closes at once.
    void fifoInTheBackupIsSkipped()
    {
        const QString dir = TestEnv::copyToTemp(m_plain);
        std::unique_ptr<BackupManifest> m = opened(dir, false);
        QVERIFY(m && !m->photoList.isEmpty());
        const QString stored = m->storedFilePath(m->photoList.first()->item);
        QVERIFY(QFile::remove(stored));
        QVERIFY(::mkfifo(QFile::encodeName(stored).constData(), 0600) == 0);
        std::unique_ptr<PhotosMainForm> page;
        // Should a read wait on the FIFO after all, a writer that comes and goes ends the wait
        // before the page is destroyed.
        const auto release = qScopeGuard([&] {
            const int fd = ::open(QFile::encodeName(stored).constData(), O_RDWR | O_NONBLOCK);
            if (fd >= 0)
                ::close(fd);
        });
        page = std::make_unique<PhotosMainForm>(m.get(),
            QList<const BackupManifest::_FileNode*>(m->photoList.begin(), m->photoList.end()),
            QDir(TestEnv::tempDir()));
        page->resize(900, 600);
        page->show();
        QTRY_VERIFY_WITH_TIMEOUT(allPicturesShown(*page), 20000);
        for (int r = 0; r < page->model->rowCount(); ++r)
            if (page->model->fileOf(r) == m->photoList.first())
                QCOMPARE(pictureSize(*page, r), QSize(128, 128));
        QElapsedTimer closing;
        closing.start();
        page.reset();
        QVERIFY(closing.elapsed() < 5000);
    }

    // An extraction while another program writes into the backup: the dialog says what it waits
    // for, also while the copies of a plain backup wait on helper threads; Cancel ends the wait at
    // once and nothing is written, and without a cancel every file is written once the folder is
    // free.
    void extractionWaitingForAWriteSaysSoAndCancelEndsIt_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("cancelled") << true;
        QTest::newRow("waited for") << false;
    }
    void extractionWaitingForAWriteSaysSoAndCancelEndsIt()
    {
        QFETCH(bool, cancel);
        std::unique_ptr<BackupManifest> m = backup(false);
        QVERIFY(m);
        const QList<const BackupManifest::_FileNode*> files(m->photoList.begin(), m->photoList.end());
        PhotosMainForm page(m.get(), files, QDir(TestEnv::tempDir()));
        auto writer = OtherWriter::holdFolder(m->dir.absolutePath());
        QVERIFY(writer);
        BackupWaitUi::install();
        const auto noRunner = qScopeGuard([] { BackupFolderLock::setWaitRunner(nullptr); });
        ModalAnswerer answerer;
        if (cancel)
            answerer.answer(QMessageBox::Yes); // "Are You Sure You Want To Cancel?"
        QString seen;
        int barWhileWaiting = -1;
        QElapsedTimer sinceCancel;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &page, [&] {
            auto* form = page.findChild<ProgressForm*>();
            if (!seen.isEmpty() || !form || !form->statusText().startsWith("Waiting"))
                return;
            seen = form->statusText();
            barWhileWaiting = form->progressValue();
            if (cancel)
                GuiTestEnv::screenshot(form, "backup-busy-wait-extract");
            if (cancel) {
                sinceCancel.start();
                form->reject();
            } else {
                writer->closeWriteChannel();
            }
        });
        poll.start(20);
        // A wait that is never shown is cancelled (or released) all the same, so the test ends.
        QTimer::singleShot(8000, &page, [&] {
            if (!seen.isEmpty())
                return;
            seen = "(no wait shown)";
            sinceCancel.start();
            if (auto* form = page.findChild<ProgressForm*>(); form && cancel)
                form->reject();
            else
                writer->closeWriteChannel();
        });
        const QString dest = TestEnv::tempDir() + "/out";
        const qint64 n = page.extract(files, QDir(dest));
        const qint64 ended = sinceCancel.isValid() ? sinceCancel.elapsed() : 0;
        const bool stillHeld = writer->state() == QProcess::Running;
        writer->closeWriteChannel();
        QCOMPARE(seen,
            QString("Waiting for another window or program to finish writing into the backup %1...")
                .arg(QDir::toNativeSeparators(m->dir.absolutePath())));
        // Nothing is written while the folder is held: the bar is not full.
        QVERIFY2(barWhileWaiting >= 0 && barWhileWaiting < 100, qPrintable(QString::number(barWhileWaiting)));
        const int written = QDir(dest).entryList(QDir::Files).size();
        if (cancel) {
            QCOMPARE(n, qint64(-1));
            QVERIFY2(ended < 3000, qPrintable(QString::number(ended)));
            QVERIFY(stillHeld); // the other program's write was not waited for
            QCOMPARE(written, 0);
        } else {
            QCOMPARE(n, qint64(files.size()));
            QCOMPARE(written, files.size());
        }
        QVERIFY(writer->state() == QProcess::NotRunning || writer->waitForFinished(10000));
    }

    // Closing the page while its thumbnail thread waits for a backup folder that another program
    // is writing does not wait for that program, nor for a decoding under way; what the ended wait
    // could not read or the decoding could not draw is not kept as undecodable, so the page opened
    // again shows every picture.
    void closingThePageEndsTheThumbnailsWait_data()
    {
        QTest::addColumn<bool>("decoding"); // else waiting for the folder
        QTest::newRow("waiting for the backup folder") << false;
        QTest::newRow("decoding") << true;
    }
    void closingThePageEndsTheThumbnailsWait()
    {
        QFETCH(bool, decoding);
        std::unique_ptr<BackupManifest> m = backup(false);
        QVERIFY(m);
        auto writer = decoding ? nullptr : OtherWriter::holdFolder(m->dir.absolutePath());
        QVERIFY(decoding || writer);
        // The decoding goes on until the page is being closed.
        static std::atomic<int> decodings;
        decodings = 0;
        PictureDecoder::setBeforeDecode([] {
            ++decodings;
            while (!QThread::currentThread()->isInterruptionRequested())
                QThread::msleep(1);
        });
        const auto noHook = qScopeGuard([] { PictureDecoder::setBeforeDecode(nullptr); });
        BackupWaitUi::install();
        const auto noRunner = qScopeGuard([] { BackupFolderLock::setWaitRunner(nullptr); });
        static std::atomic<int> waitsLogged;
        waitsLogged = 0;
        const QtMessageHandler previous
            = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) {
                  if (text.startsWith("Waiting for another window"))
                      ++waitsLogged;
              });
        const auto restore = qScopeGuard([previous] { qInstallMessageHandler(previous); });
        const QDir data(TestEnv::tempDir());
        auto page = std::make_unique<PhotosMainForm>(
            m.get(), QList<const BackupManifest::_FileNode*>(m->photoList.begin(), m->photoList.end()), data);
        page->resize(900, 600);
        page->show();
        QTRY_VERIFY_WITH_TIMEOUT(decoding ? decodings > 0 : waitsLogged > 0, 5000);
        QElapsedTimer closing;
        closing.start();
        page.reset();
        const qint64 took = closing.elapsed();
        PictureDecoder::setBeforeDecode(nullptr);
        QVERIFY2(took < 2000, qPrintable(QString::number(took)));
        if (writer) {
            const bool stillHeld = writer->state() == QProcess::Running;
            writer->closeWriteChannel();
            QVERIFY(stillHeld);
            QVERIFY(writer->state() == QProcess::NotRunning || writer->waitForFinished(10000));
        }
        // Opened again once the folder is free, the page shows every picture.
        page = std::make_unique<PhotosMainForm>(
            m.get(), QList<const BackupManifest::_FileNode*>(m->photoList.begin(), m->photoList.end()), data);
        page->resize(900, 600);
        page->show();
        QTRY_VERIFY_WITH_TIMEOUT(allPicturesShown(*page), 20000);
        for (int r = 0; r < page->model->rowCount(); ++r)
            if (page->model->fileOf(r)->name() != "IMG_0900.JPG")
                QCOMPARE(pictureSize(*page, r), QSize(128, 96));
    }

    // The thread stops with its page even while work is queued.
    void threadEndsWithThePage()
    {
        std::unique_ptr<BackupManifest> m = backup(true);
        auto* page = new PhotosMainForm(m.get(),
            QList<const BackupManifest::_FileNode*>(m->photoList.begin(), m->photoList.end()),
            QDir(TestEnv::tempDir()));
        QPointer<PhotoThumbThread> thread = page->findChild<PhotoThumbThread*>();
        QVERIFY(thread);
        QVERIFY(thread->isRunning());
        QList<int> all;
        for (int r = 0; r < page->model->rowCount(); ++r)
            all << r << r;
        thread->want(all);
        delete page;
        QVERIFY(!thread);
    }
};

QTEST_MAIN(TestPhotosMainForm)
#include "TestPhotosMainForm.moc"
