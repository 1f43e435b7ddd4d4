// Latency of the photo page over a backup of many camera pictures (no reference program):
//   - from the page's construction to the first screen of thumbnails, with an empty thumbnail
//     cache (pictures decoded) and again on a second visit (served from the cache);
//   - the longest stall of the event loop while the grid is scrolled from top to bottom.
// The longest gap of an idle event loop is printed beside the stall as this machine's baseline.
//   bench_photos_page [PHOTOS [ROUNDS [BACKUP]]]   default 20,000 pictures of 640 x 480, 5 rounds;
//   a BACKUP folder that exists is used as it is, else the backup is generated there.
#include "backup/BackupManifest.h"
#include "notes_media/PhotoThumbnail.h"
#include "notes_media/ui/ItemModelPhotoIcon.h"
#include "notes_media/ui/PhotosMainForm.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QListView>
#include <QProcess>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <sys/resource.h>
#include <vector>

namespace
{

bool generate(const QString& dir, int photos)
{
    QProcess gen;
    gen.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    gen.start("python3",
        { QStringLiteral(QM_SOURCE_DIR "/tools/gen/make_backup.py"), "--no-well-known", "--photos",
            QString::number(photos), "--videos", "0", "--photo-kinds", "jpg,heic,png,jpg", "--photo-width",
            "640", "--photo-height", "480", dir });
    return gen.waitForFinished(-1) && gen.exitCode() == 0;
}

// Whether every row that the grid shows at the moment has its picture.
bool screenComplete(const PhotosMainForm& page)
{
    const QRect view = page.listPhotos->viewport()->rect();
    const QModelIndex first = page.listPhotos->indexAt(QPoint(view.width() / 8, 8));
    if (!first.isValid())
        return false;
    for (int r = first.row(); r < page.model->rowCount(); ++r) {
        const QRect cell = page.listPhotos->visualRect(page.model->index(r, 0));
        if (cell.top() >= view.bottom())
            break;
        if (cell.intersects(view) && !page.model->hasPicture(r))
            return false;
    }
    return true;
}

void waitUntil(const std::function<bool()>& done)
{
    while (!done())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// Milliseconds from construction to the first complete screen of thumbnails.
double firstScreen(const BackupManifest& m, const QList<const BackupManifest::_FileNode*>& files,
    const QDir& data, QWidget* window, std::unique_ptr<PhotosMainForm>* kept)
{
    QElapsedTimer t;
    t.start();
    auto page = std::make_unique<PhotosMainForm>(&m, files, data, window);
    page->resize(window->size());
    page->show();
    waitUntil([&] { return screenComplete(*page); });
    const double ms = t.nsecsElapsed() / 1e6;
    *kept = std::move(page);
    return ms;
}

// Counts the longest gap between two turns of the event loop (ms) while it lives.
class StallMeter
{
public:
    StallMeter()
    {
        m_clock.start();
        m_last = m_clock.nsecsElapsed();
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            m_worst = std::max(m_worst, now - m_last);
            m_last = now;
        });
        m_timer.start(1);
    }
    double worstMs() const { return m_worst / 1e6; }
    qint64 elapsedMs() const { return m_clock.elapsed(); }

private:
    QElapsedTimer m_clock;
    QTimer m_timer;
    qint64 m_last = 0, m_worst = 0;
};

// The longest stall (ms) while the grid scrolls a page every 16 ms down to its end.
double scrollStall(PhotosMainForm& page)
{
    QScrollBar* bar = page.listPhotos->verticalScrollBar();
    StallMeter meter;
    QTimer scroller;
    QObject::connect(&scroller, &QTimer::timeout, [&] { bar->setValue(bar->value() + bar->pageStep()); });
    scroller.start(16);
    waitUntil([&] { return bar->value() >= bar->maximum(); });
    scroller.stop();
    waitUntil([&] { return screenComplete(page); });
    return meter.worstMs();
}

// The longest gap of the event loop left idle for two seconds: what the machine itself adds.
double idleStall()
{
    StallMeter meter;
    waitUntil([&] { return meter.elapsedMs() >= 2000; });
    return meter.worstMs();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

long peakRssKb()
{
    rusage u {};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int photos = argc > 1 ? QString(argv[1]).toInt() : 20000;
    const int rounds = std::max(1, argc > 2 ? QString(argv[2]).toInt() : 5);
    QTemporaryDir tmp;
    const QString dir = argc > 3 ? QString(argv[3]) : tmp.filePath("backup");
    if (!QFileInfo::exists(dir + "/Manifest.plist") && !generate(dir, photos)) {
        std::fprintf(stderr, "generator failed\n");
        return 1;
    }
    BackupManifest m(dir);
    m.readManifestInfo();
    m.parseInfo();
    const QList<const BackupManifest::_FileNode*> files(m.photoList.begin(), m.photoList.end());
    QWidget window;
    window.resize(1000, 700);
    window.show();
    std::vector<double> cold, warm;
    double stall = 0;
    const double idle = idleStall();
    qint64 warmDecodes = 0;
    std::unique_ptr<PhotosMainForm> page;
    for (int round = 0; round <= rounds; ++round) { // round 0 warms up
        const QDir data(tmp.filePath(QString("cache%1").arg(round)));
        const double c = firstScreen(m, files, data, &window, &page);
        if (round == 1)
            stall = scrollStall(*page);
        page.reset();
        const qint64 before = PhotoThumbnail::decodeCount();
        const double w = firstScreen(m, files, data, &window, &page);
        warmDecodes += PhotoThumbnail::decodeCount() - before;
        page.reset();
        if (round > 0) {
            cold.push_back(c);
            warm.push_back(w);
        }
    }
    std::printf(
        "photos: %d (640 x 480 JPEG, HEIC, PNG), window 1000 x 700, %d rounds\n", int(files.size()), rounds);
    std::printf("first screen, empty cache:  median %.1f ms (limit 500)\n", median(cold));
    std::printf("first screen, second visit: median %.1f ms, pictures decoded: %lld\n", median(warm),
        (long long)warmDecodes);
    std::printf(
        "longest event-loop stall while scrolling the whole grid: %.1f ms (limit 50); idle loop: %.1f ms\n",
        stall, idle);
    std::printf("peak RSS: %ld KB\n", peakRssKb());
    return 0;
}
