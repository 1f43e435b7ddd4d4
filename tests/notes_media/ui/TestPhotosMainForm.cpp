#include "app/IdsTranslator.h"
#include "app/ui/DataPageFactory.h"
#include "app/ui/ItemModelBK.h"
#include "app/ui/support/EnglishTexts.h"
#include "app/ui/support/ModalAnswerer.h"
#include "backup/BackupManifest.h"
#include "backup/support/GenBackup.h"
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
#include <QtTest>
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
        m_plain = GenBackup::make(args);
        m_locked = GenBackup::make(args + QStringList({ "--password", kPassword, "--dpic", "5" }), "locked");
        QVERIFY(!m_plain.isEmpty() && !m_locked.isEmpty());
    }

    void showsThumbnailsThenServesThemFromCache_data()
    {
        QTest::addColumn<bool>("encrypted");
        QTest::newRow("plain") << false;
        QTest::newRow("encrypted") << true;
    }
    void showsThumbnailsThenServesThemFromCache()
    {
        QFETCH(bool, encrypted);
        std::unique_ptr<BackupManifest> m = backup(encrypted);
        QVERIFY(m);
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
            // Generated pictures are 160 x 120; the broken one gets the square placeholder.
            const QSize expected = name == "IMG_0900.JPG" ? QSize(128, 128) : QSize(128, 96);
            QCOMPARE(pictureSize(*page, r), expected);
            decoded += expected.height() == 96;
            const QStringList text = page->model->index(r, 0).data().toString().split('\n');
            QCOMPARE(text.value(0), name);
            QCOMPARE(text.value(1), ItemModelPhotoIcon::dateText(page->model->fileOf(r)->item.mtime));
            QCOMPARE(text.value(2), QString("%L1 KB").arg(page->model->fileOf(r)->item.size / 1024));
        }
        QCOMPARE(decoded, 7);
        QCOMPARE(QDir(data.absoluteFilePath("thumbnails")).entryList(QDir::Files).size(), inDb);
        if (!encrypted)
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
            QCOMPARE(
                pictureSize(*page, r).height(), page->model->fileOf(r)->name() == "IMG_0900.JPG" ? 128 : 96);
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
